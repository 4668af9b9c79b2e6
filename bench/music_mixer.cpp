// Mixer throughput: voice-frames per second for 8-bit, 16-bit, interpolated and ramping voices.
#include <benchmark/benchmark.h>

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

// One voice mixed 882 frames at a time (one tick at 125 BPM), as the device does.
void mixVoice(benchmark::State& state, int bits, int switches, bool ramp) {
    const Sample s = loopedSample(bits);
    SampleMixer mixer(switches);
    SoundBuffer ring = createMixRing();
    Voice v;
    v.sample = &s;
    v.time = 0;
    v.state = VoiceOwned;
    v.frequency = 18000.0f; // a step of 0.41 frames
    v.panning = 90;
    int tick = 0;
    for (auto _ : state) {
        // Ramping voices change volume every tick, so every tick starts with a ramp.
        v.volume = ramp ? ((tick++ & 1) ? 72 : 10) : 60;
        mixer.mixVoice(v, &ring, 882);
    }
    state.SetItemsProcessed(state.iterations() * 882);
    state.SetLabel("voice-frames/s");
}

void BM_Mix8Bit(benchmark::State& s) {
    mixVoice(s, 8, 0, false);
}
void BM_Mix16Bit(benchmark::State& s) {
    mixVoice(s, 16, 0, false);
}
void BM_Mix8BitInterpolated(benchmark::State& s) {
    mixVoice(s, 8, MixInterpolation, false);
}
void BM_Mix16BitInterpolated(benchmark::State& s) {
    mixVoice(s, 16, MixInterpolation, false);
}
void BM_Mix8BitRamping(benchmark::State& s) {
    mixVoice(s, 8, MixRamping | MixInterpolation, true);
}
void BM_Mix16BitRamping(benchmark::State& s) {
    mixVoice(s, 16, MixRamping | MixInterpolation, true);
}

BENCHMARK(BM_Mix8Bit);
BENCHMARK(BM_Mix16Bit);
BENCHMARK(BM_Mix8BitInterpolated);
BENCHMARK(BM_Mix16BitInterpolated);
BENCHMARK(BM_Mix8BitRamping);
BENCHMARK(BM_Mix16BitRamping);

} // namespace
} // namespace kestrune
