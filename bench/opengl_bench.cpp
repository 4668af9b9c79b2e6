// The OpenGL backend's per-frame work on Mesa's software rasteriser (SDL offscreen): a frame of
// small lit polygons in each colouring scheme, and the sprites of the translucent pass.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "mesh/mesh.h"
#include "render/opengl/opengl_backend.h"

namespace kestrune {
namespace {

constexpr int kGrid = 40; // kGrid x kGrid quads across the view

bool openOnce() {
    static const bool open = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        renderOptions.fullscreen = 0;
        fillOpenGLBackend(renderBackend);
        renderBackend.openDisplay(640, 480, nullptr, nullptr);
        return openGLDisplay.context.native != nullptr;
    }();
    return open;
}

// A grid of clockwise quads filling the view at distance 2, each with its own four points.
Mesh grid(uint8_t flags, uint16_t texture) {
    Mesh mesh;
    float step = 1.6f / kGrid;
    for (int j = 0; j < kGrid; ++j)
        for (int i = 0; i < kGrid; ++i) {
            float x = -0.8f + i * step, y = -0.8f + j * step;
            auto base = static_cast<uint16_t>(mesh.points.size());
            for (auto [dx, dy] : {std::pair{0.f, 0.f}, {0.f, step}, {step, step}, {step, 0.f}}) {
                MeshPoint p{};
                p.cameraPosition = {x + dx, y + dy, 2.0f};
                p.cameraNormal = {0.3f, 0.2f, -1.0f};
                p.litColor[0] = p.litColor[1] = p.litColor[2] = 180;
                mesh.points.push_back(p);
            }
            MeshPolygon polygon{};
            polygon.flags = flags;
            polygon.vertexCount = 4;
            polygon.vertices = {base, uint16_t(base + 1), uint16_t(base + 2), uint16_t(base + 3)};
            polygon.u = {0, 0, 1, 1};
            polygon.v = {0, 1, 1, 0};
            polygon.color[0] = polygon.color[1] = polygon.color[2] = 90;
            polygon.texture = polygon.reflectionTexture = texture;
            mesh.polygons.push_back(polygon);
        }
    mesh.pointCount = static_cast<uint16_t>(mesh.points.size());
    mesh.polygonCount = static_cast<uint16_t>(mesh.polygons.size());
    return mesh;
}

void drawFrame(benchmark::State& state, uint8_t flags) {
    if (!openOnce()) {
        state.SkipWithError("no GL context on the offscreen driver");
        return;
    }
    uint16_t texture = renderBackend.loadTexture("bench-white.jpg", 1);
    Mesh mesh = grid(flags, texture);
    for (auto _ : state) {
        renderBackend.beginFrame();
        for (const MeshPolygon& polygon : mesh.polygons) renderBackend.drawPolygon(mesh, polygon);
        glFinish();
    }
    state.counters["polygons/s"] = benchmark::Counter(
        double(mesh.polygons.size()) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_FlatFrame(benchmark::State& state) {
    drawFrame(state, PolyFlat);
}
void BM_SmoothFrame(benchmark::State& state) {
    drawFrame(state, PolySmooth);
}
void BM_TexturedSmoothFrame(benchmark::State& state) {
    drawFrame(state, PolyTextured | PolySmooth);
}
void BM_ReflectiveFrame(benchmark::State& state) {
    drawFrame(state, PolyTextured | PolySmooth | PolyReflection);
}
BENCHMARK(BM_FlatFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SmoothFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TexturedSmoothFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReflectiveFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace kestrune
