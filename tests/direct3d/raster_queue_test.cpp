// The rasteriser's queue: triangles set up once on the recording thread and drawn by several
// threads in their own rows come out as one thread draws them, also when a draw holds more
// triangles than the queue and is recorded in parts with a flush between.
#include <gtest/gtest.h>

#include <vector>

#include "render/direct3d/soft/soft_raster_queue.h"

namespace kestrune {
namespace {

constexpr int kSide = 1000;
constexpr int kCell = 5; // pixels

LitVertex at(float sx, float sy, uint32_t diffuse) {
    LitVertex v{};
    v.x = sx / (kSide / 2) - 1; // pixel (sx, sy) of the viewport
    v.y = 1 - sy / (kSide / 2);
    v.z = 0.5f;
    v.diffuse = (diffuse & 0x3F3F3F) | 0x202020; // lit; two of them add up below 255
    return v;
}

// A list of 40000 small triangles, one to a cell, and a strip of as many in ribbons that cover
// the target's upper half, each more than the queue holds, added onto a black target: a triangle
// lost or drawn twice where a draw is split into parts changes its pixels.
TEST(RasterQueueTest, DrawsLargerThanTheQueueComeOutAsOnOneThread) {
    RasterState state;
    state.cull = D3DCULL_CCW;
    state.blend = true;
    state.sourceBlend = D3DBLEND_ONE;
    state.destinationBlend = D3DBLEND_ONE;
    state.transform = {};
    for (int i = 0; i < 4; ++i) state.transform.m[i][i] = 1;
    state.viewport = {0, 0, kSide, kSide, -1, 1, 2, 2, 0.000001f, 1};
    std::vector<LitVertex> list, strip;
    constexpr int kColumns = kSide / kCell;
    for (int i = 0; i < 40000; ++i) {
        const float x = float(i % kColumns * kCell), y = float(i / kColumns * kCell);
        const uint32_t diffuse = uint32_t(i) * 0x9E3779B1u;
        list.push_back(at(x, y, diffuse));
        list.push_back(at(x + 4.5f, y + 0.5f, diffuse >> 3));
        list.push_back(at(x + 0.5f, y + 4.5f, diffuse >> 5));
    }
    for (int ribbon = 0; ribbon < 100; ++ribbon) {
        const float top = float(ribbon * kCell);
        if (ribbon > 0) { // joined to the last ribbon by triangles of no area
            strip.push_back(strip.back());
            strip.push_back(at(0, top + kCell, 0));
        }
        for (int column = 0; column <= kColumns; ++column) {
            const uint32_t diffuse = uint32_t(ribbon * 1000 + column) * 0x2545F491u;
            strip.push_back(at(float(column * kCell), top + kCell, diffuse));
            strip.push_back(at(float(column * kCell), top, diffuse >> 4));
        }
    }
    std::vector<uint16_t> single;
    for (int threads : {1, 2, 3}) {
        std::vector<uint16_t> color(size_t(kSide) * kSide, 0);
        const RasterTarget target{color.data(), kSide, nullptr, 0, kSide, kSide};
        RasterQueue queue(threads);
        ASSERT_TRUE(
            queue.draw(target, state, D3DPT_TRIANGLELIST, list.data(), uint32_t(list.size())));
        ASSERT_TRUE(
            queue.draw(target, state, D3DPT_TRIANGLESTRIP, strip.data(), uint32_t(strip.size())));
        queue.flush();
        if (threads == 1) {
            size_t unlit = 0;
            for (size_t i = 0; i < color.size() / 2; ++i) unlit += color[i] == 0;
            EXPECT_EQ(unlit, 0u) << "of the strip's pixels";
            single = color;
        } else {
            EXPECT_TRUE(color == single) << threads << " threads";
        }
    }
}

} // namespace
} // namespace kestrune
