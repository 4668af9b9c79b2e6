// The real file layer under replacements and the data archive: stdio streams, uniquely named
// temporary files that take on the target's identity, fsync before close, rename to replace.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "archive/replace_file.h"

namespace kestrune {
namespace {

// A name no other writer picks: the process id, a per-process counter and clock bits, behind a dot
// and the target's own name (cut so the whole stays within the usual 255-byte name limit).
std::string temporaryNameFor(const std::filesystem::path& target, int attempt) {
    static std::atomic<unsigned> counter{0};
#ifdef _WIN32
    unsigned long process = GetCurrentProcessId();
#else
    unsigned long process = (unsigned long)::getpid();
#endif
    unsigned long long clock =
        (unsigned long long)std::chrono::steady_clock::now().time_since_epoch().count();
    char suffix[80];
    std::snprintf(suffix, sizeof suffix, ".%lu-%u-%d-%llx.tmp", process, counter++, attempt,
                  clock & 0xffffffffffull);
    std::string leaf = target.filename().string().substr(0, 160);
    return (target.parent_path() / ("." + leaf + suffix)).string();
}

class SystemFileLayer final : public FileLayer {
public:
    std::FILE* openRead(const std::string& path) override { return std::fopen(path.c_str(), "rb"); }
    std::FILE* createNew(const std::string& path) override {
        return std::fopen(path.c_str(), "wb");
    }
    std::FILE* createTemporary(const std::string& target, std::string& temporary) override {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string candidate = temporaryNameFor(target, attempt);
            int fd = openExclusive(target, candidate);
            if (fd == -2) continue; // the name was taken: try another
            if (fd < 0) return nullptr;
#ifdef _WIN32
            std::FILE* file = ::_fdopen(fd, "wb");
            if (!file) ::_close(fd);
#else
            std::FILE* file = ::fdopen(fd, "wb");
            if (!file) ::close(fd);
#endif
            if (!file) {
                discard(candidate);
                return nullptr;
            }
            temporary = candidate;
            return file;
        }
        return nullptr;
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
        // ReplaceFile keeps the replaced file's attributes and security; a target that does not
        // exist yet is simply moved to. MinGW's std::filesystem::rename will not replace.
        if (ReplaceFileA(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                         nullptr, nullptr))
            return true;
        return MoveFileExA(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
        if (::rename(from.c_str(), to.c_str()) != 0) return false;
        // The new name is durable only once the folder itself is on disk.
        std::string folder = std::filesystem::path(to).parent_path().string();
        int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
#endif
    }
    void discard(const std::string& path) override {
        std::error_code error;
        std::filesystem::remove(path, error);
    }

private:
    // The descriptor of a new file at candidate; -2 when the name exists, -1 on other failures.
    static int openExclusive(const std::string& target, const std::string& candidate) {
#ifdef _WIN32
        (void)target;
        int fd = ::_open(candidate.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                         _S_IREAD | _S_IWRITE);
        if (fd < 0) return errno == EEXIST ? -2 : -1;
        return fd;
#else
        struct stat old;
        bool replacing = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
        // A new file gets the usual 0666 less umask; a replacement starts private and then takes
        // on the old file's group, owner and bits.
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                        replacing ? 0600 : 0666);
        if (fd < 0) return errno == EEXIST ? -2 : -1;
        if (replacing) {
            // Only root may give a file away; anyone may keep a group they belong to. Ownership
            // goes first because changing it clears set-id bits.
            if (::fchown(fd, old.st_uid, old.st_gid) != 0 &&
                ::fchown(fd, uid_t(-1), old.st_gid) != 0) {
                // Neither is allowed: the caller stays the owner, as any rewrite would make it.
            }
            if (::fchmod(fd, old.st_mode & 07777) != 0) {
                // Cannot happen while the caller owns the file; it would stay private (0600).
            }
        }
        return fd;
#endif
    }
};

} // namespace

FileLayer& systemFileLayer() {
    static SystemFileLayer files;
    return files;
}

} // namespace kestrune
