// Loose file first, then the default data archive, as every loader of the show does.
#include "archive/content_file.h"

#include <cstdio>

#include "archive/archive.h"

namespace kestrune {

std::optional<std::vector<uint8_t>> readWholeFile(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return std::nullopt;
    // Read in blocks rather than trusting a size from seeking: some systems open a folder as a
    // stream, and a file may change size while it is read.
    std::vector<uint8_t> bytes;
    uint8_t block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        bytes.insert(bytes.end(), block, block + got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return std::nullopt;
    return bytes;
}

std::optional<std::vector<uint8_t>> readContentFile(const char* name) {
    if (auto bytes = readWholeFile(name)) return bytes;
    DataArchive archive;
    return archive.extract(name);
}

} // namespace kestrune
