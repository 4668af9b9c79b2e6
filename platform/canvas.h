// The 2D canvas of a window without GL: fills, one-pixel lines and bitmap text, drawn the way the
// classic window system's GDI draws them.
#pragma once

#include <cstdint>
#include <span>

#include "platform/window.h"

namespace kestrune {

struct Color {
    uint8_t r, g, b;
    bool operator==(const Color&) const = default;
};

struct Point {
    int x, y;
};

enum class Font : uint8_t {
    System, // the bold system font
    Ansi,   // the variable-width ANSI font
};

enum class TextAlign : uint8_t { Left, Center };

// A drawing area: coordinates are relative to (originX, originY) of the window's pixels and
// nothing lands outside the clip rectangle (window pixels, right and bottom excluded).
struct Canvas {
    uint32_t* pixels = nullptr; // 0x00RRGGBB rows of the window
    int stride = 0;             // pixels per row
    int originX = 0;
    int originY = 0;
    int clipLeft = 0;
    int clipTop = 0;
    int clipRight = 0;
    int clipBottom = 0;
};

// The whole client area of a window without GL; empty for GL windows.
Canvas windowCanvas(PlatformWindow* window);
// The part of a canvas at (x, y), width x height: its own origin, the clip narrowed to it.
Canvas childCanvas(const Canvas& canvas, int x, int y, int width, int height);
// Shows what was drawn on the window's canvas.
void presentCanvas(PlatformWindow* window);

// Fills (left, top) to (right, bottom), right and bottom excluded.
void fillRect(const Canvas& canvas, int left, int top, int right, int bottom, Color color);
// A line that leaves out its last point.
void drawLine(const Canvas& canvas, int x0, int y0, int x1, int y1, Color color);
// Connected lines through the points; every segment leaves out its last point.
void drawPolyline(const Canvas& canvas, std::span<const Point> points, Color color);
// Text with a transparent background; y is the top of the character cells, x the left edge or
// the centre.
void drawText(const Canvas& canvas, int x, int y, const char* text, Color color, Font font,
              TextAlign align = TextAlign::Left);
int textWidth(const char* text, Font font);
int fontHeight(Font font);

// The colour of one canvas pixel (window coordinates); black outside the canvas.
Color canvasPixel(const PlatformWindow* window, int x, int y);

} // namespace kestrune
