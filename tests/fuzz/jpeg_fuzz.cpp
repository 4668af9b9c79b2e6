// Fuzz target: arbitrary bytes decoded as a JPEG image.
#include <cstddef>
#include <cstdint>

#include "mesh/texture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Small inputs and images keep each run short, even for many-scan progressive files.
    if (size > (1u << 16)) return 0;
    int32_t width = 0;
    int32_t height = 0;
    auto pixels = kestrune::decodeJpegBytes(data, size, width, height, 256 * 256);
    if (pixels && pixels->size() != size_t(width) * size_t(height) * 3) __builtin_trap();
    return 0;
}
