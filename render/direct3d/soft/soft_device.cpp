// The software device's objects: DirectDraw with its surfaces and display mode, Direct3D with its
// device, viewports and textures, all drawing through the scanline rasteriser.
#include "render/direct3d/soft/soft_device.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "render/direct3d/soft/soft_raster_queue.h"
#include "render/direct3d/soft/soft_rasterizer.h"

namespace kestrune {

namespace {

constexpr uint32_t kMaxSurfaceEdge = 8192; // pixels

constexpr PixelFormat kRgb565{DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0};
constexpr PixelFormat kDepth16{DDPF_ZBUFFER, 16, 0, 0xFFFF, 0, 0};

// The texture formats, in the order they are enumerated: the first 16-bit one is 5-6-5.
constexpr PixelFormat kTextureFormats[] = {
    {DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
    kRgb565,
    {DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7C00, 0x03E0, 0x001F, 0x8000},
    {DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x0F00, 0x00F0, 0x000F, 0xF000},
};

constexpr uint32_t kDisplayModes[][2] = {{320, 200}, {320, 240}, {512, 384},  {640, 400},
                                         {640, 480}, {800, 600}, {1024, 768}, {1280, 1024}};

bool samePixelFormat(const PixelFormat& a, const PixelFormat& b) {
    return a.flags == b.flags && a.bitCount == b.bitCount && a.redMask == b.redMask &&
           a.greenMask == b.greenMask && a.blueMask == b.blueMask && a.alphaMask == b.alphaMask;
}

Matrix4 identity() {
    Matrix4 m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1;
    return m;
}

Matrix4 multiply(const Matrix4& a, const Matrix4& b) {
    Matrix4 r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

// Storage that starts on a cache line: a target whose pitch is a whole number of lines then
// shares no line between rows, so threads that draw neighbouring bands of rows do not contend
// for one.
template <typename T> struct CacheLineAllocator {
    using value_type = T;
    static constexpr std::align_val_t kAlignment{64};
    CacheLineAllocator() = default;
    template <typename U> CacheLineAllocator(const CacheLineAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), kAlignment)); }
    void deallocate(T* p, size_t) { ::operator delete(p, kAlignment); }
    template <typename U> bool operator==(const CacheLineAllocator<U>&) const { return true; }
};

class SoftDirectDraw;
class SoftSurface;

class SoftTexture final : public Direct3DTexture {
public:
    explicit SoftTexture(SoftSurface& surface) : surface_(surface) {}
    HResult load(Direct3DTexture* source) override;
    uint32_t release() override;
    SoftSurface& surface() { return surface_; }

private:
    SoftSurface& surface_;
};

class SoftSurface final : public DirectDrawSurface {
public:
    SoftSurface(SoftDirectDraw& owner, SoftSurface* root, const SurfaceDesc& desc)
        : owner_(owner), root_(root ? root : this), texture_(*this) {
        desc_ = desc;
        desc_.flags |= DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
        desc_.surface = nullptr;
        bytesPerPixel_ = desc.pixelFormat.bitCount / 8;
        desc_.pitch = int32_t(desc.width * bytesPerPixel_);
        pixels_.assign(size_t(desc_.pitch) * desc.height, 0);
    }

    HResult getSurfaceDesc(SurfaceDesc& desc) override;
    HResult getPixelFormat(PixelFormat& format) override;
    HResult getAttachedSurface(uint32_t caps, DirectDrawSurface** surface) override;
    HResult addAttachedSurface(DirectDrawSurface* surface) override;
    HResult lock(SurfaceDesc& desc) override;
    HResult unlock() override;
    HResult blt(DirectDrawSurface* source) override;
    HResult flip() override;
    HResult queryTexture(Direct3DTexture** texture) override;
    uint32_t addRef() override { return ++root_->refs_; }
    uint32_t release() override;

    const SurfaceDesc& desc() const { return desc_; }
    uint8_t* pixels() { return pixels_.data(); }
    SoftSurface* next = nullptr;  // back buffer of a primary, next level of a mip chain
    SoftSurface* depth = nullptr; // the depth buffer attached to a render target
    std::vector<std::unique_ptr<SoftSurface>> chain; // levels or back buffer, owned by the root
    SoftSurface* root() { return root_; }
    SoftDirectDraw& owner() { return owner_; }
    SoftTexture& texture() { return texture_; }

    RasterTexture rasterTexture() {
        RasterTexture t;
        t.pixels = pixels_.data();
        t.pitch = desc_.pitch;
        t.width = int32_t(desc_.width);
        t.height = int32_t(desc_.height);
        t.bytesPerPixel = bytesPerPixel_;
        const uint32_t masks[3] = {desc_.pixelFormat.redMask, desc_.pixelFormat.greenMask,
                                   desc_.pixelFormat.blueMask};
        for (int c = 0; c < 3; ++c) {
            t.shift[c] = uint8_t(masks[c] ? std::countr_zero(masks[c]) : 0);
            t.bits[c] = uint8_t(std::clamp(std::popcount(masks[c]), 1, 8));
        }
        return t;
    }
    bool locked = false;

private:
    friend class SoftDirectDraw;
    SoftDirectDraw& owner_;
    SoftSurface* root_;
    SoftTexture texture_;
    SurfaceDesc desc_;
    uint32_t bytesPerPixel_ = 2;
    uint32_t refs_ = 1; // on the root only
    std::vector<uint8_t, CacheLineAllocator<uint8_t>> pixels_;
};

class SoftDevice;

class SoftViewport final : public Direct3DViewport {
public:
    explicit SoftViewport(SoftDirectDraw& owner) : owner_(owner) {}
    HResult setViewport2(const Viewport2& data) override;
    HResult getViewport2(Viewport2& data) override;
    HResult clear2(const Rect& rect, uint32_t flags, uint32_t color, float z,
                   uint32_t stencil) override;
    uint32_t release() override { return refs > 0 ? --refs : 0; }

    SoftDevice* device = nullptr;
    Viewport2 data;
    bool dataSet = false;
    uint32_t refs = 1;

private:
    SoftDirectDraw& owner_;
};

class SoftDevice final : public Direct3DDevice {
public:
    SoftDevice(SoftDirectDraw& owner, SoftSurface& target);
    HResult addViewport(Direct3DViewport* viewport) override;
    HResult setCurrentViewport(Direct3DViewport* viewport) override;
    HResult getCurrentViewport(Direct3DViewport** viewport) override;
    HResult setRenderState(uint32_t state, uint32_t value) override;
    HResult getRenderState(uint32_t state, uint32_t& value) override;
    HResult setTextureStageState(uint32_t stage, uint32_t state, uint32_t value) override;
    HResult setTexture(uint32_t stage, Direct3DTexture* texture) override;
    HResult setTransform(uint32_t state, const Matrix4& matrix) override;
    HResult enumTextureFormats(const TextureFormatCallback& callback) override;
    HResult beginScene() override;
    HResult endScene() override;
    HResult drawPrimitive(uint32_t primitive, uint32_t vertexFormat, const LitVertex* vertices,
                          uint32_t count, uint32_t flags) override;
    uint32_t release() override { return refs > 0 ? --refs : 0; }

    // Finishes the draws and clears still queued.
    void flush() { queue_.flush(); }
    void clear(const RasterClear& clear) { queue_.clear(target(), clear); }
    RasterTarget target() {
        RasterTarget t;
        t.color = reinterpret_cast<uint16_t*>(target_.pixels());
        t.colorPitch = target_.desc().pitch / 2;
        t.width = int32_t(target_.desc().width);
        t.height = int32_t(target_.desc().height);
        if (SoftSurface* z = target_.depth) {
            t.depth = reinterpret_cast<uint16_t*>(z->pixels());
            t.depthPitch = z->desc().pitch / 2;
            // A depth buffer smaller than the target limits where depth can be kept.
            t.width = std::min<int32_t>(t.width, int32_t(z->desc().width));
            t.height = std::min<int32_t>(t.height, int32_t(z->desc().height));
        }
        return t;
    }
    uint32_t refs = 1;

private:
    SoftDirectDraw& owner_;
    SoftSurface& target_;
    std::vector<SoftViewport*> viewports_;
    SoftViewport* current_ = nullptr;
    uint32_t states_[kRenderStateCount] = {};
    uint32_t magFilter_ = D3DTFG_POINT;
    uint32_t minFilter_ = D3DTFN_POINT;
    uint32_t mipFilter_ = D3DTFP_NONE;
    SoftTexture* texture_ = nullptr;
    Matrix4 world_ = identity(), view_ = identity(), projection_ = identity();
    bool inScene_ = false;
    RasterQueue queue_;
};

class SoftDirect3D final : public Direct3D {
public:
    explicit SoftDirect3D(SoftDirectDraw& owner) : owner_(owner) {}
    HResult enumDevices(const DeviceCallback& callback) override;
    HResult enumZBufferFormats(const Guid& device, const DepthFormatCallback& callback) override;
    HResult createDevice(const Guid& device, DirectDrawSurface* target,
                         Direct3DDevice** result) override;
    HResult createViewport(Direct3DViewport** viewport) override;
    uint32_t release() override;

private:
    SoftDirectDraw& owner_;
};

class SoftDirectDraw final : public DirectDraw {
public:
    explicit SoftDirectDraw(SoftDirectDrawSystem& owner) : system(owner), direct3D_(*this) {}
    ~SoftDirectDraw() override {
        flush();
        if (window_ && modeSet_ && system.config().presenter.restore)
            system.config().presenter.restore(window_);
    }
    HResult setCooperativeLevel(void* window, uint32_t flags) override;
    HResult queryDirectDraw4(DirectDraw** result) override;
    HResult testCooperativeLevel() override;
    HResult enumDisplayModes(const DisplayModeCallback& callback) override;
    HResult queryDirect3D(Direct3D** result) override;
    HResult setDisplayMode(uint32_t width, uint32_t height, uint32_t bitsPerPixel) override;
    HResult restoreDisplayMode() override;
    HResult createSurface(const SurfaceDesc& desc, DirectDrawSurface** surface) override;
    HResult enumSurfaces(const SurfaceCallback& callback) override;
    uint32_t release() override {
        if (--refs_ > 0) return refs_;
        delete this;
        return 0;
    }
    uint32_t addRef() { return ++refs_; }

    // Finishes every device's queued draws: before pixels are read, written or freed.
    void flush() {
        for (const auto& device : devices) device->flush();
    }
    void destroySurface(SoftSurface* root) {
        flush();
        if (root->depth && root->depth != root) root->depth->release();
        for (auto& s : root->chain)
            if (s->depth) s->depth->release();
        std::erase_if(surfaces_, [root](const auto& s) { return s.get() == root; });
    }
    bool owns(DirectDrawSurface* surface) const {
        for (const auto& s : surfaces_) {
            if (s.get() == surface) return true;
            for (const auto& c : s->chain)
                if (c.get() == surface) return true;
        }
        return false;
    }
    void present(SoftSurface& front) {
        if (window_ && system.config().presenter.present)
            system.config().presenter.present(
                window_, reinterpret_cast<const uint16_t*>(front.pixels()), int(front.desc().width),
                int(front.desc().height), front.desc().pitch / 2);
    }
    HResult enter() { return system.enter(); }

    SoftDirectDrawSystem& system;
    std::vector<std::unique_ptr<SoftDevice>> devices;
    std::vector<std::unique_ptr<SoftViewport>> viewports;

private:
    HResult makeSurface(SurfaceDesc desc, DirectDrawSurface** result);

    SoftDirect3D direct3D_;
    std::vector<std::unique_ptr<SoftSurface>> surfaces_;
    void* window_ = nullptr;
    uint32_t cooperativeFlags_ = 0;
    bool modeSet_ = false;
    uint32_t modeWidth_ = 0, modeHeight_ = 0;
    uint32_t refs_ = 1;
};

// Texture

HResult SoftTexture::load(Direct3DTexture* source) {
    if (HResult r = surface_.owner().enter()) return r;
    auto* from = dynamic_cast<SoftTexture*>(source);
    if (!from) return DDERR_INVALIDPARAMS;
    if (from == this) return D3D_OK;
    return surface_.blt(&from->surface_);
}

uint32_t SoftTexture::release() {
    return surface_.release();
}

// Surface

HResult SoftSurface::getSurfaceDesc(SurfaceDesc& desc) {
    if (HResult r = owner_.enter()) return r;
    desc = desc_;
    desc.surface = nullptr;
    return DD_OK;
}

HResult SoftSurface::getPixelFormat(PixelFormat& format) {
    if (HResult r = owner_.enter()) return r;
    format = desc_.pixelFormat;
    return DD_OK;
}

HResult SoftSurface::getAttachedSurface(uint32_t caps, DirectDrawSurface** surface) {
    if (HResult r = owner_.enter()) return r;
    if (!surface) return DDERR_INVALIDPARAMS;
    *surface = nullptr;
    SoftSurface* found = nullptr;
    if (next && (next->desc_.caps & caps) == caps)
        found = next;
    else if (depth && (depth->desc_.caps & caps) == caps)
        found = depth;
    if (!found) return DDERR_NOTFOUND;
    found->addRef();
    *surface = found;
    return DD_OK;
}

HResult SoftSurface::addAttachedSurface(DirectDrawSurface* surface) {
    if (HResult r = owner_.enter()) return r;
    auto* z = dynamic_cast<SoftSurface*>(surface);
    if (!z || !owner_.owns(z)) return DDERR_INVALIDPARAMS;
    if (!(z->desc_.caps & DDSCAPS_ZBUFFER) || z == this) return DDERR_CANNOTATTACHSURFACE;
    if (depth) return DDERR_SURFACEALREADYATTACHED;
    z->addRef();
    depth = z;
    return DD_OK;
}

HResult SoftSurface::lock(SurfaceDesc& desc) {
    if (HResult r = owner_.enter()) return r;
    if (locked) return DDERR_SURFACEBUSY;
    owner_.flush();
    locked = true;
    desc = desc_;
    desc.flags |= DDSD_LPSURFACE;
    desc.surface = pixels_.data();
    return DD_OK;
}

HResult SoftSurface::unlock() {
    if (HResult r = owner_.enter()) return r;
    if (!locked) return DDERR_NOTLOCKED;
    locked = false;
    return DD_OK;
}

HResult SoftSurface::blt(DirectDrawSurface* source) {
    if (HResult r = owner_.enter()) return r;
    auto* from = dynamic_cast<SoftSurface*>(source);
    if (!from || !owner_.owns(from)) return DDERR_INVALIDPARAMS;
    if (locked || from->locked) return DDERR_SURFACEBUSY;
    if (from->bytesPerPixel_ != bytesPerPixel_) return DDERR_INVALIDPIXELFORMAT;
    owner_.flush();
    // Nearest-pixel stretch; equal sizes copy row by row.
    const uint32_t w = desc_.width, h = desc_.height, sw = from->desc_.width,
                   sh = from->desc_.height;
    for (uint32_t y = 0; y < h; ++y) {
        uint32_t sy = uint32_t(uint64_t(y) * sh / h);
        uint8_t* dst = pixels_.data() + size_t(y) * size_t(desc_.pitch);
        const uint8_t* src = from->pixels_.data() + size_t(sy) * size_t(from->desc_.pitch);
        if (sw == w) {
            std::memmove(dst, src, size_t(w) * bytesPerPixel_); // a surface may blit onto itself
            continue;
        }
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t sx = uint32_t(uint64_t(x) * sw / w);
            std::memmove(dst + size_t(x) * bytesPerPixel_, src + size_t(sx) * bytesPerPixel_,
                         bytesPerPixel_);
        }
    }
    return DD_OK;
}

HResult SoftSurface::flip() {
    if (HResult r = owner_.enter()) return r;
    if (!(desc_.caps & DDSCAPS_FLIP) || !next || root_ != this) return DDERR_NOTFLIPPABLE;
    if (locked || next->locked) return DDERR_SURFACEBUSY;
    owner_.flush();
    std::swap(pixels_, next->pixels_);
    owner_.present(*this);
    return DD_OK;
}

HResult SoftSurface::queryTexture(Direct3DTexture** texture) {
    if (HResult r = owner_.enter()) return r;
    if (!texture) return DDERR_INVALIDPARAMS;
    *texture = nullptr;
    if (!(desc_.caps & DDSCAPS_TEXTURE)) return DDERR_INVALIDOBJECT;
    addRef();
    *texture = &texture_;
    return DD_OK;
}

uint32_t SoftSurface::release() {
    SoftSurface* r = root_;
    if (r->refs_ == 0) return 0;
    if (--r->refs_ > 0) return r->refs_;
    owner_.destroySurface(r);
    return 0;
}

// Viewport

HResult SoftViewport::setViewport2(const Viewport2& d) {
    if (HResult r = owner_.enter()) return r;
    if (d.clipWidth == 0 || d.clipHeight == 0 || !(d.maxZ > d.minZ)) return DDERR_INVALIDPARAMS;
    data = d;
    dataSet = true;
    return D3D_OK;
}

HResult SoftViewport::getViewport2(Viewport2& d) {
    if (HResult r = owner_.enter()) return r;
    if (!dataSet) return D3DERR_VIEWPORTDATANOTSET;
    d = data;
    return D3D_OK;
}

HResult SoftViewport::clear2(const Rect& rect, uint32_t flags, uint32_t color, float z, uint32_t) {
    if (HResult r = owner_.enter()) return r;
    if (!device) return D3DERR_VIEWPORTHASNODEVICE;
    uint16_t pixel = packRgb565((color >> 16) & 255, (color >> 8) & 255, color & 255);
    uint16_t depthValue = uint16_t(std::clamp(z, 0.0f, 1.0f) * 65535.0f + 0.5f);
    device->clear(
        {rect, (flags & D3DCLEAR_TARGET) != 0, pixel, (flags & D3DCLEAR_ZBUFFER) != 0, depthValue});
    return D3D_OK;
}

// Device

SoftDevice::SoftDevice(SoftDirectDraw& owner, SoftSurface& target)
    : owner_(owner), target_(target),
      queue_(owner.system.config().rasterThreads > 0 ? owner.system.config().rasterThreads
                                                     : rasterThreadCount()) {
    states_[D3DRENDERSTATE_TEXTUREPERSPECTIVE] = 1;
    states_[D3DRENDERSTATE_ZENABLE] = 0;
    states_[D3DRENDERSTATE_SHADEMODE] = D3DSHADE_GOURAUD;
    states_[D3DRENDERSTATE_ZWRITEENABLE] = 1;
    states_[D3DRENDERSTATE_SRCBLEND] = D3DBLEND_ONE;
    states_[D3DRENDERSTATE_DESTBLEND] = D3DBLEND_ZERO;
    states_[D3DRENDERSTATE_CULLMODE] = D3DCULL_CCW;
    states_[D3DRENDERSTATE_ZFUNC] = D3DCMP_LESSEQUAL;
}

HResult SoftDevice::addViewport(Direct3DViewport* viewport) {
    if (HResult r = owner_.enter()) return r;
    auto* v = dynamic_cast<SoftViewport*>(viewport);
    if (!v) return DDERR_INVALIDPARAMS;
    if (v->device && v->device != this) return D3DERR_VIEWPORTHASNODEVICE;
    v->device = this;
    if (std::find(viewports_.begin(), viewports_.end(), v) == viewports_.end())
        viewports_.push_back(v);
    return D3D_OK;
}

HResult SoftDevice::setCurrentViewport(Direct3DViewport* viewport) {
    if (HResult r = owner_.enter()) return r;
    auto* v = dynamic_cast<SoftViewport*>(viewport);
    if (!v || v->device != this) return D3DERR_INVALIDCURRENTVIEWPORT;
    current_ = v;
    return D3D_OK;
}

HResult SoftDevice::getCurrentViewport(Direct3DViewport** viewport) {
    if (HResult r = owner_.enter()) return r;
    if (!viewport) return DDERR_INVALIDPARAMS;
    *viewport = current_;
    if (!current_) return D3DERR_NOCURRENTVIEWPORT;
    ++current_->refs;
    return D3D_OK;
}

HResult SoftDevice::setRenderState(uint32_t state, uint32_t value) {
    if (HResult r = owner_.enter()) return r;
    if (state >= kRenderStateCount) return DDERR_INVALIDPARAMS;
    if (state == D3DRENDERSTATE_ZBIAS) value = std::min(value, 16u);
    // Depth test only with a depth buffer to test against.
    if (state == D3DRENDERSTATE_ZENABLE && value && !target_.depth) value = 0;
    states_[state] = value;
    return D3D_OK;
}

HResult SoftDevice::getRenderState(uint32_t state, uint32_t& value) {
    if (HResult r = owner_.enter()) return r;
    if (state >= kRenderStateCount) return DDERR_INVALIDPARAMS;
    value = states_[state];
    return D3D_OK;
}

HResult SoftDevice::setTextureStageState(uint32_t stage, uint32_t state, uint32_t value) {
    if (HResult r = owner_.enter()) return r;
    if (stage != 0) return DDERR_INVALIDPARAMS; // one texture stage
    if (state == D3DTSS_MAGFILTER)
        magFilter_ = value;
    else if (state == D3DTSS_MINFILTER)
        minFilter_ = value;
    else if (state == D3DTSS_MIPFILTER)
        mipFilter_ = value;
    return D3D_OK;
}

HResult SoftDevice::setTexture(uint32_t stage, Direct3DTexture* texture) {
    if (HResult r = owner_.enter()) return r;
    if (stage != 0) return DDERR_INVALIDPARAMS;
    auto* t = texture ? dynamic_cast<SoftTexture*>(texture) : nullptr;
    if (texture && (!t || !owner_.owns(&t->surface()))) return DDERR_INVALIDPARAMS;
    // The stage holds a reference, as on the platform.
    if (t) t->surface().addRef();
    if (texture_) texture_->surface().release();
    texture_ = t;
    return D3D_OK;
}

HResult SoftDevice::setTransform(uint32_t state, const Matrix4& matrix) {
    if (HResult r = owner_.enter()) return r;
    if (state == D3DTRANSFORMSTATE_WORLD)
        world_ = matrix;
    else if (state == D3DTRANSFORMSTATE_VIEW)
        view_ = matrix;
    else if (state == D3DTRANSFORMSTATE_PROJECTION)
        projection_ = matrix;
    else
        return DDERR_INVALIDPARAMS;
    return D3D_OK;
}

HResult SoftDevice::enumTextureFormats(const TextureFormatCallback& callback) {
    if (HResult r = owner_.enter()) return r;
    for (const PixelFormat& f : kTextureFormats)
        if (!callback(f)) break;
    return D3D_OK;
}

HResult SoftDevice::beginScene() {
    if (HResult r = owner_.enter()) return r;
    if (inScene_) return D3DERR_SCENE_IN_SCENE;
    inScene_ = true;
    return D3D_OK;
}

HResult SoftDevice::endScene() {
    if (HResult r = owner_.enter()) return r;
    if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
    inScene_ = false;
    return D3D_OK;
}

HResult SoftDevice::drawPrimitive(uint32_t primitive, uint32_t vertexFormat,
                                  const LitVertex* vertices, uint32_t count, uint32_t) {
    if (HResult r = owner_.enter()) return r;
    if (vertexFormat != D3DFVF_LVERTEX) return D3DERR_INVALIDVERTEXTYPE;
    if (!vertices && count) return DDERR_INVALIDPARAMS;
    if (!current_ || !current_->dataSet) return D3DERR_NOCURRENTVIEWPORT;
    if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
    if (target_.locked) return DDERR_SURFACEBUSY;

    RasterState s;
    s.depthTest = states_[D3DRENDERSTATE_ZENABLE] != 0;
    s.depthWrite = states_[D3DRENDERSTATE_ZWRITEENABLE] != 0;
    s.depthFunction = states_[D3DRENDERSTATE_ZFUNC];
    s.depthBias = states_[D3DRENDERSTATE_ZBIAS];
    s.gouraud = states_[D3DRENDERSTATE_SHADEMODE] != D3DSHADE_FLAT;
    s.cull = states_[D3DRENDERSTATE_CULLMODE];
    s.blend = states_[D3DRENDERSTATE_ALPHABLENDENABLE] != 0;
    s.sourceBlend = states_[D3DRENDERSTATE_SRCBLEND];
    s.destinationBlend = states_[D3DRENDERSTATE_DESTBLEND];
    s.perspective = states_[D3DRENDERSTATE_TEXTUREPERSPECTIVE] != 0;
    s.magFilter = magFilter_;
    s.minFilter = minFilter_;
    // Without a mip filter the top level is what is sampled, whatever the chain holds.
    (void)mipFilter_;
    RasterTexture texture;
    if (texture_) {
        texture = texture_->surface().rasterTexture();
        s.texture = &texture;
    }
    s.transform = multiply(multiply(world_, view_), projection_);
    s.viewport = current_->data;
    if (!queue_.draw(target(), s, primitive, vertices, count)) return D3DERR_INVALIDPRIMITIVETYPE;
    return D3D_OK;
}

// Direct3D

HResult SoftDirect3D::enumDevices(const DeviceCallback& callback) {
    if (HResult r = owner_.enter()) return r;
    for (const SoftDeviceListing& d : owner_.system.config().devices)
        if (!callback(d.guid, d.description, d.name, d.hardware, d.software)) break;
    return D3D_OK;
}

HResult SoftDirect3D::enumZBufferFormats(const Guid& device, const DepthFormatCallback& callback) {
    if (HResult r = owner_.enter()) return r;
    bool listed = false;
    for (const SoftDeviceListing& d : owner_.system.config().devices) listed |= d.guid == device;
    if (!listed) return DDERR_INVALIDPARAMS;
    callback(kDepth16);
    return D3D_OK;
}

HResult SoftDirect3D::createDevice(const Guid& device, DirectDrawSurface* target,
                                   Direct3DDevice** result) {
    if (HResult r = owner_.enter()) return r;
    if (!result) return DDERR_INVALIDPARAMS;
    *result = nullptr;
    auto* surface = dynamic_cast<SoftSurface*>(target);
    if (!(device == kDirect3DRgbDevice) || !surface || !owner_.owns(surface))
        return DDERR_INVALIDPARAMS;
    if (!(surface->desc().caps & DDSCAPS_3DDEVICE) ||
        !samePixelFormat(surface->desc().pixelFormat, kRgb565))
        return DDERR_INVALIDCAPS;
    owner_.devices.push_back(std::make_unique<SoftDevice>(owner_, *surface));
    *result = owner_.devices.back().get();
    return D3D_OK;
}

HResult SoftDirect3D::createViewport(Direct3DViewport** viewport) {
    if (HResult r = owner_.enter()) return r;
    if (!viewport) return DDERR_INVALIDPARAMS;
    owner_.viewports.push_back(std::make_unique<SoftViewport>(owner_));
    *viewport = owner_.viewports.back().get();
    return D3D_OK;
}

uint32_t SoftDirect3D::release() {
    return owner_.release();
}

// DirectDraw

HResult SoftDirectDraw::setCooperativeLevel(void* window, uint32_t flags) {
    if (HResult r = enter()) return r;
    if ((flags & DDSCL_EXCLUSIVE) && (!(flags & DDSCL_FULLSCREEN) || !window))
        return DDERR_INVALIDPARAMS;
    window_ = window;
    cooperativeFlags_ = flags;
    return DD_OK;
}

HResult SoftDirectDraw::queryDirectDraw4(DirectDraw** result) {
    if (HResult r = enter()) return r;
    if (!result) return DDERR_INVALIDPARAMS;
    addRef();
    *result = this;
    return DD_OK;
}

HResult SoftDirectDraw::testCooperativeLevel() {
    if (HResult r = enter()) return r;
    return cooperativeFlags_ ? DD_OK : DDERR_NOCOOPERATIVELEVELSET;
}

HResult SoftDirectDraw::enumDisplayModes(const DisplayModeCallback& callback) {
    if (HResult r = enter()) return r;
    for (const auto& mode : kDisplayModes) {
        SurfaceDesc d;
        d.flags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
        d.width = mode[0];
        d.height = mode[1];
        d.pitch = int32_t(mode[0] * 2);
        d.pixelFormat = kRgb565;
        if (!callback(d)) break;
    }
    return DD_OK;
}

HResult SoftDirectDraw::queryDirect3D(Direct3D** result) {
    if (HResult r = enter()) return r;
    if (!result) return DDERR_INVALIDPARAMS;
    addRef();
    *result = &direct3D_;
    return DD_OK;
}

HResult SoftDirectDraw::setDisplayMode(uint32_t width, uint32_t height, uint32_t bitsPerPixel) {
    if (HResult r = enter()) return r;
    if (!(cooperativeFlags_ & DDSCL_EXCLUSIVE)) return DDERR_NOEXCLUSIVEMODE;
    if (bitsPerPixel != 16 || width == 0 || height == 0 || width > kMaxSurfaceEdge ||
        height > kMaxSurfaceEdge)
        return DDERR_UNSUPPORTEDMODE;
    modeSet_ = true;
    modeWidth_ = width;
    modeHeight_ = height;
    if (system.config().presenter.setMode)
        system.config().presenter.setMode(window_, int(width), int(height));
    return DD_OK;
}

HResult SoftDirectDraw::restoreDisplayMode() {
    if (HResult r = enter()) return r;
    if (modeSet_ && window_ && system.config().presenter.restore)
        system.config().presenter.restore(window_);
    modeSet_ = false;
    return DD_OK;
}

HResult SoftDirectDraw::createSurface(const SurfaceDesc& desc, DirectDrawSurface** result) {
    if (HResult r = enter()) return r;
    if (!result) return DDERR_INVALIDPARAMS;
    *result = nullptr;
    try {
        return makeSurface(desc, result);
    } catch (const std::bad_alloc&) {
        return DDERR_OUTOFMEMORY;
    }
}

HResult SoftDirectDraw::makeSurface(SurfaceDesc d, DirectDrawSurface** result) {
    const uint32_t caps = d.caps;
    if ((caps & DDSCAPS_SYSTEMMEMORY) && (caps & DDSCAPS_VIDEOMEMORY)) return DDERR_INVALIDCAPS;

    if (caps & DDSCAPS_PRIMARYSURFACE) {
        if (!cooperativeFlags_) return DDERR_NOCOOPERATIVELEVELSET;
        for (const auto& s : surfaces_)
            if (s->desc().caps & DDSCAPS_PRIMARYSURFACE) return DDERR_PRIMARYSURFACEALREADYEXISTS;
        d.width = modeSet_ ? modeWidth_ : system.config().screenWidth;
        d.height = modeSet_ ? modeHeight_ : system.config().screenHeight;
        d.pixelFormat = kRgb565;
        bool flipping = (caps & DDSCAPS_FLIP) != 0;
        if (flipping && (!(caps & DDSCAPS_COMPLEX) || d.backBufferCount != 1))
            return DDERR_INVALIDCAPS;
        auto primary = std::make_unique<SoftSurface>(*this, nullptr, d);
        if (flipping) {
            SurfaceDesc back = d;
            back.caps = (caps & ~(DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX)) |
                        DDSCAPS_BACKBUFFER | DDSCAPS_3DDEVICE;
            back.backBufferCount = 0;
            primary->chain.push_back(std::make_unique<SoftSurface>(*this, primary.get(), back));
            primary->next = primary->chain.back().get();
        }
        *result = primary.get();
        surfaces_.push_back(std::move(primary));
        return DD_OK;
    }

    if (!(d.flags & DDSD_WIDTH) || !(d.flags & DDSD_HEIGHT) || d.width == 0 || d.height == 0 ||
        d.width > kMaxSurfaceEdge || d.height > kMaxSurfaceEdge)
        return DDERR_INVALIDPARAMS;
    if (!(d.flags & DDSD_PIXELFORMAT)) d.pixelFormat = caps & DDSCAPS_ZBUFFER ? kDepth16 : kRgb565;

    if (caps & DDSCAPS_ZBUFFER) {
        if (!samePixelFormat(d.pixelFormat, kDepth16)) return DDERR_INVALIDPIXELFORMAT;
    } else if (caps & DDSCAPS_TEXTURE) {
        bool known = false;
        for (const PixelFormat& f : kTextureFormats) known |= samePixelFormat(f, d.pixelFormat);
        if (!known) return DDERR_INVALIDPIXELFORMAT;
    } else {
        if (!(d.pixelFormat.flags & DDPF_RGB) ||
            (d.pixelFormat.bitCount != 16 && d.pixelFormat.bitCount != 32))
            return DDERR_INVALIDPIXELFORMAT;
    }

    bool mipmapped = (caps & DDSCAPS_MIPMAP) && (caps & DDSCAPS_COMPLEX);
    if ((caps & DDSCAPS_MIPMAP) && !(caps & DDSCAPS_TEXTURE)) return DDERR_INVALIDCAPS;
    uint32_t levels = 1;
    if (mipmapped) {
        uint32_t full = uint32_t(std::bit_width(std::max(d.width, d.height)));
        levels =
            (d.flags & DDSD_MIPMAPCOUNT) && d.mipMapCount ? std::min(d.mipMapCount, full) : full;
    }
    d.mipMapCount = mipmapped ? levels : 0;
    auto root = std::make_unique<SoftSurface>(*this, nullptr, d);
    SoftSurface* previous = root.get();
    for (uint32_t level = 1; level < levels; ++level) {
        SurfaceDesc ld = d;
        ld.width = std::max(1u, d.width >> level);
        ld.height = std::max(1u, d.height >> level);
        ld.mipMapCount = levels - level;
        root->chain.push_back(std::make_unique<SoftSurface>(*this, root.get(), ld));
        previous->next = root->chain.back().get();
        previous = previous->next;
    }
    *result = root.get();
    surfaces_.push_back(std::move(root));
    return DD_OK;
}

HResult SoftDirectDraw::enumSurfaces(const SurfaceCallback& callback) {
    if (HResult r = enter()) return r;
    // A copy: the callback may release what it is given.
    std::vector<SoftSurface*> list;
    for (const auto& s : surfaces_) list.push_back(s.get());
    for (SoftSurface* s : list) {
        s->addRef();
        if (!callback(s)) break;
    }
    return DD_OK;
}

} // namespace

SoftDirectDrawSystem::SoftDirectDrawSystem(const SoftDeviceConfig& config) : config_(config) {}

HResult SoftDirectDrawSystem::enumerateDrivers(uint32_t, const DriverCallback& callback) {
    if (HResult r = enter()) return r;
    callback(nullptr, kSoftDriverDescription, "display");
    return DD_OK;
}

HResult SoftDirectDrawSystem::createDirectDraw(const Guid* guid, DirectDraw** result) {
    if (HResult r = enter()) return r;
    if (!result) return DDERR_INVALIDPARAMS;
    *result = nullptr;
    if (guid) return DDERR_INVALIDDIRECTDRAWGUID;
    *result = new SoftDirectDraw(*this);
    return DD_OK;
}

} // namespace kestrune
