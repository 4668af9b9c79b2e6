// Placing scene items: the camera transform, the walk up an item's parent chain, and lights put
// into camera space.
#pragma once

#include "scene/scene.h"

namespace kestrune {

// The camera of the scene being drawn: q in world space is rotation x (q - position) in camera
// space. Written by setupCamera, valid until the next scene is set up.
struct CameraTransform {
    Mat3 rotation; // O(camera)^T
    Vec3 position; // world space
};

inline CameraTransform cameraTransform = {{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}, {0, 0, 0}};

// Longest parent chain that placement follows; a longer chain is cut after this many ancestors.
constexpr int kMaxParentAncestors = 25;

// Where an item's parent chain puts it: world position, scale accumulated component by component
// down the chain, and the rotation of its ancestors (not the item's own).
struct WorldPlacement {
    Vec3 position;
    Vec3 scale;
    Mat3 rotation;
};

// The chain walk for an item with the given evaluated motion channels and parent. self is the
// item itself when it is an object (so a chain looping back to it is seen), else null. Chains
// are cut after kMaxParentAncestors ancestors or at the first ancestor met twice; the last
// ancestor kept then serves as the root.
WorldPlacement placeInWorld(const float (&channels)[kMotionChannels], const SceneObject* parent,
                            const SceneObject* self);

inline WorldPlacement placeInWorld(const SceneObject& object) {
    return placeInWorld(object.motion.values, object.parent, &object);
}

inline WorldPlacement placeInWorld(const SceneLight& light) {
    return placeInWorld(light.motion.values, light.parent, nullptr);
}

// Fills cameraTransform from the camera motion's current channel values.
void setupCamera(const Motion& cameraMotion);

// World position to camera space through cameraTransform.
Vec3 toCameraSpace(Vec3 world);

// Writes the light's camera-space position and the camera-space direction it shines in (its
// local +z; heading and pitch only, bank has no effect).
void placeLight(SceneLight& light);

} // namespace kestrune
