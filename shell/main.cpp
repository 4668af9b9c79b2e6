// kestrune, the show: the options window, then the show itself.
#include <cstdio>
#include <cstdlib>

#include "archive/archive.h"
#include "platform/window.h"
#include "render/direct3d/dialog/device_dialog.h"
#include "render/direct3d/soft/soft_backend.h"
#ifdef _WIN32
#include "render/direct3d/dx6/dx6_device.h"
#endif
#include "render/opengl/opengl_backend.h"
#include "render/select_backend.h"
#include "render/table/render_table.h"
#include "shell/driver.h"

namespace {

using namespace kestrune;

// Where no GL context can be made (an X server without GLX) the show would play blind, with no
// window to take Escape, or crash at its first GL call: it tells the user and ends instead.
void openOpenGLDisplay(int width, int height, void* instance, WindowProcedure procedure) {
    opengl::openDisplay(width, height, instance, procedure);
    if (openGLDisplay.context.native) return;
    std::fputs("kestrune: no OpenGL context could be made on this display\n", stderr);
    std::exit(1);
}

void fillShowOpenGLBackend(RenderBackend& table) {
    fillOpenGLBackend(table);
    table.openDisplay = openOpenGLDisplay;
}

// What a termination signal that became the quit message ends the show with, as the signal itself
// would; 0 when none came.
int signalledStatus() {
    int signal = quitSignal();
    return signal ? 128 + signal : 0;
}

// A signal while the device dialog is up ends the show as it does in the options window, not as
// the viewer's "Cancel" (status 0).
int chooseDevice(void* owner, const std::vector<DirectDrawDeviceRecord>& devices) {
    int chosen = runDeviceDialog(owner, devices);
    if (chosen < 0 && signalledStatus()) std::exit(signalledStatus());
    return chosen;
}

} // namespace

int main() {
    using namespace kestrune;
    setDefaultArchiveName("krv.dat");
    backendFillers.openGL = fillShowOpenGLBackend;
#ifdef _WIN32 // the real DirectX 6; elsewhere the software device stands in for it
    backendFillers.direct3D = fillDx6Direct3DBackend;
#else
    backendFillers.direct3D = fillSoftDirect3DBackend;
#endif
    direct3DHost.chooseDevice = chooseDevice;
    driverServices = showServices();
    // Without a display the options window would wait for a click nobody can give.
    if (!hasVisibleDisplay()) {
        std::fputs("kestrune: needs a display (X11 or Wayland), and none was found\n", stderr);
        return 1;
    }
    int status = runShow(nullptr);
    // Only a quit message returns with the display open; otherwise none could be opened, unless
    // a signal's quit message ended the options window: then the show ends as that signal would.
    if (status == 1 && !renderBackend.beginFrame) {
        if (int signalled = signalledStatus()) return signalled;
        std::fputs("kestrune: no output display could be opened\n", stderr);
    }
    return status;
}
