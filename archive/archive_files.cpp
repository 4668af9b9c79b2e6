// The real file layer under the data archive: stdio streams, fsync before close, rename to replace.
#include <cstdio>
#include <filesystem>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "archive/archive.h"

namespace kestrune {
namespace {

class SystemArchiveFiles final : public ArchiveFiles {
public:
    std::FILE* openRead(const std::string& path) override { return std::fopen(path.c_str(), "rb"); }
    std::FILE* createNew(const std::string& path) override {
        return std::fopen(path.c_str(), "wb");
    }
    bool write(std::FILE* file, const void* data, size_t n) override {
        return n == 0 || std::fwrite(data, 1, n, file) == n;
    }
    bool finish(std::FILE* file) override {
        bool ok = std::fflush(file) == 0;
// The rename that follows must never publish a file whose bytes are still in flight.
#ifdef _WIN32
        ok = ok && ::_commit(::_fileno(file)) == 0;
#else
        ok = ok && ::fsync(::fileno(file)) == 0;
#endif
        return std::fclose(file) == 0 && ok;
    }
    bool replace(const std::string& from, const std::string& to) override {
#ifdef _WIN32
        // MinGW's std::filesystem::rename will not replace an existing file.
        return MoveFileExA(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#endif
        std::error_code error;
        std::filesystem::rename(from, to, error);
        return !error;
    }
    void discard(const std::string& path) override {
        std::error_code error;
        std::filesystem::remove(path, error);
    }
};

} // namespace

ArchiveFiles& systemArchiveFiles() {
    static SystemArchiveFiles files;
    return files;
}

} // namespace kestrune
