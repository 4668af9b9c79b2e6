// Writes authoring meshes as LWOB object files and as compact ".3d" object files.
#include "content/object_writer.h"

#include <stdexcept>

#include "binary/byte_writer.h"

namespace kestrune {

namespace {

const char* mapName(MapType map) {
    switch (map) {
    case MapType::Planar:
        return "Planar Image Map";
    case MapType::Cylindrical:
        return "Cylindrical Image Map";
    case MapType::Spherical:
        return "Spherical Image Map";
    case MapType::None:
        break;
    }
    return "";
}

// Starts a chunk or subchunk; returns where its size goes.
size_t beginChunk(ByteWriter& out, const char* id, bool sub) {
    out.tag(id);
    size_t at = out.size();
    if (sub)
        out.u16be(0);
    else
        out.u32be(0);
    return at;
}

void endChunk(ByteWriter& out, size_t sizeAt, bool sub) {
    size_t size = out.size() - sizeAt - (sub ? 2 : 4);
    if (sub)
        out.patchU16be(sizeAt, static_cast<uint32_t>(size));
    else
        out.patchU32be(sizeAt, static_cast<uint32_t>(size));
}

void writeSurface(ByteWriter& out, const ContentSurface& s) {
    size_t surf = beginChunk(out, "SURF", false);
    out.iffString(s.name);
    size_t at = beginChunk(out, "COLR", true);
    out.u8(s.color[0]);
    out.u8(s.color[1]);
    out.u8(s.color[2]);
    out.u8(0);
    endChunk(out, at, true);
    // Every surface sets its flags, colour and transparency: the reader keeps a slot's old
    // values for whatever a later file leaves out.
    at = beginChunk(out, "FLAG", true);
    out.u16be((s.smooth ? 4 : 0) | (s.outline ? 2 : 0) | (s.doubleSided ? 256 : 0));
    endChunk(out, at, true);
    if (s.transparency > 0) {
        at = beginChunk(out, "VTRN", true);
        out.f32be(s.transparency);
        endChunk(out, at, true);
    }
    if (s.map != MapType::None) {
        at = beginChunk(out, "CTEX", true);
        out.iffString(mapName(s.map));
        endChunk(out, at, true);
        at = beginChunk(out, "TIMG", true);
        out.iffString(s.image);
        endChunk(out, at, true);
        at = beginChunk(out, "TFLG", true);
        out.u16be(1u << s.axis);
        endChunk(out, at, true);
        at = beginChunk(out, "TSIZ", true);
        out.f32be(s.mapSize.x);
        out.f32be(s.mapSize.y);
        out.f32be(s.mapSize.z);
        endChunk(out, at, true);
        at = beginChunk(out, "TCTR", true);
        out.f32be(s.mapCenter.x);
        out.f32be(s.mapCenter.y);
        out.f32be(s.mapCenter.z);
        endChunk(out, at, true);
        at = beginChunk(out, "TFP0", true);
        out.f32be(s.wrapWidth);
        endChunk(out, at, true);
        at = beginChunk(out, "TFP1", true);
        out.f32be(s.wrapHeight);
        endChunk(out, at, true);
    }
    if (!s.reflectionImage.empty()) {
        at = beginChunk(out, "RIMG", true);
        out.iffString(s.reflectionImage);
        endChunk(out, at, true);
    }
    endChunk(out, surf, false);
}

} // namespace

std::vector<uint8_t> writeLwob(const ContentMesh& mesh) {
    if (mesh.surfaces.empty() || mesh.surfaces.size() > 128)
        throw std::runtime_error("an object needs 1 to 128 surfaces");
    ByteWriter out;
    out.tag("FORM");
    out.u32be(0);
    out.tag("LWOB");
    size_t at = beginChunk(out, "PNTS", false);
    for (Vec3 p : mesh.points) {
        out.f32be(p.x);
        out.f32be(p.y);
        out.f32be(p.z);
    }
    endChunk(out, at, false);
    at = beginChunk(out, "SRFS", false);
    for (const ContentSurface& s : mesh.surfaces) out.iffString(s.name);
    endChunk(out, at, false);
    at = beginChunk(out, "POLS", false);
    for (const ContentPolygon& poly : mesh.polygons) {
        if (poly.vertices.empty() || poly.vertices.size() > 255)
            throw std::runtime_error("a polygon needs 1 to 255 points");
        out.u16be(static_cast<uint32_t>(poly.vertices.size()));
        for (uint16_t v : poly.vertices) out.u16be(v);
        out.u16be(poly.surface + 1u);
    }
    endChunk(out, at, false);
    for (const ContentSurface& s : mesh.surfaces) writeSurface(out, s);
    out.patchU32be(4, static_cast<uint32_t>(out.size() - 8));
    if (out.size() > kMaxObjectFileSize) throw std::runtime_error("object file too large");
    return std::move(out.bytes);
}

std::vector<uint8_t> writeCompactObject(const CompactObject& object) {
    ByteWriter out;
    out.u32le(static_cast<uint32_t>(object.surfaces.size()));
    out.u32le(static_cast<uint32_t>(object.points.size()));
    out.u32le(static_cast<uint32_t>(object.polygons.size()));
    for (const CompactSurface& s : object.surfaces) {
        out.u8(s.flags);
        for (float c : s.color) out.f32le(c);
        if (s.flags & 2) {
            out.raw(s.texture.data(), s.texture.size());
            out.u8(0);
        }
    }
    for (Vec3 p : object.points) {
        out.f32le(p.x);
        out.f32le(p.y);
        out.f32le(p.z);
    }
    for (const CompactPolygon& poly : object.polygons) {
        size_t n = poly.vertices.size();
        if (n == 0 || n > 255 || poly.u.size() != n || poly.w.size() != n)
            throw std::runtime_error("a compact polygon needs 1 to 255 corners with coordinates");
        out.u8(static_cast<uint32_t>(n));
        out.u8(0);
        out.u16le(static_cast<uint16_t>(poly.surface));
        for (uint16_t v : poly.vertices) out.u16le(v);
        for (size_t k = 0; k < n; ++k) {
            out.f32le(poly.u[k]);
            out.f32le(poly.w[k]);
        }
    }
    return std::move(out.bytes);
}

} // namespace kestrune
