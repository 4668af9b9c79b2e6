// Appends big- and little-endian values to a byte vector: the content generator's file writers
// and the tests build binary files with it, the counterpart of ByteReader.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kestrune {

struct ByteWriter {
    std::vector<uint8_t> bytes;

    void u8(uint32_t value) { bytes.push_back(static_cast<uint8_t>(value)); }
    void u16be(uint32_t value) {
        u8(value >> 8);
        u8(value);
    }
    void u32be(uint32_t value) {
        u16be(value >> 16);
        u16be(value);
    }
    void f32be(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        u32be(bits);
    }
    void u16le(uint32_t value) {
        u8(value);
        u8(value >> 8);
    }
    void u32le(uint32_t value) {
        u16le(value);
        u16le(value >> 16);
    }
    void f32le(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        u32le(bits);
    }
    void raw(const void* data, size_t n) {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + n);
    }
    void tag(const char* fourCc) { raw(fourCc, 4); }
    // A fixed-width text field, NUL- or space-padded.
    void text(const std::string& s, size_t width, char pad = '\0') {
        for (size_t i = 0; i < width; ++i) u8(i < s.size() ? s[i] : pad);
    }
    // An IFF string: the characters, a NUL, and one more NUL when that makes the length odd.
    void iffString(const std::string& s) {
        raw(s.data(), s.size());
        u8(0);
        if ((s.size() + 1) % 2) u8(0);
    }
    size_t size() const { return bytes.size(); }
    void patchU32be(size_t at, uint32_t value) {
        bytes[at] = value >> 24;
        bytes[at + 1] = value >> 16;
        bytes[at + 2] = value >> 8;
        bytes[at + 3] = value;
    }
    void patchU32le(size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    void patchU16be(size_t at, uint32_t value) {
        bytes[at] = value >> 8;
        bytes[at + 1] = value;
    }
};

} // namespace kestrune
