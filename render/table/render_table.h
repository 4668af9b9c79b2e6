// The backend table, the option switches, the output size, the sprite size and the texture table.
#pragma once

#include <cstdint>

namespace kestrune {

struct Mesh;
struct MeshPolygon;
struct SceneLight;
struct PlatformWindow;
struct WindowEvent;

// The output window's event handler (the driver's window procedure); the platform layer defines
// the window and event records.
using WindowProcedure = long (*)(PlatformWindow* window, const WindowEvent& event);

enum BackendKind : int { BackendOpenGL = 0, BackendDirect3D = 2 };

// Entry points of the chosen backend, filled once by selectBackend in this order; a filler leaves
// no slot empty (firstEmptySlot). Who calls each slot, and when:
struct RenderBackend {
    // The start action, once, for the chosen resolution; nothing else is called before it.
    void (*openDisplay)(int width, int height, void* instance, WindowProcedure procedure) = nullptr;
    // The driver, once, when the show ends; no slot is called after it.
    void (*closeDisplay)() = nullptr;
    // The driver, after openDisplay and whenever the picture shrinks or grows; right >= left.
    void (*setViewRect)(int left, int top, int right, int bottom) = nullptr;
    // Only from the backend's own openDisplay, when the fullscreen switch is on.
    void (*toggleFullscreen)() = nullptr;
    // Texture requests while objects load; the same name returns the same index, 0 when refused.
    uint16_t (*loadTexture)(const char* fileName, uint8_t mipmap) = nullptr;
    // The frame renderer, only between beginScene and endScene, with a loaded object's polygon.
    void (*drawPolygon)(const Mesh& object, const MeshPolygon& polygon) = nullptr;
    // The driver, once a frame before anything of the frame is drawn.
    void (*beginFrame)() = nullptr;
    // The driver, once a frame after the frame's scenes and flares: shows the frame.
    void (*endFrame)() = nullptr;
    // The frame renderer, after endScene, for each spot light with a lens flare.
    void (*spotFlare)(const SceneLight& light) = nullptr;
    // The frame renderer, after endScene, for each point light with a lens flare.
    void (*pointFlare)(const SceneLight& light) = nullptr;
    // The frame renderer, in pairs: 0 after beginScene, 1 before the translucent polygons, 0
    // again before endScene.
    void (*setTranslucent)(uint8_t on) = nullptr;
    // The frame renderer, once per scene drawn, between beginFrame and endFrame.
    void (*beginScene)() = nullptr;
    // The frame renderer, once after each beginScene.
    void (*endScene)() = nullptr;
};

// The name of the first slot a filler left empty, or nullptr when every slot is filled.
inline const char* firstEmptySlot(const RenderBackend& t) {
    static_assert(sizeof(RenderBackend) == 13 * sizeof(void (*)()),
                  "a new slot must be checked here too");
    if (!t.openDisplay) return "openDisplay";
    if (!t.closeDisplay) return "closeDisplay";
    if (!t.setViewRect) return "setViewRect";
    if (!t.toggleFullscreen) return "toggleFullscreen";
    if (!t.loadTexture) return "loadTexture";
    if (!t.drawPolygon) return "drawPolygon";
    if (!t.beginFrame) return "beginFrame";
    if (!t.endFrame) return "endFrame";
    if (!t.spotFlare) return "spotFlare";
    if (!t.pointFlare) return "pointFlare";
    if (!t.setTranslucent) return "setTranslucent";
    if (!t.beginScene) return "beginScene";
    if (!t.endScene) return "endScene";
    return nullptr;
}

// Option switches of the options window; each 1 (on) at start.
struct RenderOptions {
    uint8_t perspectiveCorrection = 1;
    uint8_t mipmapping = 1;
    uint8_t fullscreen = 1;
    uint8_t textureFiltering = 1;
};

struct OutputSize {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0; // 0 for OpenGL, 16 for Direct3D
};

constexpr int kTextureSlotCount = 500;
constexpr int kTextureNameSize = 40;

struct TextureSlot {
    char name[kTextureNameSize]; // file name the texture was loaded from
    int32_t width;               // pixels
    int32_t height;              // pixels
    uint8_t bitsPerPixel;        // always 24
    uint32_t glTextureName;      // set by the OpenGL backend
    void* direct3dData;          // surfaces and handle, owned by the Direct3D backend
};

struct TextureTable {
    TextureSlot slots[kTextureSlotCount];
    int32_t count; // slots in use
};

inline RenderBackend renderBackend;
inline RenderOptions renderOptions;
inline OutputSize outputSize;
inline float spriteHalfSize = 0.05f; // half edge of a one-point polygon's quad
inline TextureTable textureTable;

} // namespace kestrune
