// The software device presented in the platform layer's output window, and the backend filler
// that uses it.
#include "render/direct3d/soft/soft_backend.h"

#include <algorithm>

#include "platform/canvas.h"
#include "platform/display.h"
#include "platform/window.h"
#include "render/direct3d/direct3d_backend.h"
#include "render/direct3d/soft/soft_rasterizer.h"

namespace kestrune {

namespace {

void setMode(void* window, int width, int height) {
    enterFullscreenMode(static_cast<PlatformWindow*>(window), width, height);
}

void present(void* native, const uint16_t* pixels, int width, int height, int pitch) {
    auto* window = static_cast<PlatformWindow*>(native);
    if (!window || window->width <= 0 || window->height <= 0) return;
    if (window->canvas.size() < size_t(window->width) * size_t(window->height)) return;
    int w = std::min(width, window->width), h = std::min(height, window->height);
    for (int y = 0; y < h; ++y) {
        const uint16_t* in = pixels + std::ptrdiff_t(y) * pitch;
        uint32_t* out = window->canvas.data() + std::ptrdiff_t(y) * window->width;
        for (int x = 0; x < w; ++x)
            out[x] = (red565(in[x]) << 16) | (green565(in[x]) << 8) | blue565(in[x]);
    }
    presentCanvas(window);
}

void restore(void* window) {
    leaveFullscreenMode(static_cast<PlatformWindow*>(window));
}

} // namespace

SoftDirectDrawSystem& platformSoftDevice() {
    static SoftDirectDrawSystem system = [] {
        SoftDeviceConfig config;
        int width = 0, height = 0;
        if (initWindowSystem()) screenSize(width, height);
        if (width > 0 && height > 0) {
            config.screenWidth = uint32_t(width);
            config.screenHeight = uint32_t(height);
        }
        config.presenter = {setMode, present, restore};
        return SoftDirectDrawSystem(config);
    }();
    return system;
}

void fillSoftDirect3DBackend(RenderBackend& table) {
    direct3DHost.system = &platformSoftDevice();
    fillDirect3DBackend(table);
}

} // namespace kestrune
