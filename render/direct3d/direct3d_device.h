// The device layer under the Direct3D backend: the DirectDraw 4 / Direct3D 3 subset the backend
// uses, as abstract interfaces whose calls return the platform's DirectDraw/Direct3D result codes.
#pragma once

#include <cstdint>
#include <functional>

#include "render/direct3d/direct3d_results.h"

namespace kestrune {

struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
    bool operator==(const Guid&) const = default;
};

// The platform's identifiers of the hardware-abstraction-layer and the software RGB devices.
inline constexpr Guid kDirect3DHalDevice{
    0x84E63DE0, 0x46AA, 0x11CF, {0x81, 0x6F, 0x00, 0x00, 0xC0, 0x20, 0x15, 0x6E}};
inline constexpr Guid kDirect3DRgbDevice{
    0xA4665C60, 0x2673, 0x11CF, {0xA3, 0x1A, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};

// Surface capabilities (DDSCAPS_*).
enum : uint32_t {
    DDSCAPS_COMPLEX = 0x8,
    DDSCAPS_BACKBUFFER = 0x4,
    DDSCAPS_FLIP = 0x10,
    DDSCAPS_OFFSCREENPLAIN = 0x40,
    DDSCAPS_PRIMARYSURFACE = 0x200,
    DDSCAPS_SYSTEMMEMORY = 0x800,
    DDSCAPS_TEXTURE = 0x1000,
    DDSCAPS_3DDEVICE = 0x2000,
    DDSCAPS_VIDEOMEMORY = 0x4000,
    DDSCAPS_ZBUFFER = 0x20000,
    DDSCAPS_MIPMAP = 0x400000,
    DDSCAPS_ALLOCONLOAD = 0x4000000,
};

// Which fields of a SurfaceDesc are valid (DDSD_*).
enum : uint32_t {
    DDSD_CAPS = 0x1,
    DDSD_HEIGHT = 0x2,
    DDSD_WIDTH = 0x4,
    DDSD_PITCH = 0x8,
    DDSD_BACKBUFFERCOUNT = 0x20,
    DDSD_LPSURFACE = 0x800,
    DDSD_PIXELFORMAT = 0x1000,
    DDSD_MIPMAPCOUNT = 0x20000,
};

// Pixel format flags (DDPF_*).
enum : uint32_t {
    DDPF_ALPHAPIXELS = 0x1,
    DDPF_RGB = 0x40,
    DDPF_ZBUFFER = 0x400,
};

// Cooperative level and enumeration flags.
enum : uint32_t {
    DDSCL_FULLSCREEN = 0x1,
    DDSCL_ALLOWREBOOT = 0x2,
    DDSCL_EXCLUSIVE = 0x10,
    DDENUM_ATTACHEDSECONDARYDEVICES = 0x1,
    DDENUM_DETACHEDSECONDARYDEVICES = 0x2,
    DDENUM_NONDISPLAYDEVICES = 0x4,
};

struct PixelFormat {
    uint32_t flags = 0;    // DDPF_*
    uint32_t bitCount = 0; // bits per pixel; for depth formats the depth bits
    uint32_t redMask = 0;
    uint32_t greenMask = 0; // the depth mask for depth formats
    uint32_t blueMask = 0;
    uint32_t alphaMask = 0;
};

struct SurfaceDesc {
    uint32_t flags = 0; // DDSD_* fields set
    uint32_t width = 0; // pixels
    uint32_t height = 0;
    int32_t pitch = 0; // bytes from one row to the next
    uint32_t backBufferCount = 0;
    uint32_t mipMapCount = 0; // levels; 0 asks for a full chain
    uint32_t caps = 0;        // DDSCAPS_*
    PixelFormat pixelFormat;
    void* surface = nullptr; // the pixels while locked
};

// The parts of a Direct3D device description the backend reads.
enum : uint32_t { D3DCOLOR_MONO = 1, D3DCOLOR_RGB = 2 };
struct DeviceDesc {
    uint32_t flags = 0;      // D3DDD_* fields valid; hardware devices report some, software none
    uint32_t colorModel = 0; // D3DCOLOR_MONO or D3DCOLOR_RGB; 0 when not stated
};

// Render states (D3DRENDERSTATE_*) and their values.
enum : uint32_t {
    D3DRENDERSTATE_TEXTUREPERSPECTIVE = 4,
    D3DRENDERSTATE_ZENABLE = 7,
    D3DRENDERSTATE_SHADEMODE = 9,
    D3DRENDERSTATE_ZWRITEENABLE = 14,
    D3DRENDERSTATE_SRCBLEND = 19,
    D3DRENDERSTATE_DESTBLEND = 20,
    D3DRENDERSTATE_CULLMODE = 22,
    D3DRENDERSTATE_ZFUNC = 23,
    D3DRENDERSTATE_ALPHABLENDENABLE = 27,
    D3DRENDERSTATE_ZBIAS = 47,
    kRenderStateCount = 48,

    D3DSHADE_FLAT = 1,
    D3DSHADE_GOURAUD = 2,
    D3DCULL_NONE = 1,
    D3DCULL_CW = 2,
    D3DCULL_CCW = 3,
    D3DCMP_NEVER = 1,
    D3DCMP_LESS = 2,
    D3DCMP_EQUAL = 3,
    D3DCMP_LESSEQUAL = 4,
    D3DCMP_GREATER = 5,
    D3DCMP_NOTEQUAL = 6,
    D3DCMP_GREATEREQUAL = 7,
    D3DCMP_ALWAYS = 8,
    D3DBLEND_ZERO = 1,
    D3DBLEND_ONE = 2,
    D3DBLEND_SRCCOLOR = 3,
    D3DBLEND_INVSRCCOLOR = 4,
    D3DBLEND_SRCALPHA = 5,
    D3DBLEND_INVSRCALPHA = 6,
    D3DBLEND_DESTALPHA = 7,
    D3DBLEND_INVDESTALPHA = 8,
    D3DBLEND_DESTCOLOR = 9,
    D3DBLEND_INVDESTCOLOR = 10,
};

// Texture stage states (D3DTSS_*) and filter values.
enum : uint32_t {
    D3DTSS_MAGFILTER = 16,
    D3DTSS_MINFILTER = 17,
    D3DTSS_MIPFILTER = 18,
    D3DTFG_POINT = 1,
    D3DTFG_LINEAR = 2,
    D3DTFN_POINT = 1,
    D3DTFN_LINEAR = 2,
    D3DTFP_NONE = 1,
    D3DTFP_POINT = 2,
    D3DTFP_LINEAR = 3,
};

enum : uint32_t {
    D3DPT_POINTLIST = 1,
    D3DPT_LINELIST = 2,
    D3DPT_LINESTRIP = 3,
    D3DPT_TRIANGLELIST = 4,
    D3DPT_TRIANGLESTRIP = 5,
    D3DPT_TRIANGLEFAN = 6,

    D3DFVF_LVERTEX = 0x1E2, // position, reserved word, diffuse, specular, one texture pair
    D3DDP_WAIT = 0x1,
    D3DDP_DONOTLIGHT = 0x10,

    D3DTRANSFORMSTATE_WORLD = 1,
    D3DTRANSFORMSTATE_VIEW = 2,
    D3DTRANSFORMSTATE_PROJECTION = 3,

    D3DCLEAR_TARGET = 1,
    D3DCLEAR_ZBUFFER = 2,
    D3DCLEAR_STENCIL = 4,
};

// The platform's lit vertex: 32 bytes.
struct LitVertex {
    float x, y, z;
    uint32_t reserved;
    uint32_t diffuse;  // 0xAARRGGBB
    uint32_t specular; // 0xAARRGGBB
    float u, v;
};
static_assert(sizeof(LitVertex) == 32);

// Row-vector matrix: a point (x, y, z, 1) times m.
struct Matrix4 {
    float m[4][4];
};

struct Viewport2 {
    uint32_t x = 0; // pixels on the render target
    uint32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    float clipX = 0, clipY = 0, clipWidth = 0, clipHeight = 0; // the projected square it shows
    float minZ = 0, maxZ = 1;
};

struct Rect {
    int32_t left, top, right, bottom; // right and bottom excluded
};

class DirectDrawSurface;
class Direct3DTexture;
class Direct3DViewport;
class Direct3DDevice;
class Direct3D;

// Reference-counted like the platform's objects: getters that hand out an interface add a
// reference that the caller releases.
class DirectDrawSurface {
public:
    virtual ~DirectDrawSurface() = default;
    virtual HResult getSurfaceDesc(SurfaceDesc& desc) = 0;
    virtual HResult getPixelFormat(PixelFormat& format) = 0;
    virtual HResult getAttachedSurface(uint32_t caps, DirectDrawSurface** surface) = 0;
    virtual HResult addAttachedSurface(DirectDrawSurface* surface) = 0;
    // Waits until the surface can be locked; desc receives the pixels and the pitch.
    virtual HResult lock(SurfaceDesc& desc) = 0;
    virtual HResult unlock() = 0;
    // Copies the whole source onto the whole surface (stretching when the sizes differ), waiting
    // until the blit can be done.
    virtual HResult blt(DirectDrawSurface* source) = 0;
    // Flips a flipping chain, waiting until the flip can be done.
    virtual HResult flip() = 0;
    virtual HResult queryTexture(Direct3DTexture** texture) = 0;
    virtual uint32_t addRef() = 0;
    virtual uint32_t release() = 0;
};

class Direct3DTexture {
public:
    virtual ~Direct3DTexture() = default;
    virtual HResult load(Direct3DTexture* source) = 0;
    virtual uint32_t release() = 0;
};

class Direct3DViewport {
public:
    virtual ~Direct3DViewport() = default;
    virtual HResult setViewport2(const Viewport2& data) = 0;
    virtual HResult getViewport2(Viewport2& data) = 0;
    virtual HResult clear2(const Rect& rect, uint32_t flags, uint32_t color, float z,
                           uint32_t stencil) = 0;
    virtual uint32_t release() = 0;
};

using TextureFormatCallback = std::function<bool(const PixelFormat& format)>; // false stops

class Direct3DDevice {
public:
    virtual ~Direct3DDevice() = default;
    virtual HResult addViewport(Direct3DViewport* viewport) = 0;
    virtual HResult setCurrentViewport(Direct3DViewport* viewport) = 0;
    virtual HResult getCurrentViewport(Direct3DViewport** viewport) = 0;
    virtual HResult setRenderState(uint32_t state, uint32_t value) = 0;
    virtual HResult getRenderState(uint32_t state, uint32_t& value) = 0;
    virtual HResult setTextureStageState(uint32_t stage, uint32_t state, uint32_t value) = 0;
    virtual HResult setTexture(uint32_t stage, Direct3DTexture* texture) = 0;
    virtual HResult setTransform(uint32_t state, const Matrix4& matrix) = 0;
    virtual HResult enumTextureFormats(const TextureFormatCallback& callback) = 0;
    virtual HResult beginScene() = 0;
    virtual HResult endScene() = 0;
    virtual HResult drawPrimitive(uint32_t primitive, uint32_t vertexFormat,
                                  const LitVertex* vertices, uint32_t count, uint32_t flags) = 0;
    virtual uint32_t release() = 0;
};

// guid is the device's identifier; false from the callback stops the enumeration.
using DeviceCallback =
    std::function<bool(const Guid& guid, const char* description, const char* name,
                       const DeviceDesc& hardware, const DeviceDesc& software)>;
using DepthFormatCallback = std::function<bool(const PixelFormat& format)>;

class Direct3D {
public:
    virtual ~Direct3D() = default;
    virtual HResult enumDevices(const DeviceCallback& callback) = 0;
    virtual HResult enumZBufferFormats(const Guid& device, const DepthFormatCallback& callback) = 0;
    virtual HResult createDevice(const Guid& device, DirectDrawSurface* target,
                                 Direct3DDevice** result) = 0;
    virtual HResult createViewport(Direct3DViewport** viewport) = 0;
    virtual uint32_t release() = 0;
};

using DisplayModeCallback = std::function<bool(const SurfaceDesc& mode)>;
using SurfaceCallback = std::function<bool(DirectDrawSurface* surface)>; // receives a reference

class DirectDraw {
public:
    virtual ~DirectDraw() = default;
    // window is the platform's window record (PlatformWindow*) that presentation goes to.
    virtual HResult setCooperativeLevel(void* window, uint32_t flags) = 0;
    // The DirectDraw 4 interface of the same object.
    virtual HResult queryDirectDraw4(DirectDraw** result) = 0;
    virtual HResult testCooperativeLevel() = 0;
    virtual HResult enumDisplayModes(const DisplayModeCallback& callback) = 0;
    virtual HResult queryDirect3D(Direct3D** result) = 0;
    virtual HResult setDisplayMode(uint32_t width, uint32_t height, uint32_t bitsPerPixel) = 0;
    virtual HResult restoreDisplayMode() = 0;
    virtual HResult createSurface(const SurfaceDesc& desc, DirectDrawSurface** surface) = 0;
    // Every surface the object created that still exists.
    virtual HResult enumSurfaces(const SurfaceCallback& callback) = 0;
    virtual uint32_t release() = 0;
};

// guid is null for the primary display driver; false from the callback stops the enumeration.
using DriverCallback =
    std::function<bool(const Guid* guid, const char* description, const char* name)>;

// The entry of a device layer: driver enumeration and DirectDraw creation.
class DirectDrawSystem {
public:
    virtual ~DirectDrawSystem() = default;
    virtual HResult enumerateDrivers(uint32_t flags, const DriverCallback& callback) = 0;
    // guid null: the default (primary display) driver.
    virtual HResult createDirectDraw(const Guid* guid, DirectDraw** result) = 0;
};

} // namespace kestrune
