// The 2D canvas on GDI: pens, brushes, lines and TextOut with the system and ANSI fonts. The
// canvas is the window record's pixel buffer; each drawing call lets GDI work on the part it may
// touch in the window's DIB section and copies that part back.
#include <windows.h>

#include <algorithm>

#include "platform/canvas.h"
#include "platform/win32/win32_window.h"

namespace kestrune {

namespace {

HFONT stockFont(Font font) {
    return static_cast<HFONT>(GetStockObject(font == Font::System ? SYSTEM_FONT : ANSI_VAR_FONT));
}

// The part of the window one drawing call may change: the canvas's clip, inside the window.
struct Area {
    Win32Window* native = nullptr;
    int left = 0, top = 0, right = 0, bottom = 0;
};

void copyRows(const uint32_t* from, uint32_t* to, int stride, const Area& area) {
    for (int y = area.top; y < area.bottom; ++y)
        std::copy_n(from + static_cast<size_t>(y) * stride + area.left, area.right - area.left,
                    to + static_cast<size_t>(y) * stride + area.left);
}

// The bitmap's context set up for drawing on the canvas, with the canvas's pixels of the area
// in the bitmap; null when the canvas belongs to no window or the area is empty.
HDC prepare(const Canvas& canvas, Area& area) {
    area.native = windowWithCanvas(canvas.pixels);
    if (!area.native) return nullptr;
    const PlatformWindow* window = area.native->window;
    area.left = std::max(canvas.clipLeft, 0);
    area.top = std::max(canvas.clipTop, 0);
    area.right = std::min(canvas.clipRight, window->width);
    area.bottom = std::min(canvas.clipBottom, window->height);
    if (area.left >= area.right || area.top >= area.bottom) return nullptr;
    GdiFlush();
    copyRows(canvas.pixels, area.native->bits, window->width, area);
    HDC dc = area.native->memoryDc;
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SelectClipRgn(dc, nullptr);
    IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    SetViewportOrgEx(dc, canvas.originX, canvas.originY, nullptr);
    return dc;
}

// Copies what GDI drew back into the canvas and puts the context back to the whole window.
void finish(HDC dc, const Canvas& canvas, const Area& area) {
    GdiFlush();
    copyRows(area.native->bits, canvas.pixels, area.native->window->width, area);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SelectClipRgn(dc, nullptr);
}

// A context for measuring text, made once.
HDC measuringDc() {
    static HDC dc = CreateCompatibleDC(nullptr);
    return dc;
}

} // namespace

void presentCanvas(PlatformWindow* window) {
    Win32Window* native = win32Window(window);
    if (!native || window->canvas.empty() || !native->hwnd) return;
    HDC dc = GetDC(native->hwnd);
    showCanvas(window, dc);
    ReleaseDC(native->hwnd, dc);
}

void fillRect(const Canvas& canvas, int left, int top, int right, int bottom, Color color) {
    Area area;
    HDC dc = prepare(canvas, area);
    if (!dc) return;
    SetDCBrushColor(dc, RGB(color.r, color.g, color.b));
    RECT rect{left, top, right, bottom};
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    finish(dc, canvas, area);
}

void drawLine(const Canvas& canvas, int x0, int y0, int x1, int y1, Color color) {
    Point points[2] = {{x0, y0}, {x1, y1}};
    drawPolyline(canvas, points, color);
}

void drawPolyline(const Canvas& canvas, std::span<const Point> points, Color color) {
    if (points.size() < 2) return;
    Area area;
    HDC dc = prepare(canvas, area);
    if (!dc) return;
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
    SetDCPenColor(dc, RGB(color.r, color.g, color.b));
    // One-pixel pen lines leave out their last point, as each segment of the polyline does.
    MoveToEx(dc, points[0].x, points[0].y, nullptr);
    for (size_t i = 1; i < points.size(); ++i) LineTo(dc, points[i].x, points[i].y);
    SelectObject(dc, oldPen);
    finish(dc, canvas, area);
}

void drawText(const Canvas& canvas, int x, int y, const char* text, Color color, Font font,
              TextAlign align) {
    Area area;
    HDC dc = text ? prepare(canvas, area) : nullptr;
    if (!dc) return;
    HGDIOBJ oldFont = SelectObject(dc, stockFont(font));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(color.r, color.g, color.b));
    SetTextAlign(dc, TA_TOP | TA_NOUPDATECP | (align == TextAlign::Center ? TA_CENTER : TA_LEFT));
    TextOutA(dc, x, y, text, static_cast<int>(lstrlenA(text)));
    SelectObject(dc, oldFont);
    finish(dc, canvas, area);
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

} // namespace kestrune
