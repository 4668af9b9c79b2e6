// The device layer over DirectX 6 COM objects: each wrapper holds the interface it was given and
// hands the real result codes back, so the backend's reporters see what DirectX said.
#include <windows.h>

#include <ddraw.h>

#include <d3d.h>

#include "render/direct3d/dx6/dx6_undef.h"

#include <cstring>

#include "platform/win32/win32_window.h"
#include "render/direct3d/direct3d_backend.h"
#include "render/direct3d/dx6/dx6_device.h"

namespace kestrune {

namespace {

Guid toGuid(const GUID& guid) {
    Guid out;
    static_assert(sizeof out == sizeof guid);
    std::memcpy(&out, &guid, sizeof out);
    return out;
}

GUID toGUID(const Guid& guid) {
    GUID out;
    std::memcpy(&out, &guid, sizeof out);
    return out;
}

PixelFormat toPixelFormat(const DDPIXELFORMAT& in) {
    PixelFormat out;
    out.flags = in.dwFlags;
    // For depth formats these slots hold the depth bits and the depth mask.
    out.bitCount = in.dwRGBBitCount;
    out.redMask = in.dwRBitMask;
    out.greenMask = in.dwGBitMask;
    out.blueMask = in.dwBBitMask;
    out.alphaMask = in.dwRGBAlphaBitMask;
    return out;
}

DDPIXELFORMAT toDDPixelFormat(const PixelFormat& in) {
    DDPIXELFORMAT out{};
    out.dwSize = sizeof out;
    out.dwFlags = in.flags;
    out.dwRGBBitCount = in.bitCount;
    out.dwRBitMask = in.redMask;
    out.dwGBitMask = in.greenMask;
    out.dwBBitMask = in.blueMask;
    out.dwRGBAlphaBitMask = in.alphaMask;
    return out;
}

SurfaceDesc toSurfaceDesc(const DDSURFACEDESC2& in) {
    SurfaceDesc out;
    out.flags = in.dwFlags;
    out.width = in.dwWidth;
    out.height = in.dwHeight;
    out.pitch = in.lPitch;
    out.backBufferCount = in.dwBackBufferCount;
    out.mipMapCount = in.dwMipMapCount;
    out.caps = in.ddsCaps.dwCaps;
    out.pixelFormat = toPixelFormat(in.ddpfPixelFormat);
    out.surface = in.lpSurface;
    return out;
}

DDSURFACEDESC2 toDDSurfaceDesc(const SurfaceDesc& in) {
    DDSURFACEDESC2 out{};
    out.dwSize = sizeof out;
    out.dwFlags = in.flags;
    out.dwWidth = in.width;
    out.dwHeight = in.height;
    out.dwBackBufferCount = in.backBufferCount;
    out.dwMipMapCount = in.mipMapCount;
    out.ddsCaps.dwCaps = in.caps;
    if (in.flags & DDSD_PIXELFORMAT) out.ddpfPixelFormat = toDDPixelFormat(in.pixelFormat);
    return out;
}

// A wrapper's own count mirrors the references it holds on its COM object: it lets go of the
// object and of itself together.
template <typename Base, typename Com> class Wrapper : public Base {
public:
    explicit Wrapper(Com* com) : com_(com) {}
    Com* com() const { return com_; }
    uint32_t addRef() {
        ++refs_;
        return com_->AddRef();
    }
    uint32_t release() override {
        const uint32_t left = com_->Release();
        if (--refs_ == 0) delete this;
        return left;
    }

protected:
    Com* com_;
    uint32_t refs_ = 1;
};

class Dx6Texture final : public Wrapper<Direct3DTexture, IDirect3DTexture2> {
public:
    using Wrapper::Wrapper;
    HResult load(Direct3DTexture* source) override {
        return com_->Load(static_cast<Dx6Texture*>(source)->com());
    }
};

class Dx6Surface final : public Wrapper<DirectDrawSurface, IDirectDrawSurface4> {
public:
    using Wrapper::Wrapper;
    HResult getSurfaceDesc(SurfaceDesc& desc) override {
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        HResult r = com_->GetSurfaceDesc(&sd);
        if (r >= 0) desc = toSurfaceDesc(sd);
        return r;
    }
    HResult getPixelFormat(PixelFormat& format) override {
        DDPIXELFORMAT pf{};
        pf.dwSize = sizeof pf;
        HResult r = com_->GetPixelFormat(&pf);
        if (r >= 0) format = toPixelFormat(pf);
        return r;
    }
    HResult getAttachedSurface(uint32_t caps, DirectDrawSurface** surface) override {
        DDSCAPS2 wanted{};
        wanted.dwCaps = caps;
        IDirectDrawSurface4* attached = nullptr;
        HResult r = com_->GetAttachedSurface(&wanted, &attached);
        *surface = r >= 0 && attached ? new Dx6Surface(attached) : nullptr;
        return r;
    }
    HResult addAttachedSurface(DirectDrawSurface* surface) override {
        return com_->AddAttachedSurface(static_cast<Dx6Surface*>(surface)->com());
    }
    HResult lock(SurfaceDesc& desc) override {
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        HResult r = com_->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr);
        if (r >= 0) desc = toSurfaceDesc(sd);
        return r;
    }
    HResult unlock() override { return com_->Unlock(nullptr); }
    HResult blt(DirectDrawSurface* source) override {
        return com_->Blt(nullptr, static_cast<Dx6Surface*>(source)->com(), nullptr, DDBLT_WAIT,
                         nullptr);
    }
    HResult flip() override { return com_->Flip(nullptr, DDFLIP_WAIT); }
    HResult queryTexture(Direct3DTexture** texture) override {
        IDirect3DTexture2* t = nullptr;
        HResult r = com_->QueryInterface(IID_IDirect3DTexture2, reinterpret_cast<void**>(&t));
        *texture = r >= 0 && t ? new Dx6Texture(t) : nullptr;
        return r;
    }
    uint32_t addRef() override { return Wrapper::addRef(); }
};

class Dx6Viewport final : public Wrapper<Direct3DViewport, IDirect3DViewport3> {
public:
    using Wrapper::Wrapper;
    HResult setViewport2(const Viewport2& data) override {
        D3DVIEWPORT2 v{};
        v.dwSize = sizeof v;
        v.dwX = data.x;
        v.dwY = data.y;
        v.dwWidth = data.width;
        v.dwHeight = data.height;
        v.dvClipX = data.clipX;
        v.dvClipY = data.clipY;
        v.dvClipWidth = data.clipWidth;
        v.dvClipHeight = data.clipHeight;
        v.dvMinZ = data.minZ;
        v.dvMaxZ = data.maxZ;
        return com_->SetViewport2(&v);
    }
    HResult getViewport2(Viewport2& data) override {
        D3DVIEWPORT2 v{};
        v.dwSize = sizeof v;
        HResult r = com_->GetViewport2(&v);
        if (r < 0) return r;
        data.x = v.dwX;
        data.y = v.dwY;
        data.width = v.dwWidth;
        data.height = v.dwHeight;
        data.clipX = v.dvClipX;
        data.clipY = v.dvClipY;
        data.clipWidth = v.dvClipWidth;
        data.clipHeight = v.dvClipHeight;
        data.minZ = v.dvMinZ;
        data.maxZ = v.dvMaxZ;
        return r;
    }
    HResult clear2(const Rect& rect, uint32_t flags, uint32_t color, float z,
                   uint32_t stencil) override {
        D3DRECT r{};
        r.x1 = rect.left;
        r.y1 = rect.top;
        r.x2 = rect.right;
        r.y2 = rect.bottom;
        return com_->Clear2(1, &r, flags, color, z, stencil);
    }
};

HRESULT CALLBACK textureFormat(DDPIXELFORMAT* format, void* context) {
    const auto& callback = *static_cast<const TextureFormatCallback*>(context);
    return callback(toPixelFormat(*format)) ? D3DENUMRET_OK : D3DENUMRET_CANCEL;
}

class Dx6Device final : public Wrapper<Direct3DDevice, IDirect3DDevice3> {
public:
    using Wrapper::Wrapper;
    HResult addViewport(Direct3DViewport* viewport) override {
        return com_->AddViewport(static_cast<Dx6Viewport*>(viewport)->com());
    }
    HResult setCurrentViewport(Direct3DViewport* viewport) override {
        return com_->SetCurrentViewport(static_cast<Dx6Viewport*>(viewport)->com());
    }
    HResult getCurrentViewport(Direct3DViewport** viewport) override {
        IDirect3DViewport3* v = nullptr;
        HResult r = com_->GetCurrentViewport(&v);
        *viewport = r >= 0 && v ? new Dx6Viewport(v) : nullptr;
        return r;
    }
    HResult setRenderState(uint32_t state, uint32_t value) override {
        return com_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), value);
    }
    HResult getRenderState(uint32_t state, uint32_t& value) override {
        DWORD v = 0;
        HResult r = com_->GetRenderState(static_cast<D3DRENDERSTATETYPE>(state), &v);
        value = v;
        return r;
    }
    HResult setTextureStageState(uint32_t stage, uint32_t state, uint32_t value) override {
        return com_->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(state),
                                          value);
    }
    HResult setTexture(uint32_t stage, Direct3DTexture* texture) override {
        return com_->SetTexture(stage,
                                texture ? static_cast<Dx6Texture*>(texture)->com() : nullptr);
    }
    HResult setTransform(uint32_t state, const Matrix4& matrix) override {
        D3DMATRIX m;
        static_assert(sizeof m == sizeof matrix.m);
        std::memcpy(&m, matrix.m, sizeof m); // both row-major, _11 first
        return com_->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(state), &m);
    }
    HResult enumTextureFormats(const TextureFormatCallback& callback) override {
        return com_->EnumTextureFormats(textureFormat,
                                        const_cast<TextureFormatCallback*>(&callback));
    }
    HResult beginScene() override { return com_->BeginScene(); }
    HResult endScene() override { return com_->EndScene(); }
    HResult drawPrimitive(uint32_t primitive, uint32_t vertexFormat, const LitVertex* vertices,
                          uint32_t count, uint32_t flags) override {
        return com_->DrawPrimitive(static_cast<D3DPRIMITIVETYPE>(primitive), vertexFormat,
                                   const_cast<LitVertex*>(vertices), count, flags);
    }
};

HRESULT CALLBACK device(GUID* guid, LPSTR description, LPSTR name, D3DDEVICEDESC* hardware,
                        D3DDEVICEDESC* software, void* context) {
    const auto& callback = *static_cast<const DeviceCallback*>(context);
    DeviceDesc hw{hardware ? hardware->dwFlags : 0, hardware ? hardware->dcmColorModel : 0};
    DeviceDesc sw{software ? software->dwFlags : 0, software ? software->dcmColorModel : 0};
    return callback(toGuid(*guid), description, name, hw, sw) ? D3DENUMRET_OK : D3DENUMRET_CANCEL;
}

HRESULT CALLBACK depthFormat(DDPIXELFORMAT* format, void* context) {
    const auto& callback = *static_cast<const DepthFormatCallback*>(context);
    return callback(toPixelFormat(*format)) ? D3DENUMRET_OK : D3DENUMRET_CANCEL;
}

class Dx6Direct3D final : public Wrapper<Direct3D, IDirect3D3> {
public:
    using Wrapper::Wrapper;
    HResult enumDevices(const DeviceCallback& callback) override {
        return com_->EnumDevices(device, const_cast<DeviceCallback*>(&callback));
    }
    HResult enumZBufferFormats(const Guid& deviceGuid,
                               const DepthFormatCallback& callback) override {
        const GUID guid = toGUID(deviceGuid);
        return com_->EnumZBufferFormats(guid, depthFormat,
                                        const_cast<DepthFormatCallback*>(&callback));
    }
    HResult createDevice(const Guid& deviceGuid, DirectDrawSurface* target,
                         Direct3DDevice** result) override {
        const GUID guid = toGUID(deviceGuid);
        IDirect3DDevice3* d = nullptr;
        HResult r = com_->CreateDevice(guid, static_cast<Dx6Surface*>(target)->com(), &d, nullptr);
        *result = r >= 0 && d ? new Dx6Device(d) : nullptr;
        return r;
    }
    HResult createViewport(Direct3DViewport** viewport) override {
        IDirect3DViewport3* v = nullptr;
        HResult r = com_->CreateViewport(&v, nullptr);
        *viewport = r >= 0 && v ? new Dx6Viewport(v) : nullptr;
        return r;
    }
};

HRESULT CALLBACK displayMode(DDSURFACEDESC2* mode, void* context) {
    const auto& callback = *static_cast<const DisplayModeCallback*>(context);
    return callback(toSurfaceDesc(*mode)) ? DDENUMRET_OK : DDENUMRET_CANCEL;
}

HRESULT CALLBACK existingSurface(IDirectDrawSurface4* surface, DDSURFACEDESC2*, void* context) {
    const auto& callback = *static_cast<const SurfaceCallback*>(context);
    // The enumeration hands over a reference, which the wrapper now holds.
    return callback(new Dx6Surface(surface)) ? DDENUMRET_OK : DDENUMRET_CANCEL;
}

// The first interface of a DirectDraw object (IDirectDraw) until queryDirectDraw4 asks for the
// DirectDraw 4 one; the calls the backend makes on each are the ones each interface has.
class Dx6DirectDraw final : public Wrapper<DirectDraw, IUnknown> {
public:
    Dx6DirectDraw(IDirectDraw* first) : Wrapper(first), first_(first) {}
    Dx6DirectDraw(IDirectDraw4* four) : Wrapper(four), four_(four) {}

    HResult setCooperativeLevel(void* window, uint32_t flags) override {
        Win32Window* native = win32Window(static_cast<PlatformWindow*>(window));
        HWND hwnd = native ? native->hwnd : nullptr;
        return first_ ? first_->SetCooperativeLevel(hwnd, flags)
                      : four_->SetCooperativeLevel(hwnd, flags);
    }
    HResult queryDirectDraw4(DirectDraw** result) override {
        IDirectDraw4* four = nullptr;
        HResult r = com_->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&four));
        *result = r >= 0 && four ? new Dx6DirectDraw(four) : nullptr;
        return r;
    }
    HResult testCooperativeLevel() override {
        return four_ ? four_->TestCooperativeLevel() : DDERR_INVALIDOBJECT;
    }
    HResult enumDisplayModes(const DisplayModeCallback& callback) override {
        if (!four_) return DDERR_INVALIDOBJECT;
        return four_->EnumDisplayModes(0, nullptr, const_cast<DisplayModeCallback*>(&callback),
                                       displayMode);
    }
    HResult queryDirect3D(Direct3D** result) override {
        IDirect3D3* d3d = nullptr;
        HResult r = com_->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&d3d));
        *result = r >= 0 && d3d ? new Dx6Direct3D(d3d) : nullptr;
        return r;
    }
    HResult setDisplayMode(uint32_t width, uint32_t height, uint32_t bitsPerPixel) override {
        return four_ ? four_->SetDisplayMode(width, height, bitsPerPixel, 0, 0)
                     : first_->SetDisplayMode(width, height, bitsPerPixel);
    }
    HResult restoreDisplayMode() override {
        return four_ ? four_->RestoreDisplayMode() : first_->RestoreDisplayMode();
    }
    HResult createSurface(const SurfaceDesc& desc, DirectDrawSurface** surface) override {
        *surface = nullptr;
        if (!four_) return DDERR_INVALIDOBJECT;
        DDSURFACEDESC2 sd = toDDSurfaceDesc(desc);
        IDirectDrawSurface4* s = nullptr;
        HResult r = four_->CreateSurface(&sd, &s, nullptr);
        if (r >= 0 && s) *surface = new Dx6Surface(s);
        return r;
    }
    HResult enumSurfaces(const SurfaceCallback& callback) override {
        if (!four_) return DDERR_INVALIDOBJECT;
        return four_->EnumSurfaces(DDENUMSURFACES_DOESEXIST | DDENUMSURFACES_ALL, nullptr,
                                   const_cast<SurfaceCallback*>(&callback), existingSurface);
    }

private:
    IDirectDraw* first_ = nullptr;
    IDirectDraw4* four_ = nullptr;
};

BOOL CALLBACK driver(GUID* guid, LPSTR description, LPSTR name, void* context, HMONITOR) {
    const auto& callback = *static_cast<const DriverCallback*>(context);
    Guid id{};
    if (guid) id = toGuid(*guid);
    return callback(guid ? &id : nullptr, description, name) ? TRUE : FALSE;
}

class Dx6System final : public DirectDrawSystem {
public:
    HResult enumerateDrivers(uint32_t flags, const DriverCallback& callback) override {
        return DirectDrawEnumerateExA(driver, const_cast<DriverCallback*>(&callback), flags);
    }
    HResult createDirectDraw(const Guid* guid, DirectDraw** result) override {
        GUID id{};
        if (guid) id = toGUID(*guid);
        IDirectDraw* first = nullptr;
        HResult r = DirectDrawCreate(guid ? &id : nullptr, &first, nullptr);
        *result = r >= 0 && first ? new Dx6DirectDraw(first) : nullptr;
        return r;
    }
};

} // namespace

DirectDrawSystem& directX6System() {
    static Dx6System system;
    return system;
}

void fillDx6Direct3DBackend(RenderBackend& table) {
    direct3DHost.system = &directX6System();
    fillDirect3DBackend(table);
}

} // namespace kestrune
