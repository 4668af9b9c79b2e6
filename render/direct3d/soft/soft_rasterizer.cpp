// Scanline rasterisation of points, lines and triangles with Gouraud or flat colour, perspective-
// correct wrapped texturing, depth test with bias, and blending, onto a 5-6-5 target.
#include "render/direct3d/soft/soft_rasterizer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

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

// Attributes in screen space, in the order the span loops step them.
enum Attribute { AttrZ, AttrRhw, AttrU, AttrV, AttrR, AttrG, AttrB, kAttributeCount };

struct ScreenVertex {
    float x, y;               // pixels
    float a[kAttributeCount]; // z 0..1, 1/w, u/w, v/w, colour 0..255
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

ScreenVertex project(const ClipVertex& c, const Viewport2& vp) {
    ScreenVertex s;
    float rhw = 1.0f / c.w;
    float nx = c.x * rhw, ny = c.y * rhw, nz = c.z * rhw;
    s.x = float(vp.x) + (nx - vp.clipX) / vp.clipWidth * float(vp.width);
    s.y = float(vp.y) + (vp.clipY - ny) / vp.clipHeight * float(vp.height);
    float range = vp.maxZ - vp.minZ;
    s.a[AttrZ] = range != 0 ? (nz - vp.minZ) / range : 0;
    s.a[AttrRhw] = rhw;
    s.a[AttrU] = c.u * rhw;
    s.a[AttrV] = c.v * rhw;
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

// Everything per pixel: texture, modulation, depth, blend, write.
struct PixelPipeline {
    const RasterTarget& target;
    const RasterState& state;
    int clipLeft, clipTop, clipRight, clipBottom; // scissor: viewport within the target
    bool linear = false;                          // the filter this primitive samples with
    bool flat = false;
    bool texture565 = false; // the texture is 16-bit 5-6-5, read without the general layout
    uint32_t flatChannels[3] = {0, 0, 0};

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
    [[gnu::always_inline]] inline void sample(int64_t fu, int64_t fv, uint32_t out[3]) const {
        const RasterTexture& t = *state.texture;
        const int ix = int(fu >> 16), iy = int(fv >> 16);
        if (!linear) {
            fetch(wrapIndex(ix, t.width), wrapIndex(iy, t.height), out);
            return;
        }
        // Weights in 1/256ths.
        const uint32_t wx = uint32_t(fu >> 8) & 255, wy = uint32_t(fv >> 8) & 255;
        const int x0 = wrapIndex(ix, t.width), x1 = nextIndex(x0, t.width);
        const int y0 = wrapIndex(iy, t.height), y1 = nextIndex(y0, t.height);
        Texel c00, c10, c01, c11;
        if (texture565) {
            const uint8_t* row0 = t.pixels + std::ptrdiff_t(y0) * t.pitch;
            const uint8_t* row1 = t.pixels + std::ptrdiff_t(y1) * t.pitch;
            c00 = load565(row0, x0);
            c10 = load565(row0, x1);
            c01 = load565(row1, x0);
            c11 = load565(row1, x1);
        } else {
            c00 = fetchTexel(x0, y0);
            c10 = fetchTexel(x1, y0);
            c01 = fetchTexel(x0, y1);
            c11 = fetchTexel(x1, y1);
        }
        // Each channel on its own line: kept in registers rather than stepped through arrays.
        const uint32_t ax = 256 - wx, ay = 256 - wy;
        out[0] = ((c00.r * ax + c10.r * wx) * ay + (c01.r * ax + c11.r * wx) * wy + 32768) >> 16;
        out[1] = ((c00.g * ax + c10.g * wx) * ay + (c01.g * ax + c11.g * wx) * wy + 32768) >> 16;
        out[2] = ((c00.b * ax + c10.b * wx) * ay + (c01.b * ax + c11.b * wx) * wy + 32768) >> 16;
    }

    struct Texel {
        uint32_t r, g, b;
    };

    static Texel load565(const uint8_t* row, int x) {
        const uint8_t* at = row + std::ptrdiff_t(x) * 2;
        const uint16_t p = uint16_t(at[0] | (at[1] << 8));
        return {red565(p), green565(p), blue565(p)};
    }

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

    template <bool Depth, bool Textured, bool Blend>
    [[gnu::always_inline]] inline void plotWith(uint16_t* cell, uint16_t* depthCell, const Pixel& a,
                                                int64_t fu, int64_t fv,
                                                const int64_t* colour) const {
        uint32_t z = 0;
        if constexpr (Depth) {
            float zf = a.z * 65535.0f + 0.5f;
            z = zf > 0 ? (zf < 65535.0f ? uint32_t(zf) : 65535u) : 0u;
            z = z > state.depthBias ? z - state.depthBias : 0;
            if (state.depthFunction == D3DCMP_LESSEQUAL) {
                if (z > *depthCell) return;
            } else if (!depthPasses(z, *depthCell)) {
                return;
            }
        }
        uint32_t r, g, b;
        if (flat) {
            r = flatChannels[0];
            g = flatChannels[1];
            b = flatChannels[2];
        } else {
            r = fixedChannel(colour[0]);
            g = fixedChannel(colour[1]);
            b = fixedChannel(colour[2]);
        }
        if constexpr (Textured) {
            uint32_t texel[3];
            sample(fu, fv, texel);
            r = texel[0] * r / 255;
            g = texel[1] * g / 255;
            b = texel[2] * b / 255;
        }
        if constexpr (Blend) {
            const uint16_t dst = *cell;
            auto mix = [this](uint32_t s, uint32_t d) {
                uint32_t sum =
                    s * factor(state.sourceBlend, s, d) + d * factor(state.destinationBlend, s, d);
                return std::min(sum / 255, 255u);
            };
            r = mix(r, red565(dst));
            g = mix(g, green565(dst));
            b = mix(b, blue565(dst));
        }
        *cell = packRgb565(r, g, b);
        if constexpr (Depth)
            if (state.depthWrite) *depthCell = uint16_t(z);
    }

    template <bool Depth, bool Textured, bool Blend>
    void spanWith(int y, int xStart, int xEnd, const float* start, const float* dx) const {
        Pixel a{start[AttrZ], start[AttrRhw], start[AttrU], start[AttrV],
                start[AttrR], start[AttrG],   start[AttrB]};
        const Pixel d{dx[AttrZ], dx[AttrRhw], dx[AttrU], dx[AttrV],
                      dx[AttrR], dx[AttrG],   dx[AttrB]};
        uint16_t* cell = target.color + std::ptrdiff_t(y) * target.colorPitch + xStart;
        uint16_t* depthCell =
            Depth ? target.depth + std::ptrdiff_t(y) * target.depthPitch + xStart : nullptr;
        // Texture coordinates: exact (divided by w) at the start of every run of kRun pixels,
        // stepped linearly within it in 16.16 texels, so the division and the conversions are
        // paid once per run.
        int64_t fu = 0, fv = 0, dfu = 0, dfv = 0;
        // Gouraud colour in 16.16, stepped without conversions; steps are held to what a span
        // of any length can add up without overflow.
        int64_t colour[3] = {toFixed(a.r), toFixed(a.g), toFixed(a.b)};
        const int64_t colourStep[3] = {toFixed(d.r), toFixed(d.g), toFixed(d.b)};
        int runLeft = 0;
        for (int x = xStart; x < xEnd; ++x) {
            if (Textured && runLeft == 0) {
                runLeft = std::min(kRun, xEnd - x);
                const float n = float(runLeft);
                float u0 = a.u, v0 = a.v, u1 = a.u + d.u * n, v1 = a.v + d.v * n;
                if (state.perspective) {
                    const float w0 = 1.0f / a.rhw, w1 = 1.0f / (a.rhw + d.rhw * n);
                    u0 *= w0;
                    v0 *= w0;
                    u1 *= w1;
                    v1 *= w1;
                }
                runStart(u0, u1, state.texture->width, runLeft, fu, dfu);
                runStart(v0, v1, state.texture->height, runLeft, fv, dfv);
            }
            plotWith<Depth, Textured, Blend>(cell, depthCell, a, fu, fv, colour);
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

    // A run's start and step in 16.16 texels from its end points in texture coordinates. Only
    // the position within the wrapped texture matters, so the start is brought near it; far-out
    // and undefined values are held to what fixed point can carry.
    void runStart(float from, float to, int size, int pixels, int64_t& start, int64_t& step) const {
        const double offset = linear ? 0.5 : 0.0;
        double t0 = double(from) * size - offset, t1 = double(to) * size - offset;
        if (!std::isfinite(t0) || !std::isfinite(t1)) {
            start = step = 0;
            return;
        }
        const double base = std::floor(t0 / size) * size;
        t0 -= base;
        t1 = std::clamp(t1 - base, t0 - 16777216.0, t0 + 16777216.0);
        start = std::llround(t0 * 65536.0);
        step = std::llround((t1 - t0) * 65536.0 / pixels);
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

    bool depthOn() const { return state.depthTest && target.depth; }

    // The pixels xStart..xEnd - 1 of row y; a holds the attributes at xStart and is stepped by dx.
    void span(int y, int xStart, int xEnd, const float* a, const float* dx) const {
        const int key = (depthOn() ? 4 : 0) | (state.texture ? 2 : 0) | (state.blend ? 1 : 0);
        switch (key) {
        case 0:
            spanWith<false, false, false>(y, xStart, xEnd, a, dx);
            break;
        case 1:
            spanWith<false, false, true>(y, xStart, xEnd, a, dx);
            break;
        case 2:
            spanWith<false, true, false>(y, xStart, xEnd, a, dx);
            break;
        case 3:
            spanWith<false, true, true>(y, xStart, xEnd, a, dx);
            break;
        case 4:
            spanWith<true, false, false>(y, xStart, xEnd, a, dx);
            break;
        case 5:
            spanWith<true, false, true>(y, xStart, xEnd, a, dx);
            break;
        case 6:
            spanWith<true, true, false>(y, xStart, xEnd, a, dx);
            break;
        default:
            spanWith<true, true, true>(y, xStart, xEnd, a, dx);
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

void drawTriangle(PixelPipeline& pipe, const ScreenVertex& v0, const ScreenVertex& v1,
                  const ScreenVertex& v2) {
    float area2 = (v1.x - v0.x) * (v2.y - v0.y) - (v2.x - v0.x) * (v1.y - v0.y);
    // On screen y grows downwards: a positive area is clockwise.
    if (!(area2 != 0) || !finite(v0) || !finite(v1) || !finite(v2)) return;
    if (pipe.state.cull == D3DCULL_CCW && area2 < 0) return;
    if (pipe.state.cull == D3DCULL_CW && area2 > 0) return;

    float dx[kAttributeCount], dy[kAttributeCount];
    for (int i = 0; i < kAttributeCount; ++i) {
        float d1 = v1.a[i] - v0.a[i], d2 = v2.a[i] - v0.a[i];
        dx[i] = (d1 * (v2.y - v0.y) - d2 * (v1.y - v0.y)) / area2;
        dy[i] = (d2 * (v1.x - v0.x) - d1 * (v2.x - v0.x)) / area2;
    }

    if (pipe.state.texture) {
        // Texels per pixel across the triangle decides between the two filters.
        const RasterTexture& t = *pipe.state.texture;
        auto uv = [](const ScreenVertex& v, int k) { return v.a[AttrU + k] / v.a[AttrRhw]; };
        float du1 = uv(v1, 0) - uv(v0, 0), dv1 = uv(v1, 1) - uv(v0, 1);
        float du2 = uv(v2, 0) - uv(v0, 0), dv2 = uv(v2, 1) - uv(v0, 1);
        float texels = std::fabs(du1 * dv2 - du2 * dv1) * float(t.width) * float(t.height);
        bool minifying = texels > std::fabs(area2);
        pipe.linear = minifying ? pipe.state.minFilter == D3DTFN_LINEAR
                                : pipe.state.magFilter == D3DTFG_LINEAR;
    }

    const ScreenVertex* s[3] = {&v0, &v1, &v2};
    std::sort(s, s + 3, [](const ScreenVertex* a, const ScreenVertex* b) { return a->y < b->y; });
    const ScreenVertex &top = *s[0], &mid = *s[1], &bottom = *s[2];

    int yStart = std::max(ceilToInt(top.y), pipe.clipTop);
    int yEnd = std::min(ceilToInt(bottom.y), pipe.clipBottom);
    auto edgeX = [](const ScreenVertex& a, const ScreenVertex& b, float y) {
        return a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y);
    };
    float a[kAttributeCount];
    for (int y = yStart; y < yEnd; ++y) {
        float fy = float(y);
        float xLong = edgeX(top, bottom, fy);
        float xShort = fy < mid.y ? edgeX(top, mid, fy) : edgeX(mid, bottom, fy);
        float left = std::min(xLong, xShort), right = std::max(xLong, xShort);
        int xStart = std::max(ceilToInt(left), pipe.clipLeft);
        int xEnd = std::min(ceilToInt(right), pipe.clipRight);
        if (xStart >= xEnd) continue;
        for (int i = 0; i < kAttributeCount; ++i)
            a[i] = v0.a[i] + dx[i] * (float(xStart) - v0.x) + dy[i] * (fy - v0.y);
        pipe.span(y, xStart, xEnd, a, dx);
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
        if (x < pipe.clipLeft || x >= pipe.clipRight || y < pipe.clipTop || y >= pipe.clipBottom)
            continue;
        for (int i = 0; i < kAttributeCount; ++i) a[i] = v0.a[i] + (v1.a[i] - v0.a[i]) * t;
        pipe.plot(x, y, a);
    }
}

void drawPoint(PixelPipeline& pipe, const ScreenVertex& v) {
    if (!finite(v)) return;
    float fx = std::floor(v.x + 0.5f), fy = std::floor(v.y + 0.5f);
    if (fx < float(pipe.clipLeft) || fx >= float(pipe.clipRight) || fy < float(pipe.clipTop) ||
        fy >= float(pipe.clipBottom))
        return;
    pipe.plot(int(fx), int(fy), v.a);
}

void setFlatColor(PixelPipeline& pipe, const ClipVertex& provoking) {
    pipe.flatChannels[0] = toChannel(provoking.r);
    pipe.flatChannels[1] = toChannel(provoking.g);
    pipe.flatChannels[2] = toChannel(provoking.b);
}

void triangle(PixelPipeline& pipe, const ClipVertex& a, const ClipVertex& b, const ClipVertex& c) {
    const Viewport2& vp = pipe.state.viewport;
    ClipVertex poly[kMaxClipVertices] = {a, b, c};
    int count = clipPolygon(poly, 3, vp);
    if (count < 3) return;
    ScreenVertex screen[kMaxClipVertices];
    for (int i = 0; i < count; ++i) screen[i] = project(poly[i], vp);
    for (int i = 1; i + 1 < count; ++i) drawTriangle(pipe, screen[0], screen[i], screen[i + 1]);
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
    drawLine(pipe, project(p, vp), project(q, vp));
}

void point(PixelPipeline& pipe, const ClipVertex& a) {
    for (int plane = 0; plane < 3; ++plane)
        if (planeDistance(a, plane, pipe.state.viewport) < 0) return;
    drawPoint(pipe, project(a, pipe.state.viewport));
}

} // namespace

bool rasterizePrimitive(const RasterTarget& target, const RasterState& state, uint32_t primitive,
                        const LitVertex* vertices, uint32_t count) {
    if (primitive < D3DPT_POINTLIST || primitive > D3DPT_TRIANGLEFAN) return false;
    const Viewport2& vp = state.viewport;
    PixelPipeline pipe{target, state, 0, 0, 0, 0};
    pipe.clipLeft = int(std::min<uint32_t>(vp.x, uint32_t(target.width)));
    pipe.clipTop = int(std::min<uint32_t>(vp.y, uint32_t(target.height)));
    pipe.clipRight = int(std::min<uint64_t>(uint64_t(vp.x) + vp.width, uint64_t(target.width)));
    pipe.clipBottom = int(std::min<uint64_t>(uint64_t(vp.y) + vp.height, uint64_t(target.height)));
    if (pipe.clipLeft >= pipe.clipRight || pipe.clipTop >= pipe.clipBottom || !target.color)
        return true;
    pipe.flat = !state.gouraud;
    pipe.texture565 = state.texture && PixelPipeline::is565(*state.texture);
    pipe.linear = state.magFilter == D3DTFG_LINEAR;

    auto at = [&](uint32_t i) { return transformVertex(state.transform, vertices[i]); };
    // Flat shading takes the colour of the first vertex of each primitive: the fan's centre, a
    // line's start.
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
    case D3DPT_TRIANGLELIST:
        for (uint32_t i = 0; i + 2 < count; i += 3) {
            ClipVertex v0 = at(i);
            setFlatColor(pipe, v0);
            triangle(pipe, v0, at(i + 1), at(i + 2));
        }
        break;
    case D3DPT_TRIANGLESTRIP:
        if (count >= 3) {
            ClipVertex a = at(0), b = at(1);
            for (uint32_t i = 2; i < count; ++i) {
                ClipVertex c = at(i);
                setFlatColor(pipe, a);
                // Every second triangle is reversed so that the strip keeps one winding.
                if (i % 2 == 0)
                    triangle(pipe, a, b, c);
                else
                    triangle(pipe, b, a, c);
                a = b;
                b = c;
            }
        }
        break;
    case D3DPT_TRIANGLEFAN:
        if (count >= 3) {
            ClipVertex centre = at(0), previous = at(1);
            setFlatColor(pipe, centre);
            for (uint32_t i = 2; i < count; ++i) {
                ClipVertex next = at(i);
                triangle(pipe, centre, previous, next);
                previous = next;
            }
        }
        break;
    }
    return true;
}

void clearTarget(const RasterTarget& target, const Rect& rect, bool color, uint16_t colorValue,
                 bool depth, uint16_t depthValue) {
    int left = std::max(rect.left, 0), top = std::max(rect.top, 0);
    int right = std::min(rect.right, target.width), bottom = std::min(rect.bottom, target.height);
    if (left >= right || top >= bottom) return;
    for (int y = top; y < bottom; ++y) {
        if (color && target.color) {
            uint16_t* row = target.color + std::ptrdiff_t(y) * target.colorPitch;
            std::fill(row + left, row + right, colorValue);
        }
        if (depth && target.depth) {
            uint16_t* row = target.depth + std::ptrdiff_t(y) * target.depthPitch;
            std::fill(row + left, row + right, depthValue);
        }
    }
}

} // namespace kestrune
