// The software device's rasteriser: lit vertices through the transforms, near-plane clipping and
// the viewport onto a 16-bit 5-6-5 target with a 16-bit depth buffer.
#pragma once

#include <cstdint>

#include "render/direct3d/direct3d_device.h"

namespace kestrune {

// A 16- or 32-bit RGB image the rasteriser samples, with its channel layout.
struct RasterTexture {
    const uint8_t* pixels = nullptr;
    int32_t pitch = 0; // bytes per row
    int32_t width = 0;
    int32_t height = 0;
    uint32_t bytesPerPixel = 2;
    uint8_t shift[3] = {11, 5, 0}; // red, green, blue: lowest bit of the channel
    uint8_t bits[3] = {5, 6, 5};   // red, green, blue: channel widths, 1..8
};

struct RasterTarget {
    uint16_t* color = nullptr; // 5-6-5 pixels
    int32_t colorPitch = 0;    // pixels per row
    uint16_t* depth = nullptr; // null: no depth buffer
    int32_t depthPitch = 0;    // values per row
    int32_t width = 0;
    int32_t height = 0;
};

// What the device's states say about drawing.
struct RasterState {
    bool depthTest = false;
    bool depthWrite = true;
    uint32_t depthFunction = D3DCMP_LESSEQUAL;
    uint32_t depthBias = 0; // 0..16; each step brings the primitive one depth-buffer unit closer
    bool gouraud = true;
    uint32_t cull = D3DCULL_CCW;
    bool blend = false;
    uint32_t sourceBlend = D3DBLEND_ONE;
    uint32_t destinationBlend = D3DBLEND_ZERO;
    bool perspective = true;
    uint32_t magFilter = D3DTFG_POINT;
    uint32_t minFilter = D3DTFN_POINT;
    const RasterTexture* texture = nullptr; // null: the diffuse colour alone
    Matrix4 transform;                      // world x view x projection
    Viewport2 viewport;
};

// The rows one of several threads draws: bands of kRasterBandRows rows, dealt out by a pattern of
// kRasterBandCycle bands that repeats down the target (band b to thread owners[b % cycle]), or
// without one band b to thread b % count. A pixel comes out the same whichever thread draws its
// row.
inline constexpr int kRasterBandRows = 16;
inline constexpr int kRasterBandCycle = 64;
struct RasterRows {
    uint32_t index = 0;              // this thread, 0..count - 1
    uint32_t count = 1;              // threads sharing the target
    const uint8_t* owners = nullptr; // kRasterBandCycle threads, each of them in it at least once
    uint32_t ownerOfBand(uint32_t band) const {
        return owners ? owners[band % kRasterBandCycle] : band % count;
    }
    bool owns(int y) const {
        return count == 1 || ownerOfBand(uint32_t(y / kRasterBandRows)) == index;
    }
    // Whether any of the rows from..to - 1 is this thread's.
    bool ownsAny(int from, int to) const {
        if (from >= to) return false;
        if (count == 1) return true;
        const uint32_t first = uint32_t(from / kRasterBandRows);
        const uint32_t last = uint32_t((to - 1) / kRasterBandRows);
        if (last - first >= uint32_t(owners ? kRasterBandCycle : int(count))) return true;
        for (uint32_t band = first; band <= last; ++band)
            if (ownerOfBand(band) == index) return true;
        return false;
    }
};

constexpr bool isRasterPrimitive(uint32_t primitive) {
    return primitive >= D3DPT_POINTLIST && primitive <= D3DPT_TRIANGLEFAN;
}
constexpr bool isRasterTriangles(uint32_t primitive) {
    return primitive == D3DPT_TRIANGLELIST || primitive == D3DPT_TRIANGLESTRIP ||
           primitive == D3DPT_TRIANGLEFAN;
}

// Draws count vertices as the given primitive, in the given rows only; false for a primitive type
// it does not know.
bool rasterizePrimitive(const RasterTarget& target, const RasterState& state, uint32_t primitive,
                        const LitVertex* vertices, uint32_t count, RasterRows rows = {});

// A triangle after transform, clipping, projection and culling, ready to be drawn: its corners
// from top to bottom, its rows within the scissor, and its attributes (depth, 1/w, texture
// coordinates, colour) at one corner with their steps per pixel across and down. Set up once,
// it is drawn by each thread in its own rows.
inline constexpr int kRasterAttributes = 7;
struct RasterTriangle {
    float x[3], y[3]; // corners, by y
    float originX, originY;
    float origin[kRasterAttributes], dx[kRasterAttributes], dy[kRasterAttributes];
    int32_t yStart, yEnd;
    uint8_t flat[3]; // the flat-shading colour
    bool linear;     // sampled with the linear filter
};
// One triangle clipped by the depth planes can leave a polygon of up to nine corners.
inline constexpr uint32_t kRasterTrianglesPerPrimitive = 7;

// The triangles a list, strip or fan of count vertices has; 0 for other primitives.
uint32_t trianglePrimitives(uint32_t primitive, uint32_t count);

// Sets up the list, strip or fan's triangles from the first-th on into out, stopping where room
// for the next one's (kRasterTrianglesPerPrimitive) runs out; written says how many were set up
// (culled and clipped-away ones take none). Returns the index of the next triangle to set up.
uint32_t setUpTriangles(const RasterTarget& target, const RasterState& state, uint32_t primitive,
                        const LitVertex* vertices, uint32_t count, uint32_t first,
                        RasterTriangle* out, uint32_t room, uint32_t& written);

// Draws set-up triangles, in the given rows only, with the state they were set up with.
void drawTriangles(const RasterTarget& target, const RasterState& state,
                   const RasterTriangle* triangles, uint32_t count, RasterRows rows = {});

// What a clear fills: the rectangle (clipped to the target) of the colour and/or depth buffer.
struct RasterClear {
    Rect rect;
    bool color = false;
    uint16_t colorValue = 0;
    bool depth = false;
    uint16_t depthValue = 0;
};

// Fills the rectangle in the given rows only.
void clearTarget(const RasterTarget& target, const RasterClear& clear, RasterRows rows = {});

// 8-bit channels to a 5-6-5 pixel (each channel's high bits) and back (bit replication).
constexpr uint16_t packRgb565(uint32_t r, uint32_t g, uint32_t b) {
    return uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}
constexpr uint32_t red565(uint16_t p) {
    return ((p >> 11) << 3) | (p >> 13);
}
constexpr uint32_t green565(uint16_t p) {
    return (((p >> 5) & 63) << 2) | ((p >> 9) & 3);
}
constexpr uint32_t blue565(uint16_t p) {
    return ((p & 31) << 3) | ((p >> 2) & 7);
}

} // namespace kestrune
