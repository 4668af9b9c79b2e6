// Reads a content file whole: the loose file in the working directory first, then the archive.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrune {

// The file's bytes, or none when it is in neither place or cannot be read.
std::optional<std::vector<uint8_t>> readContentFile(const char* name);

} // namespace kestrune
