// Reading a content file whole: the loose file in the working directory first, then the archive.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrune {

// The whole file, or none when it cannot be opened or read (a folder, say).
std::optional<std::vector<uint8_t>> readWholeFile(const char* path);

// The loose file of that name if it can be read, else the entry of the default archive; none when
// it is in neither place.
std::optional<std::vector<uint8_t>> readContentFile(const char* name);

// While one of these is alive, readContentFile keeps the default archive open with its directory
// read, instead of opening it and unpacking its directory on every call. Each call still checks
// the file's identity, size and modification time, and opens it afresh when any has changed or
// the default name is another. The last one to end closes the archive. For one thread's loading.
// An archive of up to 64 MiB is held in memory meanwhile, and where there is a second core a
// thread unpacks its entries ahead of the calls that ask for them; each call still gets exactly
// the bytes the file holds for that name.
class ArchiveKeptOpen {
public:
    ArchiveKeptOpen();
    ~ArchiveKeptOpen();
    ArchiveKeptOpen(const ArchiveKeptOpen&) = delete;
    ArchiveKeptOpen& operator=(const ArchiveKeptOpen&) = delete;
};

// While an ArchiveKeptOpen is alive: opens the default archive now rather than at the first read,
// so that its entries are unpacked ahead from here on. Does nothing when none is alive, no
// archive is named or the file is missing.
void openArchiveAhead();

// Given each entry that the thread unpacking ahead has unpacked, once it has unpacked them all, on
// that thread, with a copy of the bytes a read of it would give, to keep: to work ahead on what
// the loaders will ask for (decode images, say). Entries already read are not given. None: not
// called.
using UnpackedEntryHook = void (*)(const char* name, std::vector<uint8_t>&& bytes);
void setUnpackedEntryHook(UnpackedEntryHook hook);

// Whether loading may use a second thread: not on a single core, nor on the web (no threads).
bool loadingThreadsAvailable();

} // namespace kestrune
