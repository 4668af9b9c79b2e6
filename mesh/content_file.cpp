// Loose file first, then the default data archive, as every loader of the show does.
#include "mesh/content_file.h"

#include <cstdio>
#include <new>

#include "archive/archive.h"

namespace kestrune {

namespace {

// Some systems let a directory open as a stream; only a file whose size can be found and whose
// bytes can all be read counts as found.
std::optional<std::vector<uint8_t>> readLooseFile(std::FILE* file) {
    std::optional<std::vector<uint8_t>> result;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        long length = std::ftell(file);
        if (length >= 0 && std::fseek(file, 0, SEEK_SET) == 0) {
            try {
                std::vector<uint8_t> bytes(static_cast<size_t>(length));
                if (std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size())
                    result = std::move(bytes);
            } catch (const std::bad_alloc&) {
                // Too large to hold: treated as unreadable.
            }
        }
    }
    return result;
}

} // namespace

std::optional<std::vector<uint8_t>> readContentFile(const char* name) {
    if (std::FILE* file = std::fopen(name, "rb")) {
        auto bytes = readLooseFile(file);
        std::fclose(file);
        if (bytes) return bytes;
    }
    DataArchive archive;
    if (archive.find(name) < 0) return std::nullopt;
    return archive.extract(name);
}

} // namespace kestrune
