// Benchmark: evaluating a nine-channel motion of 100 Hermite keys across its whole length.
#include <benchmark/benchmark.h>

#include "scene/motion.h"

namespace {

kestrune::Motion hundredKeys() {
    kestrune::Motion motion;
    kestrune::allocateKeys(motion, 100);
    motion.channelCount = 9;
    motion.endBehavior = 2;
    for (int k = 0; k < 100; ++k) {
        kestrune::MotionKey& key = motion.keys[static_cast<size_t>(k)];
        for (int c = 0; c < 9; ++c) key.values[c] = static_cast<float>((k * 7 + c * 3) % 11);
        key.frame = k * 10;
        key.tension = 0.1f * static_cast<float>(k % 3);
        key.linear = k % 10 == 9;
    }
    motion.lastKeyFrame = 990;
    return motion;
}

// Each iteration evaluates the motion once; frames sweep the keys (and wrap past the end), so
// the segment search covers on average half the keys.
void evaluateNineChannels(benchmark::State& state) {
    kestrune::Motion motion = hundredKeys();
    float frame = 0;
    for (auto _ : state) {
        kestrune::evaluateMotion(motion, frame);
        benchmark::DoNotOptimize(motion.values);
        frame += 3.7f;
        if (frame > 1200) frame -= 1200;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["keys/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * 100,
                                                  benchmark::Counter::kIsRate);
}
BENCHMARK(evaluateNineChannels);

} // namespace
