// Fuzz target: the scene reader on arbitrary text, then evaluating and deforming what it built.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "scene/scene.h"

namespace {

// Every object name gets a small mesh derived from the name, so bones and morphs have points.
void fuzzMesh(char* fileName, kestrune::Mesh& mesh) {
    const size_t length = std::strlen(fileName);
    const int count = static_cast<int>(length % 7);
    for (int i = 0; i < count; ++i) {
        kestrune::MeshPoint point{};
        const float seed = static_cast<float>(static_cast<unsigned char>(fileName[i % length]));
        point.position = {seed - 100, static_cast<float>(i), seed * 0.01f};
        point.normal = {0, 1, 0};
        mesh.points.push_back(point);
    }
    mesh.pointCount = static_cast<uint16_t>(count);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Bounded work per input: scenes are small text files.
    if (size > 32768) return 0;
    kestrune::Scene scene;
    kestrune::loadSceneText(scene, std::string_view(reinterpret_cast<const char*>(data), size),
                            fuzzMesh);
    for (float frame : {-3.5f, 0.0f, 17.25f, 1e9f}) {
        kestrune::evaluateMotion(scene.camera.motion, frame);
        kestrune::evaluateMotion(scene.camera.zoom, frame);
        for (kestrune::SceneObject& object : scene.objects) {
            kestrune::evaluateMotion(object.motion, frame);
            kestrune::evaluateMotion(object.dissolve, frame);
            kestrune::evaluateMotion(object.metamorph, frame);
            kestrune::deformBones(object, frame);
        }
        for (kestrune::SceneLight& light : scene.lights) {
            kestrune::evaluateMotion(light.motion, frame);
            kestrune::evaluateMotion(light.intensity, frame);
        }
    }
    return 0;
}
