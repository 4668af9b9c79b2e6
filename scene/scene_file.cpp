// Finding a scene's text: a loose file in the working directory first, then the data archive.
#include <optional>
#include <string_view>
#include <vector>

#include "archive/content_file.h"
#include "scene/scene.h"

namespace kestrune {

bool loadScene(Scene& scene, const char* fileName) {
    scene.objectCount = 0;
    scene.objects.clear();
    scene.lightCount = 0;
    scene.lights.clear();
    auto bytes = readContentFile(fileName);
    if (!bytes) return false;
    loadSceneText(scene,
                  std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    return true;
}

} // namespace kestrune
