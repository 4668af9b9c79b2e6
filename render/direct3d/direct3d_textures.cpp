// The Direct3D backend's textures: 24-bit images converted by masks into the device's 16-bit
// texture format, as a full mip chain of resampled levels or as one surface.
#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "mesh/texture.h"
#include "render/direct3d/direct3d_backend.h"

namespace kestrune {

namespace {

Direct3DDisplay& d = direct3DDisplay;

SurfaceDesc surfaceDesc(uint32_t width, uint32_t height, uint32_t caps) {
    SurfaceDesc desc;
    desc.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.width = width;
    desc.height = height;
    desc.caps = caps;
    desc.pixelFormat = d.textureFormat;
    return desc;
}

// Off-screen plain in any memory, then in system memory (only that attempt is reported).
DirectDrawSurface* createStaging(uint32_t width, uint32_t height) {
    DirectDrawSurface* staging = nullptr;
    if (d.directDraw->createSurface(surfaceDesc(width, height, DDSCAPS_OFFSCREENPLAIN), &staging) >=
            0 &&
        staging)
        return staging;
    staging = nullptr;
    HResult r = d.directDraw->createSurface(
        surfaceDesc(width, height, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY), &staging);
    if (!reportDirectDraw(r)) return nullptr;
    return staging;
}

// Converts the pixels through a staging surface and blits them onto target.
bool fillSurface(DirectDrawSurface* target, const uint8_t* rgb, uint32_t width, uint32_t height) {
    DirectDrawSurface* staging = createStaging(width, height);
    if (!staging) return false;
    SurfaceDesc locked;
    if (!reportDirectDraw(staging->lock(locked))) return false;
    if (locked.surface)
        convertPixels(rgb, int(width), int(height), d.textureFormat,
                      static_cast<uint8_t*>(locked.surface), locked.pitch);
    if (!reportDirectDraw(staging->unlock())) return false;
    target->blt(staging);
    staging->release();
    return true;
}

void uploadMipmapped(TextureSlot& slot, Direct3DTextureData& data, const uint8_t* pixels) {
    SurfaceDesc desc = surfaceDesc(uint32_t(slot.width), uint32_t(slot.height),
                                   DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX);
    // The result of creating the chain is not reported; a texture that cannot be created stays
    // without surfaces and draws untextured.
    if (d.directDraw->createSurface(desc, &data.surface) < 0 || !data.surface) {
        data.surface = nullptr;
        return;
    }
    if (!reportDirectDraw(data.surface->queryTexture(&data.texture))) return;

    // One buffer of the top level's size serves every level (the levels only shrink), so images
    // of any size take this path.
    std::vector<uint8_t> scaled;
    DirectDrawSurface* level = data.surface;
    level->addRef();
    while (level) {
        SurfaceDesc levelDesc;
        PixelFormat format;
        level->getSurfaceDesc(levelDesc);
        if (!reportDirectDraw(level->getPixelFormat(format))) return;
        size_t bytes = size_t(levelDesc.width) * levelDesc.height * 3;
        if (scaled.size() < bytes) scaled.resize(bytes);
        resampleImage(pixels, scaled.data(), slot.width, slot.height, int32_t(levelDesc.width),
                      int32_t(levelDesc.height));
        if (!fillSurface(level, scaled.data(), levelDesc.width, levelDesc.height)) return;
        DirectDrawSurface* next = nullptr;
        if (level->getAttachedSurface(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, &next) < 0) next = nullptr;
        level->release();
        level = next;
    }
    d.device->setTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
    d.device->setTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
}

void uploadSingle(TextureSlot& slot, Direct3DTextureData& data, const uint8_t* pixels) {
    SurfaceDesc desc = surfaceDesc(uint32_t(slot.width), uint32_t(slot.height),
                                   DDSCAPS_TEXTURE | DDSCAPS_VIDEOMEMORY | DDSCAPS_ALLOCONLOAD);
    if (!reportDirectDraw(d.directDraw->createSurface(desc, &data.surface))) return;
    if (!reportDirectDraw(data.surface->queryTexture(&data.texture))) return;
    if (!reportDirectDraw(data.texture->load(data.texture))) return;
    fillSurface(data.surface, pixels, uint32_t(slot.width), uint32_t(slot.height));
}

void uploadTexture(uint16_t, TextureSlot& slot, const uint8_t* pixels, uint8_t mipmap) {
    slot.direct3dData = nullptr;
    if (!d.directDraw || !d.device || slot.width <= 0 || slot.height <= 0) return;
    auto* data = new Direct3DTextureData;
    slot.direct3dData = data;
    try {
        if (mipmap == 1)
            uploadMipmapped(slot, *data, pixels);
        else
            uploadSingle(slot, *data, pixels);
    } catch (const std::bad_alloc&) {
        // No memory for the resampled levels: the texture keeps what was made of it.
    }
}

} // namespace

void convertPixels(const uint8_t* rgb, int width, int height, const PixelFormat& format,
                   uint8_t* destination, int32_t pitch) {
    const uint32_t masks[3] = {format.redMask, format.greenMask, format.blueMask};
    int shift[3], bits[3];
    for (int c = 0; c < 3; ++c) {
        shift[c] = masks[c] ? std::countr_zero(masks[c]) : 0;
        bits[c] = std::min(std::countr_one(masks[c] >> shift[c]), 8);
    }
    // The pixel size follows the format; only 16-bit formats are expected.
    const int bytes = format.bitCount > 16 ? 4 : 2;
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = rgb + size_t(y) * size_t(width) * 3;
        uint8_t* out = destination + std::ptrdiff_t(y) * pitch;
        for (int x = 0; x < width; ++x, in += 3, out += bytes) {
            uint32_t pixel = 0;
            for (int c = 0; c < 3; ++c)
                if (bits[c] > 0) pixel += uint32_t(in[c] >> (8 - bits[c])) << shift[c];
            for (int b = 0; b < bytes; ++b) out[b] = uint8_t(pixel >> (8 * b));
        }
    }
}

namespace direct3d {

uint16_t loadTexture(const char* fileName, uint8_t mipmap) {
    return loadTextureShared(fileName, mipmap, uploadTexture);
}

} // namespace direct3d

} // namespace kestrune
