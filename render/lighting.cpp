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

// trunc(colour x factor) toward zero, held to +-kMaxLightTerm; NaN (a NaN intensity) adds 0.
int32_t lightTerm(int32_t colour, float factor) {
    float x = static_cast<float>(colour) * factor;
    if (x < kMaxTermF && x > -kMaxTermF) return static_cast<int32_t>(x);
    if (x >= kMaxTermF) return kMaxLightTerm;
    if (x <= -kMaxTermF) return -kMaxLightTerm;
    return 0;
}

void addLight(MeshPoint& point, const int32_t (&colour)[3], float factor) {
    for (int c = 0; c < 3; ++c) {
        int32_t total = point.litColor[c] + lightTerm(colour[c], factor);
        point.litColor[c] = std::clamp(total, -kMaxLitTotal, kMaxLitTotal);
    }
}

void lightDistant(const SceneLight& light, float intensity, MeshPoint* points, int count) {
    const Vec3 d = light.cameraDirection;
    for (int i = 0; i < count; ++i) {
        MeshPoint& point = points[i];
        float facing = 1.0f - dot(d, point.cameraNormal);
        if (facing >= 0.0f) addLight(point, light.color, facing * intensity);
    }
}

void lightPoint(const SceneLight& light, float intensity, MeshPoint* points, int count) {
    const Vec3 pc = light.cameraPosition;
    for (int i = 0; i < count; ++i) {
        MeshPoint& point = points[i];
        Vec3 l = {pc.x - point.cameraPosition.x, pc.y - point.cameraPosition.y,
                  pc.z - point.cameraPosition.z};
        float dist = std::sqrt(dot(l, l));
        // A point exactly at the light has no direction to it: it receives nothing.
        if (!(dist > 0.0f)) continue;
        Vec3 lHat = {l.x / dist, l.y / dist, l.z / dist};
        float cosine = dot(lHat, point.cameraNormal);
        if (cosine > 0.0f) addLight(point, light.color, cosine * intensity / dist);
    }
}

void lightSpot(const SceneLight& light, float intensity, MeshPoint* points, int count) {
    const Vec3 pc = light.cameraPosition;
    const Vec3 axis = {-light.cameraDirection.x, -light.cameraDirection.y,
                       -light.cameraDirection.z};
    for (int i = 0; i < count; ++i) {
        MeshPoint& point = points[i];
        Vec3 l = {pc.x - point.cameraPosition.x, pc.y - point.cameraPosition.y,
                  pc.z - point.cameraPosition.z};
        float dist = std::sqrt(dot(l, l));
        if (!(dist > 0.0f)) continue; // as for point lights
        Vec3 lHat = {l.x / dist, l.y / dist, l.z / dist};
        float cone = 1.0f - (dot(lHat, axis) - kCos15) * kSpotSlope;
        // The surface term uses the spot axis, not the direction to the point.
        float facing = dot(axis, point.cameraNormal);
        if (cone > 0.0f && facing > 0.0f)
            addLight(point, light.color, cone * intensity * (facing + 0.5f));
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

    const int lightCount =
        static_cast<int>(std::min<size_t>(std::max(scene.lightCount, 0), scene.lights.size()));
    for (int j = 0; j < lightCount; ++j) {
        const SceneLight& light = scene.lights[j];
        const float intensity = light.intensity.values[0];
        switch (light.type) {
        case 0:
            lightDistant(light, intensity, points, count);
            break;
        case 1:
            lightPoint(light, intensity, points, count);
            break;
        case 2:
            lightSpot(light, intensity, points, count);
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
