// Builds small extended modules in memory for the music tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "binary/byte_writer.h"
#include "music/module.h"

namespace kestrune::test {

struct XmCell {
    int note = 0, instrument = 0, volume = 0, effect = 0, parameter = 0;
};

struct XmSample {
    std::vector<int> frames; // decoded values; stored delta-encoded
    int bits = 8;
    int loopType = 0;
    int loopStart = 0, loopLength = 0; // frames
    int volume = 64, finetune = 0, panning = 128, relativeNote = 0;
};

struct XmEnvelope {
    std::vector<std::pair<int, int>> points; // (x ticks, y)
    int sustain = 0, loopStart = 0, loopEnd = 0, type = 0;
};

struct XmInstrument {
    std::vector<XmSample> samples;
    int mapAll = 0; // sample number for every note
    XmEnvelope volume, panning;
    int vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0, fadeout = 0;
};

struct XmBuilder {
    int channels = 1;
    int speed = 6, bpm = 125;
    bool linear = true;
    int restart = 0;
    std::vector<int> order{0};
    std::vector<std::vector<std::vector<XmCell>>> patterns; // [pattern][row][channel]
    std::vector<XmInstrument> instruments;
    int headerSize = 276;

    // A pattern of rows x channels empty cells; returns its index.
    int addPattern(int rows) {
        patterns.emplace_back(static_cast<size_t>(rows),
                              std::vector<XmCell>(static_cast<size_t>(channels)));
        return static_cast<int>(patterns.size()) - 1;
    }
    XmCell& cell(int pattern, int row, int channel = 0) {
        return patterns[static_cast<size_t>(pattern)][static_cast<size_t>(row)]
                       [static_cast<size_t>(channel)];
    }

    std::vector<uint8_t> bytes() const {
        ByteWriter out;
        out.text("Extended Module: ", 37);
        out.u8(0x1A);
        out.bytes.resize(60, 0);
        out.u32le(static_cast<uint32_t>(headerSize));
        out.u16le(static_cast<int>(order.size()));
        out.u16le(restart);
        out.u16le(channels);
        out.u16le(static_cast<int>(patterns.size()));
        out.u16le(static_cast<int>(instruments.size()));
        out.u16le(linear ? 1 : 0);
        out.u16le(speed);
        out.u16le(bpm);
        for (int i = 0; i < 256; ++i)
            out.u8(i < static_cast<int>(order.size()) ? static_cast<uint8_t>(order[i]) : 0);
        out.bytes.resize(kPatternStart, 0);
        for (const auto& p : patterns) {
            std::vector<uint8_t> packed;
            for (const auto& row : p)
                for (const XmCell& c : row) {
                    packed.push_back(0x80 | 0x1F);
                    packed.push_back(static_cast<uint8_t>(c.note));
                    packed.push_back(static_cast<uint8_t>(c.instrument));
                    packed.push_back(static_cast<uint8_t>(c.volume));
                    packed.push_back(static_cast<uint8_t>(c.effect));
                    packed.push_back(static_cast<uint8_t>(c.parameter));
                }
            out.u32le(9);
            out.u8(0);
            out.u16le(static_cast<int>(p.size()));
            out.u16le(static_cast<int>(packed.size()));
            out.raw(packed.data(), packed.size());
        }
        for (const XmInstrument& ins : instruments) {
            const size_t start = out.size();
            out.u32le(ins.samples.empty() ? 33 : 263);
            out.bytes.resize(start + 27, 0);
            out.u16le(static_cast<int>(ins.samples.size()));
            if (ins.samples.empty()) {
                out.bytes.resize(start + 33, 0);
                continue;
            }
            out.u32le(40);
            for (int i = 0; i < 96; ++i) out.u8(static_cast<uint8_t>(ins.mapAll));
            envelopePoints(out, ins.volume);
            envelopePoints(out, ins.panning);
            out.u8(static_cast<uint8_t>(ins.volume.points.size()));
            out.u8(static_cast<uint8_t>(ins.panning.points.size()));
            for (const XmEnvelope* e : {&ins.volume, &ins.panning}) {
                out.u8(static_cast<uint8_t>(e->sustain));
                out.u8(static_cast<uint8_t>(e->loopStart));
                out.u8(static_cast<uint8_t>(e->loopEnd));
            }
            out.u8(static_cast<uint8_t>(ins.volume.type));
            out.u8(static_cast<uint8_t>(ins.panning.type));
            out.u8(static_cast<uint8_t>(ins.vibratoType));
            out.u8(static_cast<uint8_t>(ins.vibratoSweep));
            out.u8(static_cast<uint8_t>(ins.vibratoDepth));
            out.u8(static_cast<uint8_t>(ins.vibratoRate));
            out.u16le(ins.fadeout);
            out.bytes.resize(start + 263, 0);
            for (const XmSample& s : ins.samples) {
                const int bytesPer = s.bits / 8;
                out.u32le(static_cast<uint32_t>(s.frames.size() * bytesPer));
                out.u32le(static_cast<uint32_t>(s.loopStart * bytesPer));
                out.u32le(static_cast<uint32_t>(s.loopLength * bytesPer));
                out.u8(static_cast<uint8_t>(s.volume));
                out.u8(static_cast<uint8_t>(s.finetune));
                out.u8(static_cast<uint8_t>(s.loopType | (s.bits == 16 ? 0x10 : 0)));
                out.u8(static_cast<uint8_t>(s.panning));
                out.u8(static_cast<uint8_t>(s.relativeNote));
                out.bytes.resize(out.size() + 23, 0);
            }
            for (const XmSample& s : ins.samples) {
                int previous = 0;
                for (int v : s.frames) {
                    const int delta = v - previous;
                    previous = v;
                    if (s.bits == 16)
                        out.u16le(delta & 0xFFFF);
                    else
                        out.u8(static_cast<uint8_t>(delta));
                }
            }
        }
        return out.bytes;
    }

    static void envelopePoints(ByteWriter& out, const XmEnvelope& e) {
        for (size_t i = 0; i < 12; ++i) {
            out.u16le(i < e.points.size() ? e.points[i].first : 0);
            out.u16le(i < e.points.size() ? e.points[i].second : 0);
        }
    }
};

// One instrument with one 8-bit looping sample of the given length (a square-ish wave).
inline XmInstrument loopingInstrument(int length = 64, int volume = 64) {
    XmInstrument ins;
    XmSample s;
    for (int i = 0; i < length; ++i) s.frames.push_back(i < length / 2 ? 40 : -40);
    s.loopType = 1;
    s.loopLength = length;
    s.volume = volume;
    ins.samples.push_back(s);
    return ins;
}

} // namespace kestrune::test
