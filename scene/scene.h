// The scene model (camera, objects with bones, lights), the scene file reader and bone deformation.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "mesh/mesh.h"
#include "scene/matrix.h"
#include "scene/motion.h"

namespace kestrune {

constexpr int kMaxSceneObjects = 256;   // objects per scene; later ones are dropped
constexpr int kMaxSceneLights = 256;    // lights per scene; later ones are dropped
constexpr int kMaxBonedObjects = 128;   // only the first 128 objects of a scene carry bones
constexpr int kMaxBonesPerObject = 128; // bones per object; later ones are dropped
constexpr int kMaxBoneAncestors = 25;   // longest chain of parent bones
constexpr int kObjectNameSize = 28;     // name field, NUL-terminated inside (27 characters)

struct SceneObject;

struct Bone {
    Motion motion;                // "BoneMotion", nine channels
    std::vector<float> weights;   // per point of the owner's mesh, normalised over the bones
    SceneObject* owner = nullptr; // set again once reading is complete (the object array moves)
    int32_t active = 0;           // "BoneActive" (stored, not consulted)
    int32_t scaleStrength = 0;    // "ScaleBoneStrength": 1 multiplies strength by restLength
    float restLength = 0;
    float strength = 0;               // after scaling by restLength when scaleStrength is 1
    float minRange = 0, maxRange = 0; // distances, used when limitedRange is 1
    Vec3 restPosition = {};           // relative to the parent bone
    Vec3 restOrigin = {};             // object space, accumulated through the parent bones
    Vec3 restDirection = {};  // heading, pitch, bank in degrees, relative to the parent bone
    uint8_t limitedRange = 0; // 1 once "BoneLimitedRange" was seen
    Mat3 restMatrix = {};     // object space into the bone's rest frame (bone along +z)
    Bone* parent = nullptr;   // a bone of the same object, or null
};

// Position and normal of target point minus base point, for morphing.
struct MorphDelta {
    Vec3 position;
    Vec3 normal;
};

struct SceneObject {
    Motion motion;                   // "ObjectMotion"
    Envelope dissolve;               // "ObjDissolve"
    Envelope metamorph;              // "Metamorph": morph amount 0..1
    char name[kObjectNameSize] = {}; // e.g. "walker.lwo", "mcube.lwo", or "NULL" for a null object
    Mesh mesh;                       // points and polygons with their counts (filled by loadObject)
    uint16_t boneCount = 0;
    uint16_t hasDissolve = 0;  // 1 once "ObjDissolve" was read
    uint16_t hasMetamorph = 0; // 1 once "Metamorph" was read
    SceneObject* parent = nullptr;
    int32_t boneFalloffType = 0; // 0..4: distance raised to the power 1, 2, 4, 8, 16
    std::vector<Bone> bones;
    std::vector<MeshPoint> restPoints; // the points as loaded, when bones or a morph target exist
    std::vector<float> weightSums;     // load-time scratch, empty once the weights are computed
    std::vector<MorphDelta>
        morphDeltas; // one per point when a morph target was prepared, else empty
    std::vector<uint16_t> unreachedPoints; // points no bone reaches: deformBones keeps them at rest
    Vec3 pivot = {};                       // "PivotPoint"
    uint8_t isMetaball = 0;                // 1 for "mcube.lwo" and "mball.lwo"
};

struct SceneLight {
    Motion motion;           // "LightMotion"
    Envelope intensity;      // "LgtIntensity"
    Envelope flareIntensity; // "FlareIntensity" (stored, not evaluated)
    int32_t color[3] = {};   // red, green, blue 0..63 (the file's 0..255 divided by 4)
    int32_t type = 0;        // 0 distant, 1 point, 2 spot
    int32_t lensFlare = 0;   // non-zero asks for a flare
    SceneObject* parent = nullptr;
    Vec3 cameraPosition = {};  // camera space, written per frame by light placement
    Vec3 cameraDirection = {}; // camera space, written per frame by light placement
};

struct SceneCamera {
    Envelope zoom; // "ZoomFactor"
    Motion motion; // "CameraMotion"
};

// One scene file. Records point into each other (parents, owners, key links), so a Scene is not
// copied; moving it keeps every pointer valid.
struct Scene {
    int32_t firstFrame = 0; // "PreviewFirstFrame"
    int32_t lastFrame = 0;  // "PreviewLastFrame"
    int32_t frameStep = 0;  // "PreviewFrameStep" (stored, not used)
    float framesPerSecond = 0;
    int32_t objectCount = 0;
    std::vector<SceneObject> objects;
    int32_t lightCount = 0;
    std::vector<SceneLight> lights;
    SceneCamera camera;

    Scene() = default;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    Scene(Scene&&) noexcept = default;
    Scene& operator=(Scene&&) noexcept = default;
};

// Fills an object's mesh from an object file name; the name buffer may be rewritten (".3d").
using ObjectLoader = void (*)(char* fileName, Mesh& mesh);

// Reads the named scene from a loose file in the working directory or else from the default data
// archive. False when neither holds it: the scene is then left with no objects and no lights.
bool loadScene(Scene& scene, const char* fileName);

// Reads a scene from its text; objects are read through loadObjectFile.
void loadSceneText(Scene& scene, std::string_view text, ObjectLoader loadObjectFile = loadObject);

// Appends an object read from path (null: a null object named "NULL"). Null when the scene
// already holds kMaxSceneObjects objects.
SceneObject* addObject(Scene& scene, const char* path, ObjectLoader loadObjectFile = loadObject);

// Appends a bone to object; null when the object already has kMaxBonesPerObject bones.
Bone* addBone(SceneObject& object);

// Appends a light; null when the scene already holds kMaxSceneLights lights.
SceneLight* addLight(Scene& scene);

// Gives base the rest copy of its points and the deltas towards target's points.
void prepareMorph(SceneObject& base, const SceneObject& target);

// Rest frames and normalised per-point weights of every bone of object; once, after loading.
void computeBoneWeights(SceneObject& object);
Mat3 boneRestMatrix(const Bone& bone);
Vec3 boneRestOrigin(const Bone& bone);

// Moves the object's points and normals to where its bones carry them at frame f, starting from
// restPoints. No allocation.
void deformBones(SceneObject& object, float frame);

} // namespace kestrune
