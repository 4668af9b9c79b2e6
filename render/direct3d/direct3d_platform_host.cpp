// The Direct3D backend's default host: the platform layer's output window and message boxes, and
// the process endings.
#include <cstdlib>

#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/window.h"
#include "render/direct3d/direct3d_backend.h"

namespace kestrune {

namespace {

void* createOutputWindow(void*, WindowProcedure procedure) {
    if (!initWindowSystem()) return nullptr;
    int width = 0, height = 0;
    screenSize(width, height);
    PlatformWindow* window =
        createWindow("KRV-99", 0, 0, width, height, false, false, procedure, nullptr);
    if (window) focusWindow(window);
    return window;
}

void destroyOutputWindow(void* window) {
    destroyWindow(static_cast<PlatformWindow*>(window));
}

void messageBox(void*, const char* caption, const char* text) {
    showMessageBox(caption, text);
}

// Without the device dialog (which the show installs from render_direct3d_dialog), the first
// device is taken, as a viewer pressing "OK" at once would.
int firstDevice(void*, const std::vector<DirectDrawDeviceRecord>& devices) {
    return devices.empty() ? -1 : 0;
}

} // namespace

Direct3DHost platformDirect3DHost() {
    Direct3DHost host;
    host.createOutputWindow = createOutputWindow;
    host.destroyOutputWindow = destroyOutputWindow;
    host.chooseDevice = firstDevice;
    host.messageBox = messageBox;
    host.exitProcess = std::exit;
    host.endProcess = endProcessAtOnce;
    return host;
}

} // namespace kestrune
