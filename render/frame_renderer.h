// Drawing one scene at one frame through the backend table: evaluation, camera, metaballs, bones,
// morphs, transform and lighting, an opaque and a translucent pass, then the flare hooks.
#pragma once

#include "scene/scene.h"

namespace kestrune {

// Evaluates the camera, every object's dissolve, morph and motion and every light's motion and
// intensity at frame, sets the camera and places the lights: the first steps of drawScene, also
// used by tools that inspect a scene without drawing it.
void evaluateScene(Scene& scene, float frame);

// True unless the object has a dissolve envelope whose current value is 0.5 or more (dissolve
// hides an object; it never fades it partly).
bool isVisible(const SceneObject& object);

// Rewrites the object's point positions and normals as restPoints + metamorph x morphDeltas.
void blendMorph(SceneObject& object);

// Gives every metaball surface object ("mcube.lwo") of the scene room for the metaball mesh, so
// that drawing allocates nothing from the first frame on. Call once after initMetaballs.
void prepareMetaballObjects(Scene& scene);

// Draws the scene at frame through renderBackend. Allocates nothing once the scene is loaded.
void drawScene(Scene& scene, float frame);

} // namespace kestrune
