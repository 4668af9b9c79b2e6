// Reading an extended module from its bytes: header, packed patterns, instruments, samples.
#include <algorithm>
#include <bit>
#include <cstring>

#include "music/module.h"

namespace kestrune {
namespace {

// Reads little-endian values at offsets; anything past the end reads as zero.
struct ByteReader {
    std::span<const uint8_t> data;

    bool has(size_t offset, size_t n) const {
        return offset <= data.size() && n <= data.size() - offset;
    }
    uint8_t u8(size_t offset) const { return offset < data.size() ? data[offset] : 0; }
    int s8(size_t offset) const { return static_cast<int8_t>(u8(offset)); }
    int u16(size_t offset) const { return u8(offset) | u8(offset + 1) << 8; }
    int s16(size_t offset) const { return static_cast<int16_t>(u16(offset)); }
    uint32_t u32(size_t offset) const {
        return static_cast<uint32_t>(u16(offset)) | static_cast<uint32_t>(u16(offset + 2)) << 16;
    }
    // Copies n bytes, zero-filling what lies past the end.
    void copy(size_t offset, void* out, size_t n) const {
        std::memset(out, 0, n);
        if (offset < data.size())
            std::memcpy(out, data.data() + offset, std::min(n, data.size() - offset));
    }
};

// Records each row's start and checks that the walk over rows x channels ends exactly at the
// packed size. Rows past 256 are walked for the check but have no entry.
bool indexPattern(Pattern& p, int fileRows) {
    if (p.packedSize == 0) return true;
    size_t pos = 0;
    const size_t size = p.packed.size();
    for (int row = 0; row < fileRows; ++row) {
        if (row < kMaxRows) p.rowStart[row] = static_cast<int>(pos);
        for (int ch = 0; ch < p.channelCount; ++ch) {
            if (pos >= size) return false;
            const uint8_t first = p.packed[pos];
            pos += (first & 0x80) ? 1 + std::popcount(static_cast<unsigned>(first & 0x1F)) : 5;
        }
    }
    return pos == size;
}

void readEnvelope(const ByteReader& in, size_t points, InstrumentEnvelope& env) {
    for (int i = 0; i < 12; ++i) {
        env.points[i].x = static_cast<uint16_t>(in.u16(points + 4 * i));
        env.points[i].y = static_cast<uint16_t>(in.u16(points + 4 * i + 2));
    }
}

// The type byte's switches. A sustain or loop point outside the envelope's points turns that
// switch off, and an envelope without points is off, so playback never indexes past them.
void decodeEnvelope(InstrumentEnvelope& env) {
    const int count = std::min<int>(env.pointCount, 12);
    env.pointCount = static_cast<uint8_t>(count);
    env.enabled = (env.type & 1) && count > 0;
    env.sustain = (env.type & 2) && env.sustainPoint < count;
    env.loop = (env.type & 4) && env.loopStartPoint < count && env.loopEndPoint < count;
}

void decodeDelta8(int8_t* d, int n) {
    uint8_t acc = 0;
    for (int i = 0; i < n; ++i) d[i] = static_cast<int8_t>(acc += static_cast<uint8_t>(d[i]));
}

void decodeDelta16(int16_t* d, int n) {
    uint16_t acc = 0;
    for (int i = 0; i < n; ++i) d[i] = static_cast<int16_t>(acc += static_cast<uint16_t>(d[i]));
}

template <typename T> void writeGuard(T* d, const Sample& s) {
    if (s.loopType == LoopForward) {
        d[s.loopEnd] = d[s.loopStart];
    } else if (s.loopType == LoopPingPong) {
        d[s.loopEnd] = d[s.loopEnd - 1];
        d[s.loopEnd + 1] = d[s.loopEnd];
    } else {
        d[s.length] = d[s.length - 1];
    }
}

// Reads one 40-byte sample header. The length is cut to the bytes the file still holds after
// this header (available), which bounds every allocation by the file's size. Loop type 3 plays as
// a forward loop; loops are clamped into the sample, and a loop of no frames plays as no loop.
void readSampleHeader(const ByteReader& in, size_t at, int64_t available, Sample& s) {
    int64_t length = std::min<int64_t>(in.u32(at), std::max<int64_t>(available, 0));
    int64_t loopStart = in.u32(at + 4);
    int64_t loopLength = in.u32(at + 8);
    s.volume = in.u8(at + 12);
    s.finetune = static_cast<int8_t>(in.u8(at + 13));
    const int type = in.u8(at + 14);
    s.panning = in.u8(at + 15);
    s.relativeNote = static_cast<int8_t>(in.u8(at + 16));
    in.copy(at + 18, s.name, sizeof s.name);
    s.bits = (type & 0x10) ? 16 : 8;
    int64_t loopEnd = loopStart + loopLength;
    if (s.bits == 16) {
        length /= 2;
        loopStart /= 2;
        loopEnd /= 2;
    }
    s.length = static_cast<int>(length);
    s.loopType = type & 3;
    if (s.loopType == 3) s.loopType = LoopForward;
    s.loopStart = static_cast<int>(std::min(loopStart, length));
    s.loopEnd = static_cast<int>(std::clamp(loopEnd, loopStart, length));
    if (s.loopEnd <= s.loopStart) {
        s.loopType = LoopNone;
        s.loopStart = s.loopEnd = 0;
    }
    s.size = s.bits / 8 * s.length;
    s.data = createSoundBuffer(kMixRate, s.length, s.bits, 1);
}

void loadInstrument(const ByteReader& in, size_t at, int sampleCount, Instrument& ins);

} // namespace

int loadModule(std::span<const uint8_t> data, Module& module) {
    module = Module{};
    const ByteReader in{data};
    // The fixed header must be there; the text must match exactly.
    if (data.size() < kPatternStart || std::memcmp(data.data(), "Extended Module: ", 17) != 0)
        return 0;
    Module m;
    m.songLength = in.s16(64);
    m.restartPosition = in.s16(66);
    m.channelCount = in.s16(68);
    m.patternCount = in.s16(70);
    m.instrumentCount = in.s16(72);
    m.frequencyMode = (in.u16(74) & 1) ? FrequencyLinear : FrequencyAmiga;
    m.speed = in.s16(76);
    m.bpm = in.s16(78);
    in.copy(80, m.order, sizeof m.order);
    // Refused: no channels and negative counts. Clamped: the channels played to the 32 the row
    // buffer holds (patterns are still walked with every channel the file has, so later ones are
    // skipped, not misread), the song length to the order table (so every position indexes it),
    // the restart position into the song, and the BPM to the range Fxx can set, since a tiny one
    // would stretch a tick past the mixing ring.
    const int fileChannels = m.channelCount;
    if (fileChannels < 1 || m.patternCount < 0 || m.instrumentCount < 0) return 0;
    m.channelCount = std::min(fileChannels, kMaxChannels);
    m.songLength = std::clamp(m.songLength, 1, 256);
    if (m.restartPosition < 0 || m.restartPosition >= m.songLength) m.restartPosition = 0;
    m.bpm = std::clamp(m.bpm, 32, 255);

    size_t pos = kPatternStart;
    // Every pattern has a 9-byte header in the file: a count the file cannot hold is refused
    // before anything is allocated for it.
    if (static_cast<size_t>(m.patternCount) * 9 > data.size() - pos) return 0;
    m.patterns.resize(static_cast<size_t>(m.patternCount));
    for (Pattern& p : m.patterns) {
        // A pattern whose header or packed data runs past the file cannot be walked.
        if (!in.has(pos, 9)) return 0;
        const int fileRows = in.u16(pos + 5);
        p.packedSize = in.u16(pos + 7);
        if (!in.has(pos + 9, static_cast<size_t>(p.packedSize))) return 0;
        p.channelCount = fileChannels;
        p.rowCount = std::min(fileRows, kMaxRows);
        p.packed.assign(data.begin() + static_cast<std::ptrdiff_t>(pos + 9),
                        data.begin() + static_cast<std::ptrdiff_t>(pos + 9 + p.packedSize));
        if (!indexPattern(p, fileRows)) return 0;
        pos += 9 + static_cast<size_t>(p.packedSize);
    }

    m.instruments.resize(kInstrumentSlots);
    // Instruments past the 256 slots are ignored; a file cut inside the instruments keeps those
    // read completely and leaves the rest empty.
    const int instruments = std::min(m.instrumentCount, kInstrumentSlots);
    for (int i = 0; i < instruments; ++i) {
        Instrument& ins = m.instruments[static_cast<size_t>(i)];
        if (!in.has(pos, 29)) break;
        in.copy(pos + 4, ins.name, sizeof ins.name);
        const int sampleCount = in.u16(pos + 27);
        if (sampleCount == 0) {
            // An empty instrument's header is as long as its size field says (writers use 29, 33
            // and 263); a size field too small to hold the sample count counts as 33.
            const uint32_t size = in.u32(pos);
            pos += (size >= 29 && size <= 263) ? size : 33;
            continue;
        }
        const size_t headers = pos + 263;
        if (!in.has(headers, 40 * static_cast<size_t>(sampleCount))) break;
        loadInstrument(in, pos, sampleCount, ins);
        pos = headers + 40 * static_cast<size_t>(sampleCount);
        for (int s = 0; s < sampleCount; ++s) pos += in.u32(headers + 40 * s);
        if (pos > data.size()) break;
    }
    module = std::move(m);
    return module.channelCount;
}

namespace {

void loadInstrument(const ByteReader& in, size_t at, int sampleCount, Instrument& ins) {
    ins.empty = 0;
    ins.sampleCount = std::min(sampleCount, kSamplesPerInstrument);
    in.copy(at + 33, ins.sampleMap, sizeof ins.sampleMap);
    readEnvelope(in, at + 129, ins.volumeEnvelope);
    readEnvelope(in, at + 177, ins.panningEnvelope);
    ins.volumeEnvelope.pointCount = in.u8(at + 225);
    ins.panningEnvelope.pointCount = in.u8(at + 226);
    ins.volumeEnvelope.sustainPoint = in.u8(at + 227);
    ins.volumeEnvelope.loopStartPoint = in.u8(at + 228);
    ins.volumeEnvelope.loopEndPoint = in.u8(at + 229);
    ins.panningEnvelope.sustainPoint = in.u8(at + 230);
    ins.panningEnvelope.loopStartPoint = in.u8(at + 231);
    ins.panningEnvelope.loopEndPoint = in.u8(at + 232);
    ins.volumeEnvelope.type = in.u8(at + 233);
    ins.panningEnvelope.type = in.u8(at + 234);
    decodeEnvelope(ins.volumeEnvelope);
    decodeEnvelope(ins.panningEnvelope);
    ins.vibratoType = in.u8(at + 235);
    ins.vibratoSweep = in.u8(at + 236);
    ins.vibratoDepth = in.u8(at + 237);
    ins.vibratoRate = in.u8(at + 238);
    ins.fadeout = in.u16(at + 239);

    const size_t headers = at + 263;
    size_t dataPos = headers + 40 * static_cast<size_t>(sampleCount);
    // Samples past the sixteenth are walked over and dropped. Each sample's bytes advance by the
    // header's byte length (an odd 16-bit length keeps its last byte out of the frames).
    for (int i = 0; i < ins.sampleCount; ++i) {
        Sample& s = ins.samples[i];
        const size_t header = headers + 40 * static_cast<size_t>(i);
        const int64_t available = static_cast<int64_t>(in.data.size()) -
                                  static_cast<int64_t>(std::min(dataPos, in.data.size()));
        readSampleHeader(in, header, available, s);
        if (s.data.hasData() && s.size > 0) {
            in.copy(dataPos, s.data.bytes(), static_cast<size_t>(s.size));
            s.empty = 0;
            if (s.bits == 16) {
                decodeDelta16(s.data.samples16(), s.length);
                writeGuard(s.data.samples16(), s);
            } else {
                decodeDelta8(s.data.samples8(), s.length);
                writeGuard(s.data.samples8(), s);
            }
        }
        dataPos += in.u32(header);
    }
}

} // namespace

void unpackRow(const Pattern& pattern, int row, NoteCell* cells) {
    const int channels = std::min(pattern.channelCount, kMaxChannels);
    for (int ch = 0; ch < kMaxChannels; ++ch) cells[ch] = NoteCell{};
    if (pattern.packed.empty()) return;
    const ByteReader in{pattern.packed};
    size_t pos = (row >= 0 && row < kMaxRows) ? static_cast<size_t>(pattern.rowStart[row]) : 0;
    for (int ch = 0; ch < channels; ++ch) {
        NoteCell& c = cells[ch];
        const uint8_t first = in.u8(pos++);
        int note = 0, instrument = 0, volume = 0, type = 0, parameter = 0;
        if (first & 0x80) {
            if (first & 1) note = in.u8(pos++);
            if (first & 2) instrument = in.u8(pos++);
            if (first & 4) volume = in.u8(pos++);
            if (first & 8) type = in.u8(pos++);
            if (first & 16) parameter = in.u8(pos++);
        } else {
            note = first;
            instrument = in.u8(pos++);
            volume = in.u8(pos++);
            type = in.u8(pos++);
            parameter = in.u8(pos++);
        }
        c.note = static_cast<uint16_t>(note & 0x7F);
        c.instrument = static_cast<uint8_t>(instrument);
        c.volume = static_cast<uint8_t>(volume);
        c.effect = static_cast<uint16_t>(type << 8 | parameter);
    }
}

const Sample& sampleNumbered(const Instrument& instrument, int number) {
    static const Sample none;
    if (number < 0 || number >= kSamplesPerInstrument) return none;
    return instrument.samples[number];
}

const Sample& sampleForNote(const Instrument& instrument, int noteIndex) {
    if (noteIndex < 0 || noteIndex >= 96) return sampleNumbered(instrument, kSamplesPerInstrument);
    return sampleNumbered(instrument, instrument.sampleMap[noteIndex]);
}

} // namespace kestrune
