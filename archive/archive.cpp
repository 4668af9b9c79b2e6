// The data archive: reading the directory, finding and extracting entries, adding and removing
// them.
#include "archive/archive.h"

#include "archive/content_file.h"
#include "binary/byte_reader.h"
#include "binary/byte_writer.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>

#include <zlib.h>

namespace kestrune {
namespace {

// Kept whole: a name cut to a fixed buffer would open, or create, some other file.
std::string defaultName = kNoArchiveName;

const uint8_t kMagic[3] = {':', '-', ')'};

// Deflate cannot expand data by more than about 1032:1, so a size claiming more than this from a
// given packed size is a lie and is never allocated.
uint64_t maxUnpackedFor(uint64_t packed) {
    return packed * 1040 + 64;
}

bool readAt(std::FILE* file, uint64_t offset, void* out, size_t n) {
    if (std::fseek(file, long(offset), SEEK_SET) != 0) return false;
    return n == 0 || std::fread(out, 1, n, file) == n;
}

uint64_t sizeOf(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return 0;
    long size = std::ftell(file);
    return size < 0 ? 0 : uint64_t(size);
}

// A buffer of n bytes, or false when memory runs out: an entry too large to hold reads as absent
// rather than ending the process.
bool tryResize(std::vector<uint8_t>& buffer, size_t n) {
    try {
        buffer.resize(n);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Level-9 zlib stream of the bytes; none when zlib refuses.
std::optional<std::vector<uint8_t>> compressBlock(const uint8_t* data, size_t size) {
    uLongf packedSize = compressBound(uLong(size));
    std::vector<uint8_t> packed(packedSize);
    const Bytef* source = size ? data : reinterpret_cast<const Bytef*>("");
    if (compress2(packed.data(), &packedSize, source, uLong(size), 9) != Z_OK) return std::nullopt;
    packed.resize(packedSize);
    return packed;
}

// Unpacks exactly unpackedSize bytes or nothing: a stream that is short, long or broken is absent.
std::optional<std::vector<uint8_t>> uncompressBlock(const uint8_t* packed, size_t packedSize,
                                                    uint32_t unpackedSize) {
    if (unpackedSize > maxUnpackedFor(packedSize)) return std::nullopt;
    std::vector<uint8_t> result;
    if (!tryResize(result, unpackedSize)) return std::nullopt;
    uint8_t spare = 0; // zlib wants somewhere to write even when nothing is expected
    uLongf length = unpackedSize;
    int status =
        uncompress(unpackedSize ? result.data() : &spare, &length, packed, uLong(packedSize));
    if (status != Z_OK || length != unpackedSize) return std::nullopt;
    return result;
}

std::optional<std::vector<uint8_t>> uncompressBlock(const std::vector<uint8_t>& packed,
                                                    uint32_t unpackedSize) {
    return uncompressBlock(packed.data(), packed.size(), unpackedSize);
}

void encodeRecord(const ArchiveEntry& entry, ByteWriter& out) {
    out.raw(entry.name, kArchiveNameSize);
    out.u32le(entry.offset);
    out.u32le(entry.endOffset);
    out.u32le(entry.unpackedSize);
    out.u32le(entry.packedSize);
}

ArchiveEntry decodeRecord(ByteReader in) {
    ArchiveEntry entry;
    const std::span<const uint8_t> name = in.bytes(kArchiveNameSize);
    std::memcpy(entry.name, name.data(), name.size());
    // A name that fills its field has no terminator on disk; it is read as its first 31 bytes.
    entry.name[kArchiveNameSize - 1] = 0;
    entry.offset = in.u32le();
    entry.endOffset = in.u32le();
    entry.unpackedSize = in.u32le();
    entry.packedSize = in.u32le();
    return entry;
}

} // namespace

void setDefaultArchiveName(const char* name) {
    defaultName = name ? name : "";
}

const char* defaultArchiveName() {
    return defaultName.c_str();
}

bool archiveNamesMatch(const char* entryName, const char* lookupName) {
    size_t length = std::strlen(entryName);
    if (length != std::strlen(lookupName)) return false;
    for (size_t i = 0; i < length; ++i) {
        int x = static_cast<signed char>(entryName[i]);
        int y = static_cast<signed char>(lookupName[i]);
        if (x != y && x != y + 32 && y != x + 32) return false;
    }
    return true;
}

DataArchive::DataArchive() : files_(&systemFileLayer()) {
    open(nullptr);
}

DataArchive::DataArchive(const char* name, FileLayer& files) : files_(&files) {
    open(name);
}

DataArchive::~DataArchive() {
    close();
}

void DataArchive::reopen(const char* name) {
    close();
    open(name);
}

void DataArchive::open(const char* name) {
    count_ = savedCount_ = 0;
    dataEnd_ = 0;
    fileSize_ = 0;
    directory_.clear();
    pending_.clear();
    removing_.clear();
    file_ = nullptr;
    state_ = DirectoryState::Closed;
    if (!name && defaultName == kNoArchiveName) return;
    fileName_ = name ? name : defaultName;

    // Readers open read-only, so they never need write permission and can never truncate.
    file_ = files_->openRead(fileName_);
    if (!file_) {
        std::error_code error;
        if (std::filesystem::exists(fileName_, error) || error) return;
        // A missing archive is created empty; adding to it fills it later.
        std::FILE* created = files_->createNew(fileName_);
        if (!created || !files_->finish(created)) return;
        file_ = files_->openRead(fileName_);
        if (!file_) return;
    }
    readDirectory();
}

void DataArchive::readDirectory() {
    refusal_ = {};
    fileSize_ = sizeOf(file_);
    // Until a valid directory is found, every byte is foreign and kept in front of new entries.
    dataEnd_ = uint32_t(std::min<uint64_t>(fileSize_, UINT32_MAX));
    if (fileSize_ == 0) {
        state_ = DirectoryState::Empty;
        return;
    }
    state_ = DirectoryState::Foreign;
    uint8_t magic[3];
    if (fileSize_ < 3 || !readAt(file_, fileSize_ - 3, magic, 3) || std::memcmp(magic, kMagic, 3)) {
        refuse(&refusal_, "the file does not end in the archive mark \":-)\"");
        return;
    }
    state_ = DirectoryState::Damaged;
    if (fileSize_ < uint64_t(kArchiveTrailerSize)) {
        refuse(&refusal_, "the file is shorter than the archive trailer");
        return;
    }
    if (fileSize_ > UINT32_MAX) {
        refuse(&refusal_, "the file is larger than 4 GiB");
        return;
    }
    uint8_t trailerBytes[kArchiveTrailerSize];
    if (!readAt(file_, fileSize_ - kArchiveTrailerSize, trailerBytes, sizeof trailerBytes)) {
        refuse(&refusal_, "the trailer cannot be read");
        return;
    }
    ByteReader trailer(trailerBytes, sizeof trailerBytes);
    uint32_t count = trailer.u32le();
    uint32_t unpacked = trailer.u32le();
    uint32_t packed = trailer.u32le();
    uint64_t available = fileSize_ - kArchiveTrailerSize;
    if (packed > available) {
        refuse(&refusal_, "the packed directory is larger than the file");
        return;
    }
    if (count > INT32_MAX / kArchiveRecordSize || uint64_t(count) * kArchiveRecordSize != unpacked) {
        refuse(&refusal_, "the directory's size does not match its entry count");
        return;
    }

    std::vector<uint8_t> packedDirectory;
    if (!tryResize(packedDirectory, packed) ||
        !readAt(file_, available - packed, packedDirectory.data(), packed)) {
        refuse(&refusal_, "the packed directory cannot be read");
        return;
    }
    auto records = uncompressBlock(packedDirectory, unpacked);
    if (!records) {
        refuse(&refusal_, "the directory does not unpack to its size");
        return;
    }

    try {
        directory_.reserve(count);
    } catch (const std::bad_alloc&) {
        refuse(&refusal_, "no memory for the directory");
        return;
    }
    dataEnd_ = uint32_t(available - packed);
    ByteReader recordReader(*records);
    for (uint32_t i = 0; i < count; ++i)
        directory_.push_back(decodeRecord(recordReader.take(kArchiveRecordSize)));
    count_ = savedCount_ = int32_t(count);
    state_ = DirectoryState::Valid;
}

void DataArchive::discardChanges() {
    pending_.clear();
    removing_.clear();
    count_ = savedCount_;
    close();
}

bool DataArchive::close() {
    bool ok = true;
    if (file_ && (count_ != savedCount_ || !removing_.empty())) ok = writeDirectory();
    if (file_) std::fclose(file_);
    file_ = nullptr;
    directory_.clear();
    pending_.clear();
    removing_.clear();
    count_ = savedCount_ = 0;
    dataEnd_ = 0;
    state_ = DirectoryState::Closed;
    return ok;
}

int DataArchive::find(const char* name) const {
    if (!file_ || !name) return -1;
    for (int i = 0; i < count_; ++i)
        if (archiveNamesMatch(directory_[i].name, name)) return i;
    return -1;
}

std::optional<std::vector<uint8_t>> DataArchive::extract(const char* name) const {
    return extractAt(find(name));
}

std::optional<std::vector<uint8_t>> DataArchive::extractAt(int index) const {
    if (!file_ || index < 0 || index >= count_) return std::nullopt;
    const ArchiveEntry& entry = directory_[index];
    int firstPending = count_ - int(pending_.size());
    if (index >= firstPending)
        return uncompressBlock(pending_[index - firstPending], entry.unpackedSize);

    if (!blockInData(entry)) return std::nullopt;
    std::vector<uint8_t> block;
    if (!tryResize(block, entry.packedSize)) return std::nullopt;
    if (!readAt(file_, entry.offset, block.data(), block.size())) return std::nullopt;
    return uncompressBlock(block, entry.unpackedSize);
}

std::optional<std::vector<uint8_t>> DataArchive::extractAt(int index,
                                                           std::span<const uint8_t> image) const {
    if (!file_ || index < 0 || index >= count_) return std::nullopt;
    const ArchiveEntry& entry = directory_[index];
    if (index >= count_ - int(pending_.size())) return extractAt(index);
    if (!blockInData(entry) || uint64_t(entry.offset) + entry.packedSize > image.size())
        return std::nullopt;
    return uncompressBlock(image.data() + entry.offset, entry.packedSize, entry.unpackedSize);
}

// Nothing in the directory is trusted: a block outside the entry data, or claiming more than
// deflate can give, reads as absent.
bool DataArchive::blockInData(const ArchiveEntry& entry) const {
    return uint64_t(entry.offset) + entry.packedSize <= dataEnd_ &&
           entry.unpackedSize <= maxUnpackedFor(entry.packedSize);
}

bool DataArchive::readImage(std::vector<uint8_t>& image, uint64_t limit) const {
    if (!file_ || fileSize_ > limit || !tryResize(image, size_t(fileSize_))) return false;
    if (readAt(file_, 0, image.data(), image.size())) return true;
    image.clear();
    return false;
}

bool DataArchive::add(const char* sourcePath, const char* entryName) {
    if (!file_ || !entryName || std::strlen(entryName) >= size_t(kArchiveNameSize)) return false;
    auto bytes = readWholeFile(sourcePath);
    return bytes && addBytes(bytes->data(), bytes->size(), entryName);
}

bool DataArchive::addBytes(const uint8_t* data, size_t size, const char* entryName) {
    if (!file_ || !entryName || std::strlen(entryName) >= size_t(kArchiveNameSize)) return false;
    if (size > UINT32_MAX || count_ == INT32_MAX / kArchiveRecordSize) return false;
    auto packed = compressBlock(data, size);
    if (!packed) return false;
    if (uint64_t(dataEnd_) + packed->size() > UINT32_MAX) return false;

    ArchiveEntry entry{};
    std::memcpy(entry.name, entryName, std::strlen(entryName) + 1);
    entry.offset = dataEnd_;
    entry.endOffset = dataEnd_ + uint32_t(packed->size());
    entry.unpackedSize = uint32_t(size);
    entry.packedSize = uint32_t(packed->size());
    // The block stays in memory until the directory is written: the file on disk is only ever
    // replaced whole, so a process killed before then leaves the old archive intact.
    directory_.push_back(entry);
    pending_.push_back(std::move(*packed));
    dataEnd_ = entry.endOffset;
    ++count_;
    return true;
}

bool DataArchive::remove(const char* entryName) {
    int index = find(entryName);
    if (index < 0) return false;
    // An entry added since the last write goes to disk first, so its removal cuts a real block.
    if (index >= count_ - int(pending_.size()) && !writeDirectory()) return false;
    markRemoved(index);
    if (rewrite()) return true;
    removing_.clear();
    return false;
}

bool DataArchive::markRemoved(int index) {
    if (!file_ || index < 0 || index >= count_ - int(pending_.size())) return false;
    if (std::find(removing_.begin(), removing_.end(), index) == removing_.end())
        removing_.push_back(index);
    return true;
}

bool DataArchive::writeDirectory() {
    if (!file_) return false;
    return rewrite();
}

// Writes the whole new archive beside the old one and renames it over it: the entry data up to
// data end without the blocks marked for removal, the blocks added since, the directory and the
// trailer. Memory changes only once the new file is in place.
bool DataArchive::rewrite() {
    uint32_t diskDataEnd = dataEnd_;
    for (const auto& block : pending_) diskDataEnd -= uint32_t(block.size());

    // The byte ranges of the old file that removal cuts out, in file order and merged.
    std::vector<std::pair<uint64_t, uint64_t>> cuts;
    for (int index : removing_) {
        const ArchiveEntry& removed = directory_[index];
        uint64_t end = uint64_t(removed.offset) + removed.packedSize;
        if (end <= diskDataEnd && removed.packedSize) cuts.push_back({removed.offset, end});
    }
    std::sort(cuts.begin(), cuts.end());
    std::vector<std::pair<uint64_t, uint64_t>> merged;
    for (const auto& cut : cuts) {
        if (!merged.empty() && cut.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, cut.second);
        else
            merged.push_back(cut);
    }
    uint64_t cutTotal = 0;
    for (const auto& cut : merged) cutTotal += cut.second - cut.first;

    std::vector<ArchiveEntry> directory;
    for (int i = 0; i < count_; ++i) {
        if (std::find(removing_.begin(), removing_.end(), i) != removing_.end()) continue;
        ArchiveEntry entry = directory_[i];
        // Only records behind a removed block move; one that points elsewhere (not written by
        // this code) keeps its offset.
        uint64_t shift = 0;
        for (const auto& cut : merged)
            if (cut.second <= entry.offset) shift += cut.second - cut.first;
        entry.offset -= uint32_t(shift);
        entry.endOffset -= uint32_t(shift);
        directory.push_back(entry);
    }
    uint32_t newDataEnd = uint32_t(dataEnd_ - cutTotal);

    ByteWriter records;
    for (const ArchiveEntry& entry : directory) encodeRecord(entry, records);
    auto packedDirectory = compressBlock(records.bytes.data(), records.size());
    if (!packedDirectory) return false;
    ByteWriter trailer;
    trailer.u32le(uint32_t(directory.size()));
    trailer.u32le(uint32_t(records.size()));
    trailer.u32le(uint32_t(packedDirectory->size()));
    trailer.raw(kMagic, 3);

    // The replacement keeps the archive's identity, lands at a symlink's target and refuses an
    // archive its caller may not write.
    FileReplacement out(fileName_, *files_);
    if (!out.isOpen()) return false;
    auto copyRange = [&](uint64_t from, uint64_t to) {
        std::vector<uint8_t> buffer(std::min<uint64_t>(to - from, 1 << 20));
        while (from < to) {
            size_t n = size_t(std::min<uint64_t>(buffer.size(), to - from));
            if (!readAt(file_, from, buffer.data(), n) || !out.write(buffer.data(), n))
                return false;
            from += n;
        }
        return true;
    };
    bool ok = true;
    uint64_t kept = 0;
    for (const auto& cut : merged) {
        ok = ok && copyRange(kept, cut.first);
        kept = cut.second;
    }
    ok = ok && copyRange(kept, diskDataEnd);
    for (const auto& block : pending_) ok = ok && out.write(block.data(), block.size());
    ok = ok && out.write(packedDirectory->data(), packedDirectory->size());
    ok = ok && out.write(trailer.bytes.data(), trailer.size());
    if (!ok) return false;
#ifdef _WIN32
    // Windows will not replace a file that is still open: let go of the old stream first.
    std::fclose(file_);
    file_ = nullptr;
#endif
    if (!out.commit()) {
#ifdef _WIN32
        file_ = files_->openRead(fileName_);
#endif
        return false;
    }

    // The old stream still reads the replaced file; read the new one from now on.
    if (file_) std::fclose(file_);
    file_ = files_->openRead(fileName_);
    directory_ = std::move(directory);
    pending_.clear();
    removing_.clear();
    count_ = savedCount_ = int32_t(directory_.size());
    dataEnd_ = newDataEnd;
    fileSize_ = uint64_t(newDataEnd) + packedDirectory->size() + kArchiveTrailerSize;
    state_ = file_ ? DirectoryState::Valid : DirectoryState::Closed;
    return file_ != nullptr;
}

} // namespace kestrune
