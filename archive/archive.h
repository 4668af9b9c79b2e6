// The data archive: zlib-packed entries, a packed directory of 48-byte records and a 15-byte
// trailer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/replace_file.h"
#include "binary/byte_reader.h"

namespace kestrune {

constexpr int kArchiveNameSize = 32;    // entry name field, NUL-terminated inside
constexpr int kArchiveRecordSize = 48;  // one directory record on disk
constexpr int kArchiveTrailerSize = 15; // count, unpacked size, packed size, ":-)"
constexpr const char* kNoArchiveName = "NO_FILE_SELECTED";

// One directory record as held in memory; on disk it is 48 little-endian bytes.
struct ArchiveEntry {
    char name[kArchiveNameSize]; // at most 31 characters
    uint32_t offset;             // of the entry's zlib stream from the start of the file
    uint32_t endOffset;          // offset + packedSize (written, never read)
    uint32_t unpackedSize;       // bytes
    uint32_t packedSize;         // bytes
};


// The process-wide name used by archives constructed without a name.
void setDefaultArchiveName(const char* name);
const char* defaultArchiveName();

// What opening found at the end of the file.
enum class DirectoryState {
    Closed,  // no file open
    Empty,   // an empty file: an archive with no entries yet
    Valid,   // a directory was read
    Foreign, // the file does not end in ":-)": not an archive, its bytes are kept
    Damaged, // ends in ":-)" but the trailer or directory cannot be read: no entries
};

class DataArchive {
public:
    DataArchive(); // the default name
    explicit DataArchive(const char* name, FileLayer& files = systemFileLayer());
    ~DataArchive();
    DataArchive(const DataArchive&) = delete;
    DataArchive& operator=(const DataArchive&) = delete;

    void reopen(const char* name);
    // Writes the directory when entries were added since it was last read or written.
    // False when that write failed; the file on disk is then the archive as it was.
    bool close();
    // Closes without writing what was added or marked since the last write.
    void discardChanges();

    bool isOpen() const { return file_ != nullptr; }
    DirectoryState directoryState() const { return state_; }
    // Why the directory was found Foreign or Damaged; empty otherwise.
    std::string_view refusal() const { return refusal_.reason; }
    int find(const char* name) const; // index of the first match, -1 if none
    std::optional<std::vector<uint8_t>> extract(const char* name) const;
    std::optional<std::vector<uint8_t>> extractAt(int index) const;
    // The same from an image of the whole file (readImage), without touching the stream: several
    // threads may unpack from one image at once while nothing else uses the archive.
    std::optional<std::vector<uint8_t>> extractAt(int index, std::span<const uint8_t> image) const;
    // Reads the whole file into image; false (image empty) when it cannot, or is over limit bytes.
    bool readImage(std::vector<uint8_t>& image, uint64_t limit) const;

    int entryCount() const { return count_; }
    uint32_t unpackedSize(int index) const { return directory_[index].unpackedSize; }
    uint32_t packedSize(int index) const { return directory_[index].packedSize; }
    const ArchiveEntry& entry(int index) const { return directory_[index]; }
    const char* fileName() const { return fileName_.c_str(); }

    bool add(const char* sourcePath, const char* entryName);
    bool addBytes(const uint8_t* data, size_t size, const char* entryName);
    bool remove(const char* entryName); // rewrites the file at once
    // For one change made of several: an entry marked here stays readable until the next write,
    // which drops every marked entry and adds every pending one in a single new file. False for
    // an index out of range or of an entry added since the last write.
    bool markRemoved(int index);
    bool writeDirectory();

private:
    void open(const char* name);
    void readDirectory();
    bool blockInData(const ArchiveEntry& entry) const;
    bool rewrite();

    std::string fileName_; // whole, of any length the system allows
    int32_t count_ = 0;
    int32_t savedCount_ = 0;
    uint32_t dataEnd_ = 0; // where the entry data ends and the directory begins
    std::vector<ArchiveEntry> directory_;
    std::vector<std::vector<uint8_t>> pending_; // packed blocks added since the last write
    std::vector<int> removing_;                 // indices marked for removal at the next write
    std::FILE* file_ = nullptr;                 // opened for reading only
    uint64_t fileSize_ = 0;
    DirectoryState state_ = DirectoryState::Closed;
    Refusal refusal_;
    FileLayer* files_;
};

// Archive entry names match when equally long and each pair of signed bytes x, y has
// x == y, x == y + 32 or y == x + 32.
bool archiveNamesMatch(const char* entryName, const char* lookupName);

} // namespace kestrune
