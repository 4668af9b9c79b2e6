// Writes extended modules (XM): header, packed patterns, instruments with envelopes, samples.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrune {

struct XmCell {
    uint8_t note = 0;       // 1..96, 97 key off, 0 none
    uint8_t instrument = 0; // 1-based, 0 none
    uint8_t volume = 0;     // volume column command
    uint8_t effect = 0;     // effect type (0..35)
    uint8_t param = 0;
};

struct XmPattern {
    int rows = 64;
    int channels = 0;
    std::vector<XmCell> cells; // rows x channels

    XmPattern(int rowCount, int channelCount)
        : rows(rowCount), channels(channelCount),
          cells(static_cast<size_t>(rowCount) * channelCount) {}
    XmCell& at(int row, int channel) {
        return cells[static_cast<size_t>(row) * channels + channel];
    }
    const XmCell& at(int row, int channel) const {
        return cells[static_cast<size_t>(row) * channels + channel];
    }
};

struct XmEnvelope {
    std::vector<std::pair<uint16_t, uint16_t>> points; // x in ticks, y 0..64; at most 12
    uint8_t sustain = 0, loopStart = 0, loopEnd = 0;
    bool enabled = false, sustainOn = false, loopOn = false;
};

struct XmSample {
    std::string name;
    std::vector<int16_t> data; // signed frames; 8-bit samples keep values in -128..127
    bool sixteenBit = false;
    int loopType = 0;        // 0 none, 1 forward, 2 ping-pong
    uint32_t loopStart = 0;  // frames
    uint32_t loopLength = 0; // frames
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
};

struct XmInstrument {
    std::string name;
    std::vector<XmSample> samples; // 1..16
    std::array<uint8_t, 96> sampleMap{};
    XmEnvelope volumeEnvelope, panningEnvelope;
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
    uint16_t fadeout = 0;
};

struct XmModule {
    std::string name;
    int channels = 8;
    bool linearFrequencies = true;
    int restartPosition = 0;
    int tempo = 6; // ticks per row
    int bpm = 125;
    std::vector<uint8_t> orders;
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
};

// The file bytes; throws when the module breaks a limit of the format.
std::vector<uint8_t> writeXm(const XmModule& module);

// Play time of the song, walking the order list once with its speed and tempo changes,
// pattern loops and pattern delays (no position jumps).
struct SongTiming {
    std::vector<double> orderStartMs; // one per order entry
    double totalMs = 0;
};
SongTiming measureSong(const XmModule& module);

} // namespace kestrune
