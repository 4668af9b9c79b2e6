// Every write of an archive modification is failed or cut in turn: the archive on disk must always
// read back whole, as it was before or as it is after.
#include <map>

#include "archive/archive.h"
#include "archive_test_util.h"

namespace kestrune {
namespace {

using test::readFile;
using test::writeFile;
using Contents = std::map<std::string, std::vector<uint8_t>>;

// Fails the n-th file operation; a failed write first writes half of its bytes, as a full disk
// or a killed process would leave it.
class FaultyFiles : public FileLayer {
public:
    explicit FaultyFiles(int failAt) : failAt_(failAt) {}
    std::FILE* openRead(const std::string& p) override { return system().openRead(p); }
    std::FILE* createNew(const std::string& p) override {
        return trip() ? nullptr : system().createNew(p);
    }
    std::FILE* createTemporary(const std::string& target, std::string& temporary) override {
        return trip() ? nullptr : system().createTemporary(target, temporary);
    }
    bool write(std::FILE* f, const void* d, size_t n) override {
        if (trip()) {
            system().write(f, d, n / 2);
            return false;
        }
        return system().write(f, d, n);
    }
    bool finish(std::FILE* f) override {
        bool ok = system().finish(f);
        return !trip() && ok;
    }
    bool replace(const std::string& a, const std::string& b) override {
        return !trip() && system().replace(a, b);
    }
    void discard(const std::string& p) override { system().discard(p); }
    bool tripped() const { return tripped_; }

private:
    static FileLayer& system() { return systemFileLayer(); }
    bool trip() {
        if (++calls_ != failAt_) return false;
        tripped_ = true;
        return true;
    }
    int failAt_;
    int calls_ = 0;
    bool tripped_ = false;
};

Contents readAll(const std::string& file) {
    DataArchive archive(file.c_str());
    Contents contents;
    for (int i = 0; i < archive.entryCount(); ++i) {
        auto bytes = archive.extractAt(i);
        EXPECT_TRUE(bytes) << archive.entry(i).name;
        if (bytes) contents[archive.entry(i).name] = *bytes;
    }
    return contents;
}

std::vector<uint8_t> pattern(int seed, size_t n) {
    std::vector<uint8_t> bytes(n);
    uint32_t x = uint32_t(seed) * 2654435761u + 1;
    for (auto& b : bytes) b = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    return bytes;
}

class ArchiveFaultTest : public test::ScratchDir {
protected:
    // Builds the starting archive with the real file layer and returns its contents.
    Contents makeOld() {
        Contents old{
            {"one", pattern(1, 70000)}, {"two", pattern(2, 10)}, {"three", pattern(3, 900)}};
        std::filesystem::remove(path("x.dat"));
        DataArchive archive(path("x.dat").c_str());
        for (auto& [name, bytes] : old) archive.addBytes(bytes.data(), bytes.size(), name.c_str());
        return old;
    }

    // Runs the change with the n-th operation failing, for every n until one run meets no fault.
    template <typename Change> void everyFault(Change change, const Contents& expectNew) {
        for (int failAt = 1;; ++failAt) {
            Contents old = makeOld();
            auto oldBytes = readFile(path("x.dat"));
            FaultyFiles files(failAt);
            bool reported = change(files);
            Contents now = readAll(path("x.dat"));
            if (!files.tripped()) {
                EXPECT_TRUE(reported);
                EXPECT_EQ(expectNew, now);
                return;
            }
            EXPECT_FALSE(reported) << "failure " << failAt << " reported as success";
            EXPECT_EQ(old, now) << "after failure " << failAt;
            EXPECT_EQ(oldBytes, readFile(path("x.dat"))) << "after failure " << failAt;
            EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir),
                                       std::filesystem::directory_iterator()))
                << "a temporary file is left after failure " << failAt;
            ASSERT_LT(failAt, 1000);
        }
    }
};

TEST_F(ArchiveFaultTest, AddingSurvivesEveryFailedWrite) {
    Contents expect = makeOld();
    expect["four"] = pattern(4, 300000);
    expect["five"] = pattern(5, 1);
    everyFault(
        [&](FileLayer& files) {
            DataArchive archive(path("x.dat").c_str(), files);
            archive.addBytes(expect["four"].data(), expect["four"].size(), "four");
            archive.addBytes(expect["five"].data(), expect["five"].size(), "five");
            return archive.close();
        },
        expect);
}

TEST_F(ArchiveFaultTest, RemovingSurvivesEveryFailedWrite) {
    Contents expect = makeOld();
    expect.erase("two");
    everyFault(
        [&](FileLayer& files) {
            DataArchive archive(path("x.dat").c_str(), files);
            return archive.remove("two");
        },
        expect);
}

} // namespace
} // namespace kestrune
