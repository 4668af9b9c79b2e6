// The recording backend: what it records, its texture slots, and recording switched off.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "mesh/texture.h"
#include "recording_test.h"
#include "scene/scene.h"
#include "scene_builder.h"

namespace kestrune {
namespace {

long fakeProcedure(PlatformWindow*, const WindowEvent&) {
    return 0;
}

class RecordingBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::useRecordingBackend();
        textureTable.count = 0;
    }
    void TearDown() override {
        renderBackend = {};
        textureTable.count = 0;
        recording.enabled = true;
    }
};

TEST_F(RecordingBackendTest, RecordsEveryEntryPointWithItsArguments) {
    int instance = 0;
    renderBackend.openDisplay(640, 480, &instance, fakeProcedure);
    renderBackend.setViewRect(10, 20, 630, 460);
    renderBackend.beginFrame();
    renderBackend.setTranslucent(1);
    renderBackend.endFrame();
    renderBackend.toggleFullscreen();
    renderBackend.closeDisplay();
    ASSERT_EQ(recording.calls.size(), 7u);
    EXPECT_EQ(recording.calls[0].entry, EntryPoint::OpenDisplay);
    EXPECT_EQ(recording.calls[0].args[0], 640);
    EXPECT_EQ(recording.calls[0].args[1], 480);
    EXPECT_EQ(recording.calls[0].instance, &instance);
    EXPECT_EQ(recording.calls[0].procedure, fakeProcedure);
    EXPECT_EQ(outputSize.width, 640);
    EXPECT_EQ(outputSize.bitsPerPixel, 0);
    EXPECT_EQ(recording.calls[1].args[3], 460);
    EXPECT_EQ(recording.calls[3].args[0], 1);
    EXPECT_STREQ(entryPointName(recording.calls[6].entry), "closeDisplay");
}

TEST_F(RecordingBackendTest, DrawPolygonRecordsCornersAndSkipsIndicesPastTheMesh) {
    Mesh mesh;
    test::addPoint(mesh, {1, 2, 3});
    test::addPoint(mesh, {4, 5, 6});
    mesh.points[1].cameraPosition = {7, 8, 9};
    mesh.points[1].cameraNormal = {0, 1, 0};
    mesh.points[1].litColor[0] = 200;
    MeshPolygon& polygon = test::addPolygon(mesh, {1, 0, 9}, PolySmooth | PolyDoubleSided);
    renderBackend.drawPolygon(mesh, polygon);
    const RecordedCall& call = recording.calls.at(0);
    EXPECT_EQ(call.object, &mesh);
    EXPECT_EQ(call.polygonIndex, 0);
    EXPECT_EQ(call.flags, PolySmooth | PolyDoubleSided);
    EXPECT_EQ(call.vertexCount, 3);
    auto corners = recordedVertices(call);
    ASSERT_EQ(corners.size(), 2u); // index 9 names no point
    EXPECT_EQ(corners[0].point, 1);
    EXPECT_FLOAT_EQ(corners[0].cameraPosition.z, 9);
    EXPECT_FLOAT_EQ(corners[0].cameraNormal.y, 1);
    EXPECT_EQ(corners[0].litColor[0], 200);

    // A polygon claiming more corners than it stores records only the stored ones.
    MeshPolygon loose = polygon;
    loose.vertexCount = 200;
    renderBackend.drawPolygon(mesh, loose);
    EXPECT_EQ(recording.calls.at(1).polygonIndex, -1);
    EXPECT_EQ(recordedVertices(recording.calls.at(1)).size(), 2u);
}

TEST_F(RecordingBackendTest, TexturesGetOneSlotPerNameWithoutDecoding) {
    EXPECT_EQ(renderBackend.loadTexture("wood.jpg", 1), 0);
    EXPECT_EQ(renderBackend.loadTexture("stone.jpg", 0), 1);
    EXPECT_EQ(renderBackend.loadTexture("wood.jpg", 0), 0);
    EXPECT_EQ(textureTable.count, 2);
    EXPECT_STREQ(textureTable.slots[1].name, "stone.jpg");
    EXPECT_EQ(textureTable.slots[1].width, 0);
    EXPECT_EQ(textureTable.slots[1].bitsPerPixel, 24);
    EXPECT_EQ(recording.calls.at(2).args[0], 0); // mipmap flag
    EXPECT_EQ(recording.calls.at(2).args[1], 0); // index returned
    EXPECT_STREQ(recording.calls.at(1).textureName, "stone.jpg");
}

TEST_F(RecordingBackendTest, TooLongNamesAndAFullTableGetSlotZero) {
    renderBackend.loadTexture("first.jpg", 1);
    std::string longName(kTextureNameSize, 'x');
    EXPECT_EQ(renderBackend.loadTexture(longName.c_str(), 1), 0);
    EXPECT_EQ(textureTable.count, 1);
    for (int i = 1; i < kTextureSlotCount; ++i)
        renderBackend.loadTexture(("t" + std::to_string(i)).c_str(), 1);
    EXPECT_EQ(textureTable.count, kTextureSlotCount);
    EXPECT_EQ(renderBackend.loadTexture("one-too-many.jpg", 1), 0);
    EXPECT_EQ(textureTable.count, kTextureSlotCount);
    EXPECT_EQ(renderBackend.loadTexture("t499", 1), 499);
}

TEST_F(RecordingBackendTest, DecodingOnRequestFillsTheSlotSize) {
    const std::filesystem::path folder = KESTRUNE_SOURCE_DIR "/../shared/corpus/jpeg";
    if (!std::filesystem::exists(folder / "testorig.jpg")) GTEST_SKIP() << "corpus absent";
    // Images are looked up by bare name in the working directory.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    recording.decodeTextures = true;
    uint16_t index = renderBackend.loadTexture("testorig.jpg", 1);
    uint16_t missing = renderBackend.loadTexture("no-such-image.jpg", 1);
    std::filesystem::current_path(previous);
    EXPECT_EQ(textureTable.slots[index].width, 227);
    EXPECT_EQ(textureTable.slots[index].height, 149);
    EXPECT_EQ(textureTable.slots[missing].width, kMissingTextureSize);
}

TEST_F(RecordingBackendTest, SwitchedOffItOnlyCounts) {
    recording.enabled = false;
    Mesh mesh;
    test::addPoint(mesh, {0, 0, 0});
    renderBackend.drawPolygon(mesh, test::addPolygon(mesh, {0}));
    renderBackend.beginScene();
    renderBackend.beginScene();
    EXPECT_TRUE(recording.calls.empty());
    EXPECT_TRUE(recording.vertices.empty());
    EXPECT_EQ(recording.callCounts[static_cast<int>(EntryPoint::BeginScene)], 2u);
    EXPECT_EQ(recording.callCounts[static_cast<int>(EntryPoint::DrawPolygon)], 1u);
}

TEST_F(RecordingBackendTest, FlaresRecordTheLightAndItsCameraPosition) {
    SceneLight light;
    light.cameraPosition = {1, 2, 3};
    renderBackend.spotFlare(light);
    renderBackend.pointFlare(light);
    EXPECT_EQ(recording.calls.at(0).entry, EntryPoint::SpotFlare);
    EXPECT_EQ(recording.calls.at(1).light, &light);
    EXPECT_FLOAT_EQ(recording.calls.at(1).lightPosition.z, 3);
}

} // namespace
} // namespace kestrune
