// The compact ".3d" object reader: surfaces, points and polygons with stored texture coordinates.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "binary/byte_reader.h"
#include "mesh/mesh.h"
#include "mesh/texture.h"

namespace kestrune {

namespace {

constexpr int32_t kMaxCompactSurfaces = 150;

struct CompactSurface {
    uint8_t flags;
    uint8_t color[3];        // colour x 128, at most 255
    std::string textureBase; // when flags & 2
    uint16_t texture;
};

// Colour x 128 truncated, at most 255 and with no lower limit, as stored bytes always were; the
// float is bounded first so that no value (NaN, huge) converts outside int.
uint8_t colorByte(float value) {
    const float scaled = value * 128.0f;
    if (!(scaled < 255.0f)) return 255;
    if (scaled <= -2147483648.0f) return 0;
    return static_cast<uint8_t>(static_cast<int32_t>(scaled) & 0xFF);
}

struct CompactPolygon {
    uint8_t vertexCount;
    int16_t surface;     // 1-based
    ByteReader corners;  // from the vertex indices
};

} // namespace

bool readCompactObject(const uint8_t* data, size_t size, Mesh& mesh) {
    freeMesh(mesh);
    mesh.refusal = {};
    Refusal* why = &mesh.refusal;
    ByteReader r(data, size);
    const int32_t surfaceCount = r.i32le();
    const int32_t pointCount = r.i32le();
    const int32_t polygonCount = r.i32le();
    // Counts are checked before anything is kept: negative ones, more surfaces than the table of
    // 150, or more points or polygons than the 16-bit counts hold, refuse the file.
    if (r.overrun()) return refuse(why, "the file is shorter than its three counts");
    if (surfaceCount < 0 || pointCount < 0 || polygonCount < 0)
        return refuse(why, "a negative count");
    if (surfaceCount > kMaxCompactSurfaces) return refuse(why, "more than 150 surfaces");
    if (static_cast<uint32_t>(pointCount) > kMaxMeshCount ||
        static_cast<uint32_t>(polygonCount) > kMaxMeshCount)
        return refuse(why, "more points or polygons than a mesh holds");

    std::vector<CompactSurface> surfaces(static_cast<size_t>(surfaceCount));
    for (CompactSurface& s : surfaces) {
        s.flags = r.u8();
        for (uint8_t& c : s.color) c = colorByte(r.f32le());
        if (r.overrun()) break;
        if (s.flags & 2) {
            s.textureBase = r.cString();
            if (r.overrun()) return refuse(why, "a texture name runs off the end of the file");
        }
        s.texture = 0;
    }
    if (r.overrun()) return refuse(why, "the surfaces run past the end of the file");

    // Points and polygons must all be in the file; a record running past its end refuses it.
    if (!r.has(size_t{12} * static_cast<size_t>(pointCount)))
        return refuse(why, "the points run past the end of the file");
    ByteReader pointData = r.take(size_t{12} * static_cast<size_t>(pointCount));

    std::vector<CompactPolygon> kept;
    kept.reserve(static_cast<size_t>(polygonCount) < r.remaining() / 4
                     ? static_cast<size_t>(polygonCount)
                     : r.remaining() / 4);
    for (int32_t i = 0; i < polygonCount; ++i) {
        if (!r.has(4)) return refuse(why, "a polygon runs past the end of the file");
        CompactPolygon polygon;
        polygon.vertexCount = r.u8();
        r.u8();
        polygon.surface = r.i16le();
        polygon.corners = r.at(r.position());
        const size_t n = polygon.vertexCount;
        if (!r.has(n * 2 + n * 8)) return refuse(why, "a polygon runs past the end of the file");
        bool indicesValid = true;
        for (size_t k = 0; k < n; ++k)
            if (r.u16le() >= static_cast<uint32_t>(pointCount)) indicesValid = false;
        r.skip(n * 8);
        // Polygons without corners, with a corner past the points or a surface the file does
        // not define are left out.
        if (n >= 1 && indicesValid && polygon.surface >= 1 && polygon.surface <= surfaceCount)
            kept.push_back(polygon);
    }

    for (CompactSurface& s : surfaces) {
        if (!(s.flags & 2)) continue;
        const std::string name = s.textureBase + ".jpg";
        s.texture = requestTexture(name.c_str(), renderOptions.mipmapping);
    }

    allocateMesh(mesh, static_cast<uint32_t>(pointCount), static_cast<uint32_t>(kept.size()));
    for (MeshPoint& point : mesh.points) {
        point.position.x = pointData.f32le();
        point.position.y = pointData.f32le();
        point.position.z = pointData.f32le();
    }

    for (size_t i = 0; i < kept.size(); ++i) {
        CompactPolygon& record = kept[i];
        MeshPolygon& polygon = mesh.polygons[i];
        const uint8_t n = record.vertexCount;
        ByteReader& corners = record.corners;
        polygon.vertexCount = n;
        polygon.vertices.resize(n);
        polygon.u.resize(n);
        polygon.v.resize(n);
        for (uint16_t& index : polygon.vertices) index = corners.u16le();
        for (uint8_t k = 0; k < n; ++k) {
            polygon.u[k] = corners.f32le();
            polygon.v[k] = 1.0f - corners.f32le();
        }

        const CompactSurface& s = surfaces[static_cast<size_t>(record.surface - 1)];
        std::memcpy(polygon.color, s.color, 3);
        polygon.flags = 0;
        polygon.texture = 0;
        if (s.flags & 1) polygon.flags = PolyFlat;
        if (s.flags & 2) {
            polygon.texture = s.texture;
            polygon.color[0] = polygon.color[1] = polygon.color[2] = 255;
            polygon.flags = PolyTextured;
        }
        polygon.flags += s.flags & (PolySmooth | PolyDoubleSided | PolyTranslucent | PolyOutline);
    }

    computeMeshNormals(mesh);
    return true;
}

} // namespace kestrune
