// Builds LWOB and compact object files in memory for the reader tests and the fuzz seeds.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace kestrune::testing {

using Bytes = std::vector<uint8_t>;

inline void putU16be(Bytes& out, uint16_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}
inline void putU32be(Bytes& out, uint32_t v) {
    putU16be(out, uint16_t(v >> 16));
    putU16be(out, uint16_t(v));
}
inline void putF32be(Bytes& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    putU32be(out, bits);
}
inline void putU16le(Bytes& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void putU32le(Bytes& out, uint32_t v) {
    putU16le(out, uint16_t(v));
    putU16le(out, uint16_t(v >> 16));
}
inline void putF32le(Bytes& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    putU32le(out, bits);
}
// An IFF string: the text, its NUL, and one more byte when that makes the length odd.
inline void putString(Bytes& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
    if ((s.size() + 1) & 1) out.push_back(0);
}
inline void putId(Bytes& out, const char* id) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(id[i]));
}

// A SURF subchunk: identifier, 16-bit size, data.
inline Bytes sub(const char* id, const Bytes& data) {
    Bytes out;
    putId(out, id);
    putU16be(out, uint16_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}
inline Bytes subU16(const char* id, uint16_t v) {
    Bytes data;
    putU16be(data, v);
    return sub(id, data);
}
inline Bytes subFloats(const char* id, std::initializer_list<float> values) {
    Bytes data;
    for (float f : values) putF32be(data, f);
    return sub(id, data);
}
inline Bytes subString(const char* id, const std::string& s) {
    Bytes data;
    putString(data, s);
    return sub(id, data);
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
    Bytes chunks;

    LwobBuilder& chunk(const char* id, const Bytes& data) {
        putId(chunks, id);
        putU32be(chunks, uint32_t(data.size()));
        chunks.insert(chunks.end(), data.begin(), data.end());
        return *this;
    }
    LwobBuilder& pnts(const std::vector<Point>& points) {
        Bytes data;
        for (const Point& p : points) {
            putF32be(data, p.x);
            putF32be(data, p.y);
            putF32be(data, p.z);
        }
        return chunk("PNTS", data);
    }
    LwobBuilder& pols(const std::vector<Poly>& polygons) {
        Bytes data;
        for (const Poly& p : polygons) {
            putU16be(data, uint16_t(p.vertices.size()));
            for (uint16_t v : p.vertices) putU16be(data, v);
            putU16be(data, uint16_t(p.surface));
        }
        return chunk("POLS", data);
    }
    LwobBuilder& srfs(const std::vector<std::string>& names) {
        Bytes data;
        for (const std::string& n : names) putString(data, n);
        return chunk("SRFS", data);
    }
    LwobBuilder& surf(const std::string& name, const std::vector<Bytes>& subchunks) {
        Bytes data;
        putString(data, name);
        for (const Bytes& s : subchunks) data.insert(data.end(), s.begin(), s.end());
        return chunk("SURF", data);
    }
    Bytes bytes() const {
        Bytes out;
        putId(out, "FORM");
        putU32be(out, uint32_t(chunks.size() + 4));
        putId(out, "LWOB");
        out.insert(out.end(), chunks.begin(), chunks.end());
        return out;
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
    Bytes out;
    putU32le(out, uint32_t(surfaces.size()));
    putU32le(out, uint32_t(points.size()));
    putU32le(out, uint32_t(polygons.size()));
    for (const auto& s : surfaces) {
        out.push_back(s.flags);
        putF32le(out, s.r);
        putF32le(out, s.g);
        putF32le(out, s.b);
        if (s.flags & 2) {
            out.insert(out.end(), s.texture.begin(), s.texture.end());
            out.push_back(0);
        }
    }
    for (const Point& p : points) {
        putF32le(out, p.x);
        putF32le(out, p.y);
        putF32le(out, p.z);
    }
    for (const auto& p : polygons) {
        out.push_back(uint8_t(p.vertices.size()));
        out.push_back(0);
        putU16le(out, uint16_t(p.surface));
        for (uint16_t v : p.vertices) putU16le(out, v);
        for (size_t k = 0; k < p.vertices.size(); ++k) {
            const auto uw = k < p.uw.size() ? p.uw[k] : std::pair<float, float>{0, 0};
            putF32le(out, uw.first);
            putF32le(out, uw.second);
        }
    }
    return out;
}

} // namespace kestrune::testing
