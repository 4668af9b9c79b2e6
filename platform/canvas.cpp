// The canvas records every platform shares: a window's whole canvas and clipped child canvases.
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

} // namespace kestrune
