// The mixer's inner loops: one chunk of one voice added into the ring, chosen per chunk by
// sample width, interpolation and ramping so that no per-frame test remains.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrune {

inline int saturate16(int v) {
    return std::clamp(v, -32768, 32767);
}

// The contributions of one sample frame at 16.16 position pos to the left and right sides with
// volumes l and r (0..255). 16-bit frames are interpolated before the volume is applied, 8-bit
// frames after (volume first, then the difference, as 16-bit lanes would do it). The difference
// is saturated to 16 bits, and so is an interpolated 16-bit frame.
template <bool Bits16, bool Interpolate>
inline void frameContributions(const void* data, int64_t pos, int l, int r, int& cl, int& cr) {
    const int index = static_cast<int>(pos >> 16);
    const int f = static_cast<int>(pos & 0xFFFF) >> 1;
    if constexpr (Bits16) {
        const int16_t* d = static_cast<const int16_t*>(data);
        int s = d[index];
        // The floor can step one unit past the next frame: kept within 16 bits like the lanes.
        if constexpr (Interpolate)
            s = saturate16(s + 2 * ((saturate16(d[index + 1] - s) * f) >> 16));
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
// after an odd last frame. This is the definition; the SSE2 kernel below must equal it.
// first > 0 continues a chunk whose first frames were added elsewhere: out and pos are then at
// frame first.
template <bool Bits16, bool Interpolate, bool Ramp>
void addChunkScalar(int16_t* out, int frames, const void* data, int64_t pos, int64_t step,
                    int& left, int& right, int targetLeft, int targetRight, int first = 0) {
    int l = left, r = right;
    for (int i = first; i < frames; ++i) {
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

#if defined(__SSE2__)
// Four frames a step in 16-bit lanes (left and right interleaved as in the ring). Each frame and
// its successor are fetched with one load; fractions, interpolation, volume and the saturating
// add are packed. Ramping voices change volume after every second frame, so a step holds two
// volume pairs.
template <bool Bits16, bool Interpolate, bool Ramp>
void addChunkSse2(int16_t* out, int frames, const void* data, int64_t pos, int64_t step, int& left,
                  int& right, int targetLeft, int targetRight) {
    int l = left, r = right;
    int i = 0;
    // Low 32 bits of the four positions: enough for their 16-bit fractions.
    const uint32_t lowPos = static_cast<uint32_t>(pos), lowStep = static_cast<uint32_t>(step);
    __m128i fractions = _mm_setr_epi32(static_cast<int>(lowPos), static_cast<int>(lowPos + lowStep),
                                       static_cast<int>(lowPos + 2 * lowStep),
                                       static_cast<int>(lowPos + 3 * lowStep));
    const __m128i fractionStep = _mm_set1_epi32(static_cast<int>(4 * lowStep));
    const __m128i fractionMask = _mm_set1_epi32(0xFFFF);
    __m128i volume =
        _mm_setr_epi16(static_cast<int16_t>(l), static_cast<int16_t>(r), static_cast<int16_t>(l),
                       static_cast<int16_t>(r), static_cast<int16_t>(l), static_cast<int16_t>(r),
                       static_cast<int16_t>(l), static_cast<int16_t>(r));
    for (; i + 4 <= frames; i += 4) {
        if constexpr (Ramp) {
            const int l2 = towards(l, targetLeft), r2 = towards(r, targetRight);
            volume = _mm_setr_epi16(static_cast<int16_t>(l), static_cast<int16_t>(r),
                                    static_cast<int16_t>(l), static_cast<int16_t>(r),
                                    static_cast<int16_t>(l2), static_cast<int16_t>(r2),
                                    static_cast<int16_t>(l2), static_cast<int16_t>(r2));
            l = towards(l2, targetLeft);
            r = towards(r2, targetRight);
        }
        // Frame k and k + 1 of each of the four positions, as one 32-bit word each.
        int32_t words[4];
        for (int k = 0; k < 4; ++k) {
            const int index = static_cast<int>((pos + k * step) >> 16);
            if constexpr (Bits16) {
                std::memcpy(&words[k], static_cast<const int16_t*>(data) + index, 4);
            } else {
                uint16_t pair;
                std::memcpy(&pair, static_cast<const int8_t*>(data) + index, 2);
                words[k] = pair;
            }
        }
        // Built in registers: a 16-byte load of the four words just stored would stall.
        const __m128i w = _mm_unpacklo_epi64(
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(words[0]), _mm_cvtsi32_si128(words[1])),
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(words[2]), _mm_cvtsi32_si128(words[3])));
        __m128i s0, s1; // 32-bit lanes
        if constexpr (Bits16) {
            s0 = _mm_srai_epi32(_mm_slli_epi32(w, 16), 16);
            s1 = _mm_srai_epi32(w, 16);
        } else {
            s0 = _mm_srai_epi32(_mm_slli_epi32(w, 24), 24);
            s1 = _mm_srai_epi32(_mm_slli_epi32(w, 16), 24);
        }
        // [a0, a0, a1, a1, a2, a2, a3, a3]: each frame's value for its left and right lanes.
        const __m128i a = _mm_unpacklo_epi16(_mm_packs_epi32(s0, s0), _mm_packs_epi32(s0, s0));
        __m128i f = _mm_setzero_si128();
        if constexpr (Interpolate) {
            const __m128i f32 = _mm_srli_epi32(_mm_and_si128(fractions, fractionMask), 1);
            const __m128i f16 = _mm_packs_epi32(f32, f32);
            f = _mm_unpacklo_epi16(f16, f16);
        }
        __m128i contribution;
        if constexpr (Bits16) {
            __m128i s = a;
            if constexpr (Interpolate) {
                const __m128i b =
                    _mm_unpacklo_epi16(_mm_packs_epi32(s1, s1), _mm_packs_epi32(s1, s1));
                s = _mm_adds_epi16(a, _mm_slli_epi16(_mm_mulhi_epi16(_mm_subs_epi16(b, a), f), 1));
            }
            const __m128i lo = _mm_mullo_epi16(s, volume), hi = _mm_mulhi_epi16(s, volume);
            contribution = _mm_packs_epi32(_mm_srai_epi32(_mm_unpacklo_epi16(lo, hi), 8),
                                           _mm_srai_epi32(_mm_unpackhi_epi16(lo, hi), 8));
        } else {
            contribution = _mm_mullo_epi16(a, volume);
            if constexpr (Interpolate) {
                const __m128i b = _mm_mullo_epi16(
                    _mm_unpacklo_epi16(_mm_packs_epi32(s1, s1), _mm_packs_epi32(s1, s1)), volume);
                contribution = _mm_add_epi16(
                    contribution,
                    _mm_slli_epi16(_mm_mulhi_epi16(_mm_subs_epi16(b, contribution), f), 1));
            }
        }
        __m128i* ring = reinterpret_cast<__m128i*>(out + 2 * i);
        _mm_storeu_si128(ring, _mm_adds_epi16(_mm_loadu_si128(ring), contribution));
        pos += 4 * step;
        if constexpr (Interpolate) fractions = _mm_add_epi32(fractions, fractionStep);
    }
    // The last frames, with the ramp's frame count continuing from i.
    addChunkScalar<Bits16, Interpolate, Ramp>(out + 2 * i, frames, data, pos, step, l, r,
                                              targetLeft, targetRight, i);
    left = l;
    right = r;
}
#endif

// The kernel the mixer uses.
template <bool Bits16, bool Interpolate, bool Ramp>
void addChunk(int16_t* out, int frames, const void* data, int64_t pos, int64_t step, int& left,
              int& right, int targetLeft, int targetRight) {
#if defined(__SSE2__)
    addChunkSse2<Bits16, Interpolate, Ramp>(out, frames, data, pos, step, left, right, targetLeft,
                                            targetRight);
#else
    addChunkScalar<Bits16, Interpolate, Ramp>(out, frames, data, pos, step, left, right, targetLeft,
                                              targetRight);
#endif
}

} // namespace kestrune
