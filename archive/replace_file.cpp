// Replacing a file safely through a temporary beside it (see replace_file.h).
#include "archive/replace_file.h"

#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kestrune {

std::string resolveLinks(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path current(path);
    std::error_code error;
    // A bounded walk: a loop of links ends as the path it reached.
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(current, error)); ++hops) {
        fs::path next = fs::read_symlink(current, error);
        if (error) break;
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return current.string();
}

bool existsReadOnly(const std::string& path) {
#ifdef _WIN32
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_READONLY);
#else
    // Renaming over a file needs only the folder's permission; the file's own bits say whether
    // its owner meant it to change, so they are asked for the effective user.
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 &&
           (errno == EACCES || errno == EPERM || errno == EROFS);
#endif
}

FileReplacement::FileReplacement(const std::string& target, FileLayer& files)
    : files_(&files), target_(resolveLinks(target)) {
    if (existsReadOnly(target_)) return;
    file_ = files_->createTemporary(target_, temporary_);
    if (!file_) temporary_.clear();
}

bool FileReplacement::write(const void* data, size_t n) {
    if (!file_ || failed_) return false;
    failed_ = !files_->write(file_, data, n);
    return !failed_;
}

bool FileReplacement::commit() {
    if (!file_) return false;
    bool ok = !failed_;
    ok = files_->finish(file_) && ok;
    file_ = nullptr;
    ok = ok && files_->replace(temporary_, target_);
    if (ok) temporary_.clear();
    abort();
    return ok;
}

void FileReplacement::abort() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) files_->discard(temporary_);
    temporary_.clear();
}

} // namespace kestrune
