// Fuzz target: arbitrary scene text read, then drawn at several frames through the recording
// backend.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "mesh/metaballs.h"
#include "render/frame_renderer.h"
#include "render/recording/recording_backend.h"
#include "scene/scene.h"

namespace {

using namespace kestrune;

// Each object gets a small fan of polygons of one to four corners, shaped by its name, so every
// drawing path (sprites, lines, triangles, quads) sees points the scene's bones and morphs move.
void fuzzMesh(char* fileName, Mesh& mesh) {
    const size_t length = std::strlen(fileName);
    const int pointCount = int(length % 9);
    for (int i = 0; i < pointCount; ++i) {
        MeshPoint point{};
        const float seed = float(static_cast<unsigned char>(fileName[i % length]));
        point.position = {seed - 100, float(i), seed * 0.01f};
        point.normal = {0, 1, 0};
        mesh.points.push_back(point);
    }
    for (int i = 0; i + 1 < pointCount; ++i) {
        MeshPolygon polygon{};
        polygon.vertexCount = uint8_t(1 + i % 4);
        polygon.flags = uint8_t(static_cast<unsigned char>(fileName[i % length]) & 0x7f);
        for (int k = 0; k < polygon.vertexCount; ++k) {
            polygon.vertices.push_back(uint16_t((i + k) % pointCount));
            polygon.u.push_back(0);
            polygon.v.push_back(0);
        }
        mesh.polygons.push_back(polygon);
    }
    mesh.pointCount = uint16_t(mesh.points.size());
    mesh.polygonCount = uint16_t(mesh.polygons.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 32768) return 0; // scenes are small text files; keep each input's work bounded
    static const bool ready = [] {
        fillRecordingBackend(renderBackend);
        recording.enabled = false;
        initMetaballs();
        return true;
    }();
    (void)ready;
    Scene scene;
    loadSceneText(scene, std::string_view(reinterpret_cast<const char*>(data), size), fuzzMesh);
    prepareMetaballObjects(scene);
    for (float frame : {-3.5f, 0.0f, 17.25f, 1e9f}) drawScene(scene, frame);
    clearRecording();
    return 0;
}
