// A kept archive unpacked ahead on a second thread: every call gets the bytes a plain extraction
// gives, in any order of asking, for good and damaged entries alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/content_file.h"
#include "archive_test_util.h"

namespace kestrune {
namespace {

using test::RawArchive;

class ReadAheadTest : public test::ScratchDir {};

TEST_F(ReadAheadTest, EveryEntryAsAPlainExtractionGivesItInAnyOrder) {
    RawArchive raw;
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) {
        names.push_back("e" + std::to_string(i));
        raw.addEntry(names.back().c_str(),
                     std::vector<uint8_t>(size_t(1000 + 997 * i), uint8_t(i * 7 + 1)));
    }
    // Damaged records: past the entry data, a size deflate cannot give, and a broken stream.
    raw.addRecord("past", 1u << 20, 10, 10);
    raw.addRecord("huge", 0, 0xfffffff0u, 10);
    raw.bytes.insert(raw.bytes.end(), {0x78, 0x9c, 0xff, 0xff, 0xff, 0xff});
    raw.addRecord("broken", uint32_t(raw.bytes.size() - 6), 100, 6);
    for (const char* damaged : {"past", "huge", "broken"}) names.push_back(damaged);
    const std::string file = makeSource("ahead.dat", raw.finish());
    setDefaultArchiveName(file.c_str());

    std::vector<std::optional<std::vector<uint8_t>>> plain;
    {
        DataArchive archive(file.c_str());
        for (const std::string& name : names) plain.push_back(archive.extract(name.c_str()));
    }
    ASSERT_TRUE(plain[39]);
    EXPECT_FALSE(plain[40] || plain[41] || plain[42]);

    // Backwards, forwards and twice: the thread is ahead of some calls and behind others.
    openArchiveAhead(); // nothing is kept open: nothing to do
    for (int round = 0; round < 3; ++round) {
        ArchiveKeptOpen kept;
        if (round == 1) openArchiveAhead(); // unpacking from before the first call
        for (size_t n = 0; n < names.size(); ++n) {
            const size_t i = round == 1 ? n : names.size() - 1 - n;
            EXPECT_EQ(readContentFile(names[i].c_str()), plain[i]) << names[i];
            if (round == 2) {
                EXPECT_EQ(readContentFile(names[i].c_str()), plain[i]) << names[i];
            }
        }
        EXPECT_FALSE(readContentFile("absent"));
    }
    setDefaultArchiveName(kNoArchiveName);
}

} // namespace
} // namespace kestrune
