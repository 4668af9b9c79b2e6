// krv scene calls: draws a scene at one frame on the recording backend and prints every backend
// call as one JSON line.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "mesh/metaballs.h"
#include "render/frame_renderer.h"
#include "render/recording/recording_backend.h"
#include "tools/krv_args.h"
#include "tools/krv_commands.h"
#include "tools/krv_scene.h"

namespace kestrune {

namespace {

const char kCallsUsage[] =
    "usage: krv scene calls SCENE --frame F [--archive PATH]\n"
    "\n"
    "Reads SCENE as the show does (a loose file in the working directory first, then the\n"
    "archive PATH, default krv.dat; objects likewise), draws it at frame F as the show would,\n"
    "with a backend that only records, and prints the backend calls of that drawing in order,\n"
    "one JSON object per line:\n"
    "\n"
    "  {\"call\": \"beginScene\"}  and likewise endScene\n"
    "  {\"call\": \"setTranslucent\", \"on\": 0 or 1}\n"
    "  {\"call\": \"drawPolygon\", \"object\": N, \"polygon\": P, \"flags\": F, \"vertexCount\": "
    "V,\n"
    "   \"vertices\": [{\"point\": I, \"position\": [x, y, z], \"normal\": [x, y, z],\n"
    "   \"color\": [r, g, b]}, ...]}\n"
    "  {\"call\": \"spotFlare\" or \"pointFlare\", \"light\": L, \"position\": [x, y, z]}\n"
    "\n"
    "Objects and lights are numbered from 1 in file order, as the scene file counts them;\n"
    "polygons from 0 within their object. Positions and normals are in camera space, colours\n"
    "are the lit colours 0..255. Numbers that are not finite are written as null.\n"
    "Textures are named, not decoded.\n";

void printFloat(float value) {
    if (!std::isfinite(value)) {
        std::fputs("null", stdout);
        return;
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    std::fwrite(text, 1, static_cast<size_t>(result.ptr - text), stdout);
}

void printVec3(Vec3 v) {
    std::fputc('[', stdout);
    printFloat(v.x);
    std::fputs(", ", stdout);
    printFloat(v.y);
    std::fputs(", ", stdout);
    printFloat(v.z);
    std::fputc(']', stdout);
}

// 1-based number of the object whose mesh is object, or 0 when it is none of the scene's.
size_t objectNumber(const Scene& scene, const Mesh* object) {
    for (size_t i = 0; i < scene.objects.size(); ++i)
        if (&scene.objects[i].mesh == object) return i + 1;
    return 0;
}

size_t lightNumber(const Scene& scene, const SceneLight* light) {
    for (size_t i = 0; i < scene.lights.size(); ++i)
        if (&scene.lights[i] == light) return i + 1;
    return 0;
}

void printCall(const Scene& scene, const RecordedCall& call) {
    std::printf("{\"call\": \"%s\"", entryPointName(call.entry));
    switch (call.entry) {
    case EntryPoint::SetTranslucent:
        std::printf(", \"on\": %d", call.args[0]);
        break;
    case EntryPoint::DrawPolygon: {
        std::printf(", \"object\": %zu, \"polygon\": %d, \"flags\": %u, \"vertexCount\": %u, "
                    "\"vertices\": [",
                    objectNumber(scene, call.object), call.polygonIndex, call.flags,
                    call.vertexCount);
        bool first = true;
        for (const RecordedVertex& vertex : recordedVertices(call)) {
            std::printf("%s{\"point\": %u, \"position\": ", first ? "" : ", ", vertex.point);
            printVec3(vertex.cameraPosition);
            std::fputs(", \"normal\": ", stdout);
            printVec3(vertex.cameraNormal);
            std::printf(", \"color\": [%d, %d, %d]}", vertex.litColor[0], vertex.litColor[1],
                        vertex.litColor[2]);
            first = false;
        }
        std::fputc(']', stdout);
        break;
    }
    case EntryPoint::SpotFlare:
    case EntryPoint::PointFlare:
        std::printf(", \"light\": %zu, \"position\": ", lightNumber(scene, call.light));
        printVec3(call.lightPosition);
        break;
    default:
        break; // drawScene calls nothing else
    }
    std::fputs("}\n", stdout);
}

bool hasMetaballSurface(const Scene& scene) {
    for (const SceneObject& object : scene.objects)
        if (object.isMetaball == 1 && std::strcmp(object.name, "mcube.lwo") == 0) return true;
    return false;
}

} // namespace

int runSceneCallsCommand(int argc, char** argv) {
    ParsedArgs args;
    if (!parseArgs(argc, argv, {{"--archive", true}, {"--frame", true}}, args))
        return usageError("scene calls", args.error, kCallsUsage);
    if (args.help) return printHelp(kCallsUsage);
    if (args.positional.empty()) return usageError("scene calls", "SCENE is missing", kCallsUsage);
    if (args.positional.size() > 1)
        return usageError("scene calls", std::string("more than one SCENE: ") + args.positional[1],
                          kCallsUsage);
    if (args.values("--frame").size() > 1)
        return usageError("scene calls", "more than one --frame", kCallsUsage);
    const char* sceneName = args.positional[0];
    const char* archivePath = args.has("--archive") ? args.value("--archive") : "krv.dat";
    const char* frameText = args.value("--frame");
    if (!frameText) return usageError("scene calls", "--frame is missing", kCallsUsage);
    float frame = 0;
    if (!parseFrame(frameText, frame))
        return usageError("scene calls", std::string("not a frame number: ") + frameText,
                          kCallsUsage);

    // The table is filled before loading, so object textures get their slots through it.
    renderBackend = {};
    fillRecordingBackend(renderBackend);
    recording.enabled = true;
    Scene scene;
    std::string error;
    if (!loadToolScene(scene, sceneName, archivePath, error)) {
        std::fprintf(stderr, "krv scene calls: %s\n", error.c_str());
        return kExitFailure;
    }
    if (hasMetaballSurface(scene)) {
        initMetaballs();
        prepareMetaballObjects(scene);
    }

    clearRecording();
    drawScene(scene, frame);
    for (const RecordedCall& call : recording.calls) printCall(scene, call);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "krv scene calls: writing the output failed\n");
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace kestrune
