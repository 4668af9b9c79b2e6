// In-memory formatted reads over scene text, consuming what "%s", "%d" and "%f" consume.
#include "scene/tokens.h"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>

namespace kestrune {

namespace {

constexpr int kEnd = -1;

bool isBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(int c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(int c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int lower(int c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

// A formatted read takes one byte at a time and can put back only the byte it just took; bytes
// taken before that stay consumed even when the conversion fails.
struct Cursor {
    TokenReader& reader;
    int take() {
        if (reader.position >= reader.text.size()) {
            ++reader.position; // so that putBack after the end is balanced
            return kEnd;
        }
        return static_cast<unsigned char>(reader.text[reader.position++]);
    }
    void putBack() { --reader.position; }
    void settle() {
        if (reader.position > reader.text.size()) reader.position = reader.text.size();
    }
};

void skipBlanks(TokenReader& reader) {
    while (reader.position < reader.text.size() &&
           isBlank(static_cast<unsigned char>(reader.text[reader.position])))
        ++reader.position;
}

// A decimal in [first, last) converted as strtof rounds it, by from_chars where the standard
// library converts floats (the web's does not); false there, and for a result out of float's
// range, so that callers take strtof itself.
bool decimalFromChars(const char* first, const char* last, float& value) {
#if defined(__cpp_lib_to_chars)
    return std::from_chars(first, last, value).ec == std::errc{};
#else
    (void)first;
    (void)last;
    (void)value;
    return false;
#endif
}

// The scene text's numbers are plain decimals: [sign] digits [. digits] [e [sign] digits]. One of
// these, ended by a byte the formatted read would not take, is read straight from the text; the
// conversion is strtof's, rounding included. False, with the reader unmoved, for anything else
// (hex, nan, inf, a trailing '.' or 'e', a result out of float's range): the full read takes it.
bool readPlainDecimal(TokenReader& reader, float& value) {
    const std::string_view text = reader.text;
    const size_t n = text.size();
    auto digitAt = [&](size_t i) { return i < n && isDigit(static_cast<unsigned char>(text[i])); };
    auto lowerAt = [&](size_t i) { return i < n ? lower(static_cast<unsigned char>(text[i])) : kEnd; };
    size_t i = reader.position;
    const size_t first = i < n && text[i] == '+' ? i + 1 : i; // from_chars takes no '+'
    const bool negative = lowerAt(i) == '-';
    if (negative || lowerAt(i) == '+') ++i;
    if (!digitAt(i) || (text[i] == '0' && lowerAt(i + 1) == 'x')) return false;
    uint64_t mantissa = 0; // exact while digits <= 19
    int digits = 0, fractionDigits = 0;
    for (; digitAt(i); ++i, ++digits) mantissa = mantissa * 10 + uint64_t(text[i] - '0');
    if (lowerAt(i) == '.')
        for (++i; digitAt(i); ++i, ++digits, ++fractionDigits)
            mantissa = mantissa * 10 + uint64_t(text[i] - '0');
    bool exponent = false;
    if (lowerAt(i) == 'e') {
        exponent = true;
        ++i;
        if (lowerAt(i) == '-' || lowerAt(i) == '+') ++i;
        if (!digitAt(i)) return false;
        while (digitAt(i)) ++i;
    }
    if (lowerAt(i) == '.' || lowerAt(i) == 'e') return false;
    // At most 2^24 over a power of ten up to 10^10: both are exact floats, so the one correctly
    // rounded division gives the correctly rounded decimal. Anything larger goes to from_chars.
    static constexpr float kPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                             1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    if (!exponent && digits <= 19 && mantissa <= (uint64_t{1} << 24) && fractionDigits <= 10) {
        const float magnitude = static_cast<float>(mantissa) / kPowersOfTen[fractionDigits];
        value = negative ? -magnitude : magnitude;
        reader.position = i;
        return true;
    }
    float parsed;
    if (!decimalFromChars(text.data() + first, text.data() + i, parsed)) return false;
    value = parsed;
    reader.position = i;
    return true;
}

} // namespace

bool readToken(TokenReader& reader, std::string_view& token) {
    skipBlanks(reader);
    const size_t start = reader.position;
    while (reader.position < reader.text.size() &&
           !isBlank(static_cast<unsigned char>(reader.text[reader.position])))
        ++reader.position;
    if (reader.position == start) return false;
    token = reader.text.substr(start, reader.position - start);
    // The token was a C string: it ends at an embedded NUL. Past kMaxTokenLength the rest of the
    // run is consumed with it but not kept, so a long run never splits into further tokens.
    const size_t nul = token.find('\0');
    if (nul != std::string_view::npos) token = token.substr(0, nul);
    if (token.size() > kMaxTokenLength) token = token.substr(0, kMaxTokenLength);
    return true;
}

bool readInt(TokenReader& reader, int32_t& value) {
    skipBlanks(reader);
    Cursor in{reader};
    int c = in.take();
    if (c == kEnd) {
        in.settle();
        return false;
    }
    bool negative = false;
    bool signSeen = false;
    if (c == '-' || c == '+') {
        negative = c == '-';
        signSeen = true;
        c = in.take();
    }
    // Accumulate like strtol into a saturating 64-bit value, then keep its low 32 bits as the
    // int conversion does; values beyond the int range are thus defined, never undefined.
    constexpr uint64_t kLimit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1;
    uint64_t magnitude = 0;
    bool saturated = false;
    int digits = 0;
    while (c != kEnd && isDigit(c)) {
        ++digits;
        if (!saturated) {
            magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
            if (magnitude > kLimit) saturated = true;
        }
        c = in.take();
    }
    in.putBack(); // the byte that ended the number stays unread (a sign before it does not)
    in.settle();
    (void)signSeen;
    if (digits == 0) return false;
    int64_t wide;
    if (negative) {
        wide = saturated || magnitude >= kLimit ? std::numeric_limits<int64_t>::min()
                                                : -static_cast<int64_t>(magnitude);
    } else {
        wide = saturated || magnitude >= kLimit ? std::numeric_limits<int64_t>::max()
                                                : static_cast<int64_t>(magnitude);
    }
    value = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
    return true;
}

bool readFloat(TokenReader& reader, float& value) {
    skipBlanks(reader);
    if (readPlainDecimal(reader, value)) return true;
    Cursor in{reader};
    std::string number;
    int c = in.take();
    if (c == kEnd) {
        in.settle();
        return false;
    }
    bool gotSign = false;
    if (c == '-' || c == '+') {
        gotSign = true;
        number += static_cast<char>(c);
        c = in.take();
        if (c == kEnd) {
            in.settle();
            return false;
        }
    }
    // "nan", "inf" and "infinity": a mismatching byte is consumed along with the failed read.
    auto expect = [&](const char* rest) {
        for (const char* r = rest; *r; ++r) {
            c = in.take();
            if (c == kEnd || lower(c) != *r) return false;
            number += static_cast<char>(c);
        }
        return true;
    };
    bool special = false;
    bool hex = false;
    if (lower(c) == 'n') {
        number += static_cast<char>(c);
        if (!expect("an")) {
            in.settle();
            return false;
        }
        special = true;
    } else if (lower(c) == 'i') {
        number += static_cast<char>(c);
        if (!expect("nf")) {
            in.settle();
            return false;
        }
        c = in.take();
        if (c != kEnd && lower(c) == 'i') {
            number += static_cast<char>(c);
            if (!expect("nity")) {
                in.settle();
                return false;
            }
        } else {
            in.putBack();
        }
        special = true;
    }
    if (!special) {
        bool gotDigit = false, gotDot = false, gotE = false;
        char exponent = 'e';
        if (c == '0') {
            number += '0';
            c = in.take();
            if (c != kEnd && lower(c) == 'x') {
                number += static_cast<char>(c);
                hex = true;
                exponent = 'p';
                c = in.take();
            } else {
                gotDigit = true;
            }
        }
        while (true) {
            if (c != kEnd && isDigit(c)) {
                number += static_cast<char>(c);
                gotDigit = true;
            } else if (c != kEnd && !gotE && hex && isHexDigit(c)) {
                number += static_cast<char>(c);
                gotDigit = true;
            } else if (c != kEnd && gotE && lower(number.back()) == exponent &&
                       (c == '-' || c == '+')) {
                number += static_cast<char>(c);
            } else if (c != kEnd && gotDigit && !gotE && lower(c) == exponent) {
                number += exponent;
                gotE = gotDot = true;
            } else if (c != kEnd && !gotDot && c == '.') {
                number += '.';
                gotDot = true;
            } else {
                in.putBack();
                break;
            }
            c = in.take();
        }
        in.settle();
        const size_t prefix = (gotSign ? 1 : 0) + (hex ? 2 : 0);
        if (number.size() == prefix) return false;
    }
    in.settle();
    // The collected bytes are converted like strtof; only a prefix may form the number ("1e"
    // gives 1, ".e" gives nothing), and the bytes past that prefix stay consumed. Plain decimals
    // go through from_chars, which rounds as strtof does and is several times faster; what it
    // does not take (hex, nan, inf, results out of float's range) goes to strtof itself.
    if (!special && !hex) {
        const char* first = number.data() + (number.front() == '+' ? 1 : 0);
        float parsed;
        if (decimalFromChars(first, number.data() + number.size(), parsed)) {
            value = parsed;
            return true;
        }
    }
    char* end = nullptr;
    const float result = std::strtof(number.c_str(), &end);
    if (end == number.c_str()) return false;
    value = result;
    return true;
}

bool findToken(TokenReader& reader, std::string_view keyword) {
    std::string_view token;
    while (readToken(reader, token))
        if (token == keyword) return true;
    return false;
}

} // namespace kestrune
