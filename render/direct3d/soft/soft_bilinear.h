// The bilinear 5-6-5 filter and Gouraud modulation for eight pixels at once with SSE2, giving the
// same bits as the rasteriser's one-pixel formula. Targets without SSE2 (WebAssembly, ARM) use
// that formula alone: KESTRUNE_BILINEAR_SSE2 is not defined there.
#pragma once

#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define KESTRUNE_BILINEAR_SSE2 1
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define KESTRUNE_BILINEAR_AVX2 1 // built beside SSE2, for processors found to run it
#endif
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

// The low 16 bits of the eight 32-bit lanes of low and high, in order, in 16-bit lanes: each is
// sign-extended from its 16 bits first, so that the saturating pack keeps it.
[[gnu::always_inline]] inline __m128i packLow16(__m128i low, __m128i high) {
    return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(low, 16), 16),
                           _mm_srai_epi32(_mm_slli_epi32(high, 16), 16));
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

// The same from the start and step in lane Lane of two vectors, without leaving the vectors.
template <int Lane>
[[gnu::always_inline]] inline void steppedLanes(__m128i start, __m128i step, __m128i (&out)[2]) {
    constexpr int kAll = _MM_SHUFFLE(Lane, Lane, Lane, Lane);
    const __m128i step1 = _mm_shuffle_epi32(step, kAll), step2 = _mm_add_epi32(step1, step1);
    // 0, step, 2 x step, 3 x step: step in the odd lanes plus twice it in the high two.
    const __m128i multiples = _mm_add_epi32(_mm_and_si128(step1, _mm_setr_epi32(0, -1, 0, -1)),
                                            _mm_and_si128(step2, _mm_setr_epi32(0, 0, -1, -1)));
    out[0] = _mm_add_epi32(_mm_shuffle_epi32(start, kAll), multiples);
    out[1] = _mm_add_epi32(out[0], _mm_add_epi32(step2, step2));
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

// 0..255 channels in 16-bit lanes packed to 5-6-5, each channel's high bits.
[[gnu::always_inline]] inline __m128i pack565(__m128i r, __m128i g, __m128i b) {
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_srli_epi16(r, 3), 11),
                                     _mm_slli_epi16(_mm_srli_epi16(g, 2), 5)),
                        _mm_srli_epi16(b, 3));
}

} // namespace bilinear_detail

// The eight pixels filtered from their texels in 16-bit lanes and modulated by their colour:
// 0..255 channels, red, green and blue.
[[gnu::always_inline]] inline void filterChannels(const BilinearLanes& in, __m128i t00, __m128i t10,
                                                  __m128i t01, __m128i t11, __m128i (&result)[3]) {
    using namespace bilinear_detail;
    const __m128i full = _mm_set1_epi16(256);
    const __m128i wx = byteLanes<8>(in.u), wy = byteLanes<8>(in.v);
    const __m128i ax = _mm_sub_epi16(full, wx), ay = _mm_sub_epi16(full, wy);
    const Channels c00 = channels(t00), c10 = channels(t10);
    const Channels c01 = channels(t01), c11 = channels(t11);
    for (int c = 0; c < 3; ++c) {
        // Each row's sum is at most 255 x 256, so 16-bit lanes hold it.
        const __m128i h0 =
            _mm_add_epi16(_mm_mullo_epi16(c00.c[c], ax), _mm_mullo_epi16(c10.c[c], wx));
        const __m128i h1 =
            _mm_add_epi16(_mm_mullo_epi16(c01.c[c], ax), _mm_mullo_epi16(c11.c[c], wx));
        const __m128i texel = blendRows(h0, ay, h1, wy);
        result[c] = divide255(_mm_mullo_epi16(texel, byteLanes<16>(in.colour[c])));
    }
}

// The same packed to 5-6-5.
[[gnu::always_inline]] inline __m128i filterLanes(const BilinearLanes& in, __m128i t00, __m128i t10,
                                                  __m128i t01, __m128i t11) {
    __m128i result[3];
    filterChannels(in, t00, t10, t01, t11, result);
    return bilinear_detail::pack565(result[0], result[1], result[2]);
}

// Source channels over eight 5-6-5 pixels with the translucency of the inverse colour factors,
// s x (255 - s) + d x (255 - d), over 255: each product is at most 127 x 128, so the sum stays
// within 16-bit lanes and its quotient below 128, needing no clamp.
[[gnu::always_inline]] inline __m128i blendInverse(const __m128i (&source)[3],
                                                   __m128i destination) {
    using namespace bilinear_detail;
    const Channels d = channels(destination);
    const __m128i full = _mm_set1_epi16(255);
    __m128i out[3];
    for (int c = 0; c < 3; ++c) {
        const __m128i s = source[c];
        out[c] = divide255(_mm_add_epi16(_mm_mullo_epi16(s, _mm_sub_epi16(full, s)),
                                         _mm_mullo_epi16(d.c[c], _mm_sub_epi16(full, d.c[c]))));
    }
    return pack565(out[0], out[1], out[2]);
}

#ifdef KESTRUNE_BILINEAR_AVX2
// The filter in 256-bit registers, for processors with AVX2.
namespace bilinear_wide {

#define KESTRUNE_WIDE [[gnu::target("avx2"), gnu::always_inline]] inline

KESTRUNE_WIDE __m256i join(__m128i low, __m128i high) {
    return _mm256_set_m128i(high, low);
}
KESTRUNE_WIDE __m256i widen(__m256i c, int up, int down) {
    return _mm256_or_si256(_mm256_slli_epi16(c, up), _mm256_srli_epi16(c, down));
}
KESTRUNE_WIDE void channels(__m256i t, __m256i (&c)[3]) {
    c[0] = widen(_mm256_srli_epi16(t, 11), 3, 2);
    c[1] = widen(_mm256_and_si256(_mm256_srli_epi16(t, 5), _mm256_set1_epi16(63)), 2, 4);
    c[2] = widen(_mm256_and_si256(t, _mm256_set1_epi16(31)), 3, 2);
}
KESTRUNE_WIDE __m256i sum(__m256i p0, __m256i p1) {
    return _mm256_srli_epi32(_mm256_add_epi32(_mm256_add_epi32(p0, p1), _mm256_set1_epi32(32768)),
                             16);
}
// filterLanes() for one run, every pixel in a 32-bit lane, from each row's two texels (the left
// one in the low 16 bits): the row's blend is one multiply-add of the pair, the sums are taken
// whole as before, and so the bits are the same.
KESTRUNE_WIDE __m128i filterPairs(const BilinearLanes& in, const __m128i (&pairs)[2][2]) {
    const __m256i bytes = _mm256_set1_epi32(255), full = _mm256_set1_epi32(256);
    const __m256i wx = _mm256_and_si256(_mm256_srli_epi32(join(in.u[0], in.u[1]), 8), bytes);
    const __m256i wy = _mm256_and_si256(_mm256_srli_epi32(join(in.v[0], in.v[1]), 8), bytes);
    const __m256i xWeights = _mm256_or_si256(_mm256_sub_epi32(full, wx), _mm256_slli_epi32(wx, 16));
    const __m256i ay = _mm256_sub_epi32(full, wy);
    __m256i top[3], bottom[3];
    channels(join(pairs[0][0], pairs[0][1]), top);
    channels(join(pairs[1][0], pairs[1][1]), bottom);
    __m256i result[3];
    for (int i = 0; i < 3; ++i) {
        const __m256i h0 = _mm256_madd_epi16(top[i], xWeights);
        const __m256i h1 = _mm256_madd_epi16(bottom[i], xWeights);
        const __m256i texel = sum(_mm256_mullo_epi32(h0, ay), _mm256_mullo_epi32(h1, wy));
        const __m256i colour =
            _mm256_and_si256(_mm256_srli_epi32(join(in.colour[i][0], in.colour[i][1]), 16), bytes);
        // Below 2^16, the product and the division keep to each lane's low 16 bits.
        const __m256i lit = _mm256_mullo_epi16(texel, colour);
        result[i] = _mm256_srli_epi16(_mm256_mulhi_epu16(lit, _mm256_set1_epi16(short(0x8081))), 7);
    }
    const __m256i packed =
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(_mm256_srli_epi16(result[0], 3), 11),
                                        _mm256_slli_epi16(_mm256_srli_epi16(result[1], 2), 5)),
                        _mm256_srli_epi16(result[2], 3));
    return _mm_packus_epi32(_mm256_castsi256_si128(packed), _mm256_extracti128_si256(packed, 1));
}

#undef KESTRUNE_WIDE

} // namespace bilinear_wide

// The filter for two runs at once in 512-bit registers, for processors with AVX-512BW.
// GCC's AVX-512 intrinsics start some results from a deliberately undefined register, which its
// uninitialised-value warning reports where they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#ifndef __clang__
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
namespace bilinear_wider {

#define KESTRUNE_WIDER [[gnu::target("avx512bw"), gnu::always_inline]] inline

// Four quarters, the lowest first.
KESTRUNE_WIDER __m512i join(__m128i q0, __m128i q1, __m128i q2, __m128i q3) {
    return _mm512_inserti64x4(_mm512_castsi256_si512(_mm256_set_m128i(q1, q0)),
                              _mm256_set_m128i(q3, q2), 1);
}
KESTRUNE_WIDER __m512i joinRuns(const __m128i (&first)[2], const __m128i (&second)[2]) {
    return join(first[0], first[1], second[0], second[1]);
}
KESTRUNE_WIDER __m512i widen(__m512i c, int up, int down) {
    return _mm512_or_si512(_mm512_slli_epi16(c, up), _mm512_srli_epi16(c, down));
}
KESTRUNE_WIDER void channels(__m512i t, __m512i (&c)[3]) {
    c[0] = widen(_mm512_srli_epi16(t, 11), 3, 2);
    c[1] = widen(_mm512_and_si512(_mm512_srli_epi16(t, 5), _mm512_set1_epi16(63)), 2, 4);
    c[2] = widen(_mm512_and_si512(t, _mm512_set1_epi16(31)), 3, 2);
}
// bilinear_wide::filterPairs() for two runs, the first in the low half of every register: the
// same operations lane for lane, so the same bits.
KESTRUNE_WIDER void filterPairs(const BilinearLanes& in0, const __m128i (&pairs0)[2][2],
                                const BilinearLanes& in1, const __m128i (&pairs1)[2][2],
                                __m128i& out0, __m128i& out1) {
    const __m512i bytes = _mm512_set1_epi32(255), full = _mm512_set1_epi32(256);
    const __m512i wx = _mm512_and_si512(_mm512_srli_epi32(joinRuns(in0.u, in1.u), 8), bytes);
    const __m512i wy = _mm512_and_si512(_mm512_srli_epi32(joinRuns(in0.v, in1.v), 8), bytes);
    const __m512i xWeights = _mm512_or_si512(_mm512_sub_epi32(full, wx), _mm512_slli_epi32(wx, 16));
    const __m512i ay = _mm512_sub_epi32(full, wy);
    __m512i top[3], bottom[3];
    channels(joinRuns(pairs0[0], pairs1[0]), top);
    channels(joinRuns(pairs0[1], pairs1[1]), bottom);
    const __m512i half = _mm512_set1_epi32(32768);
    __m512i result[3];
    for (int i = 0; i < 3; ++i) {
        const __m512i h0 = _mm512_madd_epi16(top[i], xWeights);
        const __m512i h1 = _mm512_madd_epi16(bottom[i], xWeights);
        const __m512i texel = _mm512_srli_epi32(
            _mm512_add_epi32(
                _mm512_add_epi32(_mm512_mullo_epi32(h0, ay), _mm512_mullo_epi32(h1, wy)), half),
            16);
        const __m512i colour =
            _mm512_and_si512(_mm512_srli_epi32(joinRuns(in0.colour[i], in1.colour[i]), 16), bytes);
        const __m512i lit = _mm512_mullo_epi16(texel, colour);
        result[i] = _mm512_srli_epi16(_mm512_mulhi_epu16(lit, _mm512_set1_epi16(short(0x8081))), 7);
    }
    const __m512i packed =
        _mm512_or_si512(_mm512_or_si512(_mm512_slli_epi16(_mm512_srli_epi16(result[0], 3), 11),
                                        _mm512_slli_epi16(_mm512_srli_epi16(result[1], 2), 5)),
                        _mm512_srli_epi16(result[2], 3));
    // Every 32-bit lane holds a 16-bit pixel: the narrowing keeps it.
    const __m256i pixels = _mm512_cvtepi32_epi16(packed);
    out0 = _mm256_castsi256_si128(pixels);
    out1 = _mm256_extracti128_si256(pixels, 1);
}

#undef KESTRUNE_WIDER

} // namespace bilinear_wider
#pragma GCC diagnostic pop
#endif

// The batch's positions and colours in lanes.
[[gnu::always_inline]] inline BilinearLanes lanesOf(const BilinearBatch& in) {
    BilinearLanes lanes;
    bilinear_detail::steppedLanes(in.u, in.du, lanes.u);
    bilinear_detail::steppedLanes(in.v, in.dv, lanes.v);
    for (int c = 0; c < 3; ++c)
        bilinear_detail::steppedLanes(in.colour[c], in.colourStep[c], lanes.colour[c]);
    return lanes;
}

// The same channels from the texels gathered into the batch.
[[gnu::always_inline]] inline void filterBatch(const BilinearBatch& in, __m128i (&result)[3]) {
    using namespace bilinear_detail;
    filterChannels(lanesOf(in), load(in.texel[0]), load(in.texel[1]), load(in.texel[2]),
                   load(in.texel[3]), result);
}
#endif

} // namespace kestrune
