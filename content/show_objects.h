// The show's textures and objects: procedural images, shapes, the walker, letters of the font.
#pragma once

#include <vector>

#include "content/show.h"

namespace kestrune {

// Every JPEG texture and object file the scenes name, in archive order.
std::vector<ContentFile> showTexturesAndObjects();

} // namespace kestrune
