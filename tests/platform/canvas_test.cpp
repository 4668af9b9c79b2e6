// The canvas draws as the classic window system does: fills and lines leave out their right,
// bottom and last pixels; text is transparent; children clip.
#include <gtest/gtest.h>

#include <vector>

#include "platform/canvas.h"

namespace kestrune {
namespace {

struct Surface {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(20 * 20, 0x123456);
    Canvas canvas() {
        Canvas c;
        c.pixels = pixels.data();
        c.stride = 20;
        c.clipRight = 20;
        c.clipBottom = 20;
        return c;
    }
    uint32_t at(int x, int y) const { return pixels[y * 20 + x]; }
};

constexpr Color kRed = {255, 0, 0};
constexpr uint32_t kRedPixel = 0xff0000;
constexpr uint32_t kUntouched = 0x123456;

TEST(Canvas, FillLeavesOutTheRightAndBottomEdges) {
    Surface s;
    fillRect(s.canvas(), 2, 3, 5, 6, kRed);
    EXPECT_EQ(s.at(2, 3), kRedPixel);
    EXPECT_EQ(s.at(4, 5), kRedPixel);
    EXPECT_EQ(s.at(5, 5), kUntouched);
    EXPECT_EQ(s.at(4, 6), kUntouched);
    EXPECT_EQ(s.at(1, 3), kUntouched);
}

TEST(Canvas, LinesAndPolylinesLeaveOutTheirLastPoint) {
    Surface s;
    drawLine(s.canvas(), 0, 0, 5, 0, kRed);
    EXPECT_EQ(s.at(4, 0), kRedPixel);
    EXPECT_EQ(s.at(5, 0), kUntouched);
    const Point corner[] = {{10, 10}, {10, 5}, {15, 5}};
    drawPolyline(s.canvas(), corner, kRed);
    EXPECT_EQ(s.at(10, 10), kRedPixel);
    EXPECT_EQ(s.at(10, 5), kRedPixel);
    EXPECT_EQ(s.at(14, 5), kRedPixel);
    EXPECT_EQ(s.at(15, 5), kUntouched);
    // A diagonal steps one pixel in each direction.
    drawLine(s.canvas(), 19, 16, 16, 19, kRed);
    EXPECT_EQ(s.at(19, 16), kRedPixel);
    EXPECT_EQ(s.at(18, 17), kRedPixel);
    EXPECT_EQ(s.at(17, 18), kRedPixel);
    EXPECT_EQ(s.at(16, 19), kUntouched);
    EXPECT_EQ(s.at(18, 16), kUntouched);
}

TEST(Canvas, ChildCanvasMovesTheOriginAndClips) {
    Surface s;
    Canvas child = childCanvas(s.canvas(), 4, 4, 3, 3);
    fillRect(child, -10, -10, 50, 50, kRed);
    EXPECT_EQ(s.at(4, 4), kRedPixel);
    EXPECT_EQ(s.at(6, 6), kRedPixel);
    EXPECT_EQ(s.at(7, 6), kUntouched);
    EXPECT_EQ(s.at(3, 4), kUntouched);
    drawLine(child, -5, 1, 30, 1, kRed); // clipped, not written outside
    EXPECT_EQ(s.at(8, 5), kUntouched);
}

TEST(Canvas, TextIsTransparentAndProportional) {
    Surface s;
    drawText(s.canvas(), 1, 1, "Hi", kRed, Font::Ansi);
    int inked = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            uint32_t p = s.at(x, y);
            EXPECT_TRUE(p == kRedPixel || p == kUntouched);
            inked += p == kRedPixel;
            if (p == kRedPixel) {
                EXPECT_GE(x, 1);
                EXPECT_LT(y, 1 + fontHeight(Font::Ansi));
            }
        }
    EXPECT_GT(inked, 10);
    EXPECT_LT(textWidth("i", Font::Ansi), textWidth("W", Font::Ansi));
    EXPECT_GT(fontHeight(Font::System), fontHeight(Font::Ansi));
}

TEST(Canvas, CentredTextStraddlesThePoint) {
    Surface s;
    drawText(s.canvas(), 10, 2, "--", kRed, Font::Ansi, TextAlign::Center);
    int left = 20, right = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            if (s.at(x, y) == kRedPixel) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    EXPECT_LT(left, 10);
    EXPECT_GE(right, 10);
    EXPECT_LE(std::abs((left + right) / 2 - 10), 2);
}

} // namespace
} // namespace kestrune
