// Moving an object's points into camera space and lighting them per point.
#pragma once

#include "scene/scene.h"

namespace kestrune {

// Lit colour of every point of a metaball object, whatever the lights.
constexpr int32_t kMetaballLitLevel = 127;

// Bound on one light's contribution to one colour channel. Factors grow without limit near a
// point light (1 / distance), so each term is held to this before it is converted to an integer;
// with at most kMaxSceneLights lights the sums stay within 32 bits.
constexpr int32_t kMaxLightTerm = 1 << 22;
static_assert(int64_t{kMaxLightTerm} * kMaxSceneLights < INT32_MAX);

// Writes every live point's camera position, camera normal and lit colour (0..255) from the
// object's placement, cameraTransform and the scene's lights as placeLight left them.
void transformAndLight(SceneObject& object, const Scene& scene);

} // namespace kestrune
