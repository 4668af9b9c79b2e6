// The mixer: steps, panning, loops, ramps, interpolation and saturation with exact values.
#include <gtest/gtest.h>

#include <vector>

#include "music/mixer.h"
#include "music/mixer_kernels.h"

namespace kestrune {
namespace {

Sample makeSample(const std::vector<int>& frames, int bits = 8, int loopType = LoopNone,
                  int loopStart = 0, int loopEnd = 0) {
    Sample s;
    s.bits = bits;
    s.length = static_cast<int>(frames.size());
    s.loopType = loopType;
    s.loopStart = loopStart;
    s.loopEnd = loopEnd;
    s.empty = 0;
    s.data = createSoundBuffer(kMixRate, s.length, bits, 1);
    for (int i = 0; i < s.length; ++i) {
        if (bits == 16)
            s.data.samples16()[i] = static_cast<int16_t>(frames[static_cast<size_t>(i)]);
        else
            s.data.samples8()[i] = static_cast<int8_t>(frames[static_cast<size_t>(i)]);
    }
    return s;
}

std::vector<int> ramp(int n, int from = 0) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(from + i);
    return v;
}

Voice voiceOn(const Sample& s, float frequency, int volume = 64, int panning = 128) {
    Voice v;
    v.sample = &s;
    v.time = 0;
    v.state = VoiceOwned;
    v.frequency = frequency;
    v.volume = volume;
    v.panning = panning;
    return v;
}

std::vector<int> left(const SoundBuffer& ring, int from, int n) {
    std::vector<int> out;
    for (int i = from; i < from + n; ++i) out.push_back(ring.samples16()[2 * i]);
    return out;
}
std::vector<int> right(const SoundBuffer& ring, int from, int n) {
    std::vector<int> out;
    for (int i = from; i < from + n; ++i) out.push_back(ring.samples16()[2 * i + 1]);
    return out;
}

TEST(Mixer, StepsAndPanning) {
    SampleMixer mixer(0);
    const Sample s = makeSample(ramp(100, 1));
    {
        SoundBuffer ring = createMixRing();
        Voice v = voiceOn(s, 44100);
        EXPECT_EQ(mixer.mixVoice(v, &ring, 4), 1);
        EXPECT_EQ(v.step, 1);
        EXPECT_EQ(v.stepFraction, 0);
        EXPECT_EQ(left(ring, 0, 5), (std::vector<int>{64, 128, 192, 256, 0}));
        EXPECT_EQ(right(ring, 0, 4), left(ring, 0, 4));
        EXPECT_EQ(v.time, 4);
        EXPECT_EQ(v.position, 4);
    }
    {
        SoundBuffer ring = createMixRing();
        Voice v = voiceOn(s, 22050, 64, 255);
        mixer.mixVoice(v, &ring, 4);
        EXPECT_EQ(v.step, 0);
        EXPECT_EQ(v.stepFraction, 32768);
        EXPECT_EQ(v.targetLeftVolume, 0); // factor 2: 64 x 2 / 256
        EXPECT_EQ(v.targetRightVolume, 64);
        EXPECT_EQ(right(ring, 0, 4), (std::vector<int>{64, 64, 128, 128}));
        EXPECT_EQ(left(ring, 0, 4), (std::vector<int>{0, 0, 0, 0}));
    }
    {
        Voice v = voiceOn(s, 8363, 64, 0);
        SoundBuffer ring = createMixRing();
        mixer.mixVoice(v, &ring, 1);
        EXPECT_EQ(v.stepFraction, 12428); // 8363 / 44100 x 65536 = 12428.07, truncated
        EXPECT_EQ(v.targetLeftVolume, 64);
        EXPECT_EQ(v.targetRightVolume, 0);
    }
}

TEST(Mixer, ForwardAndPingPongLoops) {
    SampleMixer mixer(0);
    const Sample fwd = makeSample(ramp(300, -100), 8, LoopForward, 100, 200);
    SoundBuffer ring = createMixRing();
    Voice v = voiceOn(fwd, 44100);
    v.position = 198;
    v.positionFraction = 0x8000;
    mixer.mixVoice(v, &ring, 3);
    // Frames 198, 199, then past 200: position - 100, fraction kept.
    EXPECT_EQ(left(ring, 0, 3), (std::vector<int>{98 * 64, 99 * 64, 0}));
    EXPECT_EQ(v.position, 101);
    EXPECT_EQ(v.positionFraction, 0x8000);

    const Sample pp = makeSample(ramp(300, -100), 8, LoopPingPong, 100, 200);
    SoundBuffer ring2 = createMixRing();
    Voice w = voiceOn(pp, 44100 * 1.5f);
    w.position = 197;
    mixer.mixVoice(w, &ring2, 4);
    // 197, 198.5, then 200: turned without reflection, it runs back from 200 to 198.5.
    EXPECT_EQ(left(ring2, 0, 4), (std::vector<int>{97 * 64, 98 * 64, 100 * 64, 98 * 64}));
    EXPECT_EQ(w.direction, -1);
    EXPECT_EQ(w.position, 197);
}

TEST(Mixer, OneShotSampleEnds) {
    SampleMixer mixer(0);
    const Sample s = makeSample({5, 5, 5, 5});
    SoundBuffer ring = createMixRing();
    Voice v = voiceOn(s, 44100);
    mixer.mixVoice(v, &ring, 8);
    EXPECT_EQ(left(ring, 0, 8), (std::vector<int>{320, 320, 320, 320, 0, 0, 0, 0}));
    EXPECT_EQ(v.sample, nullptr);
    EXPECT_EQ(v.time, 8);
    // A stopped voice still advances its time.
    EXPECT_EQ(mixer.mixVoice(v, &ring, 10), 0);
    EXPECT_EQ(v.time, 18);
    // A voice placed past its sample's end is stopped without mixing.
    Voice late = voiceOn(s, 44100);
    late.position = 5;
    mixer.mixVoice(late, &ring, 4);
    EXPECT_EQ(late.sample, nullptr);
}

TEST(Mixer, RampFromSeventyTwoToSilenceTakes142Frames) {
    SampleMixer mixer(MixRamping);
    const Sample s = makeSample(std::vector<int>(1000, 1), 8, LoopForward, 0, 1000);
    SoundBuffer ring = createMixRing();
    Voice v = voiceOn(s, 44100, 0);
    v.currentLeftVolume = v.currentRightVolume = 72;
    mixer.mixVoice(v, &ring, 300);
    // Chunks of 108, 27, 6 and 1 frames; the volume drops one unit every second frame.
    const std::vector<int> l = left(ring, 0, 300);
    EXPECT_EQ(l[0], 72);
    EXPECT_EQ(l[1], 72);
    EXPECT_EQ(l[2], 71);
    EXPECT_EQ(l[107], 19);
    EXPECT_EQ(l[108], 18);
    EXPECT_EQ(l[134], 5);
    EXPECT_EQ(std::vector<int>(l.begin() + 135, l.begin() + 143),
              (std::vector<int>{4, 4, 3, 3, 2, 2, 1, 0}));
    EXPECT_EQ(std::count_if(l.begin(), l.end(), [](int x) { return x != 0; }), 142);
    EXPECT_EQ(v.currentLeftVolume, 0);
}

TEST(Mixer, InterpolationSaturationAndRingWrap) {
    SampleMixer mixer(MixInterpolation);
    {
        const Sample s8 = makeSample({10, 20, 30});
        SoundBuffer ring = createMixRing();
        Voice v = voiceOn(s8, 22050);
        mixer.mixVoice(v, &ring, 2);
        // Volume first: 640 + 2 x floor(640 x 16384 / 65536).
        EXPECT_EQ(left(ring, 0, 2), (std::vector<int>{640, 960}));
        const Sample s16 = makeSample({0, 1000, -32768, 32767}, 16);
        SoundBuffer ring16 = createMixRing();
        Voice w = voiceOn(s16, 22050, 255, 0);
        w.position = 0;
        mixer.mixVoice(w, &ring16, 6);
        // 0; 500; 1000; 1000 + 2 x floor(-33768 saturated to -32768, x 16384 / 65536) = -15384;
        // -32768; -32768 + 2 x floor(65535 saturated to 32767, x 16384 / 65536) = -16386; all
        // x 255 / 256, floored.
        EXPECT_EQ(left(ring16, 0, 6), (std::vector<int>{0, 498, 996, -15324, -32640, -16322}));
    }
    {
        // Two loud voices clip at 32767 instead of wrapping.
        SampleMixer plain(0);
        const Sample loud = makeSample({32767, 32767}, 16);
        SoundBuffer ring = createMixRing();
        Voice a = voiceOn(loud, 44100, 255), b = voiceOn(loud, 44100, 255);
        plain.mixVoice(a, &ring, 2);
        plain.mixVoice(b, &ring, 2);
        EXPECT_EQ(left(ring, 0, 2), (std::vector<int>{32767, 32767}));
    }
    {
        // A chunk across the ring's end continues at its first frame.
        SampleMixer plain(0);
        const Sample s = makeSample(ramp(10, 1));
        SoundBuffer ring = createMixRing();
        Voice v = voiceOn(s, 44100, 1);
        v.time = kMixRate * 3 - 3;
        plain.mixVoice(v, &ring, 6);
        EXPECT_EQ(left(ring, kMixRate - 3, 3), (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(left(ring, 0, 3), (std::vector<int>{4, 5, 6}));
        EXPECT_EQ(v.position, 6);
    }
}

TEST(Mixer, HostileVoicesStayInTheirBuffers) {
    // Far too fast, negative and absurd frequencies, volumes and panning beyond their ranges,
    // over every loop kind: the step is capped and nothing is read outside the sample.
    SampleMixer mixer(MixRamping | MixInterpolation);
    for (int loop : {LoopNone, LoopForward, LoopPingPong}) {
        const Sample s = makeSample(ramp(3, 1), 16, loop, 0, loop ? 1 : 0);
        for (float f : {1e9f, -5.0f, 44100.0f * 70}) {
            SoundBuffer ring = createMixRing();
            Voice v = voiceOn(s, f, 1000, 400);
            mixer.mixVoice(v, &ring, 5000);
            EXPECT_LE(v.step, kMaxStep);
            EXPECT_LE(v.targetRightVolume, 255);
        }
    }
    SoundBuffer mono = createSoundBuffer(kMixRate, 100, 16, 1);
    const Sample s = makeSample({1});
    Voice v = voiceOn(s, 44100);
    EXPECT_EQ(mixer.mixVoice(v, &mono, 10), 0);
    EXPECT_EQ(mixer.mixVoice(v, nullptr, 10), 0);
}

TEST(Mixer, FastVoicesStopAtFarBoundaries) {
    // A boundary 40000 frames away is reached within one call at 20 frames a step: the one-shot
    // sample ends after 2000 frames, and a ping-pong voice running back from 40000 turns at 0.
    SampleMixer mixer(0);
    const Sample oneShot = makeSample(std::vector<int>(40000, 1));
    SoundBuffer ring = createMixRing();
    Voice v = voiceOn(oneShot, 44100 * 20);
    mixer.mixVoice(v, &ring, 3000);
    EXPECT_EQ(v.sample, nullptr);
    EXPECT_EQ(left(ring, 1998, 4), (std::vector<int>{64, 64, 0, 0}));

    const Sample pp = makeSample(std::vector<int>(80000, 1), 8, LoopPingPong, 0, 80000);
    Voice w = voiceOn(pp, 44100 * 20);
    w.position = 40000;
    w.direction = -1;
    mixer.mixVoice(w, &ring, 3000);
    EXPECT_EQ(w.direction, 1);
    EXPECT_EQ(w.position, 20000);
}

#if defined(__SSE2__)
// The packed kernel against the scalar definition: random frames, positions, steps in both
// directions, volumes, ramps and chunk lengths, with the ring near saturation.
template <bool Bits16, bool Interpolate, bool Ramp> void compareKernels(uint32_t seed) {
    uint32_t state = seed;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    const Sample s = [&] {
        std::vector<int> frames(4000);
        for (int& f : frames)
            f = Bits16 ? static_cast<int>(next() % 65536) - 32768
                       : static_cast<int>(next() % 256) - 128;
        if (Bits16) frames[100] = -32768, frames[101] = 32767, frames[102] = -32768;
        return makeSample(frames, Bits16 ? 16 : 8);
    }();
    const void* data = Bits16 ? static_cast<const void*>(s.data.samples16())
                              : static_cast<const void*>(s.data.samples8());
    for (int round = 0; round < 300; ++round) {
        const int frames = static_cast<int>(next() % 70);
        int64_t step = static_cast<int64_t>(next() % (3 << 16));
        const bool backwards = next() % 2;
        int64_t pos = static_cast<int64_t>(backwards ? 3500 : 50) << 16 | (next() & 0xFFFF);
        if (backwards) step = -step;
        const int l = static_cast<int>(next() % 256), r = static_cast<int>(next() % 256);
        const int tl = static_cast<int>(next() % 256), tr = static_cast<int>(next() % 256);
        std::vector<int16_t> ringA(2 * 80), ringB;
        for (int16_t& v : ringA) v = static_cast<int16_t>(next() % 65536 - 32768);
        ringB = ringA;
        int la = l, ra = r, lb = l, rb = r;
        addChunkScalar<Bits16, Interpolate, Ramp>(ringA.data(), frames, data, pos, step, la, ra, tl,
                                                  tr);
        addChunkSse2<Bits16, Interpolate, Ramp>(ringB.data(), frames, data, pos, step, lb, rb, tl,
                                                tr);
        const size_t at = static_cast<size_t>(
            std::mismatch(ringA.begin(), ringA.end(), ringB.begin()).first - ringA.begin());
        ASSERT_EQ(at, ringA.size())
            << "round " << round << " kernel " << Bits16 << Interpolate << Ramp << " frames "
            << frames << " step " << step << " a " << ringA[at] << " b " << ringB[at] << " l " << l
            << " r " << r << " tl " << tl << " tr " << tr << " pos "
            << (pos + static_cast<int64_t>(at / 2) * step) << " start " << pos;
        ASSERT_EQ(la, lb);
        ASSERT_EQ(ra, rb);
    }
}

TEST(Mixer, PackedKernelsEqualTheScalarDefinition) {
    compareKernels<false, false, false>(1);
    compareKernels<false, false, true>(2);
    compareKernels<false, true, false>(3);
    compareKernels<false, true, true>(4);
    compareKernels<true, false, false>(5);
    compareKernels<true, false, true>(6);
    compareKernels<true, true, false>(7);
    compareKernels<true, true, true>(8);
}
#endif

TEST(Mixer, RingRegions) {
    const SoundBuffer ring = createMixRing();
    RingRegion r = mixRingRegion(ring, 44100 * 2 + 100, 8250);
    EXPECT_EQ(r.first.start, 100);
    EXPECT_EQ(r.first.count, 8250);
    EXPECT_EQ(r.second.count, 0);
    r = mixRingRegion(ring, 40000, 8250);
    EXPECT_EQ(r.first.count, 4100);
    EXPECT_EQ(r.second.start, 0);
    EXPECT_EQ(r.second.count, 4150);
}

} // namespace
} // namespace kestrune
