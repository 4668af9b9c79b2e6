// The LWOB object reader: PNTS, POLS, SRFS and SURF with its subchunks, two passes over the file.
#include <cstring>
#include <string>
#include <string_view>

#include "binary/byte_reader.h"
#include "mesh/mesh.h"
#include "mesh/surface.h"
#include "mesh/texture.h"

namespace kestrune {

namespace {

enum class TextureTarget { None, Color, Reflection };

bool idIs(const char id[4], const char* name) {
    return std::memcmp(id, name, 4) == 0;
}

void readId(ByteReader& reader, char id[4]) {
    for (int i = 0; i < 4; ++i) id[i] = static_cast<char>(reader.u8());
}

// An IFF string: its bytes up to the NUL, occupying length + 1 bytes rounded up to even. One
// without a terminator runs to the end of its chunk. Returns the whole string; callers cut it.
std::string_view readString(ByteReader& reader) {
    const std::string_view text = reader.cString();
    if (text.size() % 2 == 0 && reader.remaining() > 0) reader.skip(1);
    return text;
}

// Copies at most size - 1 characters: names of 64 characters or more and texture types of 50 or
// more are cut, and since SRFS and SURF names are cut alike they still match.
void copyCut(char* out, size_t size, std::string_view text) {
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

// Only the part after the last backslash names the image; forward slashes are kept.
std::string imageName(std::string_view path) {
    const size_t cut = path.rfind('\\');
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

void noteWrittenSlot(int slot) {
    if (slot >= surfaceTable.writtenSlots) surfaceTable.writtenSlots = slot + 1;
}

void readSurfaceChunk(ByteReader chunk, TextureTarget& target) {
    char name[kSurfaceNameSize];
    copyCut(name, sizeof name, readString(chunk));
    int slot = -1;
    for (int i = 0; i < kSurfaceSlotCount && slot < 0; ++i)
        if (std::strcmp(surfaceTable.slots[i].name, name) == 0) slot = i;
    // A name the table does not hold has nowhere to go: the chunk is skipped.
    if (slot < 0) return;
    noteWrittenSlot(slot);
    Surface& s = surfaceTable.slots[slot];

    // Subchunk sizes are unsigned 16-bit; one that runs past its chunk ends the walk.
    while (chunk.remaining() >= 6) {
        char id[4];
        readId(chunk, id);
        const uint16_t size = chunk.u16be();
        if (size > chunk.remaining()) break;
        ByteReader sub = chunk.take(size); // reads past a short subchunk give zeros
        if (idIs(id, "COLR")) {
            for (float& c : s.color) c = static_cast<float>(sub.u8());
            s.transparency = 0.0f;
        } else if (idIs(id, "FLAG")) {
            const uint16_t f = sub.u16be();
            uint16_t flags = PolyFlat;
            if (f & 4) flags = PolySmooth;
            if (f & 2) flags += PolyOutline;
            if (f & 256) flags += PolyDoubleSided;
            s.flags = flags;
        } else if (idIs(id, "CTEX")) {
            if (!(s.flags & PolyTextured)) s.flags += PolyTextured;
            copyCut(s.textureType, sizeof s.textureType, readString(sub));
            s.textureCenter[0] = s.textureCenter[1] = s.textureCenter[2] = 0.0f;
            target = TextureTarget::Color;
        } else if (idIs(id, "RIMG")) {
            if (!(s.flags & PolyReflection)) s.flags += PolyReflection;
            const std::string image = imageName(readString(sub));
            s.reflectionTexture = requestTexture(image.c_str(), renderOptions.mipmapping);
            target = TextureTarget::Reflection;
        } else if (idIs(id, "TIMG")) {
            if (target == TextureTarget::Color) {
                const std::string image = imageName(readString(sub));
                s.texture = requestTexture(image.c_str(), renderOptions.mipmapping);
            }
        } else if (idIs(id, "TFLG")) {
            const uint16_t f = sub.u16be();
            if (f & 1) s.textureAxis = TextureAxisX;
            if (f & 2) s.textureAxis = TextureAxisY;
            if (f & 4) s.textureAxis = TextureAxisZ;
        } else if (idIs(id, "TSIZ")) {
            for (float& v : s.textureSize) v = sub.f32be();
        } else if (idIs(id, "TCTR")) {
            for (float& v : s.textureCenter) v = sub.f32be();
        } else if (idIs(id, "TFP0")) {
            s.wrapWidth = sub.f32be();
        } else if (idIs(id, "TFP1")) {
            s.wrapHeight = sub.f32be();
        } else if (idIs(id, "VTRN")) {
            s.transparency = sub.f32be();
        }
    }
}

// One polygon record of a POLS chunk. A record that does not fit in the chunk ends the chunk.
struct PolygonRecord {
    uint16_t vertexCount;
    ByteReader indices; // from the first vertex index
    int32_t surface;    // 1-based
    bool usable;        // becomes a mesh polygon
};

bool nextPolygon(ByteReader& chunk, uint32_t pointCount, PolygonRecord& record) {
    if (chunk.remaining() < 2) return false;
    record.vertexCount = chunk.u16be();
    if (chunk.remaining() < size_t{2} * record.vertexCount + 2) return false;
    record.indices = chunk.at(chunk.position());
    bool indicesValid = true;
    for (uint32_t k = 0; k < record.vertexCount; ++k)
        if (chunk.u16be() >= pointCount) indicesValid = false;
    record.surface = static_cast<int16_t>(chunk.u16be());
    if (record.surface < 0) {
        // A detail polygon: its surface is the negated index, and a count of the detail
        // polygons follows, which are then read as ordinary polygons.
        record.surface = -record.surface;
        chunk.skip(chunk.remaining() < 2 ? chunk.remaining() : 2);
    }
    // Polygons the mesh cannot hold or draw are left out: no corners, more than the 8-bit vertex
    // count holds, a corner past the points, or a surface outside the table.
    record.usable = record.vertexCount >= 1 && record.vertexCount <= 255 && indicesValid &&
                    record.surface >= 1 && record.surface <= kSurfaceSlotCount;
    return true;
}

void emptyMesh(Mesh& mesh) {
    freeMesh(mesh);
}

} // namespace

bool readLwobObject(const uint8_t* data, size_t size, Mesh& mesh) {
    emptyMesh(mesh);
    mesh.refusal = {};
    TextureTarget target = TextureTarget::None;
    ByteReader file(data, size);
    file.skip(12); // the FORM header is not examined

    // First pass. The file's real length is used: the show once held it in 16 bits, which read
    // files of 64 KiB or more short. Only the first PNTS before POLS and the first POLS count;
    // the show read points up to the first POLS and polygons from it alone.
    bool pointsSeen = false;
    bool polygonsSeen = false;
    ByteReader points;
    ByteReader polygons;
    while (file.remaining() >= 8) {
        char id[4];
        readId(file, id);
        const uint32_t chunkSize = file.u32be();
        // A chunk that claims more bytes than the file holds ends the walk.
        if (chunkSize > file.remaining()) break;
        ByteReader chunk = file.take(chunkSize);
        if (idIs(id, "PNTS")) {
            if (!pointsSeen && !polygonsSeen) points = chunk;
            pointsSeen = true;
        } else if (idIs(id, "POLS")) {
            if (!polygonsSeen) polygons = chunk;
            polygonsSeen = true;
        } else if (idIs(id, "SRFS")) {
            for (int slot = 0; chunk.remaining() > 0; ++slot) {
                const std::string_view name = readString(chunk);
                if (slot < kSurfaceSlotCount) {
                    noteWrittenSlot(slot);
                    copyCut(surfaceTable.slots[slot].name, kSurfaceNameSize, name);
                }
            }
        } else if (idIs(id, "SURF")) {
            readSurfaceChunk(chunk, target);
        }
    }

    const size_t pointCount = points.size() / 12;
    uint32_t polygonCount = 0;
    {
        ByteReader walk = polygons;
        PolygonRecord record;
        while (nextPolygon(walk, static_cast<uint32_t>(pointCount), record))
            if (record.usable) ++polygonCount;
    }
    // More points or polygons than the 16-bit counts hold: refused.
    if (pointCount > kMaxMeshCount) return refuse(&mesh.refusal, "more points than a mesh holds");
    if (polygonCount > kMaxMeshCount)
        return refuse(&mesh.refusal, "more polygons than a mesh holds");

    allocateMesh(mesh, static_cast<uint32_t>(pointCount), polygonCount);
    for (MeshPoint& point : mesh.points) {
        point.position.x = points.f32be();
        point.position.y = points.f32be();
        point.position.z = points.f32be();
    }

    ByteReader walk = polygons;
    PolygonRecord record;
    uint32_t p = 0;
    while (nextPolygon(walk, static_cast<uint32_t>(pointCount), record)) {
        if (!record.usable) continue;
        MeshPolygon& polygon = mesh.polygons[p++];
        const uint8_t n = static_cast<uint8_t>(record.vertexCount);
        polygon.vertexCount = n;
        polygon.u.assign(n, 0.0f);
        polygon.v.assign(n, 0.0f);
        polygon.vertices.resize(n);
        for (uint16_t& index : polygon.vertices) index = record.indices.u16be();

        const int slot = record.surface - 1;
        const Surface& s = surfaceTable.slots[slot];
        polygon.flags = static_cast<uint8_t>(s.flags & 0xFF);
        polygon.texture = s.texture;
        polygon.reflectionTexture = s.reflectionTexture;
        polygon.surfaceSlot = static_cast<uint8_t>(slot);
        for (int c = 0; c < 3; ++c) {
            // Colours are set from bytes, so they lie in 0..255; clamp anyway before converting.
            float value = s.color[c];
            value = value >= 0.0f ? (value <= 255.0f ? value : 255.0f) : 0.0f;
            polygon.color[c] = static_cast<uint8_t>(static_cast<int>(value) >> 1);
        }
        if (s.transparency > 0.5f) polygon.flags += PolyTranslucent;
    }

    computeMeshNormals(mesh);
    for (uint32_t i = 0; i < mesh.polygonCount; ++i) {
        MeshPolygon& polygon = mesh.polygons[i];
        if (!(polygon.flags & PolyTextured)) continue;
        for (uint32_t k = 0; k < polygon.vertexCount; ++k) {
            const Vec3 at = mesh.points[polygon.vertices[k]].position;
            mapTextureCoordinates(polygon.u[k], polygon.v[k], polygon.surfaceSlot, at.x, at.y,
                                  at.z);
        }
    }
    return true;
}

} // namespace kestrune
