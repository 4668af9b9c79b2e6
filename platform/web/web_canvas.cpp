// Canvases shown in the page: the window's 0x00RRGGBB pixels turned into the page's RGBA bytes.
#include <vector>

#include "platform/canvas.h"
#include "platform/web/web_page.h"

namespace kestrune {

void presentCanvas(PlatformWindow* window) {
    if (!isWindow(window) || window->canvas.empty()) return;
    // One window is shown at a time, so one buffer serves them all; it only grows.
    static std::vector<uint8_t> rgba;
    const size_t count = window->canvas.size();
    if (rgba.size() < 4 * count) rgba.resize(4 * count);
    uint8_t* out = rgba.data();
    for (uint32_t pixel : window->canvas) {
        out[0] = uint8_t(pixel >> 16);
        out[1] = uint8_t(pixel >> 8);
        out[2] = uint8_t(pixel);
        out[3] = 255;
        out += 4;
    }
    kestrune_web_present(window->id, rgba.data(), window->width, window->height);
    endPageFrame();
}

} // namespace kestrune
