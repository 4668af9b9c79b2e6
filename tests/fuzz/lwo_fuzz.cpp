// Fuzz target: arbitrary bytes read as an LWOB object (no backend, so no texture is decoded).
#include <cstddef>
#include <cstdint>

#include "mesh/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0; // keeps each input's work bounded
    kestrune::Mesh mesh;
    kestrune::readLwobObject(data, size, mesh);
    return 0;
}
