// Texture coordinates from a surface's planar, cylindrical or spherical image map.
#include <cmath>
#include <cstring>

#include "mesh/surface.h"

namespace kestrune {

namespace {

// A zero texture size would divide by zero; the flattened axis maps to the map centre instead.
float scaled(float d, float size) {
    return size != 0.0f ? d / size : 0.0f;
}

} // namespace

void mapTextureCoordinates(float& u, float& v, int surfaceSlot, float x, float y, float z) {
    u = 0.0f;
    v = 0.0f;
    if (surfaceSlot < 0 || surfaceSlot >= kSurfaceSlotCount) return;
    const Surface& s = surfaceTable.slots[surfaceSlot];
    const float dx = x - s.textureCenter[0];
    const float dy = y - s.textureCenter[1];
    const float dz = z - s.textureCenter[2];

    if (std::strcmp(s.textureType, "Planar Image Map") == 0) {
        const float sx = scaled(dx, s.textureSize[0]);
        const float sy = scaled(dy, s.textureSize[1]);
        const float sz = scaled(dz, s.textureSize[2]);
        switch (s.textureAxis) {
        case TextureAxisX:
            u = sz + 0.5f;
            v = sy + 0.5f;
            break;
        case TextureAxisY:
            u = sx + 0.5f;
            v = sz + 0.5f;
            break;
        case TextureAxisZ:
            u = sx + 0.5f;
            v = sy + 0.5f;
            break;
        default:
            break;
        }
    } else if (std::strcmp(s.textureType, "Cylindrical Image Map") == 0) {
        const float sx = scaled(dx, s.textureSize[0]);
        const float sy = scaled(dy, s.textureSize[1]);
        const float sz = scaled(dz, s.textureSize[2]);
        float a, b, h;
        switch (s.textureAxis) {
        case TextureAxisX:
            a = sy;
            b = -sz;
            h = sx;
            break;
        case TextureAxisY:
            a = -sz;
            b = sx;
            h = sy;
            break;
        case TextureAxisZ:
            a = sy;
            b = sx;
            h = sz;
            break;
        default:
            return;
        }
        // 1/3.14 rather than 1/pi, carried in extended precision as the show always has.
        const long double angle = std::atan2(static_cast<double>(a), static_cast<double>(b));
        const long double turn =
            angle * 0.5L * static_cast<long double>(s.wrapWidth) * 0.3184713375796178L + 0.25L;
        u = static_cast<float>(1.0L - turn);
        v = h + 0.5f;
    } else if (std::strcmp(s.textureType, "Spherical Image Map") == 0) {
        float a, b, e;
        switch (s.textureAxis) {
        case TextureAxisX:
            a = -dy;
            b = dz;
            e = -dx;
            break;
        case TextureAxisY:
            a = dz;
            b = dx;
            e = dy;
            break;
        case TextureAxisZ:
            a = dx;
            b = dy;
            e = dz;
            break;
        default:
            return;
        }
        const float w = s.wrapWidth;
        const float hgt = s.wrapHeight;
        // 1 divided by the single-precision 3.14.
        const double angle = std::atan2(static_cast<double>(a), static_cast<double>(b));
        u = static_cast<float>(angle * static_cast<double>(w * 0.5f) * 0.3184713269398179 -
                               static_cast<double>(w * 0.25f));
        const float r = std::sqrt(a * a + b * b + e * e);
        // A corner at the map centre has no latitude; it is put on the equator.
        // Rounding can put e / r a hair past 1, where asin has no value.
        double sine = r > 0.0f ? static_cast<double>(e / r) : 0.0;
        sine = sine > 1.0 ? 1.0 : (sine < -1.0 ? -1.0 : sine);
        const double latitude = std::asin(sine);
        v = static_cast<float>(latitude * static_cast<double>(hgt) * 0.25 +
                               static_cast<double>(hgt * 0.5f));
    }
}

} // namespace kestrune
