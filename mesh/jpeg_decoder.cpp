// JPEG decoding through libjpeg from bytes in memory, into bottom-up, tightly packed RGB rows.
#include <csetjmp>
#include <cstdio>
#include <new>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "archive/content_file.h"
#include "mesh/texture.h"

namespace kestrune {

namespace {

// The library's error manager with its error exit turned into a jump back to the decoder, so a
// corrupt file ends the decode (after the library's own message) instead of the process.
struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf recovery;
};

[[noreturn]] void jumpOut(j_common_ptr info) {
    auto* error = reinterpret_cast<JpegError*>(info->err);
    (*info->err->output_message)(info);
    std::longjmp(error->recovery, 1);
}

void sayNothing(j_common_ptr) {}

// Kept apart from decodeJpegBytes so that no object with a destructor lives in the frame the
// library jumps back into. Fills pixels (already empty) and returns true on success. quiet: the
// library's messages are not printed, and an image it warned about counts as a failure.
bool decodeInto(const uint8_t* data, size_t size, int32_t& width, int32_t& height,
                int64_t maxPixels, bool quiet, std::vector<uint8_t>& pixels) {
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpOut;
    if (quiet) error.manager.output_message = sayNothing;
    // Everything a jump back may see is volatile or lives outside this frame.
    volatile bool created = false;
    if (setjmp(error.recovery)) {
        if (created) jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    created = true;
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    width = static_cast<int32_t>(info.image_width);
    height = static_cast<int32_t>(info.image_height);
    const int64_t pixelCount = int64_t{info.image_width} * info.image_height;
    // Images beyond the size limit are refused before the result block is allocated.
    if (pixelCount <= 0 || pixelCount > maxPixels) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_start_decompress(&info);
    // Colour images come out as RGB and greyscale ones are expanded to it; other layouts
    // (CMYK) are refused.
    const int components = info.output_components;
    if ((components != 3 && components != 1) || info.output_width != info.image_width ||
        info.output_height != info.image_height) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    const size_t rowBytes = size_t{info.output_width} * 3;
    try {
        pixels.resize(rowBytes * info.output_height);
    } catch (const std::bad_alloc&) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    // Colour rows are decoded straight into their place in the bottom-up result; greyscale ones
    // go through one row of the library's and are expanded.
    JSAMPARRAY grey = nullptr;
    if (components == 1)
        grey = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                         info.output_width, 1);
    while (info.output_scanline < info.output_height) {
        uint8_t* out = pixels.data() + rowBytes * (info.output_height - 1 - info.output_scanline);
        JSAMPROW target = grey ? grey[0] : out;
        if (jpeg_read_scanlines(&info, &target, 1) != 1) break;
        if (grey)
            for (JDIMENSION x = 0; x < info.output_width; ++x)
                out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = grey[0][x];
    }
    jpeg_finish_decompress(&info);
    const bool warned = error.manager.num_warnings > 0;
    jpeg_destroy_decompress(&info);
    return !(quiet && warned);
}

std::optional<std::vector<uint8_t>> decodeBytes(const uint8_t* data, size_t size, int32_t& width,
                                                int32_t& height, int64_t maxPixels, bool quiet) {
    std::vector<uint8_t> pixels;
    // The library refuses an empty source with a fatal error of its own.
    if (size == 0 || !decodeInto(data, size, width, height, maxPixels, quiet, pixels))
        return std::nullopt;
    return pixels;
}

} // namespace

std::optional<std::vector<uint8_t>> decodeJpegBytes(const uint8_t* data, size_t size,
                                                    int32_t& width, int32_t& height,
                                                    int64_t maxPixels) {
    return decodeBytes(data, size, width, height, maxPixels, false);
}

std::optional<std::vector<uint8_t>> decodeJpegQuietly(const uint8_t* data, size_t size,
                                                      int32_t& width, int32_t& height) {
    return decodeBytes(data, size, width, height, kMaxTexturePixels, true);
}

std::optional<std::vector<uint8_t>> decodeJpeg(const char* name, int32_t& width, int32_t& height) {
    // Archived images are decoded straight from the extracted bytes. The show once wrote each to
    // a file of the texture's name in the working directory first; a name taken from an object
    // file could then write anywhere ("../x", "/tmp/x").
    auto bytes = readContentFile(name);
    if (!bytes) return std::nullopt;
    return decodeJpegBytes(bytes->data(), bytes->size(), width, height);
}

} // namespace kestrune
