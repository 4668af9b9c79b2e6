// The OpenGL backend drawn headless (SDL offscreen on Mesa) and read back pixel by pixel.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "mesh/mesh.h"
#include "render/opengl/opengl_backend.h"
#include "scene/scene.h"

namespace kestrune {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

struct Pixel {
    int r, g, b;
};

Pixel readPixel(int x, int y) {
    unsigned char p[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

MeshPoint point(float x, float y, float z, int lit) {
    MeshPoint p{};
    p.cameraPosition = {x, y, z};
    p.litColor[0] = p.litColor[1] = p.litColor[2] = lit;
    return p;
}

// A square in front of the camera covering the middle of the picture. Wound clockwise as seen,
// so it survives the culling of front (counter-clockwise) faces.
Mesh square(int lit, float half = 0.2f, float z = 1.0f) {
    Mesh mesh;
    mesh.points = {point(-half, -half, z, lit), point(-half, half, z, lit),
                   point(half, half, z, lit), point(half, -half, z, lit)};
    mesh.pointCount = 4;
    return mesh;
}

MeshPolygon polygonOver(const Mesh& mesh, uint8_t flags, uint8_t color = 0) {
    MeshPolygon polygon{};
    polygon.flags = flags;
    polygon.vertexCount = static_cast<uint8_t>(mesh.points.size());
    for (size_t i = 0; i < mesh.points.size(); ++i) {
        polygon.vertices.push_back(static_cast<uint16_t>(i));
        polygon.u.push_back(0.5f);
        polygon.v.push_back(0.5f);
    }
    polygon.color[0] = polygon.color[1] = polygon.color[2] = color;
    return polygon;
}

class OpenGLBackend : public testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        renderOptions = RenderOptions{};
        renderOptions.fullscreen = 0; // full screen cannot be tested without a display
        fillOpenGLBackend(renderBackend);
        renderBackend.openDisplay(kWidth, kHeight, nullptr, nullptr);
    }
    static void TearDownTestSuite() { renderBackend.closeDisplay(); }

    void SetUp() override {
        ASSERT_NE(openGLDisplay.context.native, nullptr) << "no GL context on the offscreen driver";
        renderBackend.setViewRect(0, 0, kWidth, kHeight);
        renderBackend.setTranslucent(0);
        renderBackend.beginFrame();
    }
    Pixel centre() const { return readPixel(kWidth / 2, kHeight / 2); }
};

TEST_F(OpenGLBackend, OpenDisplayRecordsTheSizeAndSetsTheFixedState) {
    EXPECT_EQ(outputSize.width, kWidth);
    EXPECT_EQ(outputSize.height, kHeight);
    EXPECT_EQ(outputSize.bitsPerPixel, 0);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    GLint value = 0;
    glGetIntegerv(GL_CULL_FACE_MODE, &value);
    EXPECT_EQ(value, GL_FRONT);
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);
    glGetIntegerv(GL_BLEND_SRC, &value);
    EXPECT_EQ(value, GL_ONE_MINUS_DST_COLOR);
    glGetIntegerv(GL_BLEND_DST, &value);
    EXPECT_EQ(value, GL_ONE_MINUS_SRC_COLOR);
    // 320 / 240 is 1 in integers: the projection is square whatever the window's shape.
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_FLOAT_EQ(projection[0], projection[5]);
}

TEST_F(OpenGLBackend, ClearedFrameIsBlack) {
    Pixel p = centre();
    EXPECT_EQ(p.r + p.g + p.b, 0);
}

TEST_F(OpenGLBackend, UntexturedFlatUsesHalfTheMeanLightPlusTheBaseColour) {
    Mesh mesh = square(100);
    MeshPolygon polygon = polygonOver(mesh, PolyFlat, 78);
    renderBackend.drawPolygon(mesh, polygon);
    Pixel p = centre(); // (100 / 2 + 78) / 256 = 0.5
    EXPECT_NEAR(p.r, 128, 3);
    EXPECT_NEAR(p.b, 128, 3);
}

TEST_F(OpenGLBackend, UntexturedSmoothLimitsAtFullBrightness) {
    Mesh mesh = square(255);
    MeshPolygon polygon = polygonOver(mesh, PolySmooth, 127);
    renderBackend.drawPolygon(mesh, polygon);
    Pixel p = centre(); // (127 + 127) / 256, just under full
    EXPECT_GE(p.g, 250);
    EXPECT_EQ(mesh.points[0].litColor[0], 255); // untextured passes leave the light alone
}

TEST_F(OpenGLBackend, UntexturedWithoutSmoothOrFlatDrawsNothing) {
    Mesh mesh = square(255);
    renderBackend.drawPolygon(mesh, polygonOver(mesh, 0, 127));
    Pixel p = centre();
    EXPECT_EQ(p.r + p.g + p.b, 0);
}

TEST_F(OpenGLBackend, FrontFacesAreCulledUnlessDoubleSided) {
    Mesh mesh = square(200);
    std::swap(mesh.points[1], mesh.points[3]); // counter-clockwise: a front face
    renderBackend.drawPolygon(mesh, polygonOver(mesh, PolyFlat, 100));
    EXPECT_EQ(centre().r, 0);
    renderBackend.drawPolygon(mesh, polygonOver(mesh, PolyFlat | PolyDoubleSided, 100));
    EXPECT_GT(centre().r, 100);
}

TEST_F(OpenGLBackend, OutlinesAreClosedLineLoops) {
    Mesh mesh = square(200, 0.3f);
    renderBackend.drawPolygon(mesh, polygonOver(mesh, PolyFlat | PolyOutline, 127));
    EXPECT_EQ(centre().r, 0); // the inside stays empty
    int lit = 0;
    for (int y = 0; y < kHeight; ++y) lit += readPixel(kWidth / 2, y).r > 40;
    EXPECT_GE(lit, 2); // the top and bottom edges cross the middle column
}

TEST_F(OpenGLBackend, TwoPointPolygonIsALine) {
    Mesh mesh;
    mesh.points = {point(-0.3f, 0, 1, 200), point(0.3f, 0, 1, 200)};
    mesh.pointCount = 2;
    renderBackend.drawPolygon(mesh, polygonOver(mesh, PolyFlat, 127));
    int lit = 0;
    for (int x = 0; x < kWidth; ++x)
        lit += readPixel(x, kHeight / 2).r > 40 || readPixel(x, kHeight / 2 - 1).r > 40;
    EXPECT_GT(lit, 50);
}

TEST_F(OpenGLBackend, TexturedSmoothLimitsTheLightTo127AndStoresItBack) {
    // A texture found nowhere is a small white image, so the colour shows through unchanged.
    uint16_t white = renderBackend.loadTexture("no-such-texture.jpg", 1);
    Mesh mesh = square(200);
    MeshPolygon polygon = polygonOver(mesh, PolyTextured | PolySmooth);
    polygon.texture = white;
    renderBackend.drawPolygon(mesh, polygon);
    EXPECT_GE(centre().r, 250); // 127 as a signed byte is full brightness
    for (const MeshPoint& p : mesh.points) EXPECT_EQ(p.litColor[1], 127);
}

TEST_F(OpenGLBackend, TexturedFlatUsesTheMeanLightOver256) {
    uint16_t white = renderBackend.loadTexture("no-such-texture.jpg", 1);
    Mesh mesh = square(64);
    mesh.points[0].litColor[0] = mesh.points[1].litColor[0] = 192; // red mean 128
    MeshPolygon polygon = polygonOver(mesh, PolyTextured);
    polygon.texture = white;
    renderBackend.drawPolygon(mesh, polygon);
    Pixel p = centre();
    EXPECT_NEAR(p.r, 128, 3);
    EXPECT_NEAR(p.g, 64, 3);
    EXPECT_EQ(mesh.points[0].litColor[0], 192); // no limiting on the flat path
}

TEST_F(OpenGLBackend, SameTextureNameGivesTheSameIndex) {
    int before = textureTable.count;
    uint16_t a = renderBackend.loadTexture("twice.jpg", 1);
    uint16_t b = renderBackend.loadTexture("twice.jpg", 1);
    EXPECT_EQ(a, b);
    EXPECT_EQ(textureTable.count, before + 1);
}

TEST_F(OpenGLBackend, FiltersFollowTheMipmapAndFilteringSwitches) {
    GLint minFilter = 0, magFilter = 0;
    uint16_t filtered = renderBackend.loadTexture("filtered.jpg", 1);
    glBindTexture(GL_TEXTURE_2D, textureTable.slots[filtered].glTextureName);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    EXPECT_EQ(minFilter, GL_LINEAR_MIPMAP_NEAREST);
    EXPECT_EQ(magFilter, GL_LINEAR);

    renderOptions.textureFiltering = 0;
    uint16_t plain = renderBackend.loadTexture("plain.jpg", 1);
    renderOptions.textureFiltering = 1;
    glBindTexture(GL_TEXTURE_2D, textureTable.slots[plain].glTextureName);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    EXPECT_EQ(minFilter, GL_NEAREST_MIPMAP_LINEAR); // the defaults
    EXPECT_EQ(magFilter, GL_LINEAR);
    GLint wrap = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap);
    EXPECT_EQ(wrap, GL_REPEAT);
}

int spriteWidth() {
    int lit = 0;
    for (int x = 0; x < kWidth; ++x) lit += readPixel(x, kHeight / 2).r > 100;
    return lit;
}

TEST_F(OpenGLBackend, OnePointTexturedPolygonIsAnAdditiveSpriteOfTheSpriteSize) {
    uint16_t white = renderBackend.loadTexture("no-such-texture.jpg", 1);
    Mesh mesh;
    mesh.points = {point(0, 0, 1, 0)};
    mesh.pointCount = 1;
    MeshPolygon polygon = polygonOver(mesh, PolyTextured | PolySmooth);
    polygon.texture = white;

    renderBackend.setTranslucent(1); // one-point polygons come in the translucent pass
    renderBackend.drawPolygon(mesh, polygon);
    int small = spriteWidth();
    GLint src = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    EXPECT_EQ(src, GL_ONE_MINUS_DST_COLOR); // back to the usual blend after the sprite

    renderBackend.beginFrame();
    spriteHalfSize = 0.15f;
    renderBackend.drawPolygon(mesh, polygon);
    spriteHalfSize = 0.05f;
    int large = spriteWidth();
    // 2 x 0.05 at distance 1 under a 45 degree view 320 pixels wide with aspect 1:
    // 0.1 / (2 tan 22.5) x 320, about 39 pixels.
    EXPECT_NEAR(small, 39, 2);
    EXPECT_NEAR(large, 3 * small, 4);
}

TEST_F(OpenGLBackend, ReflectionPassIsTranslucentAndUsesTheNormals) {
    uint16_t white = renderBackend.loadTexture("no-such-texture.jpg", 1);
    Mesh mesh = square(255);
    MeshPolygon polygon = polygonOver(mesh, PolyReflection);
    polygon.reflectionTexture = white;
    renderBackend.drawPolygon(mesh, polygon);
    // Over black, the blend (1 - dst, 1 - src) leaves the source: the white texture at full light.
    EXPECT_GE(centre().r, 250);
    EXPECT_EQ(mesh.points[2].litColor[0], 127);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLboolean depthWrites = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    EXPECT_TRUE(depthWrites);
}

TEST_F(OpenGLBackend, TranslucentModeBlendsWithoutWritingDepth) {
    renderBackend.setTranslucent(1);
    GLboolean depthWrites = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    EXPECT_FALSE(depthWrites);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    // The blend inverts what lies below: a flat square drawn twice cancels to black and white.
    Mesh mesh = square(0);
    renderBackend.setTranslucent(0);
    renderBackend.drawPolygon(mesh, polygonOver(mesh, PolyFlat, 64)); // 0.25
    renderBackend.setTranslucent(1);
    renderBackend.drawPolygon(mesh, polygonOver(mesh, PolyFlat | PolyDoubleSided, 64));
    // 0.25 * (1 - 0.25) + 0.25 * (1 - 0.25) = 0.375
    EXPECT_NEAR(centre().r, 96, 3);
}

TEST_F(OpenGLBackend, ViewRectangleSetsTheViewportAndSurvivesEmptyRectangles) {
    renderBackend.setViewRect(5, 5, 635, 475);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 5);
    EXPECT_EQ(viewport[2], 630);
    EXPECT_EQ(viewport[3], 470);
    renderBackend.setViewRect(320, 240, 320, 240);
    renderBackend.setViewRect(330, 250, 310, 230);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(OpenGLBackend, PolygonsNamingMissingPointsAreSkipped) {
    Mesh mesh = square(200);
    MeshPolygon polygon = polygonOver(mesh, PolyFlat, 100);
    polygon.vertices[2] = 99;
    renderBackend.drawPolygon(mesh, polygon);
    polygon.vertexCount = 9; // more corners than listed
    renderBackend.drawPolygon(mesh, polygon);
    EXPECT_EQ(centre().r, 0);
}

TEST_F(OpenGLBackend, FlareHooksLeaveThePictureAlone) {
    Mesh mesh = square(100);
    renderBackend.drawPolygon(mesh, polygonOver(mesh, PolyFlat, 78));
    Pixel before = centre();
    SceneLight light;
    light.type = 1;
    renderBackend.beginScene();
    renderBackend.spotFlare(light);
    renderBackend.pointFlare(light);
    renderBackend.endScene();
    Pixel after = centre();
    EXPECT_EQ(before.r, after.r);
    EXPECT_EQ(readPixel(2, 2).r, 0);
}

} // namespace
} // namespace kestrune
