// A small streaming JSON writer for krv's machine-readable output (indented, stable key order).
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace kestrune {

class JsonWriter {
public:
    explicit JsonWriter(std::FILE* out) : out_(out) {}

    void beginObject() { open('{'); }
    void endObject() { close('}'); }
    void beginArray() { open('['); }
    void endArray() { close(']'); }

    // Inside an object every value is preceded by its key.
    void key(std::string_view name) {
        separate();
        writeString(name);
        std::fputs(": ", out_);
        afterKey_ = true;
    }

    void value(std::string_view text) {
        separate();
        writeString(text);
    }
    void value(const char* text) { value(std::string_view(text)); }
    void value(bool flag) {
        separate();
        std::fputs(flag ? "true" : "false", out_);
    }
    void value(int64_t number) {
        separate();
        std::fprintf(out_, "%lld", static_cast<long long>(number));
    }
    void value(int32_t number) { value(static_cast<int64_t>(number)); }
    void value(uint32_t number) { value(static_cast<int64_t>(number)); }
    void value(uint16_t number) { value(static_cast<int64_t>(number)); }
    void value(uint8_t number) { value(static_cast<int64_t>(number)); }
    // The shortest text that reads back as the same float; NaN and infinities (which JSON cannot
    // hold) are written as null.
    void value(float number) {
        separate();
        if (!std::isfinite(number)) {
            std::fputs("null", out_);
            return;
        }
        char text[32];
        const auto result = std::to_chars(text, text + sizeof text, number);
        std::fwrite(text, 1, static_cast<size_t>(result.ptr - text), out_);
    }
    void null() {
        separate();
        std::fputs("null", out_);
    }

    // Short arrays of numbers stay on one line.
    void floats(const float* values, int count) {
        separate();
        std::fputc('[', out_);
        for (int i = 0; i < count; ++i) {
            if (i) std::fputs(", ", out_);
            if (!std::isfinite(values[i])) {
                std::fputs("null", out_);
                continue;
            }
            char text[32];
            const auto result = std::to_chars(text, text + sizeof text, values[i]);
            std::fwrite(text, 1, static_cast<size_t>(result.ptr - text), out_);
        }
        std::fputc(']', out_);
    }
    void ints(const int32_t* values, int count) {
        separate();
        std::fputc('[', out_);
        for (int i = 0; i < count; ++i) std::fprintf(out_, i ? ", %d" : "%d", values[i]);
        std::fputc(']', out_);
    }

    // Ends the document with a newline.
    void finish() { std::fputc('\n', out_); }

private:
    void open(char bracket) {
        separate();
        std::fputc(bracket, out_);
        counts_.push_back(0);
    }
    void close(char bracket) {
        const bool empty = counts_.back() == 0;
        counts_.pop_back();
        if (!empty) newline();
        std::fputc(bracket, out_);
    }
    // Commas and line breaks before a value or key.
    void separate() {
        if (afterKey_) {
            afterKey_ = false;
            return;
        }
        if (counts_.empty()) return;
        if (counts_.back()++ > 0) std::fputc(',', out_);
        newline();
    }
    void newline() {
        std::fputc('\n', out_);
        for (size_t i = 0; i < counts_.size(); ++i) std::fputs("  ", out_);
    }
    void writeString(std::string_view text) {
        std::fputc('"', out_);
        for (unsigned char c : text) {
            if (c == '"' || c == '\\') {
                std::fputc('\\', out_);
                std::fputc(c, out_);
            } else if (c < 0x20) {
                std::fprintf(out_, "\\u%04x", c);
            } else if (c >= 0x80) {
                // Names are 8-bit bytes, not UTF-8: each byte maps to the code point of its value.
                std::fprintf(out_, "\\u%04x", c);
            } else {
                std::fputc(c, out_);
            }
        }
        std::fputc('"', out_);
    }

    std::FILE* out_;
    std::vector<int> counts_; // values written so far at each open level
    bool afterKey_ = false;
};

} // namespace kestrune
