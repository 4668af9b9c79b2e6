// Moving an object's points into camera space and lighting them per point.
#pragma once

#include "scene/scene.h"

namespace kestrune {

// Lit colour of every point of a metaball object, whatever the lights.
constexpr int32_t kMetaballLitLevel = 127;

// Bound on one light's contribution to one colour channel. Factors grow without limit near a
// point light (1 / distance), so each term is held to this before it is converted to an integer
// and added; with the running total held to kMaxLitTotal neither can overflow.
constexpr int32_t kMaxLightTerm = 1 << 22;
constexpr int32_t kMaxLitTotal = 1 << 30;

// Writes every live point's camera position, camera normal and lit colour (0..255) from the
// object's placement, cameraTransform and the scene's lights as placeLight left them.
void transformAndLight(SceneObject& object, const Scene& scene);

} // namespace kestrune
