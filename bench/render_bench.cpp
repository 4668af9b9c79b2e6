// Speed of transformAndLight (point-light updates per second) and of drawScene on a 100-object
// scene with the recording backend counting only.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "render/frame_renderer.h"
#include "render/lighting.h"
#include "render/placement.h"
#include "render/recording/recording_backend.h"

namespace kestrune {
namespace {

void setConstant(Motion& motion, std::initializer_list<float> values) {
    allocateKeys(motion, 1);
    motion.channelCount = static_cast<int32_t>(values.size());
    std::copy(values.begin(), values.end(), motion.keys[0].values);
    std::copy(values.begin(), values.end(), motion.values);
}

// A curved sheet of points facing the camera, with normals varying across it.
void fillSheet(Mesh& mesh, int points, int columns) {
    mesh.points.assign(points, MeshPoint{});
    for (int i = 0; i < points; ++i) {
        float x = static_cast<float>(i % columns) * 0.05f - 5.0f;
        float y = static_cast<float>(i / columns) * 0.05f - 5.0f;
        float nx = std::sin(x), ny = std::sin(y);
        float nz = -std::sqrt(std::max(0.0f, 1.0f - 0.5f * (nx * nx + ny * ny)));
        mesh.points[i].position = {x, y, 0.1f * (x * x + y * y)};
        mesh.points[i].normal = {0.7f * nx, 0.7f * ny, nz};
    }
    mesh.pointCount = static_cast<uint16_t>(points);
}

void addLights(Scene& scene) {
    const int types[] = {0, 1, 2, 1};
    const float positions[][3] = {{0, 0, 0}, {3, 4, 5}, {0, 0, -2}, {-4, 2, 8}};
    for (int i = 0; i < 4; ++i) {
        SceneLight& light = scene.lights.emplace_back();
        light.type = types[i];
        light.color[0] = 63;
        light.color[1] = 50;
        light.color[2] = 40;
        setConstant(light.intensity, {1.0f});
        setConstant(light.motion, {positions[i][0], positions[i][1], positions[i][2], 10.0f * i,
                                   5.0f, 0, 1, 1, 1});
    }
    scene.lightCount = 4;
}

void BM_TransformAndLight(benchmark::State& state) {
    constexpr int kPoints = 50000;
    Scene scene;
    setConstant(scene.camera.motion, {0, 0, -10, 0, 0, 0, 1, 1, 1});
    SceneObject& object = scene.objects.emplace_back();
    scene.objectCount = 1;
    setConstant(object.motion, {0, 0, 5, 20, 10, 5, 1, 1, 1});
    fillSheet(object.mesh, kPoints, 250);
    addLights(scene);
    evaluateScene(scene, 0);
    for (auto _ : state) {
        transformAndLight(object, scene);
        benchmark::DoNotOptimize(object.mesh.points.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints * 4);
    state.SetLabel("items: point x light updates");
}
BENCHMARK(BM_TransformAndLight)->Unit(benchmark::kMicrosecond);

void BM_DrawScene100Objects(benchmark::State& state) {
    Scene scene;
    scene.objects.reserve(100);
    setConstant(scene.camera.motion, {0, 0, -30, 0, 0, 0, 1, 1, 1});
    for (int i = 0; i < 100; ++i) {
        SceneObject& object = scene.objects.emplace_back();
        std::strcpy(object.name, "thing.lwo");
        // A moving object: two keys, so every frame evaluates a Hermite segment.
        allocateKeys(object.motion, 2);
        object.motion.channelCount = 9;
        for (MotionKey& key : object.motion.keys) {
            key.values[0] = static_cast<float>(i % 10) - 5.0f;
            key.values[1] = static_cast<float>(i / 10) - 5.0f;
            key.values[6] = key.values[7] = key.values[8] = 0.1f;
        }
        object.motion.keys[1].values[3] = 360;
        object.motion.keys[1].frame = 100;
        object.motion.lastKeyFrame = 100;
        if (i > 0 && i % 4 != 0) object.parent = &scene.objects[i - 1];
        fillSheet(object.mesh, 300, 20);
        for (int k = 0; k + 2 < 300; k += 2) {
            MeshPolygon& polygon = object.mesh.polygons.emplace_back();
            polygon.flags = (k % 20 == 0) ? PolyTranslucent : PolySmooth;
            polygon.vertexCount = 3;
            polygon.vertices = {static_cast<uint16_t>(k), static_cast<uint16_t>(k + 1),
                                static_cast<uint16_t>(k + 2)};
        }
        object.mesh.polygonCount = static_cast<uint16_t>(object.mesh.polygons.size());
    }
    scene.objectCount = 100;
    addLights(scene);

    renderBackend = {};
    fillRecordingBackend(renderBackend);
    recording.enabled = false;
    float frame = 0;
    for (auto _ : state) {
        drawScene(scene, frame);
        frame = frame >= 99 ? 0 : frame + 1;
    }
    state.SetItemsProcessed(state.iterations() * 100);
    state.SetLabel("items: objects (300 points, 149 polygons each)");
    recording.enabled = true;
    renderBackend = {};
}
BENCHMARK(BM_DrawScene100Objects)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace kestrune
