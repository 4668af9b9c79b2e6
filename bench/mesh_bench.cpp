// Metaball frames, loading a large LWOB object and decoding a 512 x 512 JPEG.
#include <benchmark/benchmark.h>

#include <cmath>

#include "mesh/metaballs.h"
#include "mesh/texture.h"
#include "tests/mesh/jpeg_writer.h"
#include "tests/mesh/object_builder.h"

namespace kestrune {
namespace {

// addBall for 8 moving balls and buildMetaballMesh: one frame of the blobby surface.
void metaballFrame(benchmark::State& state) {
    initMetaballs();
    float time = 0.0f;
    for (auto _ : state) {
        for (int b = 0; b < 8; ++b) {
            const float phase = time + float(b) * 0.8f;
            addBall(3.0f * std::sin(phase), 3.0f * std::cos(phase * 1.3f),
                    2.0f * std::sin(phase * 0.7f));
        }
        buildMetaballMesh();
        benchmark::DoNotOptimize(metaballMesh.polygonCount);
        time += 0.033f;
    }
    state.counters["triangles"] = metaballMesh.polygonCount;
    freeMetaballs();
}
BENCHMARK(metaballFrame)->Unit(benchmark::kMicrosecond);

// An LWOB grid of 60,000 quads on 61,206 points, with a planar-mapped textured surface.
void loadLwob60000(benchmark::State& state) {
    using namespace test;
    constexpr int kSide = 246; // 246 x 246 quads would be 60,516; use the first 60,000
    std::vector<Point> points;
    for (int j = 0; j <= kSide; ++j)
        for (int i = 0; i <= kSide; ++i) points.push_back({float(i), float(j), float((i * j) % 7)});
    std::vector<Poly> polygons;
    for (int j = 0; j < kSide && polygons.size() < 60000; ++j)
        for (int i = 0; i < kSide && polygons.size() < 60000; ++i) {
            const auto at = [&](int x, int y) { return uint16_t(y * (kSide + 1) + x); };
            polygons.push_back(
                {{at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}, int16_t(1 + (i & 1))});
        }
    LwobBuilder builder;
    builder.pnts(points)
        .srfs({"Ground", "Stone"})
        .pols(polygons)
        .surf("Ground", {colr(90, 160, 60), subU16("FLAG", 4)})
        .surf("Stone", {subU16("FLAG", 4), subString("CTEX", "Planar Image Map"), subU16("TFLG", 4),
                        subFloats("TSIZ", {10, 10, 10})});
    const Bytes bytes = builder.bytes();
    for (auto _ : state) {
        Mesh mesh;
        readLwobObject(bytes.data(), bytes.size(), mesh);
        benchmark::DoNotOptimize(mesh.polygonCount);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(loadLwob60000)->Unit(benchmark::kMillisecond);

void decodeJpeg512(benchmark::State& state) {
    std::vector<uint8_t> pixels(512 * 512 * 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t((i * 7) ^ (i >> 9));
    const auto jpeg = test::encodeJpeg(pixels, 512, 512, 3, 85);
    int32_t width = 0, height = 0;
    for (auto _ : state) {
        auto decoded = decodeJpegBytes(jpeg.data(), jpeg.size(), width, height);
        benchmark::DoNotOptimize(decoded);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 512 * 512);
}
BENCHMARK(decodeJpeg512)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kestrune
