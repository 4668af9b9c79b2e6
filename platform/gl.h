// A GL rendering context on a window created with openGL set.
#pragma once

#include "platform/window.h"

namespace kestrune {

struct GlContext {
    void* native = nullptr; // the window system's context
};

// Creates a context for the window (16-bit colour and depth were requested with the window) and
// makes it current on the calling thread. An empty context on failure.
GlContext createGlContext(PlatformWindow* window);
// Releases the context from the thread if current, and deletes it.
void deleteGlContext(GlContext& context);
void swapGlBuffers(PlatformWindow* window);

} // namespace kestrune
