// The parent-chain walk, the camera transform and light placement.
#include "render/placement.h"

#include <cmath>

namespace kestrune {

namespace {

Vec3 channelPosition(const float (&c)[kMotionChannels]) {
    return {c[0], c[1], c[2]};
}
Vec3 channelScale(const float (&c)[kMotionChannels]) {
    return {c[6], c[7], c[8]};
}
Vec3 times(Vec3 a, Vec3 b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}

} // namespace

WorldPlacement placeInWorld(const float (&channels)[kMotionChannels], const SceneObject* parent,
                            const SceneObject* self) {
    // Ancestors from the direct parent (0) up to the root (count - 1). Scene files can name any
    // object as parent, so a chain may loop or run long: it is cut at the first repeat and after
    // kMaxParentAncestors, and the last ancestor kept is then the root.
    const SceneObject* chain[kMaxParentAncestors];
    int count = 0;
    for (const SceneObject* a = parent; a && count < kMaxParentAncestors; a = a->parent) {
        bool seen = a == self;
        for (int i = 0; i < count && !seen; ++i) seen = chain[i] == a;
        if (seen) break;
        chain[count++] = a;
    }

    WorldPlacement placement;
    placement.rotation = identityMatrix();
    if (count == 0) {
        placement.position = channelPosition(channels);
        placement.scale = channelScale(channels);
        return placement;
    }
    const SceneObject& root = *chain[count - 1];
    placement.position = channelPosition(root.motion.values);
    placement.scale = channelScale(root.motion.values);
    for (int i = count - 1; i >= 0; --i) {
        const SceneObject& a = *chain[i];
        const float(&next)[kMotionChannels] = i > 0 ? chain[i - 1]->motion.values : channels;
        const float* angles = a.motion.values + 3;
        placement.rotation =
            multiply(placement.rotation, orientation(angles[0], angles[1], angles[2]));
        // Offsets are scaled before they are rotated, relative to the parent's pivot.
        Vec3 p = channelPosition(next);
        Vec3 offset = times({p.x - a.pivot.x, p.y - a.pivot.y, p.z - a.pivot.z}, placement.scale);
        Vec3 moved = transform(placement.rotation, offset);
        placement.position = {placement.position.x + moved.x, placement.position.y + moved.y,
                              placement.position.z + moved.z};
        placement.scale = times(placement.scale, channelScale(next));
    }
    return placement;
}

void setupCamera(const Motion& cameraMotion) {
    const float* c = cameraMotion.values;
    cameraTransform.rotation = orientationTranspose(c[3], c[4], c[5]);
    cameraTransform.position = {c[0], c[1], c[2]};
}

Vec3 toCameraSpace(Vec3 world) {
    const Vec3& c = cameraTransform.position;
    return transform(cameraTransform.rotation, {world.x - c.x, world.y - c.y, world.z - c.z});
}

void placeLight(SceneLight& light) {
    WorldPlacement placement = placeInWorld(light);
    light.cameraPosition = toCameraSpace(placement.position);
    // The light's local +z through its own heading and pitch, then its ancestors' rotation.
    float h = light.motion.values[3] * degreesToRadians;
    float p = light.motion.values[4] * degreesToRadians;
    Vec3 local = {std::sin(h) * std::cos(p), -std::sin(p), std::cos(h) * std::cos(p)};
    light.cameraDirection =
        transform(cameraTransform.rotation, transform(placement.rotation, local));
}

} // namespace kestrune
