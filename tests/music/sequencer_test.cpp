// The sequencer and the channel effects, tick by tick on small modules built in memory.
#include <gtest/gtest.h>

#include <cmath>

#include "music/module_player.h"
#include "music/periods.h"
#include "xm_builder.h"

namespace kestrune {
namespace {

using test::XmBuilder;
using test::XmCell;

// A player with its own voices, attached to no device.
struct Harness {
    ModulePlayer player;
    Voice voices[kMaxSourceVoices];

    explicit Harness(const XmBuilder& b) {
        EXPECT_EQ(player.loadFromMemory(b.bytes()), b.channels);
        for (int i = 0; i < kMaxSourceVoices; ++i) {
            voices[i].state = VoiceOwned;
            player.voices[i] = &voices[i];
        }
        player.resetChannels();
        player.restart();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) player.tick();
    }
    Channel& channel(int i = 0) { return player.channels[static_cast<size_t>(i)]; }
    Voice& voice(int i = 0) { return voices[i]; }
};

// One channel, one 64-row pattern, one looping instrument; speed 6, BPM 125, linear periods.
XmBuilder oneChannel(int rows = 64) {
    XmBuilder b;
    b.addPattern(rows);
    b.instruments.push_back(test::loopingInstrument());
    return b;
}

constexpr int kC4 = 49; // note index 48

TEST(Sequencer, FirstRowOnTheSixthTickAndTickLength) {
    XmBuilder b = oneChannel();
    b.cell(0, 0) = {kC4, 1};
    Harness h(b);
    h.ticks(5);
    EXPECT_EQ(h.voice().sample, nullptr);
    EXPECT_EQ(h.player.row, 0);
    h.ticks(1);
    EXPECT_NE(h.voice().sample, nullptr);
    EXPECT_EQ(h.player.row, 1);
    EXPECT_FLOAT_EQ(h.player.ticksPerSecond(), 50.0f);
    EXPECT_FLOAT_EQ(h.player.millisecondsPerTick, 20.0f);
}

TEST(Sequencer, NotePeriodFrequencyAndFullVolume) {
    for (bool linear : {true, false}) {
        XmBuilder b = oneChannel();
        b.linear = linear;
        b.cell(0, 0) = {kC4, 1};
        Harness h(b);
        h.ticks(6);
        // C-4 plays at 8363 Hz in both tables; volume 64 with no envelope, full global volume,
        // no fadeout and tremor on gives 72 (64 x 64 x 4 / 64 x 256 / 256 x 256 / 256 x 9 / 32).
        EXPECT_EQ(h.channel().period, linear ? 4608 : 1712);
        EXPECT_NEAR(h.voice().frequency, 8363.0f, linear ? 0.0f : 0.05f);
        EXPECT_EQ(h.voice().volume, 72);
        EXPECT_EQ(h.voice().panning, 128);
    }
}

TEST(Sequencer, PeriodTablesStayInRange) {
    EXPECT_EQ(linearPeriod(48, 0), 4608);
    EXPECT_EQ(linearPeriod(48, -128), 4672);
    EXPECT_EQ(amigaPeriod(48, 64), 1664);   // half way to C#-4 (1616)
    EXPECT_EQ(amigaPeriod(0, -128), 28992); // below the table: an octave under B-0
    EXPECT_EQ(amigaPeriod(119, 127), 26);   // above the table: half of C-9
    EXPECT_EQ(periodToNote(10000), periodToNote(9999));
    EXPECT_EQ(periodToNote(1712), 48);
    EXPECT_EQ(periodToNote(-5), 0);
    EXPECT_FLOAT_EQ(periodFrequency(FrequencyAmiga, 0), 14317456.0f);
}

TEST(Sequencer, SpeedAndTempo) {
    XmBuilder b = oneChannel();
    b.cell(0, 0) = {0, 0, 0, SpeedOrTempo, 0x1F};
    b.cell(0, 1) = {0, 0, 0, SpeedOrTempo, 0x20};
    Harness h(b);
    h.ticks(6);
    EXPECT_EQ(h.player.speed, 31);
    h.ticks(31);
    EXPECT_EQ(h.player.bpm, 32);
    h.ticks(1);
    EXPECT_FLOAT_EQ(h.player.ticksPerSecond(), 12.8f);
}

// Rows read, one per tick at speed 1.
std::vector<int> rowsPlayed(Harness& h, int ticks, std::vector<int>* positions = nullptr) {
    std::vector<int> rows;
    for (int i = 0; i < ticks; ++i) {
        const int row = h.player.row, position = h.player.orderPosition;
        h.player.tick();
        rows.push_back(row);
        if (positions) positions->push_back(position);
    }
    return rows;
}

TEST(Sequencer, PatternBreakJumpAndLoop) {
    {
        XmBuilder b = oneChannel();
        b.order = {0, 0, 0};
        b.speed = 1;
        b.cell(0, 0) = {0, 0, 0, PatternBreak, 0x32}; // D32: row 32 of the next position
        Harness h(b);
        h.ticks(1);
        EXPECT_EQ(h.player.orderPosition, 1);
        EXPECT_EQ(h.player.row, 32);
    }
    {
        XmBuilder b;
        b.channels = 2;
        b.speed = 1;
        b.addPattern(64);
        b.order = {0, 0, 0, 0, 0, 0, 0};
        b.cell(0, 0, 0) = {0, 0, 0, PositionJump, 0x05}; // B05 then D10 on the same row
        b.cell(0, 0, 1) = {0, 0, 0, PatternBreak, 0x10};
        Harness h(b);
        h.ticks(1);
        EXPECT_EQ(h.player.orderPosition, 5);
        EXPECT_EQ(h.player.row, 10);
    }
    {
        XmBuilder b = oneChannel(12);
        b.speed = 1;
        b.cell(0, 4) = {0, 0, 0, Extended, 0x60};
        b.cell(0, 8) = {0, 0, 0, Extended, 0x62};
        Harness h(b);
        // Rows 4 to 8 play three times.
        EXPECT_EQ(rowsPlayed(h, 22), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 4,  5,
                                                       6, 7, 8, 4, 5, 6, 7, 8, 9, 10, 11}));
    }
    {
        // A jump past the target pattern's rows reads its first row once, then moves on; the
        // song continues at the restart position.
        XmBuilder b = oneChannel(4);
        b.addPattern(8);
        b.order = {1, 0};
        b.restart = 1;
        b.speed = 1;
        b.cell(1, 0) = {0, 0, 0, PatternBreak, 0x06};
        Harness h(b);
        std::vector<int> positions;
        const std::vector<int> rows = rowsPlayed(h, 4, &positions);
        EXPECT_EQ(rows, (std::vector<int>{0, 6, 0, 1}));
        EXPECT_EQ(positions, (std::vector<int>{0, 1, 1, 1}));
    }
}

TEST(Sequencer, PatternDelayRepeatsTheRow) {
    XmBuilder b = oneChannel(8);
    b.speed = 2;
    b.cell(0, 1) = {0, 0, 0, Extended, 0xE2}; // EE2: row 1 lasts three rows
    Harness h(b);
    h.ticks(2 + 2);
    EXPECT_EQ(h.player.row, 2);
    h.ticks(4);
    EXPECT_EQ(h.player.row, 2); // still delayed
    h.ticks(2);
    EXPECT_EQ(h.player.row, 3);
}

TEST(Sequencer, NotesRestartedInAPatternDelayAreWrittenAtOnce) {
    // ED0 with EE1: the note starts on the row's tick 0 and again on the delay's tick 0, where no
    // effects run. Volume column 0x30 gives 32, so 36 at the voice on both starts (the voice's
    // start volume of 256 must never reach the mixer).
    XmBuilder b;
    b.channels = 2;
    b.addPattern(4);
    b.instruments.push_back(test::loopingInstrument());
    b.cell(0, 0, 0) = {kC4, 1, 0x30, Extended, 0xD0};
    b.cell(0, 0, 1) = {0, 0, 0, Extended, 0xE1};
    Harness h(b);
    std::vector<int> volumes, starts;
    for (int i = 0; i < 12; ++i) {
        h.voice().position = 17;
        h.player.tick();
        if (i >= 5) {
            volumes.push_back(h.voice().volume);
            starts.push_back(h.voice().position == 0 ? 1 : 0);
        }
    }
    EXPECT_EQ(starts, (std::vector<int>{1, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(volumes, (std::vector<int>{36, 36, 36, 36, 36, 36, 36}));
    EXPECT_FLOAT_EQ(h.voice().frequency, 8363.0f);
}

// Per-tick values of one channel over the 6 ticks of the row that starts a C-4.
struct Tick {
    int period;
    int volume; // of the voice
};

std::vector<Tick> playRow(const XmCell& cell, XmCell next = {}, bool linear = true) {
    XmBuilder b = oneChannel();
    b.linear = linear;
    b.cell(0, 0) = cell;
    b.cell(0, 1) = next;
    Harness h(b);
    h.ticks(5);
    std::vector<Tick> ticks;
    for (int i = 0; i < 12; ++i) {
        h.player.tick();
        const Channel& c = h.channel();
        ticks.push_back({c.period + c.vibrato.offset + c.arpeggioOffset, h.voice().volume});
    }
    return ticks;
}

std::vector<int> periods(const std::vector<Tick>& t, int from = 0, int n = 6) {
    std::vector<int> out;
    for (int i = from; i < from + n; ++i) out.push_back(t[static_cast<size_t>(i)].period);
    return out;
}
std::vector<int> volumes(const std::vector<Tick>& t, int from = 0, int n = 6) {
    std::vector<int> out;
    for (int i = from; i < from + n; ++i) out.push_back(t[static_cast<size_t>(i)].volume);
    return out;
}

TEST(ChannelEffects, PitchEffectsPerTick) {
    // Arpeggio 037 adds 0, 7, 3, 0, 7, 3 semitones (64 period units each, linear).
    EXPECT_EQ(periods(playRow({kC4, 1, 0, 0, 0x37})),
              (std::vector<int>{4608, 4160, 4416, 4608, 4160, 4416}));
    // Portamento up 1FF: 1020 units a tick after the first, never below 10.
    EXPECT_EQ(periods(playRow({kC4, 1, 0, PortamentoUp, 0xFF})),
              (std::vector<int>{4608, 3588, 2568, 1548, 528, 10}));
    // Portamento down 205, fine portamento down E23 (once, on tick 0), extra fine X14.
    EXPECT_EQ(periods(playRow({kC4, 1, 0, PortamentoDown, 0x05})),
              (std::vector<int>{4608, 4628, 4648, 4668, 4688, 4708}));
    EXPECT_EQ(periods(playRow({kC4, 1, 0, Extended, 0x23})),
              (std::vector<int>{4620, 4620, 4620, 4620, 4620, 4620}));
    EXPECT_EQ(periods(playRow({kC4, 1, 0, ExtraFine, 0x14})),
              (std::vector<int>{4604, 4604, 4604, 4604, 4604, 4604}));
    // Vibrato 484 (speed 8, depth 4, sine): offsets 0, 0, 22, 31, 22, -3 (the position runs
    // 0, 8, 16, 24, then 32 - 63 = -31).
    EXPECT_EQ(periods(playRow({kC4, 1, 0, Vibrato, 0x84})),
              (std::vector<int>{4608, 4608, 4630, 4639, 4630, 4605}));
    // Tone portamento 310 from C-4 to D-4 (4480): 64 units a tick on the row after.
    const std::vector<Tick> porta = playRow({kC4, 1}, {kC4 + 2, 0, 0, TonePortamento, 0x10});
    EXPECT_EQ(periods(porta, 6), (std::vector<int>{4608, 4544, 4480, 4480, 4480, 4480}));
    // Arpeggio 020 after slide 205 left C-4 at 4708: counters 0 and 1 snap to the grid (4736,
    // and 2 semitones above it), counter 2 keeps the slid period.
    const std::vector<Tick> slid = playRow({kC4, 1, 0, 2, 0x05}, {0, 0, 0, 0, 0x20});
    EXPECT_EQ(periods(slid, 6), (std::vector<int>{4708, 4736, 4608, 4708, 4736, 4608}));
    // Amiga arpeggio 0C0: an octave up on the second tick of each three.
    EXPECT_EQ(periods(playRow({kC4, 1, 0, 0, 0xC0}, {}, false)),
              (std::vector<int>{1712, 1712, 856, 1712, 1712, 856}));
}

TEST(ChannelEffects, VolumeEffectsPerTick) {
    // C50 sets the volume to 64 (clamped): 72 at the voice.
    EXPECT_EQ(volumes(playRow({kC4, 1, 0, SetVolume, 0x50})), (std::vector<int>{72, 72, 72, 72, 72, 72}));
    // C20 then volume slide A02 (down 2 a tick): 32 28 ... in channel volume, x 9/8 at the voice.
    EXPECT_EQ(volumes(playRow({kC4, 1, 0, SetVolume, 0x20}, {0, 0, 0, VolumeSlide, 0x04}), 0, 12),
              (std::vector<int>{36, 36, 36, 36, 36, 36, 36, 31, 27, 22, 18, 13}));
    // EC0 silences at once, EC3 on tick 3.
    EXPECT_EQ(volumes(playRow({kC4, 1, 0, Extended, 0xC0})), (std::vector<int>{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(volumes(playRow({kC4, 1, 0, Extended, 0xC3})), (std::vector<int>{72, 72, 72, 0, 0, 0}));
    // Volume column: set 0x30 (32), then 0x62 slides down 2 per other tick.
    EXPECT_EQ(volumes(playRow({kC4, 1, 0x30}, {0, 0, 0x62}), 0, 12),
              (std::vector<int>{36, 36, 36, 36, 36, 36, 36, 33, 31, 29, 27, 24}));
    // Tremor T11: two ticks on, two off, counted from the row's second tick.
    EXPECT_EQ(volumes(playRow({kC4, 1, 0, Tremor, 0x11})), (std::vector<int>{72, 72, 72, 0, 0, 72}));
    // Gxx above 40 keeps the global volume at 256: voice volume stays 72.
    EXPECT_EQ(volumes(playRow({kC4, 1, 0, GlobalVolume, 0xFF})), (std::vector<int>{72, 72, 72, 72, 72, 72}));
}

TEST(ChannelEffects, TremoloKeyOffAndAutoVibrato) {
    // Volume 32 and tremolo 784 (speed 8, depth 4): offsets 0, 0, 11, 15, 11, -1, so channel
    // volumes 32, 32, 43, 47, 43, 31, times 9/8 at the voice.
    EXPECT_EQ(volumes(playRow({kC4, 1, 0x30, Tremolo, 0x84})),
              (std::vector<int>{36, 36, 48, 52, 48, 34}));
    // K03: key off on tick 3; without a volume envelope that silences the note.
    EXPECT_EQ(volumes(playRow({kC4, 1, 0, KeyOff, 0x03})), (std::vector<int>{72, 72, 72, 0, 0, 0}));

    // Square auto-vibrato, depth 32, rate 64: -32, -32, +32, +32, -32 period units from the
    // tick after the note starts.
    XmBuilder b = oneChannel();
    b.instruments[0].vibratoType = 1;
    b.instruments[0].vibratoDepth = 32;
    b.instruments[0].vibratoRate = 64;
    b.cell(0, 0) = {kC4, 1};
    Harness h(b);
    h.ticks(5);
    for (int period : {4608, 4576, 4576, 4640, 4640, 4576}) {
        h.player.tick();
        EXPECT_FLOAT_EQ(h.voice().frequency, periodFrequency(FrequencyLinear, period));
    }
}

TEST(ChannelEffects, RetriggerAndNoteDelay) {
    // E93 at speed 6 restarts the sample once, on tick 3; ED2 starts the note on tick 2; R02
    // counts its first step on tick 0 and restarts on every second tick from tick 1.
    for (const auto& [cell, expected] :
         {std::pair{XmCell{kC4, 1, 0, Extended, 0x93}, std::vector<int>{1, 0, 0, 1, 0, 0}},
          std::pair{XmCell{kC4, 1, 0, Extended, 0xD2}, std::vector<int>{0, 0, 1, 0, 0, 0}},
          std::pair{XmCell{kC4, 1, 0, MultiRetrigger, 0x02}, std::vector<int>{1, 1, 0, 1, 0, 1}}}) {
        XmBuilder b = oneChannel();
        b.cell(0, 0) = cell;
        Harness h(b);
        h.ticks(5);
        std::vector<int> starts;
        for (int i = 0; i < 6; ++i) {
            h.voice().position = 17;
            h.player.tick();
            starts.push_back(h.voice().sample && h.voice().position == 0 ? 1 : 0);
        }
        EXPECT_EQ(starts, expected) << (cell.effect << 8 | cell.parameter);
    }
}

TEST(ChannelEffects, KeyOffWithAndWithoutEnvelope) {
    // Without a volume envelope key off silences at once.
    EXPECT_EQ(volumes(playRow({kC4, 1}, {97}), 6), (std::vector<int>{0, 0, 0, 0, 0, 0}));
    // With a sustained envelope it releases the sustain and starts the fadeout (4096 a tick).
    XmBuilder b = oneChannel();
    b.instruments[0].volume = {{{0, 64}, {2, 32}, {10, 32}}, 1, 0, 0, 1 | 2};
    b.instruments[0].fadeout = 2048;
    b.cell(0, 0) = {kC4, 1};
    b.cell(0, 1) = {97};
    Harness h(b);
    h.ticks(6);
    std::vector<int> held;
    for (int i = 0; i < 6; ++i, h.player.tick()) held.push_back(h.voice().volume);
    // Envelope positions 0, held at the sustain point (x 2, y 32) from the third tick.
    EXPECT_EQ(held, (std::vector<int>{72, 54, 36, 36, 36, 36}));
    std::vector<int> fading;
    for (int i = 0; i < 6; ++i, h.player.tick()) fading.push_back(h.voice().volume);
    // Released: fadeout volume 65536 - 4096 k, so 36 x (256 - 16 k) / 256 a tick.
    EXPECT_EQ(fading, (std::vector<int>{36, 33, 31, 29, 27, 24}));
    EXPECT_EQ(h.channel().keyReleased, 1);
}

TEST(ChannelEffects, EnvelopesInterpolateAndLoop) {
    XmBuilder b = oneChannel();
    b.instruments[0].volume = {{{0, 64}, {4, 0}, {8, 64}}, 0, 1, 2, 1 | 4};
    b.instruments[0].panning = {{{0, 0}, {2, 64}}, 0, 0, 0, 1};
    b.cell(0, 0) = {kC4, 1};
    Harness h(b);
    h.ticks(5);
    std::vector<int> vol, pan;
    for (int i = 0; i < 10; ++i) {
        h.player.tick();
        vol.push_back(h.voice().volume);
        pan.push_back(h.voice().panning);
    }
    // Volume: 64 down to 0 over 4 ticks, up again, and at x 8 back to x 4.
    EXPECT_EQ(vol, (std::vector<int>{72, 54, 36, 18, 0, 18, 36, 54, 0, 18}));
    // Panning from full left to full right at centre panning 128.
    EXPECT_EQ(pan, (std::vector<int>{0, 128, 256, 256, 256, 256, 256, 256, 256, 256}));
}

TEST(ChannelEffects, SyncEventsAndPanning) {
    XmBuilder b;
    b.channels = 2;
    b.addPattern(4);
    b.instruments.push_back(test::loopingInstrument());
    b.cell(0, 0, 0) = {kC4, 1, 0, SetPanning, 0x20}; // set panning 0x20
    b.cell(0, 0, 1) = {0, 0, 0, Sync, 0x42};  // W42
    b.cell(0, 1, 0) = {0, 0, 0, PanningSlide, 0x20};  // panning slide right 2 a tick
    Harness h(b);
    h.player.syncTime = 1234;
    h.ticks(6);
    EXPECT_EQ(h.voice(0).panning, 0x20);
    const SyncEvent& e = h.player.syncEvents.entries[0];
    EXPECT_EQ(e.time, 1234);
    EXPECT_EQ(e.channel, 1);
    EXPECT_EQ(e.parameter, 0x42);
    EXPECT_EQ(h.player.syncEvents.entries[1].time, -1);
    h.ticks(6 + 5); // the rest of row 0, then all of row 1
    EXPECT_EQ(h.voice(0).panning, 0x20 + 10);
}

TEST(ChannelEffects, NoteStartOptions) {
    {
        // 902: the sample starts at frame 512; a later 900 reuses the offset.
        XmBuilder b = oneChannel();
        b.instruments[0] = test::loopingInstrument(2048);
        b.cell(0, 0) = {kC4, 1, 0, SampleOffset, 0x02};
        b.cell(0, 1) = {kC4, 1, 0, SampleOffset, 0x00};
        Harness h(b);
        h.ticks(6);
        EXPECT_EQ(h.voice().position, 512);
        h.ticks(6);
        EXPECT_EQ(h.voice().position, 512);
    }
    {
        // E5C: finetune (12 - 8) x 16 = 64, half a semitone up in linear periods.
        XmBuilder b = oneChannel();
        b.cell(0, 0) = {kC4, 1, 0, Extended, 0x5C};
        Harness h(b);
        h.ticks(6);
        EXPECT_EQ(h.channel().period, 4608 - 32);
    }
    {
        // Glissando: tone portamento 3FF towards D-4 moves in whole semitones.
        XmBuilder b = oneChannel();
        b.cell(0, 0) = {kC4, 1, 0, Extended, 0x31};
        b.cell(0, 1) = {kC4 + 2, 0, 0, TonePortamento, 0x08};
        Harness h(b);
        h.ticks(12);
        std::vector<int> p;
        for (int i = 0; i < 3; ++i, h.player.tick()) p.push_back(h.channel().period);
        // The glissando period moves 32 a tick; the played period is its nearest note.
        EXPECT_EQ(p, (std::vector<int>{4608, 4544, 4544}));
    }
    {
        // H0F slides the global volume down 60 a tick (4 x 15), never below 0.
        XmBuilder b = oneChannel();
        b.cell(0, 0) = {kC4, 1, 0, GlobalVolumeSlide, 0x0F};
        Harness h(b);
        h.ticks(11);
        EXPECT_EQ(h.player.globalVolume, 0);
        EXPECT_EQ(h.voice().volume, 0);
    }
}

TEST(Sequencer, InstrumentWithoutNoteResetsVolumeOnly) {
    XmBuilder b = oneChannel();
    b.cell(0, 0) = {kC4, 1, 0x20};
    b.cell(0, 1) = {0, 1};
    Harness h(b);
    h.ticks(6);
    EXPECT_EQ(h.channel().volume, 16);
    h.ticks(3);
    h.voice().position = 40;
    h.ticks(3);
    EXPECT_EQ(h.channel().volume, 64);
    EXPECT_EQ(h.voice().position, 40); // not restarted
}

// The module keeps slots only for the instruments its header counts: a note naming one past them
// plays as one naming an instrument the file holds without samples.
TEST(Sequencer, AbsentInstrumentPlaysAsAnEmptyOne) {
    auto play = [](int second) {
        XmBuilder b = oneChannel();
        b.instruments.push_back(test::XmInstrument{}); // instrument 2: no samples
        b.cell(0, 0) = {kC4, 1};
        b.cell(0, 1) = {kC4 + 12, second, 0x30};
        b.cell(0, 2) = {kC4 + 2};
        Harness h(b);
        h.ticks(18);
        const Channel& c = h.channel();
        return std::vector<int>{c.active, c.volume, c.hasSample, c.period, c.sampleNumber,
                                c.note, h.voice().volume, h.voice().state};
    };
    const std::vector<int> empty = play(2);
    EXPECT_EQ(play(3), empty);
    EXPECT_EQ(play(255), empty);
}

} // namespace
} // namespace kestrune
