// Replacing a file through a temporary beside it: the target changes whole or not at all, keeps
// its identity, and no temporary outlives the replacement.
#include <filesystem>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "archive/replace_file.h"
#include "archive_test_util.h"

namespace kestrune {
namespace {

using test::bytesOf;
using test::readFile;
namespace fs = std::filesystem;

class ReplaceFileTest : public test::ScratchDir {
protected:
    size_t filesInDir() const {
        return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
};

TEST_F(ReplaceFileTest, CommitReplacesWholeAndAbandoningLeavesNoTrace) {
    makeSource("out.bin", bytesOf("old"));
    {
        FileReplacement out(path("out.bin"));
        ASSERT_TRUE(out.isOpen());
        ASSERT_TRUE(out.write("new ", 4));
        EXPECT_EQ(2u, filesInDir());
        EXPECT_EQ(bytesOf("old"), readFile(dir / "out.bin")); // nothing shows before commit
    }
    EXPECT_EQ(bytesOf("old"), readFile(dir / "out.bin"));
    EXPECT_EQ(1u, filesInDir());

    FileReplacement out(path("out.bin"));
    ASSERT_TRUE(out.write("new ", 4) && out.write("bytes", 5));
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(bytesOf("new bytes"), readFile(dir / "out.bin"));
    EXPECT_EQ(1u, filesInDir());
    EXPECT_FALSE(out.commit()); // once only
}

// The read-only attribute on Windows, the mode bits elsewhere.
TEST_F(ReplaceFileTest, AReadOnlyTargetIsRefused) {
#ifndef _WIN32
    if (::geteuid() == 0) GTEST_SKIP() << "root writes any file; krv pack's tests switch users";
#endif
    makeSource("ro", bytesOf("keep"));
    fs::permissions(path("ro"), fs::perms::owner_read);
    {
        FileReplacement out(path("ro"));
        EXPECT_FALSE(out.isOpen());
        EXPECT_FALSE(out.commit());
    }
    EXPECT_EQ(bytesOf("keep"), readFile(dir / "ro"));
    EXPECT_EQ(1u, filesInDir());
    fs::permissions(path("ro"), fs::perms::owner_write, fs::perm_options::add);
}

#ifndef _WIN32
TEST_F(ReplaceFileTest, KeepsModeAndReplacesALinkAtItsTarget) {
    fs::create_directory(dir / "real");
    makeSource("real/data", bytesOf("old"));
    ::chmod(path("real/data").c_str(), 0640);
    fs::create_symlink("real/data", dir / "link");

    FileReplacement out(path("link"));
    EXPECT_EQ(path("real/data"), out.target());
    ASSERT_TRUE(out.write("new", 3) && out.commit());
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(bytesOf("new"), readFile(dir / "link"));
    struct stat st;
    ASSERT_EQ(0, ::stat(path("real/data").c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
    EXPECT_EQ(1u, size_t(std::distance(fs::directory_iterator(dir / "real"),
                                       fs::directory_iterator())));
}
#endif

} // namespace
} // namespace kestrune
