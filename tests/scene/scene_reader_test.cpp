// The scene reader: header, keyword groups and section rules, names, links, limits, sources.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "archive/archive.h"
#include "scene_test_util.h"

namespace kestrune {
namespace {

using test::loadText;
using test::pointMesh;
using test::requestedNames;
using test::servedMeshes;

std::string motionBlock(float x, int frame = 0) {
    std::ostringstream out;
    out << "9\n1\n" << x << " 0 0 0 0 0 1 1 1\n" << frame << " 0 0 0 0\nEndBehavior 1\n";
    return out.str();
}

TEST(SceneReader, HeaderAndEveryKeywordGroup) {
    servedMeshes()["walker.lwo"] = pointMesh({{0, 0, 0}, {0, 1, 0}});
    const std::string text = "LWSC\n3\n"
                             "PreviewFirstFrame 5\nPreviewLastFrame 250\nPreviewFrameStep 2\n"
                             "FramesPerSecond 29.97\n"
                             "LoadObject Objects\\Walker\\walker.lwo\n"
                             "ObjectMotion (unnamed)\n" +
                             motionBlock(4) +
                             "PivotPoint 1 2 3\nBoneFalloffType 3\n"
                             "ObjDissolve (envelope)\n1\n1\n0.25\n0 0 0 0 0\nEndBehavior 1\n"
                             "Metamorph 0.5\nParentObject 2\n"
                             "AddNullObject\nObjectMotion (unnamed)\n" +
                             motionBlock(9) + "AddLight\nLightName Light\nLightMotion (unnamed)\n" +
                             motionBlock(1) +
                             "LightColor 255 128 3\nLgtIntensity 0.8\nFlareIntensity 0.4\n"
                             "LightType 2\nLensFlare 1\nParentObject 1\n"
                             "ZoomFactor 3.2\nCameraMotion (unnamed)\n" +
                             motionBlock(-7);
    Scene scene;
    loadText(scene, text);
    EXPECT_EQ(5, scene.firstFrame);
    EXPECT_EQ(250, scene.lastFrame);
    EXPECT_EQ(2, scene.frameStep);
    EXPECT_FLOAT_EQ(29.97f, scene.framesPerSecond);
    ASSERT_EQ(2, scene.objectCount);
    ASSERT_EQ(1, scene.lightCount);

    SceneObject& walker = scene.objects[0];
    EXPECT_STREQ("walker.lwo", walker.name);
    EXPECT_EQ(2, walker.mesh.pointCount);
    EXPECT_EQ(0, walker.isMetaball);
    EXPECT_EQ(4.0f, walker.motion.keys[0].values[0]);
    EXPECT_EQ(1.0f, walker.pivot.x);
    EXPECT_EQ(3.0f, walker.pivot.z);
    EXPECT_EQ(3, walker.boneFalloffType);
    EXPECT_EQ(1, walker.hasDissolve);
    EXPECT_EQ(0.25f, walker.dissolve.keys[0].values[0]);
    EXPECT_EQ(1, walker.hasMetamorph);
    EXPECT_EQ(0.5f, walker.metamorph.keys[0].values[0]);
    EXPECT_EQ(&scene.objects[1], walker.parent);

    SceneObject& null = scene.objects[1];
    EXPECT_STREQ("NULL", null.name);
    EXPECT_EQ(9.0f, null.motion.keys[0].values[0]);
    EXPECT_EQ(nullptr, null.parent);

    SceneLight& light = scene.lights[0];
    EXPECT_EQ(63, light.color[0]);
    EXPECT_EQ(32, light.color[1]);
    EXPECT_EQ(0, light.color[2]);
    EXPECT_EQ(0.8f, light.intensity.keys[0].values[0]);
    EXPECT_EQ(0.4f, light.flareIntensity.keys[0].values[0]);
    EXPECT_EQ(2, light.type);
    EXPECT_EQ(1, light.lensFlare);
    EXPECT_EQ(&scene.objects[0], light.parent);
    EXPECT_EQ(1.0f, light.motion.keys[0].values[0]);

    EXPECT_EQ(3.2f, scene.camera.zoom.keys[0].values[0]);
    EXPECT_EQ(-7.0f, scene.camera.motion.keys[0].values[0]);
}

TEST(SceneReader, ObjectNames) {
    servedMeshes().clear();
    Scene scene;
    loadText(scene, "LoadObject Objects\\mcube.lwo LoadObject mball LoadObject a/b.lwo "
                    "LoadObject C:\\x\\walker LoadObject dir\\name.part.lwo "
                    "LoadObject Objects\\a_name_that_is_far_too_long_for_the_field.lwo");
    ASSERT_EQ(6, scene.objectCount);
    EXPECT_STREQ("mcube.lwo", scene.objects[0].name);
    EXPECT_EQ(1, scene.objects[0].isMetaball);
    EXPECT_STREQ("mball.lwo", scene.objects[1].name);
    EXPECT_EQ(1, scene.objects[1].isMetaball);
    EXPECT_STREQ("a/b.lwo", scene.objects[2].name);
    EXPECT_STREQ("walker.lwo", scene.objects[3].name);
    EXPECT_STREQ("name.lwo", scene.objects[4].name);
    // Cut to 27 characters in the record, looked up under the whole name.
    EXPECT_STREQ("a_name_that_is_far_too_long", scene.objects[5].name);
    // The metaball objects read no file; the loader's ".3d" rewrite stays in its own buffer.
    const std::vector<std::string> expected = {"a/b.lwo", "walker.lwo", "name.lwo",
                                               "a_name_that_is_far_too_long_for_the_field.lwo"};
    EXPECT_EQ(expected, requestedNames());
}

TEST(SceneReader, SectionRules) {
    servedMeshes()["thing.lwo"] = pointMesh({{0, 0, 0}});
    Scene scene;
    loadText(scene, "AddNullObject\nLoadObject thing\nParentObject 1\n"
                    "AddBone\nBoneLimitedRange 0\nParentObject 2\nAddBone\n"
                    "PivotPoint 5 5 5\nBoneFalloffType 2\nObjectMotion (unnamed)\n" +
                        motionBlock(3) +
                        "ObjDissolve 0.7\n"
                        "AddNullObject\nAddBone\nAddBone\nParentObject 1\n");
    ASSERT_EQ(3, scene.objectCount);
    SceneObject& thing = scene.objects[1];
    EXPECT_EQ(&scene.objects[0], thing.parent); // not changed by the bone's ParentObject
    ASSERT_EQ(2, thing.boneCount);
    EXPECT_EQ(1, thing.bones[0].limitedRange);
    EXPECT_EQ(&thing.bones[1], thing.bones[0].parent);
    EXPECT_EQ(&thing, thing.bones[0].owner);
    // Object keywords other than dissolve, morph and morph target are ignored in a bone.
    EXPECT_EQ(0.0f, thing.pivot.x);
    EXPECT_EQ(0, thing.boneFalloffType);
    EXPECT_EQ(0, thing.motion.keyCount);
    EXPECT_EQ(1, thing.hasDissolve);
    EXPECT_EQ(0.7f, thing.dissolve.keys[0].values[0]);
    // Bones of a null object count from 1 within it.
    SceneObject& null = scene.objects[2];
    ASSERT_EQ(2, null.boneCount);
    EXPECT_EQ(&null.bones[0], null.bones[1].parent);
    EXPECT_EQ(nullptr, null.parent);
}

TEST(SceneReader, FailedReadsKeepValuesAndTheLoopGoesOn) {
    Scene scene;
    scene.firstFrame = 11;
    loadText(scene, "PreviewFirstFrame -x\nAddLight\nLightType abc\nLightColor 200 - 40\n"
                    "LensFlare 1\nFramesPerSecond 30\n");
    EXPECT_EQ(11, scene.firstFrame);
    EXPECT_EQ(0, scene.lastFrame); // the search for it ran to the end
    ASSERT_EQ(1, scene.lightCount);
    EXPECT_EQ(0, scene.lights[0].type);
    EXPECT_EQ(50, scene.lights[0].color[0]);
    EXPECT_EQ(0, scene.lights[0].color[1]); // "-" failed and was consumed
    EXPECT_EQ(10, scene.lights[0].color[2]);
    EXPECT_EQ(1, scene.lights[0].lensFlare);
}

// Everything loadScene fills, with links as numbers, for comparing two loads.
std::string describe(const Scene& scene) {
    std::ostringstream out;
    auto motion = [&](const Motion& m) {
        out << m.keyCount << '/' << m.channelCount << '/' << m.lastKeyFrame << '/' << m.endBehavior;
        for (const MotionKey& k : m.keys) {
            for (int c = 0; c < m.channelCount; ++c) out << ',' << k.values[c];
            out << ';' << k.frame << k.linear << k.tension << k.continuity << k.bias;
        }
        out << '\n';
    };
    out << scene.firstFrame << scene.lastFrame << scene.frameStep << scene.framesPerSecond << '\n';
    motion(scene.camera.motion);
    motion(scene.camera.zoom);
    for (const SceneObject& o : scene.objects) {
        out << o.name << o.mesh.pointCount << (o.parent ? o.parent - scene.objects.data() : -1)
            << o.pivot.x << o.hasDissolve << o.hasMetamorph << o.boneFalloffType
            << o.morphDeltas.size() << '\n';
        motion(o.motion);
        motion(o.dissolve);
        motion(o.metamorph);
        for (const Bone& b : o.bones) {
            out << (b.parent ? b.parent - o.bones.data() : -1) << b.strength << b.restLength
                << b.restOrigin.y << b.limitedRange;
            for (float w : b.weights) out << ',' << w;
            out << '\n';
            motion(b.motion);
        }
    }
    for (const SceneLight& l : scene.lights) {
        out << l.color[0] << l.type << l.lensFlare
            << (l.parent ? l.parent - scene.objects.data() : -1);
        motion(l.motion);
        motion(l.intensity);
    }
    return out.str();
}

const char kRichScene[] = "PreviewFirstFrame 0 PreviewLastFrame 60 PreviewFrameStep 1 "
                          "FramesPerSecond 30\n"
                          "LoadObject body.lwo ObjectMotion x 9 2 0 0 0 0 0 0 1 1 1 0 0 0 0 0 "
                          "5 0 0 90 0 0 1 1 1 30 0 0 0 0 EndBehavior 2\n"
                          "MorphTarget 2 Metamorph (envelope) 1 2 0 0 0 0 0 0 1 60 1 0 0 0 "
                          "EndBehavior 1\n"
                          "AddBone BoneRestPosition 0 0 0 BoneRestDirection 0 0 0 "
                          "BoneRestLength 1 BoneStrength 1 ScaleBoneStrength 1\n"
                          "AddBone BoneRestPosition 0 0 1 BoneRestDirection 0 90 0 "
                          "BoneRestLength 2 BoneStrength 0.5 ParentObject 1 BoneLimitedRange "
                          "BoneMinRange 0 BoneMaxRange 5\n"
                          "LoadObject target.lwo ParentObject 1\n"
                          "AddLight LightColor 100 100 100 LgtIntensity 1 ParentObject 2\n";

TEST(SceneReader, ReadingTwiceGivesIdenticalRecords) {
    servedMeshes()["body.lwo"] = pointMesh({{0, 0, 0}, {0, 0, 2}, {1, 1, 1}});
    servedMeshes()["target.lwo"] = pointMesh({{1, 0, 0}, {0, 0, 3}, {1, 1, 1}});
    Scene first;
    loadText(first, kRichScene);
    const std::string once = describe(first);
    loadText(first, kRichScene);
    EXPECT_EQ(once, describe(first));
    Scene second;
    loadText(second, kRichScene);
    EXPECT_EQ(once, describe(second));
    ASSERT_EQ(3u, first.objects[0].morphDeltas.size());
    EXPECT_EQ(1.0f, first.objects[0].morphDeltas[0].position.x);
    EXPECT_EQ(1.0f, first.objects[0].morphDeltas[1].position.z);
    EXPECT_EQ(1.0f, first.objects[0].bones[0].strength); // scaled by rest length 1
}

TEST(SceneReader, MorphTargetWithFewerPointsGetsZeroDeltas) {
    servedMeshes()["big.lwo"] = pointMesh({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}});
    servedMeshes()["small.lwo"] = pointMesh({{5, 0, 0}});
    Scene scene;
    loadText(scene, "LoadObject big MorphTarget 2 LoadObject small");
    const SceneObject& big = scene.objects[0];
    ASSERT_EQ(3u, big.morphDeltas.size());
    ASSERT_EQ(3u, big.restPoints.size());
    EXPECT_EQ(5.0f, big.morphDeltas[0].position.x);
    EXPECT_EQ(0.0f, big.morphDeltas[2].position.x);
}

TEST(SceneReader, LinkNumbersOutsideTheRangeMeanNone) {
    Scene scene;
    loadText(scene, "AddNullObject ParentObject 3 MorphTarget -1 AddBone ParentObject 9 "
                    "AddNullObject ParentObject 0 AddLight ParentObject 2147483647 "
                    "AddNullObject ParentObject -2");
    ASSERT_EQ(3, scene.objectCount);
    EXPECT_EQ(&scene.objects[2], scene.objects[0].parent);
    EXPECT_TRUE(scene.objects[0].morphDeltas.empty());
    EXPECT_EQ(nullptr, scene.objects[0].bones[0].parent);
    EXPECT_EQ(nullptr, scene.objects[1].parent);
    EXPECT_EQ(nullptr, scene.objects[2].parent);
    EXPECT_EQ(nullptr, scene.lights[0].parent);
}

TEST(SceneReader, RecordsBeyondTheLimitsAreDropped) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "AddNullObject ObjectMotion m 9 1 " + std::to_string(i) +
                " 0 0 0 0 0 1 1 1 0 0 0 0 0 EndBehavior 1\n";
    text += "AddBone BoneStrength 4\n";
    for (int i = 0; i < 300; ++i) text += "AddLight LightType " + std::to_string(i % 3) + "\n";
    text += "LightColor 40 40 40 ParentObject 1\n";
    Scene scene;
    loadText(scene, text);
    ASSERT_EQ(kMaxSceneObjects, scene.objectCount);
    // The dropped objects' motions went to scratch, not into the last kept object.
    EXPECT_EQ(255.0f, scene.objects[255].motion.keys[0].values[0]);
    EXPECT_EQ(0, scene.objects[255].boneCount);
    ASSERT_EQ(kMaxSceneLights, scene.lightCount);
    EXPECT_EQ(0, scene.lights[255].color[0]);
    EXPECT_EQ(nullptr, scene.lights[255].parent);
}

TEST(SceneReader, BoneLimits) {
    std::string text;
    for (int i = 0; i < 129; ++i) text += "AddNullObject\n";
    text += "AddBone BoneStrength 3\n"; // object 129: no bones
    text += "AddNullObject\n";
    Scene scene;
    // Bones before any object are dropped, with their values.
    loadText(scene, "AddBone BoneStrength 2 ParentObject 1 ObjDissolve 0.5 " + text);
    ASSERT_EQ(130, scene.objectCount);
    for (const SceneObject& o : scene.objects) EXPECT_EQ(0, o.boneCount);
    EXPECT_EQ(0, scene.objects[0].hasDissolve);

    std::string many = "AddNullObject\n";
    for (int i = 0; i < 130; ++i) many += "AddBone BoneStrength " + std::to_string(i + 1) + "\n";
    loadText(scene, many);
    ASSERT_EQ(kMaxBonesPerObject, scene.objects[0].boneCount);
    EXPECT_EQ(128.0f, scene.objects[0].bones[127].strength);
}

TEST(SceneReader, BoneChainsAreCutAtLoopsAndAfter25Ancestors) {
    std::string text = "AddNullObject\n";
    // Bones 1..30 each parented to the next: bone 1 has 29 ancestors.
    for (int i = 1; i <= 30; ++i)
        text += "AddBone ParentObject " + std::to_string(i < 30 ? i + 1 : 0) + "\n";
    // Bones 31 and 32 parent each other; bone 33 parents itself.
    text += "AddBone ParentObject 32 AddBone ParentObject 31 AddBone ParentObject 33\n";
    Scene scene;
    loadText(scene, text);
    const SceneObject& o = scene.objects[0];
    ASSERT_EQ(33, o.boneCount);
    for (const Bone& bone : o.bones) {
        int ancestors = 0;
        for (const Bone* b = bone.parent; b && ancestors <= 40; b = b->parent) ++ancestors;
        EXPECT_LE(ancestors, kMaxBoneAncestors) << (&bone - o.bones.data());
    }
    EXPECT_EQ(nullptr, o.bones[25].parent); // bone 1's 25th ancestor became a root
    EXPECT_EQ(&o.bones[31], o.bones[30].parent);
    EXPECT_EQ(nullptr, o.bones[31].parent);
    EXPECT_EQ(nullptr, o.bones[32].parent);
}

TEST(SceneReader, TruncatedAndHostileText) {
    Scene scene;
    loadText(scene, "LoadObject");
    EXPECT_EQ(0, scene.objectCount);
    loadText(scene, "AddNullObject ObjectMotion x 9 1000000 1 2");
    ASSERT_EQ(1, scene.objectCount);
    EXPECT_EQ(0, scene.objects[0].motion.keyCount);
    loadText(scene, "AddNullObject ObjDissolve (envelope) 1 1 0.5");
    EXPECT_EQ(1, scene.objects[0].hasDissolve);
    loadText(scene, std::string("AddNullObject\0AddLight", 22));
    EXPECT_EQ(1, scene.objectCount);
    EXPECT_EQ(0, scene.lightCount);
}

class SceneFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("kestrune_scene_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        setDefaultArchiveName(kNoArchiveName);
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(dir_);
    }
    std::filesystem::path dir_, previous_;
};

TEST_F(SceneFiles, LooseFileFirstThenTheArchive) {
    {
        DataArchive archive("pack.dat");
        const std::string packed = "AddNullObject AddNullObject";
        ASSERT_TRUE(archive.addBytes(reinterpret_cast<const uint8_t*>(packed.data()), packed.size(),
                                     "show.lws"));
        ASSERT_TRUE(archive.close());
    }
    setDefaultArchiveName("pack.dat");
    Scene scene;
    ASSERT_TRUE(loadScene(scene, "SHOW.LWS")); // archive names match regardless of case
    EXPECT_EQ(2, scene.objectCount);
    std::ofstream("show.lws") << "AddNullObject\n";
    ASSERT_TRUE(loadScene(scene, "show.lws"));
    EXPECT_EQ(1, scene.objectCount);
    EXPECT_FALSE(loadScene(scene, "absent.lws"));
    EXPECT_EQ(0, scene.objectCount);
    EXPECT_TRUE(scene.objects.empty());
}

TEST(SceneCorpus, NewtonsCradleReads) {
    const std::filesystem::path file =
        std::filesystem::path(KESTRUNE_SOURCE_DIR "/../shared/corpus/lws/newtons/scene.1");
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "corpus absent";
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    servedMeshes().clear();
    Scene scene;
    loadText(scene, text);
    EXPECT_EQ(11, scene.objectCount);
    EXPECT_EQ(1, scene.lightCount);
    EXPECT_EQ(0, scene.lastFrame); // the older header keywords are not the ones searched for
    for (const SceneObject& o : scene.objects) {
        EXPECT_EQ(9, o.motion.channelCount);
        EXPECT_GE(o.motion.keyCount, 1);
    }
    EXPECT_EQ(&scene.objects[0], scene.objects[1].parent);
    EXPECT_EQ(4, scene.objects[1].motion.keyCount);
    EXPECT_EQ(50, scene.objects[1].motion.lastKeyFrame);
    EXPECT_EQ(1, scene.camera.motion.keyCount);
    EXPECT_EQ(3.2f, scene.camera.zoom.keys[0].values[0]);
    // Paths without a backslash keep their folders; over-long names are cut to 27 characters.
    EXPECT_STREQ("3D:Objects/newtons/Frame.lw", scene.objects[0].name);
    EXPECT_EQ("3D:Objects/newtons/Frame.lwo", requestedNames()[0]);
}

} // namespace
} // namespace kestrune
