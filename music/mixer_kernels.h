// The mixer's inner loops: one chunk of one voice added into the ring, chosen per chunk by
// sample width, interpolation and ramping so that no per-frame test remains.
#pragma once

#include <algorithm>
#include <cstdint>

namespace kestrune {

inline int saturate16(int v) {
    return std::clamp(v, -32768, 32767);
}

// The contributions of one sample frame at 16.16 position pos to the left and right sides with
// volumes l and r (0..255). 16-bit frames are interpolated before the volume is applied, 8-bit
// frames after (volume first, then the difference, as 16-bit lanes would do it).
template <bool Bits16, bool Interpolate>
inline void frameContributions(const void* data, int64_t pos, int l, int r, int& cl, int& cr) {
    const int index = static_cast<int>(pos >> 16);
    const int f = static_cast<int>(pos & 0xFFFF) >> 1;
    if constexpr (Bits16) {
        const int16_t* d = static_cast<const int16_t*>(data);
        int s = d[index];
        if constexpr (Interpolate) s += 2 * ((saturate16(d[index + 1] - s) * f) >> 16);
        cl = (s * l) >> 8;
        cr = (s * r) >> 8;
    } else {
        const int8_t* d = static_cast<const int8_t*>(data);
        const int s0 = d[index];
        if constexpr (Interpolate) {
            const int s1 = d[index + 1];
            const int al = s0 * l, ar = s0 * r;
            cl = al + 2 * ((saturate16(s1 * l - al) * f) >> 16);
            cr = ar + 2 * ((saturate16(s1 * r - ar) * f) >> 16);
        } else {
            cl = s0 * l;
            cr = s0 * r;
        }
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
        frameContributions<Bits16, Interpolate>(data, pos, l, r, cl, cr);
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
