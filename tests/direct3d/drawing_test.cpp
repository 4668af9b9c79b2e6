// The Direct3D backend drawing on the software device: textures through both mipmap paths, the
// diffuse rules, primitive choice, sprites, the reflection pass, the view rectangle and frames.
#include <filesystem>

#include "mesh/mesh.h"
#include "tests/direct3d/direct3d_test_host.h"
#include "tests/direct3d/test_jpeg.h"

namespace kestrune::test {
namespace {

// A 64 x 48 display: a camera-space point (x, y, 1) lands on pixel (32 + 64x, 24 - 48y).
class DrawingTest : public Direct3DTest {
protected:
    void SetUp() override {
        Direct3DTest::SetUp();
        ASSERT_EQ(open(64, 48), -1);
        direct3d::beginFrame();
        direct3d::beginScene();
    }

    // Adds a point at camera position (x, y, z) with the given lit colour and camera normal.
    uint16_t point(float x, float y, float z, int32_t r = 0, int32_t g = 0, int32_t b = 0) {
        MeshPoint p{};
        p.cameraPosition = {x, y, z};
        p.litColor[0] = r;
        p.litColor[1] = g;
        p.litColor[2] = b;
        mesh.points.push_back(p);
        mesh.pointCount = uint16_t(mesh.points.size());
        return uint16_t(mesh.points.size() - 1);
    }

    MeshPolygon polygon(uint8_t flags, std::vector<uint16_t> vertices, uint8_t r = 0, uint8_t g = 0,
                        uint8_t b = 0) {
        MeshPolygon p{};
        p.flags = flags;
        p.vertexCount = uint8_t(vertices.size());
        p.color[0] = r;
        p.color[1] = g;
        p.color[2] = b;
        p.u.assign(vertices.size(), 0.5f);
        p.v.assign(vertices.size(), 0.5f);
        p.vertices = std::move(vertices);
        return p;
    }

    // A clockwise triangle on screen around (32, 24), visible with counter-clockwise culling.
    // The given lit colour is on the second vertex, the one flat shading takes in a fan.
    std::vector<uint16_t> triangle(int32_t r1, int32_t g1, int32_t b1) {
        return {point(-0.2f, 0.2f, 1, 0, 0, 0), point(0.2f, 0.2f, 1, r1, g1, b1),
                point(0, -0.2f, 1, 90, 90, 90)};
    }

    std::vector<uint16_t> show() {
        direct3d::endScene();
        direct3d::endFrame();
        return frontBuffer(width, height);
    }
    uint16_t at(const std::vector<uint16_t>& pixels, int x, int y) const {
        return pixels[size_t(y) * size_t(width) + size_t(x)];
    }

    Mesh mesh;
    int width = 0, height = 0;
};

TEST_F(DrawingTest, UntexturedFlatTakesBasePlusTwiceLitOfTheSecondVertex) {
    // Base (10, 20, 30) + 2 x lit (20, 40, 200), limited to 255: (50, 100, 255).
    MeshPolygon p = polygon(PolyFlat, triangle(20, 40, 200), 10, 20, 30);
    direct3d::drawPolygon(mesh, p);
    auto pixels = show();
    EXPECT_EQ(at(pixels, 32, 20), packRgb565(50, 100, 255));
    EXPECT_EQ(at(pixels, 32, 28), packRgb565(50, 100, 255));
    EXPECT_EQ(at(pixels, 2, 2), 0) << "cleared to black";
}

TEST_F(DrawingTest, SmoothThenFlatDrawsTwiceAndTheFlatPassWins) {
    MeshPolygon p = polygon(PolySmooth | PolyFlat, triangle(20, 40, 60), 10, 10, 10);
    direct3d::drawPolygon(mesh, p);
    auto pixels = show();
    EXPECT_EQ(at(pixels, 32, 20), packRgb565(50, 90, 130));
}

TEST_F(DrawingTest, CulledUnlessDoubleSided) {
    std::vector<uint16_t> v = triangle(100, 100, 100);
    std::vector<uint16_t> reversed = {v[2], v[1], v[0]};
    direct3d::drawPolygon(mesh, polygon(PolyFlat, reversed));
    direct3d::endScene();
    direct3d::endFrame();
    auto pixels = frontBuffer(width, height);
    EXPECT_EQ(at(pixels, 32, 20), 0);

    direct3d::beginFrame();
    direct3d::beginScene();
    direct3d::drawPolygon(mesh, polygon(PolyFlat | PolyDoubleSided, reversed));
    pixels = show();
    EXPECT_EQ(at(pixels, 32, 20), packRgb565(200, 200, 200));
}

TEST_F(DrawingTest, OutlineIsAnOpenLineStrip) {
    // (16, 12) -> (48, 12) -> (48, 36); a closing segment would cross (32, 24).
    std::vector<uint16_t> v = {point(-0.25f, 0.25f, 1, 100, 0, 0),
                               point(0.25f, 0.25f, 1, 100, 0, 0),
                               point(0.25f, -0.25f, 1, 100, 0, 0)};
    direct3d::drawPolygon(mesh, polygon(PolyOutline | PolySmooth | PolyDoubleSided, v));
    auto pixels = show();
    EXPECT_NE(at(pixels, 30, 12), 0);
    EXPECT_NE(at(pixels, 48, 20), 0);
    EXPECT_EQ(at(pixels, 32, 24), 0);
    EXPECT_EQ(at(pixels, 48, 36), 0) << "lines leave out their last pixel";
}

TEST_F(DrawingTest, TwoVerticesAreALineAndOneIsAPoint) {
    std::vector<uint16_t> line = {point(-0.25f, 0, 1, 100, 100, 100), point(0.25f, 0, 1)};
    direct3d::drawPolygon(mesh, polygon(PolyFlat, line));
    direct3d::drawPolygon(mesh, polygon(PolyFlat, {point(0, 0.25f, 1, 50, 50, 50)}));
    auto pixels = show();
    EXPECT_EQ(at(pixels, 20, 24), packRgb565(200, 200, 200));
    EXPECT_EQ(at(pixels, 32, 12), packRgb565(100, 100, 100));
    int lit = 0;
    for (uint16_t p : pixels) lit += p != 0;
    EXPECT_EQ(lit, 33); // 32 line pixels and the point
}

TEST_F(DrawingTest, TexturedColourIsTwiceLitTimesTheTexture) {
    // A texture found nowhere is a white image: the colour is the diffuse, min(255, 2 x lit).
    uint16_t white = direct3d::loadTexture("d3d_missing_texture.jpg", 1);
    MeshPolygon p = polygon(PolyTextured, triangle(50, 100, 200));
    p.texture = white;
    direct3d::drawPolygon(mesh, p);
    auto pixels = show();
    EXPECT_EQ(at(pixels, 32, 20), packRgb565(100, 200, 255));
}

TEST_F(DrawingTest, OnePointTexturedSmoothPolygonIsAGreySquare) {
    uint16_t white = direct3d::loadTexture("d3d_missing_texture.jpg", 1);
    MeshPolygon p = polygon(PolyTextured | PolySmooth, {point(0, 0, 1, 255, 255, 255)});
    p.texture = white;
    direct3d::drawPolygon(mesh, p);
    auto pixels = show();
    // Half edge 0.05 at z = 1: columns 28.8 to 35.2 and rows 21.6 to 26.4, that is 7 x 5
    // pixels of grey 143 whatever the point's colour.
    int lit = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (at(pixels, x, y)) {
                ++lit;
                EXPECT_EQ(at(pixels, x, y), packRgb565(143, 143, 143));
                EXPECT_TRUE(x >= 29 && x <= 35 && y >= 22 && y <= 26) << x << "," << y;
            }
    EXPECT_EQ(lit, 35);
}

TEST_F(DrawingTest, ReflectionPassBlendsOverTheSurfaceWithDepthBias) {
    uint16_t white = direct3d::loadTexture("d3d_missing_texture.jpg", 1);
    MeshPolygon p = polygon(PolyFlat | PolyReflection, triangle(20, 40, 100), 10, 20, 55);
    p.reflectionTexture = white;
    direct3d::drawPolygon(mesh, p);
    // The flat pass leaves (50, 100, 255), read back as (49, 101, 255); the reflection pass
    // blends (50, 100, 255) over it: (50 x 205 + 49 x 206) / 255 = 79,
    // (100 x 155 + 101 x 154) / 255 = 121, (255 x 0 + 255 x 0) / 255 = 0.
    uint32_t zbias = 9, blend = 9, depthWrite = 9;
    direct3DDisplay.device->getRenderState(D3DRENDERSTATE_ZBIAS, zbias);
    direct3DDisplay.device->getRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, blend);
    direct3DDisplay.device->getRenderState(D3DRENDERSTATE_ZWRITEENABLE, depthWrite);
    EXPECT_EQ(zbias, 0u);
    EXPECT_EQ(blend, 0u);
    EXPECT_EQ(depthWrite, 1u);
    auto pixels = show();
    EXPECT_EQ(at(pixels, 32, 20), packRgb565(79, 121, 0));
}

TEST_F(DrawingTest, TranslucentStates) {
    uint32_t source = 0, destination = 0, blend = 0, depthWrite = 9;
    direct3d::setTranslucent(1);
    direct3DDisplay.device->getRenderState(D3DRENDERSTATE_SRCBLEND, source);
    direct3DDisplay.device->getRenderState(D3DRENDERSTATE_DESTBLEND, destination);
    direct3DDisplay.device->getRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, blend);
    direct3DDisplay.device->getRenderState(D3DRENDERSTATE_ZWRITEENABLE, depthWrite);
    EXPECT_EQ(source, uint32_t(D3DBLEND_INVSRCCOLOR));
    EXPECT_EQ(destination, uint32_t(D3DBLEND_INVDESTCOLOR));
    EXPECT_EQ(blend, 1u);
    EXPECT_EQ(depthWrite, 0u);
    direct3d::setTranslucent(0);
    direct3DDisplay.device->getRenderState(D3DRENDERSTATE_SRCBLEND, source);
    direct3DDisplay.device->getRenderState(D3DRENDERSTATE_DESTBLEND, destination);
    EXPECT_EQ(source, uint32_t(D3DBLEND_ONE));
    EXPECT_EQ(destination, uint32_t(D3DBLEND_ZERO));
}

TEST_F(DrawingTest, ViewRectLimitsDrawingAndAnInvertedOneDrawsNothing) {
    std::vector<uint16_t> quad = {point(-1, 1, 1, 100, 100, 100), point(1, 1, 1, 100, 100, 100),
                                  point(1, -1, 1, 100, 100, 100), point(-1, -1, 1, 100, 100, 100)};
    direct3d::setViewRect(16, 12, 48, 36);
    direct3d::drawPolygon(mesh, polygon(PolyFlat | PolyDoubleSided, quad));
    auto pixels = show();
    int lit = 0;
    for (uint16_t p : pixels) lit += p != 0;
    EXPECT_EQ(lit, 32 * 24);
    EXPECT_NE(at(pixels, 16, 12), 0);
    EXPECT_EQ(at(pixels, 15, 12), 0);

    direct3d::setViewRect(330, 250, 310, 230);
    direct3d::beginFrame();
    direct3d::beginScene();
    direct3d::drawPolygon(mesh, polygon(PolyFlat | PolyDoubleSided, quad));
    pixels = show();
    lit = 0;
    for (uint16_t p : pixels) lit += p != 0;
    EXPECT_EQ(lit, 0);
}

TEST_F(DrawingTest, PolygonsNamingMissingPointsAreNotDrawn) {
    MeshPolygon p = polygon(PolyFlat, {0, 1, 7});
    point(0, 0, 1);
    point(1, 0, 1);
    direct3d::drawPolygon(mesh, p);
    auto pixels = show();
    for (uint16_t px : pixels) ASSERT_EQ(px, 0);
}

// The level sizes and the colour of each level of a texture's surfaces.
struct Level {
    uint32_t width, height;
    uint16_t first, last; // first and last pixel
};

std::vector<Level> levelsOf(uint16_t index) {
    std::vector<Level> levels;
    auto* data = static_cast<Direct3DTextureData*>(textureTable.slots[index].direct3dData);
    if (!data || !data->surface) return levels;
    DirectDrawSurface* level = data->surface;
    level->addRef();
    while (level) {
        SurfaceDesc desc;
        EXPECT_GE(level->lock(desc), 0);
        auto* pixels = static_cast<const uint16_t*>(desc.surface);
        size_t lastIndex = size_t(desc.height - 1) * size_t(desc.pitch / 2) + desc.width - 1;
        levels.push_back({desc.width, desc.height, pixels[0], pixels[lastIndex]});
        level->unlock();
        DirectDrawSurface* next = nullptr;
        if (level->getAttachedSurface(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, &next) < 0) next = nullptr;
        level->release();
        level = next;
    }
    return levels;
}

TEST_F(DrawingTest, MipmappedTextureFillsEveryLevel) {
    uint16_t index = direct3d::loadTexture("d3d_missing_texture.jpg", 1);
    EXPECT_EQ(direct3d::loadTexture("d3d_missing_texture.jpg", 0), index) << "loaded once";
    auto levels = levelsOf(index);
    ASSERT_EQ(levels.size(), 3u);
    EXPECT_EQ(levels[0].width, 4u);
    EXPECT_EQ(levels[1].width, 2u);
    EXPECT_EQ(levels[2].width, 1u);
    for (const Level& l : levels) EXPECT_EQ(l.first, 0xFFFF);
}

TEST_F(DrawingTest, SingleSurfaceTextureWithoutMipmaps) {
    uint16_t index = direct3d::loadTexture("d3d_missing_other.jpg", 0);
    auto levels = levelsOf(index);
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_EQ(levels[0].width, 4u);
    EXPECT_EQ(levels[0].last, 0xFFFF);
}

TEST_F(DrawingTest, TexturesLargerThan256TakeTheMipmapPathToo) {
    const char* name = "d3d_large_texture_test.jpg";
    ASSERT_TRUE(writeSolidJpeg(name, 300, 260, 255, 0, 255));
    uint16_t index = direct3d::loadTexture(name, 1);
    std::filesystem::remove(name);
    auto levels = levelsOf(index);
    ASSERT_EQ(levels.size(), 9u); // 300 x 260 down to 1 x 1
    EXPECT_EQ(levels[0].width, 300u);
    EXPECT_EQ(levels[0].height, 260u);
    EXPECT_EQ(levels[3].width, 37u);
    EXPECT_EQ(levels[3].height, 32u);
    for (const Level& l : levels) {
        EXPECT_EQ(l.first, 0xF81F) << l.width;
        EXPECT_EQ(l.last, 0xF81F) << l.width;
    }
}

TEST(ConvertPixelsTest, MasksPlaceEachChannelsHighBits) {
    // (200, 100, 50) in 5-6-5: 25 << 11 | 25 << 5 | 6; in 1-5-5-5: 25 << 10 | 12 << 5 | 6.
    const uint8_t rgb[6] = {200, 100, 50, 255, 255, 255};
    uint8_t out[8] = {};
    convertPixels(rgb, 2, 1, {DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0}, out, 8);
    EXPECT_EQ(out[0] | (out[1] << 8), (25 << 11) | (25 << 5) | 6);
    EXPECT_EQ(out[2] | (out[3] << 8), 0xFFFF);
    convertPixels(rgb, 1, 1, {DDPF_RGB, 16, 0x7C00, 0x03E0, 0x001F, 0x8000}, out, 8);
    EXPECT_EQ(out[0] | (out[1] << 8), (25 << 10) | (12 << 5) | 6);
    // Rows go at the surface's pitch.
    uint8_t rows[2 * 6] = {};
    const uint8_t two[6] = {255, 255, 255, 255, 255, 255};
    convertPixels(two, 1, 2, {DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0}, rows, 6);
    EXPECT_EQ(rows[6] | (rows[7] << 8), 0xFFFF);
    EXPECT_EQ(rows[2], 0);
}

} // namespace
} // namespace kestrune::test
