// What every platform's canvas shares: a window's whole canvas, clipped child canvases and reading
// a pixel back.
#include "platform/canvas.h"

#include <algorithm>

#include "platform/window.h"

namespace kestrune {

Canvas windowCanvas(PlatformWindow* window) {
    Canvas canvas;
    if (!window || window->canvas.empty()) return canvas;
    canvas.pixels = window->canvas.data();
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

Color canvasPixel(const PlatformWindow* window, int x, int y) {
    if (!window || x < 0 || y < 0 || x >= window->width || y >= window->height ||
        window->canvas.empty())
        return {0, 0, 0};
    uint32_t v = window->canvas[static_cast<size_t>(y) * window->width + x];
    return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

} // namespace kestrune
