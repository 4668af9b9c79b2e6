// The show's twenty scenes: the loading scene, the nine parts and the overlays that the
// driver's table draws over them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "content/scene_writer.h"

namespace kestrune {

// Every scene file by name; partFrames gives each part's length in frames.
std::vector<std::pair<std::string, SceneDraft>> showScenes(const std::vector<int>& partFrames);

} // namespace kestrune
