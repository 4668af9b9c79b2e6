// LWOB reader: chunk walk, surfaces across files, subchunk interplay, normals, hostile files.
#include <gtest/gtest.h>

#include <cstring>

#include "mesh/mesh.h"
#include "mesh/surface.h"
#include "object_builder.h"
#include "texture_backend.h"

namespace kestrune {
namespace {

using namespace test;

class LwobReader : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(&surfaceTable, 0, sizeof surfaceTable);
        useTextureBackend(true);
        renderOptions.mipmapping = 1;
    }
    void TearDown() override { useTextureBackend(false); }

    bool read(const Bytes& bytes) { return readLwobObject(bytes.data(), bytes.size(), mesh); }
    Mesh mesh;
};

TEST_F(LwobReader, ReadsPointsPolygonsAndSurfaceColours) {
    LwobBuilder b;
    b.pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}})
        .srfs({"Red", "Glass"})
        .pols({{{0, 1, 2}, 1}, {{0, 2, 1}, 2}})
        .surf("Red", {colr(255, 128, 0), subU16("FLAG", 2 | 256), subFloats("VTRN", {0.5f})})
        .surf("Glass", {colr(10, 20, 30), subFloats("VTRN", {0.51f})});
    ASSERT_TRUE(read(b.bytes()));
    ASSERT_EQ(mesh.pointCount, 4);
    ASSERT_EQ(mesh.polygonCount, 2);
    EXPECT_EQ(mesh.points[3].position.z, 5.0f);

    const MeshPolygon& red = mesh.polygons[0];
    EXPECT_EQ(red.color[0], 127);
    EXPECT_EQ(red.color[1], 64);
    EXPECT_EQ(red.color[2], 0);
    // Not smooth, outline, double sided; transparency 0.5 is not translucent.
    EXPECT_EQ(red.flags, PolyFlat | PolyOutline | PolyDoubleSided);
    EXPECT_EQ(red.surfaceSlot, 0);
    EXPECT_EQ(mesh.polygons[1].flags & PolyTranslucent, PolyTranslucent);
    EXPECT_EQ(mesh.polygons[1].surfaceSlot, 1);
    EXPECT_EQ(mesh.polygons[1].color[2], 15);
    EXPECT_EQ(red.vertices, (std::vector<uint16_t>{0, 1, 2}));
    EXPECT_EQ(red.u.size(), 3u);
}

TEST_F(LwobReader, SurfaceFieldsCarryOverToTheNextObject) {
    LwobBuilder first;
    first.pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})
        .srfs({"Skin"})
        .pols({{{0, 1, 2}, 1}})
        .surf("Skin", {colr(40, 60, 80), subU16("FLAG", 4)});
    ASSERT_TRUE(read(first.bytes()));
    EXPECT_EQ(mesh.polygons[0].flags, PolySmooth);

    // Same slot, a surface without FLAG or COLR: the previous object's values stay.
    LwobBuilder second;
    second.pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})
        .srfs({"Other"})
        .pols({{{0, 1, 2}, 1}})
        .surf("Other", {subFloats("VTRN", {0.9f})});
    Mesh next;
    auto bytes = second.bytes();
    ASSERT_TRUE(readLwobObject(bytes.data(), bytes.size(), next));
    EXPECT_EQ(next.polygons[0].flags, PolySmooth | PolyTranslucent);
    EXPECT_EQ(next.polygons[0].color[0], 20);
    EXPECT_STREQ(surfaceTable.slots[0].name, "Other");
}

TEST_F(LwobReader, TextureSubchunksFollowTheCurrentTarget) {
    LwobBuilder b;
    b.pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})
        .srfs({"Chrome", "Logo"})
        .pols({{{0, 1, 2}, 1}, {{0, 1, 2}, 2}})
        // TIMG before any CTEX or RIMG is ignored; after RIMG it does not set the colour texture.
        .surf("Chrome", {subU16("FLAG", 4), subString("TIMG", "ignored.jpg"),
                         subString("RIMG", "maps/env.jpg"), subString("TIMG", "nope.jpg")})
        // After CTEX, TIMG names the colour texture by the path's last backslash component.
        .surf("Logo", {subU16("FLAG", 0), subString("CTEX", "Planar Image Map"),
                       subString("TIMG", "D:\\art/sub\\loggo.jpg")});
    ASSERT_TRUE(read(b.bytes()));
    // Forward slashes are not separators.
    EXPECT_EQ(textureRequests, (std::vector<std::string>{"maps/env.jpg", "loggo.jpg"}));
    const MeshPolygon& chrome = mesh.polygons[0];
    EXPECT_EQ(chrome.flags, PolySmooth | PolyReflection);
    EXPECT_EQ(chrome.reflectionTexture, 0);
    const MeshPolygon& logo = mesh.polygons[1];
    EXPECT_EQ(logo.flags, PolyFlat | PolyTextured);
    EXPECT_EQ(logo.texture, 1);
    EXPECT_EQ(surfaceTable.slots[0].texture, 0);
    EXPECT_STREQ(surfaceTable.slots[1].textureType, "Planar Image Map");
    // Missing images still get a drawable slot.
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[1].width, kMissingTextureSize);
    EXPECT_EQ(uploads[1].mipmap, 1);
}

TEST_F(LwobReader, TextureTargetCarriesAcrossSurfacesAndCtexResetsCentre) {
    LwobBuilder b;
    b.pnts({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}})
        .srfs({"A", "B"})
        .pols({{{0, 1, 2}, 1}})
        // TCTR before CTEX is reset by it; the last set TFLG bit of the three wins.
        .surf("A", {subU16("FLAG", 4), subFloats("TCTR", {9, 9, 9}),
                    subString("CTEX", "Planar Image Map"), subU16("TFLG", 1 | 4),
                    subFloats("TSIZ", {2, 2, 2})})
        // The target is not reset at SURF: B's TIMG still sets a colour texture.
        .surf("B", {subU16("FLAG", 0), subString("TIMG", "b.jpg")});
    ASSERT_TRUE(read(b.bytes()));
    const Surface& a = surfaceTable.slots[0];
    EXPECT_EQ(a.textureCenter[0], 0.0f);
    EXPECT_EQ(a.textureAxis, TextureAxisZ);
    EXPECT_EQ(textureRequests, (std::vector<std::string>{"b.jpg"}));
    EXPECT_EQ(surfaceTable.slots[1].texture, 0);
    const MeshPolygon& p = mesh.polygons[0];
    EXPECT_EQ(p.flags, PolySmooth | PolyTextured);
    // Planar along z, size 2: u = x/2 + 0.5, v = y/2 + 0.5.
    EXPECT_FLOAT_EQ(p.u[0], 0.5f);
    EXPECT_FLOAT_EQ(p.v[0], 0.5f);
    EXPECT_FLOAT_EQ(p.u[1], 1.5f);
    EXPECT_FLOAT_EQ(p.v[2], 1.5f);
}

TEST_F(LwobReader, NormalsFromFirstSecondAndLastCorner) {
    LwobBuilder b;
    // Triangle in z = 0 with corners named so that (A-B) x (A-L) points along -z; point 0 is
    // named twice by the quad; a two-vertex line and an unused point.
    b.pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {7, 7, 7}})
        .srfs({"S"})
        .pols({{{0, 1, 2}, 1}, {{0, 2, 0, 3}, 1}, {{1, 3}, 1}})
        .surf("S", {colr(1, 1, 1)});
    ASSERT_TRUE(read(b.bytes()));
    const MeshPolygon& tri = mesh.polygons[0];
    EXPECT_FLOAT_EQ(tri.normal.x, 0.0f);
    EXPECT_FLOAT_EQ(tri.normal.y, 0.0f);
    EXPECT_FLOAT_EQ(tri.normal.z, 1.0f);
    const MeshPolygon& quad = mesh.polygons[1]; // A = 0, B = 2, L = 3: normal along x
    EXPECT_FLOAT_EQ(quad.normal.x, 1.0f);
    const MeshPolygon& line = mesh.polygons[2];
    EXPECT_EQ(line.normal.x, 0.0f);
    EXPECT_EQ(line.normal.z, 0.0f);

    // Point 0: once by the triangle, twice by the quad; the mean is not renormalised.
    EXPECT_EQ(mesh.points[0].shareCount, 3);
    EXPECT_FLOAT_EQ(mesh.points[0].normal.x, 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(mesh.points[0].normal.z, 1.0f / 3.0f);
    // Point 1 is used by the triangle and the line: the line adds nothing.
    EXPECT_EQ(mesh.points[1].shareCount, 1);
    EXPECT_EQ(mesh.points[4].shareCount, 0);
    EXPECT_EQ(mesh.points[4].normal.x, 0.0f);

    // A degenerate polygon (all corners equal) gets a zero normal, not NaN.
    LwobBuilder d;
    d.pnts({{1, 1, 1}}).srfs({"S"}).pols({{{0, 0, 0}, 1}});
    ASSERT_TRUE(read(d.bytes()));
    EXPECT_EQ(mesh.polygons[0].normal.x, 0.0f);
}

TEST_F(LwobReader, FilesOf64KiBAndMoreAreReadWhole) {
    // 6000 points are 72,000 bytes: a 16-bit length would stop the walk early.
    std::vector<Point> points;
    for (int i = 0; i < 6000; ++i) points.push_back({float(i), 0, 0});
    std::vector<Poly> polys;
    for (uint16_t i = 0; i + 2 < 6000; i += 3)
        polys.push_back({{i, uint16_t(i + 1), uint16_t(i + 2)}, 1});
    LwobBuilder b;
    b.pnts(points).srfs({"S"}).pols(polys).surf("S", {colr(2, 4, 6)});
    ASSERT_GT(b.bytes().size(), 65536u);
    ASSERT_TRUE(read(b.bytes()));
    EXPECT_EQ(mesh.pointCount, 6000);
    EXPECT_EQ(mesh.polygonCount, 2000);
    EXPECT_EQ(mesh.points[5999].position.x, 5999.0f);
    EXPECT_EQ(mesh.polygons[1999].color[2], 3);
}

TEST_F(LwobReader, MoreThan65535PointsOrPolygonsIsRefused) {
    LwobBuilder many;
    many.chunk("PNTS", Bytes(size_t{12} * 65536, 0));
    EXPECT_FALSE(read(many.bytes()));
    EXPECT_EQ(mesh.refusal.reason, "more points than a mesh holds");
    EXPECT_EQ(mesh.pointCount, 0);
    EXPECT_TRUE(mesh.points.empty());

    // 65,536 one-vertex polygons on point 0.
    ByteWriter pols;
    for (int i = 0; i < 65536; ++i) {
        pols.u16be(1);
        pols.u16be(0);
        pols.u16be(1);
    }
    LwobBuilder b;
    b.pnts({{0, 0, 0}}).srfs({"S"}).chunk("POLS", pols.bytes);
    EXPECT_FALSE(read(b.bytes()));
    EXPECT_EQ(mesh.refusal.reason, "more polygons than a mesh holds");
    EXPECT_EQ(mesh.polygonCount, 0);
}

TEST_F(LwobReader, PolygonsTheMeshCannotHoldAreLeftOut) {
    std::vector<uint16_t> big(256, 0);
    LwobBuilder b;
    b.pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})
        .srfs({"S"})
        .pols({{big, 1},         // more than 255 corners
               {{0, 1, 3}, 1},   // corner past the points
               {{0, 1, 2}, 0},   // surface index 0
               {{0, 1, 2}, 129}, // past the 128 slots
               {{}, 1},          // no corners
               {{2, 1, 0}, 1}})  // the one that stays
        .surf("S", {colr(8, 8, 8)});
    ASSERT_TRUE(read(b.bytes()));
    ASSERT_EQ(mesh.polygonCount, 1);
    EXPECT_EQ(mesh.polygons[0].vertices, (std::vector<uint16_t>{2, 1, 0}));
}

TEST_F(LwobReader, DetailPolygonsUseTheNegatedSurfaceAndFollowAsPolygons) {
    ByteWriter pols;
    pols.u16be(3);
    for (uint16_t v : {0, 1, 2}) pols.u16be(v);
    pols.u16be(uint16_t(-2)); // surface 2, with details
    pols.u16be(1);            // one detail polygon follows
    pols.u16be(3);
    for (uint16_t v : {2, 1, 0}) pols.u16be(v);
    pols.u16be(1);
    LwobBuilder b;
    b.pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})
        .srfs({"A", "B"})
        .chunk("POLS", pols.bytes)
        .surf("A", {colr(2, 2, 2)})
        .surf("B", {colr(4, 4, 4)});
    ASSERT_TRUE(read(b.bytes()));
    ASSERT_EQ(mesh.polygonCount, 2);
    EXPECT_EQ(mesh.polygons[0].surfaceSlot, 1);
    EXPECT_EQ(mesh.polygons[1].surfaceSlot, 0);
}

TEST_F(LwobReader, OnlyTheFirstPointsBeforePolygonsAndTheFirstPolygonsCount) {
    LwobBuilder b;
    b.pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})
        .pnts({{9, 9, 9}})
        .srfs({"S"})
        .pols({{{0, 1, 2}, 1}})
        .pols({{{2, 1, 0}, 1}, {{1, 0, 2}, 1}})
        .pnts({{5, 5, 5}, {5, 5, 5}, {5, 5, 5}, {5, 5, 5}})
        .surf("S", {});
    ASSERT_TRUE(read(b.bytes()));
    EXPECT_EQ(mesh.pointCount, 3);
    EXPECT_EQ(mesh.points[1].position.x, 1.0f);
    EXPECT_EQ(mesh.polygonCount, 1);

    // Points only after the polygons: there are none to name, so no polygon stays.
    LwobBuilder late;
    late.srfs({"S"}).pols({{{0, 1, 2}, 1}}).pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    ASSERT_TRUE(read(late.bytes()));
    EXPECT_EQ(mesh.pointCount, 0);
    EXPECT_EQ(mesh.polygonCount, 0);

    // No POLS: the points alone.
    LwobBuilder cloud;
    cloud.pnts({{0, 0, 0}, {1, 0, 0}});
    ASSERT_TRUE(read(cloud.bytes()));
    EXPECT_EQ(mesh.pointCount, 2);
    EXPECT_EQ(mesh.polygonCount, 0);
}

TEST_F(LwobReader, TruncatedChunksAndSubchunksStopTheWalk) {
    Bytes full = squareObject().bytes();
    // Every prefix loads or is refused without reading past it (ASan checks the reads).
    for (size_t n = 0; n <= full.size(); ++n) {
        Bytes prefix(full.begin(), full.begin() + long(n));
        Mesh m;
        readLwobObject(prefix.data(), prefix.size(), m);
        EXPECT_LE(m.pointCount, 4);
        EXPECT_EQ(m.points.size(), m.pointCount);
    }

    // A chunk claiming more than the file holds ends the walk before it.
    LwobBuilder b;
    b.pnts({{0, 0, 0}});
    ByteWriter bytes{b.bytes()};
    bytes.tag("PNTS");
    bytes.u32be(1200);
    bytes.bytes.resize(bytes.size() + 24, 0);
    ASSERT_TRUE(read(bytes.bytes));
    EXPECT_EQ(mesh.pointCount, 1);

    // Subchunk sizes are unsigned: 0x8000 runs past the SURF chunk and ends its walk.
    ByteWriter huge;
    huge.tag("VTRN");
    huge.u16be(0x8000);
    huge.f32be(0.9f);
    LwobBuilder s;
    s.pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})
        .srfs({"S"})
        .pols({{{0, 1, 2}, 1}})
        .surf("S", {colr(6, 6, 6), huge.bytes, subFloats("VTRN", {0.9f})});
    ASSERT_TRUE(read(s.bytes()));
    EXPECT_EQ(mesh.polygons[0].color[0], 3);
    EXPECT_EQ(mesh.polygons[0].flags & PolyTranslucent, 0);
}

TEST_F(LwobReader, HostileNamesAndStrings) {
    const std::string longName(80, 'n');
    const std::string longType = "Planar Image Map" + std::string(60, 'x');
    LwobBuilder b;
    b.pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})
        .srfs({longName, "Known"})
        .pols({{{0, 1, 2}, 1}, {{0, 1, 2}, 2}})
        // Long names are cut alike in SRFS and SURF, so they still meet.
        .surf(longName, {colr(100, 100, 100), subString("CTEX", longType)})
        // A name the table does not hold: skipped, nothing written.
        .surf("Stranger", {colr(50, 50, 50)});
    ASSERT_TRUE(read(b.bytes()));
    EXPECT_EQ(std::strlen(surfaceTable.slots[0].name), size_t(kSurfaceNameSize - 1));
    EXPECT_EQ(std::strlen(surfaceTable.slots[0].textureType), size_t(kTextureTypeSize - 1));
    EXPECT_EQ(mesh.polygons[0].color[0], 50);
    // A cut type names no known map: u = v = 0.
    EXPECT_EQ(mesh.polygons[0].u[1], 0.0f);

    // Strings without a terminator run to the end of their chunk and no further.
    Bytes srfs = {'A', 'B', 'C'};
    Bytes surf = {'A', 'B', 'C'};
    LwobBuilder u;
    u.pnts({{0, 0, 0}}).chunk("SRFS", srfs).chunk("SURF", surf).pols({{{0}, 1}});
    ASSERT_TRUE(read(u.bytes()));
    EXPECT_STREQ(surfaceTable.slots[0].name, "ABC");
    EXPECT_EQ(mesh.polygonCount, 1);

    // More than 128 names: the rest are not stored.
    std::vector<std::string> names;
    for (int i = 0; i < 140; ++i) names.push_back("s" + std::to_string(i));
    LwobBuilder many;
    many.srfs(names);
    ASSERT_TRUE(read(many.bytes()));
    EXPECT_STREQ(surfaceTable.slots[127].name, "s127");
}

TEST_F(LwobReader, ForeignChunksAndShortFilesAreHarmless) {
    LwobBuilder b;
    b.chunk("TAGS", Bytes(7, 'x')).pnts({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    b.chunk("BBOX", Bytes(24, 0)).srfs({"S"}).pols({{{0, 1, 2}, 1}});
    ASSERT_TRUE(read(b.bytes()));
    EXPECT_EQ(mesh.polygonCount, 1);
    Bytes tiny = {'F', 'O', 'R', 'M'};
    EXPECT_TRUE(read(tiny));
    EXPECT_EQ(mesh.pointCount, 0);
}

} // namespace
} // namespace kestrune
