// Generating the show's content: every scene, object, texture and the module, then packing them.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "content/show.h"

using namespace kestrune;

namespace {

void BM_BuildShow(benchmark::State& state) {
    size_t bytes = 0;
    for (auto _ : state) {
        ShowContent show = buildShow();
        bytes = show.module.bytes.size();
        for (const ContentFile& f : show.archived) bytes += f.bytes.size();
        benchmark::DoNotOptimize(show);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BuildShow)->Unit(benchmark::kMillisecond);

void BM_WriteShow(benchmark::State& state) {
    ShowContent show = buildShow();
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kestrune-content-" + std::to_string(getpid()));
    for (auto _ : state) {
        std::string error;
        if (!writeShow(show, folder, error)) state.SkipWithError(error.c_str());
    }
    state.counters["archiveBytes"] =
        static_cast<double>(std::filesystem::file_size(folder / "krv.dat"));
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}
BENCHMARK(BM_WriteShow)->Unit(benchmark::kMillisecond);

} // namespace
