// Placement through parent chains, the camera, light placement and the three light types.
#include <gtest/gtest.h>

#include <cmath>

#include "render/lighting.h"
#include "render/placement.h"
#include "scene_builder.h"

namespace kestrune {
namespace {

using test::addPoint;
using test::addTestLight;
using test::addTestObject;
using test::Placement;

void expectNear(Vec3 actual, Vec3 expected, float tolerance = 1e-5f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

void expectLit(const MeshPoint& point, int r, int g, int b) {
    EXPECT_EQ(point.litColor[0], r);
    EXPECT_EQ(point.litColor[1], g);
    EXPECT_EQ(point.litColor[2], b);
}

// Camera at the origin looking down +z; places the scene's lights.
void prepare(Scene& scene, const Placement& camera = {}) {
    test::setPlacement(scene.camera.motion, camera);
    setupCamera(scene.camera.motion);
    for (SceneLight& light : scene.lights) placeLight(light);
}

class LightingTest : public ::testing::Test {
protected:
    void SetUp() override { test::reserveScene(scene); }
    Scene scene;
};

TEST_F(LightingTest, ObjectWithoutParentMovesIntoCameraSpace) {
    SceneObject& object = addTestObject(scene, "a.lwo", {.position = {0, 0, 5}});
    addPoint(object.mesh, {1, 0, 0}, {0, 0, -1});
    prepare(scene);
    transformAndLight(object, scene);
    expectNear(object.mesh.points[0].cameraPosition, {1, 0, 5});
    expectNear(object.mesh.points[0].cameraNormal, {0, 0, -1});
    expectLit(object.mesh.points[0], 0, 0, 0);
}

TEST_F(LightingTest, ParentScaleActsOnOffsetsAboutThePivot) {
    SceneObject& parent = addTestObject(scene, "p.lwo", {.scale = {2, 2, 2}});
    parent.pivot = {1, 0, 0};
    SceneObject& child = addTestObject(scene, "c.lwo", {.position = {3, 0, 0}});
    child.parent = &parent;
    addPoint(child.mesh, {1, 0, 0});
    WorldPlacement placement = placeInWorld(child);
    expectNear(placement.position, {4, 0, 0});
    expectNear(placement.scale, {2, 2, 2});
    prepare(scene);
    transformAndLight(child, scene);
    // The child's own point is scaled by 2 about the child's pivot (0, 0, 0).
    expectNear(child.mesh.points[0].cameraPosition, {6, 0, 0});
}

TEST_F(LightingTest, RotationsOfParentObjectAndCameraCompose) {
    SceneObject& parent = addTestObject(scene, "p.lwo", {.angles = {90, 0, 0}});
    SceneObject& child = addTestObject(scene, "c.lwo", {.position = {1, 0, 0}});
    child.parent = &parent;
    addPoint(child.mesh, {0, 0, 0}, {1, 0, 0});
    expectNear(placeInWorld(child).position, {0, 0, -1});

    // A camera turned by heading 90 looks along world +x.
    prepare(scene, {.angles = {90, 0, 0}});
    expectNear(toCameraSpace({1, 0, 0}), {0, 0, 1});
    transformAndLight(child, scene);
    // World (0, 0, -1) lies on that camera's +x axis; the normal turns with parent and camera.
    expectNear(child.mesh.points[0].cameraPosition, {1, 0, 0});
    expectNear(child.mesh.points[0].cameraNormal, {1, 0, 0});
}

TEST_F(LightingTest, LightPlacementUsesHeadingAndPitchButNotBank) {
    SceneObject& parent = addTestObject(scene, "p.lwo", {.position = {0, 0, 4}});
    parent.pivot = {0, 0, 1};
    SceneLight& light =
        addTestLight(scene, 0, 63, 1, {.position = {0, 2, 0}, .angles = {90, 0, 45}});
    light.parent = &parent;
    prepare(scene);
    expectNear(light.cameraPosition, {0, 2, 3});
    expectNear(light.cameraDirection, {1, 0, 0});

    SceneLight& down = addTestLight(scene, 0, 63, 1, {.angles = {0, 90, 0}});
    placeLight(down);
    expectNear(down.cameraDirection, {0, -1, 0});
}

TEST_F(LightingTest, DistantLightAddsTwiceItsColourHeadOnAndClampsAt255) {
    SceneObject& object = addTestObject(scene, "a.lwo", {.position = {0, 0, 5}});
    addPoint(object.mesh, {0, 0, 0}, {0, 0, -1}); // facing the light
    addPoint(object.mesh, {0, 0, 0}, {0, 0, 1});  // turned away
    addPoint(object.mesh, {0, 0, 0}, {1, 0, 0});  // edge-on
    addTestLight(scene, 0, 63, 1);
    prepare(scene);
    transformAndLight(object, scene);
    expectLit(object.mesh.points[0], 126, 126, 126);
    expectLit(object.mesh.points[1], 0, 0, 0);
    expectLit(object.mesh.points[2], 63, 63, 63);

    addTestLight(scene, 0, 63, 1);
    prepare(scene);
    transformAndLight(object, scene);
    expectLit(object.mesh.points[0], 252, 252, 252);

    addTestLight(scene, 0, 63, 1);
    prepare(scene);
    transformAndLight(object, scene);
    expectLit(object.mesh.points[0], 255, 255, 255);
}

TEST_F(LightingTest, PointLightFallsOffWithDistanceAndTruncatesPerLight) {
    SceneObject& object = addTestObject(scene, "a.lwo");
    addPoint(object.mesh, {0, 0, 0}, {0, 1, 0});
    addTestLight(scene, 1, 63, 1, {.position = {0, 2, 0}});
    prepare(scene);
    transformAndLight(object, scene);
    expectLit(object.mesh.points[0], 31, 31, 31);

    // Each light is truncated on its own: 31 + 31, not trunc(63).
    addTestLight(scene, 1, 63, 1, {.position = {0, 2, 0}});
    prepare(scene);
    transformAndLight(object, scene);
    expectLit(object.mesh.points[0], 62, 62, 62);

    // A face turned away gets nothing.
    object.mesh.points[0].normal = {0, -1, 0};
    transformAndLight(object, scene);
    expectLit(object.mesh.points[0], 0, 0, 0);
}

TEST_F(LightingTest, SpotLightOnItsAxisAdds104AtAnyDistance) {
    SceneObject& object = addTestObject(scene, "a.lwo");
    addPoint(object.mesh, {0, 0, 10}, {0, 0, -1});
    addPoint(object.mesh, {0, 0, 1000}, {0, 0, -1});
    // 60 degrees off the axis: beyond the cone's edge at about 50.6 degrees.
    addPoint(object.mesh, {std::sqrt(3.0f) * 10, 0, 10}, {0, 0, -1});
    // Facing away from the axis: no surface term, even on the axis.
    addPoint(object.mesh, {0, 0, 5}, {0, 0, 1});
    addTestLight(scene, 2, 63, 1);
    prepare(scene);
    transformAndLight(object, scene);
    expectLit(object.mesh.points[0], 104, 104, 104);
    expectLit(object.mesh.points[1], 104, 104, 104);
    expectLit(object.mesh.points[2], 0, 0, 0);
    expectLit(object.mesh.points[3], 0, 0, 0);
}

TEST_F(LightingTest, MetaballObjectsAre127WhateverTheLights) {
    SceneObject& object = addTestObject(scene, "mcube.lwo");
    addPoint(object.mesh, {0, 0, 1}, {0, 0, -1});
    addTestLight(scene, 0, 63, 5);
    prepare(scene);
    transformAndLight(object, scene);
    expectLit(object.mesh.points[0], 127, 127, 127);
}

TEST_F(LightingTest, OtherLightTypesAddNothing) {
    SceneObject& object = addTestObject(scene, "a.lwo", {.position = {0, 0, 5}});
    addPoint(object.mesh, {0, 0, 0}, {0, 0, -1});
    addTestLight(scene, 3, 63, 1);
    addTestLight(scene, -1, 63, 1);
    prepare(scene);
    transformAndLight(object, scene);
    expectLit(object.mesh.points[0], 0, 0, 0);
}

// Mended: the total was only limited above; negative colours or intensities now end at 0.
TEST_F(LightingTest, NegativeTotalsClampToZero) {
    SceneObject& object = addTestObject(scene, "a.lwo", {.position = {0, 0, 5}});
    addPoint(object.mesh, {0, 0, 0}, {0, 0, -1});
    addTestLight(scene, 0, 63, -2);
    SceneLight& negative = addTestLight(scene, 0, 63, 1);
    negative.color[1] = -63;
    prepare(scene);
    transformAndLight(object, scene);
    expectLit(object.mesh.points[0], 0, 0, 0);
}

// Mended: a point at the light's own position has no direction to it and gets nothing from
// that light; other lights still count.
TEST_F(LightingTest, PointAtTheLightsPositionGetsNothingFromIt) {
    SceneObject& object = addTestObject(scene, "a.lwo");
    addPoint(object.mesh, {0, 0, 5}, {0, 0, -1});
    addTestLight(scene, 1, 63, 1, {.position = {0, 0, 5}});
    addTestLight(scene, 2, 63, 1, {.position = {0, 0, 5}});
    addTestLight(scene, 0, 10, 1);
    prepare(scene);
    transformAndLight(object, scene);
    expectLit(object.mesh.points[0], 20, 20, 20);
}

// Huge factors close to a point light, or infinite and NaN intensities, stay defined.
TEST_F(LightingTest, ExtremeFactorsSaturate) {
    SceneObject& object = addTestObject(scene, "a.lwo");
    addPoint(object.mesh, {0, 0, 5}, {0, 0, -1});
    addTestLight(scene, 1, 63, 1, {.position = {0, 0, 4.99999f}});
    addTestLight(scene, 0, 63, std::numeric_limits<float>::infinity());
    addTestLight(scene, 0, 63, std::numeric_limits<float>::quiet_NaN());
    prepare(scene);
    transformAndLight(object, scene);
    expectLit(object.mesh.points[0], 255, 255, 255);
}

// Mended: chains are cut after 25 ancestors; the 25th then stands as the root.
TEST_F(LightingTest, ParentChainsLongerThan25AreCut) {
    for (int i = 0; i < 30; ++i) {
        SceneObject& object = addTestObject(scene, "link.lwo", {.position = {1, 0, 0}});
        if (i > 0) object.parent = &scene.objects[i - 1];
    }
    EXPECT_FLOAT_EQ(placeInWorld(scene.objects[25]).position.x, 26); // 25 ancestors: whole
    EXPECT_FLOAT_EQ(placeInWorld(scene.objects[29]).position.x, 26); // 29: cut to 25
}

// Mended: a chain that loops back is cut where it would repeat.
TEST_F(LightingTest, LoopingParentChainsAreCutAtTheLoop) {
    SceneObject& a = addTestObject(scene, "a.lwo", {.position = {1, 0, 0}});
    SceneObject& b = addTestObject(scene, "b.lwo", {.position = {10, 0, 0}});
    a.parent = &b;
    b.parent = &a;
    EXPECT_FLOAT_EQ(placeInWorld(a).position.x, 11);
    SceneObject& self = addTestObject(scene, "s.lwo", {.position = {3, 0, 0}});
    self.parent = &self;
    EXPECT_FLOAT_EQ(placeInWorld(self).position.x, 3);
    SceneLight& light = addTestLight(scene, 1, 63, 1, {.position = {100, 0, 0}});
    light.parent = &a; // a -> b -> a: b is the root
    EXPECT_FLOAT_EQ(placeInWorld(light).position.x, 111);
}

} // namespace
} // namespace kestrune
