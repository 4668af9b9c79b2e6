// Replacing a file safely: the new bytes go to a uniquely named temporary file beside the target,
// are flushed to disk and renamed over the target only on commit, so a crash, a full disk or a
// refusal leaves either the old file or the new one under the target's name, never a mixture.
// An existing target keeps its permission bits, group and owner where the system allows (its
// read-only attribute on Windows); a symlinked target is replaced at its real path, so the link
// stays a link. A target the caller cannot write is refused. Until commit, destruction or abort()
// removes the temporary file.
#pragma once

#include <cstdio>
#include <string>

namespace kestrune {

// The file operations behind a replacement and the data archive, so tests can fail or cut any.
class FileLayer {
public:
    virtual ~FileLayer() = default;
    virtual std::FILE* openRead(const std::string& path) = 0;
    virtual std::FILE* createNew(const std::string& path) = 0; // empty, for writing
    // A new empty file under a unique name in target's folder, for writing, with an existing
    // target's permission bits, group and owner where allowed; its path goes to temporary.
    virtual std::FILE* createTemporary(const std::string& target, std::string& temporary) = 0;
    // Writes n bytes; false on any failure (a cut write may have written part of them).
    virtual bool write(std::FILE* file, const void* data, size_t n) = 0;
    virtual bool finish(std::FILE* file) = 0; // flush to disk and close; false on failure
    virtual bool replace(const std::string& from, const std::string& to) = 0; // atomic rename
    virtual void discard(const std::string& path) = 0;
};

FileLayer& systemFileLayer();

// The path a write to path lands on: symlinks followed to the file they name (which may not exist
// yet); any other path unchanged.
std::string resolveLinks(const std::string& path);

// True when path exists and the caller may not write it (mode bits for this user, the read-only
// attribute on Windows). A missing path is writable here; whether its folder is shows on create.
bool existsReadOnly(const std::string& path);

// One replacement of one file. Typical use:
//     FileReplacement out(path);
//     if (!out.isOpen()) ... cannot be written
//     for each chunk: if (!out.write(chunk, n)) ... (the temporary goes when out does)
//     if (!out.commit()) ... cannot be written
class FileReplacement {
public:
    explicit FileReplacement(const std::string& target, FileLayer& files = systemFileLayer());
    ~FileReplacement() { abort(); }
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    bool write(const void* data, size_t n); // false once any write has failed
    // Flushes, syncs and renames into place; false (and the target untouched) on any failure.
    bool commit();
    void abort(); // removes the temporary; the target stays as it was

    const std::string& target() const { return target_; }       // after following links
    const std::string& temporary() const { return temporary_; } // empty when none was made

private:
    FileLayer* files_;
    std::string target_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

} // namespace kestrune
