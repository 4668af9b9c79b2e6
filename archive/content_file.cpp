// Loose file first, then the default data archive, as every loader of the show does.
#include "archive/content_file.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

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

// Archives up to this size are held in memory whole while kept, and unpacked from there.
constexpr uint64_t kImageLimit = uint64_t{64} << 20;

enum class Unpacking : uint8_t { Waiting, Busy, Ready, Taken };

// A second thread that unpacks the kept archive's entries ahead of the loaders that ask for them:
// an entry is handed over once, later asks unpack it again.
struct ReadAhead {
    std::thread thread;
    std::mutex mutex;
    std::vector<Unpacking> states;                            // under mutex
    std::vector<std::optional<std::vector<uint8_t>>> entries; // entry i's bytes while Ready
    bool stopping = false;                                    // under mutex
};

struct KeptArchive;
void stopReadAhead(KeptArchive& k);

struct KeptArchive {
    ~KeptArchive() { stopReadAhead(*this); } // one still kept at exit must not end the process
    int holders = 0;
    std::string name;
    FileStamp stamp;
    std::unique_ptr<DataArchive> archive;
    std::vector<uint8_t> image; // the whole file, when it could be read and is small enough
    ReadAhead ahead;
};

KeptArchive& kept() {
    static KeptArchive k;
    return k;
}

std::atomic<UnpackedEntryHook> unpackedEntryHook{nullptr};

// The hook given every entry still waiting to be read, in directory order, but for those that an
// earlier entry of the same name hides. Each is copied out under the lock, so that a loader
// asking for it meanwhile still takes it at once.
void handUnpackedEntries(KeptArchive& k, UnpackedEntryHook hook) {
    ReadAhead& a = k.ahead;
    for (size_t i = 0; i < a.states.size(); ++i) {
        std::vector<uint8_t> bytes;
        {
            std::lock_guard lock(a.mutex);
            if (a.stopping) return;
            if (a.states[i] != Unpacking::Ready || !a.entries[i]) continue;
            bytes = *a.entries[i];
        }
        const char* name = k.archive->entry(int(i)).name;
        if (k.archive->find(name) == int(i)) hook(name, std::move(bytes)); // not a hidden one
    }
}

// From the last entry back: a loader reading the entries in directory order then meets the
// thread half way instead of racing it over the same entries.
void unpackAhead(KeptArchive& k) {
    ReadAhead& a = k.ahead;
    for (size_t i = a.states.size(); i-- > 0;) {
        {
            std::lock_guard lock(a.mutex);
            if (a.stopping) return;
            if (a.states[i] != Unpacking::Waiting) continue;
            a.states[i] = Unpacking::Busy;
        }
        auto bytes = k.archive->extractAt(int(i), k.image);
        std::lock_guard lock(a.mutex);
        // Taken meanwhile: the caller unpacked it for itself rather than wait.
        if (a.states[i] == Unpacking::Busy) {
            a.entries[i] = std::move(bytes);
            a.states[i] = Unpacking::Ready;
        }
    }
    if (const UnpackedEntryHook hook = unpackedEntryHook.load()) handUnpackedEntries(k, hook);
}

void startReadAhead(KeptArchive& k) {
    if (!loadingThreadsAvailable() || k.image.empty() || k.archive->entryCount() < 2) return;
    k.ahead.states.assign(size_t(k.archive->entryCount()), Unpacking::Waiting);
    k.ahead.entries.resize(k.ahead.states.size());
    try {
        k.ahead.thread = std::thread(unpackAhead, std::ref(k));
    } catch (const std::system_error&) {
        k.ahead.states.clear(); // no thread to be had: every entry is unpacked when asked for
        k.ahead.entries.clear();
    }
}

void stopReadAhead(KeptArchive& k) {
    ReadAhead& a = k.ahead;
    if (a.thread.joinable()) {
        {
            std::lock_guard lock(a.mutex);
            a.stopping = true;
        }
        a.thread.join();
    }
    a.stopping = false;
    a.states.clear();
    a.entries.clear();
}

void forget(KeptArchive& k) {
    stopReadAhead(k);
    k.archive.reset();
    k.image.clear();
}

// Entry index of the kept archive: unpacked ahead, or here when it was not (or was handed over).
std::optional<std::vector<uint8_t>> extractKept(KeptArchive& k, int index) {
    if (index < 0) return std::nullopt;
    ReadAhead& a = k.ahead;
    if (!a.states.empty()) {
        // An entry being unpacked is unpacked here as well: the thread may be waiting for a core,
        // and the loader should not wait for it.
        std::lock_guard lock(a.mutex);
        const Unpacking was = a.states[size_t(index)];
        a.states[size_t(index)] = Unpacking::Taken;
        if (was == Unpacking::Ready) return std::move(a.entries[size_t(index)]);
    }
    if (!k.image.empty()) return k.archive->extractAt(index, k.image);
    return k.archive->extractAt(index);
}

// The kept archive when it is still the default archive as it is on disk now, opened again when
// it is not; null when the file cannot be stamped (missing: the plain path creates it).
const DataArchive* keptArchive() {
    KeptArchive& k = kept();
    const char* name = defaultArchiveName();
    const auto before = stampOf(name);
    if (!before) return nullptr;
    if (k.archive && k.name == name && k.stamp == *before) return k.archive.get();
    forget(k);
    auto archive = std::make_unique<DataArchive>(name);
    std::vector<uint8_t> image;
    archive->readImage(image, kImageLimit);
    // Changed while it was being opened: not kept, as the directory may be of either version.
    const auto after = stampOf(name);
    if (!after || !(*after == *before)) return nullptr;
    k.name = name;
    k.stamp = *before;
    k.archive = std::move(archive);
    k.image = std::move(image);
    startReadAhead(k);
    return k.archive.get();
}

} // namespace

ArchiveKeptOpen::ArchiveKeptOpen() {
    ++kept().holders;
}

ArchiveKeptOpen::~ArchiveKeptOpen() {
    if (--kept().holders == 0) forget(kept());
}

namespace {

// Whether reads go through the kept archive: one is held open and an archive is named.
bool keepingArchive() {
    return kept().holders > 0 && defaultArchiveName() != std::string_view(kNoArchiveName);
}

} // namespace

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
    if (keepingArchive())
        if (const DataArchive* archive = keptArchive())
            return extractKept(kept(), archive->find(name));
    DataArchive archive;
    return archive.extract(name);
}

void setUnpackedEntryHook(UnpackedEntryHook hook) {
    unpackedEntryHook.store(hook);
}

void openArchiveAhead() {
    if (keepingArchive())
        keptArchive();
}

bool loadingThreadsAvailable() {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
    return false;
#else
    // Asked once: the answer is read from the system each time, and texture loads ask often.
    static const bool available = std::thread::hardware_concurrency() > 1;
    return available;
#endif
}

} // namespace kestrune
