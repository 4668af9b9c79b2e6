// Included before every source of the OpenGL backend in the web build: the GL 1.1 calls that
// WebGL under emscripten's legacy GL emulation takes differently go through opengl_web.cpp.
#pragma once

#include <GL/gl.h>

extern "C" {
void kestruneWebGlBegin(GLenum mode);
void kestruneWebGlHint(GLenum target, GLenum mode);
}

#define glBegin kestruneWebGlBegin
#define glHint kestruneWebGlHint
