// Bounded reading of big- and little-endian values from a byte span: a read past the end yields
// zeros and sets a flag, so a reader can never leave its buffer.
#pragma once

#include <algorithm>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kestrune {

// Why a reader refused its input: the check that fired, as one line of text. Empty until a
// reader refuses.
struct Refusal {
    std::string_view reason;
};

// Records why in refusal (when there is one) and returns false, so a check can end with
// `return refuse(refusal, "...")`.
inline bool refuse(Refusal* refusal, std::string_view why) {
    if (refusal) refusal->reason = why;
    return false;
}

// A float's bytes as its bit pattern says (memcpy: the web's standard library has no bit_cast).
inline float floatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    ByteReader(const uint8_t* data, size_t size) : bytes_(data, size) {}

    size_t size() const { return bytes_.size(); }
    size_t position() const { return pos_; }
    size_t remaining() const { return bytes_.size() - pos_; }
    bool has(size_t n) const { return n <= remaining(); }
    // Set by any read, skip or sub-reader that needed bytes past the end.
    bool overrun() const { return overrun_; }

    // The next n bytes as a reader of their own (fewer when the span ends first); moves past them.
    ByteReader take(size_t n) { return ByteReader(bytes(n)); }
    // The bytes from offset to the end as a reader of their own, for fixed header offsets; an
    // offset past the end gives an empty reader that has overrun. This reader does not move.
    ByteReader at(size_t offset) const {
        ByteReader part(bytes_.subspan(std::min(offset, bytes_.size())));
        part.overrun_ = offset > bytes_.size();
        return part;
    }

    // The next n bytes (fewer when the span ends first); moves past them.
    std::span<const uint8_t> bytes(size_t n) {
        if (n > remaining()) {
            overrun_ = true;
            n = remaining();
        }
        const std::span<const uint8_t> part = bytes_.subspan(pos_, n);
        pos_ += n;
        return part;
    }
    // The characters up to a NUL, moving past the NUL; without one, the rest of the span, which
    // counts as an overrun.
    std::string_view cString() {
        const auto rest = bytes_.subspan(pos_);
        const auto nul = std::find(rest.begin(), rest.end(), uint8_t{0});
        const auto length = static_cast<size_t>(nul - rest.begin());
        const std::string_view text(reinterpret_cast<const char*>(rest.data()), length);
        skip(length + 1);
        return text;
    }
    void skip(size_t n) { bytes(n); }

    uint8_t u8() {
        if (pos_ >= bytes_.size()) {
            overrun_ = true;
            return 0;
        }
        return bytes_[pos_++];
    }
    int8_t i8() { return static_cast<int8_t>(u8()); }

    // Multi-byte reads take the bytes directly when they are all there; near the end they go
    // byte by byte, so that the bytes present are used and the rest read as zeros.
    uint16_t u16be() {
        if (remaining() >= 2) {
            const uint8_t* p = bytes_.data() + pos_;
            pos_ += 2;
            return static_cast<uint16_t>((p[0] << 8) | p[1]);
        }
        const uint16_t hi = u8();
        return static_cast<uint16_t>((hi << 8) | u8());
    }
    uint32_t u32be() {
        if (remaining() >= 4) {
            const uint8_t* p = bytes_.data() + pos_;
            pos_ += 4;
            return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
        }
        const uint32_t hi = u16be();
        return (hi << 16) | u16be();
    }
    float f32be() { return floatFromBits(u32be()); }

    uint16_t u16le() {
        if (remaining() >= 2) {
            const uint8_t* p = bytes_.data() + pos_;
            pos_ += 2;
            return static_cast<uint16_t>(p[0] | (p[1] << 8));
        }
        const uint16_t lo = u8();
        return static_cast<uint16_t>(lo | (u8() << 8));
    }
    uint32_t u32le() {
        if (remaining() >= 4) {
            const uint8_t* p = bytes_.data() + pos_;
            pos_ += 4;
            return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
        }
        const uint32_t lo = u16le();
        return lo | (static_cast<uint32_t>(u16le()) << 16);
    }
    int16_t i16le() { return static_cast<int16_t>(u16le()); }
    int32_t i32le() { return static_cast<int32_t>(u32le()); }
    float f32le() { return floatFromBits(u32le()); }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    bool overrun_ = false;
};

} // namespace kestrune
