// GL contexts in a web page: WebGL under emscripten's legacy GL emulation, one per canvas.
#include "platform/gl.h"
#include "platform/web/web_page.h"

namespace kestrune {

GlContext createGlContext(PlatformWindow* window) {
    GlContext context;
    if (isWindow(window) && window->openGL && kestrune_web_gl_context(window->id))
        context.native = window;
    return context;
}

void deleteGlContext(GlContext& context) {
    context.native = nullptr;
}

// The page shows what was drawn once it has its turn.
void swapGlBuffers(PlatformWindow* window) {
    if (isWindow(window)) endPageFrame();
}

} // namespace kestrune
