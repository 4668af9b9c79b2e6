// GDI drawing on a window's canvas: fills and pen lines leave out their right, bottom and last
// pixels, children clip, and text comes out in the stock system and ANSI fonts.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/canvas.h"
#include "platform/win32/win32_window.h"

namespace kestrune {
namespace {

constexpr Color kGrey = {140, 140, 140};
constexpr Color kRed = {255, 0, 0};
constexpr Color kYellow = {255, 255, 128};

class Win32Canvas : public ::testing::Test {
protected:
    void SetUp() override {
        window = createWindow("canvas", 10, 10, 60, 40, false, false, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        canvas = windowCanvas(window);
        ASSERT_NE(canvas.pixels, nullptr);
        fillRect(canvas, 0, 0, 60, 40, kGrey);
    }
    void TearDown() override { destroyWindow(window); }
    Color at(int x, int y) const { return canvasPixel(window, x, y); }

    PlatformWindow* window = nullptr;
    Canvas canvas;
};

TEST_F(Win32Canvas, FillsAndLinesLeaveOutTheirLastPixels) {
    fillRect(canvas, 2, 3, 5, 6, kRed);
    EXPECT_EQ(at(2, 3), kRed);
    EXPECT_EQ(at(4, 5), kRed);
    EXPECT_EQ(at(5, 5), kGrey);
    EXPECT_EQ(at(4, 6), kGrey);

    drawLine(canvas, 10, 1, 15, 1, kRed);
    EXPECT_EQ(at(10, 1), kRed);
    EXPECT_EQ(at(14, 1), kRed);
    EXPECT_EQ(at(15, 1), kGrey);

    // The bevel of a frame: down the left, along the top, each corner drawn once.
    const Point bevel[] = {{20, 30}, {20, 20}, {30, 20}};
    drawPolyline(canvas, bevel, kRed);
    EXPECT_EQ(at(20, 30), kRed);
    EXPECT_EQ(at(20, 20), kRed);
    EXPECT_EQ(at(29, 20), kRed);
    EXPECT_EQ(at(30, 20), kGrey);
    EXPECT_EQ(at(20, 31), kGrey);
}

TEST_F(Win32Canvas, ChildCanvasMovesTheOriginAndClips) {
    Canvas child = childCanvas(canvas, 30, 10, 10, 10);
    fillRect(child, -5, -5, 100, 100, kRed);
    EXPECT_EQ(at(30, 10), kRed);
    EXPECT_EQ(at(39, 19), kRed);
    EXPECT_EQ(at(29, 10), kGrey);
    EXPECT_EQ(at(40, 19), kGrey);
    EXPECT_EQ(at(30, 20), kGrey);
    drawLine(child, 0, 0, 50, 0, kYellow);
    EXPECT_EQ(at(35, 10), kYellow);
    EXPECT_EQ(at(45, 10), kGrey);
}

TEST_F(Win32Canvas, NestedChildrenDrawAtTheirOwnPlace) {
    Canvas inner = childCanvas(childCanvas(canvas, 20, 10, 30, 20), 5, 3, 10, 10);
    fillRect(inner, 0, 0, 10, 10, kRed);
    const Point corner[] = {{0, 9}, {0, 0}, {9, 0}};
    drawPolyline(inner, corner, kYellow);
    drawText(inner, 1, 1, "X", kYellow, Font::Ansi);
    EXPECT_EQ(at(0, 0), kGrey);
    EXPECT_EQ(at(1, 1), kGrey);
    EXPECT_EQ(at(25, 13), kYellow);
    EXPECT_EQ(at(34, 22), kRed);
    EXPECT_EQ(at(35, 23), kGrey);

    // What reaches the screen is the whole canvas from its corner, whatever was drawn last.
    presentCanvas(window);
    HDC screen = GetDC(win32Window(window)->hwnd);
    EXPECT_EQ(GetPixel(screen, 34, 22), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(screen, 0, 0), RGB(140, 140, 140));
    ReleaseDC(win32Window(window)->hwnd, screen);
}

// Counts the pixels of one colour in a rectangle.
int countColour(PlatformWindow* window, int left, int top, int right, int bottom, Color colour) {
    int n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) n += canvasPixel(window, x, y) == colour;
    return n;
}

TEST_F(Win32Canvas, TextIsTransparentInTheStockFonts) {
    const int height = fontHeight(Font::System);
    EXPECT_GT(height, 8);
    EXPECT_GT(fontHeight(Font::Ansi), 8);
    const int wide = textWidth("WWWW", Font::Ansi);
    EXPECT_GT(wide, textWidth("iiii", Font::Ansi)); // variable width
    EXPECT_GT(textWidth("GO!!", Font::System), 0);

    // Transparent: what the glyphs leave is the background, and nothing lands outside the
    // text's box. (Wine may smooth the glyph edges, so only the untouched pixels are exact.)
    drawText(canvas, 5, 3, "GO!!", kYellow, Font::System);
    const int right = 5 + textWidth("GO!!", Font::System);
    const int box = (right - 5) * height;
    const int background = countColour(window, 5, 3, right, 3 + height, kGrey);
    EXPECT_GT(box - background, 10);
    EXPECT_GT(background, box / 3);
    EXPECT_EQ(countColour(window, 0, 0, 60, 40, kGrey), 60 * 40 - (box - background));

    // Centred text straddles x.
    fillRect(canvas, 0, 0, 60, 40, kGrey);
    drawText(canvas, 30, 20, "X", kRed, Font::Ansi, TextAlign::Center);
    EXPECT_LT(countColour(window, 20, 20, 30, 40, kGrey), 10 * 20);
    EXPECT_LT(countColour(window, 30, 20, 40, 40, kGrey), 10 * 20);
}

} // namespace
} // namespace kestrune
