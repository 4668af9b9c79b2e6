// What the Win32 layer keeps for each window beside the shared record: the window handle, its
// device context and, for windows without GL, a GDI bitmap in a memory context that GDI draws in
// (the canvas itself is the record's pixel buffer, as on every platform).
#pragma once

#include <windows.h>

#include "platform/window.h"

namespace kestrune {

struct Win32Window {
    HWND hwnd = nullptr;
    HDC dc = nullptr;         // the window's own context (own-DC classes)
    HDC memoryDc = nullptr;   // canvas windows: the bitmap's context
    HBITMAP bitmap = nullptr; // canvas windows: top-down 32-bit DIB of the canvas's size
    HGDIOBJ oldBitmap = nullptr;
    uint32_t* bits = nullptr; // the DIB's pixels, 0x00RRGGBB like the canvas
    PlatformWindow* window = nullptr;
};

inline Win32Window* win32Window(const PlatformWindow* window) {
    return window ? static_cast<Win32Window*>(window->native) : nullptr;
}

// The canvas window whose canvas starts at pixels; null when none.
Win32Window* windowWithCanvas(const uint32_t* pixels);

// Shows the window's canvas on the window's device context.
void showCanvas(const PlatformWindow* window, HDC dc);

} // namespace kestrune
