// The content writers read back through the project's own readers: objects, scenes and images,
// and the geometry rules the show relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <set>
#include <string>

#include "content/geometry.h"
#include "content/images.h"
#include "content/object_writer.h"
#include "content/scene_writer.h"
#include "mesh/mesh.h"
#include "mesh/surface.h"
#include "mesh/texture.h"
#include "render/table/render_table.h"
#include "scene/scene.h"

using namespace kestrune;

namespace {

std::vector<std::string> requestedTextures;

uint16_t recordTexture(const char* name, uint8_t) {
    requestedTextures.push_back(name);
    return static_cast<uint16_t>(requestedTextures.size());
}

struct TextureRecorder {
    TextureRecorder() {
        requestedTextures.clear();
        renderBackend.loadTexture = recordTexture;
    }
    ~TextureRecorder() { renderBackend.loadTexture = nullptr; }
};

Vec3 centroid(const Mesh& mesh, const MeshPolygon& poly) {
    Vec3 c{0, 0, 0};
    for (uint16_t v : poly.vertices) c = c + mesh.points[v].position;
    return c * (1.0f / static_cast<float>(poly.vertices.size()));
}

} // namespace

TEST(ObjectWriter, LwobSurfacesFlagsAndMapsReadBack) {
    TextureRecorder textures;
    ContentMesh m;
    ContentSurface box;
    box.name = "Box";
    box.color[0] = 255;
    box.color[1] = 128;
    box.color[2] = 0;
    box.smooth = false;
    box.outline = true;
    box.doubleSided = true;
    addBox(m, {-1, -1, -1}, {1, 1, 1}, addSurface(m, box));
    ContentSurface globe;
    globe.name = "Globe";
    globe.smooth = true;
    globe.map = MapType::Spherical;
    globe.axis = 0;
    globe.image = "Images\\globe.jpg";
    globe.reflectionImage = "Images\\env.jpg";
    globe.transparency = 0.7f;
    addSphere(m, {0, 3, 0}, 1, 8, 6, addSurface(m, globe));
    ContentSurface spark = globe;
    spark.name = "Spark";
    spark.map = MapType::Planar;
    spark.axis = 2;
    spark.reflectionImage.clear();
    spark.transparency = 0;
    addRawPolygon(m, {addPoint(m, {0, 0, 5})}, addSurface(m, spark));

    std::vector<uint8_t> bytes = writeLwob(m);
    Mesh mesh;
    ASSERT_TRUE(readLwobObject(bytes.data(), bytes.size(), mesh));
    ASSERT_EQ(mesh.pointCount, m.points.size());
    ASSERT_EQ(mesh.polygonCount, m.polygons.size());
    EXPECT_EQ(requestedTextures, (std::vector<std::string>{"globe.jpg", "env.jpg", "globe.jpg"}));

    for (size_t i = 0; i < 6; ++i) {
        const MeshPolygon& p = mesh.polygons[i];
        EXPECT_EQ(p.flags, PolyFlat | PolyOutline | PolyDoubleSided);
        EXPECT_EQ(p.color[0], 127);
        EXPECT_EQ(p.color[1], 64);
        EXPECT_EQ(p.color[2], 0);
        // The reader's normal faces out of the box.
        EXPECT_GT(dot(p.normal, centroid(mesh, p)), 0.5f) << "face " << i;
    }
    const MeshPolygon& sphereFace = mesh.polygons[6];
    EXPECT_EQ(sphereFace.flags, PolyTextured | PolySmooth | PolyTranslucent | PolyReflection);
    EXPECT_GT(dot(sphereFace.normal, centroid(mesh, sphereFace) - Vec3{0, 3, 0}), 0);
    const Surface& slot = surfaceTable.slots[sphereFace.surfaceSlot];
    EXPECT_STREQ(slot.textureType, "Spherical Image Map");
    EXPECT_EQ(slot.textureAxis, TextureAxisX);
    const MeshPolygon& sprite = mesh.polygons.back();
    EXPECT_EQ(sprite.vertexCount, 1);
    EXPECT_EQ(sprite.flags, PolyTextured | PolySmooth);
    EXPECT_EQ(surfaceTable.slots[sprite.surfaceSlot].textureAxis, TextureAxisZ);
}

TEST(ObjectWriter, RefusesObjectsTheReaderCannotHold) {
    ContentMesh m;
    uint16_t s = addSurface(m, ContentSurface{});
    for (int k = 0; k < 1200; ++k) addBox(m, {0, 0, k * 1.0f}, {1, 1, k + 1.0f}, s);
    EXPECT_THROW(writeLwob(m), std::runtime_error); // over 65,535 bytes
    ContentMesh empty;
    EXPECT_THROW(writeLwob(empty), std::runtime_error); // no surface
}

TEST(ObjectWriter, CompactObjectReadsBack) {
    TextureRecorder textures;
    CompactObject o;
    o.surfaces.push_back({2 | 4, {1, 1, 1}, "circuit"});
    o.surfaces.push_back({1 | 8 | 32, {1.0f, 0.5f, 2.5f}, ""});
    o.points = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
    o.polygons.push_back({{0, 1, 2, 3}, {0, 0, 1, 1}, {1, 0.25f, 0, 1}, 1});
    o.polygons.push_back({{3, 2, 1, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, 2});
    std::vector<uint8_t> bytes = writeCompactObject(o);
    Mesh mesh;
    ASSERT_TRUE(readCompactObject(bytes.data(), bytes.size(), mesh));
    ASSERT_EQ(mesh.polygonCount, 2);
    EXPECT_EQ(requestedTextures, std::vector<std::string>{"circuit.jpg"});
    const MeshPolygon& a = mesh.polygons[0];
    EXPECT_EQ(a.flags, PolyTextured | PolySmooth);
    EXPECT_FLOAT_EQ(a.v[1], 0.75f);
    EXPECT_FLOAT_EQ(a.u[2], 1.0f);
    // Clockwise seen from -z: the normal faces the viewer there.
    EXPECT_LT(a.normal.z, -0.99f);
    const MeshPolygon& b = mesh.polygons[1];
    EXPECT_EQ(b.flags, PolyFlat | PolyDoubleSided | PolyOutline);
    EXPECT_EQ(b.color[0], 128);
    EXPECT_EQ(b.color[1], 64);
    EXPECT_EQ(b.color[2], 255);
}

TEST(SceneWriter, ReadsBackThroughTheSceneReader) {
    SceneDraft draft;
    draft.firstFrame = 10;
    draft.lastFrame = 250;
    ObjectDraft null;
    null.motion = stillMotion({1, 2, 3}, {90, 0, 0});
    draft.objects.push_back(null);
    ObjectDraft child;
    child.path = "Objects\\thing.lwo";
    child.parent = 1;
    child.pivot = Vec3{0.5f, 0, 0};
    child.motion.endBehavior = 2;
    SceneKey k0 = motionKey(0, {0, 0, 0});
    SceneKey k1 = motionKey(40, {4, 0, 0}, {180, 0, 0});
    k1.tension = 0.5f;
    k1.continuity = -0.25f;
    k1.bias = 0.125f;
    k1.linear = 1;
    child.motion.keys = {k0, k1};
    child.dissolve = keyedEnvelope({{0, 1}, {20, 0}}, 1, true);
    child.metamorph = constantEnvelope(0.25f);
    child.morphTarget = 3;
    child.boneFalloffType = 3;
    BoneDraft bone;
    bone.name = "Root";
    bone.restPosition = {0, 1, 0};
    bone.restDirection = {0, 90, 0};
    bone.restLength = 2;
    bone.limitedRange = true;
    bone.minRange = 0.5f;
    bone.maxRange = 1.5f;
    bone.motion = stillMotion({0, 1, 0}, {0, 90, 0});
    BoneDraft tip = bone;
    tip.name = "Tip";
    tip.parent = 1;
    tip.limitedRange = false;
    tip.scaleStrength = 1;
    tip.strength = 2;
    child.bones = {bone, tip};
    draft.objects.push_back(child);
    ObjectDraft target;
    target.path = "thing";
    target.motion = stillMotion({0, 0, 0});
    draft.objects.push_back(target);
    LightDraft light;
    light.type = 2;
    light.lensFlare = 1;
    light.color[0] = 255;
    light.color[1] = 128;
    light.color[2] = 3;
    light.parent = 2;
    light.motion = stillMotion({0, 5, 0});
    light.intensity = keyedEnvelope({{0, 0}, {30, 2}}, 2);
    light.flareIntensity = constantEnvelope(0.5f);
    draft.lights.push_back(light);
    draft.camera = {9, {motionKey(0, {0, 0, -5}), motionKey(100, {0, 0, 5})}, 0};

    std::string text = writeSceneText(draft);
    Scene scene;
    loadSceneText(scene, text, [](char*, Mesh&) {});
    EXPECT_EQ(scene.firstFrame, 10);
    EXPECT_EQ(scene.lastFrame, 250);
    ASSERT_EQ(scene.objectCount, 3);
    ASSERT_EQ(scene.lightCount, 1);
    EXPECT_STREQ(scene.objects[0].name, "NULL");
    SceneObject& o = scene.objects[1];
    EXPECT_STREQ(o.name, "thing.lwo");
    EXPECT_EQ(o.parent, &scene.objects[0]);
    EXPECT_FLOAT_EQ(o.pivot.x, 0.5f);
    EXPECT_EQ(o.motion.endBehavior, 2);
    ASSERT_EQ(o.motion.keyCount, 2);
    EXPECT_FLOAT_EQ(o.motion.keys[1].tension, 0.5f);
    EXPECT_FLOAT_EQ(o.motion.keys[1].continuity, -0.25f);
    EXPECT_FLOAT_EQ(o.motion.keys[1].bias, 0.125f);
    EXPECT_EQ(o.motion.keys[1].linear, 1);
    evaluateMotion(o.motion, 20);
    EXPECT_FLOAT_EQ(o.motion.values[0], 2); // linear halfway
    EXPECT_EQ(o.hasDissolve, 1);
    EXPECT_EQ(o.dissolve.keyCount, 2);
    EXPECT_EQ(o.hasMetamorph, 1);
    EXPECT_FLOAT_EQ(o.metamorph.keys[0].values[0], 0.25f);
    EXPECT_EQ(o.boneFalloffType, 3);
    ASSERT_EQ(o.boneCount, 2);
    EXPECT_EQ(o.bones[0].limitedRange, 1);
    EXPECT_FLOAT_EQ(o.bones[0].maxRange, 1.5f);
    EXPECT_FLOAT_EQ(o.bones[0].restDirection.y, 90);
    EXPECT_EQ(o.bones[1].parent, &o.bones[0]);
    EXPECT_EQ(o.bones[1].scaleStrength, 1);
    EXPECT_FLOAT_EQ(o.bones[1].strength, 4); // scaled by the rest length
    const SceneLight& l = scene.lights[0];
    EXPECT_EQ(l.type, 2);
    EXPECT_EQ(l.lensFlare, 1);
    EXPECT_EQ(l.color[0], 63);
    EXPECT_EQ(l.color[1], 32);
    EXPECT_EQ(l.color[2], 0);
    EXPECT_EQ(l.parent, &scene.objects[1]);
    EXPECT_EQ(l.intensity.keyCount, 2);
    EXPECT_EQ(l.intensity.endBehavior, 2);
    EXPECT_EQ(scene.camera.motion.keyCount, 2);
    EXPECT_EQ(scene.camera.motion.endBehavior, 0);
}

TEST(SceneWriter, RefusesMotionsTheReaderCannotEvaluate) {
    SceneDraft draft;
    draft.camera.keys = {motionKey(10, {0, 0, 0}), motionKey(10, {1, 0, 0})};
    EXPECT_THROW(writeSceneText(draft), std::runtime_error); // equal key frames
    draft.camera.keys.clear();
    EXPECT_THROW(writeSceneText(draft), std::runtime_error); // no key
    draft.camera = {9, {motionKey(0, {0, 0, 0})}, 2};
    EXPECT_THROW(writeSceneText(draft), std::runtime_error); // repeat of a zero-length motion
}

TEST(Images, JpegDecodesToTheSamePicture) {
    const float red[3] = {1, 0, 0}, blue[3] = {0, 0, 1};
    Image image = makeChecker(64, 2, red, blue);
    std::vector<uint8_t> bytes = encodeJpeg(image, 95);
    ASSERT_GT(bytes.size(), 100u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    // Baseline: a start-of-frame 0 marker, no progressive one.
    auto hasMarker = [&bytes](uint8_t marker) {
        for (size_t i = 0; i + 1 < bytes.size(); ++i)
            if (bytes[i] == 0xFF && bytes[i + 1] == marker) return true;
        return false;
    };
    EXPECT_TRUE(hasMarker(0xC0));
    EXPECT_FALSE(hasMarker(0xC2));
    int32_t w = 0, h = 0;
    auto pixels = decodeJpegBytes(bytes.data(), bytes.size(), w, h);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 64);
    // Rows come back bottom-up: decoded row 63 is the picture's top row.
    for (int y : {8, 40})
        for (int x : {8, 40}) {
            const uint8_t* src = &image.pixels[(y * 64 + x) * 3];
            const uint8_t* got = &(*pixels)[((63 - y) * 64 + x) * 3];
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], src[c], 24) << x << "," << y;
        }
}

TEST(Geometry, FacesTurnOutwardAndTheFigureIsFullyBoned) {
    ContentMesh torus;
    addTorus(torus, 2, 0.5f, 12, 8, addSurface(torus, ContentSurface{}), 1);
    for (const ContentPolygon& p : torus.polygons) {
        Vec3 c = (torus.points[p.vertices[0]] + torus.points[p.vertices[2]]) * 0.5f;
        Vec3 ring = normalized(Vec3{c.x, 0, c.z}) * 2;
        EXPECT_GT(dot(faceNormal(torus, p.vertices), c - ring), 0);
    }
    // Every point of the figure lies within reach of a bone; one that none reaches would have
    // no weights at all.
    ContentMesh figure = makeFigure(ContentSurface{}, ContentSurface{});
    const auto& bones = figureBones();
    std::vector<Vec3> origin(bones.size()), direction(bones.size());
    for (size_t i = 0; i < bones.size(); ++i) {
        const FigureBone& b = bones[i];
        // Every chain continues its parent's line, so directions come from the root.
        int root = static_cast<int>(i);
        while (bones[root].parent >= 0) root = bones[root].parent;
        float pitch = bones[root].restDirection.y * std::numbers::pi_v<float> / 180;
        direction[i] = {0, -std::sin(pitch), std::cos(pitch)};
        origin[i] = b.parent < 0 ? b.restPosition
                                 : origin[b.parent] + direction[i] * bones[b.parent].restLength;
    }
    for (Vec3 p : figure.points) {
        bool reached = false;
        for (size_t i = 0; i < bones.size(); ++i) {
            float along = std::clamp(dot(p - origin[i], direction[i]), 0.0f, bones[i].restLength);
            Vec3 nearest = origin[i] + direction[i] * along;
            Vec3 d = p - nearest;
            if (std::sqrt(dot(d, d)) <= bones[i].range) reached = true;
        }
        EXPECT_TRUE(reached) << p.x << " " << p.y << " " << p.z;
    }
}
