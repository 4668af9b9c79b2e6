// The Direct3D backend's display: device selection, the display mode, surfaces, the rendering
// device with its depth buffer and viewport, and the per-frame entry points.
#include <cstdio>
#include <cstring>

#include "render/direct3d/direct3d_backend.h"

namespace kestrune {

namespace {

Direct3DDisplay& d = direct3DDisplay;

// Selection ends the process for every failure but the viewer's cancel; these say how it ended.
enum class Selection { Chosen, Cancelled, Failed };

void copyText(char (&field)[256], const char* text) {
    std::snprintf(field, sizeof field, "%s", text ? text : "");
}

Viewport2 viewportData(int left, int top, int width, int height) {
    Viewport2 v;
    // A rectangle turned inside out (Left pressed past the middle) is empty, not 4 billion wide.
    v.x = uint32_t(left > 0 ? left : 0);
    v.y = uint32_t(top > 0 ? top : 0);
    v.width = uint32_t(width > 0 ? width : 0);
    v.height = uint32_t(height > 0 ? height : 0);
    v.clipX = -1;
    v.clipY = 1;
    v.clipWidth = 2;
    v.clipHeight = 2;
    v.minZ = 0.000001f;
    v.maxZ = 1;
    return v;
}

Matrix4 identity() {
    Matrix4 m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1;
    return m;
}

// Row-vector projection: (x, y, z, 1) -> (2x, 2y, z - 0.1, z).
Matrix4 projection() {
    Matrix4 m = identity();
    m.m[0][0] = 2;
    m.m[1][1] = 2;
    m.m[2][3] = 1;
    m.m[3][2] = -0.1f;
    m.m[3][3] = 0;
    return m;
}

Selection selectDevice() {
    d.devices.clear();
    HResult r = direct3DHost.system->enumerateDrivers(
        DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES |
            DDENUM_NONDISPLAYDEVICES,
        [](const Guid* guid, const char* description, const char* name) {
            DirectDrawDeviceRecord record{};
            copyText(record.driverName, name);
            copyText(record.driverDescription, description);
            if (guid)
                record.guid = *guid;
            else
                record.primary = 1;
            d.devices.push_back(record);
            return true;
        });
    if (!reportDirectDraw(r)) return Selection::Failed;

    int index = direct3DHost.chooseDevice ? direct3DHost.chooseDevice(d.window, d.devices) : -1;
    if (index < 0 || size_t(index) >= d.devices.size()) return Selection::Cancelled;
    const DirectDrawDeviceRecord& chosen = d.devices[size_t(index)];

    DirectDraw* first = nullptr;
    r = direct3DHost.system->createDirectDraw(chosen.primary ? nullptr : &chosen.guid, &first);
    if (!reportDirectDraw(r)) return Selection::Failed;
    // The first interface is not needed once the DirectDraw 4 one is held.
    struct Release {
        DirectDraw* object;
        ~Release() {
            if (object) object->release();
        }
    } releaseFirst{first};
    r = first->setCooperativeLevel(d.window,
                                   DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWREBOOT);
    if (!reportDirectDraw(r)) return Selection::Failed;
    r = first->queryDirectDraw4(&d.directDraw);
    if (!reportDirectDraw(r)) return Selection::Failed;
    if (!reportDirectDraw(d.directDraw->testCooperativeLevel())) return Selection::Failed;
    if (!reportDirectDraw(d.directDraw->enumDisplayModes([](const SurfaceDesc&) { return true; })))
        return Selection::Failed;
    if (!reportDirectDraw(d.directDraw->queryDirect3D(&d.direct3D))) return Selection::Failed;
    return Selection::Chosen;
}

bool createDevice() {
    d.deviceFound = false;
    d.depthBits = 0;
    d.direct3D->enumDevices([](const Guid& guid, const char*, const char*,
                               const DeviceDesc& hardware, const DeviceDesc& software) {
        if (hardware.flags != 0) {
            // A later hardware device replaces an earlier one.
            d.deviceGuid = guid;
            d.deviceFound = true;
        } else if (!d.deviceFound && software.colorModel != 0) {
            if (software.colorModel == D3DCOLOR_RGB) {
                d.deviceGuid = guid;
                if (guid == kDirect3DHalDevice) d.deviceFound = true;
            } else if (software.colorModel == D3DCOLOR_MONO) {
                d.deviceGuid = guid;
            }
        }
        return true;
    });

    SurfaceDesc back;
    if (!reportDirectDraw(d.backBuffer->getSurfaceDesc(back))) return false;

    bool anyFormat = false;
    d.direct3D->enumZBufferFormats(d.deviceGuid, [&anyFormat](const PixelFormat& format) {
        anyFormat = true;
        if (!(format.flags & DDPF_ZBUFFER)) return true;
        if (format.bitCount == 16) {
            d.depthFormat = format;
            d.depthBits = 16;
            return false;
        }
        if (format.bitCount > d.depthBits) {
            d.depthFormat = format;
            d.depthBits = format.bitCount;
        }
        return true;
    });
    if (!anyFormat) {
        failWithMessage("ERROR", "The device doesn\u00B4t support Zbuffert!");
        return false;
    }
    if (d.depthBits == 0) {
        failWithMessage("ERROR", "The device has a 0bit Zbuffert! (cool)");
        return false;
    }

    SurfaceDesc depth;
    depth.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    depth.width = back.width;
    depth.height = back.height;
    depth.pixelFormat = d.depthFormat;
    depth.caps = DDSCAPS_ZBUFFER |
                 (d.deviceGuid == kDirect3DHalDevice ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY);
    if (!reportDirectDraw(d.directDraw->createSurface(depth, &d.depthBuffer))) return false;
    if (!reportDirectDraw(d.backBuffer->addAttachedSurface(d.depthBuffer))) return false;

    if (d.direct3D->createDevice(d.deviceGuid, d.backBuffer, &d.device) < 0 || !d.device) {
        failWithMessage("ERROR!", "Couldn\u00B4t get a D3Ddevice :(");
        return false;
    }

    bool haveFormat = false;
    d.device->enumTextureFormats([&haveFormat](const PixelFormat& format) {
        // The first 16-bit format; failing that, the last one reported.
        d.textureFormat = format;
        haveFormat = true;
        return format.bitCount != 16;
    });
    (void)haveFormat;

    if (!reportDirect3D(d.direct3D->createViewport(&d.viewport))) return false;
    if (!reportDirect3D(d.device->addViewport(d.viewport))) return false;
    if (!reportDirect3D(d.viewport->setViewport2(viewportData(0, 0, d.width, d.height))))
        return false;
    d.device->setTransform(D3DTRANSFORMSTATE_WORLD, identity());
    d.device->setTransform(D3DTRANSFORMSTATE_VIEW, identity());
    d.device->setTransform(D3DTRANSFORMSTATE_PROJECTION, identity());
    return true;
}

} // namespace

void fillDirect3DBackend(RenderBackend& table) {
    table.openDisplay = direct3d::openDisplay;
    table.closeDisplay = direct3d::closeDisplay;
    table.setViewRect = direct3d::setViewRect;
    table.toggleFullscreen = direct3d::toggleFullscreen;
    table.loadTexture = direct3d::loadTexture;
    table.drawPolygon = direct3d::drawPolygon;
    table.beginFrame = direct3d::beginFrame;
    table.endFrame = direct3d::endFrame;
    table.spotFlare = direct3d::spotFlare;
    table.pointFlare = direct3d::pointFlare;
    table.setTranslucent = direct3d::setTranslucent;
    table.beginScene = direct3d::beginScene;
    table.endScene = direct3d::endScene;
}

namespace direct3d {

void openDisplay(int width, int height, void* instance, WindowProcedure procedure) {
    d.width = width;
    d.height = height;
    d.window = direct3DHost.createOutputWindow
                   ? direct3DHost.createOutputWindow(instance, procedure)
                   : nullptr;
    if (!d.window || !direct3DHost.system) {
        // The window class cannot be registered: a failure, so status 1.
        if (direct3DHost.endProcess) direct3DHost.endProcess(1);
        return;
    }

    switch (selectDevice()) {
    case Selection::Chosen:
        break;
    case Selection::Cancelled:
        // The viewer's choice, not a failure: status 0 and no message.
        if (direct3DHost.endProcess) direct3DHost.endProcess(0);
        return;
    case Selection::Failed:
        return; // the reporter has ended the process
    }

    d.directDraw->setDisplayMode(uint32_t(width), uint32_t(height), 16);

    SurfaceDesc primary;
    primary.flags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    primary.caps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    primary.backBufferCount = 1;
    if (!reportDirectDraw(d.directDraw->createSurface(primary, &d.primary))) return;
    if (!reportDirectDraw(
            d.primary->getAttachedSurface(DDSCAPS_BACKBUFFER | DDSCAPS_3DDEVICE, &d.backBuffer)))
        return;

    if (!createDevice()) return;

    d.device->setCurrentViewport(d.viewport);
    d.device->setRenderState(D3DRENDERSTATE_ZENABLE, 1);
    d.device->setRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
    uint32_t depthTest = 0;
    d.device->getRenderState(D3DRENDERSTATE_ZENABLE, depthTest);
    if (depthTest != 1) {
        // No message, but a failure all the same: status 1.
        if (direct3DHost.exitProcess) direct3DHost.exitProcess(1);
        return;
    }

    outputSize.width = width;
    outputSize.height = height;
    outputSize.bitsPerPixel = 16;
    d.device->setTransform(D3DTRANSFORMSTATE_PROJECTION, projection());
}

void closeDisplay() {
    if (d.window && direct3DHost.destroyOutputWindow) direct3DHost.destroyOutputWindow(d.window);
    d.window = nullptr;
    // The textures' interfaces go with their surfaces below.
    for (int i = 0; i < textureTable.count && i < kTextureSlotCount; ++i) {
        TextureSlot& slot = textureTable.slots[i];
        auto* data = static_cast<Direct3DTextureData*>(slot.direct3dData);
        if (!data) continue;
        if (data->texture) data->texture->release();
        delete data;
        slot.direct3dData = nullptr;
    }
    if (d.viewport) d.viewport->release();
    if (d.device) d.device->release();
    if (d.direct3D) d.direct3D->release();
    d.viewport = nullptr;
    d.device = nullptr;
    d.direct3D = nullptr;
    if (d.directDraw) {
        d.directDraw->enumSurfaces([](DirectDrawSurface* surface) {
            surface->release();
            return true;
        });
        d.directDraw->restoreDisplayMode();
        d.directDraw->release();
    }
    d.directDraw = nullptr;
    d.primary = d.backBuffer = d.depthBuffer = nullptr;
}

void setViewRect(int left, int top, int right, int bottom) {
    if (!d.device) return;
    Direct3DViewport* viewport = nullptr;
    if (d.device->getCurrentViewport(&viewport) < 0 || !viewport) return;
    viewport->setViewport2(viewportData(left, top, right - left, bottom - top));
    viewport->release();
}

void toggleFullscreen() {}
void spotFlare(const SceneLight&) {}
void pointFlare(const SceneLight&) {}

void beginFrame() {
    if (!d.viewport) return;
    Rect rect{0, 0, d.width, d.height};
    d.viewport->clear2(rect, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0);
}

void endFrame() {
    if (d.primary) d.primary->flip();
}

void setTranslucent(uint8_t on) {
    if (!d.device) return;
    if (on == 1) {
        d.device->setRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_INVSRCCOLOR);
        d.device->setRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVDESTCOLOR);
        d.device->setRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
        d.device->setRenderState(D3DRENDERSTATE_ZWRITEENABLE, 0);
    } else {
        d.device->setRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
        d.device->setRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ZERO);
        d.device->setRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
        d.device->setRenderState(D3DRENDERSTATE_ZWRITEENABLE, 1);
    }
}

void beginScene() {
    if (d.device) d.device->beginScene();
}

void endScene() {
    if (d.device) d.device->endScene();
}

} // namespace direct3d

} // namespace kestrune
