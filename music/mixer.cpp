// Mixing one voice into the ring: step, panning, chunks cut at sample events, the ring's end and
// the end of a volume ramp.
#include "music/mixer.h"

#include <cstdlib>

#include "music/mixer_kernels.h"

namespace kestrune {
namespace {

enum class Event { None, End, Loop, Turn, Wrap };

using Kernel = void (*)(int16_t*, int, const void*, int64_t, int64_t, int&, int&, int, int);

template <bool Bits16, bool Interpolate, bool Ramp>
void scalarChunk(int16_t* out, int frames, const void* data, int64_t pos, int64_t step, int& left,
                 int& right, int targetLeft, int targetRight) {
    addChunkScalar<Bits16, Interpolate, Ramp>(out, frames, data, pos, step, left, right,
                                              targetLeft, targetRight);
}

Kernel chooseKernel(bool bits16, bool interpolate, bool ramp, bool scalar) {
    static const Kernel kernels[16] = {
        addChunk<false, false, false>,    addChunk<false, false, true>,
        addChunk<false, true, false>,     addChunk<false, true, true>,
        addChunk<true, false, false>,     addChunk<true, false, true>,
        addChunk<true, true, false>,      addChunk<true, true, true>,
        scalarChunk<false, false, false>, scalarChunk<false, false, true>,
        scalarChunk<false, true, false>,  scalarChunk<false, true, true>,
        scalarChunk<true, false, false>,  scalarChunk<true, false, true>,
        scalarChunk<true, true, false>,   scalarChunk<true, true, true>,
    };
    return kernels[(scalar ? 8 : 0) + (bits16 ? 4 : 0) + (interpolate ? 2 : 0) + (ramp ? 1 : 0)];
}

// Output frames until a voice at pos moving by step reaches boundary (both 16.16), rounded up.
int64_t framesToReach(int64_t boundary, int64_t pos, int64_t step) {
    const int64_t distance = boundary - pos;
    int64_t q = distance / step;
    if (distance % step != 0 && (distance > 0) == (step > 0)) ++q;
    return q < 0 ? 0 : q;
}

} // namespace

int SampleMixer::mixVoice(Voice& v, SoundBuffer* ring, int count) {
    if (!ring || ring->channelCount != 2 || !ring->hasData() || ring->frameCount <= 0) return 0;
    const int64_t t = v.time;
    v.time += count;
    if (!v.sample || count <= 0) return 0;
    const int ringFrames = ring->frameCount;
    int cursor = static_cast<int>(((t % ringFrames) + ringFrames) % ringFrames);

    float x = v.frequency / static_cast<float>(ring->sampleRate);
    if (!(x > 0)) x = 0; // also NaN
    if (x > static_cast<float>(kMaxStep)) x = static_cast<float>(kMaxStep);
    v.step = static_cast<int>(x);
    v.stepFraction = static_cast<int>(x * 65536.0f - static_cast<float>(v.step) * 65536.0f);

    int leftFactor = 256, rightFactor = 256;
    if (v.panning > 128) leftFactor = (256 - v.panning) * 2;
    if (v.panning < 128) rightFactor = v.panning * 2;
    // The sequencer keeps volume and panning in range; the clamp keeps any caller's voice within
    // the 0..255 the contributions are defined for.
    v.targetLeftVolume = std::clamp(v.volume * leftFactor / 256, 0, 255);
    v.targetRightVolume = std::clamp(v.volume * rightFactor / 256, 0, 255);
    if (!rampingOn()) {
        v.currentLeftVolume = v.targetLeftVolume;
        v.currentRightVolume = v.targetRightVolume;
    }

    const Sample& s = *v.sample;
    if (ring->bitsPerSample != 16 || (s.bits != 8 && s.bits != 16) || !s.data.hasData()) return 0;
    const bool bits16 = s.bits == 16;
    const void* data = bits16 ? static_cast<const void*>(s.data.samples16())
                              : static_cast<const void*>(s.data.samples8());
    const int loopType = (s.loopType != LoopNone && s.loopEnd > s.loopStart) ? s.loopType : 0;

    int64_t step = (static_cast<int64_t>(v.step) << 16) + v.stepFraction;
    if (v.direction < 0) step = -step;
    if (v.position > s.length || (loopType != LoopNone && v.position > s.loopEnd)) {
        v.sample = nullptr;
        return 0;
    }

    int64_t pos = (static_cast<int64_t>(v.position) << 16) + v.positionFraction;
    int left = v.currentLeftVolume, right = v.currentRightVolume;
    const int targetLeft = v.targetLeftVolume, targetRight = v.targetRightVolume;
    int16_t* ringData = ring->samples16();
    const bool interpolate = interpolationOn();
    const bool scalar = scalarKernels();
    int remaining = count;
    int idleTurns = 0; // events in a row that took no frames; bounded for any sample
    while (remaining > 0) {
        int64_t boundary = s.length;
        Event event = Event::End;
        if (loopType == LoopForward) {
            boundary = s.loopEnd;
            event = Event::Loop;
        } else if (loopType == LoopPingPong) {
            boundary = v.direction > 0 ? s.loopEnd : s.loopStart;
            event = Event::Turn;
        }
        // Every boundary the voice can reach within this call cuts the chunk, however far it is.
        // Leaving boundaries 32000 frames or more away uncut, as 32-bit 16.16 arithmetic would
        // have to, lets a fast voice run past the end of a long sample (or below the start of a
        // ping-pong loop) within one chunk and read outside its data; in 64 bits the distance is
        // measured exactly, and a boundary out of reach still gives the whole count.
        int chunk = remaining;
        if (step == 0) {
            event = Event::None;
        } else {
            const int64_t need = framesToReach(boundary << 16, pos, step);
            if (need > remaining)
                event = Event::None;
            else
                chunk = static_cast<int>(need);
        }
        Event held = Event::None;
        const int toRingEnd = ringFrames - cursor;
        if (toRingEnd <= chunk) {
            if (toRingEnd == chunk) held = event;
            chunk = toRingEnd;
            event = Event::Wrap;
        }
        const bool ramping = left != targetLeft || right != targetRight;
        if (ramping) {
            int limit = chunk;
            if (left != targetLeft) {
                const int d = std::abs(targetLeft - left);
                limit = std::min(limit, d + d / 2);
            }
            if (right != targetRight) {
                const int d = std::abs(targetRight - right);
                limit = std::min(limit, d + d / 2);
            }
            if (limit < chunk) {
                chunk = limit;
                event = held = Event::None;
            }
        }
        if (chunk > 0 && (ramping || left + right != 0)) {
            chooseKernel(bits16, interpolate, ramping, scalar)(ringData + 2 * cursor, chunk, data,
                                                               pos, step, left, right, targetLeft,
                                                               targetRight);
        }
        cursor += chunk;
        pos += chunk * step;
        remaining -= chunk;
        idleTurns = chunk == 0 ? idleTurns + 1 : 0;
        if (event == Event::Wrap) {
            cursor = 0;
            event = held;
        }
        if (event == Event::Loop) {
            pos -= static_cast<int64_t>(s.loopEnd - s.loopStart) << 16;
        } else if (event == Event::Turn) {
            step = -step;
            v.direction = -v.direction;
        } else if (event == Event::End || idleTurns > 2 * kMaxStep) {
            v.sample = nullptr;
            remaining = 0;
        }
    }
    v.position = static_cast<int>(pos >> 16);
    v.positionFraction = static_cast<int>(pos & 0xFFFF);
    v.currentLeftVolume = left;
    v.currentRightVolume = right;
    return 1;
}

} // namespace kestrune
