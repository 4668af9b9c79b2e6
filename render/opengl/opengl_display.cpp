// The OpenGL backend's display: the output window, its context and fixed state, full screen,
// the view rectangle and the frame boundaries.
#include <GL/gl.h>
#include <GL/glu.h>

#include "platform/display.h"
#include "render/opengl/opengl_backend.h"

namespace kestrune {

namespace {

void setPerspective(int width, int height) {
    // The aspect is an integer quotient: 1 at every offered resolution. An empty rectangle keeps
    // the aspect at 1 instead of dividing by zero.
    int aspect = height > 0 ? width / height : 1;
    gluPerspective(45.0, static_cast<double>(aspect), 0.1, 100.0);
}

} // namespace

void fillOpenGLBackend(RenderBackend& table) {
    table.openDisplay = opengl::openDisplay;
    table.closeDisplay = opengl::closeDisplay;
    table.setViewRect = opengl::setViewRect;
    table.toggleFullscreen = opengl::toggleFullscreen;
    table.loadTexture = opengl::loadTexture;
    table.drawPolygon = opengl::drawPolygon;
    table.beginFrame = opengl::beginFrame;
    table.endFrame = opengl::endFrame;
    table.spotFlare = opengl::spotFlare;
    table.pointFlare = opengl::pointFlare;
    table.setTranslucent = opengl::setTranslucent;
    table.beginScene = opengl::beginScene;
    table.endScene = opengl::endScene;
}

namespace opengl {

void openDisplay(int width, int height, void*, WindowProcedure procedure) {
    OpenGLDisplay& d = openGLDisplay;
    d.width = width;
    d.height = height;
    outputSize.width = width;
    outputSize.height = height;
    outputSize.bitsPerPixel = 0;

    // Windowed: a caption and a client area of the given size. Full screen: a window without
    // caption covering the display mode that toggleFullscreen sets.
    bool caption = renderOptions.fullscreen == 0;
    d.window = createWindow("KRV99", 0, 0, width, height, caption, true, procedure, nullptr);
    if (!d.window) return;
    focusWindow(d.window);
    d.context = createGlContext(d.window);
    if (!d.context.native) {
        // No window without a context: nothing could be drawn in it, and the caller checks the
        // context to tell the user.
        destroyWindow(d.window);
        d.window = nullptr;
        return;
    }

    glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR);
    glEnable(GL_TEXTURE_2D);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (renderOptions.perspectiveCorrection) glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glMatrixMode(GL_PROJECTION);
    setPerspective(width, height);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    glDepthRange(0.0, 1.0);
    glClearDepth(1.0);
    glDepthFunc(GL_LEQUAL);

    if (renderOptions.fullscreen) {
        renderOptions.fullscreen = 0;
        toggleFullscreen();
    }
}

void closeDisplay() {
    if (renderOptions.fullscreen) toggleFullscreen();
    deleteGlContext(openGLDisplay.context);
}

void toggleFullscreen() {
    OpenGLDisplay& d = openGLDisplay;
    if (!renderOptions.fullscreen) {
        enterFullscreenMode(d.window, d.width, d.height);
        renderOptions.fullscreen = 1;
    } else {
        leaveFullscreenMode(d.window);
        renderOptions.fullscreen = 0;
    }
}

void setViewRect(int left, int top, int right, int bottom) {
    if (!openGLDisplay.context.native) return;
    int width = right - left, height = bottom - top;
    glViewport(left, top, width > 0 ? width : 0, height > 0 ? height : 0);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    setPerspective(width, height);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void beginFrame() {
    if (openGLDisplay.context.native) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void endFrame() {
    if (openGLDisplay.context.native) swapGlBuffers(openGLDisplay.window);
}

void setTranslucent(uint8_t on) {
    if (on == 1) {
        glDepthMask(GL_FALSE);
        glEnable(GL_BLEND);
    } else {
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
    }
}

void spotFlare(const SceneLight&) {}
void pointFlare(const SceneLight&) {}
void beginScene() {}
void endScene() {}

} // namespace opengl

} // namespace kestrune
