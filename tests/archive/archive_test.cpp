// The archive's format, name matching, add, remove and its handling of untrustworthy files.
#include <cstring>
#include <unistd.h>
#include <zlib.h>

#include "archive/archive.h"
#include "archive/content_file.h"
#include "binary/byte_reader.h"
#include "binary/byte_writer.h"
#include "archive_test_util.h"

namespace kestrune {
namespace {

using test::bytesOf;
using test::readFile;
using test::writeFile;
using test::zlibPack;
using test::RawArchive;


class ArchiveTest : public test::ScratchDir {};

TEST_F(ArchiveTest, TwoEntriesMakeBlocksDirectoryAndTrailer) {
    auto a = makeSource("a.txt", bytesOf("first entry, first entry, first entry"));
    auto b = makeSource("b.bin", std::vector<uint8_t>(5000, 7));
    {
        DataArchive archive(path("x.dat").c_str());
        ASSERT_TRUE(archive.add(a.c_str(), "a.txt"));
        ASSERT_TRUE(archive.add(b.c_str(), "b.bin"));
    }
    auto file = readFile(path("x.dat"));
    ASSERT_GE(file.size(), 15u);
    size_t t = file.size() - 15;
    EXPECT_EQ(0, std::memcmp(&file[t + 12], ":-)", 3));
    EXPECT_EQ(2u, ByteReader(file).at(t).u32le());
    EXPECT_EQ(96u, ByteReader(file).at(t + 4).u32le());
    uint32_t packedDirectory = ByteReader(file).at(t + 8).u32le();

    DataArchive archive(path("x.dat").c_str());
    ASSERT_EQ(2, archive.entryCount());
    EXPECT_STREQ("a.txt", archive.entry(0).name);
    EXPECT_STREQ("b.bin", archive.entry(1).name);
    EXPECT_EQ(0u, archive.entry(0).offset);
    EXPECT_EQ(archive.entry(0).packedSize, archive.entry(1).offset);
    EXPECT_EQ(archive.entry(1).offset + archive.entry(1).packedSize, t - packedDirectory);
    EXPECT_EQ(5000u, archive.unpackedSize(1));
    // Every block is a complete zlib stream at its offset.
    std::vector<uint8_t> block(file.begin() + archive.entry(1).offset,
                               file.begin() + archive.entry(1).endOffset);
    std::vector<uint8_t> raw(5000);
    uLongf n = 5000;
    EXPECT_EQ(Z_OK, uncompress(raw.data(), &n, block.data(), uLong(block.size())));
    EXPECT_EQ(std::vector<uint8_t>(5000, 7), *archive.extract("b.bin"));
}

TEST_F(ArchiveTest, NamesFoldCaseAndItsNeighbours) {
    EXPECT_TRUE(archiveNamesMatch("load.lws", "LOAD.LWS"));
    EXPECT_TRUE(archiveNamesMatch("LOAD.lws", "load.LWS"));
    EXPECT_FALSE(archiveNamesMatch("load.lws", "load.lw"));
    EXPECT_TRUE(archiveNamesMatch("", ""));
    EXPECT_FALSE(archiveNamesMatch("", "a"));
    // The fold is plus or minus 32 on any byte, not only letters.
    EXPECT_TRUE(archiveNamesMatch("@[", "`{"));
    EXPECT_TRUE(archiveNamesMatch("\x01", "!"));
    EXPECT_FALSE(archiveNamesMatch("a", "b"));
    // Signed bytes: 0xA0 (-96) and 0x80 (-128) are 32 apart, 0xE0 (-32) and 0x00 cannot meet.
    EXPECT_TRUE(archiveNamesMatch("\xA0", "\x80"));
    EXPECT_FALSE(archiveNamesMatch("\x60", "\xE0\x01"));
}

TEST_F(ArchiveTest, FindTakesTheFirstMatchAndNeedsEqualLength) {
    DataArchive archive(path("x.dat").c_str());
    ASSERT_TRUE(archive.addBytes(reinterpret_cast<const uint8_t*>("1"), 1, "Load.lws"));
    ASSERT_TRUE(archive.addBytes(reinterpret_cast<const uint8_t*>("2"), 1, "load.lws"));
    ASSERT_TRUE(archive.addBytes(nullptr, 0, ""));
    EXPECT_EQ(0, archive.find("LOAD.LWS"));
    EXPECT_EQ(-1, archive.find("load.lw"));
    EXPECT_EQ(2, archive.find(""));
    EXPECT_EQ(bytesOf("1"), *archive.extract("load.lws"));
    ASSERT_TRUE(archive.close());
    DataArchive again(path("x.dat").c_str());
    EXPECT_EQ(0, again.find("load.LWS"));
    EXPECT_EQ(std::vector<uint8_t>{}, *again.extract(""));
}

TEST_F(ArchiveTest, NamesUpTo31Characters) {
    DataArchive archive(path("x.dat").c_str());
    std::string name31(31, 'n'), name32(32, 'n');
    EXPECT_TRUE(archive.addBytes(reinterpret_cast<const uint8_t*>("x"), 1, name31.c_str()));
    EXPECT_FALSE(archive.addBytes(reinterpret_cast<const uint8_t*>("x"), 1, name32.c_str()));
    EXPECT_EQ(1, archive.entryCount());
}

TEST_F(ArchiveTest, RemovingTheMiddleEntryCompacts) {
    std::vector<uint8_t> a(3000), b(4000), c(2000);
    for (size_t i = 0; i < a.size(); ++i) a[i] = uint8_t(i * 7);
    for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(i * i);
    for (size_t i = 0; i < c.size(); ++i) c[i] = uint8_t(i / 3);
    {
        DataArchive archive(path("x.dat").c_str());
        archive.addBytes(a.data(), a.size(), "a");
        archive.addBytes(b.data(), b.size(), "b");
        archive.addBytes(c.data(), c.size(), "c");
    }
    auto before = readFile(path("x.dat"));
    uint32_t oldDirectory = ByteReader(before).at(before.size() - 7).u32le();
    DataArchive archive(path("x.dat").c_str());
    ArchiveEntry third = archive.entry(2);
    uint32_t removed = archive.packedSize(1);
    ASSERT_TRUE(archive.remove("B"));
    ASSERT_EQ(2, archive.entryCount());
    EXPECT_EQ(third.offset - removed, archive.entry(1).offset);
    EXPECT_EQ(third.endOffset - removed, archive.entry(1).endOffset);
    auto after = readFile(path("x.dat"));
    uint32_t newDirectory = ByteReader(after).at(after.size() - 7).u32le();
    EXPECT_EQ(before.size() - removed - (oldDirectory - newDirectory), after.size());
    EXPECT_EQ(c, *archive.extract("c"));
#ifdef _WIN32 // Windows cannot replace a file that another stream still has open
    archive.close();
#endif
    DataArchive again(path("x.dat").c_str());
    EXPECT_EQ(a, *again.extract("a"));
    EXPECT_EQ(c, *again.extract("c"));
    EXPECT_EQ(-1, again.find("b"));
    ASSERT_TRUE(again.remove("a"));
    ASSERT_TRUE(again.remove("c"));
    EXPECT_EQ(0, again.entryCount());
    auto emptied = readFile(path("x.dat"));
    EXPECT_EQ(15u + ByteReader(emptied).at(emptied.size() - 7).u32le(), emptied.size());
}

TEST_F(ArchiveTest, ForeignBytesStayInFront) {
    auto foreign = bytesOf("#!/bin/sh\necho not an archive\n");
    writeFile(path("x.dat"), foreign);
    {
        DataArchive archive(path("x.dat").c_str());
        EXPECT_EQ(DirectoryState::Foreign, archive.directoryState());
        EXPECT_EQ(0, archive.entryCount());
        ASSERT_TRUE(archive.addBytes(reinterpret_cast<const uint8_t*>("hello"), 5, "h"));
    }
    auto file = readFile(path("x.dat"));
    EXPECT_TRUE(std::equal(foreign.begin(), foreign.end(), file.begin()));
    DataArchive archive(path("x.dat").c_str());
    EXPECT_EQ(foreign.size(), archive.entry(0).offset);
    EXPECT_EQ(bytesOf("hello"), *archive.extract("h"));
    ASSERT_TRUE(archive.remove("h"));
    file = readFile(path("x.dat"));
    EXPECT_TRUE(std::equal(foreign.begin(), foreign.end(), file.begin()));
    EXPECT_EQ(foreign.size() + 15 + ByteReader(file).at(file.size() - 7).u32le(), file.size());
}

// A file layer that counts what it is asked to write.
class CountingFiles : public FileLayer {
public:
    std::FILE* openRead(const std::string& p) override { return systemFileLayer().openRead(p); }
    std::FILE* createNew(const std::string& p) override {
        ++creates;
        return systemFileLayer().createNew(p);
    }
    std::FILE* createTemporary(const std::string& target, std::string& temporary) override {
        ++creates;
        return systemFileLayer().createTemporary(target, temporary);
    }
    bool write(std::FILE* f, const void* d, size_t n) override {
        return systemFileLayer().write(f, d, n);
    }
    bool finish(std::FILE* f) override { return systemFileLayer().finish(f); }
    bool replace(const std::string& a, const std::string& b) override {
        ++replaces;
        return systemFileLayer().replace(a, b);
    }
    void discard(const std::string& p) override { systemFileLayer().discard(p); }
    int creates = 0;
    int replaces = 0;
};

TEST_F(ArchiveTest, ReadingNeverWritesAndAddingManyRewritesOnce) {
    CountingFiles files;
    {
        DataArchive archive(path("x.dat").c_str(), files);
        EXPECT_EQ(1, files.creates); // the missing archive is created empty
        EXPECT_EQ(DirectoryState::Empty, archive.directoryState());
        for (int i = 0; i < 20; ++i) {
            std::string name = "entry" + std::to_string(i);
            archive.addBytes(reinterpret_cast<const uint8_t*>(name.data()), name.size(),
                             name.c_str());
        }
        EXPECT_EQ(1, files.creates);
    }
    EXPECT_EQ(2, files.creates);
    EXPECT_EQ(1, files.replaces);
    auto before = readFile(path("x.dat"));
    {
        DataArchive archive(path("x.dat").c_str(), files);
        EXPECT_EQ(20, archive.entryCount());
        EXPECT_EQ(bytesOf("entry13"), *archive.extract("ENTRY13"));
    }
    EXPECT_EQ(2, files.creates);
    EXPECT_EQ(before, readFile(path("x.dat")));
}

TEST_F(ArchiveTest, ReadOnlyArchiveCanBeRead) {
    {
        DataArchive archive(path("x.dat").c_str());
        archive.addBytes(reinterpret_cast<const uint8_t*>("data"), 4, "d");
    }
    std::filesystem::permissions(path("x.dat"), std::filesystem::perms::owner_read |
                                                    std::filesystem::perms::group_read);
    {
        DataArchive archive(path("x.dat").c_str());
        EXPECT_EQ(bytesOf("data"), *archive.extract("d"));
    }
    // Windows will not delete a read-only file: writable again for the folder's removal.
    std::filesystem::permissions(path("x.dat"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
}

TEST_F(ArchiveTest, DefaultNameAndPendingEntries) {
    setDefaultArchiveName(kNoArchiveName);
    {
        DataArchive none;
        EXPECT_FALSE(none.isOpen());
        EXPECT_EQ(-1, none.find("x"));
        EXPECT_FALSE(none.extract("x"));
    }
    setDefaultArchiveName(path("default.dat").c_str());
    {
        DataArchive archive;
        EXPECT_TRUE(archive.isOpen());
        archive.addBytes(reinterpret_cast<const uint8_t*>("abc"), 3, "p");
        EXPECT_EQ(bytesOf("abc"), *archive.extract("p")); // before the directory is written
    }
    DataArchive archive;
    EXPECT_EQ(bytesOf("abc"), *archive.extract("p"));
    setDefaultArchiveName(kNoArchiveName);
}

// A kept archive must never serve a directory the file on disk no longer has.
TEST_F(ArchiveTest, KeptArchiveFollowsTheFileOnDisk) {
    const std::string first = path("first.dat"), second = path("second.dat");
    auto pack = [](const std::string& name, const char* text) {
        std::filesystem::remove(name);
        DataArchive archive(name.c_str());
        archive.addBytes(reinterpret_cast<const uint8_t*>(text), std::strlen(text), "e");
        ASSERT_TRUE(archive.close());
    };
    pack(first, "one");
    pack(second, "two");
    setDefaultArchiveName(first.c_str());
    {
        ArchiveKeptOpen kept;
        EXPECT_EQ(bytesOf("one"), *readContentFile("e"));
#ifdef _WIN32
        // Windows refuses to replace a file while it is open: what is kept stays what is on disk.
        std::error_code refused;
        std::filesystem::rename(second, first, refused);
        EXPECT_TRUE(refused);
        EXPECT_EQ(bytesOf("one"), *readContentFile("e"));
#else
        std::filesystem::rename(second, first); // replaced by a file of the same size
        EXPECT_EQ(bytesOf("two"), *readContentFile("e"));
        pack(first, "three"); // written again under the same name
        EXPECT_EQ(bytesOf("three"), *readContentFile("e"));
#endif
        setDefaultArchiveName(path("absent.dat").c_str()); // created empty, as without keeping
        EXPECT_FALSE(readContentFile("e"));
        EXPECT_TRUE(std::filesystem::exists(path("absent.dat")));
    }
    setDefaultArchiveName(kNoArchiveName);
}

TEST_F(ArchiveTest, UntrustedDirectoriesReadAsEmptyAndSayWhy) {
    RawArchive raw;
    raw.addEntry("a", bytesOf("aaaa"));
    const std::vector<uint8_t> good = raw.finish();
    auto packedSizeBeyondTheFile = [&] {
        ByteWriter file{good};
        file.patchU32le(file.size() - 7, 0xfffffff0);
        return file.bytes;
    };
    auto brokenChecksum = [&] {
        auto file = good;
        file[file.size() - 16] ^= 0xff; // the directory stream's checksum
        return file;
    };
    const struct {
        const char* name;
        std::vector<uint8_t> file;
        DirectoryState state;
        std::string_view reason;
    } cases[] = {
        {"size is not count x 48", raw.finish(1, 47), DirectoryState::Damaged,
         "the directory's size does not match its entry count"},
        {"count too large", raw.finish(0x7fffffff, 0xffffffd0), DirectoryState::Damaged,
         "the directory's size does not match its entry count"},
        {"packed size beyond the file", packedSizeBeyondTheFile(), DirectoryState::Damaged,
         "the packed directory is larger than the file"},
        {"broken directory stream", brokenChecksum(), DirectoryState::Damaged,
         "the directory does not unpack to its size"},
        {"the mark alone", bytesOf(":-)"), DirectoryState::Damaged,
         "the file is shorter than the archive trailer"},
        {"the last ten bytes", std::vector<uint8_t>(good.end() - 10, good.end()),
         DirectoryState::Damaged, "the file is shorter than the archive trailer"},
        {"no trailer", bytesOf("no trailer here"), DirectoryState::Foreign,
         "the file does not end in the archive mark \":-)\""},
    };
    for (const auto& c : cases) {
        writeFile(path("bad.dat"), c.file);
        DataArchive archive(path("bad.dat").c_str());
        EXPECT_EQ(c.state, archive.directoryState()) << c.name;
        EXPECT_EQ(c.reason, archive.refusal()) << c.name;
        EXPECT_EQ(0, archive.entryCount()) << c.name;
        EXPECT_EQ(-1, archive.find("a")) << c.name;
    }
    writeFile(path("good.dat"), good);
    EXPECT_EQ("", DataArchive(path("good.dat").c_str()).refusal());
}

TEST_F(ArchiveTest, UntrustedEntriesReadAsAbsent) {
    RawArchive raw;
    raw.addEntry("good", bytesOf("good bytes"));
    auto packed = zlibPack(bytesOf("0123456789"));
    raw.addRecord("outside", 100000, 10, uint32_t(packed.size()));
    raw.addRecord("wrapping", 0xfffffff0, 10, 0x20);
    raw.addRecord("short", 0, 5, 10);         // a cut stream
    raw.addRecord("long", 0, 4000, 18);       // and less than 4000
    raw.addRecord("huge", 0, 0xfffffff0, 18); // never allocated
    raw.addRecord("garbage", 2, 10, 10);      // not a stream start
    writeFile(path("x.dat"), raw.finish());
    DataArchive archive(path("x.dat").c_str());
    EXPECT_EQ(7, archive.entryCount());
    EXPECT_EQ(bytesOf("good bytes"), *archive.extract("good"));
    for (const char* name : {"outside", "wrapping", "short", "long", "huge", "garbage"})
        EXPECT_FALSE(archive.extract(name)) << name;
}

TEST_F(ArchiveTest, EmptyFilesAreStoredLikeAnyOther) {
    auto empty = makeSource("empty", {});
    {
        DataArchive archive(path("x.dat").c_str());
        ASSERT_TRUE(archive.add(empty.c_str(), "empty"));
        EXPECT_FALSE(archive.add(path("missing").c_str(), "missing"));
        EXPECT_EQ(1, archive.entryCount());
    }
    DataArchive archive(path("x.dat").c_str());
    EXPECT_GT(archive.packedSize(0), 0u);
    auto bytes = archive.extract("empty");
    ASSERT_TRUE(bytes);
    EXPECT_TRUE(bytes->empty());
}

} // namespace
} // namespace kestrune
