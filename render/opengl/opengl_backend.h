// The OpenGL 1.1 backend: its entry points for the backend table and the state they share.
#pragma once

#include "platform/gl.h"
#include "platform/window.h"
#include "render/table/render_table.h"

namespace kestrune {

struct OpenGLDisplay {
    PlatformWindow* window = nullptr; // the output window; lives until the process ends
    GlContext context;                // empty when openDisplay could not make one
    int width = 0;                    // as given to openDisplay, pixels
    int height = 0;
};

inline OpenGLDisplay openGLDisplay;

// Writes the OpenGL entry points into the table, in the table's order.
void fillOpenGLBackend(RenderBackend& table);

namespace opengl {

void openDisplay(int width, int height, void* instance, WindowProcedure procedure);
void closeDisplay();
void setViewRect(int left, int top, int right, int bottom);
void toggleFullscreen();
uint16_t loadTexture(const char* fileName, uint8_t mipmap);
void drawPolygon(const Mesh& object, const MeshPolygon& polygon);
void beginFrame();
void endFrame();
void spotFlare(const SceneLight& light);
void pointFlare(const SceneLight& light);
void setTranslucent(uint8_t on);
void beginScene();
void endScene();

} // namespace opengl

} // namespace kestrune
