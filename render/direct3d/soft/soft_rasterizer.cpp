// Scanline rasterisation of points, lines and triangles with Gouraud or flat colour, perspective-
// correct wrapped texturing, depth test with bias, and blending, onto a 5-6-5 target.
#include "render/direct3d/soft/soft_rasterizer.h"

#include "render/direct3d/soft/soft_bilinear.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace kestrune {

namespace {

// Pixel centres sit on integer coordinates, as on the platform: a vertex at (2.0, 3.0) lands on
// pixel (2, 3), and a triangle covers the pixels whose centres lie inside it (top-left rule).

// Homogeneous position and the attributes that are interpolated with it.
struct ClipVertex {
    float x, y, z, w;
    float u, v;
    float r, g, b; // 0..255
};

#ifdef KESTRUNE_BILINEAR_AVX2
// Whether the processor runs AVX2, asked once when the program starts.
#define KESTRUNE_RASTER_AVX2 1
// The widest instructions the rasteriser uses: those the processor runs, or fewer where the
// environment variable KESTRUNE_RASTER_SIMD names "sse2" or "avx2", decided once when the
// program starts. Every choice gives the same pixels.
enum SimdLevel { kSimdSse2, kSimdAvx2, kSimdAvx512 };
SimdLevel simdLevel() {
    SimdLevel level = kSimdSse2;
    if (__builtin_cpu_supports("avx2")) level = kSimdAvx2;
    if (level == kSimdAvx2 && __builtin_cpu_supports("avx512f") &&
        __builtin_cpu_supports("avx512bw"))
        level = kSimdAvx512;
    const char* asked = std::getenv("KESTRUNE_RASTER_SIMD");
    if (asked && std::strcmp(asked, "sse2") == 0) return kSimdSse2;
    if (asked && std::strcmp(asked, "avx2") == 0) return std::min(level, kSimdAvx2);
    return level;
}
const SimdLevel kSimd = simdLevel();
const bool kAvx2 = kSimd >= kSimdAvx2;
const bool kAvx512 = kSimd >= kSimdAvx512;
#endif

// Attributes in screen space, in the order the span loops step them.
enum Attribute { AttrZ, AttrRhw, AttrU, AttrV, AttrR, AttrG, AttrB, kAttributeCount };
static_assert(kAttributeCount == kRasterAttributes);

struct ScreenVertex {
    float x, y;               // pixels
    float a[kAttributeCount]; // z 0..1, 1/w, u/w and v/w (u and v when affine), colour 0..255
};

constexpr int kMaxClipVertices = 9; // a triangle cut by three planes

ClipVertex transformVertex(const Matrix4& m, const LitVertex& v) {
    ClipVertex c;
    c.x = v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + m.m[3][0];
    c.y = v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + m.m[3][1];
    c.z = v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + m.m[3][2];
    c.w = v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + m.m[3][3];
    c.u = v.u;
    c.v = v.v;
    c.r = float((v.diffuse >> 16) & 255);
    c.g = float((v.diffuse >> 8) & 255);
    c.b = float(v.diffuse & 255);
    return c;
}

ClipVertex lerp(const ClipVertex& a, const ClipVertex& b, float t) {
    auto mix = [t](float p, float q) { return p + (q - p) * t; };
    return {mix(a.x, b.x), mix(a.y, b.y), mix(a.z, b.z), mix(a.w, b.w), mix(a.u, b.u),
            mix(a.v, b.v), mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)};
}

// Signed distances to the planes that bound depth: the near plane (z / w = minZ), the far plane
// (z / w = maxZ) and w > 0. Left, right, top and bottom are handled by the scissor instead.
constexpr float kMinW = 1e-5f;
float planeDistance(const ClipVertex& v, int plane, const Viewport2& vp) {
    if (plane == 0) return v.z - vp.minZ * v.w;
    if (plane == 1) return vp.maxZ * v.w - v.z;
    return v.w - kMinW;
}

// Sutherland-Hodgman against the three depth planes; returns the vertex count left.
int clipPolygon(ClipVertex* poly, int count, const Viewport2& vp) {
    ClipVertex buffer[kMaxClipVertices];
    for (int plane = 0; plane < 3 && count > 0; ++plane) {
        bool allInside = true;
        for (int i = 0; i < count; ++i)
            if (planeDistance(poly[i], plane, vp) < 0) allInside = false;
        if (allInside) continue;
        int out = 0;
        for (int i = 0; i < count; ++i) {
            const ClipVertex& a = poly[i];
            const ClipVertex& b = poly[(i + 1) % count];
            float da = planeDistance(a, plane, vp), db = planeDistance(b, plane, vp);
            if (da >= 0) buffer[out++] = a;
            if ((da >= 0) != (db >= 0) && out < kMaxClipVertices)
                buffer[out++] = lerp(a, b, da / (da - db));
        }
        count = out;
        std::copy(buffer, buffer + count, poly);
    }
    return count;
}

// Perspective-correct texturing interpolates u/w and v/w; the affine mapping u and v themselves.
ScreenVertex project(const ClipVertex& c, const Viewport2& vp, bool perspective) {
    ScreenVertex s;
    float rhw = 1.0f / c.w;
    float nx = c.x * rhw, ny = c.y * rhw, nz = c.z * rhw;
    s.x = float(vp.x) + (nx - vp.clipX) / vp.clipWidth * float(vp.width);
    s.y = float(vp.y) + (vp.clipY - ny) / vp.clipHeight * float(vp.height);
    float range = vp.maxZ - vp.minZ;
    s.a[AttrZ] = range != 0 ? (nz - vp.minZ) / range : 0;
    s.a[AttrRhw] = rhw;
    s.a[AttrU] = perspective ? c.u * rhw : c.u;
    s.a[AttrV] = perspective ? c.v * rhw : c.v;
    s.a[AttrR] = c.r;
    s.a[AttrG] = c.g;
    s.a[AttrB] = c.b;
    return s;
}

// Channel values of 1 to 8 bits widened to 8 bits by repeating their high bits.
struct ExpandTable {
    uint8_t table[9][256] = {};
    constexpr ExpandTable() {
        for (uint32_t bits = 1; bits <= 8; ++bits)
            for (uint32_t v = 0; v < (1u << bits); ++v) {
                uint32_t e = v << (8 - bits);
                for (uint32_t s = bits; s < 8; s += bits) e |= e >> bits;
                table[bits][v] = uint8_t(e & 255);
            }
    }
};
constexpr ExpandTable kExpand;

// A 5-6-5 pixel widened to 8-bit channels in three 16-bit lanes of one word (red in the lowest,
// then green, then blue), from its low and high bytes: low[p & 255] | high[p >> 8]. The lanes
// let the first step of the bilinear filter weight all three channels with one multiply.
struct WideTable {
    uint64_t low[256] = {};
    uint64_t high[256] = {};
    constexpr WideTable() {
        for (uint32_t v = 0; v < 256; ++v) {
            const uint32_t b5 = v & 31, gLow = v >> 5; // the low byte: blue, green's low bits
            low[v] = (uint64_t(gLow << 2) << 16) | (uint64_t((b5 << 3) | (b5 >> 2)) << 32);
            const uint32_t r5 = v >> 3, gHigh = v & 7; // the high byte: red, green's high bits
            high[v] =
                uint64_t((r5 << 3) | (r5 >> 2)) | (uint64_t((gHigh << 5) | (gHigh >> 1)) << 16);
        }
    }
};
constexpr WideTable kWide;

inline uint64_t wide565(uint16_t p) {
    return kWide.low[p & 255] | kWide.high[p >> 8];
}
inline uint64_t wide565(const uint8_t* at) {
    return kWide.low[at[0]] | kWide.high[at[1]];
}

// floor without a library call or a branch. Values beyond +-2^30 are held there (NaN goes to
// the low end), so the conversion stays defined; texture coordinates that far out have no
// meaningful texel anyway.
inline int floorToInt(float x) {
    x = x > -1073741824.0f ? x : -1073741824.0f; // written so that NaN takes the bound
    x = x < 1073741824.0f ? x : 1073741824.0f;
    const int i = int(x);
    return i - int(float(i) > x);
}

// ceil, clamped to +-10^9 so that far-off edges still order correctly.
inline int ceilToInt(float x) {
    return -floorToInt(-std::clamp(x, -1e9f, 1e9f));
}

// 0..255 from an interpolated colour, without a branch; NaN (from a degenerate setup) gives 0.
inline uint32_t toChannel(float c) {
    c = c > 0.0f ? c : 0.0f;
    c = c < 255.0f ? c : 255.0f;
    return uint32_t(c);
}

// Rounds half away from zero as std::llround does, without the library call. Held within int64_t;
// for |x| below 2^53 the fraction x - trunc(x) is exact, above it x is whole.
inline int64_t roundToInt64(double x) {
    x = x > -9.2e18 ? x : -9.2e18;
    x = x < 9.2e18 ? x : 9.2e18;
    const int64_t i = int64_t(x);
    const double fraction = x - double(i);
    return i + int64_t(fraction >= 0.5) - int64_t(fraction <= -0.5);
}

inline int wrapIndex(int i, int n) {
    if (unsigned(i) < unsigned(n)) return i; // the common case: no division
    if ((n & (n - 1)) == 0) return i & (n - 1);
    i %= n;
    return i < 0 ? i + n : i;
}

// The index after a wrapped one.
inline int nextIndex(int i, int n) {
    return i + 1 < n ? i + 1 : 0;
}

// How a primitive blends. One / zero leaves the source as it is, the same as no blending; the
// inverse colour pair is the translucency the backend sets; anything else goes through factor().
enum BlendMode { kBlendOff, kBlendInverse, kBlendAny };

// How a primitive samples its texture: none, the two filters on 5-6-5 texels, or any layout with
// the filter looked up per pixel.
enum TextureMode { kTexNone, kTexPoint565, kTexLinear565, kTexAny };

// Everything per pixel: texture, modulation, depth, blend, write.
struct PixelPipeline {
    const RasterTarget& target;
    const RasterState& state;
    int clipLeft, clipTop, clipRight, clipBottom; // scissor: viewport within the target
    RasterRows rows;                              // the rows this thread draws
    bool linear = false;                          // the filter this primitive samples with
    bool flat = false;
    bool texture565 = false;     // the texture is 16-bit 5-6-5, read without the general layout
    bool texture565Pow2 = false; // and its sides are powers of two
    uint32_t flatChannels[3] = {0, 0, 0};
    int blendMode = 0; // kBlendOff, kBlendInverse or kBlendAny, from the blend states
    // 1 / the texture's sides when powers of two, else 0.
    double inverseWidth = 0, inverseHeight = 0;
    // log2 of the texture's pitch when a power of two and its sides fit 16 bits, else -1.
    int pitchShift = -1;

    void fetch(int x, int y, uint32_t out[3]) const {
        const RasterTexture& t = *state.texture;
        const uint8_t* p =
            t.pixels + std::ptrdiff_t(y) * t.pitch + std::ptrdiff_t(x) * t.bytesPerPixel;
        uint32_t value = t.bytesPerPixel == 2
                             ? uint32_t(p[0] | (p[1] << 8))
                             : uint32_t(p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24));
        for (int c = 0; c < 3; ++c) {
            const uint32_t bits = t.bits[c];
            out[c] = kExpand.table[bits][(value >> t.shift[c]) & ((1u << bits) - 1)];
        }
    }

    static bool is565(const RasterTexture& t) {
        return t.bytesPerPixel == 2 && t.shift[0] == 11 && t.shift[1] == 5 && t.shift[2] == 0 &&
               t.bits[0] == 5 && t.bits[1] == 6 && t.bits[2] == 5;
    }

    // fu, fv: the texel position in 16.16 fixed point, less half a texel when filtering.
    // Texture: the sampling the caller chose for the primitive; kTexAny decides per pixel.
    template <int Texture>
    [[gnu::always_inline]] inline void sample(int64_t fu, int64_t fv, uint32_t out[3]) const {
        const RasterTexture& t = *state.texture;
        const int ix = int(fu >> 16), iy = int(fv >> 16);
        const bool filtered = Texture == kTexAny ? linear : Texture == kTexLinear565;
        const bool texture565Here = Texture == kTexAny ? texture565 : true;
        // The 5-6-5 modes are chosen only for power-of-two sizes, which wrap with a mask.
        const auto wrap = [](int i, int n) {
            return Texture == kTexAny ? wrapIndex(i, n) : i & (n - 1);
        };
        const auto next = [](int i, int n) {
            return Texture == kTexAny ? nextIndex(i, n) : (i + 1) & (n - 1);
        };
        if (!filtered) {
            const int x = wrap(ix, t.width), y = wrap(iy, t.height);
            if (texture565Here) {
                const uint64_t c = wide565(t.pixels + std::ptrdiff_t(y) * t.pitch + x * 2);
                out[0] = uint32_t(c) & 255;
                out[1] = uint32_t(c >> 16) & 255;
                out[2] = uint32_t(c >> 32) & 255;
            } else {
                fetch(x, y, out);
            }
            return;
        }
        // Weights in 1/256ths.
        const uint32_t wx = uint32_t(fu >> 8) & 255, wy = uint32_t(fv >> 8) & 255;
        const int x0 = wrap(ix, t.width), x1 = next(x0, t.width);
        const int y0 = wrap(iy, t.height), y1 = next(y0, t.height);
        const uint32_t ax = 256 - wx, ay = 256 - wy;
        if (texture565Here) {
            // Rows weighted in 16-bit lanes (at most 255 x 256 each, so no lane carries into the
            // next), then columns with red and blue in 32-bit lanes (below 2^24) and green alone:
            // the same sums as the per-channel formula below.
            const uint8_t* row0 = t.pixels + std::ptrdiff_t(y0) * t.pitch;
            const uint8_t* row1 = t.pixels + std::ptrdiff_t(y1) * t.pitch;
            const uint64_t h0 = wide565(row0 + x0 * 2) * ax + wide565(row0 + x1 * 2) * wx;
            const uint64_t h1 = wide565(row1 + x0 * 2) * ax + wide565(row1 + x1 * 2) * wx;
            constexpr uint64_t kRedBlue = 0x0000FFFF0000FFFFull;
            const uint64_t rb = (h0 & kRedBlue) * ay + (h1 & kRedBlue) * wy + 0x0000800000008000ull;
            out[0] = uint32_t(rb >> 16) & 255;
            out[2] = uint32_t(rb >> 48) & 255;
            out[1] =
                (uint32_t(h0 >> 16 & 0xFFFF) * ay + uint32_t(h1 >> 16 & 0xFFFF) * wy + 32768) >> 16;
            return;
        }
        const Texel c00 = fetchTexel(x0, y0), c10 = fetchTexel(x1, y0);
        const Texel c01 = fetchTexel(x0, y1), c11 = fetchTexel(x1, y1);
        // Each channel on its own line: kept in registers rather than stepped through arrays.
        out[0] = ((c00.r * ax + c10.r * wx) * ay + (c01.r * ax + c11.r * wx) * wy + 32768) >> 16;
        out[1] = ((c00.g * ax + c10.g * wx) * ay + (c01.g * ax + c11.g * wx) * wy + 32768) >> 16;
        out[2] = ((c00.b * ax + c10.b * wx) * ay + (c01.b * ax + c11.b * wx) * wy + 32768) >> 16;
    }

    struct Texel {
        uint32_t r, g, b;
    };

    Texel fetchTexel(int x, int y) const {
        uint32_t c[3];
        fetch(x, y, c);
        return {c[0], c[1], c[2]};
    }

    bool depthPasses(uint32_t z, uint32_t stored) const {
        switch (state.depthFunction) {
        case D3DCMP_NEVER:
            return false;
        case D3DCMP_LESS:
            return z < stored;
        case D3DCMP_EQUAL:
            return z == stored;
        case D3DCMP_LESSEQUAL:
            return z <= stored;
        case D3DCMP_GREATER:
            return z > stored;
        case D3DCMP_NOTEQUAL:
            return z != stored;
        case D3DCMP_GREATEREQUAL:
            return z >= stored;
        default:
            return true;
        }
    }

    // Blend factor for one channel; the vertices carry no alpha (0) and the target has none (255).
    static uint32_t factor(uint32_t mode, uint32_t s, uint32_t d) {
        switch (mode) {
        case D3DBLEND_ZERO:
            return 0;
        case D3DBLEND_SRCCOLOR:
            return s;
        case D3DBLEND_INVSRCCOLOR:
            return 255 - s;
        case D3DBLEND_SRCALPHA:
            return 0;
        case D3DBLEND_INVSRCALPHA:
            return 255;
        case D3DBLEND_DESTALPHA:
            return 255;
        case D3DBLEND_INVDESTALPHA:
            return 0;
        case D3DBLEND_DESTCOLOR:
            return d;
        case D3DBLEND_INVDESTCOLOR:
            return 255 - d;
        default:
            return 255; // D3DBLEND_ONE
        }
    }

    // One pixel at (x, y) of the target with interpolated attributes a (screen space). The
    // template flags take the per-primitive decisions out of the pixel loop.
    // Interpolated attributes held in registers while a span is stepped.
    struct Pixel {
        float z, rhw, u, v, r, g, b;
    };

    // The pixel's depth from its interpolated z, less the bias, and whether it passes the test.
    [[gnu::always_inline]] inline bool depthTest(float az, uint32_t stored, uint32_t& z) const {
        const float zf = az * 65535.0f + 0.5f;
        z = zf > 0 ? (zf < 65535.0f ? uint32_t(zf) : 65535u) : 0u;
        z = z > state.depthBias ? z - state.depthBias : 0;
        if (state.depthFunction == D3DCMP_LESSEQUAL) return z <= stored;
        return depthPasses(z, stored);
    }

    template <bool Depth, int Texture, int Blend, bool Clamp>
    [[gnu::always_inline]] inline void plotWith(uint16_t* cell, uint16_t* depthCell, const Pixel& a,
                                                int64_t fu, int64_t fv,
                                                const int64_t* colour) const {
        uint32_t z = 0;
        if constexpr (Depth)
            if (!depthTest(a.z, *depthCell, z)) return;
        uint32_t r, g, b;
        if constexpr (Clamp) {
            r = fixedChannel(colour[0]);
            g = fixedChannel(colour[1]);
            b = fixedChannel(colour[2]);
        } else {
            r = uint32_t(colour[0] >> 16);
            g = uint32_t(colour[1] >> 16);
            b = uint32_t(colour[2] >> 16);
        }
        if constexpr (Texture != kTexNone) {
            uint32_t texel[3];
            sample<Texture>(fu, fv, texel);
            r = texel[0] * r / 255;
            g = texel[1] * g / 255;
            b = texel[2] * b / 255;
        }
        if constexpr (Blend != kBlendOff) {
            const uint64_t dst = wide565(*cell);
            auto mix = [&](uint32_t s, uint32_t d) {
                uint32_t sum;
                if constexpr (Blend == kBlendInverse)
                    sum = s * (255 - s) + d * (255 - d);
                else
                    sum = s * factor(state.sourceBlend, s, d) +
                          d * factor(state.destinationBlend, s, d);
                return std::min(sum / 255, 255u);
            };
            r = mix(r, uint32_t(dst) & 255);
            g = mix(g, uint32_t(dst >> 16) & 255);
            b = mix(b, uint32_t(dst >> 32) & 255);
        }
        *cell = packRgb565(r, g, b);
        if constexpr (Depth)
            if (state.depthWrite) *depthCell = uint16_t(z);
    }

    template <bool Depth, int Texture, int Blend>
    void spanWith(int y, int xStart, int xEnd, const float* start, const float* dx) const {
        Pixel a{start[AttrZ], start[AttrRhw], start[AttrU], start[AttrV],
                start[AttrR], start[AttrG],   start[AttrB]};
        const Pixel d{dx[AttrZ], dx[AttrRhw], dx[AttrU], dx[AttrV],
                      dx[AttrR], dx[AttrG],   dx[AttrB]};
        uint16_t* cell = target.color + std::ptrdiff_t(y) * target.colorPitch + xStart;
        uint16_t* depthCell =
            Depth ? target.depth + std::ptrdiff_t(y) * target.depthPitch + xStart : nullptr;
        // Gouraud colour in 16.16, stepped without conversions; steps are held to what a span
        // of any length can add up without overflow.
        int64_t colour[3] = {toFixed(a.r), toFixed(a.g), toFixed(a.b)};
        int64_t colourStep[3] = {toFixed(d.r), toFixed(d.g), toFixed(d.b)};
        if (flat) {
            for (int c = 0; c < 3; ++c) {
                colour[c] = int64_t(flatChannels[c]) << 16;
                colourStep[c] = 0;
            }
        }
        // The colour is linear along the span: when both ends lie within 0..255 so does every
        // pixel, and the loop takes them without clamping.
        bool clamp = false;
        for (int c = 0; c < 3; ++c) {
            const int64_t last = colour[c] + colourStep[c] * (xEnd - xStart - 1);
            constexpr int64_t kTop = int64_t(256) << 16;
            if (colour[c] < 0 || colour[c] >= kTop || last < 0 || last >= kTop) clamp = true;
        }
        if (clamp)
            pixels<Depth, Texture, Blend, true>(xStart, xEnd, a, d, cell, depthCell, colour,
                                                colourStep);
#ifdef KESTRUNE_BILINEAR_SSE2
        else if constexpr (Texture == kTexLinear565 && Blend != kBlendAny)
            pixelsBatched<Depth, Blend>(xStart, xEnd, a, d, cell, depthCell, colour, colourStep);
        else if constexpr (Texture == kTexNone && Blend == kBlendOff)
            pixelsPlain<Depth>(xStart, xEnd, a, d, cell, depthCell, colour, colourStep);
#endif
        else
            pixels<Depth, Texture, Blend, false>(xStart, xEnd, a, d, cell, depthCell, colour,
                                                 colourStep);
    }

    template <bool Depth, int Texture, int Blend, bool Clamp>
    void pixels(int xStart, int xEnd, Pixel a, const Pixel d, uint16_t* cell, uint16_t* depthCell,
                const int64_t* colourStart, const int64_t* step) const {
        int64_t colour[3] = {colourStart[0], colourStart[1], colourStart[2]};
        const int64_t colourStep[3] = {step[0], step[1], step[2]};
        // Texture coordinates: exact (divided by w) at the start of every run of kRun pixels,
        // stepped linearly within it in 16.16 texels, so the division and the conversions are
        // paid once per run.
        int64_t fu = 0, fv = 0, dfu = 0, dfv = 0;
        int runLeft = 0;
        for (int x = xStart; x < xEnd; ++x) {
            if (Texture != kTexNone && runLeft == 0) {
                runLeft = std::min(kRun, xEnd - x);
                startRun(a, d, runLeft, fu, dfu, fv, dfv);
            }
            plotWith<Depth, Texture, Blend, Clamp>(cell, depthCell, a, fu, fv, colour);
            ++cell;
            if constexpr (Depth) ++depthCell;
            a.z += d.z;
            a.rhw += d.rhw;
            a.u += d.u;
            a.v += d.v;
            colour[0] += colourStep[0];
            colour[1] += colourStep[1];
            colour[2] += colourStep[2];
            fu += dfu;
            fv += dfv;
            --runLeft;
        }
    }

    // The texture position at the start of a run of n pixels and its step, from the exact
    // coordinates at both ends.
    [[gnu::always_inline]] inline void startRun(const Pixel& a, const Pixel& d, int n, int64_t& fu,
                                                int64_t& dfu, int64_t& fv, int64_t& dfv) const {
        const float pixels = float(n);
        float u0 = a.u, v0 = a.v, u1 = a.u + d.u * pixels, v1 = a.v + d.v * pixels;
        if (state.perspective) {
            const float w0 = 1.0f / a.rhw, w1 = 1.0f / (a.rhw + d.rhw * pixels);
            u0 *= w0;
            v0 *= w0;
            u1 *= w1;
            v1 *= w1;
        }
        runStart(u0, u1, state.texture->width, inverseWidth, n, fu, dfu);
        runStart(v0, v1, state.texture->height, inverseHeight, n, fv, dfv);
    }

#ifdef KESTRUNE_BILINEAR_SSE2
    // pixels() for bilinear 5-6-5 texturing without clamping, opaque or translucent (Blend), a
    // run at a time: the run's depths are tested and its texels, weights and colour gathered,
    // then its drawn pixels are filtered together.
    template <bool Depth, int Blend>
    void pixelsBatched(int xStart, int xEnd, Pixel a, const Pixel d, uint16_t* cell,
                       uint16_t* depthCell, const int64_t* colourStart, const int64_t* step) const {
#ifdef KESTRUNE_RASTER_AVX2
        if (kAvx2) {
            pixelsBatchedAvx2<Depth, Blend>(xStart, xEnd, a, d, cell, depthCell, colourStart, step);
            return;
        }
#endif
        pixelsBatchedWith<Depth, false, Blend>(xStart, xEnd, a, d, cell, depthCell, colourStart,
                                               step);
    }

    // With AVX2, runs wait to be filtered this many at a time: one call to the AVX2 filter
    // for several runs costs less than one each.
    static constexpr int kWaiting = 4;

    // A whole run's texels, the lanes of its pixels, which of them are drawn (all ones), and
    // where it goes.
    struct TexelRun {
        __m128i pairs[2][2]; // each pixel's two texels of the top and the bottom row, four pixels
                             // to a vector, the left texel in the low 16 bits
        __m128i mask;
        BilinearLanes lanes;
        uint16_t* cell;
    };

    [[gnu::always_inline]] static inline void storeRun(uint16_t* cell, __m128i mask,
                                                       __m128i drawn) {
        __m128i* out = reinterpret_cast<__m128i*>(cell);
        if (_mm_movemask_epi8(mask) != 0xFFFF)
            _mm_storeu_si128(out, _mm_or_si128(_mm_and_si128(mask, drawn),
                                               _mm_andnot_si128(mask, _mm_loadu_si128(out))));
        else
            _mm_storeu_si128(out, drawn);
    }

    // The run's pixels filtered, over the target's when translucent, and stored.
    template <int Blend> [[gnu::always_inline]] static inline void filterRun(const TexelRun& run) {
        __m128i t[4];
        for (int row = 0; row < 2; ++row) {
            const __m128i(&pairs)[2] = run.pairs[row];
            t[2 * row] = bilinear_detail::packLow16(pairs[0], pairs[1]);
            t[2 * row + 1] =
                _mm_packs_epi32(_mm_srai_epi32(pairs[0], 16), _mm_srai_epi32(pairs[1], 16));
        }
        if constexpr (Blend == kBlendInverse) {
            __m128i source[3];
            filterChannels(run.lanes, t[0], t[1], t[2], t[3], source);
            const __m128i* cells = reinterpret_cast<const __m128i*>(run.cell);
            storeRun(run.cell, run.mask, blendInverse(source, _mm_loadu_si128(cells)));
        } else {
            storeRun(run.cell, run.mask, filterLanes(run.lanes, t[0], t[1], t[2], t[3]));
        }
    }

#ifdef KESTRUNE_RASTER_AVX2
    // The same instructions in their three-operand AVX encodings, which save the copies that
    // SSE2's two-operand forms need, and the opaque filter in 256-bit registers; the arithmetic,
    // and so every bit, is the same.
    template <bool Depth, int Blend>
    [[gnu::target("avx2")]] void
    pixelsBatchedAvx2(int xStart, int xEnd, Pixel a, const Pixel d, uint16_t* cell,
                      uint16_t* depthCell, const int64_t* colourStart, const int64_t* step) const {
        pixelsBatchedWith<Depth, Blend == kBlendOff, Blend>(xStart, xEnd, a, d, cell, depthCell,
                                                            colourStart, step);
    }

    [[gnu::target("avx2")]] static void filterRuns(const TexelRun (&runs)[kWaiting]) {
        for (const TexelRun& run : runs)
            storeRun(run.cell, run.mask, bilinear_wide::filterPairs(run.lanes, run.pairs));
    }

    // The same two runs at a time, with AVX-512.
    [[gnu::target("avx512bw")]] static void filterRunsAvx512(const TexelRun (&runs)[kWaiting]) {
        static_assert(kWaiting % 2 == 0, "runs are filtered in pairs");
        for (int k = 0; k < kWaiting; k += 2) {
            __m128i first, second;
            bilinear_wider::filterPairs(runs[k].lanes, runs[k].pairs, runs[k + 1].lanes,
                                        runs[k + 1].pairs, first, second);
            storeRun(runs[k].cell, runs[k].mask, first);
            storeRun(runs[k + 1].cell, runs[k + 1].mask, second);
        }
    }
#endif

    // Wide: runs are filtered kWaiting at a time by filterRuns(); the span's last few, and every
    // run otherwise, by filterRun().
    template <bool Depth, bool Wide, int Blend>
    [[gnu::always_inline]] inline void
    pixelsBatchedWith(int xStart, int xEnd, Pixel a, const Pixel d, uint16_t* cell,
                      uint16_t* depthCell, const int64_t* colourStart, const int64_t* step) const {
        static_assert(kRun == 8, "a batch holds one run");
        // Within the span every colour lies in 0..255, so its 32 low bits step it exactly.
        int64_t colour[3] = {colourStart[0], colourStart[1], colourStart[2]};
        BilinearBatch batch;
        BilinearLanes lanes;
        __m128i runColourStep[3];
        for (int c = 0; c < 3; ++c) {
            batch.colourStep[c] = uint32_t(step[c]);
            bilinear_detail::steppedLanes(uint32_t(colour[c]), batch.colourStep[c],
                                          lanes.colour[c]);
            runColourStep[c] = _mm_set1_epi32(int(batch.colourStep[c] * kRun));
        }
        // z, 1/w, u and v in the lanes of one vector, stepped by adding their steps: each lane
        // adds exactly as the one-pixel loop's floats do.
        __m128 at = _mm_setr_ps(a.z, a.rhw, a.u, a.v);
        const __m128 by = _mm_setr_ps(d.z, d.rhw, d.u, d.v);
        TexelRun runs[kWaiting];
        int waiting = 0;
        for (int x = xStart; x < xEnd;) {
            const int n = std::min(kRun, xEnd - x);
            const bool exact = n == kRun && startFullRun(at, by, batch, lanes);
            if (!exact) {
                int64_t fu, dfu, fv, dfv;
                startRun(pixelOf(at), d, n, fu, dfu, fv, dfv);
                batch.u = uint32_t(fu);
                batch.v = uint32_t(fv);
                batch.du = uint32_t(dfu);
                batch.dv = uint32_t(dfv);
            }
            for (int c = 0; c < 3; ++c) {
                batch.colour[c] = uint32_t(colour[c]);
                colour[c] += step[c] * n;
            }
            if (n == kRun) {
                if (!exact) {
                    bilinear_detail::steppedLanes(batch.u, batch.du, lanes.u);
                    bilinear_detail::steppedLanes(batch.v, batch.dv, lanes.v);
                }
                TexelRun& run = runs[Wide ? waiting : 0];
                if (texelRun<Depth>(batch, lanes, at, by, depthCell, run)) {
                    run.lanes = lanes;
                    run.cell = cell;
#ifdef KESTRUNE_RASTER_AVX2
                    if constexpr (Wide) {
                        if (++waiting == kWaiting) {
                            if (kAvx512)
                                filterRunsAvx512(runs);
                            else
                                filterRuns(runs);
                            waiting = 0;
                        }
                    } else
#endif
                        filterRun<Blend>(run);
                }
                for (int c = 0; c < 3; ++c)
                    for (__m128i& l : lanes.colour[c]) l = _mm_add_epi32(l, runColourStep[c]);
            } else {
                Pixel p = pixelOf(at);
                partRun<Depth, Blend>(batch, n, p, d, cell, depthCell); // the span's last run
            }
            x += n;
            cell += n;
            if constexpr (Depth) depthCell += n;
        }
        for (int k = 0; k < waiting; ++k) filterRun<Blend>(runs[k]);
    }

    // z, 1/w, u and v from their lanes.
    [[gnu::always_inline]] static inline Pixel pixelOf(__m128 at) {
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, at);
        return {lanes[0], lanes[1], lanes[2], lanes[3], 0, 0, 0};
    }

    // startRun() and runStart() for a whole run that filters, u in the low lane of each vector
    // and v in the high one, keeping the low 32 bits of the 16.16 positions and steps: the same
    // operations on the same doubles, with floor and rounding taken through 32-bit integers.
    // The run's lanes of u and v are set too.
    // False, with nothing set, where a value is not finite or beyond what those integers hold
    // exactly; the caller then takes startRun().
    [[gnu::always_inline]] inline bool startFullRun(__m128 at, __m128 by, BilinearBatch& batch,
                                                    BilinearLanes& lanesOut) const {
        // The attributes at the run's end as startRun() takes them: a + d x pixels.
        const __m128 far = _mm_add_ps(at, _mm_mul_ps(by, _mm_set1_ps(float(kRun))));
        __m128 ends = _mm_shuffle_ps(at, far, _MM_SHUFFLE(3, 2, 3, 2)); // u0, v0, u1, v1
        if (state.perspective) // both 1 / (1/w) in one division
            ends = _mm_mul_ps(ends, _mm_div_ps(_mm_set1_ps(1.0f),
                                               _mm_shuffle_ps(at, far, _MM_SHUFFLE(1, 1, 1, 1))));
        const __m128d size =
            _mm_setr_pd(double(state.texture->width), double(state.texture->height));
        const __m128d half = _mm_set1_pd(0.5), zero = _mm_setzero_pd();
        __m128d t0 = _mm_sub_pd(_mm_mul_pd(_mm_cvtps_pd(ends), size), half);
        __m128d t1 = _mm_sub_pd(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(ends, ends)), size), half);
        const __m128d y = _mm_mul_pd(t0, _mm_setr_pd(inverseWidth, inverseHeight));
        // Within +-2^30 (which a NaN or an infinity is not), truncation to 32 bits is exact.
        const __m128d absolute = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
        const __m128d limit = _mm_set1_pd(1073741824.0);
        auto within = [&](__m128d x) { return _mm_cmplt_pd(_mm_and_pd(x, absolute), limit); };
        __m128d ok = _mm_and_pd(_mm_and_pd(within(y), within(t0)),
                                _mm_cmpeq_pd(_mm_sub_pd(t1, t1), zero)); // t1 finite
        const __m128d truncated = _mm_cvtepi32_pd(_mm_cvttpd_epi32(y));
        const __m128d floored =
            _mm_sub_pd(truncated, _mm_and_pd(_mm_cmpgt_pd(truncated, y), _mm_set1_pd(1.0)));
        const __m128d base = _mm_mul_pd(floored, size);
        t0 = _mm_sub_pd(t0, base);
        const __m128d reach = _mm_set1_pd(16777216.0);
        // std::clamp: max and min give the bound only where it differs from the value.
        t1 = _mm_min_pd(_mm_max_pd(_mm_sub_pd(t1, base), _mm_sub_pd(t0, reach)),
                        _mm_add_pd(t0, reach));
        const __m128d fixedOne = _mm_set1_pd(65536.0);
        const __m128d start = _mm_mul_pd(t0, fixedOne);
        const __m128d step =
            _mm_mul_pd(_mm_mul_pd(_mm_sub_pd(t1, t0), fixedOne), _mm_set1_pd(1.0 / kRun));
        ok = _mm_and_pd(ok, _mm_and_pd(within(start), within(step)));
        if (_mm_movemask_pd(ok) != 3) return false;
        // roundToInt64(): half away from zero, from the truncation and the fraction left.
        auto round = [half](__m128d x) {
            const __m128i i = _mm_cvttpd_epi32(x);
            const __m128d fraction = _mm_sub_pd(x, _mm_cvtepi32_pd(i));
            const __m128i up = _mm_castpd_si128(_mm_cmpge_pd(fraction, half));
            const __m128i down =
                _mm_castpd_si128(_mm_cmple_pd(fraction, _mm_sub_pd(_mm_setzero_pd(), half)));
            // The 64-bit lane masks brought to the two low 32-bit lanes.
            const __m128i adjust =
                _mm_shuffle_epi32(_mm_sub_epi64(up, down), _MM_SHUFFLE(2, 0, 2, 0));
            return _mm_sub_epi32(i, adjust);
        };
        const __m128i starts = round(start), steps = round(step);
        alignas(16) uint32_t lanes[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), starts);
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes + 4), steps);
        batch.u = lanes[0];
        batch.v = lanes[1];
        batch.du = lanes[4];
        batch.dv = lanes[5];
        // The pixels' positions stepped in the vectors, not rebuilt from the words just stored.
        bilinear_detail::steppedLanes<0>(starts, steps, lanesOut.u);
        bilinear_detail::steppedLanes<1>(starts, steps, lanesOut.v);
        return true;
    }

    // The attributes stepped over the run's pixels one at a time, as the one-pixel loop steps
    // them; the z of each pixel goes to its lane of zs, gathered in registers (a vector read
    // back from single floats just stored would wait for the stores).
    [[gnu::always_inline]] static inline void stepRun(__m128& at, __m128 by, __m128 (&zs)[2]) {
        for (__m128& four : zs) {
            const __m128 a0 = at, a1 = _mm_add_ps(a0, by);
            const __m128 a2 = _mm_add_ps(a1, by), a3 = _mm_add_ps(a2, by);
            at = _mm_add_ps(a3, by);
            four = _mm_movelh_ps(_mm_unpacklo_ps(a0, a1), _mm_unpacklo_ps(a2, a3));
        }
    }

    // depthTest() for four pixels in 32-bit lanes: the passing lanes all ones, and z their depths.
    [[gnu::always_inline]] inline __m128i depthLanes(__m128 zs, __m128i stored, __m128i& z) const {
        __m128 zf = _mm_add_ps(_mm_mul_ps(zs, _mm_set1_ps(65535.0f)), _mm_set1_ps(0.5f));
        // max and min take their second operand when the first is NaN, as the one-pixel test does.
        zf = _mm_min_ps(_mm_max_ps(zf, _mm_setzero_ps()), _mm_set1_ps(65535.0f));
        z = _mm_sub_epi32(_mm_cvttps_epi32(zf), _mm_set1_epi32(int(state.depthBias)));
        z = _mm_and_si128(z, _mm_cmpgt_epi32(z, _mm_setzero_si128()));
        const __m128i all = _mm_set1_epi32(-1);
        switch (state.depthFunction) {
        case D3DCMP_NEVER:
            return _mm_setzero_si128();
        case D3DCMP_LESS:
            return _mm_cmpgt_epi32(stored, z);
        case D3DCMP_EQUAL:
            return _mm_cmpeq_epi32(z, stored);
        case D3DCMP_LESSEQUAL:
            return _mm_xor_si128(_mm_cmpgt_epi32(z, stored), all);
        case D3DCMP_GREATER:
            return _mm_cmpgt_epi32(z, stored);
        case D3DCMP_NOTEQUAL:
            return _mm_xor_si128(_mm_cmpeq_epi32(z, stored), all);
        case D3DCMP_GREATEREQUAL:
            return _mm_xor_si128(_mm_cmpgt_epi32(stored, z), all);
        default:
            return all;
        }
    }

    // The run's attributes stepped past it, its depths tested and, where they pass, written: the
    // mask of the pixels drawn (all ones), in 16-bit lanes.
    template <bool Depth>
    [[gnu::always_inline]] inline __m128i depthRun(__m128& at, __m128 by,
                                                   uint16_t* depthCell) const {
        __m128 zs[2];
        stepRun(at, by, zs);
        if constexpr (!Depth) return _mm_set1_epi16(-1);
        const __m128i stored = _mm_loadu_si128(reinterpret_cast<const __m128i*>(depthCell));
        const __m128i zero = _mm_setzero_si128();
        __m128i z0, z1;
        const __m128i pass0 = depthLanes(zs[0], _mm_unpacklo_epi16(stored, zero), z0);
        const __m128i pass1 = depthLanes(zs[1], _mm_unpackhi_epi16(stored, zero), z1);
        const __m128i mask = _mm_packs_epi32(pass0, pass1);
        if (state.depthWrite && _mm_movemask_epi8(mask) != 0) {
            const __m128i z = bilinear_detail::packLow16(z0, z1); // depths below 2^16
            _mm_storeu_si128(reinterpret_cast<__m128i*>(depthCell),
                             _mm_or_si128(_mm_and_si128(mask, z), _mm_andnot_si128(mask, stored)));
        }
        return mask;
    }

    // pixels() for untextured pixels without blending or clamping, a run at a time: depths as a
    // textured run's, each colour's 16.16 lanes cut to their whole part and packed together; the
    // span's last few pixels one at a time.
    template <bool Depth>
    void pixelsPlain(int xStart, int xEnd, Pixel a, const Pixel d, uint16_t* cell,
                     uint16_t* depthCell, const int64_t* colourStart, const int64_t* step) const {
        using namespace bilinear_detail;
        // Within the span every colour lies in 0..255, so its 32 low bits step it exactly.
        int64_t colour[3] = {colourStart[0], colourStart[1], colourStart[2]};
        __m128 at = _mm_setr_ps(a.z, a.rhw, a.u, a.v);
        const __m128 by = _mm_setr_ps(d.z, d.rhw, d.u, d.v);
        int x = xStart;
        for (; xEnd - x >= kRun; x += kRun) {
            const __m128i mask = depthRun<Depth>(at, by, depthCell);
            if (!Depth || _mm_movemask_epi8(mask) != 0) {
                __m128i channel[3];
                for (int c = 0; c < 3; ++c) {
                    __m128i lanes[2];
                    steppedLanes(uint32_t(colour[c]), uint32_t(step[c]), lanes);
                    channel[c] = byteLanes<16>(lanes);
                }
                storeRun(cell, mask, pack565(channel[0], channel[1], channel[2]));
            }
            for (int c = 0; c < 3; ++c) colour[c] += step[c] * kRun;
            cell += kRun;
            if constexpr (Depth) depthCell += kRun;
        }
        if (x < xEnd)
            pixels<Depth, kTexNone, kBlendOff, false>(x, xEnd, pixelOf(at), d, cell, depthCell,
                                                      colour, step);
    }

    // A whole run: depths tested and written eight at a time, texel addresses worked out in
    // lanes, and the two texels side by side in a row read together where the second does not
    // wrap to the row's start. False when no pixel is drawn; otherwise run's texels and mask
    // are set.
    template <bool Depth>
    [[gnu::always_inline]] inline bool texelRun(BilinearBatch& batch, const BilinearLanes& lanes,
                                                __m128& at, __m128 by, uint16_t* depthCell,
                                                TexelRun& run) const {
        const __m128i mask = depthRun<Depth>(at, by, depthCell);
        if (Depth && _mm_movemask_epi8(mask) == 0) return false;
        if (!pairTexels(lanes, run.pairs)) {
            // A pixel whose right-hand texels wrap: gathered one texel at a time.
            gatherTexels(batch, kRun,
                         uint32_t(_mm_movemask_epi8(_mm_packs_epi16(mask, mask))) & 255);
            for (int row = 0; row < 2; ++row) {
                const __m128i left = bilinear_detail::load(batch.texel[2 * row]);
                const __m128i right = bilinear_detail::load(batch.texel[2 * row + 1]);
                run.pairs[row][0] = _mm_unpacklo_epi16(left, right);
                run.pairs[row][1] = _mm_unpackhi_epi16(left, right);
            }
        }
        run.mask = mask;
        return true;
    }

    // The run's four texels per pixel, the two of a row read as one 32-bit word; false, with
    // nothing read, when a pixel's right-hand texel wraps (or the texture's rows are not a power
    // of two bytes apart).
    [[gnu::always_inline]] inline bool pairTexels(const BilinearLanes& lanes,
                                                  __m128i (&pairs)[2][2]) const {
        if (pitchShift < 0) return false;
        const RasterTexture& t = *state.texture;
        const __m128i xMask = _mm_set1_epi32(t.width - 1), yMask = _mm_set1_epi32(t.height - 1);
        const __m128i shift = _mm_cvtsi32_si128(pitchShift);
        alignas(16) uint32_t top[kRun], bottom[kRun];
        int wraps = 0;
        for (int half = 0; half < 2; ++half) {
            const __m128i x0 = _mm_and_si128(_mm_srli_epi32(lanes.u[half], 16), xMask);
            const __m128i y0 = _mm_and_si128(_mm_srli_epi32(lanes.v[half], 16), yMask);
            const __m128i y1 = _mm_and_si128(_mm_add_epi32(y0, _mm_set1_epi32(1)), yMask);
            wraps |= _mm_movemask_epi8(_mm_cmpeq_epi32(x0, xMask));
            const __m128i column = _mm_slli_epi32(x0, 1);
            _mm_store_si128(reinterpret_cast<__m128i*>(top + 4 * half),
                            _mm_add_epi32(_mm_sll_epi32(y0, shift), column));
            _mm_store_si128(reinterpret_cast<__m128i*>(bottom + 4 * half),
                            _mm_add_epi32(_mm_sll_epi32(y1, shift), column));
        }
        if (wraps) return false;
        alignas(16) uint32_t topPair[kRun], bottomPair[kRun];
        for (int k = 0; k < kRun; ++k) {
            std::memcpy(&topPair[k], t.pixels + top[k], 4);
            std::memcpy(&bottomPair[k], t.pixels + bottom[k], 4);
        }
        for (int row = 0; row < 2; ++row) {
            const uint32_t* in = row ? bottomPair : topPair;
            pairs[row][0] = _mm_load_si128(reinterpret_cast<const __m128i*>(in));
            pairs[row][1] = _mm_load_si128(reinterpret_cast<const __m128i*>(in + 4));
        }
        return true;
    }

    // The texels of the pixels in mask, one at a time.
    [[gnu::always_inline]] inline void gatherTexels(BilinearBatch& batch, int n,
                                                    uint32_t mask) const {
        const RasterTexture& t = *state.texture;
        const int xMask = t.width - 1, yMask = t.height - 1;
        auto texel = [](const uint8_t* at) { return uint16_t(at[0] | (at[1] << 8)); };
        uint32_t fu = batch.u, fv = batch.v;
        for (int k = 0; k < n; ++k, fu += batch.du, fv += batch.dv) {
            if (!(mask >> k & 1)) continue;
            const int x0 = int(fu >> 16) & xMask, x1 = (x0 + 1) & xMask;
            const int y0 = int(fv >> 16) & yMask, y1 = (y0 + 1) & yMask;
            const uint8_t* row0 = t.pixels + std::ptrdiff_t(y0) * t.pitch;
            const uint8_t* row1 = t.pixels + std::ptrdiff_t(y1) * t.pitch;
            batch.texel[0][k] = texel(row0 + x0 * 2);
            batch.texel[1][k] = texel(row0 + x1 * 2);
            batch.texel[2][k] = texel(row1 + x0 * 2);
            batch.texel[3][k] = texel(row1 + x1 * 2);
        }
    }

    // A run shorter than kRun at a span's end, a pixel at a time.
    template <bool Depth, int Blend>
    [[gnu::always_inline]] inline void partRun(BilinearBatch& batch, int n, Pixel& a,
                                               const Pixel& d, uint16_t* cell,
                                               uint16_t* depthCell) const {
        uint32_t mask = 0;
        for (int k = 0; k < n; ++k) {
            uint32_t z = 0;
            if (!Depth || depthTest(a.z, depthCell[k], z)) {
                if constexpr (Depth)
                    if (state.depthWrite) depthCell[k] = uint16_t(z);
                mask |= 1u << k;
            }
            a.z += d.z;
            a.rhw += d.rhw;
            a.u += d.u;
            a.v += d.v;
        }
        if (!mask) return;
        gatherTexels(batch, n, mask);
        __m128i source[3];
        filterBatch(batch, source);
        alignas(16) uint16_t drawn[kRun] = {};
        if constexpr (Blend == kBlendInverse) {
            std::memcpy(drawn, cell, sizeof(uint16_t) * size_t(n)); // no further than the span
            _mm_store_si128(reinterpret_cast<__m128i*>(drawn),
                            blendInverse(source, bilinear_detail::load(drawn)));
        } else {
            _mm_store_si128(reinterpret_cast<__m128i*>(drawn),
                            bilinear_detail::pack565(source[0], source[1], source[2]));
        }
        for (int k = 0; k < n; ++k)
            if (mask >> k & 1) cell[k] = drawn[k];
    }
#endif

    // A run's start and step in 16.16 texels from its end points in texture coordinates. Only
    // the position within the wrapped texture matters, so the start is brought near it; far-out
    // and undefined values are held to what fixed point can carry.
    // Dividing by a power of two and multiplying by its reciprocal give the same bits, so sides
    // that are powers of two (inverse above 0) and full runs are divided by multiplying.
    void runStart(float from, float to, int size, double inverse, int pixels, int64_t& start,
                  int64_t& step) const {
        const double offset = linear ? 0.5 : 0.0;
        double t0 = double(from) * size - offset, t1 = double(to) * size - offset;
        if (!std::isfinite(t0) || !std::isfinite(t1)) {
            start = step = 0;
            return;
        }
        const double base = std::floor(inverse > 0 ? t0 * inverse : t0 / size) * size;
        t0 -= base;
        t1 = std::clamp(t1 - base, t0 - 16777216.0, t0 + 16777216.0);
        start = roundToInt64(t0 * 65536.0);
        const double distance = (t1 - t0) * 65536.0;
        step = roundToInt64(pixels == kRun ? distance * (1.0 / kRun) : distance / pixels);
    }

    static int64_t toFixed(float c) {
        c = c > -65536.0f ? c : -65536.0f; // NaN takes the bound
        c = c < 65536.0f ? c : 65536.0f;
        return int64_t(c * 65536.0f);
    }
    static uint32_t fixedChannel(int64_t c) {
        return uint32_t(std::clamp<int64_t>(c >> 16, 0, 255));
    }

    static constexpr int kRun = 8; // pixels between exact perspective divisions

    bool depthOn() const {
        return state.depthTest && target.depth;
    }

    // The pixels xStart..xEnd - 1 of row y; a holds the attributes at xStart and is stepped by dx.
    void span(int y, int xStart, int xEnd, const float* a, const float* dx) const {
        if (depthOn())
            spanTexture<true>(y, xStart, xEnd, a, dx);
        else
            spanTexture<false>(y, xStart, xEnd, a, dx);
    }

    template <bool Depth>
    void spanTexture(int y, int xStart, int xEnd, const float* a, const float* dx) const {
        if (!state.texture)
            spanBlend<Depth, kTexNone>(y, xStart, xEnd, a, dx);
        else if (!texture565Pow2)
            spanBlend<Depth, kTexAny>(y, xStart, xEnd, a, dx);
        else if (linear)
            spanBlend<Depth, kTexLinear565>(y, xStart, xEnd, a, dx);
        else
            spanBlend<Depth, kTexPoint565>(y, xStart, xEnd, a, dx);
    }

    template <bool Depth, int Texture>
    void spanBlend(int y, int xStart, int xEnd, const float* a, const float* dx) const {
        switch (blendMode) {
        case kBlendOff:
            spanWith<Depth, Texture, kBlendOff>(y, xStart, xEnd, a, dx);
            break;
        case kBlendInverse:
            spanWith<Depth, Texture, kBlendInverse>(y, xStart, xEnd, a, dx);
            break;
        default:
            spanWith<Depth, Texture, kBlendAny>(y, xStart, xEnd, a, dx);
            break;
        }
    }

    // One pixel for points and lines.
    void plot(int x, int y, const float* a) const {
        const float none[kAttributeCount] = {};
        span(y, x, x + 1, a, none);
    }
};

bool finite(const ScreenVertex& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.a[AttrRhw]);
}

// The triangle set up for drawing: false when it covers no row of the scissor, faces away or is
// degenerate.
bool setUpTriangle(const PixelPipeline& pipe, const ScreenVertex& v0, const ScreenVertex& v1,
                   const ScreenVertex& v2, RasterTriangle& out) {
    float area2 = (v1.x - v0.x) * (v2.y - v0.y) - (v2.x - v0.x) * (v1.y - v0.y);
    // On screen y grows downwards: a positive area is clockwise.
    if (!(area2 != 0) || !finite(v0) || !finite(v1) || !finite(v2)) return false;
    if (pipe.state.cull == D3DCULL_CCW && area2 < 0) return false;
    if (pipe.state.cull == D3DCULL_CW && area2 > 0) return false;

    const ScreenVertex* s[3] = {&v0, &v1, &v2};
    std::sort(s, s + 3, [](const ScreenVertex* a, const ScreenVertex* b) { return a->y < b->y; });
    out.yStart = std::max(ceilToInt(s[0]->y), pipe.clipTop);
    out.yEnd = std::min(ceilToInt(s[2]->y), pipe.clipBottom);
    if (out.yStart >= out.yEnd) return false;
    for (int k = 0; k < 3; ++k) {
        out.x[k] = s[k]->x;
        out.y[k] = s[k]->y;
    }
    out.originX = v0.x;
    out.originY = v0.y;
    for (int i = 0; i < kAttributeCount; ++i) {
        float d1 = v1.a[i] - v0.a[i], d2 = v2.a[i] - v0.a[i];
        out.origin[i] = v0.a[i];
        out.dx[i] = (d1 * (v2.y - v0.y) - d2 * (v1.y - v0.y)) / area2;
        out.dy[i] = (d2 * (v1.x - v0.x) - d1 * (v2.x - v0.x)) / area2;
    }

    out.linear = pipe.state.magFilter == D3DTFG_LINEAR;
    if (pipe.state.texture) {
        // Texels per pixel across the triangle decides between the two filters.
        const RasterTexture& t = *pipe.state.texture;
        const bool perspective = pipe.state.perspective;
        auto uv = [perspective](const ScreenVertex& v, int k) {
            return perspective ? v.a[AttrU + k] / v.a[AttrRhw] : v.a[AttrU + k];
        };
        float du1 = uv(v1, 0) - uv(v0, 0), dv1 = uv(v1, 1) - uv(v0, 1);
        float du2 = uv(v2, 0) - uv(v0, 0), dv2 = uv(v2, 1) - uv(v0, 1);
        float texels = std::fabs(du1 * dv2 - du2 * dv1) * float(t.width) * float(t.height);
        bool minifying = texels > std::fabs(area2);
        out.linear = minifying ? pipe.state.minFilter == D3DTFN_LINEAR
                               : pipe.state.magFilter == D3DTFG_LINEAR;
    }
    for (int c = 0; c < 3; ++c) out.flat[c] = uint8_t(pipe.flatChannels[c]);
    return true;
}

// The set-up triangle's spans in this thread's rows.
void walkTriangle(PixelPipeline& pipe, const RasterTriangle& t) {
    // Other threads draw the rest of the rows: a triangle with none of this thread's is done.
    if (!pipe.rows.ownsAny(t.yStart, t.yEnd)) return;
    pipe.linear = t.linear;
    for (int c = 0; c < 3; ++c) pipe.flatChannels[c] = t.flat[c];
    auto edgeX = [&t](int a, int b, float y) {
        return t.x[a] + (y - t.y[a]) * (t.x[b] - t.x[a]) / (t.y[b] - t.y[a]);
    };
    float a[kAttributeCount];
    for (int y = t.yStart; y < t.yEnd; ++y) {
        if (!pipe.rows.owns(y)) {
            y = y / kRasterBandRows * kRasterBandRows + kRasterBandRows - 1; // on to the next band
            continue;
        }
        float fy = float(y);
        float xLong = edgeX(0, 2, fy);
        float xShort = fy < t.y[1] ? edgeX(0, 1, fy) : edgeX(1, 2, fy);
        float left = std::min(xLong, xShort), right = std::max(xLong, xShort);
        int xStart = std::max(ceilToInt(left), pipe.clipLeft);
        int xEnd = std::min(ceilToInt(right), pipe.clipRight);
        if (xStart >= xEnd) continue;
        for (int i = 0; i < kAttributeCount; ++i)
            a[i] = t.origin[i] + t.dx[i] * (float(xStart) - t.originX) + t.dy[i] * (fy - t.originY);
        pipe.span(y, xStart, xEnd, a, t.dx);
    }
}

// A line leaves out its last pixel; it steps one pixel at a time along its longer axis.
void drawLine(PixelPipeline& pipe, const ScreenVertex& v0, const ScreenVertex& v1) {
    if (!finite(v0) || !finite(v1)) return;
    float dx = v1.x - v0.x, dy = v1.y - v0.y;
    bool xMajor = std::fabs(dx) >= std::fabs(dy);
    float from = xMajor ? v0.x : v0.y, to = xMajor ? v1.x : v1.y;
    float delta = xMajor ? dx : dy;
    if (delta == 0) return;
    auto pixelOf = [](float c) { return long(floorToInt(std::clamp(c, -1e9f, 1e9f) + 0.5f)); };
    long first = pixelOf(from), last = pixelOf(to);
    long step = last >= first ? 1 : -1;
    // Bounded by the scissor so that a line reaching far off screen costs no more than one across.
    long limit = xMajor ? std::max(pipe.clipRight, 0) + 1 : std::max(pipe.clipBottom, 0) + 1;
    first = std::clamp(first, -1L, limit);
    last = std::clamp(last, -1L, limit);
    float a[kAttributeCount];
    for (long p = first; p != last; p += step) {
        float t = (float(p) - from) / delta;
        float other = (xMajor ? v0.y + t * dy : v0.x + t * dx);
        long q = pixelOf(other);
        int x = int(xMajor ? p : q), y = int(xMajor ? q : p);
        if (x < pipe.clipLeft || x >= pipe.clipRight || y < pipe.clipTop || y >= pipe.clipBottom ||
            !pipe.rows.owns(y))
            continue;
        for (int i = 0; i < kAttributeCount; ++i) a[i] = v0.a[i] + (v1.a[i] - v0.a[i]) * t;
        pipe.plot(x, y, a);
    }
}

void drawPoint(PixelPipeline& pipe, const ScreenVertex& v) {
    if (!finite(v)) return;
    float fx = std::floor(v.x + 0.5f), fy = std::floor(v.y + 0.5f);
    if (fx < float(pipe.clipLeft) || fx >= float(pipe.clipRight) || fy < float(pipe.clipTop) ||
        fy >= float(pipe.clipBottom) || !pipe.rows.owns(int(fy)))
        return;
    pipe.plot(int(fx), int(fy), v.a);
}

void setFlatColor(PixelPipeline& pipe, const ClipVertex& provoking) {
    pipe.flatChannels[0] = toChannel(provoking.r);
    pipe.flatChannels[1] = toChannel(provoking.g);
    pipe.flatChannels[2] = toChannel(provoking.b);
}

// The triangle clipped, projected and set up as at most kRasterTrianglesPerPrimitive triangles
// in out; how many.
int triangle(const PixelPipeline& pipe, const ClipVertex& a, const ClipVertex& b,
             const ClipVertex& c, RasterTriangle* out) {
    const Viewport2& vp = pipe.state.viewport;
    ClipVertex poly[kMaxClipVertices];
    poly[0] = a;
    poly[1] = b;
    poly[2] = c;
    int count = clipPolygon(poly, 3, vp);
    if (count < 3) return 0;
    ScreenVertex screen[kMaxClipVertices];
    for (int i = 0; i < count; ++i) screen[i] = project(poly[i], vp, pipe.state.perspective);
    int made = 0;
    for (int i = 1; i + 1 < count; ++i)
        made += setUpTriangle(pipe, screen[0], screen[i], screen[i + 1], out[made]);
    return made;
}

void line(PixelPipeline& pipe, const ClipVertex& a, const ClipVertex& b) {
    const Viewport2& vp = pipe.state.viewport;
    ClipVertex p = a, q = b;
    for (int plane = 0; plane < 3; ++plane) {
        float dp = planeDistance(p, plane, vp), dq = planeDistance(q, plane, vp);
        if (dp < 0 && dq < 0) return;
        if (dp < 0) p = lerp(p, q, dp / (dp - dq));
        if (dq < 0) q = lerp(p, q, dp / (dp - dq));
    }
    drawLine(pipe, project(p, vp, pipe.state.perspective), project(q, vp, pipe.state.perspective));
}

void point(PixelPipeline& pipe, const ClipVertex& a) {
    for (int plane = 0; plane < 3; ++plane)
        if (planeDistance(a, plane, pipe.state.viewport) < 0) return;
    drawPoint(pipe, project(a, pipe.state.viewport, pipe.state.perspective));
}

} // namespace

namespace {

// The clip rectangle and the per-primitive decisions; false when nothing can be drawn.
bool preparePipeline(PixelPipeline& pipe) {
    const RasterTarget& target = pipe.target;
    const RasterState& state = pipe.state;
    const Viewport2& vp = state.viewport;
    pipe.clipLeft = int(std::min<uint32_t>(vp.x, uint32_t(target.width)));
    pipe.clipTop = int(std::min<uint32_t>(vp.y, uint32_t(target.height)));
    pipe.clipRight = int(std::min<uint64_t>(uint64_t(vp.x) + vp.width, uint64_t(target.width)));
    pipe.clipBottom = int(std::min<uint64_t>(uint64_t(vp.y) + vp.height, uint64_t(target.height)));
    if (pipe.clipLeft >= pipe.clipRight || pipe.clipTop >= pipe.clipBottom || !target.color)
        return false;
    pipe.flat = !state.gouraud;
    pipe.texture565 = state.texture && PixelPipeline::is565(*state.texture);
    auto pow2 = [](int32_t n) { return n > 0 && (n & (n - 1)) == 0; };
    pipe.texture565Pow2 =
        pipe.texture565 && pow2(state.texture->width) && pow2(state.texture->height);
    if (state.texture) {
        if (pow2(state.texture->width)) pipe.inverseWidth = 1.0 / state.texture->width;
        if (pow2(state.texture->height)) pipe.inverseHeight = 1.0 / state.texture->height;
        const RasterTexture& t = *state.texture;
        if (pow2(t.pitch) && t.width <= 65536 && t.height <= 65536)
            pipe.pitchShift = std::countr_zero(uint32_t(t.pitch));
    }
    pipe.linear = state.magFilter == D3DTFG_LINEAR;
    if (!state.blend ||
        (state.sourceBlend == D3DBLEND_ONE && state.destinationBlend == D3DBLEND_ZERO))
        pipe.blendMode = kBlendOff;
    else if (state.sourceBlend == D3DBLEND_INVSRCCOLOR &&
             state.destinationBlend == D3DBLEND_INVDESTCOLOR)
        pipe.blendMode = kBlendInverse;
    else
        pipe.blendMode = kBlendAny;
    return true;
}

} // namespace

uint32_t trianglePrimitives(uint32_t primitive, uint32_t count) {
    if (primitive == D3DPT_TRIANGLELIST) return count / 3;
    if (primitive == D3DPT_TRIANGLESTRIP || primitive == D3DPT_TRIANGLEFAN)
        return count >= 3 ? count - 2 : 0;
    return 0;
}

uint32_t setUpTriangles(const RasterTarget& target, const RasterState& state, uint32_t primitive,
                        const LitVertex* vertices, uint32_t count, uint32_t first,
                        RasterTriangle* out, uint32_t room, uint32_t& written) {
    written = 0;
    const uint32_t total = trianglePrimitives(primitive, count);
    PixelPipeline pipe{target, state, 0, 0, 0, 0, {}};
    if (!preparePipeline(pipe)) return total;
    // Strips and fans share vertices between neighbours: each is transformed once, into the
    // slot of its index modulo three (a fan's centre kept apart).
    ClipVertex slots[3];
    uint32_t slotIndex[3] = {UINT32_MAX, UINT32_MAX, UINT32_MAX};
    auto at = [&](uint32_t i) -> const ClipVertex& {
        if (slotIndex[i % 3] != i) {
            slots[i % 3] = transformVertex(state.transform, vertices[i]);
            slotIndex[i % 3] = i;
        }
        return slots[i % 3];
    };
    ClipVertex centre{};
    if (primitive == D3DPT_TRIANGLEFAN && total > 0)
        centre = transformVertex(state.transform, vertices[0]);
    // Flat shading takes the colour of each triangle's first corner in a list or strip, and in a
    // fan of triangle i that of vertex i + 1, the first corner after the shared centre.
    uint32_t k = first;
    for (; k < total && room - written >= kRasterTrianglesPerPrimitive; ++k) {
        if (primitive == D3DPT_TRIANGLELIST) {
            const ClipVertex v0 = at(3 * k), v1 = at(3 * k + 1), v2 = at(3 * k + 2);
            setFlatColor(pipe, v0);
            written += uint32_t(triangle(pipe, v0, v1, v2, out + written));
        } else if (primitive == D3DPT_TRIANGLESTRIP) {
            const ClipVertex a = at(k), b = at(k + 1), c = at(k + 2);
            setFlatColor(pipe, a);
            // Every second triangle is reversed so that the strip keeps one winding.
            written += uint32_t(k % 2 == 0 ? triangle(pipe, a, b, c, out + written)
                                           : triangle(pipe, b, a, c, out + written));
        } else {
            const ClipVertex previous = at(k + 1), next = at(k + 2);
            setFlatColor(pipe, previous);
            written += uint32_t(triangle(pipe, centre, previous, next, out + written));
        }
    }
    return k;
}

void drawTriangles(const RasterTarget& target, const RasterState& state,
                   const RasterTriangle* triangles, uint32_t count, RasterRows rows) {
    PixelPipeline pipe{target, state, 0, 0, 0, 0, rows};
    if (!preparePipeline(pipe)) return;
    for (uint32_t i = 0; i < count; ++i) walkTriangle(pipe, triangles[i]);
}

bool rasterizePrimitive(const RasterTarget& target, const RasterState& state, uint32_t primitive,
                        const LitVertex* vertices, uint32_t count, RasterRows rows) {
    if (!isRasterPrimitive(primitive)) return false;
    if (isRasterTriangles(primitive)) {
        // Set up a few primitives at a time and drawn, as a queue's threads draw them.
        RasterTriangle set[8 * kRasterTrianglesPerPrimitive];
        const uint32_t total = trianglePrimitives(primitive, count);
        for (uint32_t k = 0; k < total;) {
            uint32_t written = 0;
            k = setUpTriangles(target, state, primitive, vertices, count, k, set,
                               uint32_t(std::size(set)), written);
            drawTriangles(target, state, set, written, rows);
        }
        return true;
    }
    PixelPipeline pipe{target, state, 0, 0, 0, 0, rows};
    if (!preparePipeline(pipe)) return true;

    auto at = [&](uint32_t i) { return transformVertex(state.transform, vertices[i]); };
    // Flat shading takes the colour of each primitive's first vertex: a point, a line's start.
    switch (primitive) {
    case D3DPT_POINTLIST:
        for (uint32_t i = 0; i < count; ++i) {
            ClipVertex v = at(i);
            setFlatColor(pipe, v);
            point(pipe, v);
        }
        break;
    case D3DPT_LINELIST:
        for (uint32_t i = 0; i + 1 < count; i += 2) {
            ClipVertex v0 = at(i);
            setFlatColor(pipe, v0);
            line(pipe, v0, at(i + 1));
        }
        break;
    case D3DPT_LINESTRIP:
        if (count >= 2) {
            ClipVertex previous = at(0);
            for (uint32_t i = 1; i < count; ++i) {
                ClipVertex next = at(i);
                setFlatColor(pipe, previous);
                line(pipe, previous, next);
                previous = next;
            }
        }
        break;
    }
    return true;
}

namespace {

// count cells set to value: as bytes where its two bytes are equal (depth 0xFFFF, black), else
// eight bytes at a time rather than the two a plain loop writes.
void fillRow(uint16_t* row, int count, uint16_t value) {
    if ((value & 255) == (value >> 8)) {
        std::memset(row, value & 255, size_t(count) * 2);
        return;
    }
    const uint64_t four = value * 0x0001000100010001ull;
    int i = 0;
    for (; i + 4 <= count; i += 4) std::memcpy(row + i, &four, sizeof four);
    for (; i < count; ++i) row[i] = value;
}

} // namespace

void clearTarget(const RasterTarget& target, const RasterClear& clear, RasterRows rows) {
    const Rect& rect = clear.rect;
    int left = std::max(rect.left, 0), top = std::max(rect.top, 0);
    int right = std::min(rect.right, target.width), bottom = std::min(rect.bottom, target.height);
    if (left >= right || top >= bottom) return;
    for (int y = top; y < bottom; ++y) {
        if (!rows.owns(y)) continue;
        if (clear.color && target.color) {
            fillRow(target.color + std::ptrdiff_t(y) * target.colorPitch + left, right - left,
                    clear.colorValue);
        }
        if (clear.depth && target.depth) {
            fillRow(target.depth + std::ptrdiff_t(y) * target.depthPitch + left, right - left,
                    clear.depthValue);
        }
    }
}

} // namespace kestrune
