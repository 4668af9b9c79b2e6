// The mixer's inner loops: one chunk of one voice added into the ring, chosen per chunk by
// sample width, interpolation and ramping so that no per-frame test remains.
#pragma once

#include <algorithm>
#include <cstdint>

namespace kestrune {

inline int saturate16(int v) {
    return std::clamp(v, -32768, 32767);
}

// The contribution of one sample frame at 16.16 position pos with volume v (0..255).
template <bool Bits16, bool Interpolate>
inline int frameContribution(const void* data, int64_t pos, int v) {
    const int index = static_cast<int>(pos >> 16);
    if constexpr (Bits16) {
        const int16_t* d = static_cast<const int16_t*>(data);
        int s = d[index];
        if constexpr (Interpolate) {
            const int f = static_cast<int>(pos & 0xFFFF) >> 1;
            s += 2 * ((saturate16(d[index + 1] - s) * f) >> 16);
        }
        return (s * v) >> 8;
    } else {
        const int8_t* d = static_cast<const int8_t*>(data);
        const int a = d[index] * v;
        if constexpr (Interpolate) {
            // Volume first, then the difference, as 16-bit lanes would do it.
            const int f = static_cast<int>(pos & 0xFFFF) >> 1;
            return a + 2 * ((saturate16(d[index + 1] * v - a) * f) >> 16);
        }
        return a;
    }
}

inline int towards(int current, int target) {
    return current + (current < target) - (current > target);
}

// Adds frames frames into out (interleaved stereo, already at the chunk's first frame). While
// ramping, each side moves one unit towards its target after every second frame and once more
// after an odd last frame.
template <bool Bits16, bool Interpolate, bool Ramp>
void addChunk(int16_t* out, int frames, const void* data, int64_t pos, int64_t step, int& left,
              int& right, int targetLeft, int targetRight) {
    int l = left, r = right;
    for (int i = 0; i < frames; ++i) {
        int cl, cr;
        if (!Ramp && l == r) {
            cl = cr = frameContribution<Bits16, Interpolate>(data, pos, l);
        } else {
            cl = frameContribution<Bits16, Interpolate>(data, pos, l);
            cr = frameContribution<Bits16, Interpolate>(data, pos, r);
        }
        out[0] = static_cast<int16_t>(saturate16(out[0] + cl));
        out[1] = static_cast<int16_t>(saturate16(out[1] + cr));
        out += 2;
        pos += step;
        if constexpr (Ramp) {
            if (i & 1) {
                l = towards(l, targetLeft);
                r = towards(r, targetRight);
            }
        }
    }
    if constexpr (Ramp) {
        if (frames & 1) {
            l = towards(l, targetLeft);
            r = towards(r, targetRight);
        }
    }
    left = l;
    right = r;
}

} // namespace kestrune
