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

// Entry points of the chosen backend, filled once by selectBackend in this order.
struct RenderBackend {
    void (*openDisplay)(int width, int height, void* instance, WindowProcedure procedure) = nullptr;
    void (*closeDisplay)() = nullptr;
    void (*setViewRect)(int left, int top, int right, int bottom) = nullptr;
    void (*toggleFullscreen)() = nullptr;
    uint16_t (*loadTexture)(const char* fileName, uint8_t mipmap) = nullptr;
    void (*drawPolygon)(const Mesh& object, const MeshPolygon& polygon) = nullptr;
    void (*beginFrame)() = nullptr;
    void (*endFrame)() = nullptr;
    void (*spotFlare)(const SceneLight& light) = nullptr;
    void (*pointFlare)(const SceneLight& light) = nullptr;
    void (*setTranslucent)(uint8_t on) = nullptr;
    void (*beginScene)() = nullptr;
    void (*endScene)() = nullptr;
};

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
