// Show frames at 640 x 480 through the Direct3D backend on the software device against the OpenGL
// backend on Mesa (llvmpipe on the SDL offscreen driver), the same frames of the generated show.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "bench/ratio_reporter.h"
#include "content/show.h"
#include "mesh/metaballs.h"
#include "render/direct3d/direct3d_backend.h"
#include "render/direct3d/soft/soft_device.h"
#include "render/frame_renderer.h"
#include "render/opengl/opengl_backend.h"
#include "scene/scene.h"
#include "shell/driver.h"

namespace {

using namespace kestrune;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFramesPerPart = 8;

enum class Active { None, OpenGL, Direct3D };
Active active = Active::None;

struct ShowFrame {
    int part;
    int32_t frame;
};
std::vector<ShowFrame> frames;

const std::filesystem::path& showFolder() {
    static const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kestrune-d3d-bench-" + std::to_string(getpid()));
    return folder;
}

bool generateShow() {
    static bool done = false;
    if (done) return true;
    std::string error;
    if (!writeShow(buildShow(), showFolder(), error)) {
        std::fprintf(stderr, "cannot write the show: %s\n", error.c_str());
        return false;
    }
    static std::string archive = (showFolder() / "krv.dat").string();
    setDefaultArchiveName(archive.c_str());
    std::filesystem::current_path(showFolder());
    done = true;
    return true;
}

// Loads every scene of the show through the active backend's loadTexture, as the driver does.
void loadShow() {
    freeMetaballs();
    showState = ShowState{};
    textureTable.count = 0;
    char name[16];
    for (int i = 0; i < kPartCount; ++i) {
        std::snprintf(name, sizeof name, "walk%d.lws", i);
        loadScene(showState.partScenes[i], name);
    }
    loadScene(showState.credits, "Credits.lws");
    loadScene(showState.divozev, "Divozev.lws");
    loadScene(showState.greet, "greet.lws");
    for (int i = 0; i < kTextOverlayCount; ++i) {
        std::snprintf(name, sizeof name, "text%d.lws", i);
        loadScene(showState.textOverlays[i], name);
    }
    initMetaballs();
    for (Scene& scene : showState.partScenes) prepareMetaballObjects(scene);
    prepareMetaballObjects(showState.credits);
    prepareMetaballObjects(showState.divozev);
    prepareMetaballObjects(showState.greet);
    for (Scene& scene : showState.textOverlays) prepareMetaballObjects(scene);

    frames.clear();
    for (int part = 0; part < kPartCount; ++part) {
        const Scene& s = showState.partScenes[part];
        int32_t span = s.lastFrame > s.firstFrame ? s.lastFrame - s.firstFrame : 1;
        for (int k = 0; k < kFramesPerPart; ++k)
            frames.push_back({part, s.firstFrame + span * k / kFramesPerPart});
    }
}

int dummyWindow;

bool use(Active wanted) {
    if (active == wanted) return true;
    if (!generateShow()) return false;
    if (active != Active::None) renderBackend.closeDisplay();
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
    renderBackend.openDisplay(kWidth, kHeight, nullptr, nullptr);
    if (wanted == Active::OpenGL && !openGLDisplay.context.native) return false;
    active = wanted;
    loadShow();
    return true;
}

void drawFrame(const ShowFrame& f) {
    spriteHalfSize = f.part > 4 ? 0.15f : 0.05f;
    renderBackend.beginFrame();
    drawPart(f.part, f.frame);
    renderBackend.endFrame();
}

void openGLFrames(benchmark::State& state) {
    if (!use(Active::OpenGL)) {
        state.SkipWithError("no OpenGL context on the offscreen driver");
        return;
    }
    size_t i = 0;
    for (auto _ : state) {
        drawFrame(frames[i++ % frames.size()]);
        glFinish(); // the frame is drawn, not only queued
    }
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void softDirect3DFrames(benchmark::State& state) {
    if (!use(Active::Direct3D)) {
        state.SkipWithError("the software device did not open");
        return;
    }
    size_t i = 0;
    for (auto _ : state) drawFrame(frames[i++ % frames.size()]);
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(openGLFrames)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(softDirect3DFrames)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    kestrune::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (active != Active::None) renderBackend.closeDisplay();
    double gl = reporter.timeOf("openGLFrames");
    double soft = reporter.timeOf("softDirect3DFrames");
    if (gl > 0 && soft > 0)
        std::printf("software device fps / llvmpipe fps: %.2f (goal: at least 1)\n", gl / soft);
    std::error_code ignored;
    std::filesystem::remove_all(showFolder(), ignored);
    return 0;
}
