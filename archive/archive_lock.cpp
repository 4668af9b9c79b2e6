// The writers' lock of an archive (see archive_lock.h).
#include "archive/archive_lock.h"

#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestrune {

#ifdef _WIN32

ArchiveLock::ArchiveLock(const std::string& path, bool createMissing) : path_(path) {
    // Windows will not rename over an open file, so the file itself cannot hold the lock across
    // the replacement: a named mutex per full path does, and vanishes with its last handle.
    char full[MAX_PATH * 4];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return;
    uint64_t hash = 1469598103934665603ull; // FNV-1a of the case-folded path
    for (DWORD i = 0; i < length; ++i) {
        char c = full[i] >= 'A' && full[i] <= 'Z' ? char(full[i] + 32) : full[i];
        hash = (hash ^ uint8_t(c)) * 1099511628211ull;
    }
    char name[64];
    std::snprintf(name, sizeof name, "Local\\kestrune-archive-%016llx", (unsigned long long)hash);
    mutex_ = CreateMutexA(nullptr, FALSE, name);
    if (!mutex_) return;
    DWORD waited = WaitForSingleObject(mutex_, INFINITE);
    // An abandoned lock belonged to a writer that died; its archive was never half replaced.
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    if (!held_ || !createMissing) return;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        created_ = true;
        CloseHandle(file);
    }
}

ArchiveLock::~ArchiveLock() {
    if (held_) ReleaseMutex(mutex_);
    if (mutex_) CloseHandle(mutex_);
}

void ArchiveLock::undoCreate() {
    std::error_code error;
    if (created_ && held_ && std::filesystem::file_size(path_, error) == 0 && !error)
        std::filesystem::remove(path_, error);
    created_ = false;
}

#else

ArchiveLock::ArchiveLock(const std::string& path, bool createMissing) : path_(path) {
    for (int attempt = 0; attempt < 10000; ++attempt) {
        bool created = false;
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT && createMissing) {
            fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno == EEXIST) continue; // another writer made it first
            created = fd >= 0;
        }
        if (fd < 0) return;
        int locked;
        while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        // The lock counts only if the locked file is still the one at path: a writer that held
        // the lock before may have replaced it meanwhile.
        struct stat mine, current;
        if (locked == 0 && ::fstat(fd, &mine) == 0 && ::stat(path.c_str(), &current) == 0 &&
            mine.st_dev == current.st_dev && mine.st_ino == current.st_ino) {
            fd_ = fd;
            held_ = true;
            created_ = created;
            return;
        }
        ::close(fd);
        if (locked != 0) return;
    }
}

ArchiveLock::~ArchiveLock() {
    if (fd_ >= 0) ::close(fd_); // closing releases the lock
}

void ArchiveLock::undoCreate() {
    struct stat mine, current;
    if (created_ && held_ && ::fstat(fd_, &mine) == 0 && ::stat(path_.c_str(), &current) == 0 &&
        mine.st_ino == current.st_ino && mine.st_dev == current.st_dev && current.st_size == 0)
        ::unlink(path_.c_str());
    created_ = false;
}

#endif

} // namespace kestrune
