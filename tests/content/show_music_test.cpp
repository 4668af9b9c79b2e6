// The generated module: patterns, instruments and effects the player plays, and music through
// the whole show without a silent stretch.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "music/module.h"
#include "music/module_player.h"
#include "music/offline_output.h"
#include "music/wave_out_device.h"
#include "tests/content/show_fixture.h"

using namespace kestrune;

namespace {

std::vector<uint8_t> moduleBytes() {
    generatedShow();
    std::ifstream in(generatedShowFolder() / "test.xm", std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

} // namespace

TEST(ShowMusic, ModuleHasThePatternsInstrumentsAndEffectsThePlayerPlays) {
    std::vector<uint8_t> bytes = moduleBytes();
    Module module;
    ASSERT_EQ(loadModule(bytes, module), 10);
    std::set<std::vector<uint8_t>> distinct;
    std::set<std::string> effects;
    for (int o = 0; o < module.songLength; ++o) {
        const Pattern& p = module.patterns.at(module.order[o]);
        distinct.insert(p.packed);
        NoteCell cells[kMaxChannels];
        for (int row = 0; row < p.rowCount; ++row) {
            unpackRow(p, row, cells);
            for (int ch = 0; ch < module.channelCount; ++ch) {
                int type = cells[ch].effect >> 8, param = cells[ch].effect & 0xFF;
                char name[16];
                if (type == 0 && param)
                    effects.insert("0");
                else if (type == 0xE)
                    std::snprintf(name, sizeof name, "E%X", param >> 4), effects.insert(name);
                else if (type == 0xF)
                    effects.insert(param < 32 ? "F speed" : "F tempo");
                else if (type == 33)
                    std::snprintf(name, sizeof name, "X%X", param >> 4), effects.insert(name);
                else if (type)
                    std::snprintf(name, sizeof name, "%c",
                                  type < 10 ? '0' + type : 'A' + type - 10),
                        effects.insert(name);
                int v = cells[ch].volume;
                if (v >= 0x10 && v <= 0x50)
                    effects.insert("vol set");
                else if (v >= 0x60) {
                    std::snprintf(name, sizeof name, "vol %X", v >> 4);
                    effects.insert(name);
                }
            }
        }
    }
    EXPECT_GE(distinct.size(), 12u);
    for (const char* e :
         {"0",     "1",       "2",       "3",     "4",       "5",     "6",     "7",
          "8",     "9",       "A",       "C",     "E1",      "E2",    "E3",    "E4",
          "E5",    "E6",      "E7",      "E9",    "EA",      "EB",    "EC",    "ED",
          "EE",    "F speed", "F tempo", "G",     "H",       "K",     "L",     "P",
          "R",     "T",       "X1",      "X2",    "vol set", "vol 6", "vol 7", "vol 8",
          "vol 9", "vol A",   "vol B",   "vol C", "vol D",   "vol E", "vol F"})
        EXPECT_TRUE(effects.count(e)) << "effect " << e;

    int instruments = 0;
    std::set<int> bits, loops;
    bool sustain = false, envelopeLoop = false, panning = false, fadeout = false, vibrato = false;
    for (const Instrument& ins : module.instruments) {
        if (ins.empty) continue;
        ++instruments;
        for (int s = 0; s < ins.sampleCount; ++s) {
            bits.insert(ins.samples[s].bits);
            loops.insert(ins.samples[s].loopType);
        }
        sustain |= ins.volumeEnvelope.enabled && ins.volumeEnvelope.sustain;
        envelopeLoop |= ins.volumeEnvelope.enabled && ins.volumeEnvelope.loop;
        panning |= ins.panningEnvelope.enabled && ins.panningEnvelope.loop;
        fadeout |= ins.fadeout > 0;
        vibrato |= ins.vibratoDepth > 0 && ins.vibratoRate > 0;
    }
    EXPECT_GE(instruments, 6);
    EXPECT_EQ(bits, (std::set<int>{8, 16}));
    EXPECT_EQ(loops, (std::set<int>{0, 1, 2}));
    EXPECT_TRUE(sustain);
    EXPECT_TRUE(envelopeLoop);
    EXPECT_TRUE(panning);
    EXPECT_TRUE(fadeout);
    EXPECT_TRUE(vibrato);
}

TEST(ShowMusic, PlaysThroughTheWholeShowWithoutASilentStretch) {
    const ShowContent& show = generatedShow();
    int frames = kLoadingLastFrame - 200;
    for (int f : show.partFrames) frames += f;
    const double seconds = frames * kFrameMs / 1000.0 + 2;
    ModulePlayer player;
    std::vector<uint8_t> bytes = moduleBytes();
    ASSERT_EQ(player.loadFromMemory(bytes), 10);
    const int64_t total = static_cast<int64_t>(seconds * kMixRate);
    auto output = std::make_unique<OfflineOutput>(total);
    OfflineOutput* offline = output.get();
    WaveOutDevice device;
    device.attach(&player);
    device.open(std::move(output));
    ASSERT_TRUE(offline->waitFinished());
    device.detach(&player);
    device.stop();
    const std::vector<int16_t>& pcm = offline->frames();
    ASSERT_GE(static_cast<int64_t>(pcm.size()), total * 2);
    // The longest run of near-silent frames, ignoring the first second of the song.
    int64_t quiet = 0, longest = 0;
    for (int64_t i = kMixRate; i < total; ++i) {
        bool silent = std::abs(pcm[2 * i]) < 200 && std::abs(pcm[2 * i + 1]) < 200;
        quiet = silent ? quiet + 1 : 0;
        longest = std::max(longest, quiet);
    }
    EXPECT_LT(longest, 2 * kMixRate);
}
