// krv pack: list, add, extract, remove and verify the entries of a data archive.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "tools/krv_commands.h"

namespace kestrune {
namespace {

const char kPackUsage[] =
    "usage: krv pack list ARCHIVE\n"
    "       krv pack add ARCHIVE FILE... | krv pack add ARCHIVE --as NAME FILE\n"
    "       krv pack extract ARCHIVE NAME [OUTFILE]\n"
    "       krv pack remove ARCHIVE NAME...\n"
    "       krv pack verify ARCHIVE\n"
    "\n"
    "  list     one line per entry: name, unpacked size, packed size, offset (tab-separated)\n"
    "  add      adds files under their base names (or NAME); an entry of the same name is\n"
    "           replaced; creates the archive when missing\n"
    "  extract  writes an entry's bytes to OUTFILE or standard output\n"
    "  remove   removes entries\n"
    "  verify   unpacks the directory and every entry and reports each problem\n"
    "\n"
    "Names match without regard to letter case. Only add and remove change the archive; a\n"
    "refused command changes nothing.\n";

int fail(const char* format, const std::string& a, const std::string& b = "") {
    std::fprintf(stderr, "krv pack: ");
    std::fprintf(stderr, format, a.c_str(), b.c_str());
    std::fprintf(stderr, "\n");
    return kExitFailure;
}

int usage(const char* message) {
    std::fprintf(stderr, "krv pack: %s\n%s", message, kPackUsage);
    return kExitUsage;
}

// Commands that only read must not create the archive, which opening a missing one would do.
bool existsAsFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

int openForReading(const std::string& path, DataArchive& archive) {
    if (!existsAsFile(path)) return fail("%s: no such archive", path);
    archive.reopen(path.c_str());
    if (!archive.isOpen()) return fail("%s: cannot be read", path);
    if (archive.directoryState() == DirectoryState::Foreign)
        return fail("%s: not an archive (it does not end in a directory)", path);
    if (archive.directoryState() == DirectoryState::Damaged)
        return fail("%s: the directory is damaged and cannot be read", path);
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
             const std::string& asName) {
    if (files.empty()) return usage("add needs at least one FILE");
    if (!asName.empty() && files.size() != 1) return usage("--as takes a single FILE");

    // Check everything first so that a refusal leaves the archive as it was.
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const std::string& file : files) {
        if (!existsAsFile(file)) return fail("%s: no such file", file);
        std::FILE* probe = std::fopen(file.c_str(), "rb");
        if (!probe) return fail("%s: cannot be read", file);
        std::fclose(probe);
        std::string name =
            asName.empty() ? std::filesystem::path(file).filename().string() : asName;
        if (name.empty()) return fail("%s: an entry name cannot be empty", file);
        if (name.size() >= size_t(kArchiveNameSize))
            return fail("%s: the entry name is longer than 31 characters", name);
        std::string folded;
        for (char c : name) folded += char(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (!seen.insert(folded).second) return fail("%s: named twice in one command", name);
        names.push_back(name);
    }
    std::error_code error;
    if (std::filesystem::exists(path, error) && !existsAsFile(path))
        return fail("%s: not a regular file", path);

    DataArchive archive(path.c_str());
    if (!archive.isOpen()) return fail("%s: cannot be opened or created", path);
    if (archive.directoryState() == DirectoryState::Damaged)
        return fail("%s: the directory is damaged; refusing to change it", path);
    // An entry of the same name is replaced, as archivers do; the removal is written at once.
    for (const std::string& name : names)
        if (archive.find(name.c_str()) >= 0 && !archive.remove(name.c_str()))
            return fail("%s: cannot replace the entry %s", path, name);
    for (size_t i = 0; i < files.size(); ++i)
        if (!archive.add(files[i].c_str(), names[i].c_str()))
            return fail("%s: cannot be packed", files[i]);
    if (!archive.close()) return fail("%s: cannot be written", path);
    return kExitOk;
}

int extractEntry(const std::string& path, const std::string& name, const std::string& outPath) {
    DataArchive archive(nullptr);
    if (int status = openForReading(path, archive)) return status;
    int index = archive.find(name.c_str());
    if (index < 0) return fail("%s: no entry named %s", path, name);
    auto bytes = archive.extractAt(index);
    if (!bytes) return fail("%s: the entry %s is damaged", path, name);
    std::FILE* out = outPath.empty() ? stdout : std::fopen(outPath.c_str(), "wb");
    if (!out) return fail("%s: cannot be written", outPath);
    bool ok = bytes->empty() || std::fwrite(bytes->data(), 1, bytes->size(), out) == bytes->size();
    ok = (out == stdout ? std::fflush(out) == 0 : std::fclose(out) == 0) && ok;
    if (!ok) return fail("%s: cannot be written", outPath.empty() ? "standard output" : outPath);
    return kExitOk;
}

int removeEntries(const std::string& path, const std::vector<std::string>& names) {
    if (names.empty()) return usage("remove needs at least one NAME");
    DataArchive archive(nullptr);
    if (int status = openForReading(path, archive)) return status;
    for (const std::string& name : names)
        if (archive.find(name.c_str()) < 0) return fail("%s: no entry named %s", path, name);
    for (const std::string& name : names)
        if (!archive.remove(name.c_str())) return fail("%s: cannot remove %s", path, name);
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
    std::vector<std::string> args(argv, argv + argc);
    if (args.empty()) return usage("missing command");
    if (args[0] == "--help" || args[0] == "-h") {
        std::fputs(kPackUsage, stdout);
        return kExitOk;
    }
    const std::string command = args[0];
    if (args.size() < 2) return usage("missing ARCHIVE");
    const std::string path = args[1];
    std::vector<std::string> rest(args.begin() + 2, args.end());

    if (command == "list" || command == "verify") {
        if (!rest.empty()) return usage("too many arguments");
        return command == "list" ? listEntries(path) : verifyArchive(path);
    }
    if (command == "add") {
        std::string asName;
        std::vector<std::string> files;
        for (size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] == "--as") {
                if (i + 1 >= rest.size()) return usage("--as needs a NAME");
                asName = rest[++i];
                if (asName.empty()) return usage("--as needs a NAME");
            } else {
                files.push_back(rest[i]);
            }
        }
        return addFiles(path, files, asName);
    }
    if (command == "extract") {
        if (rest.empty() || rest.size() > 2) return usage("extract takes NAME [OUTFILE]");
        return extractEntry(path, rest[0], rest.size() == 2 ? rest[1] : "");
    }
    if (command == "remove") return removeEntries(path, rest);
    return usage(("unknown command '" + command + "'").c_str());
}

} // namespace kestrune
