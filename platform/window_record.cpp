// Starting a window record, the same on every window system.
#include "platform/window_record.h"

#include <cstddef>

namespace kestrune {

PlatformWindow* newWindowRecord(int width, int height, bool openGL, WindowProcedure procedure,
                                void* userData) {
    auto* window = new PlatformWindow;
    window->procedure = procedure;
    window->userData = userData;
    window->openGL = openGL;
    window->width = width;
    window->height = height;
    if (!openGL) window->canvas.assign(static_cast<size_t>(width) * height, 0);
    window->needsPaint = true;
    return window;
}

} // namespace kestrune
