// krv scene: inspecting scenes as the show reads them (dump: records and evaluated channels).
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive.h"
#include "render/frame_renderer.h"
#include "render/placement.h"
#include "tools/krv_args.h"
#include "tools/krv_commands.h"
#include "tools/krv_files.h"
#include "tools/krv_scene.h"

namespace kestrune {

namespace {

const char kDefaultArchive[] = "krv.dat";

struct SceneSubcommand {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

// One row per subcommand; each lives in its own function (and file, when it grows).
const SceneSubcommand kSceneSubcommands[] = {
    {"dump", runSceneDump, "print a scene's records and its channel values at given frames (JSON)"},
    {"calls", runSceneCallsCommand, "draw a scene at a frame, print the backend calls"},
};

void printSceneUsage(std::FILE* out) {
    std::fprintf(out, "usage: krv scene <subcommand> [arguments]\n\nsubcommands:\n");
    for (const SceneSubcommand& sub : kSceneSubcommands)
        std::fprintf(out, "  %-6s %s\n", sub.name, sub.summary);
    std::fprintf(out, "\n'krv scene <subcommand> --help' describes a subcommand.\n");
}

const char kDumpUsage[] =
    "usage: krv scene dump SCENE [--archive PATH] [--frame F]...\n"
    "\n"
    "Reads SCENE as the show does (a loose file in the working directory first, then the\n"
    "archive PATH, default krv.dat; objects likewise) and prints it as JSON: the header, every\n"
    "object with its bones, every light, and for each --frame F the evaluated channels of the\n"
    "camera, objects, bones and lights, with where each object and light stands: its world\n"
    "placement through its parents (position, scale, the parents' rotation) and its position\n"
    "in camera space (lights also the camera-space direction they shine in).\n"
    "\n"
    "Objects, bones and lights are numbered from 1 in file order, as the scene file counts them;\n"
    "a parent is such a number (a bone's within its object) or null. Motion values are the nine\n"
    "channels: position x, y, z, heading, pitch, bank (degrees), scale x, y, z. Numbers that are\n"
    "not finite are written as null.\n";

void writeVec3(JsonWriter& json, const Vec3& v) {
    const float values[3] = {v.x, v.y, v.z};
    json.floats(values, 3);
}

void writeHeader(JsonWriter& json, const char* name, const Scene& scene) {
    json.key("scene");
    json.value(name);
    json.key("firstFrame");
    json.value(scene.firstFrame);
    json.key("lastFrame");
    json.value(scene.lastFrame);
    json.key("frameStep");
    json.value(scene.frameStep);
    json.key("framesPerSecond");
    json.value(scene.framesPerSecond);
    json.key("objectCount");
    json.value(scene.objectCount);
    json.key("lightCount");
    json.value(scene.lightCount);
    json.key("camera");
    json.beginObject();
    json.key("motion");
    writeMotionSummary(json, scene.camera.motion);
    json.key("zoom");
    writeMotionSummary(json, scene.camera.zoom);
    json.endObject();
}

void writeBone(JsonWriter& json, const Bone& bone, const SceneObject& object) {
    json.beginObject();
    json.key("index");
    json.value(static_cast<int64_t>(&bone - object.bones.data()) + 1);
    json.key("parent");
    writeLink(json, bone.parent, object.bones);
    json.key("active");
    json.value(bone.active);
    json.key("restPosition");
    writeVec3(json, bone.restPosition);
    json.key("restDirection");
    writeVec3(json, bone.restDirection);
    json.key("restLength");
    json.value(bone.restLength);
    json.key("scaleStrength");
    json.value(bone.scaleStrength);
    json.key("strength");
    json.value(bone.strength);
    json.key("limitedRange");
    json.value(bone.limitedRange);
    json.key("minRange");
    json.value(bone.minRange);
    json.key("maxRange");
    json.value(bone.maxRange);
    json.key("restOrigin");
    writeVec3(json, bone.restOrigin);
    json.key("restMatrix");
    json.beginArray();
    for (const auto& row : bone.restMatrix.m) json.floats(row, 3);
    json.endArray();
    json.key("motion");
    writeMotionSummary(json, bone.motion);
    json.endObject();
}

void writeObject(JsonWriter& json, const Scene& scene, const SceneObject& object) {
    json.beginObject();
    json.key("index");
    json.value(static_cast<int64_t>(&object - scene.objects.data()) + 1);
    json.key("name");
    json.value(object.name);
    json.key("pointCount");
    json.value(object.mesh.pointCount);
    json.key("polygonCount");
    json.value(object.mesh.polygonCount);
    json.key("parent");
    writeLink(json, object.parent, scene.objects);
    json.key("pivot");
    writeVec3(json, object.pivot);
    json.key("hasDissolve");
    json.value(object.hasDissolve);
    json.key("hasMetamorph");
    json.value(object.hasMetamorph);
    json.key("hasMorphTarget");
    json.value(!object.morphDeltas.empty());
    json.key("isMetaball");
    json.value(object.isMetaball);
    json.key("boneFalloffType");
    json.value(object.boneFalloffType);
    json.key("motion");
    writeMotionSummary(json, object.motion);
    json.key("dissolve");
    writeMotionSummary(json, object.dissolve);
    json.key("metamorph");
    writeMotionSummary(json, object.metamorph);
    json.key("boneCount");
    json.value(object.boneCount);
    json.key("bones");
    json.beginArray();
    for (const Bone& bone : object.bones) writeBone(json, bone, object);
    json.endArray();
    json.endObject();
}

void writeLight(JsonWriter& json, const Scene& scene, const SceneLight& light) {
    json.beginObject();
    json.key("index");
    json.value(static_cast<int64_t>(&light - scene.lights.data()) + 1);
    json.key("type");
    json.value(light.type);
    json.key("color");
    json.ints(light.color, 3);
    json.key("lensFlare");
    json.value(light.lensFlare);
    json.key("parent");
    writeLink(json, light.parent, scene.objects);
    json.key("motion");
    writeMotionSummary(json, light.motion);
    json.key("intensity");
    writeMotionSummary(json, light.intensity);
    json.key("flareIntensity");
    writeMotionSummary(json, light.flareIntensity);
    json.endObject();
}

// Where the parent chain puts an item, as the renderer places it at this frame.
void writePlacement(JsonWriter& json, const WorldPlacement& placement) {
    json.key("world");
    json.beginObject();
    json.key("position");
    writeVec3(json, placement.position);
    json.key("scale");
    writeVec3(json, placement.scale);
    json.key("rotation");
    json.beginArray();
    for (const auto& row : placement.rotation.m) json.floats(row, 3);
    json.endArray();
    json.endObject();
}

// Evaluates what the frame renderer evaluates at frame f and writes the values. Dissolve and
// metamorph are evaluated only for objects that have them (null otherwise), as when drawing.
void writeFrame(JsonWriter& json, Scene& scene, float frame) {
    json.beginObject();
    json.key("frame");
    json.value(frame);
    // The camera, every motion the renderer uses and the lights' placement, so that parents
    // later in the file are in place too.
    evaluateScene(scene, frame);
    evaluateMotion(scene.camera.motion, frame);
    json.key("camera");
    json.beginObject();
    json.key("motion");
    writeMotionValues(json, scene.camera.motion);
    evaluateMotion(scene.camera.zoom, frame);
    json.key("zoom");
    json.value(scene.camera.zoom.values[0]);
    json.endObject();
    json.key("objects");
    json.beginArray();
    for (SceneObject& object : scene.objects) {
        json.beginObject();
        json.key("index");
        json.value(static_cast<int64_t>(&object - scene.objects.data()) + 1);
        evaluateMotion(object.motion, frame);
        json.key("motion");
        writeMotionValues(json, object.motion);
        json.key("dissolve");
        if (object.hasDissolve) {
            evaluateMotion(object.dissolve, frame);
            json.value(object.dissolve.values[0]);
        } else {
            json.null();
        }
        json.key("metamorph");
        if (object.hasMetamorph) {
            evaluateMotion(object.metamorph, frame);
            json.value(object.metamorph.values[0]);
        } else {
            json.null();
        }
        json.key("bones");
        json.beginArray();
        for (Bone& bone : object.bones) {
            evaluateMotion(bone.motion, frame);
            writeMotionValues(json, bone.motion);
        }
        json.endArray();
        const WorldPlacement placement = placeInWorld(object);
        writePlacement(json, placement);
        json.key("cameraPosition");
        writeVec3(json, toCameraSpace(placement.position));
        json.endObject();
    }
    json.endArray();
    json.key("lights");
    json.beginArray();
    for (SceneLight& light : scene.lights) {
        json.beginObject();
        json.key("index");
        json.value(static_cast<int64_t>(&light - scene.lights.data()) + 1);
        evaluateMotion(light.motion, frame);
        evaluateMotion(light.intensity, frame);
        json.key("motion");
        writeMotionValues(json, light.motion);
        json.key("intensity");
        json.value(light.intensity.values[0]);
        writePlacement(json, placeInWorld(light));
        json.key("cameraPosition");
        writeVec3(json, light.cameraPosition);
        json.key("cameraDirection");
        writeVec3(json, light.cameraDirection);
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

} // namespace

bool loadToolScene(Scene& scene, const char* name, const char* archivePath, std::string& error) {
    // The show creates a missing archive; an inspection tool must not, so a missing archive is
    // simply not consulted. A folder or a damaged archive is said to be one.
    bool haveArchive = false;
    if (!checkArchiveToRead(archivePath, haveArchive, error)) return false;
    setDefaultArchiveName(haveArchive ? archivePath : kNoArchiveName);
    if (loadScene(scene, name)) return true;
    error = std::string("scene '") + name + "' not found: no such file" +
            (haveArchive ? std::string(" and no such entry in ") + archivePath
                         : std::string(" and no archive ") + archivePath);
    return false;
}

bool parseFrame(const char* text, float& frame) {
    double value = 0;
    if (!parseNumber(text, -FLT_MAX, FLT_MAX, value)) return false;
    frame = static_cast<float>(value);
    return true;
}

void writeMotionSummary(JsonWriter& json, const Motion& motion) {
    json.beginObject();
    json.key("keys");
    json.value(motion.keyCount);
    json.key("channels");
    json.value(motion.channelCount);
    json.key("lastKeyFrame");
    json.value(motion.lastKeyFrame);
    json.key("endBehavior");
    json.value(motion.endBehavior);
    json.endObject();
}

void writeMotionValues(JsonWriter& json, const Motion& motion) {
    json.floats(motion.values, kMotionChannels);
}

int runSceneDump(int argc, char** argv) {
    ParsedArgs args;
    if (!parseArgs(argc, argv, {{"--archive", true}, {"--frame", true}}, args))
        return usageError("scene dump", args.error, kDumpUsage);
    if (args.help) return printHelp(kDumpUsage);
    if (args.positional.empty()) return usageError("scene dump", "SCENE is missing", kDumpUsage);
    if (args.positional.size() > 1)
        return usageError("scene dump", std::string("more than one SCENE: ") + args.positional[1],
                          kDumpUsage);
    const char* sceneName = args.positional[0];
    const char* archivePath = args.has("--archive") ? args.value("--archive") : kDefaultArchive;
    std::vector<float> frames;
    for (const char* text : args.values("--frame")) {
        float frame;
        if (!parseFrame(text, frame))
            return usageError("scene dump", std::string("not a frame number: ") + text, kDumpUsage);
        frames.push_back(frame);
    }

    Scene scene;
    std::string error;
    if (!loadToolScene(scene, sceneName, archivePath, error)) {
        std::fprintf(stderr, "krv scene dump: %s\n", error.c_str());
        return kExitFailure;
    }
    // An object whose file was refused is dumped empty; standard error says why.
    for (const SceneObject& object : scene.objects)
        if (const std::string_view why = object.mesh.refusal.reason; !why.empty())
            std::fprintf(stderr, "krv scene dump: object '%s' refused: %.*s\n", object.name,
                         static_cast<int>(why.size()), why.data());

    JsonWriter json(stdout);
    json.beginObject();
    writeHeader(json, sceneName, scene);
    json.key("objects");
    json.beginArray();
    for (const SceneObject& object : scene.objects) writeObject(json, scene, object);
    json.endArray();
    json.key("lights");
    json.beginArray();
    for (const SceneLight& light : scene.lights) writeLight(json, scene, light);
    json.endArray();
    json.key("frames");
    json.beginArray();
    for (float frame : frames) writeFrame(json, scene, frame);
    json.endArray();
    json.endObject();
    json.finish();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "krv scene dump: writing the output failed\n");
        return kExitFailure;
    }
    return kExitOk;
}

int runSceneCommand(int argc, char** argv) {
    if (argc < 1) {
        printSceneUsage(stderr);
        return kExitUsage;
    }
    if (!std::strcmp(argv[0], "--help") || !std::strcmp(argv[0], "-h") ||
        !std::strcmp(argv[0], "help")) {
        printSceneUsage(stdout);
        return kExitOk;
    }
    for (const SceneSubcommand& sub : kSceneSubcommands)
        if (!std::strcmp(argv[0], sub.name)) return sub.run(argc - 1, argv + 1);
    std::fprintf(stderr, "krv scene: unknown subcommand '%s' (see 'krv scene --help')\n", argv[0]);
    return kExitUsage;
}

} // namespace kestrune
