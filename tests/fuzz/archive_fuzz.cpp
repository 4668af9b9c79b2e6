// Opens arbitrary bytes as an archive, extracts every entry, then removes and adds one.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "archive/archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kestrune;
    if (size > (1 << 20)) return 0;
    static const std::string path = "/tmp/krv-fuzz-archive-" + std::to_string(::getpid()) + ".dat";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    {
        DataArchive archive(path.c_str());
        for (int i = 0; i < archive.entryCount(); ++i) {
            auto bytes = archive.extractAt(i);
            if (bytes && bytes->size() != archive.unpackedSize(i)) __builtin_trap();
            if (archive.find(archive.entry(i).name) > i) __builtin_trap();
        }
        if (archive.entryCount() > 0) archive.remove(archive.entry(0).name);
        archive.addBytes(data, size < 64 ? size : 64, "fuzz");
    }
    {
        DataArchive again(path.c_str());
        if (again.directoryState() == DirectoryState::Valid && again.find("fuzz") < 0)
            __builtin_trap();
    }
    std::remove(path.c_str());
    return 0;
}
