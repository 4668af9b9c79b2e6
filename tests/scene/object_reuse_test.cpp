// The show's scenes loaded with objects reused equal the same scenes loaded fresh.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/content_file.h"
#include "mesh/mesh.h"
#include "mesh/surface.h"
#include "scene/scene.h"
#include "tests/content/show_fixture.h"
#include "tests/mesh/texture_backend.h"

namespace kestrune {
namespace {

const char* const kShowScenes[] = {
    "load.lws",  "walk0.lws", "walk1.lws", "walk2.lws",   "walk3.lws",   "walk4.lws", "walk5.lws",
    "walk6.lws", "walk7.lws", "walk8.lws", "Credits.lws", "Divozev.lws", "greet.lws", "text0.lws",
    "text1.lws", "text2.lws", "text3.lws", "text4.lws",   "text5.lws",   "text6.lws"};

bool same(const Vec3& a, const Vec3& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void expectSameMesh(const Mesh& fresh, const Mesh& reused, const std::string& where) {
    ASSERT_EQ(fresh.pointCount, reused.pointCount) << where;
    ASSERT_EQ(fresh.polygonCount, reused.polygonCount) << where;
    ASSERT_EQ(fresh.points.size(), reused.points.size()) << where;
    ASSERT_EQ(fresh.polygons.size(), reused.polygons.size()) << where;
    EXPECT_EQ(fresh.refusal.reason, reused.refusal.reason) << where;
    for (size_t k = 0; k < fresh.points.size(); ++k) {
        const MeshPoint &a = fresh.points[k], &b = reused.points[k];
        ASSERT_TRUE(same(a.position, b.position) && same(a.normal, b.normal) &&
                    same(a.cameraPosition, b.cameraPosition) && same(a.cameraNormal, b.cameraNormal) &&
                    std::memcmp(a.litColor, b.litColor, sizeof a.litColor) == 0 &&
                    a.shareCount == b.shareCount)
            << where << " point " << k;
    }
    for (size_t k = 0; k < fresh.polygons.size(); ++k) {
        const MeshPolygon &a = fresh.polygons[k], &b = reused.polygons[k];
        ASSERT_TRUE(a.flags == b.flags && a.vertexCount == b.vertexCount &&
                    std::memcmp(a.color, b.color, sizeof a.color) == 0 && same(a.normal, b.normal) &&
                    a.u == b.u && a.v == b.v && a.vertices == b.vertices && a.texture == b.texture &&
                    a.reflectionTexture == b.reflectionTexture && a.surfaceSlot == b.surfaceSlot)
            << where << " polygon " << k;
    }
}

// From a zero surface table, as at the start of the process.
std::vector<Scene> loadShowScenes() {
    surfaceTable = SurfaceTable{};
    std::vector<Scene> scenes(std::size(kShowScenes));
    for (size_t i = 0; i < scenes.size(); ++i) EXPECT_TRUE(loadScene(scenes[i], kShowScenes[i]));
    return scenes;
}

TEST(ObjectReuse, ShowScenesEqualFreshLoadsTextureSlotsIncluded) {
    generatedShow();
    test::useTextureBackend(true);
    const std::vector<Scene> fresh = loadShowScenes();
    const int freshTextures = textureTable.count;
    const std::vector<std::string> freshRequests = test::textureRequests;
    const SurfaceTable freshSurfaces = surfaceTable;

    test::useTextureBackend(true);
    std::vector<Scene> reused;
    {
        ObjectReuse reuse;
        reused = loadShowScenes();
    }
    EXPECT_EQ(freshTextures, textureTable.count);
    EXPECT_TRUE(std::memcmp(&freshSurfaces, &surfaceTable, sizeof freshSurfaces) == 0);
    EXPECT_LE(test::textureRequests.size(), freshRequests.size());
    int objects = 0;
    for (size_t i = 0; i < fresh.size(); ++i) {
        ASSERT_EQ(fresh[i].objects.size(), reused[i].objects.size()) << kShowScenes[i];
        for (size_t j = 0; j < fresh[i].objects.size(); ++j, ++objects) {
            const SceneObject &a = fresh[i].objects[j], &b = reused[i].objects[j];
            const std::string where = std::string(kShowScenes[i]) + " " + a.name;
            EXPECT_STREQ(a.name, b.name) << where;
            expectSameMesh(a.mesh, b.mesh, where);
            // Bones and morphs start from the mesh: they must see the same points.
            ASSERT_EQ(a.restPoints.size(), b.restPoints.size()) << where;
            for (size_t k = 0; k < a.restPoints.size(); ++k)
                ASSERT_TRUE(same(a.restPoints[k].position, b.restPoints[k].position)) << where;
            EXPECT_EQ(a.bones.size(), b.bones.size()) << where;
        }
    }
    EXPECT_GT(objects, 300); // letter meshes repeat across the text scenes
    test::useTextureBackend(false);
}

// A name whose ".lwo" is missing is rewritten to ".3d" in the caller's buffer, loaded or not,
// and a refusal left by the caller is kept when no reader ran: a reused load does the same.
TEST(ObjectReuse, RepeatedLoadRewritesTheNameAndKeepsTheCallersRefusal) {
    generatedShow();
    ObjectReuse reuse;
    char first[32] = {};
    for (int round = 0; round < 2; ++round) {
        char name[32] = "no-such-object.lwo";
        Mesh mesh;
        mesh.refusal.reason = "left by the caller";
        loadObject(name, mesh);
        EXPECT_STREQ("no-such-object.3d", name) << round;
        if (round == 0) std::memcpy(first, name, sizeof name);
        EXPECT_EQ(0, std::memcmp(first, name, sizeof name)) << round;
        EXPECT_EQ(std::string_view("left by the caller"), mesh.refusal.reason) << round;
        EXPECT_EQ(0, mesh.pointCount) << round;
    }
}

// An object loaded again while the surface table differs is parsed again, from the bytes its
// first load read: the file may be gone by then and the mesh is still the same.
TEST(ObjectReuse, ReloadUnderAnotherSurfaceTableParsesTheBytesReadBefore) {
    generatedShow();
    const auto bytes = readContentFile("walker.lwo");
    ASSERT_TRUE(bytes);
    const std::filesystem::path loose = "reread-walker.lwo";
    std::ofstream(loose, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes->data()), std::streamsize(bytes->size()));
    ObjectReuse reuse;
    surfaceTable = SurfaceTable{};
    char name[32] = "reread-walker.lwo";
    Mesh first, again;
    loadObject(name, first);
    ASSERT_GT(first.pointCount, 0);
    std::filesystem::remove(loose);
    surfaceTable = SurfaceTable{}; // not the table the first load found
    surfaceTable.slots[kSurfaceSlotCount - 1].color[0] = 1;
    surfaceTable.writtenSlots = kSurfaceSlotCount;
    loadObject(name, again);
    EXPECT_STREQ("reread-walker.lwo", name);
    expectSameMesh(first, again, name);
}

} // namespace
} // namespace kestrune
