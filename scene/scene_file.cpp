// Finding a scene's text: a loose file in the working directory first, then the data archive.
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "archive/archive.h"
#include "scene/scene.h"

namespace kestrune {

namespace {

bool readLooseFile(const char* fileName, std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (!file) return false;
    uint8_t block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        bytes.insert(bytes.end(), block, block + got);
    // A name that opens but cannot be read (a folder) counts as absent.
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return !failed;
}

} // namespace

bool loadScene(Scene& scene, const char* fileName) {
    scene.objectCount = 0;
    scene.objects.clear();
    scene.lightCount = 0;
    scene.lights.clear();
    std::vector<uint8_t> bytes;
    if (!readLooseFile(fileName, bytes)) {
        bytes.clear();
        DataArchive archive;
        std::optional<std::vector<uint8_t>> entry = archive.extract(fileName);
        if (!entry) return false;
        bytes = std::move(*entry);
    }
    loadSceneText(scene,
                  std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return true;
}

} // namespace kestrune
