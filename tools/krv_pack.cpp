// krv pack: list, add, extract, remove and verify the entries of a data archive.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_lock.h"
#include "archive/content_file.h"
#include "archive/replace_file.h"
#include "tools/krv_args.h"
#include "tools/krv_commands.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

const char kPackUsage[] =
    "usage: krv pack list ARCHIVE\n"
    "       krv pack add ARCHIVE [--append-to-foreign] FILE... | krv pack add ARCHIVE --as NAME "
    "FILE\n"
    "       krv pack extract ARCHIVE NAME [OUTFILE]\n"
    "       krv pack remove ARCHIVE NAME...\n"
    "       krv pack verify ARCHIVE\n"
    "\n"
    "  list     one line per entry: name, unpacked size, packed size, offset (tab-separated)\n"
    "  add      adds files under their base names (or NAME); an entry of the same name is\n"
    "           replaced; creates the archive when missing or empty, and refuses any other file\n"
    "           that is not an archive unless --append-to-foreign says to add behind its bytes\n"
    "  extract  writes an entry's bytes to OUTFILE or standard output\n"
    "  remove   removes entries\n"
    "  verify   unpacks the directory and every entry and reports each problem\n"
    "\n"
    "Names match without regard to letter case. Only add and remove change the archive, each\n"
    "in one step: the archive is replaced whole by a new file or left as it was, and a refused\n"
    "command changes nothing. An archive its user may not write is never changed.\n";

int fail(const char* format, const std::string& a, const std::string& b = "") {
    std::fprintf(stderr, "krv pack: ");
    std::fprintf(stderr, format, a.c_str(), b.c_str());
    std::fprintf(stderr, "\n");
    return kExitFailure;
}

int usage(const std::string& message) {
    return usageError("pack", message, kPackUsage);
}

bool existsAsFile(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// Commands that only read must not create the archive, which opening a missing one would do.
int checkArchiveExists(const std::string& path) {
    std::error_code error;
    if (fs::is_directory(path, error)) return fail("%s: is a folder", path);
    if (!fs::exists(path, error)) return fail("%s: no such archive", path);
    if (!existsAsFile(path)) return fail("%s: not a regular file", path);
    return kExitOk;
}

int openForReading(const std::string& path, DataArchive& archive) {
    if (int status = checkArchiveExists(path)) return status;
    archive.reopen(path.c_str());
    if (!archive.isOpen()) return fail("%s: cannot be read", path);
    if (archive.directoryState() == DirectoryState::Foreign)
        return fail("%s: not an archive: %s", path, std::string(archive.refusal()));
    if (archive.directoryState() == DirectoryState::Damaged)
        return fail("%s: the directory is damaged and cannot be read: %s", path,
                    std::string(archive.refusal()));
    return kExitOk;
}

// Why an entry name cannot be stored, or null when it can. Control characters would break the
// tab-separated listing.
const char* entryNameProblem(const std::string& name) {
    if (name.empty()) return "an entry name cannot be empty";
    if (name.size() >= size_t(kArchiveNameSize)) return "the entry name is longer than 31 characters";
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f) return "the entry name holds a control character";
    return nullptr;
}

// The first name that a later one would find under the archive's own lookup, or -1.
int firstCollision(const std::vector<std::string>& names, size_t& later) {
    for (size_t i = 0; i < names.size(); ++i)
        for (later = i + 1; later < names.size(); ++later)
            if (archiveNamesMatch(names[i].c_str(), names[later].c_str())) return int(i);
    return -1;
}

// Marks every entry that the lookup pairs with name, so a replaced or removed name leaves no
// hidden namesake behind to surface later.
void markNamesakes(DataArchive& archive, const std::string& name) {
    for (int i = 0; i < archive.entryCount(); ++i)
        if (archiveNamesMatch(archive.entry(i).name, name.c_str())) archive.markRemoved(i);
}

// The archive's real path for a change: links followed, so the link stays a link; refused when
// it is not a file or its user may not write it.
int checkWritableArchive(const std::string& path, std::string& target) {
    target = resolveLinks(path);
    std::error_code error;
    if (fs::is_directory(target, error)) return fail("%s: is a folder", path);
    if (fs::exists(target, error) && !existsAsFile(target))
        return fail("%s: not a regular file", path);
    if (existsReadOnly(target)) return fail("%s: cannot be written", path);
    return kExitOk;
}

int listEntries(const std::string& path) {
    DataArchive archive(nullptr);
    if (int status = openForReading(path, archive)) return status;
    for (int i = 0; i < archive.entryCount(); ++i) {
        const ArchiveEntry& entry = archive.entry(i);
        std::printf("%s\t%u\t%u\t%u\n", entry.name, entry.unpackedSize, entry.packedSize,
                    entry.offset);
    }
    return kExitOk;
}

int addFiles(const std::string& path, const std::vector<std::string>& files,
             const char* asName, bool appendToForeign) {
    if (files.empty()) return usage("add needs at least one FILE");
    if (asName && files.size() != 1) return usage("--as takes a single FILE");
    if (asName && !*asName) return usage("--as needs a NAME");

    // Check everything first so that a refusal leaves the archive as it was.
    std::vector<std::string> names;
    for (const std::string& file : files) {
        std::error_code error;
        if (fs::is_directory(file, error)) return fail("%s: is a folder", file);
        if (!existsAsFile(file)) return fail("%s: no such file", file);
        std::string name = asName ? asName : fs::path(file).filename().string();
        if (const char* problem = entryNameProblem(name)) return fail("%s: %s", name, problem);
        names.push_back(name);
    }
    size_t later = 0;
    if (int first = firstCollision(names, later); first >= 0)
        return fail("%s and %s: the same entry name twice in one command", names[first],
                    names[later]);
    std::string target;
    if (int status = checkWritableArchive(path, target)) return status;

    // Writers at the same time follow one another: each reads the archive as the last one left it.
    ArchiveLock lock(target, true);
    if (!lock.held()) return fail("%s: cannot be opened or created", path);
    DataArchive archive(target.c_str());
    auto refuse = [&](int status) {
        archive.discardChanges();
        lock.undoCreate();
        return status;
    };
    if (!archive.isOpen()) return refuse(fail("%s: cannot be read", path));
    if (archive.directoryState() == DirectoryState::Damaged)
        return refuse(fail("%s: the directory is damaged; refusing to change it", path));
    if (archive.directoryState() == DirectoryState::Foreign && !appendToForeign)
        return refuse(fail("%s: not an archive; --append-to-foreign adds entries behind its "
                           "bytes",
                           path));
    // An entry of the same name is replaced, as archivers do, in the same single rewrite.
    for (size_t i = 0; i < files.size(); ++i) {
        markNamesakes(archive, names[i]);
        auto bytes = readWholeFile(files[i].c_str());
        if (!bytes) return refuse(fail("%s: cannot be read", files[i]));
        if (!archive.addBytes(bytes->data(), bytes->size(), names[i].c_str()))
            return refuse(fail("%s: cannot be packed (the archive would pass 4 GiB)", files[i]));
    }
    if (!archive.writeDirectory()) return refuse(fail("%s: cannot be written", path));
    return kExitOk;
}

// Writes bytes to the output in one replacement: it appears whole under its name or not at all.
int writeOutput(const std::string& outPath, const std::vector<uint8_t>& bytes) {
    if (outPath.empty()) {
        bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
        if (std::fflush(stdout) != 0 || !ok) return fail("%s: cannot be written", "standard output");
        return kExitOk;
    }
    FileReplacement out(outPath);
    const size_t chunk = size_t(1) << 20;
    for (size_t at = 0; out.isOpen() && at < bytes.size(); at += chunk)
        out.write(bytes.data() + at, std::min(chunk, bytes.size() - at));
    if (!out.commit()) return fail("%s: cannot be written", outPath);
    return kExitOk;
}

int extractEntry(const std::string& path, const std::string& name, const std::string& outPath) {
    DataArchive archive(nullptr);
    if (int status = openForReading(path, archive)) return status;
    std::error_code error;
    if (!outPath.empty() && fs::equivalent(path, outPath, error))
        return fail("%s: is the archive itself; choose another output", outPath);
    if (!outPath.empty() && fs::is_directory(outPath, error))
        return fail("%s: is a folder", outPath);
    int index = archive.find(name.c_str());
    if (index < 0) return fail("%s: no entry named %s", path, name);
    auto bytes = archive.extractAt(index);
    if (!bytes)
        return fail("%s: the entry %s cannot be unpacked (damaged, or too large for memory)",
                    path, name);
    return writeOutput(outPath, *bytes);
}

int removeEntries(const std::string& path, const std::vector<std::string>& names) {
    if (names.empty()) return usage("remove needs at least one NAME");
    size_t later = 0;
    if (int first = firstCollision(names, later); first >= 0)
        return fail("%s and %s: the same entry name twice in one command", names[first],
                    names[later]);
    if (int status = checkArchiveExists(path)) return status;
    std::string target;
    if (int status = checkWritableArchive(path, target)) return status;
    ArchiveLock lock(target, false);
    if (!lock.held()) return fail("%s: cannot be read", path);
    DataArchive archive(nullptr);
    if (int status = openForReading(target, archive)) return status;
    for (const std::string& name : names)
        if (archive.find(name.c_str()) < 0) return fail("%s: no entry named %s", path, name);
    for (const std::string& name : names) markNamesakes(archive, name);
    if (!archive.writeDirectory()) return fail("%s: cannot be written", path);
    return kExitOk;
}

int verifyArchive(const std::string& path) {
    DataArchive archive(nullptr);
    if (int status = openForReading(path, archive)) return status;
    int problems = 0;
    auto report = [&](const ArchiveEntry& entry, const char* what) {
        std::printf("%s\t%s\n", entry.name, what);
        ++problems;
    };
    uint32_t expectedOffset = archive.entryCount() ? archive.entry(0).offset : 0;
    for (int i = 0; i < archive.entryCount(); ++i) {
        const ArchiveEntry& entry = archive.entry(i);
        if (entry.offset != expectedOffset) report(entry, "not contiguous with the entry before");
        if (entry.endOffset != entry.offset + entry.packedSize)
            report(entry, "end offset differs from offset + packed size");
        if (!archive.extractAt(i)) report(entry, "cannot be unpacked to its size");
        if (archive.find(entry.name) != i) report(entry, "hidden by an earlier entry of that name");
        expectedOffset = entry.offset + entry.packedSize;
    }
    if (problems) {
        std::fprintf(stderr, "krv pack: %s: %d problem%s\n", path.c_str(), problems,
                     problems == 1 ? "" : "s");
        return kExitFailure;
    }
    std::printf("ok\t%d entries\n", archive.entryCount());
    return kExitOk;
}

} // namespace

int runPackCommand(int argc, char** argv) {
    ParsedArgs args;
    if (!parseArgs(argc, argv, {{"--as", true}, {"--append-to-foreign", false}}, args))
        return usage(args.error);
    if (args.help) return printHelp(kPackUsage);
    if (args.positional.empty()) return usage("missing command");
    const std::string command = args.positional[0];
    if (command != "add" && (args.has("--as") || args.has("--append-to-foreign")))
        return usage(std::string("unknown option ") + args.flags[0].first + " for " + command);
    std::vector<std::string> rest(args.positional.begin() + 1, args.positional.end());
    if (command != "list" && command != "verify" && command != "add" && command != "extract" &&
        command != "remove")
        return usage("unknown command '" + command + "'");
    if (rest.empty()) return usage("missing ARCHIVE");
    const std::string path = rest[0];
    rest.erase(rest.begin());

    if (command == "list" || command == "verify") {
        if (!rest.empty()) return usage("too many arguments");
        return command == "list" ? listEntries(path) : verifyArchive(path);
    }
    if (command == "add")
        return addFiles(path, rest, args.value("--as"), args.has("--append-to-foreign"));
    if (command == "extract") {
        if (rest.empty() || rest.size() > 2) return usage("extract takes NAME [OUTFILE]");
        return extractEntry(path, rest[0], rest.size() == 2 ? rest[1] : "");
    }
    return removeEntries(path, rest);
}

} // namespace kestrune
