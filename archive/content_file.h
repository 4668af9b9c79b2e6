// Reading a content file whole: the loose file in the working directory first, then the archive.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrune {

// The whole file, or none when it cannot be opened or read (a folder, say).
std::optional<std::vector<uint8_t>> readWholeFile(const char* path);

// The loose file of that name if it can be read, else the entry of the default archive; none when
// it is in neither place.
std::optional<std::vector<uint8_t>> readContentFile(const char* name);

} // namespace kestrune
