// Golden frames: small scenes drawn through the Direct3D backend on the software device, compared
// with stored PNGs. Tolerance: at most 0.5 % of the pixels may differ, each channel by at most
// one 5-6-5 step (8 in red and blue, 4 in green), which leaves room for another compiler's float
// rounding at edges and nothing more. KESTRUNE_UPDATE_GOLDEN=1 rewrites the stored frames.
// Each scene is drawn with 1, 2, 3 and 8 rasteriser threads, and the frames must be identical.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "mesh/mesh.h"
#include "tests/direct3d/direct3d_test_host.h"
#include "tests/direct3d/png_image.h"
#include "tests/direct3d/test_jpeg.h"

namespace kestrune::test {
namespace {

constexpr int kWidth = 96;
constexpr int kHeight = 72;

constexpr int32_t kWarm[4][3] = {{120, 20, 20}, {20, 120, 20}, {20, 20, 120}, {120, 120, 120}};
constexpr int32_t kEven[4][3] = {
    {100, 100, 100}, {100, 100, 100}, {100, 100, 100}, {100, 100, 100}};

// Scenes are built in camera space at z around 1, where (x, y) lands on pixel
// (48 + 96x, 36 - 72y).
class GoldenTest : public Direct3DTest {
protected:
    // Opens a fresh device that rasterises with the given number of threads.
    void start(int threads) {
        direct3d::closeDisplay();
        textureTable.count = 0;
        mesh = Mesh{};
        SoftDeviceConfig config;
        config.rasterThreads = threads;
        device = std::make_unique<SoftDirectDrawSystem>(config);
        direct3DHost.system = device.get();
        ASSERT_EQ(open(kWidth, kHeight), -1);
        spriteHalfSize = 0.05f;
        // An 8 x 8 checker of orange and blue, mipmapped; stripes without mipmaps.
        // Files of the test's own: ctest runs the scenes side by side in one folder.
        const std::string test =
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name(), 0, 8);
        const std::string checkerFile = "g_" + test + "_checker.jpg";
        const std::string stripesFile = "g_" + test + "_stripes.jpg";
        writeJpeg(checkerFile.c_str(), 8, 8, [](int x, int y, unsigned char* rgb) {
            bool odd = ((x / 2) + (y / 2)) % 2;
            rgb[0] = odd ? 40 : 250;
            rgb[1] = odd ? 90 : 160;
            rgb[2] = odd ? 230 : 20;
        });
        writeJpeg(stripesFile.c_str(), 16, 16, [](int x, int, unsigned char* rgb) {
            rgb[0] = rgb[1] = rgb[2] = x < 8 ? 255 : 60;
        });
        checker = direct3d::loadTexture(checkerFile.c_str(), 1);
        stripes = direct3d::loadTexture(stripesFile.c_str(), 0);
        std::filesystem::remove(checkerFile);
        std::filesystem::remove(stripesFile);
        direct3d::beginFrame();
        direct3d::beginScene();
    }
    void TearDown() override {
        spriteHalfSize = 0.05f;
        Direct3DTest::TearDown();
    }

    uint16_t point(float x, float y, float z, int32_t r, int32_t g, int32_t b, float nx = 0,
                   float ny = 0) {
        MeshPoint p{};
        p.cameraPosition = {x, y, z};
        p.cameraNormal = {nx, ny, -1};
        p.litColor[0] = r;
        p.litColor[1] = g;
        p.litColor[2] = b;
        mesh.points.push_back(p);
        mesh.pointCount = uint16_t(mesh.points.size());
        return uint16_t(mesh.points.size() - 1);
    }

    // A quad from (x0, y0) to (x1, y1), clockwise on screen; z0 on the left, z1 on the right;
    // lit colours per corner (top-left, top-right, bottom-right, bottom-left).
    MeshPolygon quad(uint8_t flags, float x0, float y0, float x1, float y1, float z0, float z1,
                     const int32_t (&lit)[4][3], uint8_t base = 0) {
        auto at = [&](float x, float y, float z, int i) {
            return point(x * z, y * z, z, lit[i][0], lit[i][1], lit[i][2], x, y);
        };
        MeshPolygon p{};
        p.flags = flags;
        p.vertexCount = 4;
        p.vertices = {at(x0, y0, z0, 0), at(x1, y0, z1, 1), at(x1, y1, z1, 2), at(x0, y1, z0, 3)};
        p.u = {0, 2, 2, 0};
        p.v = {0, 0, 2, 2};
        p.color[0] = p.color[1] = p.color[2] = base;
        return p;
    }

    void draw(const MeshPolygon& p) { direct3d::drawPolygon(mesh, p); }

    // Draws the scene with each thread count; compares the first frame with the stored one and
    // every other with the first, pixel for pixel.
    void check(const std::string& name, void (GoldenTest::*scene)()) {
        std::vector<uint16_t> first;
        for (int threads : {1, 2, 3, 8}) {
            start(threads);
            (this->*scene)();
            direct3d::endScene();
            direct3d::endFrame();
            int width = 0, height = 0;
            std::vector<uint16_t> front = frontBuffer(width, height);
            if (threads == 1) {
                compare(name, front, width, height);
                first = front;
            } else {
                EXPECT_TRUE(front == first) << name << " with " << threads << " threads";
            }
        }
    }

    void compare(const std::string& name, const std::vector<uint16_t>& front, int width,
                 int height) {
        RgbImage frame{width, height, {}};
        for (uint16_t p : front) {
            frame.pixels.push_back(uint8_t(red565(p)));
            frame.pixels.push_back(uint8_t(green565(p)));
            frame.pixels.push_back(uint8_t(blue565(p)));
        }
        const std::string path =
            std::string(KESTRUNE_SOURCE_DIR) + "/tests/direct3d/golden/" + name + ".png";
        const char* update = std::getenv("KESTRUNE_UPDATE_GOLDEN");
        if (update && std::string(update) == "1") {
            ASSERT_TRUE(writePng(path, frame)) << path;
            return;
        }
        RgbImage golden;
        ASSERT_TRUE(readPng(path, golden)) << "no golden frame " << path;
        ASSERT_EQ(golden.width, frame.width);
        ASSERT_EQ(golden.height, frame.height);
        int differing = 0;
        for (size_t i = 0; i < frame.pixels.size(); i += 3) {
            bool differs = false;
            for (size_t c = 0; c < 3; ++c) {
                int d = std::abs(int(frame.pixels[i + c]) - int(golden.pixels[i + c]));
                ASSERT_LE(d, c == 1 ? 4 : 8) << name << ": pixel " << (i / 3) % size_t(width) << ","
                                             << (i / 3) / size_t(width);
                differs |= d != 0;
            }
            differing += differs;
        }
        EXPECT_LE(differing, width * height / 200) << name;
        // Not blank.
        int lit = 0;
        for (uint16_t p : front) lit += p != 0;
        EXPECT_GT(lit, width * height / 20) << name;
    }

public: // scenes, named by member pointer in the tests
    // The four colouring schemes, each on a quad that recedes to the right.
    void colouring() {
        draw(quad(PolyFlat, -0.45f, 0.45f, -0.05f, 0.05f, 1, 1.5f, kWarm, 30));
        draw(quad(PolySmooth, 0.05f, 0.45f, 0.45f, 0.05f, 1, 1.5f, kWarm, 30));
        MeshPolygon texturedFlat =
            quad(PolyTextured, -0.45f, -0.05f, -0.05f, -0.45f, 1, 1.5f, kWarm);
        texturedFlat.texture = checker;
        draw(texturedFlat);
        MeshPolygon texturedSmooth =
            quad(PolyTextured | PolySmooth, 0.05f, -0.05f, 0.45f, -0.45f, 1, 1.5f, kWarm);
        texturedSmooth.texture = stripes;
        draw(texturedSmooth);
    }

    // Outlines as open strips, a two-vertex line, a point and the grey sprite at both sizes.
    void outlines() {
        MeshPolygon outline = quad(PolyOutline | PolySmooth, -0.4f, 0.4f, 0, 0.05f, 1, 1, kWarm);
        draw(outline);
        MeshPolygon line{};
        line.flags = PolyFlat;
        line.vertexCount = 2;
        line.vertices = {point(0.1f, 0.4f, 1, 100, 60, 0), point(0.4f, 0.1f, 1, 0, 0, 0)};
        draw(line);
        MeshPolygon dot{};
        dot.flags = PolyFlat;
        dot.vertexCount = 1;
        dot.vertices = {point(0.3f, 0.35f, 1, 127, 127, 127)};
        draw(dot);
        MeshPolygon sprite{};
        sprite.flags = PolyTextured | PolySmooth;
        sprite.vertexCount = 1;
        sprite.texture = checker;
        sprite.vertices = {point(-0.25f, -0.25f, 1, 0, 0, 0)};
        draw(sprite);
        spriteHalfSize = 0.15f;
        sprite.vertices = {point(0.25f, -0.25f, 1.5f, 0, 0, 0)};
        draw(sprite);
    }

    // A reflective textured quad, then a translucent pass over it and over the background.
    void reflection() {
        MeshPolygon shiny =
            quad(PolyTextured | PolyReflection, -0.4f, 0.4f, 0.2f, -0.2f, 1, 1.2f, kEven);
        shiny.texture = stripes;
        shiny.reflectionTexture = checker;
        draw(shiny);
        direct3d::setTranslucent(1);
        draw(quad(PolySmooth | PolyDoubleSided, -0.1f, 0.1f, 0.45f, -0.45f, 0.8f, 0.8f, kWarm, 20));
        direct3d::setTranslucent(0);
    }

    // Culling and depth: a counter-clockwise quad is culled unless double-sided; two quads cross in
    // depth.
    void culling() {
        MeshPolygon back = quad(PolyFlat, -0.45f, 0.45f, -0.05f, 0.05f, 1, 1, kEven);
        std::swap(back.vertices[1], back.vertices[3]);
        draw(back);
        MeshPolygon twoSided =
            quad(PolyFlat | PolyDoubleSided, 0.05f, 0.45f, 0.45f, 0.05f, 1, 1, kWarm);
        std::swap(twoSided.vertices[1], twoSided.vertices[3]);
        draw(twoSided);
        draw(quad(PolySmooth, -0.45f, -0.05f, 0.45f, -0.45f, 1, 2, kWarm, 10));
        draw(quad(PolyFlat, -0.45f, -0.05f, 0.45f, -0.45f, 2, 1, kEven, 40));
    }

protected:
    Mesh mesh;
    uint16_t checker = 0;
    uint16_t stripes = 0;
};

TEST_F(GoldenTest, ColouringSchemes) {
    check("colouring", &GoldenTest::colouring);
}

TEST_F(GoldenTest, OutlinesLinesPointsAndSprites) {
    check("outlines", &GoldenTest::outlines);
}

TEST_F(GoldenTest, ReflectionAndTranslucency) {
    check("reflection", &GoldenTest::reflection);
}

TEST_F(GoldenTest, CullingAndDepth) {
    check("culling", &GoldenTest::culling);
}

} // namespace
} // namespace kestrune::test
