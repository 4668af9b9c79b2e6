// Camera-space transform and per-point lighting by distant, point and spot lights.
#include "render/lighting.h"

#include <algorithm>
#include <cmath>

#include "render/placement.h"

namespace kestrune {

namespace {

constexpr float kCos15 = 0.9659258f;      // spot cone: factor 1 at 15 degrees from the axis
constexpr float kSpotSlope = -3.0191052f; // cone factor 0 at about 50.6 degrees
constexpr float kMaxTermF = static_cast<float>(kMaxLightTerm);

float dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Adds trunc(colour x factor) toward zero to each channel, the term held to +-kMaxLightTerm and a
// NaN term (a NaN intensity) counted as 0. Written without branches: a failed light condition
// passes factor 0, which adds nothing.
void addLight(MeshPoint& point, const float (&colour)[3], float factor) {
    for (int c = 0; c < 3; ++c) {
        float x = colour[c] * factor;
        x = x == x ? x : 0.0f;
        x = std::min(std::max(x, -kMaxTermF), kMaxTermF);
        point.litColor[c] += static_cast<int32_t>(x);
    }
}

void lightDistant(const SceneLight& light, const float (&colour)[3], float intensity,
                  MeshPoint* points, int count) {
    const Vec3 d = light.cameraDirection;
    for (int i = 0; i < count; ++i) {
        MeshPoint& point = points[i];
        float facing = 1.0f - dot(d, point.cameraNormal);
        addLight(point, colour, facing >= 0.0f ? facing * intensity : 0.0f);
    }
}

void lightPoint(const SceneLight& light, const float (&colour)[3], float intensity,
                MeshPoint* points, int count) {
    const Vec3 pc = light.cameraPosition;
    for (int i = 0; i < count; ++i) {
        MeshPoint& point = points[i];
        Vec3 l = {pc.x - point.cameraPosition.x, pc.y - point.cameraPosition.y,
                  pc.z - point.cameraPosition.z};
        float dist = std::sqrt(dot(l, l));
        // A point exactly at the light has no direction to it: it receives nothing.
        bool apart = dist > 0.0f;
        float d = apart ? dist : 1.0f;
        Vec3 lHat = {l.x / d, l.y / d, l.z / d};
        float cosine = dot(lHat, point.cameraNormal);
        addLight(point, colour, apart && cosine > 0.0f ? cosine * intensity / d : 0.0f);
    }
}

void lightSpot(const SceneLight& light, const float (&colour)[3], float intensity,
               MeshPoint* points, int count) {
    const Vec3 pc = light.cameraPosition;
    const Vec3 axis = {-light.cameraDirection.x, -light.cameraDirection.y,
                       -light.cameraDirection.z};
    for (int i = 0; i < count; ++i) {
        MeshPoint& point = points[i];
        Vec3 l = {pc.x - point.cameraPosition.x, pc.y - point.cameraPosition.y,
                  pc.z - point.cameraPosition.z};
        float dist = std::sqrt(dot(l, l));
        bool apart = dist > 0.0f; // as for point lights
        float d = apart ? dist : 1.0f;
        Vec3 lHat = {l.x / d, l.y / d, l.z / d};
        float cone = 1.0f - (dot(lHat, axis) - kCos15) * kSpotSlope;
        // The surface term uses the spot axis, not the direction to the point.
        float facing = dot(axis, point.cameraNormal);
        addLight(point, colour,
                 apart && cone > 0.0f && facing > 0.0f ? cone * intensity * (facing + 0.5f) : 0.0f);
    }
}

} // namespace

void transformAndLight(SceneObject& object, const Scene& scene) {
    Mesh& mesh = object.mesh;
    const int count = static_cast<int>(std::min<size_t>(mesh.pointCount, mesh.points.size()));
    MeshPoint* points = mesh.points.data();

    WorldPlacement placement = placeInWorld(object);
    const float* angles = object.motion.values + 3;
    Mat3 r = multiply(placement.rotation, orientation(angles[0], angles[1], angles[2]));
    const Mat3 t = multiply(cameraTransform.rotation, r);
    const Vec3 k = toCameraSpace(placement.position);
    const Vec3 s = placement.scale;
    const Vec3 pivot = object.pivot;

    for (int i = 0; i < count; ++i) {
        MeshPoint& point = points[i];
        Vec3 local = {(point.position.x - pivot.x) * s.x, (point.position.y - pivot.y) * s.y,
                      (point.position.z - pivot.z) * s.z};
        Vec3 moved = transform(t, local);
        point.cameraPosition = {moved.x + k.x, moved.y + k.y, moved.z + k.z};
        point.cameraNormal = transform(t, point.normal);
        point.litColor[0] = point.litColor[1] = point.litColor[2] = 0;
    }

    if (object.isMetaball == 1) {
        for (int i = 0; i < count; ++i)
            points[i].litColor[0] = points[i].litColor[1] = points[i].litColor[2] =
                kMetaballLitLevel;
        return;
    }

    // At most kMaxSceneLights lights (all a scene file can hold) keep the sums within 32 bits.
    const int lightCount = static_cast<int>(
        std::min<size_t>({static_cast<size_t>(std::max(scene.lightCount, 0)), scene.lights.size(),
                          static_cast<size_t>(kMaxSceneLights)}));
    for (int j = 0; j < lightCount; ++j) {
        const SceneLight& light = scene.lights[j];
        const float intensity = light.intensity.values[0];
        const float colour[3] = {static_cast<float>(light.color[0]),
                                 static_cast<float>(light.color[1]),
                                 static_cast<float>(light.color[2])};
        switch (light.type) {
        case 0:
            lightDistant(light, colour, intensity, points, count);
            break;
        case 1:
            lightPoint(light, colour, intensity, points, count);
            break;
        case 2:
            lightSpot(light, colour, intensity, points, count);
            break;
        default:
            break; // other types add nothing
        }
    }

    // Negative totals (negative colours or intensities) are clamped to 0 as well as above to 255.
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < 3; ++c)
            points[i].litColor[c] = std::clamp(points[i].litColor[c], 0, 255);
}

} // namespace kestrune
