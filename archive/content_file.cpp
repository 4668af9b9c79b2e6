// Loose file first, then the default data archive, as every loader of the show does.
#include "archive/content_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "archive/archive.h"

namespace kestrune {
namespace {

// What identifies one version of a file cheaply: a replaced or rewritten archive differs in one
// of these.
struct FileStamp {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modifiedSeconds = 0, modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> stampOf(const char* path) {
    struct stat info;
    if (::stat(path, &info) != 0) return std::nullopt;
    FileStamp stamp;
    stamp.device = uint64_t(info.st_dev);
    stamp.inode = uint64_t(info.st_ino);
    stamp.size = uint64_t(info.st_size);
#if defined(__APPLE__)
    stamp.modifiedSeconds = info.st_mtimespec.tv_sec;
    stamp.modifiedNanoseconds = info.st_mtimespec.tv_nsec;
#elif defined(_WIN32)
    stamp.modifiedSeconds = info.st_mtime;
#else
    stamp.modifiedSeconds = info.st_mtim.tv_sec;
    stamp.modifiedNanoseconds = info.st_mtim.tv_nsec;
#endif
    return stamp;
}

struct KeptArchive {
    int holders = 0;
    std::string name;
    FileStamp stamp;
    std::unique_ptr<DataArchive> archive;
};

KeptArchive& kept() {
    static KeptArchive k;
    return k;
}

// The kept archive when it is still the default archive as it is on disk now, opened again when
// it is not; null when the file cannot be stamped (missing: the plain path creates it).
const DataArchive* keptArchive() {
    KeptArchive& k = kept();
    const char* name = defaultArchiveName();
    const auto before = stampOf(name);
    if (!before) return nullptr;
    if (k.archive && k.name == name && k.stamp == *before) return k.archive.get();
    k.archive.reset();
    auto archive = std::make_unique<DataArchive>(name);
    // Changed while it was being opened: not kept, as the directory may be of either version.
    const auto after = stampOf(name);
    if (!after || !(*after == *before)) return nullptr;
    k.name = name;
    k.stamp = *before;
    k.archive = std::move(archive);
    return k.archive.get();
}

} // namespace

ArchiveKeptOpen::ArchiveKeptOpen() {
    ++kept().holders;
}

ArchiveKeptOpen::~ArchiveKeptOpen() {
    if (--kept().holders == 0) kept().archive.reset();
}

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
    if (kept().holders > 0 && defaultArchiveName() != std::string_view(kNoArchiveName))
        if (const DataArchive* archive = keptArchive()) return archive->extract(name);
    DataArchive archive;
    return archive.extract(name);
}

} // namespace kestrune
