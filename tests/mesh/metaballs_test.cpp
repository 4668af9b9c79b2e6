// Metaballs: the field, marching cubes (empty, closed shell, the 4096 cap), the reset, the mesh.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>

#include "mesh/marching_cubes_tables.h"
#include "mesh/metaballs.h"
#include "texture_backend.h"

namespace kestrune {
namespace {

using namespace test;

class Metaballs : public ::testing::Test {
protected:
    void SetUp() override {
        useTextureBackend(true);
        initMetaballs();
    }
    void TearDown() override {
        freeMetaballs();
        useTextureBackend(false);
    }
};

TEST_F(Metaballs, GridLayoutAndPreparedMesh) {
    ASSERT_EQ(workGrid.cells.size(), 8000u);
    const FieldCell& cell = workGrid.cells[3 + 4 * 20 + 5 * 400];
    EXPECT_EQ(cell.x, -7.0f);
    EXPECT_EQ(cell.y, -6.0f);
    EXPECT_EQ(cell.z, -5.0f);
    EXPECT_EQ(isoLevel, 0.6f);
    EXPECT_EQ(metaballMesh.points.size(), 12288u);
    ASSERT_EQ(metaballMesh.polygons.size(), 4096u);
    const MeshPolygon& p = metaballMesh.polygons[4095];
    EXPECT_EQ(p.flags, PolyTextured | PolySmooth);
    EXPECT_EQ(p.vertices, (std::vector<uint16_t>{12285, 12286, 12287}));
    EXPECT_EQ(p.texture, 0);
    // Every polygon asks for "loggo.jpg" with mipmapping on; it is decoded once.
    EXPECT_EQ(textureRequests.size(), 4096u);
    EXPECT_EQ(textureRequests[0], "loggo.jpg");
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].mipmap, 1);
}

TEST_F(Metaballs, EmptyFieldGivesNoSurface) {
    buildMetaballMesh();
    EXPECT_EQ(metaballMesh.pointCount, 0);
    EXPECT_EQ(metaballMesh.polygonCount, 0);
    Mesh object;
    attachMetaballMesh(object);
    EXPECT_EQ(object.pointCount, 0);
    EXPECT_EQ(object.polygonCount, 0);
}

TEST_F(Metaballs, OneBallGivesAClosedShellInsideTheGrid) {
    addBall(0.5f, 0.5f, 0.5f);
    EXPECT_FLOAT_EQ(workGrid.cells[10 + 10 * 20 + 10 * 400].value, 1.0f / std::sqrt(0.75f));
    // Kept aside to compare with the mesh; polygonise a copy of the same field.
    std::vector<FieldTriangle> triangles(kMaxFieldTriangles);
    const int n = polygonizeField(workGrid, triangles.data(), kMaxFieldTriangles);
    ASSERT_GT(n, 50);
    buildMetaballMesh();
    ASSERT_EQ(metaballMesh.polygonCount, n);
    ASSERT_EQ(metaballMesh.pointCount, 3 * n);

    // Closed: every edge, by its end positions, is shared by exactly two triangles, once in
    // each direction (consistent winding). Neighbouring cubes interpolate a shared lattice edge
    // from opposite ends, so positions are compared to 1/1000.
    auto key = [](float f) { return long(std::lround(f * 1000.0f)); };
    std::map<std::tuple<long, long, long, long, long, long>, int> edges;
    for (int t = 0; t < n; ++t) {
        for (int c = 0; c < 3; ++c) {
            const Vec3 a = metaballMesh.points[3 * t + c].position;
            const Vec3 b = metaballMesh.points[3 * t + (c + 1) % 3].position;
            ++edges[{key(a.x), key(a.y), key(a.z), key(b.x), key(b.y), key(b.z)}];
        }
    }
    for (const auto& [edge, count] : edges) {
        auto [ax, ay, az, bx, by, bz] = edge;
        EXPECT_EQ(count, 1);
        EXPECT_EQ(edges.count({bx, by, bz, ax, ay, az}), 1u);
    }
    for (int i = 0; i < 3 * n; ++i) {
        const MeshPoint& p = metaballMesh.points[i];
        const float r = std::sqrt((p.position.x - 0.5f) * (p.position.x - 0.5f) +
                                  (p.position.y - 0.5f) * (p.position.y - 0.5f) +
                                  (p.position.z - 0.5f) * (p.position.z - 0.5f));
        EXPECT_NEAR(r, 1.0f / 0.6f, 0.15f);
        EXPECT_EQ(p.litColor[0], 127);
        EXPECT_EQ(p.litColor[2], 127);
    }
    // Texture coordinates from the gradient: u = 2 gx + 0.5, v = -(2 gy + 0.5).
    const EdgeVertex& first = triangles[0].vertices[0];
    EXPECT_FLOAT_EQ(metaballMesh.polygons[0].u[0], 2 * first.gx + 0.5f);
    EXPECT_FLOAT_EQ(metaballMesh.polygons[0].v[0], -(2 * first.gy + 0.5f));

    // The grid is reset for the next frame.
    for (const FieldCell& cell : workGrid.cells) ASSERT_EQ(cell.value, 0.0f);

    Mesh object;
    attachMetaballMesh(object);
    EXPECT_EQ(object.polygonCount, n);
    EXPECT_EQ(object.points[3 * n - 1].position.x, metaballMesh.points[3 * n - 1].position.x);
    EXPECT_EQ(object.polygons[n - 1].vertices[2], 3 * n - 1);
    // A later, smaller frame reuses the arrays the first attach sized.
    const MeshPoint* storage = object.points.data();
    addBall(0, 0, 0);
    setIsoLevel(2.0f);
    buildMetaballMesh();
    attachMetaballMesh(object);
    EXPECT_EQ(object.points.data(), storage);
    EXPECT_LT(object.polygonCount, n);
}

TEST_F(Metaballs, TheCapStopsAt4096AndLeavesTheRestUnvisited) {
    // A field alternating across the iso level in every cell needs far more than 4096.
    for (size_t i = 0; i < workGrid.cells.size(); ++i) {
        const FieldCell& c = workGrid.cells[i];
        workGrid.cells[i].value = (int(c.x) + int(c.y) + int(c.z)) & 1 ? 1.0f : 0.0f;
    }
    std::vector<FieldTriangle> few(10);
    EXPECT_EQ(polygonizeField(workGrid, few.data(), 10), 10);
    EXPECT_EQ(polygonizeField(workGrid, few.data(), 0), 0);
    buildMetaballMesh();
    EXPECT_EQ(metaballMesh.polygonCount, 4096);
    EXPECT_EQ(metaballMesh.pointCount, 12288);
}

TEST_F(Metaballs, CornersAtTheIsoLevelCountAsOutside) {
    for (FieldCell& c : workGrid.cells) c.value = 0.6f;
    std::vector<FieldTriangle> out(16);
    EXPECT_EQ(polygonizeField(workGrid, out.data(), 16), 0);
    // One corner just above: case 128 (corner 7 = the cube's lowest cell) in the first cube.
    workGrid.cells[0].value = 0.7f;
    ASSERT_EQ(polygonizeField(workGrid, out.data(), 16), 1);
    EXPECT_EQ(kCubeTriangleTable[128][0], 7);
    // The crossing on edge 7 (corner 7 -> 4, along z) is at t = (0.6 - 0.7) / (0.6 - 0.7) = 1.
    EXPECT_FLOAT_EQ(out[0].vertices[0].z, -9.0f);
}

TEST_F(Metaballs, BallOnACellStaysFiniteAndEdgeGradientsStayInside) {
    addBall(9, 9, 9); // the last cell of the array
    addBall(-10, -10, -10);
    for (const FieldCell& c : workGrid.cells) ASSERT_TRUE(std::isfinite(c.value));
    EXPECT_GT(workGrid.cells.back().value, 1e5f);
    std::vector<FieldTriangle> out(kMaxFieldTriangles);
    const int n = polygonizeField(workGrid, out.data(), kMaxFieldTriangles);
    ASSERT_GT(n, 0);
    for (int t = 0; t < n; ++t)
        for (const EdgeVertex& v : out[size_t(t)].vertices) {
            ASSERT_TRUE(std::isfinite(v.gx));
            ASSERT_TRUE(std::isfinite(v.gy));
            ASSERT_TRUE(std::isfinite(v.x));
        }
}

TEST(MetaballsUninitialised, BuildingWithoutInitIsHarmless) {
    freeMetaballs();
    addBall(0, 0, 0);
    buildMetaballMesh();
    EXPECT_EQ(metaballMesh.polygonCount, 0);
    FieldGrid tiny;
    tiny.nx = tiny.ny = tiny.nz = 5; // claims cells it does not have
    FieldTriangle out[4];
    EXPECT_EQ(polygonizeField(tiny, out, 4), 0);
}

} // namespace
} // namespace kestrune
