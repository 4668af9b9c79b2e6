// The generated show: every file the driver names is there, every object and texture a scene
// names exists, the timeline fits the driver's table, and every engine feature is used.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "content/show.h"
#include "mesh/mesh.h"
#include "mesh/surface.h"
#include "mesh/texture.h"
#include "render/frame_renderer.h"
#include "render/recording/recording_backend.h"
#include "scene/scene.h"
#include "tests/content/show_fixture.h"

using namespace kestrune;

namespace {

const char* kSceneNames[] = {"load.lws",    "walk0.lws",   "walk1.lws", "walk2.lws", "walk3.lws",
                             "walk4.lws",   "walk5.lws",   "walk6.lws", "walk7.lws", "walk8.lws",
                             "Credits.lws", "Divozev.lws", "greet.lws", "text0.lws", "text1.lws",
                             "text2.lws",   "text3.lws",   "text4.lws", "text5.lws", "text6.lws"};

std::set<std::string> requested;

uint16_t noteTexture(const char* name, uint8_t) {
    requested.insert(name);
    return 0;
}

class ShowContentTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        generatedShow();
        renderBackend = RenderBackend{};
        renderBackend.loadTexture = noteTexture;
        for (const char* name : kSceneNames) {
            auto scene = std::make_unique<Scene>();
            loaded[name] = loadScene(*scene, name);
            scenes[name] = std::move(scene);
        }
        renderBackend = RenderBackend{};
    }
    static void TearDownTestSuite() { scenes.clear(); }

    static Scene& scene(const std::string& name) { return *scenes.at(name); }

    static inline std::map<std::string, std::unique_ptr<Scene>> scenes;
    static inline std::map<std::string, bool> loaded;
};

bool inArchive(const std::string& name) {
    DataArchive archive;
    return archive.find(name.c_str()) >= 0;
}

} // namespace

TEST_F(ShowContentTest, ArchiveHoldsEveryScenePackedSmall) {
    const ShowContent& show = generatedShow();
    std::filesystem::path archivePath = generatedShowFolder() / "krv.dat";
    EXPECT_LT(std::filesystem::file_size(archivePath), 8u * 1024 * 1024);
    DataArchive archive;
    ASSERT_TRUE(archive.isOpen());
    EXPECT_EQ(archive.entryCount(), static_cast<int>(show.archived.size()));
    for (const ContentFile& f : show.archived) {
        auto bytes = archive.extract(f.name.c_str());
        ASSERT_TRUE(bytes) << f.name;
        EXPECT_EQ(*bytes, f.bytes) << f.name;
    }
    for (const char* name : kSceneNames) EXPECT_TRUE(loaded.at(name)) << name;
    // The module stays a loose file.
    EXPECT_EQ(archive.find("test.xm"), -1);
    EXPECT_TRUE(std::filesystem::exists(generatedShowFolder() / "test.xm"));
}

TEST_F(ShowContentTest, ScenesNameOnlyObjectsAndTexturesThatExist) {
    for (const auto& [name, s] : scenes) {
        for (int i = 0; i < s->objectCount; ++i) {
            const SceneObject& o = s->objects[i];
            std::string object = o.name;
            if (object == "NULL" || o.isMetaball) continue;
            std::string compact = object.substr(0, object.rfind('.')) + ".3d";
            EXPECT_TRUE(inArchive(object) || inArchive(compact)) << name << ": " << object;
            EXPECT_GT(o.mesh.pointCount, 0) << name << ": " << object;
            EXPECT_GT(o.mesh.polygonCount, 0) << name << ": " << object;
        }
    }
    // The metaball surface's texture is named by the engine, not by an object.
    requested.insert("loggo.jpg");
    EXPECT_GE(requested.size(), 10u);
    for (const std::string& texture : requested) {
        int32_t w = 0, h = 0;
        auto pixels = decodeJpeg(texture.c_str(), w, h);
        ASSERT_TRUE(pixels) << texture;
        EXPECT_GE(w, 64) << texture;
        EXPECT_EQ(w, h) << texture; // square powers of two mipmap cleanly
        EXPECT_EQ(w & (w - 1), 0) << texture;
        EXPECT_FALSE(std::filesystem::exists(texture)) << "temporary copy left: " << texture;
    }
}

TEST_F(ShowContentTest, TimelineFitsTheDriversTable) {
    const ShowContent& show = generatedShow();
    EXPECT_GT(scene("load.lws").lastFrame, 200);
    int total = scene("load.lws").lastFrame + 1;
    for (int part = 0; part < 9; ++part) {
        Scene& s = scene("walk" + std::to_string(part) + ".lws");
        int frames = s.lastFrame - s.firstFrame + 1;
        EXPECT_EQ(frames, show.partFrames[part]) << "part " << part;
        EXPECT_GE(frames * kFrameMs, 12000) << "part " << part << " is too short to be seen";
        // The driver draws one frame past the last: a camera that returns to its first key
        // or repeats after its last key must not do so yet.
        if (s.camera.motion.endBehavior != 1) {
            EXPECT_GT(s.camera.motion.lastKeyFrame, s.lastFrame + 5) << "part " << part;
        }
        total += frames;
    }
    double seconds = total * kFrameMs / 1000.0;
    EXPECT_GE(seconds, 180);
    EXPECT_LE(seconds, 240);
    // Each overlay's window lies inside its part long enough to be read.
    EXPECT_GT(scene("walk0.lws").lastFrame, 210 + 150);
    EXPECT_GE(scene("walk1.lws").lastFrame, 520);
    EXPECT_GT(scene("walk2.lws").lastFrame, 480 + 150);
    EXPECT_GT(scene("walk4.lws").lastFrame, 200 + 150);
    EXPECT_GT(scene("walk5.lws").lastFrame, 330 + 150);
}

TEST_F(ShowContentTest, OverlaysDrawWhereTheTablePutsThem) {
    generatedShow();
    renderBackend = RenderBackend{};
    fillRecordingBackend(renderBackend);
    recording.enabled = false;
    auto polygonsAt = [](Scene& s, int frame) {
        clearRecording();
        drawScene(s, static_cast<float>(frame));
        return recording.callCounts[static_cast<int>(EntryPoint::DrawPolygon)];
    };
    // Frames of each overlay as the driver draws them, some way into its window.
    const std::vector<std::pair<const char*, std::vector<int>>> shown = {
        {"text0.lws", {40, 100}},        {"text1.lws", {60, 150}},
        {"Credits.lws", {40, 200, 330}}, {"text2.lws", {60, 150}},
        {"Divozev.lws", {100, 300}},     {"text3.lws", {40, 80}},
        {"text4.lws", {40, 90}},         {"text5.lws", {60, 200}},
        {"text6.lws", {60, 180}},        {"greet.lws", {100, 300, 500, 700}},
    };
    for (const auto& [name, frames] : shown)
        for (int frame : frames)
            EXPECT_GT(polygonsAt(scene(name), frame), 0u) << name << " @ " << frame;
    // Text has gone again before the next one arrives.
    EXPECT_EQ(polygonsAt(scene("text0.lws"), 0), 0u);
    EXPECT_EQ(polygonsAt(scene("text0.lws"), 190), 0u);
    recording.enabled = true;
    renderBackend = RenderBackend{};
}

TEST_F(ShowContentTest, EveryEngineFeatureIsUsed) {
    std::set<int> falloffs, cameraEnds, lightTypes, flareTypes;
    bool limited = false, scaledStrength = false, tcb = false, keyedIntensity = false,
         lightParent = false, objectParent = false, nullObject = false, keyedDissolve = false,
         morph = false, metaballs = false, compact = false;
    std::set<std::string> polygonKinds;
    for (const auto& [name, s] : scenes) {
        cameraEnds.insert(s->camera.motion.endBehavior);
        for (const MotionKey& k : s->camera.motion.keys)
            tcb |= k.tension != 0 || k.continuity != 0 || k.bias != 0;
        bool ball = false, surface = false;
        for (int i = 0; i < s->objectCount; ++i) {
            const SceneObject& o = s->objects[i];
            if (o.boneCount) falloffs.insert(o.boneFalloffType);
            for (const Bone& b : o.bones) {
                limited |= b.limitedRange != 0;
                scaledStrength |= b.scaleStrength == 1;
            }
            objectParent |= o.parent != nullptr;
            nullObject |= std::strcmp(o.name, "NULL") == 0;
            keyedDissolve |= o.hasDissolve && o.dissolve.keyCount > 1;
            morph |= o.hasMetamorph && !o.morphDeltas.empty();
            ball |= std::strcmp(o.name, "mball.lwo") == 0;
            surface |= std::strcmp(o.name, "mcube.lwo") == 0;
            compact |= std::strcmp(o.name, "pillar.lwo") == 0 && o.mesh.pointCount > 0 &&
                       !inArchive("pillar.lwo") && inArchive("pillar.3d");
            for (int p = 0; p < o.mesh.polygonCount; ++p) {
                const MeshPolygon& poly = o.mesh.polygons[p];
                if (poly.vertexCount == 1 && (poly.flags & PolyTextured) &&
                    (poly.flags & PolySmooth))
                    polygonKinds.insert("sprite");
                if (poly.vertexCount == 2) polygonKinds.insert("line");
                const std::pair<int, const char*> bits[] = {{PolyFlat, "flat"},
                                                            {PolySmooth, "smooth"},
                                                            {PolyTextured, "textured"},
                                                            {PolyDoubleSided, "double-sided"},
                                                            {PolyTranslucent, "translucent"},
                                                            {PolyOutline, "outline"},
                                                            {PolyReflection, "reflection"}};
                for (auto [bit, kind] : bits)
                    if (poly.flags & bit) polygonKinds.insert(kind);
            }
        }
        metaballs |= ball && surface;
        for (int i = 0; i < s->lightCount; ++i) {
            const SceneLight& l = s->lights[i];
            lightTypes.insert(l.type);
            if (l.lensFlare) flareTypes.insert(l.type);
            keyedIntensity |= l.intensity.keyCount > 1;
            lightParent |= l.parent != nullptr;
        }
    }
    EXPECT_EQ(falloffs, (std::set<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(cameraEnds, (std::set<int>{0, 1, 2}));
    EXPECT_EQ(lightTypes, (std::set<int>{0, 1, 2}));
    EXPECT_EQ(flareTypes, (std::set<int>{1, 2}));
    EXPECT_TRUE(limited);
    EXPECT_TRUE(scaledStrength);
    EXPECT_TRUE(tcb);
    EXPECT_TRUE(keyedIntensity);
    EXPECT_TRUE(lightParent);
    EXPECT_TRUE(objectParent);
    EXPECT_TRUE(nullObject);
    EXPECT_TRUE(keyedDissolve);
    EXPECT_TRUE(morph);
    EXPECT_TRUE(metaballs);
    EXPECT_TRUE(compact);
    EXPECT_EQ(polygonKinds,
              (std::set<std::string>{"sprite", "line", "flat", "smooth", "textured", "double-sided",
                                     "translucent", "outline", "reflection"}));
}

TEST_F(ShowContentTest, ImageMapsOfEveryTypeOnEveryAxis) {
    std::set<std::pair<std::string, int>> maps;
    for (const ContentFile& f : generatedShow().archived) {
        if (!f.name.ends_with(".lwo")) continue;
        Mesh mesh;
        ASSERT_TRUE(readLwobObject(f.bytes.data(), f.bytes.size(), mesh)) << f.name;
        for (int p = 0; p < mesh.polygonCount; ++p) {
            const MeshPolygon& poly = mesh.polygons[p];
            if (!(poly.flags & PolyTextured)) continue;
            const Surface& slot = surfaceTable.slots[poly.surfaceSlot];
            maps.insert({slot.textureType, slot.textureAxis});
        }
    }
    for (const char* type : {"Planar Image Map", "Cylindrical Image Map", "Spherical Image Map"})
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_TRUE(maps.count({type, axis})) << type << " on axis " << axis;
}
