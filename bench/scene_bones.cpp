// Benchmark: deforming a 10,000-point object by a chain of 20 bones (point-bone updates).
#include <benchmark/benchmark.h>

#include <cmath>

#include "scene/scene.h"

namespace {

void deformTenThousandPoints(benchmark::State& state) {
    kestrune::SceneObject object;
    for (int i = 0; i < 10000; ++i) {
        kestrune::MeshPoint point{};
        point.position = {std::sin(static_cast<float>(i)), static_cast<float>(i % 100) * 0.2f,
                          std::cos(static_cast<float>(i))};
        point.normal = {0, 1, 0};
        object.mesh.points.push_back(point);
    }
    object.mesh.pointCount = 10000;
    for (int j = 0; j < 20; ++j) {
        kestrune::Bone* bone = kestrune::addBone(object);
        bone->restPosition = {0, j == 0 ? 0.0f : 1.0f, 0};
        bone->restDirection = {0, -90, 0};
        bone->restLength = 1;
        bone->strength = 1;
        kestrune::allocateKeys(bone->motion, 2);
        bone->motion.channelCount = 9;
        for (int k = 0; k < 2; ++k) {
            float* v = bone->motion.keys[static_cast<size_t>(k)].values;
            v[1] = bone->restPosition.y;
            v[3] = static_cast<float>(k * 10);
            v[4] = -90;
            v[6] = v[7] = v[8] = 1;
            bone->motion.keys[static_cast<size_t>(k)].frame = k * 50;
        }
        bone->motion.lastKeyFrame = 50;
    }
    for (size_t j = 1; j < object.bones.size(); ++j) object.bones[j].parent = &object.bones[j - 1];
    kestrune::computeBoneWeights(object);
    float frame = 0;
    for (auto _ : state) {
        kestrune::deformBones(object, frame);
        benchmark::DoNotOptimize(object.mesh.points.data());
        frame += 1;
        if (frame > 50) frame = 0;
    }
    state.SetItemsProcessed(state.iterations() * 10000 * 20);
}
BENCHMARK(deformTenThousandPoints)->Unit(benchmark::kMicrosecond);

} // namespace
