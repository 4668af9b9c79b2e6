// Note periods and their frequencies in the linear and Amiga frequency modes.
#pragma once

#include <cstdint>

namespace kestrune {

// Period of note n (semitones from C-0) at finetune f (-128..127), truncated towards zero.
// Amiga periods clamp n to 0..119; at the table's two ends the missing neighbour is the octave
// rule's (2 x P(11) below note 0, P(108) / 2 above note 119), so every lookup stays in the table.
int linearPeriod(int note, int finetune);
int amigaPeriod(int note, int finetune);
int notePeriod(int frequencyMode, int note, int finetune);

// Hz. Amiga periods below 1 play as period 1.
float periodFrequency(int frequencyMode, int period);

// Note number (0..95) of an Amiga period at finetune 0; periods outside 0..9999 take the nearest
// end of the table (the table has 10000 entries, the largest period is 10000).
int periodToNote(int period);

// The vibrato and tremolo half sine, 32 entries.
extern const uint8_t kSine32[32];
// -round(64 sin(2 pi i / 256)).
int autoVibratoSine(int i);

} // namespace kestrune
