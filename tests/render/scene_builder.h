// Small scenes built in code for the renderer tests: constant motions, objects, lights, meshes.
#pragma once

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "scene/scene.h"

namespace kestrune::test {

// A one-key motion: every frame evaluates to these channel values.
inline void setMotion(Motion& motion, std::initializer_list<float> values) {
    allocateKeys(motion, 1);
    motion.channelCount = static_cast<int32_t>(values.size());
    std::copy(values.begin(), values.end(), motion.keys[0].values);
    std::copy(values.begin(), values.end(), motion.values);
}

// A two-key linear motion from frame 0 to frame 10.
inline void setRamp(Motion& motion, float from, float to) {
    allocateKeys(motion, 2);
    motion.channelCount = 1;
    motion.keys[0].values[0] = from;
    motion.keys[1].values[0] = to;
    motion.keys[1].frame = 10;
    motion.keys[1].linear = 1;
    motion.lastKeyFrame = 10;
    motion.endBehavior = 1;
}

struct Placement {
    Vec3 position = {0, 0, 0};
    Vec3 angles = {0, 0, 0}; // heading, pitch, bank in degrees
    Vec3 scale = {1, 1, 1};
};

inline void setPlacement(Motion& motion, const Placement& p) {
    setMotion(motion, {p.position.x, p.position.y, p.position.z, p.angles.x, p.angles.y, p.angles.z,
                       p.scale.x, p.scale.y, p.scale.z});
}

// Objects and lights are appended into vectors that must not move once parents point into them.
inline void reserveScene(Scene& scene, size_t objects = 64, size_t lights = 16) {
    scene.objects.reserve(objects);
    scene.lights.reserve(lights);
    setPlacement(scene.camera.motion, {});
}

inline SceneObject& addTestObject(Scene& scene, const char* name, const Placement& p = {}) {
    SceneObject& object = scene.objects.emplace_back();
    scene.objectCount = static_cast<int32_t>(scene.objects.size());
    std::strncpy(object.name, name, kObjectNameSize - 1);
    setPlacement(object.motion, p);
    object.isMetaball = std::strcmp(name, "mcube.lwo") == 0 || std::strcmp(name, "mball.lwo") == 0;
    return object;
}

inline SceneLight& addTestLight(Scene& scene, int type, int32_t colour, float intensity,
                                const Placement& p = {}) {
    SceneLight& light = scene.lights.emplace_back();
    scene.lightCount = static_cast<int32_t>(scene.lights.size());
    light.type = type;
    light.color[0] = light.color[1] = light.color[2] = colour;
    setMotion(light.intensity, {intensity});
    setPlacement(light.motion, p);
    return light;
}

inline void addPoint(Mesh& mesh, Vec3 position, Vec3 normal = {0, 0, -1}) {
    MeshPoint point = {};
    point.position = position;
    point.normal = normal;
    mesh.points.push_back(point);
    mesh.pointCount = static_cast<uint16_t>(mesh.points.size());
}

inline MeshPolygon& addPolygon(Mesh& mesh, std::initializer_list<uint16_t> vertices,
                               uint8_t flags = PolyFlat) {
    MeshPolygon& polygon = mesh.polygons.emplace_back();
    polygon.flags = flags;
    polygon.vertexCount = static_cast<uint8_t>(vertices.size());
    polygon.vertices.assign(vertices);
    polygon.u.assign(vertices.size(), 0.0f);
    polygon.v.assign(vertices.size(), 0.0f);
    mesh.polygonCount = static_cast<uint16_t>(mesh.polygons.size());
    return polygon;
}

} // namespace kestrune::test
