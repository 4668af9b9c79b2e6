// Writes JPEG files for texture tests: one solid colour, or a pattern given per pixel.
#pragma once

#include <cstdio>
#include <functional>
#include <vector>

#include <jpeglib.h>

namespace kestrune::test {

// pixel(x, y, rgb) fills the pixel at column x of row y (top row first). Full-resolution chroma
// and quality 100, so that small patterns keep their colours.
inline bool writeJpeg(const char* path, int width, int height,
                      const std::function<void(int, int, unsigned char*)>& pixel) {
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
    for (int c = 0; c < info.num_components; ++c)
        info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(size_t(width) * 3);
    while (info.next_scanline < info.image_height) {
        for (int x = 0; x < width; ++x) pixel(x, int(info.next_scanline), &row[size_t(x) * 3]);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
    return true;
}

inline bool writeSolidJpeg(const char* path, int width, int height, unsigned char r,
                           unsigned char g, unsigned char b) {
    return writeJpeg(path, width, height, [=](int, int, unsigned char* rgb) {
        rgb[0] = r;
        rgb[1] = g;
        rgb[2] = b;
    });
}

} // namespace kestrune::test
