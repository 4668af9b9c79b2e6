// The marching-cubes case tables. Corners of the cube whose lowest cell is (i, j, k):
// 0 (i, j+1, k+1), 1 (i+1, j+1, k+1), 2 (i+1, j+1, k), 3 (i, j+1, k), 4 (i, j, k+1),
// 5 (i+1, j, k+1), 6 (i+1, j, k), 7 (i, j, k). Edges 0..11 join corners 0-1, 1-2, 2-3, 3-0, 4-5,
// 5-6, 6-7, 7-4, 0-4, 1-5, 2-6, 3-7.
#pragma once

#include <cstdint>

namespace kestrune {

// Bit e is set when the corners of edge e lie on different sides in case n.
extern const uint16_t kCubeEdgeTable[256];

// Up to five triangles per case as edge numbers, three at a time, ended by -1.
extern const int8_t kCubeTriangleTable[256][16];

} // namespace kestrune
