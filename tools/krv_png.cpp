// PNG files written by krv: frames encoded in memory, then put in place whole.
#include "tools/krv_png.h"

#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "archive/replace_file.h"
#include "tools/krv_files.h"

namespace kestrune {

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void noFlush(png_structp) {}

} // namespace

bool encodePng(const uint8_t* rgb, int width, int height, int zlibLevel, std::vector<uint8_t>& out) {
    out.clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    volatile bool ok = false; // survives libpng's error jump
    if (info && !setjmp(png_jmpbuf(png))) {
        png_set_write_fn(png, &out, appendBytes, noFlush);
        png_set_compression_level(png, zlibLevel);
        // At low levels the filters cost more time than they save bytes, and runs after the
        // SUB filter are what zlib finds in rendered frames.
        if (zlibLevel <= 2) {
            png_set_filter(png, 0, PNG_FILTER_SUB);
            png_set_compression_strategy(png, Z_RLE);
        }
        png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        const size_t row = size_t(width) * 3;
        for (int y = 0; y < height; ++y)
            png_write_row(png, const_cast<png_bytep>(rgb + size_t(y) * row));
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    return ok;
}

bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string& error) {
    if (!checkOutputIsNotFolder(path, error)) return false;
    errno = 0;
    FileReplacement file(path);
    if (file.isOpen() && file.write(bytes.data(), bytes.size()) && file.commit()) return true;
    error = "cannot write '" + path + "'" + (errno ? std::string(": ") + std::strerror(errno) : "");
    return false;
}

} // namespace kestrune
