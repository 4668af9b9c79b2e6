// The scene text's token stream: whitespace-separated tokens and formatted number reads over
// bytes in memory, consuming exactly what "%s", "%d" and "%f" formatted reads consume.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrune {

// Longest token kept; a longer run of non-blank characters is consumed whole but cut to this.
constexpr size_t kMaxTokenLength = 255;

struct TokenReader {
    std::string_view text;
    size_t position = 0; // next unread byte
};

// "%s": skips whitespace, then takes the run of non-whitespace bytes. The token is cut at the
// first NUL byte inside it and at kMaxTokenLength. False (nothing left) at end of text.
bool readToken(TokenReader& reader, std::string_view& token);

// "%d": false when no integer could be read; value is then unchanged, and the reader has moved
// past whatever the formatted read consumes (leading whitespace and a lone sign).
bool readInt(TokenReader& reader, int32_t& value);

// "%f": false when no number could be read; value is then unchanged, and the reader has moved
// past whatever the formatted read consumes (for example "-", ".", "0x" or a broken "nan").
bool readFloat(TokenReader& reader, float& value);

// Reads tokens until one equals keyword exactly; false at end of text. Leaves the reader just
// after the keyword.
bool findToken(TokenReader& reader, std::string_view keyword);

} // namespace kestrune
