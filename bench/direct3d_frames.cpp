// Show frames at 640 x 480 and 1280 x 1024 through the Direct3D backend on the software device
// against the OpenGL backend on Mesa (llvmpipe on the SDL offscreen driver), the same frames of
// the generated show: each one's mean and worst frame, and their ratio. The software device uses
// KESTRUNE_RASTER_THREADS threads, or one per core.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "bench/show_frames.h"
#include "render/direct3d/direct3d_backend.h"
#include "render/direct3d/soft/soft_device.h"
#include "render/direct3d/soft/soft_raster_queue.h"
#include "render/opengl/opengl_backend.h"

namespace {

using namespace kestrune;

constexpr int kFramesPerPart = 8;
constexpr int kSizes[][2] = {{640, 480}, {1280, 1024}};

enum class Active { None, OpenGL, Direct3D };
Active active = Active::None;
int activeWidth = 0;
std::vector<ShowFrame> frames;
std::map<std::string, double> worstSeconds; // of each benchmark's last run
// Each show frame's draws over all of a benchmark's runs: the frame slowest on average points to
// the costly scene, which a single worst time (a frame the machine happened to delay) does not.
struct FrameTimes {
    std::vector<double> total;
    std::vector<int> count;
};
std::map<std::string, FrameTimes> frameTimes;

const std::filesystem::path& showFolder() {
    static const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kestrune-d3d-bench-" + std::to_string(getpid()));
    return folder;
}

int dummyWindow;

bool use(Active wanted, int width, int height) {
    if (active == wanted && activeWidth == width) return true;
    static bool generated = false;
    if (!generated && !(generated = enterGeneratedShow(showFolder()))) return false;
    if (active != Active::None) renderBackend.closeDisplay();
    active = Active::None;
    renderBackend = {};
    if (wanted == Active::OpenGL) {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        renderOptions = RenderOptions{};
        renderOptions.fullscreen = 0;
        fillOpenGLBackend(renderBackend);
    } else {
        static SoftDirectDrawSystem device;
        direct3DHost.system = &device;
        direct3DHost.createOutputWindow = [](void*, WindowProcedure) -> void* {
            return &dummyWindow;
        };
        direct3DHost.destroyOutputWindow = [](void*) {};
        fillDirect3DBackend(renderBackend);
    }
    driverServices = showServices();
    renderBackend.openDisplay(width, height, nullptr, nullptr);
    if (wanted == Active::OpenGL && !openGLDisplay.context.native) return false;
    active = wanted;
    activeWidth = width;
    frames = loadShowFrames(kFramesPerPart);
    return true;
}

void showFrames(benchmark::State& state, const std::string& name, Active backend, int width,
                int height) {
    if (!use(backend, width, height)) {
        state.SkipWithError("the display did not open");
        return;
    }
    double worst = 0;
    size_t i = 0;
    FrameTimes& times = frameTimes[name];
    times.total.resize(frames.size(), 0.0);
    times.count.resize(frames.size(), 0);
    for (auto _ : state) {
        const size_t which = i++ % frames.size();
        const auto start = std::chrono::steady_clock::now();
        drawShowFrame(frames[which]);
        if (backend == Active::OpenGL) glFinish(); // the frame is drawn, not only queued
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        worst = std::max(worst, took.count());
        times.total[which] += took.count();
        ++times.count[which];
    }
    worstSeconds[name] = worst;
    state.counters["worst_ms"] = worst * 1000;
}

std::string nameOf(const char* backend, const int (&size)[2]) {
    return std::string(backend) + "/" + std::to_string(size[0]) + "x" + std::to_string(size[1]);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (const auto& size : kSizes) {
        for (Active backend : {Active::OpenGL, Active::Direct3D}) {
            const char* label = backend == Active::OpenGL ? "llvmpipe" : "software";
            const std::string name = nameOf(label, size);
            benchmark::RegisterBenchmark(name.c_str(), showFrames, name, backend, size[0], size[1])
                ->Unit(benchmark::kMillisecond)
                ->MinTime(3.0)
                ->UseRealTime();
        }
    }
    kestrune::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (active != Active::None) renderBackend.closeDisplay();
    std::printf("\nsoftware device with %d rasteriser threads; frame times in ms\n",
                rasterThreadCount());
    std::printf("%-10s %13s %14s %13s %14s %11s %12s\n", "size", "software mean", "software worst",
                "llvmpipe mean", "llvmpipe worst", "mean ratio", "worst ratio");
    for (const auto& size : kSizes) {
        const std::string soft = nameOf("software", size), gl = nameOf("llvmpipe", size);
        const double softMean = reporter.timeOf(soft), glMean = reporter.timeOf(gl); // ms
        if (softMean <= 0 || glMean <= 0) continue;
        const double softWorst = worstSeconds[soft], glWorst = worstSeconds[gl];
        std::printf("%-10s %13.2f %14.2f %13.2f %14.2f %11.2f %12.2f\n",
                    (std::to_string(size[0]) + "x" + std::to_string(size[1])).c_str(), softMean,
                    softWorst * 1000, glMean, glWorst * 1000, glMean / softMean,
                    softWorst > 0 ? glWorst / softWorst : 0.0);
    }
    for (const auto& [name, times] : frameTimes) {
        size_t slowest = 0;
        auto mean = [&times](size_t k) { return times.total[k] / std::max(times.count[k], 1); };
        for (size_t k = 0; k < times.total.size(); ++k)
            if (mean(k) > mean(slowest)) slowest = k;
        if (slowest < frames.size())
            std::printf("slowest show frame on average, %s: part %d frame %d, %.2f ms over %d draws\n",
                        name.c_str(), frames[slowest].part, int(frames[slowest].frame),
                        mean(slowest) * 1000, times.count[slowest]);
    }
    std::printf("ratio: llvmpipe's time over the software device's (goal: at least 2); stretch "
                "goal: the worst 1280x1024 software frame under 16 ms\n");
    std::error_code ignored;
    std::filesystem::remove_all(showFolder(), ignored);
    return 0;
}
