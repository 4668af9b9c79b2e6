// The writers' lock of an archive: held around a whole read-modify-replace so that writers at the
// same time follow one another and none is lost. It locks the archive itself (every replacement
// gives the file a new identity, so the lock is taken again until it holds the current one), or on
// Windows a named lock for the archive's full path, and leaves no lock file behind.
#pragma once

#include <string>

namespace kestrune {

class ArchiveLock {
public:
    // Waits for the lock on the archive at path (links already followed). A missing archive is
    // created empty to be locked when createMissing is set; otherwise the lock is not held.
    ArchiveLock(const std::string& path, bool createMissing);
    ~ArchiveLock();
    ArchiveLock(const ArchiveLock&) = delete;
    ArchiveLock& operator=(const ArchiveLock&) = delete;

    bool held() const { return held_; }
    // Removes the empty archive this lock created, when it is still empty: a refused change leaves
    // no file behind.
    void undoCreate();

private:
    std::string path_;
    bool held_ = false;
    bool created_ = false;
#ifdef _WIN32
    void* mutex_ = nullptr;
#else
    int fd_ = -1;
#endif
};

} // namespace kestrune
