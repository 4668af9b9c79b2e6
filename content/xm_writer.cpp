// Writes extended modules (XM): header, packed patterns, instruments with envelopes, samples.
#include "content/xm_writer.h"

#include <stdexcept>

#include "binary/byte_writer.h"

namespace kestrune {

namespace {

void writeEnvelopePoints(ByteWriter& out, const XmEnvelope& e) {
    if (e.points.size() > 12) throw std::runtime_error("an envelope holds at most 12 points");
    for (size_t i = 0; i < 12; ++i) {
        out.u16le(i < e.points.size() ? e.points[i].first : 0);
        out.u16le(i < e.points.size() ? e.points[i].second : 0);
    }
}

uint8_t envelopeType(const XmEnvelope& e) {
    return (e.enabled ? 1 : 0) | (e.sustainOn ? 2 : 0) | (e.loopOn ? 4 : 0);
}

void packPattern(ByteWriter& out, const XmPattern& p) {
    for (const XmCell& c : p.cells) {
        uint8_t mask = (c.note ? 1 : 0) | (c.instrument ? 2 : 0) | (c.volume ? 4 : 0) |
                       (c.effect ? 8 : 0) | (c.param ? 16 : 0);
        if (mask == 31) {
            out.u8(c.note);
            out.u8(c.instrument);
            out.u8(c.volume);
            out.u8(c.effect);
            out.u8(c.param);
            continue;
        }
        out.u8(0x80 | mask);
        if (c.note) out.u8(c.note);
        if (c.instrument) out.u8(c.instrument);
        if (c.volume) out.u8(c.volume);
        if (c.effect) out.u8(c.effect);
        if (c.param) out.u8(c.param);
    }
}

} // namespace

std::vector<uint8_t> writeXm(const XmModule& m) {
    if (m.channels < 1 || m.channels > 32) throw std::runtime_error("1 to 32 channels");
    if (m.orders.empty() || m.orders.size() > 256) throw std::runtime_error("1 to 256 orders");
    if (m.patterns.empty() || m.patterns.size() > 256)
        throw std::runtime_error("1 to 256 patterns");
    if (m.instruments.empty() || m.instruments.size() > 128)
        throw std::runtime_error("1 to 128 instruments");
    ByteWriter out;
    out.text("Extended Module: ", 17);
    out.text(m.name, 20, ' ');
    out.u8(0x1A);
    out.text("Kestrune content", 20, ' ');
    out.u16le(0x0104);
    out.u32le(276);
    out.u16le(static_cast<uint32_t>(m.orders.size()));
    out.u16le(static_cast<uint32_t>(m.restartPosition));
    out.u16le(static_cast<uint32_t>(m.channels));
    out.u16le(static_cast<uint32_t>(m.patterns.size()));
    out.u16le(static_cast<uint32_t>(m.instruments.size()));
    out.u16le(m.linearFrequencies ? 1 : 0);
    out.u16le(static_cast<uint32_t>(m.tempo));
    out.u16le(static_cast<uint32_t>(m.bpm));
    for (size_t i = 0; i < 256; ++i) out.u8(i < m.orders.size() ? m.orders[i] : 0);
    for (uint8_t order : m.orders)
        if (order >= m.patterns.size()) throw std::runtime_error("order names a missing pattern");

    for (const XmPattern& p : m.patterns) {
        if (p.rows < 1 || p.rows > 256 || p.channels != m.channels)
            throw std::runtime_error("a pattern needs 1 to 256 rows of every channel");
        ByteWriter data;
        packPattern(data, p);
        if (data.size() > 65535) throw std::runtime_error("pattern too large");
        out.u32le(9);
        out.u8(0);
        out.u16le(static_cast<uint32_t>(p.rows));
        out.u16le(static_cast<uint32_t>(data.size()));
        out.raw(data.bytes.data(), data.size());
    }

    for (const XmInstrument& ins : m.instruments) {
        if (ins.samples.empty() || ins.samples.size() > 16)
            throw std::runtime_error("an instrument needs 1 to 16 samples");
        out.u32le(263);
        out.text(ins.name, 22);
        out.u8(0);
        out.u16le(static_cast<uint32_t>(ins.samples.size()));
        out.u32le(40);
        for (uint8_t s : ins.sampleMap) {
            if (s >= ins.samples.size()) throw std::runtime_error("sample map out of range");
            out.u8(s);
        }
        writeEnvelopePoints(out, ins.volumeEnvelope);
        writeEnvelopePoints(out, ins.panningEnvelope);
        out.u8(static_cast<uint32_t>(ins.volumeEnvelope.points.size()));
        out.u8(static_cast<uint32_t>(ins.panningEnvelope.points.size()));
        out.u8(ins.volumeEnvelope.sustain);
        out.u8(ins.volumeEnvelope.loopStart);
        out.u8(ins.volumeEnvelope.loopEnd);
        out.u8(ins.panningEnvelope.sustain);
        out.u8(ins.panningEnvelope.loopStart);
        out.u8(ins.panningEnvelope.loopEnd);
        out.u8(envelopeType(ins.volumeEnvelope));
        out.u8(envelopeType(ins.panningEnvelope));
        out.u8(ins.vibratoType);
        out.u8(ins.vibratoSweep);
        out.u8(ins.vibratoDepth);
        out.u8(ins.vibratoRate);
        out.u16le(ins.fadeout);
        out.text("", 22);
        for (const XmSample& s : ins.samples) {
            uint32_t width = s.sixteenBit ? 2 : 1;
            if (s.loopType && (s.loopLength == 0 || s.loopStart + s.loopLength > s.data.size()))
                throw std::runtime_error("sample loop outside the sample");
            out.u32le(static_cast<uint32_t>(s.data.size()) * width);
            out.u32le(s.loopStart * width);
            out.u32le(s.loopLength * width);
            out.u8(s.volume);
            out.u8(static_cast<uint8_t>(s.finetune));
            out.u8((s.loopType & 3) | (s.sixteenBit ? 16 : 0));
            out.u8(s.panning);
            out.u8(static_cast<uint8_t>(s.relativeNote));
            out.u8(0);
            out.text(s.name, 22);
        }
        for (const XmSample& s : ins.samples) {
            int previous = 0;
            for (int16_t value : s.data) {
                if (s.sixteenBit) {
                    out.u16le(static_cast<uint16_t>(value - previous));
                } else {
                    if (value < -128 || value > 127)
                        throw std::runtime_error("8-bit sample value out of range");
                    out.u8(static_cast<uint8_t>(value - previous));
                }
                previous = value;
            }
        }
    }
    return std::move(out.bytes);
}

SongTiming measureSong(const XmModule& m) {
    SongTiming timing;
    int speed = m.tempo, bpm = m.bpm;
    double now = 0;
    for (uint8_t order : m.orders) {
        timing.orderStartMs.push_back(now);
        const XmPattern& p = m.patterns.at(order);
        std::vector<int> loopCounter(m.channels, 0), loopStart(m.channels, 0);
        int row = 0;
        int guard = 0;
        while (row < p.rows && ++guard < 100000) {
            int delay = 0, next = row + 1;
            for (int ch = 0; ch < m.channels; ++ch) {
                const XmCell& c = p.at(row, ch);
                if (c.effect == 0xF) {
                    if (c.param && c.param < 32) speed = c.param;
                    if (c.param >= 32) bpm = c.param;
                } else if (c.effect == 0xE) {
                    int x = c.param >> 4, y = c.param & 15;
                    if (x == 0xE) delay = y;
                    if (x == 6 && y == 0) loopStart[ch] = row;
                    if (x == 6 && y) {
                        loopCounter[ch] = loopCounter[ch] ? loopCounter[ch] - 1 : y;
                        if (loopCounter[ch]) next = loopStart[ch];
                    }
                }
            }
            now += (1 + delay) * speed * 2500.0 / bpm;
            row = next;
        }
    }
    timing.totalMs = now;
    return timing;
}

} // namespace kestrune
