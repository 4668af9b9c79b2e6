// GL contexts through WGL: the pixel format the show asks for (RGBA, 16 colour and 16 depth bits,
// double-buffered, main plane) on the window's own device context.
#include <windows.h>

#include "platform/gl.h"
#include "platform/win32/win32_window.h"

namespace kestrune {

GlContext createGlContext(PlatformWindow* window) {
    GlContext context;
    Win32Window* native = win32Window(window);
    if (!native || !window->openGL || !native->dc) return context;
    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 16;
    format.cDepthBits = 16;
    format.iLayerType = PFD_MAIN_PLANE;
    const int chosen = ChoosePixelFormat(native->dc, &format);
    if (chosen == 0 || !SetPixelFormat(native->dc, chosen, &format)) return context;
    HGLRC rc = wglCreateContext(native->dc);
    if (!rc) return context;
    wglMakeCurrent(native->dc, rc);
    context.native = rc;
    return context;
}

void deleteGlContext(GlContext& context) {
    if (!context.native) return;
    auto rc = static_cast<HGLRC>(context.native);
    if (wglGetCurrentContext() == rc) wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(rc);
    context.native = nullptr;
}

void swapGlBuffers(PlatformWindow* window) {
    Win32Window* native = win32Window(window);
    if (native && native->dc) SwapBuffers(native->dc);
}

} // namespace kestrune
