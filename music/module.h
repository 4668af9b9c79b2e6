// The loaded extended module: patterns, instruments with envelopes, and decoded samples.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "binary/byte_reader.h"

#include "music/sample.h"

namespace kestrune {

constexpr int kMaxChannels = 32;
constexpr int kMaxRows = 256;
constexpr int kInstrumentSlots = 256;
constexpr int kSamplesPerInstrument = 16;
constexpr int kNoteKeyOff = 97;
constexpr int kPatternStart = 336; // patterns start here whatever the header size says

// One channel of one row, unpacked.
struct NoteCell {
    uint16_t note = 0;      // 0 none, 1..96 notes, 97 key off
    uint16_t effect = 0;    // type << 8 | parameter
    uint8_t instrument = 0; // 0 none, else 1-based
    uint8_t volume = 0;     // volume column
};

struct Pattern {
    int channelCount = 0; // as the file has them; rows are unpacked for the first 32
    int rowCount = 0;     // 0..256
    int packedSize = 0;   // bytes
    std::vector<uint8_t> packed;
    int rowStart[kMaxRows] = {}; // offset of each row in packed; 0 beyond the row count
};

struct EnvelopePoint {
    uint16_t x = 0; // ticks
    uint16_t y = 0; // 0..64
};

struct InstrumentEnvelope {
    EnvelopePoint points[12];
    uint8_t pointCount = 0;
    uint8_t sustainPoint = 0;
    uint8_t loopStartPoint = 0;
    uint8_t loopEndPoint = 0;
    uint8_t type = 0;
    bool enabled = false; // type bit 0
    bool sustain = false; // type bit 1, and the sustain point exists
    bool loop = false;    // type bit 2, and both loop points exist
};

struct Instrument {
    char name[22] = {};
    uint8_t sampleMap[96] = {}; // sample number per note index
    int sampleCount = 0;
    Sample samples[kSamplesPerInstrument];
    InstrumentEnvelope volumeEnvelope;
    InstrumentEnvelope panningEnvelope;
    uint8_t vibratoType = 0;
    uint8_t vibratoSweep = 0;
    uint8_t vibratoDepth = 0;
    uint8_t vibratoRate = 0;
    int fadeout = 0; // units of 1/65536 of full volume per half tick
    int empty = 1;   // 1 until loaded with at least one sample
};

enum FrequencyMode : int { FrequencyLinear = 0, FrequencyAmiga = 1 };

struct Module {
    int songLength = 0;
    int restartPosition = 0;
    int channelCount = 0; // played: 1..32 once loaded; a file with more keeps its first 32
    int patternCount = 0;
    int instrumentCount = 0; // as the header says
    int frequencyMode = FrequencyAmiga;
    int speed = 6; // ticks per row
    int bpm = 125;
    uint8_t order[256] = {};
    std::vector<Pattern> patterns;
    // One slot per instrument the header counts (at most kInstrumentSlots); slot i is file
    // instrument i + 1. Instruments past the count are absent: see instrumentNumbered.
    std::vector<Instrument> instruments;
};

// Fills module from an extended module's bytes; returns the channel count, or 0 and an empty
// module when the bytes are not a module whose structure can be walked (refusal says why).
int loadModule(std::span<const uint8_t> data, Module& module, Refusal* refusal = nullptr);

// The cells of one row, one per channel of the pattern (cells holds kMaxChannels). Rows outside
// 0..255 read as the first row, as rows past the row count do.
void unpackRow(const Pattern& pattern, int row, NoteCell* cells);

// File instrument number (1-based) as notes name it: an absent one, past the header's count,
// reads as an empty instrument, as one the file holds without samples does.
const Instrument& instrumentNumbered(const Module& module, int number);

// The sample an instrument plays for note index 0..95; an empty sample for map entries of 16 or
// more and for notes outside the map.
const Sample& sampleForNote(const Instrument& instrument, int noteIndex);
const Sample& sampleNumbered(const Instrument& instrument, int number);

} // namespace kestrune
