// The loading that the show's timeline waits on at start-up: the loading scene, the nineteen
// other scenes with their objects and textures, the metaball workspace and the module; against
// the bare zlib and JPEG decoding of every archive entry, and their ratio. The phases the clock
// times (the two loading phases' frames) and the sound device are left out; textures are decoded
// but not uploaded (the recording backend), so the figure is the same on every machine. As in the
// show, archive entries are unpacked, textures decoded and the module read on second threads
// where there is a second core: the CPU column counts the loading thread alone, the wall time is
// what the show waits.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "archive/archive.h"
#include "archive/content_file.h"
#include "bench/ratio_reporter.h"
#include "content/show.h"
#include "mesh/mesh.h"
#include "mesh/metaballs.h"
#include "mesh/texture.h"
#include "music/module_player.h"
#include "render/frame_renderer.h"
#include "render/recording/recording_backend.h"
#include "render/table/render_table.h"
#include "scene/scene.h"

namespace {

using namespace kestrune;

struct Show {
    std::filesystem::path folder;
    std::vector<std::string> names;
    std::vector<std::vector<uint8_t>> packed;
    std::vector<uint32_t> unpacked;
};

const Show& show() {
    static Show s = [] {
        Show made;
        made.folder = std::filesystem::temp_directory_path() /
                      ("kestrune-startup-bench-" + std::to_string(getpid()));
        std::string error;
        if (!writeShow(buildShow(), made.folder, error)) {
            std::fprintf(stderr, "cannot write the show: %s\n", error.c_str());
            std::exit(1);
        }
        std::filesystem::current_path(made.folder);
        setDefaultArchiveName("krv.dat");
        const DataArchive archive("krv.dat");
        std::FILE* file = std::fopen("krv.dat", "rb");
        for (int i = 0; i < archive.entryCount(); ++i) {
            std::vector<uint8_t> block(archive.packedSize(i));
            std::fseek(file, long(archive.entry(i).offset), SEEK_SET);
            if (std::fread(block.data(), 1, block.size(), file) != block.size()) std::abort();
            made.names.push_back(archive.entry(i).name);
            made.packed.push_back(std::move(block));
            made.unpacked.push_back(archive.unpackedSize(i));
        }
        std::fclose(file);
        return made;
    }();
    return s;
}

bool isJpeg(const std::string& name) {
    return name.size() > 4 && (name.ends_with(".jpg") || name.ends_with(".JPG"));
}

const char* const kScenes[] = {"load.lws",    "walk0.lws",   "walk1.lws", "walk2.lws", "walk3.lws",
                               "walk4.lws",   "walk5.lws",   "walk6.lws", "walk7.lws", "walk8.lws",
                               "Credits.lws", "Divozev.lws", "greet.lws", "text0.lws", "text1.lws",
                               "text2.lws",   "text3.lws",   "text4.lws", "text5.lws", "text6.lws"};

// The recording backend as a stand-in for a real one: it only counts calls, as a real backend
// keeps no record of them.
void useCountingBackend(bool decodeTextures) {
    fillRecordingBackend(renderBackend);
    recording.enabled = false;
    recording.decodeTextures = decodeTextures;
}

// The loading thread kept busy for a while, untimed, as it is while the show waits on the user or
// the clock: the second threads work meanwhile.
void busyUntimed(benchmark::State& state, void (*before)() = nullptr) {
    state.PauseTiming();
    if (before) before();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(10);
    while (std::chrono::steady_clock::now() < end) {
    }
    state.ResumeTiming();
}

// Start-up steps 4 and 6 to 8 as the driver runs them (prepareAll included with step 7). The
// scenes and the metaball workspace live until the show ends: they are released untimed.
// In the show the archive is opened before the options window, and unpacked and its images
// decoded on a second thread while that is up, and between steps 4 and 6 the loading scene plays
// for 200 frames (6.6 s) while the second threads unpack and decode ahead. asInTheShow opens the archive and gives them 10 ms in
// each of those two places, untimed. Without, step 4 opens the archive and step 6 follows it at
// once.
void loadShow(benchmark::State& state, bool asInTheShow) {
    show();
    useCountingBackend(true);
    for (auto _ : state) {
        textureTable.count = 0; // every texture decoded again, as at a real start
        auto scenes = std::make_unique<Scene[]>(std::size(kScenes));
        auto player = std::make_unique<ModulePlayer>();
        auto archiveAhead = std::make_unique<ArchiveKeptOpen>();
        decodeArchiveTexturesAhead(true);
        // The show opens the archive before its options window appears, and the timeline does
        // not wait on that: untimed here, with the options window.
        if (asInTheShow) busyUntimed(state, openArchiveAhead);
        {
            ObjectReuse reuse; // as the driver holds them over its loading
            TexturesDecodedAhead textures;
            loadScene(scenes[0], kScenes[0]);
            finishTextureLoads(); // the loading scene is drawn before the others load
            if (asInTheShow) busyUntimed(state); // its 200 frames
            // The module is read on a second thread while the scenes load, as the driver does.
            PreparedModule music;
            std::thread musicAhead([&music] { music = prepareModuleFile("test.xm"); });
            for (size_t i = 1; i < std::size(kScenes); ++i) loadScene(scenes[i], kScenes[i]);
            initMetaballs();
            for (size_t i = 0; i < std::size(kScenes); ++i) prepareMetaballObjects(scenes[i]);
            musicAhead.join();
            benchmark::DoNotOptimize(player->loadPrepared(std::move(music)));
        }
        archiveAhead.reset();
        decodeArchiveTexturesAhead(false);
        state.PauseTiming();
        scenes.reset();
        player.reset();
        freeMetaballs();
        state.ResumeTiming();
    }
}

void showLoading(benchmark::State& state) {
    loadShow(state, true);
}

void showLoadingBackToBack(benchmark::State& state) {
    loadShow(state, false);
}

// The parts of showLoading on their own, to show where its time goes.
void scenesOnly(benchmark::State& state) {
    show();
    useCountingBackend(false);
    for (auto _ : state) {
        textureTable.count = 0;
        auto scenes = std::make_unique<Scene[]>(std::size(kScenes));
        {
            ObjectReuse reuse;
            for (size_t i = 0; i < std::size(kScenes); ++i) loadScene(scenes[i], kScenes[i]);
        }
        state.PauseTiming();
        scenes.reset();
        state.ResumeTiming();
    }
}

void metaballWorkspace(benchmark::State& state) {
    for (auto _ : state) {
        initMetaballs();
        state.PauseTiming();
        freeMetaballs();
        state.ResumeTiming();
    }
}

void moduleLoad(benchmark::State& state) {
    show();
    for (auto _ : state) {
        auto player = std::make_unique<ModulePlayer>();
        benchmark::DoNotOptimize(player->loadFromFile("test.xm"));
    }
}

// Every archive entry as the loaders get it while the show loads: through readContentFile with
// the archive kept open (a loose file looked for first), inflated but not decoded.
void archiveExtraction(benchmark::State& state) {
    const Show& s = show();
    for (auto _ : state) {
        ArchiveKeptOpen kept;
        for (const std::string& name : s.names)
            benchmark::DoNotOptimize(readContentFile(name.c_str()));
    }
}

// Every entry inflated with zlib's uncompress, and the JPEG entries decoded.
void bareDecoding(benchmark::State& state) {
    const Show& s = show();
    for (auto _ : state)
        for (size_t i = 0; i < s.packed.size(); ++i) {
            std::vector<uint8_t> out(s.unpacked[i]);
            uLongf length = s.unpacked[i];
            uncompress(out.data(), &length, s.packed[i].data(), uLong(s.packed[i].size()));
            if (isJpeg(s.names[i])) {
                int32_t width = 0, height = 0;
                benchmark::DoNotOptimize(decodeJpegBytes(out.data(), length, width, height));
            }
            benchmark::DoNotOptimize(out.data());
        }
}

// The ratio's two sides are repeated in short stretches taken in turn (see main), and their
// medians compared: a shared machine's slow spells then fall on both sides alike.
constexpr int kRatioRepetitions = 9;
BENCHMARK(showLoading)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.4)
    ->Repetitions(kRatioRepetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(showLoadingBackToBack)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.4)
    ->Repetitions(kRatioRepetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(bareDecoding)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.4)
    ->Repetitions(kRatioRepetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(scenesOnly)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(archiveExtraction)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(metaballWorkspace)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(moduleLoad)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // Freed memory stays with the allocator, so that every benchmark works in memory it has
    // touched before. Otherwise memory freed between iterations goes back to the system and
    // some loads (the module, the metaball workspace) fault fresh pages in again each
    // iteration and others do not, as the allocator's thresholds happen to drift: on a
    // virtual machine that alone made the module's load seven times slower inside showLoading
    // than on its own.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
    // Repetitions of different benchmarks are taken in turn, in random order, unless the command
    // line says otherwise.
    std::vector<char*> args(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    if (std::none_of(args.begin(), args.end(), [](const char* a) {
            return std::string_view(a).starts_with("--benchmark_enable_random_interleaving");
        }))
        args.insert(args.begin() + (argc > 0 ? 1 : 0), interleave.data());
    int count = int(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double bare = reporter.timeOf("bareDecoding"),
                 bareCpu = reporter.cpuTimeOf("bareDecoding");
    for (const char* name : {"showLoading", "showLoadingBackToBack"}) {
        const double loading = reporter.timeOf(name);
        if (loading > 0 && bare > 0)
            std::printf("%s / bare zlib and JPEG decoding: %.3f wall, %.3f CPU%s\n", name,
                        loading / bare, reporter.cpuTimeOf(name) / bareCpu,
                        std::string_view(name) == "showLoading" ? " (goal: at most 1.5)" : "");
        }
    std::printf("(medians of %d repetitions, taken in turn)\n", kRatioRepetitions);
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
    std::filesystem::remove_all(show().folder, ignored);
    return 0;
}
