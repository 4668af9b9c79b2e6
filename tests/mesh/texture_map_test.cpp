// Planar, cylindrical and spherical image maps with their axis tables and constants.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "mesh/surface.h"

namespace kestrune {
namespace {

Surface& mapSurface(const char* type, uint8_t axis, float size, float wrapW = 1, float wrapH = 1) {
    Surface& s = surfaceTable.slots[5];
    std::memset(&s, 0, sizeof s);
    std::snprintf(s.textureType, sizeof s.textureType, "%s", type);
    s.textureAxis = axis;
    s.textureSize[0] = s.textureSize[1] = s.textureSize[2] = size;
    s.wrapWidth = wrapW;
    s.wrapHeight = wrapH;
    return s;
}

TEST(TextureMap, Planar) {
    float u = -1, v = -1;
    mapSurface("Planar Image Map", TextureAxisZ, 2);
    mapTextureCoordinates(u, v, 5, 1, -1, 5);
    EXPECT_FLOAT_EQ(u, 1.0f);
    EXPECT_FLOAT_EQ(v, 0.0f);
    mapTextureCoordinates(u, v, 5, 0, 0, 0);
    EXPECT_FLOAT_EQ(u, 0.5f);
    EXPECT_FLOAT_EQ(v, 0.5f);

    mapSurface("Planar Image Map", TextureAxisY, 1);
    mapTextureCoordinates(u, v, 5, 0.25f, 7, -0.25f);
    EXPECT_FLOAT_EQ(u, 0.75f);
    EXPECT_FLOAT_EQ(v, 0.25f);

    Surface& s = mapSurface("Planar Image Map", TextureAxisX, 4);
    s.textureCenter[2] = 1;
    mapTextureCoordinates(u, v, 5, 100, 2, 3); // u from z, v from y
    EXPECT_FLOAT_EQ(u, 1.0f);
    EXPECT_FLOAT_EQ(v, 1.0f);

    // A zero size flattens that axis onto the centre instead of dividing by zero.
    mapSurface("Planar Image Map", TextureAxisZ, 0);
    mapTextureCoordinates(u, v, 5, 3, 3, 3);
    EXPECT_EQ(u, 0.5f);
    EXPECT_EQ(v, 0.5f);
}

TEST(TextureMap, CylindricalUsesOneOver3_14) {
    float u, v;
    mapSurface("Cylindrical Image Map", TextureAxisY, 1);
    mapTextureCoordinates(u, v, 5, 1, 0, 0);
    EXPECT_FLOAT_EQ(u, 0.75f);
    EXPECT_FLOAT_EQ(v, 0.5f);
    mapTextureCoordinates(u, v, 5, 0, 0, -1);
    const double expected = 1.0 - (M_PI / 2 * 0.5 * 0.3184713375796178 + 0.25);
    EXPECT_FLOAT_EQ(u, float(expected));
    EXPECT_NEAR(u, 0.4999f, 1e-4);

    mapSurface("Cylindrical Image Map", TextureAxisZ, 2, 2);
    mapTextureCoordinates(u, v, 5, 0, 2, 1); // a = y/2 = 1, b = x/2 = 0, h = z/2
    EXPECT_FLOAT_EQ(u, float(1.0 - (M_PI / 2 * 0.5 * 2 * 0.3184713375796178 + 0.25)));
    EXPECT_FLOAT_EQ(v, 1.0f);
    mapSurface("Cylindrical Image Map", TextureAxisX, 1);
    mapTextureCoordinates(u, v, 5, 0.25f, 0, -1); // a = y = 0, b = -z = 1, h = x
    EXPECT_FLOAT_EQ(u, 0.75f);
    EXPECT_FLOAT_EQ(v, 0.75f);
}

TEST(TextureMap, SphericalUsesOneOverSinglePrecision3_14) {
    float u, v;
    mapSurface("Spherical Image Map", TextureAxisY, 123);
    mapTextureCoordinates(u, v, 5, 1, 0, 0);
    EXPECT_FLOAT_EQ(u, -0.25f);
    EXPECT_FLOAT_EQ(v, 0.5f);
    mapTextureCoordinates(u, v, 5, 0, 1, 0);
    EXPECT_FLOAT_EQ(v, float(M_PI / 8 + 0.5));
    mapTextureCoordinates(u, v, 5, 0, 0, 1); // a = z = 1, b = x = 0: angle pi/2
    EXPECT_FLOAT_EQ(u, float(M_PI / 2 * 0.5 * 0.3184713269398179 - 0.25));

    mapSurface("Spherical Image Map", TextureAxisX, 1, 2, 4);
    mapTextureCoordinates(u, v, 5, -1, 0, 0); // e = -x = 1: the pole
    EXPECT_FLOAT_EQ(v, float(M_PI / 2 * 4 * 0.25 + 2));
    EXPECT_FLOAT_EQ(u, -0.5f);
    // The centre has no latitude: it lands on the equator, not NaN.
    mapTextureCoordinates(u, v, 5, 0, 0, 0);
    EXPECT_FLOAT_EQ(v, 2.0f);
    EXPECT_FALSE(std::isnan(u));
}

TEST(TextureMap, UnknownTypesAndSlotsGiveZero) {
    float u = 9, v = 9;
    mapSurface("Cubic Image Map", TextureAxisZ, 1);
    mapTextureCoordinates(u, v, 5, 0.3f, 0.3f, 0.3f);
    EXPECT_EQ(u, 0.0f);
    EXPECT_EQ(v, 0.0f);
    mapSurface("planar image map", TextureAxisZ, 1); // case matters
    mapTextureCoordinates(u, v, 5, 0.3f, 0.3f, 0.3f);
    EXPECT_EQ(u, 0.0f);
    u = v = 9;
    mapTextureCoordinates(u, v, 128, 0, 0, 0);
    EXPECT_EQ(u, 0.0f);
    EXPECT_EQ(v, 0.0f);
}

} // namespace
} // namespace kestrune
