// The module writer read back through the project's module loader, and the song timing.
#include <gtest/gtest.h>

#include "content/xm_writer.h"
#include "music/module.h"

using namespace kestrune;

TEST(XmWriter, ModuleReadsBackThroughTheLoader) {
    XmModule m;
    m.name = "test";
    m.channels = 3;
    m.bpm = 140;
    m.tempo = 5;
    m.restartPosition = 1;
    XmPattern p(32, 3);
    p.at(0, 0) = {49, 1, 0x40, 0x0F, 0x20}; // every field: stored unpacked
    p.at(1, 1) = {97, 0, 0, 0, 0};          // key off alone
    p.at(2, 2) = {0, 0, 0xC4, 0x0E, 0x93};  // volume column and an extended effect
    m.patterns.push_back(p);
    m.patterns.emplace_back(64, 3);
    m.orders = {0, 1, 0};
    XmInstrument ins;
    ins.name = "two";
    XmSample eight;
    eight.data = {0, 10, -20, 127, -128, 5};
    eight.loopType = 2;
    eight.loopStart = 1;
    eight.loopLength = 4;
    XmSample sixteen;
    sixteen.sixteenBit = true;
    sixteen.data = {0, 1000, -32000, 32000, 7};
    sixteen.loopType = 1;
    sixteen.loopStart = 2;
    sixteen.loopLength = 3;
    sixteen.relativeNote = -12;
    sixteen.finetune = -16;
    ins.samples = {eight, sixteen};
    for (int k = 48; k < 96; ++k) ins.sampleMap[k] = 1;
    ins.volumeEnvelope = {{{0, 0}, {10, 64}, {20, 32}, {30, 64}}, 1, 2, 3, true, true, true};
    ins.fadeout = 512;
    ins.vibratoDepth = 4;
    ins.vibratoRate = 9;
    m.instruments.push_back(ins);

    std::vector<uint8_t> bytes = writeXm(m);
    Module module;
    ASSERT_EQ(loadModule(bytes, module), 3);
    EXPECT_EQ(module.songLength, 3);
    EXPECT_EQ(module.restartPosition, 1);
    EXPECT_EQ(module.bpm, 140);
    EXPECT_EQ(module.speed, 5);
    EXPECT_EQ(module.frequencyMode, FrequencyLinear);
    ASSERT_EQ(module.patternCount, 2);
    EXPECT_EQ(module.patterns[0].rowCount, 32);
    NoteCell cells[kMaxChannels];
    unpackRow(module.patterns[0], 0, cells);
    EXPECT_EQ(cells[0].note, 49);
    EXPECT_EQ(cells[0].instrument, 1);
    EXPECT_EQ(cells[0].volume, 0x40);
    EXPECT_EQ(cells[0].effect, 0x0F20);
    unpackRow(module.patterns[0], 1, cells);
    EXPECT_EQ(cells[1].note, 97);
    unpackRow(module.patterns[0], 2, cells);
    EXPECT_EQ(cells[2].volume, 0xC4);
    EXPECT_EQ(cells[2].effect, 0x0E93);
    const Instrument& in = module.instruments[0];
    ASSERT_EQ(in.sampleCount, 2);
    EXPECT_EQ(in.sampleMap[60], 1);
    EXPECT_EQ(in.volumeEnvelope.pointCount, 4);
    EXPECT_TRUE(in.volumeEnvelope.sustain);
    EXPECT_TRUE(in.volumeEnvelope.loop);
    EXPECT_EQ(in.volumeEnvelope.points[1].y, 64);
    EXPECT_EQ(in.fadeout, 512);
    EXPECT_EQ(in.vibratoRate, 9);
    const Sample& a = in.samples[0];
    EXPECT_EQ(a.length, 6);
    EXPECT_EQ(a.loopType, 2);
    EXPECT_EQ(a.loopEnd, 5);
    const Sample& b = in.samples[1];
    EXPECT_EQ(b.bits, 16);
    EXPECT_EQ(b.length, 5);
    EXPECT_EQ(b.loopStart, 2);
    EXPECT_EQ(b.relativeNote, -12);
    EXPECT_EQ(b.finetune, -16);
}

TEST(XmWriter, RefusesWhatTheFormatCannotHold) {
    XmModule m;
    m.channels = 2;
    m.patterns.emplace_back(64, 2);
    m.orders = {1}; // no pattern 1
    XmInstrument ins;
    ins.samples.push_back({});
    m.instruments.push_back(ins);
    EXPECT_THROW(writeXm(m), std::runtime_error);
    m.orders = {0};
    m.instruments[0].samples[0].data = {200}; // beyond 8 bits
    EXPECT_THROW(writeXm(m), std::runtime_error);
    m.instruments[0].samples[0].data = {1, 2};
    m.instruments[0].samples[0].loopType = 1;
    m.instruments[0].samples[0].loopLength = 3; // past the end
    EXPECT_THROW(writeXm(m), std::runtime_error);
}

TEST(XmWriter, SongTimingCountsLoopsDelaysAndTempo) {
    XmModule m;
    m.channels = 2;
    m.tempo = 6;
    m.bpm = 125; // 20 ms ticks, 120 ms rows
    XmPattern p(8, 2);
    p.at(2, 0) = {0, 0, 0, 0xE, 0x60};
    p.at(3, 0) = {0, 0, 0, 0xE, 0x62}; // rows 2..3 three times: 4 extra rows
    p.at(5, 1) = {0, 0, 0, 0xE, 0xE1}; // row 5 lasts twice
    p.at(6, 1) = {0, 0, 0, 0xF, 250};  // from row 6: 10 ms ticks
    m.patterns.push_back(p);
    m.orders = {0, 0};
    SongTiming t = measureSong(m);
    ASSERT_EQ(t.orderStartMs.size(), 2u);
    // Rows 0..5 with the loop and the delay: (6 + 4 + 1) x 120; rows 6, 7: 2 x 60.
    EXPECT_DOUBLE_EQ(t.orderStartMs[1], 11 * 120.0 + 2 * 60.0);
    EXPECT_DOUBLE_EQ(t.totalMs, t.orderStartMs[1] + 60.0 * 11 + 2 * 60.0);
}
