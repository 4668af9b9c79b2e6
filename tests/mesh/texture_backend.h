// A test backend whose loadTexture is the shared contract with an upload that only records.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "mesh/texture.h"
#include "render/table/render_table.h"

namespace kestrune::test {

struct Upload {
    uint16_t index;
    int32_t width, height;
    uint8_t mipmap;
    std::vector<uint8_t> pixels;
};

inline std::vector<Upload> uploads;
inline std::vector<std::string> textureRequests; // every loadTexture call, in order

inline void recordUpload(uint16_t index, TextureSlot& slot, const uint8_t* pixels, uint8_t mipmap) {
    uploads.push_back(
        {index, slot.width, slot.height, mipmap,
         std::vector<uint8_t>(pixels, pixels + size_t(slot.width) * slot.height * 3)});
}

inline uint16_t recordingLoadTexture(const char* name, uint8_t mipmap) {
    textureRequests.push_back(name);
    return loadTextureShared(name, mipmap, recordUpload);
}

// Empties the texture table and installs (or removes) the recording loadTexture.
inline void useTextureBackend(bool on) {
    std::memset(&textureTable, 0, sizeof textureTable);
    uploads.clear();
    textureRequests.clear();
    renderBackend.loadTexture = on ? recordingLoadTexture : nullptr;
}

} // namespace kestrune::test
