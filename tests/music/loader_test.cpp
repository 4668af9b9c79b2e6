// Loading modules: header words, patterns, instruments, samples and hostile files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "music/module.h"
#include "music/module_player.h"
#include "xm_builder.h"

namespace kestrune {
namespace {

using test::XmBuilder;
using test::XmInstrument;
using test::XmSample;

TEST(ModuleLoader, ReadsHeaderPatternsAndCells) {
    XmBuilder b;
    b.channels = 2;
    b.speed = 3;
    b.bpm = 140;
    b.order = {1, 0, 1};
    b.restart = 1;
    b.addPattern(4);
    b.addPattern(2);
    b.cell(1, 1, 1) = {49, 1, 0x40, Extended, 0x93};
    b.instruments.push_back(test::loopingInstrument());
    Module m;
    ASSERT_EQ(loadModule(b.bytes(), m), 2);
    EXPECT_EQ(m.songLength, 3);
    EXPECT_EQ(m.restartPosition, 1);
    EXPECT_EQ(m.speed, 3);
    EXPECT_EQ(m.bpm, 140);
    EXPECT_EQ(m.frequencyMode, FrequencyLinear);
    ASSERT_EQ(m.patterns.size(), 2u);
    EXPECT_EQ(m.patterns[0].rowCount, 4);
    EXPECT_EQ(m.patterns[1].rowCount, 2);
    NoteCell cells[kMaxChannels];
    unpackRow(m.patterns[1], 1, cells);
    EXPECT_EQ(cells[1].note, 49);
    EXPECT_EQ(cells[1].instrument, 1);
    EXPECT_EQ(cells[1].volume, 0x40);
    EXPECT_EQ(cells[1].effect, 0x0E93);
    EXPECT_EQ(cells[0].note, 0);
    // Rows past the count and past the table read as the first row.
    unpackRow(m.patterns[1], 300, cells);
    EXPECT_EQ(cells[1].note, 0);
}

TEST(ModuleLoader, UnpacksMaskedAndPlainEntries) {
    XmBuilder b;
    b.channels = 2;
    b.addPattern(1);
    std::vector<uint8_t> bytes = b.bytes();
    // Replace the pattern's data: a plain 5-byte entry, then a mask with note and effect only.
    const std::vector<uint8_t> packed = {0x31, 0x02, 0x10, 0x0C, 0x20, 0x80 | 0x01 | 0x08,
                                         0x61, 0x0F};
    bytes.resize(kPatternStart + 9);
    bytes[kPatternStart + 7] = static_cast<uint8_t>(packed.size());
    bytes.insert(bytes.end(), packed.begin(), packed.end());
    Module m;
    ASSERT_EQ(loadModule(bytes, m), 2);
    NoteCell cells[kMaxChannels];
    unpackRow(m.patterns[0], 0, cells);
    EXPECT_EQ(cells[0].note, 0x31);
    EXPECT_EQ(cells[0].instrument, 2);
    EXPECT_EQ(cells[0].volume, 0x10);
    EXPECT_EQ(cells[0].effect, 0x0C20);
    EXPECT_EQ(cells[1].note, 0x61 & 0x7F);
    EXPECT_EQ(cells[1].instrument, 0);
    EXPECT_EQ(cells[1].effect, 0x0F00); // type present, parameter absent
}

TEST(ModuleLoader, EmptyPatternPlaysItsRowsAndHeaderSizeIsIgnored) {
    XmBuilder b;
    b.headerSize = 20; // patterns still start at 336
    b.addPattern(1);
    std::vector<uint8_t> bytes = b.bytes();
    bytes.resize(kPatternStart + 9);
    bytes[kPatternStart + 5] = 64; // 64 rows, packed size 0
    bytes[kPatternStart + 7] = 0;
    Module m;
    ASSERT_EQ(loadModule(bytes, m), 1);
    EXPECT_EQ(m.patterns[0].rowCount, 64);
    EXPECT_EQ(m.patterns[0].packedSize, 0);
}

TEST(ModuleLoader, SamplesDecodeAndGetGuardFrames) {
    XmBuilder b;
    b.addPattern(1);
    XmInstrument ins;
    XmSample oneShot;
    oneShot.frames = {3, -7, 100, -128, 127, -5};
    XmSample forward;
    forward.frames = {10, 20, 30, 40, 50};
    forward.loopType = 1;
    forward.loopStart = 1;
    forward.loopLength = 3; // loop end 4
    XmSample pingPong;
    pingPong.bits = 16;
    pingPong.frames = {1000, -30000, 32767, -32768, 12345, 5};
    pingPong.loopType = 2;
    pingPong.loopStart = 1;
    pingPong.loopLength = 3; // loop end 4
    ins.samples = {oneShot, forward, pingPong};
    b.instruments.push_back(ins);
    Module m;
    ASSERT_EQ(loadModule(b.bytes(), m), 1);
    const Instrument& in = m.instruments[0];
    EXPECT_EQ(in.empty, 0);
    ASSERT_EQ(in.sampleCount, 3);
    const int8_t* s8 = in.samples[0].data.samples8();
    EXPECT_EQ(std::vector<int>(s8, s8 + 7), (std::vector<int>{3, -7, 100, -128, 127, -5, -5}));
    const int8_t* f8 = in.samples[1].data.samples8();
    EXPECT_EQ(in.samples[1].loopEnd, 4);
    EXPECT_EQ(f8[4], 20); // loop end holds the loop start's value
    const Sample& pp = in.samples[2];
    EXPECT_EQ(pp.bits, 16);
    EXPECT_EQ(pp.length, 6);
    EXPECT_EQ(pp.loopStart, 1);
    EXPECT_EQ(pp.loopEnd, 4);
    const int16_t* d16 = pp.data.samples16();
    EXPECT_EQ(d16[1], -30000); // delta decoding wraps in 16 bits
    EXPECT_EQ(d16[3], -32768);
    EXPECT_EQ(d16[4], -32768); // [loop end] = [loop end - 1]
    EXPECT_EQ(d16[5], -32768); // [loop end + 1] = [loop end]
}

TEST(ModuleLoader, OddSixteenBitLengthAndEmptyInstrument) {
    XmBuilder b;
    b.addPattern(1);
    b.instruments.push_back(XmInstrument{}); // no samples: 33 bytes, stays empty
    XmInstrument ins;
    XmSample s;
    s.bits = 16;
    s.frames.assign(500, 7);
    ins.samples = {s};
    b.instruments.push_back(ins);
    std::vector<uint8_t> bytes = b.bytes();
    // Make the 16-bit sample 1001 bytes long: one extra byte after its data.
    const size_t header = bytes.size() - 1000 - 40;
    bytes[header] = static_cast<uint8_t>(1001 & 0xFF);
    bytes[header + 1] = static_cast<uint8_t>(1001 >> 8);
    bytes.push_back(0x55);
    Module m;
    ASSERT_EQ(loadModule(bytes, m), 1);
    EXPECT_EQ(m.instruments[0].empty, 1);
    EXPECT_EQ(m.instruments[1].empty, 0);
    EXPECT_EQ(m.instruments[1].samples[0].length, 500);
    EXPECT_EQ(m.instruments[1].samples[0].data.samples16()[499], 7);
}

TEST(ModuleLoader, EmptyInstrumentHeaderSizeFromItsField) {
    // Writers give empty instruments headers of 29 or 263 bytes; the next instrument must still
    // be found.
    for (uint32_t size : {29u, 263u}) {
        XmBuilder b;
        b.addPattern(1);
        b.instruments.push_back(XmInstrument{});
        b.instruments.push_back(test::loopingInstrument(16));
        std::vector<uint8_t> bytes = b.bytes();
        const size_t at = kPatternStart + 9 + 6;
        bytes[at] = static_cast<uint8_t>(size);
        bytes[at + 1] = static_cast<uint8_t>(size >> 8);
        const auto where = bytes.begin() + static_cast<std::ptrdiff_t>(at);
        if (size > 33)
            bytes.insert(where + 33, size - 33, 0);
        else
            bytes.erase(where + size, where + 33);
        Module m;
        ASSERT_EQ(loadModule(bytes, m), 1) << size;
        EXPECT_EQ(m.instruments[1].empty, 0) << size;
        EXPECT_EQ(m.instruments[1].samples[0].length, 16) << size;
    }
}

TEST(ModuleLoader, RefusesWhatCannotBeWalkedAndSaysWhy) {
    XmBuilder b;
    b.addPattern(2);
    const std::vector<uint8_t> good = b.bytes();
    using Bytes = std::vector<uint8_t>;
    const struct {
        const char* name;
        void (*corrupt)(Bytes&);
        std::string_view reason;
    } cases[] = {
        {"signature", [](Bytes& x) { x[3] = 'X'; },
         "the file does not start with \"Extended Module: \""},
        {"cut header", [](Bytes& x) { x.resize(100); },
         "the file is shorter than the module header"},
        {"no channels", [](Bytes& x) { x[68] = 0; }, "the module has no channels"},
        {"negative instrument count", [](Bytes& x) { x[73] = 0x80; },
         "a negative pattern or instrument count"},
        {"32767 patterns in a file that cannot hold their headers",
         [](Bytes& x) { x[70] = 0xFF, x[71] = 0x7F; }, "more patterns than the file holds"},
        {"second pattern header cut",
         [](Bytes& x) { x[70] = 2, x.resize(x.size() + 8); },
         "a pattern header runs past the end of the file"},
        {"packed data cut", [](Bytes& x) { x.resize(x.size() - 1); },
         "a pattern's packed data runs past the end of the file"},
        {"three rows but packed data for two", [](Bytes& x) { x[kPatternStart + 5] = 3; },
         "a pattern's packed data does not match its rows"},
    };
    // A file read ahead (the show reads its module while the scenes load) is refused alike.
    const std::string path =
        (std::filesystem::temp_directory_path() / "kestrune-refused.xm").string();
    auto prepared = [&path](const Bytes& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return prepareModuleFile(path.c_str());
    };
    Module m;
    ModulePlayer player;
    for (const auto& c : cases) {
        Bytes bad = good;
        c.corrupt(bad);
        Refusal refusal;
        EXPECT_EQ(loadModule(bad, m, &refusal), 0) << c.name;
        EXPECT_EQ(m.channelCount, 0) << c.name;
        EXPECT_EQ(refusal.reason, c.reason) << c.name;
        EXPECT_EQ(player.loadPrepared(prepared(bad)), 0) << c.name;
        EXPECT_TRUE(player.channels.empty()) << c.name;
        EXPECT_EQ(player.refusal.reason, c.reason) << c.name;
    }
    Refusal refusal;
    EXPECT_EQ(loadModule(good, m, &refusal), 1);
    EXPECT_EQ(refusal.reason, "");
    EXPECT_EQ(player.loadPrepared(prepared(good)), 1);
    EXPECT_EQ(player.refusal.reason, "");
    std::filesystem::remove(path);
    EXPECT_EQ(player.loadPrepared(prepareModuleFile(path.c_str())), 0);
    EXPECT_EQ(player.refusal.reason, "the file cannot be opened");
    EXPECT_EQ(player.channels.size(), 1u); // a file never read leaves the player as it was
}

TEST(ModuleLoader, PlaysTheFirst32ChannelsOfWiderModules) {
    // 34 channels: the patterns walk with all of them, the first 32 are played, and the cells
    // of the last two neither shift the next row nor reach the player.
    XmBuilder b;
    b.channels = 34;
    b.addPattern(2);
    b.instruments.push_back(test::loopingInstrument());
    b.cell(0, 0, 0) = {49, 1};
    b.cell(0, 0, 31) = {50, 1};
    b.cell(0, 0, 33) = {51, 1, 0, SpeedOrTempo, 0x01};
    b.cell(0, 1, 0) = {52, 1};
    Module m;
    ASSERT_EQ(loadModule(b.bytes(), m), 32);
    NoteCell cells[kMaxChannels];
    unpackRow(m.patterns[0], 0, cells);
    EXPECT_EQ(cells[0].note, 49);
    EXPECT_EQ(cells[31].note, 50);
    unpackRow(m.patterns[0], 1, cells);
    EXPECT_EQ(cells[0].note, 52);
    EXPECT_EQ(cells[31].note, 0);
    ModulePlayer player;
    EXPECT_EQ(player.loadFromMemory(b.bytes()), 32);
    EXPECT_EQ(player.voicesNeeded, 32);
}

TEST(ModuleLoader, ClampsHostileSamplesAndCounts) {
    XmBuilder b;
    b.addPattern(1);
    XmInstrument ins = test::loopingInstrument(32);
    ins.mapAll = 20;             // map entries of 16 or more select no sample
    ins.samples[0].loopType = 3; // plays as a forward loop
    ins.samples[0].loopStart = 8;
    ins.samples[0].loopLength = 1000; // past the end: clamped to the length
    b.instruments.push_back(ins);
    std::vector<uint8_t> bytes = b.bytes();
    bytes[72] = 0x10; // 4112 instruments announced, one present
    bytes[73] = 0x10;
    bytes.resize(bytes.size() - 10); // sample data cut short
    Module m;
    ASSERT_EQ(loadModule(bytes, m), 1);
    const Sample& s = m.instruments[0].samples[0];
    EXPECT_EQ(s.loopType, LoopForward);
    EXPECT_EQ(s.length, 22); // what the file still holds
    EXPECT_EQ(s.loopStart, 8);
    EXPECT_EQ(s.loopEnd, 22);
    EXPECT_TRUE(sampleForNote(m.instruments[0], 10).empty);
    EXPECT_EQ(m.instruments[1].empty, 1);
    // Tiny BPM and song lengths past the order table are clamped.
    bytes[78] = 1;
    bytes[64] = 0;
    bytes[65] = 2; // 512
    ASSERT_EQ(loadModule(bytes, m), 1);
    EXPECT_EQ(m.bpm, 32);
    EXPECT_EQ(m.songLength, 256);
}

TEST(ModuleLoader, PlayerLoadsFromFileAndReportsFailure) {
    ModulePlayer player;
    EXPECT_EQ(player.loadFromFile("/nonexistent/test.xm"), 0);
    EXPECT_EQ(player.refusal.reason, "the file cannot be opened");
    EXPECT_EQ(player.voicesNeeded, 0);
    XmBuilder b;
    b.channels = 4;
    b.addPattern(1);
    EXPECT_EQ(player.loadFromMemory(b.bytes()), 4);
    EXPECT_EQ(player.channels.size(), 4u);
    EXPECT_EQ(player.voicesNeeded, 4);
    EXPECT_EQ(player.refusal.reason, "");
}

} // namespace
} // namespace kestrune
