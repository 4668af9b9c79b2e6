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

int wrapIndex(int i, int n) {
    if ((n & (n - 1)) == 0) return i & (n - 1);
    i %= n;
    return i < 0 ? i + n : i;
}

// Everything per pixel: texture, modulation, depth, blend, write.
struct PixelPipeline {
    const RasterTarget& target;
    const RasterState& state;
    int clipLeft, clipTop, clipRight, clipBottom; // scissor: viewport within the target
    bool linear = false;                          // the filter this primitive samples with
    bool flat = false;
    float flatColor[3] = {0, 0, 0};

    void fetch(int x, int y, uint32_t out[3]) const {
        const RasterTexture& t = *state.texture;
        const uint8_t* p =
            t.pixels + std::ptrdiff_t(y) * t.pitch + std::ptrdiff_t(x) * t.bytesPerPixel;
        uint32_t value = t.bytesPerPixel == 2
                             ? uint32_t(p[0] | (p[1] << 8))
                             : uint32_t(p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24));
        for (int c = 0; c < 3; ++c) {
            uint32_t bits = t.bits[c];
            uint32_t v = (value >> t.shift[c]) & ((1u << bits) - 1);
            if (bits >= 8) {
                out[c] = v >> (bits - 8);
            } else {
                uint32_t e = v << (8 - bits); // replicate the high bits into the low ones
                for (uint32_t s = bits; s < 8; s += bits) e |= e >> bits;
                out[c] = e & 255;
            }
        }
    }

    void sample(float u, float v, uint32_t out[3]) const {
        const RasterTexture& t = *state.texture;
        if (!linear) {
            int x = wrapIndex(int(std::floor(u * float(t.width))), t.width);
            int y = wrapIndex(int(std::floor(v * float(t.height))), t.height);
            fetch(x, y, out);
            return;
        }
        float fx = u * float(t.width) - 0.5f, fy = v * float(t.height) - 0.5f;
        float x0f = std::floor(fx), y0f = std::floor(fy);
        float ax = fx - x0f, ay = fy - y0f;
        int x0 = wrapIndex(int(x0f), t.width), x1 = wrapIndex(int(x0f) + 1, t.width);
        int y0 = wrapIndex(int(y0f), t.height), y1 = wrapIndex(int(y0f) + 1, t.height);
        uint32_t c00[3], c10[3], c01[3], c11[3];
        fetch(x0, y0, c00);
        fetch(x1, y0, c10);
        fetch(x0, y1, c01);
        fetch(x1, y1, c11);
        for (int c = 0; c < 3; ++c) {
            float top = float(c00[c]) + (float(c10[c]) - float(c00[c])) * ax;
            float bottom = float(c01[c]) + (float(c11[c]) - float(c01[c])) * ax;
            out[c] = uint32_t(top + (bottom - top) * ay + 0.5f);
        }
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

    // One pixel at (x, y) of the target with interpolated attributes a (screen space).
    void plot(int x, int y, const float* a) const {
        uint16_t* depthCell = nullptr;
        uint32_t z = 0;
        if (state.depthTest && target.depth) {
            float zf = std::clamp(a[AttrZ], 0.0f, 1.0f) * 65535.0f + 0.5f;
            z = uint32_t(zf);
            z = z > state.depthBias ? z - state.depthBias : 0;
            depthCell = target.depth + std::ptrdiff_t(y) * target.depthPitch + x;
            if (!depthPasses(z, *depthCell)) return;
        }
        uint32_t color[3];
        const float* diffuse = flat ? flatColor : a + AttrR;
        for (int c = 0; c < 3; ++c) color[c] = uint32_t(std::clamp(diffuse[c], 0.0f, 255.0f));
        if (state.texture) {
            float u = a[AttrU], v = a[AttrV];
            if (state.perspective) {
                float w = 1.0f / a[AttrRhw];
                u *= w;
                v *= w;
            }
            uint32_t texel[3];
            sample(u, v, texel);
            for (int c = 0; c < 3; ++c) color[c] = texel[c] * color[c] / 255;
        }
        uint16_t* cell = target.color + std::ptrdiff_t(y) * target.colorPitch + x;
        if (state.blend) {
            uint32_t dst[3] = {red565(*cell), green565(*cell), blue565(*cell)};
            for (int c = 0; c < 3; ++c) {
                uint32_t s = color[c], d = dst[c];
                uint32_t sum =
                    s * factor(state.sourceBlend, s, d) + d * factor(state.destinationBlend, s, d);
                color[c] = std::min(sum / 255, 255u);
            }
        }
        *cell = packRgb565(color[0], color[1], color[2]);
        if (depthCell && state.depthWrite) *depthCell = uint16_t(z);
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

    int yStart = std::max(int(std::ceil(std::max(top.y, -1e9f))), pipe.clipTop);
    int yEnd = std::min(int(std::ceil(std::min(bottom.y, 1e9f))), pipe.clipBottom);
    auto edgeX = [](const ScreenVertex& a, const ScreenVertex& b, float y) {
        return a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y);
    };
    float a[kAttributeCount];
    for (int y = yStart; y < yEnd; ++y) {
        float fy = float(y);
        float xLong = edgeX(top, bottom, fy);
        float xShort = fy < mid.y ? edgeX(top, mid, fy) : edgeX(mid, bottom, fy);
        float left = std::min(xLong, xShort), right = std::max(xLong, xShort);
        int xStart = std::max(int(std::ceil(std::max(left, -1e9f))), pipe.clipLeft);
        int xEnd = std::min(int(std::ceil(std::min(right, 1e9f))), pipe.clipRight);
        if (xStart >= xEnd) continue;
        for (int i = 0; i < kAttributeCount; ++i)
            a[i] = v0.a[i] + dx[i] * (float(xStart) - v0.x) + dy[i] * (fy - v0.y);
        for (int x = xStart; x < xEnd; ++x) {
            pipe.plot(x, y, a);
            for (int i = 0; i < kAttributeCount; ++i) a[i] += dx[i];
        }
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
    long first = std::lround(std::floor(from + 0.5f)), last = std::lround(std::floor(to + 0.5f));
    long step = last >= first ? 1 : -1;
    // Bounded by the scissor so that a line reaching far off screen costs no more than one across.
    long limit = xMajor ? std::max(pipe.clipRight, 0) + 1 : std::max(pipe.clipBottom, 0) + 1;
    first = std::clamp(first, -1L, limit);
    last = std::clamp(last, -1L, limit);
    float a[kAttributeCount];
    for (long p = first; p != last; p += step) {
        float t = (float(p) - from) / delta;
        float other = (xMajor ? v0.y + t * dy : v0.x + t * dx);
        long q = std::lround(std::floor(other + 0.5f));
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
    pipe.flatColor[0] = provoking.r;
    pipe.flatColor[1] = provoking.g;
    pipe.flatColor[2] = provoking.b;
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
