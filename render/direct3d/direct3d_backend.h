// The Direct3D backend: its entry points for the backend table, the state they share, and the
// hooks through which it reaches the device layer, the windows and the process.
#pragma once

#include <cstdint>
#include <vector>

#include "render/direct3d/direct3d_device.h"
#include "render/table/render_table.h"

namespace kestrune {

// One DirectDraw device as enumerated.
struct DirectDrawDeviceRecord {
    char driverName[256];
    char driverDescription[256]; // shown in the device dialog
    Guid guid;
    uint8_t primary; // 1: came without a GUID (the primary display driver)
};

// What the backend needs from outside itself. The defaults reach the platform layer; tests
// replace them so that nothing waits on a person and the process does not end.
struct Direct3DHost {
    DirectDrawSystem* system = nullptr; // the device layer
    // Registers the output window class and creates the pop-up output window covering the
    // screen, shown and focused; null when the class cannot be registered.
    void* (*createOutputWindow)(void* instance, WindowProcedure procedure) = nullptr;
    void (*destroyOutputWindow)(void* window) = nullptr;
    // The device dialog: the index of the chosen record, or -1 when it is cancelled or closed.
    int (*chooseDevice)(void* window, const std::vector<DirectDrawDeviceRecord>& devices) = nullptr;
    // A modal message box owned by window (may be null).
    void (*messageBox)(void* window, const char* caption, const char* text) = nullptr;
    // Ends the process through the normal exit path (destructors of global objects run).
    void (*exitProcess)(int status) = nullptr;
    // Ends the process at once, without destructors.
    void (*endProcess)(int status) = nullptr;
    const char* errorFilePath = "error.out"; // the DirectDraw reporter's file
};

// The platform defaults: the platform layer's windows and message boxes, std::exit and _Exit,
// and the first device without a dialog until one is set.
Direct3DHost platformDirect3DHost();

inline Direct3DHost direct3DHost = platformDirect3DHost();

// Each loaded texture's device objects, kept in its TextureSlot.
struct Direct3DTextureData {
    DirectDrawSurface* surface = nullptr;
    Direct3DTexture* texture = nullptr;
};

constexpr int kMaxPolygonVertices = 256;

struct Direct3DDisplay {
    void* window = nullptr; // the output window
    std::vector<DirectDrawDeviceRecord> devices;
    DirectDraw* directDraw = nullptr; // the DirectDraw 4 interface
    Direct3D* direct3D = nullptr;
    DirectDrawSurface* primary = nullptr;
    DirectDrawSurface* backBuffer = nullptr;
    DirectDrawSurface* depthBuffer = nullptr;
    Direct3DDevice* device = nullptr;
    Direct3DViewport* viewport = nullptr;
    Guid deviceGuid{};
    bool deviceFound = false;
    uint32_t depthBits = 0; // of the chosen depth format
    PixelFormat depthFormat;
    PixelFormat textureFormat;
    uint32_t directDrawErrorCount = 0; // results through each reporter, successes included
    uint32_t direct3DErrorCount = 0;
    int width = 0; // as given to openDisplay, pixels
    int height = 0;
    LitVertex vertices[kMaxPolygonVertices]; // the polygon being drawn
};

inline Direct3DDisplay direct3DDisplay;

// Writes the Direct3D entry points into the table, in the table's order.
void fillDirect3DBackend(RenderBackend& table);

// The DirectDraw reporter: counts the result; on a failure writes "error.out" and ends the
// process with status 1. True when the result succeeded (false only when a test's exit hook
// returned).
bool reportDirectDraw(HResult result);
// The Direct3D reporter: counts; on a failure shows "Direct3D error!" and ends with status 1.
bool reportDirect3D(HResult result);
// The text the reporters format for a failure code and count.
void formatErrorText(const char* entry, HResult code, uint32_t count, char* text, size_t size);

// A fixed message, then the process ends with status 1 through the normal exit path.
void failWithMessage(const char* caption, const char* text);

// 24-bit RGB pixels into a 16-bit (or 32-bit) surface of the given format: per channel, the
// byte's high bits shifted to the mask's place. Rows are written at pitch bytes.
void convertPixels(const uint8_t* rgb, int width, int height, const PixelFormat& format,
                   uint8_t* destination, int32_t pitch);

namespace direct3d {

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

} // namespace direct3d

} // namespace kestrune
