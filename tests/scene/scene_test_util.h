// Synthetic meshes for scene tests: an object loader that serves meshes by file name.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "scene/scene.h"

namespace kestrune::test {

// Meshes the test loader hands out, by the file name it is asked for; every request is logged.
inline std::map<std::string, Mesh>& servedMeshes() {
    static std::map<std::string, Mesh> meshes;
    return meshes;
}
inline std::vector<std::string>& requestedNames() {
    static std::vector<std::string> names;
    return names;
}

// Behaves like the object reader's fallback: rewrites the extension in the caller's buffer.
inline void serveMesh(char* fileName, Mesh& mesh) {
    requestedNames().push_back(fileName);
    auto found = servedMeshes().find(fileName);
    if (found != servedMeshes().end()) mesh = found->second;
    std::string name(fileName);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) std::snprintf(fileName + dot, 4, ".3d");
}

inline Mesh pointMesh(const std::vector<Vec3>& positions) {
    Mesh mesh;
    for (const Vec3& p : positions) {
        MeshPoint point{};
        point.position = p;
        point.normal = {0, 1, 0};
        mesh.points.push_back(point);
    }
    mesh.pointCount = static_cast<uint16_t>(positions.size());
    return mesh;
}

inline void loadText(Scene& scene, const std::string& text) {
    requestedNames().clear();
    loadSceneText(scene, text, serveMesh);
}

} // namespace kestrune::test
