// Bone weights (falloff, ranges, strength, normalisation) and deformation through bone chains.
#include <gtest/gtest.h>

#include <cmath>

#include "scene_test_util.h"

namespace kestrune {
namespace {

using test::loadText;
using test::pointMesh;
using test::servedMeshes;

SceneObject objectWithPoints(const std::vector<Vec3>& points) {
    SceneObject object;
    object.mesh = pointMesh(points);
    return object;
}

Bone& bone(SceneObject& object, Vec3 position, Vec3 direction, float length, float strength) {
    Bone* b = addBone(object);
    b->restPosition = position;
    b->restDirection = direction;
    b->restLength = length;
    b->strength = strength;
    return *b;
}

// A range-limited bone that reaches no point adds 1e-10 to every point's weights without
// adding to their sums, so its normalised weight reveals the sum of the others' raw weights.
void addProbe(SceneObject& object) {
    Bone& probe = bone(object, {0, 0, 0}, {0, 0, 0}, 0, 1);
    probe.limitedRange = 1;
    probe.minRange = 1e6f;
    probe.maxRange = 2e6f;
}
double rawSum(const SceneObject& object, size_t point) {
    return 1e-10 / object.bones.back().weights[point];
}

// Motion keyed to one pose, so deformBones sees fixed channel values.
void pose(Bone& b, Vec3 position, Vec3 angles, Vec3 scale = {1, 1, 1}) {
    allocateKeys(b.motion, 1);
    b.motion.channelCount = 9;
    const float values[9] = {position.x, position.y, position.z, angles.x, angles.y,
                             angles.z,   scale.x,    scale.y,    scale.z};
    for (int c = 0; c < 9; ++c) b.motion.keys[0].values[c] = values[c];
}

void restPose(Bone& b) {
    pose(b, b.restPosition, b.restDirection);
}

TEST(BoneWeights, DistanceToTheSegment) {
    SceneObject object = objectWithPoints({{0, 0, 0.5f}, {1, 0, 2}});
    bone(object, {0, 0, 0}, {0, 0, 0}, 1, 1);
    addProbe(object);
    computeBoneWeights(object);
    EXPECT_NEAR(std::sqrt(1.0 / 0.001), rawSum(object, 0), 1e-3);          // on the bone: s = 0
    EXPECT_NEAR(std::sqrt(1.0 / std::sqrt(2.0)), rawSum(object, 1), 1e-6); // s = sqrt(2)
    EXPECT_TRUE(object.weightSums.empty());
}

TEST(BoneWeights, FalloffTypes) {
    // A point at distance 2 from a bone of length 0 at the origin.
    const double expected[] = {std::sqrt(0.5), 0.5, 0.25, 1.0 / 16, 1.0 / 256, std::sqrt(0.5)};
    const int types[] = {0, 1, 2, 3, 4, 9};
    for (int i = 0; i < 6; ++i) {
        SceneObject object = objectWithPoints({{2, 0, 0}});
        object.boneFalloffType = types[i];
        bone(object, {0, 0, 0}, {0, 0, 0}, 0, 1);
        addProbe(object);
        computeBoneWeights(object);
        EXPECT_NEAR(expected[i], rawSum(object, 0), expected[i] * 1e-5) << types[i];
    }
}

TEST(BoneWeights, PointsAHairFromABoneKeepFiniteWeights) {
    // The walker has points 1e-6 from a bone. For every falloff type, with a second bone of huge
    // strength on the same segment and a point whose power 2^t is subnormal in single precision,
    // every weight stays finite, the weights still sum to 1 and the rest pose stays in place.
    for (int type = 0; type <= 4; ++type) {
        SceneObject object = objectWithPoints({{1e-6f, 0, 0.5f}, {0.0032f, 0, 0.5f}});
        object.boneFalloffType = type;
        bone(object, {0, 0, 0}, {0, 0, 0}, 1, 1);
        bone(object, {0, 0, 0}, {0, 0, 0}, 1, 1e30f);
        bone(object, {2, 0, 0}, {0, 0, 0}, 1, 1);
        computeBoneWeights(object);
        for (Bone& b : object.bones) restPose(b);
        deformBones(object, 0);
        for (size_t k = 0; k < 2; ++k) {
            float sum = 0;
            for (const Bone& b : object.bones) {
                EXPECT_TRUE(std::isfinite(b.weights[k])) << type << " " << k;
                sum += b.weights[k];
            }
            EXPECT_NEAR(1.0f, sum, 1e-5f) << type << " " << k;
            EXPECT_NEAR(object.restPoints[k].position.x, object.mesh.points[k].position.x, 1e-5f);
        }
    }
    // A power that underflows counts as a point on the bone: sqrt(1 / 0.001).
    SceneObject object = objectWithPoints({{1e-6f, 0, 0.5f}});
    object.boneFalloffType = 4;
    bone(object, {0, 0, 0}, {0, 0, 0}, 1, 1);
    addProbe(object);
    computeBoneWeights(object);
    EXPECT_NEAR(std::sqrt(1.0 / 0.001), rawSum(object, 0), 1e-3);
}

TEST(BoneWeights, StrengthScalingAndRanges) {
    SceneObject object = objectWithPoints({{2, 0, 0}, {2.01f, 0, 0}});
    Bone& scaled = bone(object, {0, 0, 0}, {0, 0, 0}, 3, 2);
    scaled.scaleStrength = 1;
    scaled.restPosition = {0, 0, -3}; // its segment ends at the origin
    Bone& ranged = bone(object, {0, 0, 0}, {0, 0, 0}, 0, 1);
    ranged.limitedRange = 1;
    ranged.minRange = 1;
    ranged.maxRange = 2;
    computeBoneWeights(object);
    EXPECT_EQ(6.0f, object.bones[0].strength);
    // Distance 2 is inside the range (inclusive): weights 6 * sqrt(0.5) and sqrt(0.5).
    EXPECT_NEAR(6.0 / 7.0, object.bones[0].weights[0], 1e-6);
    EXPECT_NEAR(1.0 / 7.0, object.bones[1].weights[0], 1e-6);
    // Distance 2.01 is outside: 1e-10 before normalisation.
    const double raw = 6.0 * std::sqrt(1.0 / 2.01);
    EXPECT_NEAR(1.0, object.bones[0].weights[1], 1e-6);
    EXPECT_NEAR(1e-10 / raw, object.bones[1].weights[1], 1e-15);
}

TEST(BoneWeights, EqualBonesShareEvenly) {
    SceneObject object = objectWithPoints({{0, 0, 0}});
    bone(object, {-1, 0, 0}, {0, 0, 0}, 0, 2);
    bone(object, {1, 0, 0}, {0, 0, 0}, 0, 2);
    computeBoneWeights(object);
    EXPECT_FLOAT_EQ(0.5f, object.bones[0].weights[0]);
    EXPECT_FLOAT_EQ(0.5f, object.bones[1].weights[0]);
}

TEST(BoneRest, MatrixAndOriginThroughTheChain) {
    SceneObject object = objectWithPoints({});
    bone(object, {1, 2, 3}, {90, 0, 0}, 1, 1);
    bone(object, {0, 0, 1}, {0, 90, 0}, 1, 1);
    bone(object, {0, 0, 2}, {0, 0, 0}, 1, 1);
    object.bones[1].parent = &object.bones[0];
    object.bones[2].parent = &object.bones[1];
    // Root: no chain. Child 1: (1,2,3) + O(90,0,0) (0,0,1) = (2,2,3).
    const Vec3 o1 = boneRestOrigin(object.bones[1]);
    EXPECT_NEAR(2.0f, o1.x, 1e-5f);
    EXPECT_NEAR(3.0f, o1.z, 1e-5f);
    // Child 2: + O(90,0,0) O(0,90,0) (0,0,2); pitch 90 turns +z to -y, heading leaves y.
    const Vec3 o2 = boneRestOrigin(object.bones[2]);
    EXPECT_NEAR(2.0f, o2.x, 1e-4f);
    EXPECT_NEAR(0.0f, o2.y, 1e-4f);
    EXPECT_NEAR(3.0f, o2.z, 1e-4f);
    // The rest matrix takes the bone's direction (object space) to +z.
    const Mat3 m = boneRestMatrix(object.bones[2]);
    const Vec3 along = transform(m, Vec3{0, -1, 0});
    EXPECT_NEAR(1.0f, along.z, 1e-5f);
}

TEST(BoneDeform, RestPoseLeavesPointsInPlace) {
    SceneObject object = objectWithPoints({{0, 0, 0}, {1, 2, 3}, {-2, 0.5f, 4}, {0.3f, -1, 1}});
    bone(object, {0.5f, 0, 0}, {20, 10, 0}, 2, 1);
    bone(object, {0, 0, 2}, {-30, 45, 15}, 1.5f, 2);
    bone(object, {0, 1, 1.5f}, {0, 0, 80}, 1, 0.5f);
    object.bones[1].parent = &object.bones[0];
    object.bones[2].parent = &object.bones[1];
    computeBoneWeights(object);
    for (Bone& b : object.bones) restPose(b);
    object.mesh.points[1].position = {99, 99, 99}; // deformation restarts from restPoints
    deformBones(object, 3);
    for (size_t k = 0; k < object.restPoints.size(); ++k) {
        EXPECT_NEAR(object.restPoints[k].position.x, object.mesh.points[k].position.x, 1e-4f);
        EXPECT_NEAR(object.restPoints[k].position.y, object.mesh.points[k].position.y, 1e-4f);
        EXPECT_NEAR(object.restPoints[k].position.z, object.mesh.points[k].position.z, 1e-4f);
        EXPECT_NEAR(1.0f, object.mesh.points[k].normal.y, 1e-4f);
    }
}

TEST(BoneDeform, HeadingTurnRotatesAboutTheRestOrigin) {
    SceneObject object = objectWithPoints({{1, 0, 1}, {0, 5, 3}, {-2, 1, 0}});
    Bone& b = bone(object, {0, 0, 1}, {0, 0, 0}, 2, 1);
    computeBoneWeights(object);
    pose(b, {0, 0, 1}, {90, 0, 0});
    deformBones(object, 0);
    // (x, y, z) relative to the origin (0, 0, 1) turns to (z', y, -x').
    const Vec3 expected[] = {{0, 0, 0}, {2, 5, 1}, {-1, 1, 3}};
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(expected[k].x, object.mesh.points[k].position.x, 1e-4f) << k;
        EXPECT_NEAR(expected[k].y, object.mesh.points[k].position.y, 1e-4f) << k;
        EXPECT_NEAR(expected[k].z, object.mesh.points[k].position.z, 1e-4f) << k;
    }
    EXPECT_NEAR(1.0f, object.mesh.points[0].normal.y, 1e-5f);
}

TEST(BoneDeform, ParentScaleActsOnChildPositionsOnly) {
    SceneObject object = objectWithPoints({{0, 0, 1.5f}});
    bone(object, {0, 0, 0}, {0, 0, 0}, 1, 0); // strength 0: no weight of its own
    bone(object, {0, 0, 1}, {0, 0, 0}, 1, 1);
    object.bones[1].parent = &object.bones[0];
    computeBoneWeights(object);
    pose(object.bones[0], {0, 0, 0}, {0, 0, 0}, {1, 1, 3});
    restPose(object.bones[1]);
    deformBones(object, 0);
    // The child's origin moves to 3 along z; the point keeps its offset 0.5 from it unscaled.
    EXPECT_NEAR(3.5f, object.mesh.points[0].position.z, 1e-5f);
}

TEST(BoneDeform, UnreachedPointsStayAndZeroFirstWeightsStartFromZero) {
    SceneObject object = objectWithPoints({{0, 0, 0}, {50, 0, 0}});
    bone(object, {0, 0, 0}, {0, 0, 0}, 0, 0); // strength 0: weight exactly 0 everywhere
    Bone& near = bone(object, {0, 0, 0}, {0, 0, 0}, 0, 1);
    near.limitedRange = 1;
    near.minRange = 0;
    near.maxRange = 10;
    computeBoneWeights(object);
    ASSERT_EQ(1u, object.unreachedPoints.size());
    EXPECT_EQ(1, object.unreachedPoints[0]);
    EXPECT_EQ(0.0f, object.bones[0].weights[1]);
    EXPECT_FALSE(std::isnan(object.bones[1].weights[1]));
    pose(object.bones[0], {7, 7, 7}, {0, 0, 0});
    pose(object.bones[1], {0, 2, 0}, {0, 0, 0});
    deformBones(object, 0);
    // Point 0: 0 * (first bone's term) + 1 * (second's), not its rest point plus the second's.
    EXPECT_NEAR(2.0f, object.mesh.points[0].position.y, 1e-6f);
    EXPECT_NEAR(0.0f, object.mesh.points[0].position.x, 1e-6f);
    // Point 1 is out of the only range and has no strength elsewhere: it stays at rest.
    EXPECT_EQ(50.0f, object.mesh.points[1].position.x);
    EXPECT_EQ(0.0f, object.mesh.points[1].position.y);
}

TEST(BoneDeform, HandBuiltLoopsAreWalkedBoundedly) {
    SceneObject object = objectWithPoints({{0, 0, 0}});
    bone(object, {0, 0, 1}, {0, 0, 0}, 1, 1);
    bone(object, {0, 0, 1}, {0, 0, 0}, 1, 1);
    object.bones[0].parent = &object.bones[1];
    object.bones[1].parent = &object.bones[0];
    computeBoneWeights(object);
    deformBones(object, 0);
    EXPECT_TRUE(std::isfinite(object.mesh.points[0].position.z));
}

TEST(BoneDeform, ReaderComputesWeightsForBonedObjects) {
    servedMeshes()["arm.lwo"] = pointMesh({{0, 0, 0.5f}, {0, 0, 1.5f}});
    Scene scene;
    loadText(scene, "LoadObject arm AddBone BoneRestPosition 0 0 0 BoneRestDirection 0 0 0 "
                    "BoneRestLength 1 BoneStrength 1 BoneMotion b 9 1 0 0 0 0 0 0 1 1 1 "
                    "0 0 0 0 0 EndBehavior 1 AddBone BoneRestPosition 0 0 1 BoneRestDirection "
                    "0 0 0 BoneRestLength 1 BoneStrength 1 ParentObject 1 BoneMotion b 9 1 "
                    "0 0 1 90 0 0 1 1 1 0 0 0 0 0 EndBehavior 1");
    SceneObject& arm = scene.objects[0];
    ASSERT_EQ(2, arm.boneCount);
    EXPECT_NEAR(1.0f, arm.bones[0].weights[0] + arm.bones[1].weights[0], 1e-6f);
    EXPECT_NEAR(31.6228 / (31.6228 + 1.41421), arm.bones[1].weights[1], 1e-4);
    EXPECT_NEAR(1.0f, arm.bones[1].restOrigin.z, 1e-6f);
    deformBones(arm, 0);
    // The second bone turns 90 degrees about y at (0, 0, 1): (0, 0, 1.5) goes towards +x.
    EXPECT_GT(arm.mesh.points[1].position.x, 0.45f);
}

} // namespace
} // namespace kestrune
