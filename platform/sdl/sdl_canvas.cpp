// The 2D canvas: software drawing into the window's pixel buffer with the bitmap fonts; the SDL
// and web platforms show the buffer their own way (presentCanvas).
#include <algorithm>
#include <cstdlib>

#include "platform/canvas.h"
#include "platform/sdl/sdl_font.h"

namespace kestrune {

namespace {

uint32_t pack(Color c) {
    return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
}

void plot(const Canvas& canvas, int x, int y, uint32_t value) {
    x += canvas.originX;
    y += canvas.originY;
    if (x < canvas.clipLeft || x >= canvas.clipRight || y < canvas.clipTop ||
        y >= canvas.clipBottom)
        return;
    canvas.pixels[static_cast<size_t>(y) * canvas.stride + x] = value;
}

const BitmapFont& bitmapFont(Font font) {
    return font == Font::System ? kSystemFont : kAnsiFont;
}

int glyphIndex(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u < kFontFirstChar || u > kFontLastChar) u = '?';
    return u - kFontFirstChar;
}

} // namespace

void fillRect(const Canvas& canvas, int left, int top, int right, int bottom, Color color) {
    int l = std::max(left + canvas.originX, canvas.clipLeft);
    int t = std::max(top + canvas.originY, canvas.clipTop);
    int r = std::min(right + canvas.originX, canvas.clipRight);
    int b = std::min(bottom + canvas.originY, canvas.clipBottom);
    uint32_t value = pack(color);
    for (int y = t; y < b; ++y)
        std::fill_n(canvas.pixels + static_cast<size_t>(y) * canvas.stride + l, std::max(0, r - l),
                    value);
}

void drawLine(const Canvas& canvas, int x0, int y0, int x1, int y1, Color color) {
    // Bresenham's walk from the first point; the last point is not drawn.
    uint32_t value = pack(color);
    int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    while (x0 != x1 || y0 != y1) {
        plot(canvas, x0, y0, value);
        int e2 = 2 * error;
        if (e2 >= dy) {
            error += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            error += dx;
            y0 += sy;
        }
    }
}

void drawPolyline(const Canvas& canvas, std::span<const Point> points, Color color) {
    for (size_t i = 1; i < points.size(); ++i)
        drawLine(canvas, points[i - 1].x, points[i - 1].y, points[i].x, points[i].y, color);
}

int textWidth(const char* text, Font font) {
    const BitmapFont& f = bitmapFont(font);
    int width = 0;
    for (const char* c = text; *c; ++c) width += f.advance[glyphIndex(*c)];
    return width;
}

int fontHeight(Font font) {
    return bitmapFont(font).height;
}

void drawText(const Canvas& canvas, int x, int y, const char* text, Color color, Font font,
              TextAlign align) {
    const BitmapFont& f = bitmapFont(font);
    if (align == TextAlign::Center) x -= textWidth(text, font) / 2;
    uint32_t value = pack(color);
    for (const char* c = text; *c; ++c) {
        int g = glyphIndex(*c);
        for (int row = 0; row < f.height; ++row) {
            auto bits = static_cast<uint16_t>(f.rows[g][row] << f.left[g]);
            for (int col = 0; bits; ++col, bits = static_cast<uint16_t>(bits << 1))
                if (bits & 0x8000) plot(canvas, x + col, y + row, value);
        }
        x += f.advance[g];
    }
}

} // namespace kestrune
