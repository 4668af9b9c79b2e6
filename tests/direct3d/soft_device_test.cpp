// The software device's objects: what it enumerates, surface rules, mip chains, locking, flips
// with presentation, and the switch that fails its Nth call.
#include <gtest/gtest.h>

#include <vector>

#include "render/direct3d/soft/soft_device.h"
#include "render/direct3d/soft/soft_rasterizer.h"

namespace kestrune {
namespace {

struct Presented {
    int frames = 0;
    uint16_t firstPixel = 0;
    int width = 0;
};
Presented presented;

class SoftDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        presented = {};
        SoftDeviceConfig config;
        config.presenter.present = [](void*, const uint16_t* pixels, int width, int, int) {
            ++presented.frames;
            presented.firstPixel = pixels[0];
            presented.width = width;
        };
        system = std::make_unique<SoftDirectDrawSystem>(config);
        ASSERT_EQ(system->createDirectDraw(nullptr, &dd), DD_OK);
        ASSERT_EQ(dd->setCooperativeLevel(&window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DD_OK);
    }
    void TearDown() override {
        if (dd) dd->release();
    }

    SurfaceDesc texture(uint32_t width, uint32_t height, uint32_t caps) {
        SurfaceDesc d;
        d.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        d.width = width;
        d.height = height;
        d.caps = caps;
        return d;
    }

    int window = 0;
    std::unique_ptr<SoftDirectDrawSystem> system;
    DirectDraw* dd = nullptr;
};

TEST_F(SoftDeviceTest, EnumeratesOnePrimaryDriverAndOneSoftwareRgbDevice) {
    int drivers = 0;
    system->enumerateDrivers(0, [&](const Guid* guid, const char* description, const char*) {
        ++drivers;
        EXPECT_EQ(guid, nullptr);
        EXPECT_STREQ(description, kSoftDriverDescription);
        return true;
    });
    EXPECT_EQ(drivers, 1);
    Guid other{1, 2, 3, {}};
    DirectDraw* none = nullptr;
    EXPECT_EQ(system->createDirectDraw(&other, &none), DDERR_INVALIDDIRECTDRAWGUID);

    Direct3D* d3d = nullptr;
    ASSERT_EQ(dd->queryDirect3D(&d3d), DD_OK);
    int devices = 0;
    d3d->enumDevices([&](const Guid& guid, const char*, const char*, const DeviceDesc& hardware,
                         const DeviceDesc& software) {
        ++devices;
        EXPECT_EQ(guid, kDirect3DRgbDevice);
        EXPECT_EQ(hardware.flags, 0u);
        EXPECT_EQ(software.colorModel, uint32_t(D3DCOLOR_RGB));
        return true;
    });
    EXPECT_EQ(devices, 1);
    std::vector<uint32_t> depths;
    d3d->enumZBufferFormats(kDirect3DRgbDevice, [&](const PixelFormat& f) {
        EXPECT_TRUE(f.flags & DDPF_ZBUFFER);
        depths.push_back(f.bitCount);
        return true;
    });
    EXPECT_EQ(depths, std::vector<uint32_t>{16});
    d3d->release();
}

TEST_F(SoftDeviceTest, FullMipChainHalvesDownToOnePixel) {
    DirectDrawSurface* surface = nullptr;
    ASSERT_EQ(dd->createSurface(texture(8, 2, DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX),
                                &surface),
              DD_OK);
    std::vector<std::pair<uint32_t, uint32_t>> sizes;
    DirectDrawSurface* level = surface;
    level->addRef();
    while (level) {
        SurfaceDesc d;
        level->getSurfaceDesc(d);
        sizes.push_back({d.width, d.height});
        DirectDrawSurface* next = nullptr;
        if (level->getAttachedSurface(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, &next) != DD_OK)
            next = nullptr;
        level->release();
        level = next;
    }
    EXPECT_EQ(sizes, (std::vector<std::pair<uint32_t, uint32_t>>{{8, 2}, {4, 1}, {2, 1}, {1, 1}}));
    surface->release();
}

TEST_F(SoftDeviceTest, SurfaceRulesGiveThePlatformsCodes) {
    DirectDrawSurface* s = nullptr;
    EXPECT_EQ(dd->createSurface(texture(0, 4, DDSCAPS_OFFSCREENPLAIN), &s), DDERR_INVALIDPARAMS);
    EXPECT_EQ(dd->createSurface(texture(4, 4, DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY), &s),
              DDERR_INVALIDCAPS);
    SurfaceDesc odd = texture(4, 4, DDSCAPS_TEXTURE);
    odd.flags |= DDSD_PIXELFORMAT;
    odd.pixelFormat = {DDPF_RGB, 24, 0xFF0000, 0xFF00, 0xFF, 0};
    EXPECT_EQ(dd->createSurface(odd, &s), DDERR_INVALIDPIXELFORMAT);
    SurfaceDesc z = texture(4, 4, DDSCAPS_ZBUFFER);
    z.flags |= DDSD_PIXELFORMAT;
    z.pixelFormat = {DDPF_ZBUFFER, 24, 0, 0xFFFFFF, 0, 0};
    EXPECT_EQ(dd->createSurface(z, &s), DDERR_INVALIDPIXELFORMAT);
    EXPECT_EQ(s, nullptr);

    ASSERT_EQ(dd->createSurface(texture(4, 4, DDSCAPS_OFFSCREENPLAIN), &s), DD_OK);
    SurfaceDesc locked;
    EXPECT_EQ(s->lock(locked), DD_OK);
    EXPECT_EQ(locked.pitch, 8);
    EXPECT_NE(locked.surface, nullptr);
    EXPECT_EQ(s->lock(locked), DDERR_SURFACEBUSY);
    EXPECT_EQ(s->blt(s), DDERR_SURFACEBUSY);
    EXPECT_EQ(s->unlock(), DD_OK);
    EXPECT_EQ(s->unlock(), DDERR_NOTLOCKED);
    Direct3DTexture* t = nullptr;
    EXPECT_EQ(s->queryTexture(&t), DDERR_INVALIDOBJECT) << "not a texture";
    s->release();
}

TEST_F(SoftDeviceTest, FlipSwapsBuffersAndPresentsTheFront) {
    ASSERT_EQ(dd->setDisplayMode(32, 16, 16), DD_OK);
    SurfaceDesc p;
    p.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    p.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    p.backBufferCount = 1;
    DirectDrawSurface* primary = nullptr;
    ASSERT_EQ(dd->createSurface(p, &primary), DD_OK);
    DirectDrawSurface* again = nullptr;
    EXPECT_EQ(dd->createSurface(p, &again), DDERR_PRIMARYSURFACEALREADYEXISTS);
    DirectDrawSurface* back = nullptr;
    ASSERT_EQ(primary->getAttachedSurface(DDSCAPS_BACKBUFFER, &back), DD_OK);
    SurfaceDesc d;
    ASSERT_EQ(back->lock(d), DD_OK);
    EXPECT_EQ(d.width, 32u);
    static_cast<uint16_t*>(d.surface)[0] = 0xABCD;
    back->unlock();
    EXPECT_EQ(back->flip(), DDERR_NOTFLIPPABLE);
    ASSERT_EQ(primary->flip(), DD_OK);
    EXPECT_EQ(presented.frames, 1);
    EXPECT_EQ(presented.firstPixel, 0xABCD);
    EXPECT_EQ(presented.width, 32);
    ASSERT_EQ(back->lock(d), DD_OK);
    EXPECT_EQ(static_cast<uint16_t*>(d.surface)[0], 0) << "the old front is now the back";
    back->unlock();
    back->release();
    primary->release();
}

TEST_F(SoftDeviceTest, FailsTheNthCallWithTheGivenCodeOnly) {
    const uint64_t before = system->callCount();
    system->failCall(before + 2, DDERR_SURFACELOST);
    EXPECT_EQ(dd->testCooperativeLevel(), DD_OK);
    EXPECT_EQ(dd->testCooperativeLevel(), DDERR_SURFACELOST);
    EXPECT_EQ(dd->testCooperativeLevel(), DD_OK);
    EXPECT_EQ(system->callCount(), before + 3);
    system->failCall(0, DD_OK);
}

TEST_F(SoftDeviceTest, DrawingNeedsASceneAViewportAndTheLitVertexFormat) {
    ASSERT_EQ(dd->setDisplayMode(16, 16, 16), DD_OK);
    SurfaceDesc p;
    p.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    p.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    p.backBufferCount = 1;
    DirectDrawSurface *primary = nullptr, *back = nullptr;
    ASSERT_EQ(dd->createSurface(p, &primary), DD_OK);
    ASSERT_EQ(primary->getAttachedSurface(DDSCAPS_BACKBUFFER, &back), DD_OK);
    Direct3D* d3d = nullptr;
    ASSERT_EQ(dd->queryDirect3D(&d3d), DD_OK);
    Direct3DDevice* device = nullptr;
    ASSERT_EQ(d3d->createDevice(kDirect3DRgbDevice, back, &device), D3D_OK);
    // Without a depth buffer the depth test cannot be switched on.
    uint32_t zenable = 9;
    device->setRenderState(D3DRENDERSTATE_ZENABLE, 1);
    device->getRenderState(D3DRENDERSTATE_ZENABLE, zenable);
    EXPECT_EQ(zenable, 0u);

    LitVertex v{};
    v.diffuse = 0xFFFFFF;
    EXPECT_EQ(device->drawPrimitive(D3DPT_POINTLIST, D3DFVF_LVERTEX, &v, 1, 0),
              D3DERR_NOCURRENTVIEWPORT);
    Direct3DViewport* viewport = nullptr;
    ASSERT_EQ(d3d->createViewport(&viewport), D3D_OK);
    EXPECT_EQ(device->setCurrentViewport(viewport), D3DERR_INVALIDCURRENTVIEWPORT);
    ASSERT_EQ(device->addViewport(viewport), D3D_OK);
    ASSERT_EQ(viewport->setViewport2({0, 0, 16, 16, -1, 1, 2, 2, 0, 1}), D3D_OK);
    ASSERT_EQ(device->setCurrentViewport(viewport), D3D_OK);
    EXPECT_EQ(device->drawPrimitive(D3DPT_POINTLIST, D3DFVF_LVERTEX, &v, 1, 0),
              D3DERR_SCENE_NOT_IN_SCENE);
    ASSERT_EQ(device->beginScene(), D3D_OK);
    EXPECT_EQ(device->beginScene(), D3DERR_SCENE_IN_SCENE);
    EXPECT_EQ(device->drawPrimitive(D3DPT_POINTLIST, 0x102, &v, 1, 0), D3DERR_INVALIDVERTEXTYPE);
    EXPECT_EQ(device->drawPrimitive(9, D3DFVF_LVERTEX, &v, 1, 0), D3DERR_INVALIDPRIMITIVETYPE);
    EXPECT_EQ(device->drawPrimitive(D3DPT_POINTLIST, D3DFVF_LVERTEX, &v, 1, 0), D3D_OK);
    EXPECT_EQ(device->endScene(), D3D_OK);
    SurfaceDesc d;
    ASSERT_EQ(back->lock(d), DD_OK);
    EXPECT_EQ(static_cast<uint16_t*>(d.surface)[8 * 16 + 8], 0xFFFF) << "(0, 0) is pixel (8, 8)";
    back->unlock();
    back->release();
    primary->release();
    d3d->release();
}

} // namespace
} // namespace kestrune
