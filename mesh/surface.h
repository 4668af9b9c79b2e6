// The process-wide surface table that LWOB objects fill, and the surface texture mapping.
#pragma once

#include <cstdint>

namespace kestrune {

constexpr int kSurfaceSlotCount = 128;
constexpr int kSurfaceNameSize = 64; // names of up to 63 characters
constexpr int kTextureTypeSize = 50; // texture type strings of up to 49 characters

enum TextureAxis : uint8_t { TextureAxisX = 0, TextureAxisY = 1, TextureAxisZ = 2 };

struct Surface {
    char name[kSurfaceNameSize];        // from SRFS, NUL-terminated
    float color[3];                     // R, G, B, 0..255
    float transparency;                 // VTRN; 0 after COLR
    uint16_t flags;                     // PolyFlag bits built from FLAG, CTEX, RIMG
    uint16_t texture;                   // texture table index from TIMG
    char textureType[kTextureTypeSize]; // CTEX string, e.g. "Planar Image Map"
    uint8_t textureAxis;                // TextureAxis from TFLG
    float textureSize[3];               // TSIZ
    float textureCenter[3];             // TCTR; 0, 0, 0 after CTEX
    float wrapWidth;                    // TFP0
    float wrapHeight;                   // TFP1
    uint16_t reflectionTexture;         // texture table index from RIMG
};

// One table for the whole process, zero at start and never cleared: a surface field that an
// object does not set keeps the value the slot had after the previous object.
struct SurfaceTable {
    Surface slots[kSurfaceSlotCount];
    // Slots from this one on are as at start, all zero. Whatever writes a slot raises it, so that
    // a table is copied and compared by the slots written so far alone.
    int writtenSlots;
};

inline SurfaceTable surfaceTable;

// Projects the object-space point (x, y, z) through the image map of surfaceTable slot
// surfaceSlot. Unknown map types, and slots past the table, give u = v = 0.
void mapTextureCoordinates(float& u, float& v, int surfaceSlot, float x, float y, float z);

} // namespace kestrune
