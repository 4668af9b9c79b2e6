// Fuzz target: arbitrary bytes read as a compact ".3d" object.
#include <cstddef>
#include <cstdint>

#include "mesh/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0; // keeps each input's work bounded
    kestrune::Mesh mesh;
    kestrune::readCompactObject(data, size, mesh);
    return 0;
}
