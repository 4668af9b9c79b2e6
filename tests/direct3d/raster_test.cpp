// The software rasteriser against pixels worked out by hand: projection and viewport mapping,
// 5-6-5 packing, flat versus Gouraud, both blend factor pairs, depth test and bias, near
// clipping, open line strips and perspective-correct texturing.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "render/direct3d/soft/soft_rasterizer.h"

namespace kestrune {
namespace {

constexpr int kSize = 64;

Matrix4 identityMatrix() {
    Matrix4 m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1;
    return m;
}

// The backend's projection: (x, y, z, 1) -> (2x, 2y, z - 0.1, z).
Matrix4 backendProjection() {
    Matrix4 m = identityMatrix();
    m.m[0][0] = 2;
    m.m[1][1] = 2;
    m.m[2][3] = 1;
    m.m[3][2] = -0.1f;
    m.m[3][3] = 0;
    return m;
}

struct Canvas {
    std::vector<uint16_t> color = std::vector<uint16_t>(kSize * kSize, 0);
    std::vector<uint16_t> depth = std::vector<uint16_t>(kSize * kSize, 0xFFFF);
    RasterState state;

    Canvas() {
        state.depthTest = true;
        state.cull = D3DCULL_NONE;
        state.transform = identityMatrix();
        state.viewport = {0, 0, kSize, kSize, -1, 1, 2, 2, 0.000001f, 1};
    }
    RasterTarget target() { return {color.data(), kSize, depth.data(), kSize, kSize, kSize}; }
    void draw(uint32_t primitive, const std::vector<LitVertex>& v) {
        ASSERT_TRUE(rasterizePrimitive(target(), state, primitive, v.data(), uint32_t(v.size())));
    }
    uint16_t at(int x, int y) const { return color[size_t(y) * kSize + size_t(x)]; }
    uint16_t depthAt(int x, int y) const { return depth[size_t(y) * kSize + size_t(x)]; }
    int lit() const {
        int n = 0;
        for (uint16_t p : color) n += p != 0;
        return n;
    }
};

uint32_t argb(uint32_t r, uint32_t g, uint32_t b) {
    return (r << 16) | (g << 8) | b;
}

LitVertex vertex(float x, float y, float z, uint32_t diffuse = 0xFFFFFF, float u = 0, float v = 0) {
    LitVertex out{};
    out.x = x;
    out.y = y;
    out.z = z;
    out.diffuse = diffuse;
    out.u = u;
    out.v = v;
    return out;
}

// With the identity transform a screen pixel (sx, sy) of the 64 x 64 viewport is at
// x = sx / 32 - 1, y = 1 - sy / 32.
LitVertex screen(float sx, float sy, float z, uint32_t diffuse = 0xFFFFFF) {
    return vertex(sx / 32 - 1, 1 - sy / 32, z, diffuse);
}

TEST(RasterTest, PackingKeepsEachChannelsHighBitsAndReplicatesThemBack) {
    // 200 = 11001|000 -> 25; 100 = 011001|00 -> 25; 50 = 00110|010 -> 6.
    EXPECT_EQ(packRgb565(200, 100, 50), (25 << 11) | (25 << 5) | 6);
    // 25 -> 11001 110 = 206; 25 (6 bits) -> 011001 01 = 101; 6 -> 00110 001 = 49.
    uint16_t p = packRgb565(200, 100, 50);
    EXPECT_EQ(red565(p), 206u);
    EXPECT_EQ(green565(p), 101u);
    EXPECT_EQ(blue565(p), 49u);
    EXPECT_EQ(packRgb565(255, 255, 255), 0xFFFF);
    EXPECT_EQ(red565(0xFFFF), 255u);
}

TEST(RasterTest, ProjectionAndViewportPlaceAPointAndItsDepth) {
    Canvas c;
    c.state.transform = backendProjection();
    // (0.5, 0.25, 2) -> clip (1, 0.5, 1.9, 2) -> (0.5, 0.25, 0.95) -> pixel (48, 24).
    c.draw(D3DPT_POINTLIST, {vertex(0.5f, 0.25f, 2, argb(200, 100, 50))});
    EXPECT_EQ(c.lit(), 1);
    EXPECT_EQ(c.at(48, 24), packRgb565(200, 100, 50));
    // Depth (0.95 - 0.000001) / (1 - 0.000001) x 65535 = 62258.2 -> 62258.
    EXPECT_NEAR(c.depthAt(48, 24), 62258, 1);

    // A viewport at (8, 4) of 32 x 16: the same point lands at 8 + 1.5 x 16, 4 + 0.75 x 8.
    Canvas v;
    v.state.transform = backendProjection();
    v.state.viewport = {8, 4, 32, 16, -1, 1, 2, 2, 0.000001f, 1};
    v.draw(D3DPT_POINTLIST, {vertex(0.5f, 0.25f, 2)});
    EXPECT_EQ(v.at(32, 10), 0xFFFF);
    // Outside the viewport nothing is drawn, even when the target is larger.
    v.draw(D3DPT_POINTLIST, {vertex(0.9f, 0.9f, 1)});
    EXPECT_EQ(v.lit(), 1);
}

TEST(RasterTest, GouraudInterpolatesAndFlatFanTrianglesTakeTheVertexAfterTheCentre) {
    // A triangle over screen (0, 0), (32, 0), (0, 32): red grows 5 per pixel to the right,
    // blue stays 255.
    std::vector<LitVertex> tri = {screen(0, 0, 0.5f, argb(0, 0, 255)),
                                  screen(32, 0, 0.5f, argb(160, 0, 255)),
                                  screen(0, 32, 0.5f, argb(0, 0, 255))};
    Canvas g;
    g.draw(D3DPT_TRIANGLEFAN, tri);
    EXPECT_EQ(g.at(8, 4), packRgb565(40, 0, 255));
    EXPECT_EQ(g.at(20, 2), packRgb565(100, 0, 255));
    // The top-left rule: the top and left edges are in, the diagonal's far side is out.
    EXPECT_NE(g.at(0, 0), 0);
    EXPECT_EQ(g.at(20, 20), 0);

    // Flat: fan triangle i takes vertex i + 1, never the centre. The square (0, 0)-(32, 32) as a
    // fan: triangle 0 is above the diagonal, triangle 1 below it.
    Canvas f;
    f.state.gouraud = false;
    f.draw(D3DPT_TRIANGLEFAN,
           {screen(0, 0, 0.5f, argb(255, 0, 0)), screen(32, 0, 0.5f, argb(0, 255, 0)),
            screen(32, 32, 0.5f, argb(0, 0, 255)), screen(0, 32, 0.5f, argb(255, 255, 255))});
    EXPECT_EQ(f.at(20, 4), packRgb565(0, 255, 0));
    EXPECT_EQ(f.at(4, 20), packRgb565(0, 0, 255));
}

TEST(RasterTest, TranslucentFactorsAndOpaqueFactors) {
    const uint16_t background = packRgb565(255, 0, 132); // reads back as (255, 0, 132)
    const std::vector<LitVertex> quad = {
        screen(0, 0, 0.5f, argb(200, 100, 0)), screen(64, 0, 0.5f, argb(200, 100, 0)),
        screen(64, 64, 0.5f, argb(200, 100, 0)), screen(0, 64, 0.5f, argb(200, 100, 0))};
    Canvas c;
    std::fill(c.color.begin(), c.color.end(), background);
    c.state.blend = true;
    c.state.sourceBlend = D3DBLEND_INVSRCCOLOR;
    c.state.destinationBlend = D3DBLEND_INVDESTCOLOR;
    c.draw(D3DPT_TRIANGLEFAN, quad);
    // s x (255 - s) + d x (255 - d), over 255: red (200 x 55 + 255 x 0) / 255 = 43,
    // green (100 x 155 + 0) / 255 = 60, blue (0 + 132 x 123) / 255 = 63.
    EXPECT_EQ(c.at(10, 10), packRgb565(43, 60, 63));

    Canvas o;
    std::fill(o.color.begin(), o.color.end(), background);
    o.state.blend = true;
    o.state.sourceBlend = D3DBLEND_ONE;
    o.state.destinationBlend = D3DBLEND_ZERO;
    o.draw(D3DPT_TRIANGLEFAN, quad);
    EXPECT_EQ(o.at(10, 10), packRgb565(200, 100, 0));
}

TEST(RasterTest, DepthTestLessOrEqualAndBias) {
    Canvas c;
    c.draw(D3DPT_POINTLIST, {screen(10, 10, 0.5f, argb(255, 0, 0))});
    c.draw(D3DPT_POINTLIST, {screen(10, 10, 0.6f, argb(0, 255, 0))});
    EXPECT_EQ(c.at(10, 10), packRgb565(255, 0, 0)) << "farther point hidden";
    c.draw(D3DPT_POINTLIST, {screen(10, 10, 0.5f, argb(0, 0, 255))});
    EXPECT_EQ(c.at(10, 10), packRgb565(0, 0, 255)) << "equal depth passes";

    // One depth unit behind: hidden without bias, drawn with a bias of 1.
    const uint16_t stored = c.depthAt(10, 10);
    const float behind = 0.000001f + float(stored + 1) / 65535.0f * (1 - 0.000001f);
    c.draw(D3DPT_POINTLIST, {screen(10, 10, behind, argb(0, 255, 0))});
    EXPECT_EQ(c.at(10, 10), packRgb565(0, 0, 255));
    c.state.depthBias = 1;
    c.state.depthWrite = false;
    c.draw(D3DPT_POINTLIST, {screen(10, 10, behind, argb(0, 255, 0))});
    EXPECT_EQ(c.at(10, 10), packRgb565(0, 255, 0));
    EXPECT_EQ(c.depthAt(10, 10), stored) << "depth writes off";
}

TEST(RasterTest, NearPlaneClipsInsteadOfDividingByZero) {
    Canvas c;
    c.state.transform = backendProjection();
    // Wholly behind the near plane (z < 0.1): nothing.
    c.draw(D3DPT_TRIANGLEFAN,
           {vertex(-0.5f, -0.5f, 0.05f), vertex(0.5f, -0.5f, 0.05f), vertex(0, 0.5f, -1)});
    EXPECT_EQ(c.lit(), 0);
    // A and B at z = 1 project to the bottom corners (0, 64) and (64, 64); C, in the eye plane,
    // is cut where the edges reach z = 0.1: at x = -/+0.05, y = 0.08, that is at (0, -224) and
    // (64, -224) on screen. What is left covers the whole viewport.
    c.draw(D3DPT_TRIANGLEFAN,
           {vertex(-0.5f, -0.5f, 1), vertex(0.5f, -0.5f, 1), vertex(0, 0.5f, 0)});
    for (auto [x, y] : {std::pair{32, 0}, {32, 63}, {1, 1}, {62, 1}, {1, 62}, {62, 62}})
        EXPECT_NE(c.at(x, y), 0) << x << "," << y;
}

TEST(RasterTest, LineStripIsOpenAndLinesLeaveOutTheirLastPixel) {
    Canvas c;
    c.draw(D3DPT_LINESTRIP, {screen(2, 2, 0.5f), screen(10, 2, 0.5f), screen(10, 10, 0.5f)});
    for (int x = 2; x < 10; ++x) EXPECT_NE(c.at(x, 2), 0) << x;
    for (int y = 2; y < 10; ++y) EXPECT_NE(c.at(10, y), 0) << y;
    EXPECT_EQ(c.at(10, 10), 0);
    EXPECT_EQ(c.at(6, 6), 0) << "no closing segment";
    EXPECT_EQ(c.lit(), 16);

    Canvas l;
    l.state.gouraud = false;
    l.draw(D3DPT_LINELIST, {screen(0, 5, 0.5f, argb(255, 0, 0)), screen(4, 5, 0.5f, 0)});
    EXPECT_EQ(l.at(3, 5), packRgb565(255, 0, 0)) << "flat line takes its first vertex";
    EXPECT_EQ(l.lit(), 4);
}

TEST(RasterTest, CullingCounterClockwiseOnScreen) {
    // (0, 0) -> (32, 0) -> (0, 32) turns clockwise on screen (y grows downwards).
    std::vector<LitVertex> clockwise = {screen(0, 0, 0.5f), screen(32, 0, 0.5f),
                                        screen(0, 32, 0.5f)};
    std::vector<LitVertex> counter = {clockwise[0], clockwise[2], clockwise[1]};
    Canvas c;
    c.state.cull = D3DCULL_CCW;
    c.draw(D3DPT_TRIANGLEFAN, counter);
    EXPECT_EQ(c.lit(), 0);
    c.draw(D3DPT_TRIANGLEFAN, clockwise);
    EXPECT_GT(c.lit(), 0);
}

TEST(RasterTest, TexturesArePerspectiveCorrectOrAffineAndWrap) {
    // Two texels: black then white.
    const uint16_t texels[2] = {0x0000, 0xFFFF};
    RasterTexture t;
    t.pixels = reinterpret_cast<const uint8_t*>(texels);
    t.pitch = 4;
    t.width = 2;
    t.height = 1;
    Canvas c;
    c.state.transform = backendProjection();
    c.state.texture = &t;
    // Left edge at z = 1, right edge at z = 3; on screen columns 16 to 48. u = 0.5 is at
    // x = 0.25, z = 2: column 40, not the middle column 32.
    const std::vector<LitVertex> receding = {
        vertex(-0.25f, -0.25f, 1, 0xFFFFFF, 0, 0), vertex(0.75f, -0.75f, 3, 0xFFFFFF, 1, 0),
        vertex(0.75f, 0.75f, 3, 0xFFFFFF, 1, 0), vertex(-0.25f, 0.25f, 1, 0xFFFFFF, 0, 0)};
    c.draw(D3DPT_TRIANGLEFAN, receding);
    EXPECT_EQ(c.at(34, 32), 0x0000) << "an affine mapping would be white here";
    EXPECT_EQ(c.at(38, 32), 0x0000);
    EXPECT_EQ(c.at(42, 32), 0xFFFF);

    // With perspective correction off, u runs linearly across the screen: 0.5 at column 32.
    Canvas a;
    a.state.transform = backendProjection();
    a.state.texture = &t;
    a.state.perspective = false;
    a.draw(D3DPT_TRIANGLEFAN, receding);
    EXPECT_EQ(a.at(20, 32), 0x0000);
    EXPECT_EQ(a.at(30, 32), 0x0000);
    EXPECT_EQ(a.at(34, 32), 0xFFFF);
    EXPECT_EQ(a.at(46, 32), 0xFFFF);

    // u from 0 to 2 across a screen-parallel quad repeats the texture.
    Canvas w;
    w.state.texture = &t;
    w.draw(D3DPT_TRIANGLEFAN,
           {vertex(-1, 1, 0.5f, 0xFFFFFF, 0, 0), vertex(1, 1, 0.5f, 0xFFFFFF, 2, 0),
            vertex(1, -1, 0.5f, 0xFFFFFF, 2, 0), vertex(-1, -1, 0.5f, 0xFFFFFF, 0, 0)});
    EXPECT_EQ(w.at(4, 8), 0x0000);
    EXPECT_EQ(w.at(20, 8), 0xFFFF);
    EXPECT_EQ(w.at(36, 8), 0x0000);
    EXPECT_EQ(w.at(52, 8), 0xFFFF);
}

TEST(RasterTest, ModulateAndLinearFilter) {
    const uint16_t texels[2] = {packRgb565(0, 0, 0), packRgb565(255, 255, 255)};
    RasterTexture t;
    t.pixels = reinterpret_cast<const uint8_t*>(texels);
    t.pitch = 4;
    t.width = 2;
    t.height = 1;
    Canvas c;
    c.state.texture = &t;
    c.state.magFilter = D3DTFG_LINEAR;
    // u = 0.5 at column 32 lies between the two texel centres (0.25 and 0.75): half white,
    // times the diffuse (200, 100, 50).
    c.draw(D3DPT_TRIANGLEFAN, {vertex(-1, 1, 0.5f, argb(200, 100, 50), 0, 0),
                               vertex(1, 1, 0.5f, argb(200, 100, 50), 1, 0),
                               vertex(1, -1, 0.5f, argb(200, 100, 50), 1, 0),
                               vertex(-1, -1, 0.5f, argb(200, 100, 50), 0, 0)});
    // 128 x 200 / 255 = 100, 128 x 100 / 255 = 50, 128 x 50 / 255 = 25.
    EXPECT_EQ(c.at(32, 10), packRgb565(100, 50, 25));
}

// 5-6-5 textures with power-of-two sides take their own sampling path; the same texels widened
// into a 32-bit layout take the general one. Both filters, wrapping, Gouraud colour, the
// translucent blend and the depth test (a square part in front, part behind) must come out the
// same pixel for pixel, in colour and depth.
TEST(RasterTest, FastTexturePathsMatchTheGeneralLayout) {
    for (int width : {4, 3}) { // 3: not a power of two, the general path on both sides
        const int height = 4;
        std::vector<uint16_t> texels(size_t(width * height));
        std::vector<uint32_t> wide(texels.size());
        uint32_t seed = 12345;
        for (size_t i = 0; i < texels.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            texels[i] = uint16_t(seed >> 16);
            wide[i] = argb(red565(texels[i]), green565(texels[i]), blue565(texels[i]));
        }
        RasterTexture t565;
        t565.pixels = reinterpret_cast<const uint8_t*>(texels.data());
        t565.pitch = width * 2;
        t565.width = width;
        t565.height = height;
        RasterTexture t32 = t565;
        t32.pixels = reinterpret_cast<const uint8_t*>(wide.data());
        t32.pitch = width * 4;
        t32.bytesPerPixel = 4;
        t32.shift[0] = 16;
        t32.shift[1] = 8;
        t32.shift[2] = 0;
        t32.bits[0] = t32.bits[1] = t32.bits[2] = 8;
        for (bool linear : {false, true}) {
            for (bool blend : {false, true}) {
                Canvas fast, general;
                for (Canvas* c : {&fast, &general}) {
                    std::fill(c->color.begin(), c->color.end(), packRgb565(90, 160, 30));
                    c->state.transform = backendProjection();
                    c->draw(D3DPT_TRIANGLEFAN, {vertex(-0.3f, 0.4f, 1.5f, argb(9, 9, 9)),
                                                vertex(0.6f, 0.4f, 3, argb(9, 9, 9)),
                                                vertex(0.6f, -0.6f, 3, argb(9, 9, 9)),
                                                vertex(-0.3f, -0.6f, 1.5f, argb(9, 9, 9))});
                    c->state.texture = c == &fast ? &t565 : &t32;
                    c->state.magFilter = linear ? D3DTFG_LINEAR : D3DTFG_POINT;
                    c->state.minFilter = linear ? D3DTFN_LINEAR : D3DTFN_POINT;
                    c->state.blend = blend;
                    c->state.sourceBlend = D3DBLEND_INVSRCCOLOR;
                    c->state.destinationBlend = D3DBLEND_INVDESTCOLOR;
                    c->draw(D3DPT_TRIANGLEFAN,
                            {vertex(-0.5f, 0.5f, 1, argb(255, 40, 200), -1, -1),
                             vertex(0.9f, 0.7f, 3, argb(30, 255, 90), 3.5f, -1),
                             vertex(0.9f, -0.9f, 3, argb(255, 255, 255), 3.5f, 2),
                             vertex(-0.5f, -0.5f, 1, argb(0, 120, 10), -1, 2)});
                }
                EXPECT_GT(fast.lit(), 400);
                EXPECT_EQ(fast.color, general.color)
                    << "width " << width << (linear ? " linear" : " point")
                    << (blend ? " translucent" : " opaque");
                EXPECT_EQ(fast.depth, general.depth);
            }
        }
    }
}

TEST(RasterTest, ClearFillsOnlyTheRectangleWithinTheTarget) {
    Canvas c;
    clearTarget(c.target(), {{60, 60, 100, 100}, true, 0x1234, true, 7});
    EXPECT_EQ(c.at(63, 63), 0x1234);
    EXPECT_EQ(c.depthAt(60, 60), 7);
    EXPECT_EQ(c.at(59, 63), 0);
    EXPECT_EQ(c.lit(), 16);
}

// Threads share a target by bands of rows, dealt by a repeating pattern or in turn. Every row has
// exactly one thread, and whether a thread has any row of a range (which lets it skip a
// primitive) agrees with its rows one by one, for ranges shorter and longer than the pattern.
TEST(RasterTest, BandsGiveEveryRowOneThreadAndRangesAgreeWithTheirRows) {
    uint8_t owners[kRasterBandCycle] = {};
    owners[kRasterBandCycle - 1] = 1; // thread 1 has one band a cycle, thread 2 two
    owners[5] = owners[40] = 2;
    const int cycleRows = kRasterBandCycle * kRasterBandRows;
    for (const uint8_t* pattern : {static_cast<const uint8_t*>(owners), (const uint8_t*)nullptr}) {
        for (int y = 0; y < 2 * cycleRows; ++y) {
            int threads = 0;
            for (uint32_t t = 0; t < 3; ++t) threads += RasterRows{t, 3, pattern}.owns(y);
            ASSERT_EQ(threads, 1) << "row " << y;
        }
        for (uint32_t t = 0; t < 3; ++t) {
            const RasterRows rows{t, 3, pattern};
            for (int from = 0; from < cycleRows + 8; from += 3)
                for (int to = from; to <= from + cycleRows + 8; ++to) {
                    bool any = false;
                    for (int y = from; y < to; ++y) any = any || rows.owns(y);
                    ASSERT_EQ(rows.ownsAny(from, to), any)
                        << "thread " << t << ", rows " << from << ".." << to;
                }
        }
    }
}

} // namespace
} // namespace kestrune
