// PNG files written by krv: frames encoded in memory, then put in place whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrune {

// Encodes height rows of width three-byte RGB pixels, top row first, at a zlib level 0..9
// (1 for frames that are large and short-lived). False when libpng fails.
bool encodePng(const uint8_t* rgb, int width, int height, int zlibLevel, std::vector<uint8_t>& out);

// Writes bytes to path through a temporary file beside it, renamed into place once complete.
// False, with a one-line reason in error, when that fails; path is then as it was.
bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string& error);

} // namespace kestrune
