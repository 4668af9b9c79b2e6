// What the Win32 layer keeps for each window beside the shared record: the window handle, its
// device context and, for windows without GL, the canvas as a GDI bitmap in a memory context.
#pragma once

#include <windows.h>

#include "platform/window.h"

namespace kestrune {

struct Win32Window {
    HWND hwnd = nullptr;
    HDC dc = nullptr;         // the window's own context (own-DC classes)
    HDC memoryDc = nullptr;   // canvas windows: the bitmap's context
    HBITMAP bitmap = nullptr; // canvas windows: top-down 32-bit DIB section
    HGDIOBJ oldBitmap = nullptr;
    uint32_t* bits = nullptr; // the DIB's pixels, 0x00RRGGBB
    PlatformWindow* window = nullptr;
};

inline Win32Window* win32Window(const PlatformWindow* window) {
    return window ? static_cast<Win32Window*>(window->native) : nullptr;
}

// The canvas window whose pixels start at bits; null when none.
Win32Window* windowWithCanvas(const uint32_t* bits);

} // namespace kestrune
