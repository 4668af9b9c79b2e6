// The texture table lookup, the loadTexture contract every backend shares, and resampling.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "mesh/texture.h"

namespace kestrune {

int findTexture(const char* name) {
    // The same name is often asked for many times in a row (every metaball polygon asks for its
    // texture): the slot found last is tried first. Names are unique in the table, since a
    // slot is only added for a name not found, so it is the slot the search would find.
    static int lastFound = -1;
    const int count = std::min(textureTable.count, kTextureSlotCount);
    if (lastFound >= 0 && lastFound < count &&
        std::strcmp(textureTable.slots[lastFound].name, name) == 0)
        return lastFound;
    for (int i = 0; i < count; ++i)
        if (std::strcmp(textureTable.slots[i].name, name) == 0) return lastFound = i;
    return -1;
}

uint16_t requestTexture(const char* name, uint8_t mipmap) {
    if (!renderBackend.loadTexture) return 0;
    return renderBackend.loadTexture(name, mipmap);
}

uint16_t loadTextureShared(const char* name, uint8_t mipmap, TextureUploadFn upload) {
    const int found = findTexture(name);
    if (found >= 0) return static_cast<uint16_t>(found);
    // The table has 500 slots and 40-character name fields; a texture past either bound is
    // refused with slot 0 rather than written past the table.
    if (textureTable.count >= kTextureSlotCount || std::strlen(name) >= kTextureNameSize) return 0;

    const int index = textureTable.count++;
    TextureSlot& slot = textureTable.slots[index];
    slot.bitsPerPixel = 24;
    if (!decodeTextureAhead(static_cast<uint16_t>(index), name, mipmap, upload)) {
        auto pixels = decodeJpeg(name, slot.width, slot.height);
        uploadDecoded(static_cast<uint16_t>(index), slot, std::move(pixels), mipmap, upload);
    }
    std::snprintf(slot.name, sizeof slot.name, "%s", name);
    return static_cast<uint16_t>(index);
}

void uploadDecoded(uint16_t index, TextureSlot& slot, std::optional<std::vector<uint8_t>> pixels,
                   uint8_t mipmap, TextureUploadFn upload) {
    if (!pixels) {
        // Found nowhere or not decodable: a small white image keeps the slot safe to draw.
        slot.width = kMissingTextureSize;
        slot.height = kMissingTextureSize;
        pixels.emplace(size_t{kMissingTextureSize} * kMissingTextureSize * 3, uint8_t{255});
    }
    if (upload) upload(index, slot, pixels->data(), mipmap);
}

void resampleImage(const uint8_t* source, uint8_t* destination, int32_t sourceWidth,
                   int32_t sourceHeight, int32_t destinationWidth, int32_t destinationHeight) {
    // Empty or negative sizes have nothing to fill and would divide by zero.
    if (destinationWidth <= 0 || destinationHeight <= 0) return;
    if (sourceWidth < 0) sourceWidth = 0;
    if (sourceHeight < 0) sourceHeight = 0;
    // 16.16 steps; 64-bit products so that large images do not wrap.
    const int64_t stepX = (int64_t{sourceWidth} * 65536) / destinationWidth;
    const int64_t stepY = (int64_t{sourceHeight} * 65536) / destinationHeight;
    const int64_t spanX = stepX / 65536;
    const int64_t spanY = stepY / 65536;
    for (int64_t y = 0; y < destinationHeight; ++y) {
        const int64_t y0 = (y * stepY) / 65536;
        int64_t y1 = y0 + spanY;
        if (y1 > sourceHeight - 1) y1 = sourceHeight - 1;
        for (int64_t x = 0; x < destinationWidth; ++x) {
            const int64_t x0 = (x * stepX) / 65536;
            int64_t x1 = x0 + spanX;
            if (x1 > sourceWidth - 1) x1 = sourceWidth - 1;
            uint64_t sum[3] = {0, 0, 0};
            uint64_t samples = 0;
            for (int64_t sy = y0; sy <= y1; ++sy) {
                const uint8_t* row = source + (sy * sourceWidth + x0) * 3;
                for (int64_t sx = x0; sx <= x1; ++sx, row += 3) {
                    sum[0] += row[0];
                    sum[1] += row[1];
                    sum[2] += row[2];
                    ++samples;
                }
            }
            uint8_t* out = destination + (y * destinationWidth + x) * 3;
            for (int c = 0; c < 3; ++c)
                out[c] = samples ? static_cast<uint8_t>(sum[c] / samples) : uint8_t{0};
        }
    }
}

} // namespace kestrune
