// GL contexts on SDL2 windows.
#include <SDL.h>

#include "platform/gl.h"

namespace kestrune {

GlContext createGlContext(PlatformWindow* window) {
    GlContext context;
    if (!window || !window->openGL) return context;
    auto* native = static_cast<SDL_Window*>(window->native);
    context.native = SDL_GL_CreateContext(native);
    if (context.native) SDL_GL_MakeCurrent(native, context.native);
    return context;
}

void deleteGlContext(GlContext& context) {
    if (!context.native) return;
    if (SDL_GL_GetCurrentContext() == context.native) SDL_GL_MakeCurrent(nullptr, nullptr);
    SDL_GL_DeleteContext(context.native);
    context.native = nullptr;
}

void swapGlBuffers(PlatformWindow* window) {
    if (window) SDL_GL_SwapWindow(static_cast<SDL_Window*>(window->native));
}

} // namespace kestrune
