// Drawing scenes onto the recording backend: call order, visibility, sprites, morphs and bones.
#include <gtest/gtest.h>

#include "mesh/metaballs.h"
#include "recording_test.h"
#include "render/frame_renderer.h"
#include "render/placement.h"
#include "scene_builder.h"

namespace kestrune {
namespace {

using test::addPoint;
using test::addPolygon;
using test::addTestLight;
using test::addTestObject;
using test::callSummary;
using Lines = std::vector<std::string>;

class FrameRendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::useRecordingBackend();
        test::reserveScene(scene);
    }
    void TearDown() override { renderBackend = {}; }

    // An object in front of the camera with a triangle's worth of points.
    SceneObject& addObject(const char* name = "thing.lwo") {
        SceneObject& object = addTestObject(scene, name, {.position = {0, 0, 10}});
        addPoint(object.mesh, {0, 0, 0});
        addPoint(object.mesh, {1, 0, 0});
        addPoint(object.mesh, {0, 1, 0});
        return object;
    }
    std::vector<const Mesh*> meshes() const {
        std::vector<const Mesh*> list;
        for (const SceneObject& object : scene.objects) list.push_back(&object.mesh);
        return list;
    }

    Scene scene;
};

TEST_F(FrameRendererTest, EmptySceneStillBracketsBothPasses) {
    drawScene(scene, 0);
    EXPECT_EQ(callSummary(), (Lines{"beginScene", "setTranslucent 0", "setTranslucent 1",
                                    "setTranslucent 0", "endScene"}));
}

TEST_F(FrameRendererTest, OpaqueThenTranslucentPassThenFlaresByType) {
    SceneObject& a = addObject();
    addPolygon(a.mesh, {0, 1, 2});                  // opaque
    addPolygon(a.mesh, {0, 1, 2}, PolyTranslucent); // translucent
    addPolygon(a.mesh, {1});                        // one point: a sprite, drawn translucent
    addPolygon(a.mesh, {0, 2});                     // two points: opaque
    SceneObject& b = addObject();
    addPolygon(b.mesh, {2, 1, 0}, PolyTranslucent | PolyFlat);
    addPolygon(b.mesh, {2, 1, 0}, PolySmooth);
    addTestLight(scene, 2, 63, 1).lensFlare = 1;
    addTestLight(scene, 1, 63, 1).lensFlare = 1;
    addTestLight(scene, 0, 63, 1).lensFlare = 1; // distant: no flare
    addTestLight(scene, 1, 63, 1).lensFlare = 0;
    drawScene(scene, 0);
    EXPECT_EQ(
        callSummary(meshes()),
        (Lines{"beginScene", "setTranslucent 0", "drawPolygon 0.0", "drawPolygon 0.3",
               "drawPolygon 1.1", "setTranslucent 1", "drawPolygon 0.1", "drawPolygon 0.2",
               "drawPolygon 1.0", "setTranslucent 0", "endScene", "spotFlare", "pointFlare"}));
    EXPECT_EQ(recording.calls.back().light, &scene.lights[1]);

    // The first polygon's corners as the backend saw them, lit by every light.
    const RecordedCall& first = recording.calls[2];
    EXPECT_EQ(first.flags, PolyFlat);
    EXPECT_EQ(first.vertexCount, 3);
    auto corners = recordedVertices(first);
    ASSERT_EQ(corners.size(), 3u);
    EXPECT_FLOAT_EQ(corners[1].cameraPosition.x, 1);
    EXPECT_FLOAT_EQ(corners[1].cameraPosition.z, 10);
    // Distant 126, spot trunc(63 x 1.0879 x 1.5) = 102, each point light trunc(63 x 0.099) = 6.
    EXPECT_EQ(corners[1].litColor[0], 240);
}

TEST_F(FrameRendererTest, DissolveHidesAtHalfAndAboveInBothPasses) {
    SceneObject& object = addObject();
    addPolygon(object.mesh, {0, 1, 2});
    addPolygon(object.mesh, {0}, PolyTextured);
    object.hasDissolve = 1;
    test::setRamp(object.dissolve, 0, 1); // 0.1 per frame

    drawScene(scene, 5);
    EXPECT_EQ(recording.callCounts[static_cast<int>(EntryPoint::DrawPolygon)], 0u);
    clearRecording();
    drawScene(scene, 4.999f);
    EXPECT_EQ(recording.callCounts[static_cast<int>(EntryPoint::DrawPolygon)], 2u);

    // Without "ObjDissolve" the envelope is ignored, whatever it holds.
    object.hasDissolve = 0;
    test::setMotion(object.dissolve, {1});
    clearRecording();
    drawScene(scene, 5);
    EXPECT_EQ(recording.callCounts[static_cast<int>(EntryPoint::DrawPolygon)], 2u);
}

TEST_F(FrameRendererTest, MotionsAreEvaluatedAtTheFrame) {
    SceneObject& object = addObject();
    addPolygon(object.mesh, {0, 1, 2});
    // Object moves along x, the camera along z, the light's intensity ramps up.
    allocateKeys(object.motion, 2);
    object.motion.channelCount = 9;
    for (MotionKey& key : object.motion.keys) key.values[6] = key.values[7] = key.values[8] = 1;
    object.motion.keys[1].values[0] = 10;
    object.motion.keys[0].values[2] = object.motion.keys[1].values[2] = 10;
    object.motion.keys[1].frame = 10;
    object.motion.keys[1].linear = 1;
    object.motion.lastKeyFrame = 10;
    test::setPlacement(scene.camera.motion, {.position = {0, 0, -5}});
    SceneLight& light = addTestLight(scene, 0, 63, 0);
    test::setRamp(light.intensity, 0, 1);

    drawScene(scene, 5);
    auto corners = recordedVertices(recording.calls[2]);
    ASSERT_EQ(corners.size(), 3u);
    EXPECT_FLOAT_EQ(corners[0].cameraPosition.x, 5);
    EXPECT_FLOAT_EQ(corners[0].cameraPosition.z, 15);
    EXPECT_EQ(corners[0].litColor[0], 63); // 63 x 2 x 0.5
    EXPECT_FLOAT_EQ(cameraTransform.position.z, -5);
}

TEST_F(FrameRendererTest, MorphBlendsFromRestPointsAndRepeatsExactly) {
    SceneObject& object = addObject();
    addPolygon(object.mesh, {0, 1, 2});
    object.restPoints = object.mesh.points;
    object.morphDeltas.assign(3, MorphDelta{{0, 0, 2}, {0, 0, 0}});
    object.hasMetamorph = 1;
    test::setRamp(object.metamorph, 0, 1);

    drawScene(scene, 5);
    const std::vector<RecordedVertex> firstVertices = recording.vertices;
    const Lines firstCalls = callSummary(meshes());
    ASSERT_EQ(firstVertices.size(), 3u);
    EXPECT_FLOAT_EQ(object.mesh.points[0].position.z, 1);
    EXPECT_FLOAT_EQ(firstVertices[0].cameraPosition.z, 11);

    // Another frame, then the same one again: the same calls and the same point data.
    clearRecording();
    drawScene(scene, 9);
    EXPECT_FLOAT_EQ(object.mesh.points[0].position.z, 1.8f);
    clearRecording();
    drawScene(scene, 5);
    EXPECT_EQ(callSummary(meshes()), firstCalls);
    ASSERT_EQ(recording.vertices.size(), firstVertices.size());
    for (size_t i = 0; i < firstVertices.size(); ++i) {
        EXPECT_EQ(recording.vertices[i].cameraPosition.z, firstVertices[i].cameraPosition.z);
        EXPECT_EQ(recording.vertices[i].litColor[0], firstVertices[i].litColor[0]);
    }
}

TEST_F(FrameRendererTest, MorphWinsOverBones) {
    SceneObject& object = addObject();
    addPolygon(object.mesh, {0, 1, 2});
    object.restPoints = object.mesh.points;
    object.morphDeltas.assign(3, MorphDelta{{0, 0, 1}, {0, 0, 0}});
    object.hasMetamorph = 1;
    test::setMotion(object.metamorph, {1});
    // One bone with full weight that would move every point by 5 along x.
    Bone& bone = object.bones.emplace_back();
    object.boneCount = 1;
    bone.owner = &object;
    bone.restMatrix = identityMatrix();
    bone.weights.assign(3, 1.0f);
    test::setPlacement(bone.motion, {.position = {5, 0, 0}});

    drawScene(scene, 0);
    auto corners = recordedVertices(recording.calls[2]);
    ASSERT_EQ(corners.size(), 3u);
    EXPECT_FLOAT_EQ(corners[1].cameraPosition.x, 1);
    EXPECT_FLOAT_EQ(corners[1].cameraPosition.z, 11);
}

TEST_F(FrameRendererTest, BallsAfterTheSurfaceObjectShowOneFrameLate) {
    initMetaballs();
    clearField(workGrid);
    clearRecording(); // initMetaballs asked for its texture 4096 times
    auto drawn = [] { return recording.callCounts[static_cast<int>(EntryPoint::DrawPolygon)]; };

    // Ball first: the surface shows it in the same frame, lit 127 whatever the lights.
    Scene before;
    test::reserveScene(before);
    addTestObject(before, "mball.lwo", {.position = {0.5f, 0.5f, 0.5f}});
    addTestObject(before, "mcube.lwo", {.position = {0, 0, 20}});
    addTestLight(before, 0, 63, 1);
    drawScene(before, 0);
    const uint64_t sameFrame = drawn();
    ASSERT_GT(sameFrame, 0u);
    const RecordedCall& first = recording.calls[2];
    EXPECT_EQ(first.flags, PolyTextured | PolySmooth);
    EXPECT_EQ(recordedVertices(first)[0].litColor[1], 127);
    EXPECT_EQ(before.objects[1].mesh.polygonCount, sameFrame);

    // Ball after: the first frame's surface is empty, the next one has the ball.
    Scene after;
    test::reserveScene(after);
    addTestObject(after, "mcube.lwo", {.position = {0, 0, 20}});
    addTestObject(after, "mball.lwo", {.position = {0.5f, 0.5f, 0.5f}});
    clearRecording();
    drawScene(after, 0);
    EXPECT_EQ(drawn(), 0u);
    EXPECT_EQ(after.objects[0].mesh.pointCount, 0);
    clearRecording();
    drawScene(after, 1);
    EXPECT_EQ(drawn(), sameFrame);
    clearField(workGrid);
    freeMetaballs();
}

TEST_F(FrameRendererTest, NothingIsDrawnBeforeABackendIsChosen) {
    SceneObject& object = addObject();
    addPolygon(object.mesh, {0, 1, 2});
    renderBackend = {};
    drawScene(scene, 0);
    EXPECT_TRUE(recording.calls.empty());
    EXPECT_FLOAT_EQ(object.motion.values[2], 10); // still evaluated
}

} // namespace
} // namespace kestrune
