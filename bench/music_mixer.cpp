// Mixer throughput: voice-frames per second for 8-bit, 16-bit, interpolated and ramping voices.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "music/mixer.h"

namespace kestrune {
namespace {

Sample loopedSample(int bits) {
    Sample s;
    s.bits = bits;
    s.length = 20000;
    s.loopType = LoopForward;
    s.loopStart = 1000;
    s.loopEnd = 20000;
    s.empty = 0;
    s.data = createSoundBuffer(44100, s.length, bits, 1);
    for (int i = 0; i < s.length; ++i) {
        if (bits == 16)
            s.data.samples16()[i] = static_cast<int16_t>((i * 797) % 60000 - 30000);
        else
            s.data.samples8()[i] = static_cast<int8_t>((i * 37) % 250 - 125);
    }
    return s;
}

// Eight voices mixed 882 frames at a time (one tick at 125 BPM) into the same stretch of the
// ring, as the device mixes a module's channels; the stretch is then copied out and cleared.
void mixVoices(benchmark::State& state, int bits, int switches, bool ramp) {
    const Sample s = loopedSample(bits);
    SampleMixer mixer(switches);
    SoundBuffer ring = createMixRing();
    constexpr int kVoices = 8, kTick = 882;
    Voice voices[kVoices];
    for (int i = 0; i < kVoices; ++i) {
        voices[i].sample = &s;
        voices[i].time = 0;
        voices[i].state = VoiceOwned;
        voices[i].frequency = 9000.0f + 2500.0f * i; // steps of 0.2 to 0.6 frames
        voices[i].panning = 40 + 20 * i;
    }
    std::vector<int16_t> out(2 * kTick);
    int tick = 0;
    for (auto _ : state) {
        const int64_t start = voices[0].time;
        for (Voice& v : voices) {
            // Ramping voices change volume every tick, so every tick starts with a ramp.
            v.volume = ramp ? ((tick & 1) ? 72 : 10) : 60;
            mixer.mixVoice(v, &ring, kTick);
        }
        ++tick;
        const RingRegion region = mixRingRegion(ring, start, kTick);
        int16_t* o = out.data();
        for (const RingSpan& span : {region.first, region.second}) {
            std::copy_n(ring.samples16() + 2 * span.start, 2 * span.count, o);
            std::fill_n(ring.samples16() + 2 * span.start, 2 * span.count, int16_t{0});
            o += 2 * span.count;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kVoices * kTick);
    state.SetLabel("voice-frames/s");
}

void BM_Mix8Bit(benchmark::State& s) {
    mixVoices(s, 8, 0, false);
}
void BM_Mix16Bit(benchmark::State& s) {
    mixVoices(s, 16, 0, false);
}
void BM_Mix8BitInterpolated(benchmark::State& s) {
    mixVoices(s, 8, MixInterpolation, false);
}
void BM_Mix16BitInterpolated(benchmark::State& s) {
    mixVoices(s, 16, MixInterpolation, false);
}
void BM_Mix8BitRamping(benchmark::State& s) {
    mixVoices(s, 8, MixRamping | MixInterpolation, true);
}
void BM_Mix16BitRamping(benchmark::State& s) {
    mixVoices(s, 16, MixRamping | MixInterpolation, true);
}

BENCHMARK(BM_Mix8Bit);
BENCHMARK(BM_Mix16Bit);
BENCHMARK(BM_Mix8BitInterpolated);
BENCHMARK(BM_Mix16BitInterpolated);
BENCHMARK(BM_Mix8BitRamping);
BENCHMARK(BM_Mix16BitRamping);

} // namespace
} // namespace kestrune
