// Reading an extended module from its bytes: header, packed patterns, instruments, samples.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "binary/byte_reader.h"
#include "music/module.h"

namespace kestrune {
namespace {

// Copies the next n bytes, zero-filling what lies past the reader's end.
void copyBytes(ByteReader& in, void* out, size_t n) {
    const std::span<const uint8_t> bytes = in.bytes(n);
    std::memset(out, 0, n);
    if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
}

// Records each row's start and checks that the walk over rows x channels ends exactly at the
// packed size. Rows past 256 are walked for the check but have no entry.
bool indexPattern(Pattern& p, int fileRows) {
    // A packed note's length from its first byte: the byte itself and one per field it flags,
    // or five when it is not packed.
    static constexpr auto kNoteLength = [] {
        std::array<uint8_t, 256> length{};
        for (int first = 0; first < 256; ++first)
            length[first] = uint8_t((first & 0x80) ? 1 + std::popcount(unsigned(first & 0x1F)) : 5);
        return length;
    }();
    if (p.packedSize == 0) return true;
    size_t pos = 0;
    const size_t size = p.packed.size();
    for (int row = 0; row < fileRows; ++row) {
        if (row < kMaxRows) p.rowStart[row] = static_cast<int>(pos);
        for (int ch = 0; ch < p.channelCount; ++ch) {
            if (pos >= size) return false;
            pos += kNoteLength[p.packed[pos]];
        }
    }
    return pos == size;
}

void readEnvelope(ByteReader& in, InstrumentEnvelope& env) {
    for (int i = 0; i < 12; ++i) {
        env.points[i].x = in.u16le();
        env.points[i].y = in.u16le();
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
void readSampleHeader(ByteReader in, int64_t available, Sample& s) {
    int64_t length = std::min<int64_t>(in.u32le(), std::max<int64_t>(available, 0));
    int64_t loopStart = in.u32le();
    int64_t loopLength = in.u32le();
    s.volume = in.u8();
    s.finetune = in.i8();
    const int type = in.u8();
    s.panning = in.u8();
    s.relativeNote = in.i8();
    in.skip(1);
    copyBytes(in, s.name, sizeof s.name);
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
int refused(Refusal* refusal, std::string_view why);

} // namespace

int loadModule(std::span<const uint8_t> data, Module& module, Refusal* refusal) {
    module = Module{};
    const ByteReader in(data);
    // The fixed header must be there; the text must match exactly.
    if (data.size() < kPatternStart)
        return refused(refusal, "the file is shorter than the module header");
    if (std::memcmp(data.data(), "Extended Module: ", 17) != 0)
        return refused(refusal, "the file does not start with \"Extended Module: \"");
    Module m;
    ByteReader header = in.at(64);
    m.songLength = header.i16le();
    m.restartPosition = header.i16le();
    m.channelCount = header.i16le();
    m.patternCount = header.i16le();
    m.instrumentCount = header.i16le();
    m.frequencyMode = (header.u16le() & 1) ? FrequencyLinear : FrequencyAmiga;
    m.speed = header.i16le();
    m.bpm = header.i16le();
    copyBytes(header, m.order, sizeof m.order);
    // Refused: no channels and negative counts. Clamped: the channels played to the 32 the row
    // buffer holds (patterns are still walked with every channel the file has, so later ones are
    // skipped, not misread), the song length to the order table (so every position indexes it),
    // the restart position into the song, and the BPM to the range Fxx can set, since a tiny one
    // would stretch a tick past the mixing ring.
    const int fileChannels = m.channelCount;
    if (fileChannels < 1) return refused(refusal, "the module has no channels");
    if (m.patternCount < 0 || m.instrumentCount < 0)
        return refused(refusal, "a negative pattern or instrument count");
    m.channelCount = std::min(fileChannels, kMaxChannels);
    m.songLength = std::clamp(m.songLength, 1, 256);
    if (m.restartPosition < 0 || m.restartPosition >= m.songLength) m.restartPosition = 0;
    m.bpm = std::clamp(m.bpm, 32, 255);

    ByteReader patterns = in.at(kPatternStart);
    // Every pattern has a 9-byte header in the file: a count the file cannot hold is refused
    // before anything is allocated for it.
    if (static_cast<size_t>(m.patternCount) * 9 > patterns.remaining())
        return refused(refusal, "more patterns than the file holds");
    m.patterns.resize(static_cast<size_t>(m.patternCount));
    for (Pattern& p : m.patterns) {
        // A pattern whose header or packed data runs past the file cannot be walked.
        if (!patterns.has(9))
            return refused(refusal, "a pattern header runs past the end of the file");
        ByteReader patternHeader = patterns.take(9);
        patternHeader.skip(5);
        const int fileRows = patternHeader.u16le();
        p.packedSize = patternHeader.u16le();
        if (!patterns.has(static_cast<size_t>(p.packedSize)))
            return refused(refusal, "a pattern's packed data runs past the end of the file");
        p.channelCount = fileChannels;
        p.rowCount = std::min(fileRows, kMaxRows);
        const std::span<const uint8_t> packed = patterns.bytes(static_cast<size_t>(p.packedSize));
        p.packed.assign(packed.begin(), packed.end());
        if (!indexPattern(p, fileRows))
            return refused(refusal, "a pattern's packed data does not match its rows");
    }
    size_t pos = kPatternStart + patterns.position();

    // Instruments past the 256 slots are ignored; a file cut inside the instruments keeps those
    // read completely and leaves the rest empty.
    const int instruments = std::min(m.instrumentCount, kInstrumentSlots);
    m.instruments.resize(static_cast<size_t>(instruments));
    for (int i = 0; i < instruments; ++i) {
        Instrument& ins = m.instruments[static_cast<size_t>(i)];
        ByteReader instrument = in.at(pos);
        if (!instrument.has(29)) break;
        const uint32_t size = instrument.u32le();
        copyBytes(instrument, ins.name, sizeof ins.name);
        instrument.skip(1);
        const int sampleCount = instrument.u16le();
        if (sampleCount == 0) {
            // An empty instrument's header is as long as its size field says (writers use 29, 33
            // and 263); a size field too small to hold the sample count counts as 33.
            pos += (size >= 29 && size <= 263) ? size : 33;
            continue;
        }
        const size_t headers = pos + 263;
        if (!in.at(headers).has(40 * static_cast<size_t>(sampleCount))) break;
        loadInstrument(in, pos, sampleCount, ins);
        pos = headers + 40 * static_cast<size_t>(sampleCount);
        ByteReader sampleHeaders = in.at(headers);
        for (int s = 0; s < sampleCount; ++s) pos += sampleHeaders.take(40).u32le();
        if (pos > data.size()) break;
    }
    module = std::move(m);
    return module.channelCount;
}

namespace {

void loadInstrument(const ByteReader& in, size_t at, int sampleCount, Instrument& ins) {
    ins.empty = 0;
    ins.sampleCount = std::min(sampleCount, kSamplesPerInstrument);
    ByteReader header = in.at(at + 33);
    copyBytes(header, ins.sampleMap, sizeof ins.sampleMap);
    readEnvelope(header, ins.volumeEnvelope);
    readEnvelope(header, ins.panningEnvelope);
    ins.volumeEnvelope.pointCount = header.u8();
    ins.panningEnvelope.pointCount = header.u8();
    ins.volumeEnvelope.sustainPoint = header.u8();
    ins.volumeEnvelope.loopStartPoint = header.u8();
    ins.volumeEnvelope.loopEndPoint = header.u8();
    ins.panningEnvelope.sustainPoint = header.u8();
    ins.panningEnvelope.loopStartPoint = header.u8();
    ins.panningEnvelope.loopEndPoint = header.u8();
    ins.volumeEnvelope.type = header.u8();
    ins.panningEnvelope.type = header.u8();
    decodeEnvelope(ins.volumeEnvelope);
    decodeEnvelope(ins.panningEnvelope);
    ins.vibratoType = header.u8();
    ins.vibratoSweep = header.u8();
    ins.vibratoDepth = header.u8();
    ins.vibratoRate = header.u8();
    ins.fadeout = header.u16le();

    const size_t headers = at + 263;
    size_t dataPos = headers + 40 * static_cast<size_t>(sampleCount);
    // Samples past the sixteenth are walked over and dropped. Each sample's bytes advance by the
    // header's byte length (an odd 16-bit length keeps its last byte out of the frames).
    ByteReader sampleHeaders = in.at(headers);
    for (int i = 0; i < ins.sampleCount; ++i) {
        Sample& s = ins.samples[i];
        const ByteReader sampleHeader = sampleHeaders.take(40);
        const int64_t available =
            static_cast<int64_t>(in.size()) - static_cast<int64_t>(std::min(dataPos, in.size()));
        readSampleHeader(sampleHeader, available, s);
        if (s.data.hasData() && s.size > 0) {
            ByteReader sampleData = in.at(dataPos);
            copyBytes(sampleData, s.data.bytes(), static_cast<size_t>(s.size));
            s.empty = 0;
            if (s.bits == 16) {
                decodeDelta16(s.data.samples16(), s.length);
                writeGuard(s.data.samples16(), s);
            } else {
                decodeDelta8(s.data.samples8(), s.length);
                writeGuard(s.data.samples8(), s);
            }
        }
        dataPos += ByteReader(sampleHeader).u32le();
    }
}

int refused(Refusal* refusal, std::string_view why) {
    refuse(refusal, why);
    return 0;
}

} // namespace

void unpackRow(const Pattern& pattern, int row, NoteCell* cells) {
    const int channels = std::min(pattern.channelCount, kMaxChannels);
    for (int ch = 0; ch < kMaxChannels; ++ch) cells[ch] = NoteCell{};
    if (pattern.packed.empty()) return;
    ByteReader in = ByteReader(pattern.packed)
                        .at((row >= 0 && row < kMaxRows) ? static_cast<size_t>(pattern.rowStart[row])
                                                         : 0);
    for (int ch = 0; ch < channels; ++ch) {
        NoteCell& c = cells[ch];
        const uint8_t first = in.u8();
        int note = 0, instrument = 0, volume = 0, type = 0, parameter = 0;
        if (first & 0x80) {
            if (first & 1) note = in.u8();
            if (first & 2) instrument = in.u8();
            if (first & 4) volume = in.u8();
            if (first & 8) type = in.u8();
            if (first & 16) parameter = in.u8();
        } else {
            note = first;
            instrument = in.u8();
            volume = in.u8();
            type = in.u8();
            parameter = in.u8();
        }
        c.note = static_cast<uint16_t>(note & 0x7F);
        c.instrument = static_cast<uint8_t>(instrument);
        c.volume = static_cast<uint8_t>(volume);
        c.effect = static_cast<uint16_t>(type << 8 | parameter);
    }
}

const Instrument& instrumentNumbered(const Module& module, int number) {
    static const Instrument absent;
    if (number < 1 || number > static_cast<int>(module.instruments.size())) return absent;
    return module.instruments[static_cast<size_t>(number - 1)];
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
