// Builds LWOB and compact object files in memory for the reader tests and the fuzz seeds.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "binary/byte_writer.h"

namespace kestrune::test {

using Bytes = std::vector<uint8_t>;

// A SURF subchunk: identifier, 16-bit size, data.
inline Bytes sub(const char* id, const Bytes& data) {
    ByteWriter out;
    out.tag(id);
    out.u16be(uint16_t(data.size()));
    out.raw(data.data(), data.size());
    return out.bytes;
}
inline Bytes subU16(const char* id, uint16_t v) {
    ByteWriter data;
    data.u16be(v);
    return sub(id, data.bytes);
}
inline Bytes subFloats(const char* id, std::initializer_list<float> values) {
    ByteWriter data;
    for (float f : values) data.f32be(f);
    return sub(id, data.bytes);
}
inline Bytes subString(const char* id, const std::string& s) {
    ByteWriter data;
    data.iffString(s);
    return sub(id, data.bytes);
}
inline Bytes colr(uint8_t r, uint8_t g, uint8_t b) {
    return sub("COLR", Bytes{r, g, b, 0});
}

struct Point {
    float x, y, z;
};
struct Poly {
    std::vector<uint16_t> vertices;
    int16_t surface; // 1-based
};

struct LwobBuilder {
    ByteWriter chunks;

    LwobBuilder& chunk(const char* id, const Bytes& data) {
        chunks.tag(id);
        chunks.u32be(uint32_t(data.size()));
        chunks.raw(data.data(), data.size());
        return *this;
    }
    LwobBuilder& pnts(const std::vector<Point>& points) {
        ByteWriter data;
        for (const Point& p : points) {
            data.f32be(p.x);
            data.f32be(p.y);
            data.f32be(p.z);
        }
        return chunk("PNTS", data.bytes);
    }
    LwobBuilder& pols(const std::vector<Poly>& polygons) {
        ByteWriter data;
        for (const Poly& p : polygons) {
            data.u16be(uint16_t(p.vertices.size()));
            for (uint16_t v : p.vertices) data.u16be(v);
            data.u16be(uint16_t(p.surface));
        }
        return chunk("POLS", data.bytes);
    }
    LwobBuilder& srfs(const std::vector<std::string>& names) {
        ByteWriter data;
        for (const std::string& n : names) data.iffString(n);
        return chunk("SRFS", data.bytes);
    }
    LwobBuilder& surf(const std::string& name, const std::vector<Bytes>& subchunks) {
        ByteWriter data;
        data.iffString(name);
        for (const Bytes& s : subchunks) data.raw(s.data(), s.size());
        return chunk("SURF", data.bytes);
    }
    Bytes bytes() const {
        ByteWriter out;
        out.tag("FORM");
        out.u32be(uint32_t(chunks.size() + 4));
        out.tag("LWOB");
        out.raw(chunks.bytes.data(), chunks.size());
        return out.bytes;
    }
};

// A unit square in the z = 0 plane with one surface: the smallest complete object.
inline LwobBuilder squareObject(const std::string& surface = "Default") {
    LwobBuilder b;
    b.pnts({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}})
        .srfs({surface})
        .pols({{{0, 1, 2, 3}, 1}})
        .surf(surface, {colr(200, 100, 50), subU16("FLAG", 4)});
    return b;
}

struct CompactSurfaceSpec {
    uint8_t flags;
    float r, g, b;
    std::string texture; // written when flags & 2
};
struct CompactPolygonSpec {
    std::vector<uint16_t> vertices;
    int16_t surface;
    std::vector<std::pair<float, float>> uw; // per corner
};

inline Bytes compactObject(const std::vector<CompactSurfaceSpec>& surfaces,
                           const std::vector<Point>& points,
                           const std::vector<CompactPolygonSpec>& polygons) {
    ByteWriter out;
    out.u32le(uint32_t(surfaces.size()));
    out.u32le(uint32_t(points.size()));
    out.u32le(uint32_t(polygons.size()));
    for (const auto& s : surfaces) {
        out.u8(s.flags);
        out.f32le(s.r);
        out.f32le(s.g);
        out.f32le(s.b);
        if (s.flags & 2) {
            out.raw(s.texture.data(), s.texture.size());
            out.u8(0);
        }
    }
    for (const Point& p : points) {
        out.f32le(p.x);
        out.f32le(p.y);
        out.f32le(p.z);
    }
    for (const auto& p : polygons) {
        out.u8(uint8_t(p.vertices.size()));
        out.u8(0);
        out.u16le(uint16_t(p.surface));
        for (uint16_t v : p.vertices) out.u16le(v);
        for (size_t k = 0; k < p.vertices.size(); ++k) {
            const auto uw = k < p.uw.size() ? p.uw[k] : std::pair<float, float>{0, 0};
            out.f32le(uw.first);
            out.f32le(uw.second);
        }
    }
    return out.bytes;
}

} // namespace kestrune::test
