// The 2D canvas on GDI: pens, brushes, lines and TextOut with the system and ANSI fonts, drawn
// into the window's DIB section and copied to the window when shown.
#include <windows.h>

#include <algorithm>

#include "platform/canvas.h"
#include "platform/win32/win32_window.h"

namespace kestrune {

namespace {

HFONT stockFont(Font font) {
    return static_cast<HFONT>(GetStockObject(font == Font::System ? SYSTEM_FONT : ANSI_VAR_FONT));
}

// The bitmap's context set up for drawing on the canvas: its origin and clip rectangle. Null
// when the canvas belongs to no window.
HDC prepare(const Canvas& canvas) {
    Win32Window* native = windowWithCanvas(canvas.pixels);
    if (!native) return nullptr;
    HDC dc = native->memoryDc;
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SelectClipRgn(dc, nullptr);
    IntersectClipRect(dc, canvas.clipLeft, canvas.clipTop, canvas.clipRight, canvas.clipBottom);
    SetViewportOrgEx(dc, canvas.originX, canvas.originY, nullptr);
    return dc;
}

// Puts the bitmap's context back to the whole window, for the copies to the screen (which read
// through it), and settles GDI's batch so the pixels can be read directly.
void finish(HDC dc) {
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SelectClipRgn(dc, nullptr);
    GdiFlush();
}

// A context for measuring text, made once.
HDC measuringDc() {
    static HDC dc = CreateCompatibleDC(nullptr);
    return dc;
}

} // namespace

Canvas windowCanvas(PlatformWindow* window) {
    Canvas canvas;
    Win32Window* native = win32Window(window);
    if (!native || !native->bits) return canvas;
    canvas.pixels = native->bits;
    canvas.stride = window->width;
    canvas.clipRight = window->width;
    canvas.clipBottom = window->height;
    return canvas;
}

Canvas childCanvas(const Canvas& canvas, int x, int y, int width, int height) {
    Canvas child = canvas;
    child.originX = canvas.originX + x;
    child.originY = canvas.originY + y;
    child.clipLeft = std::max(canvas.clipLeft, child.originX);
    child.clipTop = std::max(canvas.clipTop, child.originY);
    child.clipRight = std::min(canvas.clipRight, child.originX + width);
    child.clipBottom = std::min(canvas.clipBottom, child.originY + height);
    return child;
}

void presentCanvas(PlatformWindow* window) {
    Win32Window* native = win32Window(window);
    if (!native || !native->memoryDc || !native->hwnd) return;
    GdiFlush();
    HDC dc = GetDC(native->hwnd);
    BitBlt(dc, 0, 0, window->width, window->height, native->memoryDc, 0, 0, SRCCOPY);
    ReleaseDC(native->hwnd, dc);
}

void fillRect(const Canvas& canvas, int left, int top, int right, int bottom, Color color) {
    HDC dc = prepare(canvas);
    if (!dc) return;
    SetDCBrushColor(dc, RGB(color.r, color.g, color.b));
    RECT rect{left, top, right, bottom};
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    finish(dc);
}

void drawLine(const Canvas& canvas, int x0, int y0, int x1, int y1, Color color) {
    Point points[2] = {{x0, y0}, {x1, y1}};
    drawPolyline(canvas, points, color);
}

void drawPolyline(const Canvas& canvas, std::span<const Point> points, Color color) {
    if (points.size() < 2) return;
    HDC dc = prepare(canvas);
    if (!dc) return;
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
    SetDCPenColor(dc, RGB(color.r, color.g, color.b));
    // One-pixel pen lines leave out their last point, as each segment of the polyline does.
    MoveToEx(dc, points[0].x, points[0].y, nullptr);
    for (size_t i = 1; i < points.size(); ++i) LineTo(dc, points[i].x, points[i].y);
    SelectObject(dc, oldPen);
    finish(dc);
}

void drawText(const Canvas& canvas, int x, int y, const char* text, Color color, Font font,
              TextAlign align) {
    HDC dc = prepare(canvas);
    if (!dc || !text) return;
    HGDIOBJ oldFont = SelectObject(dc, stockFont(font));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(color.r, color.g, color.b));
    SetTextAlign(dc, TA_TOP | TA_NOUPDATECP | (align == TextAlign::Center ? TA_CENTER : TA_LEFT));
    TextOutA(dc, x, y, text, static_cast<int>(lstrlenA(text)));
    SelectObject(dc, oldFont);
    finish(dc);
}

int textWidth(const char* text, Font font) {
    HDC dc = measuringDc();
    HGDIOBJ oldFont = SelectObject(dc, stockFont(font));
    SIZE size{};
    GetTextExtentPoint32A(dc, text, static_cast<int>(lstrlenA(text)), &size);
    SelectObject(dc, oldFont);
    return size.cx;
}

int fontHeight(Font font) {
    HDC dc = measuringDc();
    HGDIOBJ oldFont = SelectObject(dc, stockFont(font));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, oldFont);
    return metrics.tmHeight;
}

Color canvasPixel(const PlatformWindow* window, int x, int y) {
    Win32Window* native = win32Window(window);
    if (!native || !native->bits || x < 0 || y < 0 || x >= window->width || y >= window->height)
        return {0, 0, 0};
    GdiFlush();
    uint32_t v = native->bits[static_cast<size_t>(y) * window->width + x];
    return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

} // namespace kestrune
