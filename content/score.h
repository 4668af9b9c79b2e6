// Writing a tracker score: channels, effect numbers, chords, and the drum, bass, pad, arpeggio
// and melody parts that the soundtrack's patterns are made of.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "content/xm_writer.h"

namespace kestrune {

constexpr int kChannels = 10;
enum Channel { ChKick, ChSnare, ChHat, ChBass, ChPadA, ChPadB, ChPadC, ChLead, ChArp, ChFx };

// Effect numbers as the module stores them.
enum Fx : uint8_t {
    FxArpeggio = 0x0,
    FxPortaUp = 0x1,
    FxPortaDown = 0x2,
    FxTonePorta = 0x3,
    FxVibrato = 0x4,
    FxTonePortaVolSlide = 0x5,
    FxVibratoVolSlide = 0x6,
    FxTremolo = 0x7,
    FxPanning = 0x8,
    FxSampleOffset = 0x9,
    FxVolumeSlide = 0xA,
    FxSetVolume = 0xC,
    FxExtended = 0xE,
    FxSpeed = 0xF,
    FxGlobalVolume = 16,
    FxGlobalVolumeSlide = 17,
    FxKeyOff = 20,
    FxEnvelopePosition = 21,
    FxPanningSlide = 25,
    FxMultiRetrigger = 27,
    FxTremor = 29,
    FxSync = 32,
    FxExtraFine = 33,
};

constexpr uint8_t kKeyOff = 97;

// The module's note number of a note in an octave (C-4 is 49).
constexpr uint8_t note(int octave, int semitone) {
    return static_cast<uint8_t>(12 * octave + semitone + 1);
}
// The volume column's "set volume" for a volume 0..64.
constexpr uint8_t vol(int v) {
    return static_cast<uint8_t>(0x10 + v);
}

struct Chord {
    int root; // semitone, C = 0
    bool minor;
    int third() const { return root + (minor ? 3 : 4); }
    int fifth() const { return root + 7; }
};

using Progression = std::vector<Chord>; // one chord per bar of 16 rows

// A pitch class placed in the octave band that starts at `low` (a note number).
uint8_t inBand(int pitchClass, int low);

// Patterns of a module by name, so the order list can name them.
class Score {
public:
    explicit Score(XmModule& module) : module_(module) {}
    XmPattern& pattern(const std::string& name); // created empty (64 rows) on first use
    uint8_t index(const std::string& name) const;

private:
    XmModule& module_;
    std::map<std::string, size_t> names_;
};

void put(XmPattern& p, int row, int ch, uint8_t n, uint8_t instrument, uint8_t volume = 0);
// Sets a cell's effect; throws when the cell already has one, so parts never overwrite each other.
void effect(XmPattern& p, int row, int ch, uint8_t type, uint8_t param);
void volumeColumn(XmPattern& p, int row, int ch, uint8_t v);

enum class Beat { None, Pulse, Four, Half, Build };
void drums(XmPattern& p, Beat beat, int fromBar = 0, int toBar = 4);
enum class Hats { None, Quarter, Eighths, Busy };
void hats(XmPattern& p, Hats style, int fromBar = 0, int toBar = 4);
// A snare roll over one bar, faster each beat, by retriggering.
void snareRoll(XmPattern& p, int bar);

enum class Bass { None, Roots, Octaves, Glide };
void bass(XmPattern& p, const Progression& chords, Bass style);
void pads(XmPattern& p, const Progression& chords, int volume, bool tremolo = false);
void arpeggios(XmPattern& p, const Progression& chords, int volume, bool panning = false);

// One token per eighth note (two rows): a note such as "E5", "~E5" to glide into it with a
// tone portamento, "-" to hold, "." for a key off, "_" for nothing.
void melody(XmPattern& p, const std::vector<std::string>& tokens, uint8_t instrument, int ch,
            int volume);
std::vector<std::string> split(const std::string& s);

// A rising noise sweep over one bar.
void riser(XmPattern& p, int bar);
// Marks the start of a part's section for anything that follows the music.
void syncMark(XmPattern& p, int part);

} // namespace kestrune
