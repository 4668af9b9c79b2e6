// Writes authoring meshes as LWOB object files and as compact ".3d" object files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "content/geometry.h"

namespace kestrune {

// The object reader holds file lengths in 16 bits.
constexpr size_t kMaxObjectFileSize = 65535;

// The LWOB bytes of mesh: PNTS, SRFS, POLS and one SURF chunk per surface. Throws when the
// file would exceed kMaxObjectFileSize or a polygon names more than 255 points.
std::vector<uint8_t> writeLwob(const ContentMesh& mesh);

// One compact object surface; colours are 1.0 for full (the reader scales by 128).
struct CompactSurface {
    uint8_t flags = 1; // 1 flat, 2 textured, 4 smooth, 8 double-sided, 16 translucent, 32 outline
    float color[3] = {1, 1, 1};
    std::string texture; // base name without ".jpg", used when flags & 2
};

struct CompactPolygon {
    std::vector<uint16_t> vertices;
    std::vector<float> u, w; // per corner; the reader's v is 1 - w
    int16_t surface = 1;     // 1-based
};

struct CompactObject {
    std::vector<CompactSurface> surfaces;
    std::vector<Vec3> points;
    std::vector<CompactPolygon> polygons;
};

std::vector<uint8_t> writeCompactObject(const CompactObject& object);

} // namespace kestrune
