// Full-screen display modes with EnumDisplaySettingsA and ChangeDisplaySettingsA.
#include <windows.h>

#include "platform/display.h"
#include "platform/win32/win32_window.h"

namespace kestrune {

bool enterFullscreenMode(PlatformWindow* window, int width, int height) {
    Win32Window* native = win32Window(window);
    if (!native) return false;
    // Mode 0 of the display with only its size changed: depth and rate stay as they are.
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(nullptr, 0, &mode)) return false;
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) return false;
    SetWindowPos(native->hwnd, HWND_TOP, 0, 0, width, height, SWP_SHOWWINDOW);
    return true;
}

void leaveFullscreenMode(PlatformWindow*) {
    // Back to the mode stored in the registry.
    ChangeDisplaySettingsA(nullptr, 0);
}

} // namespace kestrune
