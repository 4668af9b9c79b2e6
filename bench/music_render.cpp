// Rendering whole modules through the device's render path, as krv xm render does, reported as
// a multiple of real time.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "music/module_player.h"
#include "music/wave_out_device.h"

namespace kestrune {
namespace {

const std::filesystem::path kCorpus = KESTRUNE_SOURCE_DIR "/../shared/corpus/xm";

// Ten seconds of the module per iteration; the counter "realtime" is seconds of music per second.
void renderModule(benchmark::State& state, const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    std::vector<int16_t> block(2 * kBlockFrames);
    constexpr int kBlocks = 10 * kMixRate / kBlockFrames;
    for (auto _ : state) {
        ModulePlayer player;
        if (player.loadFromMemory(bytes) == 0) {
            state.SkipWithError("module does not load");
            return;
        }
        WaveOutDevice device;
        device.attach(&player);
        for (int i = 0; i < kBlocks; ++i) device.render(block.data(), kBlockFrames);
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(kBlocks) * kBlockFrames / kMixRate *
                               static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

const bool registered = [] {
    if (!std::filesystem::is_directory(kCorpus)) return false;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(kCorpus))
        if (e.path().extension() == ".xm") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files)
        benchmark::RegisterBenchmark(("BM_Render/" + f.stem().string()).c_str(),
                                     [f](benchmark::State& s) { renderModule(s, f); })
            ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
} // namespace kestrune
