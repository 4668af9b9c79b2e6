// Bounded reading of big- and little-endian values from a byte span: a read past the end yields
// zeros and sets a flag, so a reader can never leave its buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kestrune {

struct ByteReader {
    const uint8_t* data = nullptr;
    size_t size = 0;      // bytes in the span
    size_t pos = 0;       // next byte to read
    bool overrun = false; // set by any read that needed bytes past the end

    ByteReader() = default;
    ByteReader(const uint8_t* bytes, size_t count) : data(bytes), size(count) {}

    size_t remaining() const { return pos < size ? size - pos : 0; }
    bool has(size_t n) const { return n <= remaining(); }

    // A sub-span of n bytes from here (fewer when the span ends first); advances past them.
    ByteReader take(size_t n) {
        size_t avail = remaining();
        if (n > avail) {
            overrun = true;
            n = avail;
        }
        ByteReader part(data + pos, n);
        pos += n;
        return part;
    }

    void skip(size_t n) {
        if (n > remaining()) {
            overrun = true;
            pos = size;
        } else {
            pos += n;
        }
    }

    uint8_t u8() {
        if (pos >= size) {
            overrun = true;
            return 0;
        }
        return data[pos++];
    }

    uint16_t u16be() {
        uint16_t hi = u8();
        return static_cast<uint16_t>((hi << 8) | u8());
    }
    uint32_t u32be() {
        uint32_t hi = u16be();
        return (hi << 16) | u16be();
    }
    float f32be() {
        uint32_t bits = u32be();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    uint16_t u16le() {
        uint16_t lo = u8();
        return static_cast<uint16_t>(lo | (u8() << 8));
    }
    uint32_t u32le() {
        uint32_t lo = u16le();
        return lo | (static_cast<uint32_t>(u16le()) << 16);
    }
    int32_t i32le() { return static_cast<int32_t>(u32le()); }
    int16_t i16le() { return static_cast<int16_t>(u16le()); }
    float f32le() {
        uint32_t bits = u32le();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
};

} // namespace kestrune
