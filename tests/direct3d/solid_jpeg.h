// Writes a JPEG file of one solid colour, for texture tests.
#pragma once

#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace kestrune::test {

inline bool writeSolidJpeg(const char* path, int width, int height, unsigned char r,
                           unsigned char g, unsigned char b) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(size_t(width) * 3);
    for (int x = 0; x < width; ++x) {
        row[size_t(x) * 3] = r;
        row[size_t(x) * 3 + 1] = g;
        row[size_t(x) * 3 + 2] = b;
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
    return true;
}

} // namespace kestrune::test
