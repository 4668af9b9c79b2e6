// Every module of the third-party corpus loads and renders 30 seconds through the device.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "music/module_player.h"
#include "music/wave_out_device.h"

namespace kestrune {
namespace {

const std::filesystem::path kCorpus = KESTRUNE_SOURCE_DIR "/../shared/corpus/xm";

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(MusicCorpus, EveryModuleLoadsAndRenders30Seconds) {
    if (!std::filesystem::is_directory(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;
    int modules = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        if (entry.path().extension() != ".xm") continue;
        ++modules;
        SCOPED_TRACE(entry.path().filename().string());
        ModulePlayer player;
        const int channels = player.loadFromMemory(readFile(entry.path()));
        ASSERT_GT(channels, 0);
        WaveOutDevice device;
        ASSERT_EQ(device.attach(&player), 1);
        std::vector<int16_t> block(2 * kBlockFrames);
        int64_t audible = 0;
        for (int64_t frames = 0; frames < 30 * kMixRate; frames += kBlockFrames) {
            device.render(block.data(), kBlockFrames);
            audible += std::count_if(block.begin(), block.end(), [](int16_t s) { return s != 0; });
        }
        EXPECT_GT(audible, 10 * kMixRate); // sound, not silence, most of the time
        for (const Voice& v : device.voices) EXPECT_NE(v.state, VoiceReleasing);
    }
    EXPECT_GE(modules, 1);
}

TEST(MusicCorpus, FilesWithOddStructuresReadAsIntended) {
    if (!std::filesystem::is_directory(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;
    const auto load = [](const char* name, Module& m) {
        const std::vector<uint8_t> bytes = readFile(kCorpus / name);
        if (bytes.empty()) return -1;
        return loadModule(bytes, m);
    };
    Module m;
    // A sample with loop type 3 plays as a forward loop; a 256-row pattern is kept whole.
    if (load("rafkill-data--song4.xm", m) > 0) {
        EXPECT_EQ(m.channelCount, 22);
        int loops = 0;
        for (const Instrument& ins : m.instruments)
            for (int s = 0; s < ins.sampleCount; ++s)
                loops += ins.samples[s].loopType == LoopForward ? 1 : 0;
        EXPECT_GT(loops, 0);
        EXPECT_TRUE(std::any_of(m.patterns.begin(), m.patterns.end(),
                                [](const Pattern& p) { return p.rowCount == 256; }));
    }
    // Empty instruments with 29- and 263-byte headers in the middle of the instrument list do not
    // shift the instruments after them: every later one is loaded.
    for (const char* name : {"vor--mph.xm", "bomberclone-data--cerror-bomberclone_numero_2.xm"}) {
        if (load(name, m) <= 0) continue;
        int loaded = 0;
        for (int i = 0; i < m.instrumentCount; ++i) loaded += m.instruments[i].empty ? 0 : 1;
        EXPECT_EQ(loaded, m.instrumentCount - 1) << name;
    }
}

} // namespace
} // namespace kestrune
