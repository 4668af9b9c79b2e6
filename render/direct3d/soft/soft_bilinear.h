// The bilinear 5-6-5 filter and Gouraud modulation for eight pixels at once with SSE2, giving the
// same bits as the rasteriser's one-pixel formula. Targets without SSE2 (WebAssembly, ARM) use
// that formula alone: KESTRUNE_BILINEAR_SSE2 is not defined there.
#pragma once

#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define KESTRUNE_BILINEAR_SSE2 1
#endif

namespace kestrune {

// What eight pixels of a run need: their texels, gathered lane by lane (lanes that are not drawn
// may hold anything), and the 16.16 texture position and colour at the run's start with their
// steps per pixel. Only the low 32 bits of a position matter: the weights are its bits 8..15.
struct BilinearBatch {
    alignas(16) uint16_t texel[4][8]; // 5-6-5 texels at (x0, y0), (x1, y0), (x0, y1), (x1, y1)
    uint32_t u = 0, v = 0, du = 0, dv = 0;
    uint32_t colour[3] = {}, colourStep[3] = {}; // 16.16, 0..255 on every pixel of the run
};

#ifdef KESTRUNE_BILINEAR_SSE2
// The same positions and colours of the eight pixels, lane by lane (modulo 2^32), four to a
// vector.
struct BilinearLanes {
    __m128i u[2], v[2];
    __m128i colour[3][2];
};

namespace bilinear_detail {

[[gnu::always_inline]] inline __m128i load(const uint16_t* lanes) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes));
}

// A 5-bit or 6-bit channel widened to 8 bits by repeating its high bits.
[[gnu::always_inline]] inline __m128i widen5(__m128i c) {
    return _mm_or_si128(_mm_slli_epi16(c, 3), _mm_srli_epi16(c, 2));
}
[[gnu::always_inline]] inline __m128i widen6(__m128i c) {
    return _mm_or_si128(_mm_slli_epi16(c, 2), _mm_srli_epi16(c, 4));
}

struct Channels {
    __m128i c[3];
};

[[gnu::always_inline]] inline Channels channels(__m128i t) {
    return {{widen5(_mm_srli_epi16(t, 11)),
             widen6(_mm_and_si128(_mm_srli_epi16(t, 5), _mm_set1_epi16(63))),
             widen5(_mm_and_si128(t, _mm_set1_epi16(31)))}};
}

// (h0 * a + h1 * w + 32768) >> 16 per lane, with h below 2^16 and a + w = 256: the products
// are taken whole in 32-bit lanes and the 0..255 results packed back.
[[gnu::always_inline]] inline __m128i blendRows(__m128i h0, __m128i a, __m128i h1, __m128i w) {
    const __m128i lo0 = _mm_mullo_epi16(h0, a), hi0 = _mm_mulhi_epu16(h0, a);
    const __m128i lo1 = _mm_mullo_epi16(h1, w), hi1 = _mm_mulhi_epu16(h1, w);
    const __m128i half = _mm_set1_epi32(32768);
    const __m128i low = _mm_srli_epi32(
        _mm_add_epi32(_mm_add_epi32(_mm_unpacklo_epi16(lo0, hi0), _mm_unpacklo_epi16(lo1, hi1)),
                      half),
        16);
    const __m128i high = _mm_srli_epi32(
        _mm_add_epi32(_mm_add_epi32(_mm_unpackhi_epi16(lo0, hi0), _mm_unpackhi_epi16(lo1, hi1)),
                      half),
        16);
    return _mm_packs_epi32(low, high);
}

// start + k x step for k = 0..7 modulo 2^32, four to a vector.
[[gnu::always_inline]] inline void steppedLanes(uint32_t start, uint32_t step, __m128i (&out)[2]) {
    out[0] = _mm_add_epi32(_mm_set1_epi32(int(start)),
                           _mm_set_epi32(int(step * 3), int(step * 2), int(step), 0));
    out[1] = _mm_add_epi32(out[0], _mm_set1_epi32(int(step * 4)));
}

// (x >> Shift) & 255 of eight 32-bit lanes, in 16-bit lanes.
template <int Shift> [[gnu::always_inline]] inline __m128i byteLanes(const __m128i (&x)[2]) {
    const __m128i bytes = _mm_set1_epi32(255);
    return _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(x[0], Shift), bytes),
                           _mm_and_si128(_mm_srli_epi32(x[1], Shift), bytes));
}

// x / 255 for x up to 65535: (x * 0x8081) >> 23.
[[gnu::always_inline]] inline __m128i divide255(__m128i x) {
    return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(short(0x8081))), 7);
}

} // namespace bilinear_detail

// The eight pixels filtered from their texels in 16-bit lanes, modulated by their colour and
// packed to 5-6-5.
[[gnu::always_inline]] inline __m128i filterLanes(const BilinearLanes& in, __m128i t00, __m128i t10,
                                                  __m128i t01, __m128i t11) {
    using namespace bilinear_detail;
    const __m128i full = _mm_set1_epi16(256);
    const __m128i wx = byteLanes<8>(in.u), wy = byteLanes<8>(in.v);
    const __m128i ax = _mm_sub_epi16(full, wx), ay = _mm_sub_epi16(full, wy);
    const Channels c00 = channels(t00), c10 = channels(t10);
    const Channels c01 = channels(t01), c11 = channels(t11);
    __m128i result[3];
    for (int c = 0; c < 3; ++c) {
        // Each row's sum is at most 255 x 256, so 16-bit lanes hold it.
        const __m128i h0 =
            _mm_add_epi16(_mm_mullo_epi16(c00.c[c], ax), _mm_mullo_epi16(c10.c[c], wx));
        const __m128i h1 =
            _mm_add_epi16(_mm_mullo_epi16(c01.c[c], ax), _mm_mullo_epi16(c11.c[c], wx));
        const __m128i texel = blendRows(h0, ay, h1, wy);
        result[c] = divide255(_mm_mullo_epi16(texel, byteLanes<16>(in.colour[c])));
    }
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_srli_epi16(result[0], 3), 11),
                                     _mm_slli_epi16(_mm_srli_epi16(result[1], 2), 5)),
                        _mm_srli_epi16(result[2], 3));
}

// The batch's positions and colours in lanes.
[[gnu::always_inline]] inline BilinearLanes lanesOf(const BilinearBatch& in) {
    BilinearLanes lanes;
    bilinear_detail::steppedLanes(in.u, in.du, lanes.u);
    bilinear_detail::steppedLanes(in.v, in.dv, lanes.v);
    for (int c = 0; c < 3; ++c)
        bilinear_detail::steppedLanes(in.colour[c], in.colourStep[c], lanes.colour[c]);
    return lanes;
}

// The same from the texels gathered into the batch.
[[gnu::always_inline]] inline __m128i filterBatch(const BilinearBatch& in) {
    using namespace bilinear_detail;
    return filterLanes(lanesOf(in), load(in.texel[0]), load(in.texel[1]), load(in.texel[2]),
                       load(in.texel[3]));
}
#endif

} // namespace kestrune
