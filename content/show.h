// The show's content: every scene, object, texture and the module, ready to be written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrune {

struct ContentFile {
    std::string name; // archive entry or loose file name
    std::vector<uint8_t> bytes;
};

struct ShowContent {
    std::vector<ContentFile> archived; // scenes, objects, textures for krv.dat
    ContentFile module;                // "test.xm", a loose file
    std::vector<int> partFrames;       // length of each of the nine parts in frames
};

constexpr int kFrameMs = 33;           // one animation frame of the timeline
constexpr int kLoadingLastFrame = 330; // the loading scene runs past frame 200

ShowContent buildShow();

// Writes "krv.dat" (built beside it, then moved into place) and the loose module into folder.
// False with a one-line reason when a file cannot be written.
bool writeShow(const ShowContent& show, const std::filesystem::path& folder, std::string& error);

} // namespace kestrune
