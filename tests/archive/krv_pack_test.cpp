// krv pack as a user drives it: exit statuses, messages, and nothing changed when it refuses.
#include <cstdlib>
#include <sys/wait.h>

#include "archive/archive.h"
#include "archive_test_util.h"

namespace kestrune {
namespace {

using testing::bytesOf;
using testing::readFile;
using testing::writeFile;

long lineCount(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}

struct KrvRun {
    int status;
    std::string out;
    std::string err;
};

class KrvPackTest : public testing::ScratchDir {
protected:
    KrvRun krv(const std::string& args) {
        std::string command = std::string("cd '") + dir.string() +
                              "' && '" KESTRUNE_BINARY_DIR "/tools/krv' " + args +
                              " >out.txt 2>err.txt";
        int raw = std::system(command.c_str());
        auto text = [&](const char* leaf) {
            auto bytes = readFile(dir / leaf);
            return std::string(bytes.begin(), bytes.end());
        };
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text("out.txt"), text("err.txt")};
    }
};

TEST_F(KrvPackTest, AddListExtractRemove) {
    makeSource("scene.lws", bytesOf("LWSC\n1\n"));
    makeSource("logo.jpg", std::vector<uint8_t>(2000, 0xff));
    KrvRun add = krv("pack add krv.dat scene.lws logo.jpg");
    ASSERT_EQ(0, add.status) << add.err;
    KrvRun list = krv("pack list krv.dat");
    EXPECT_EQ(0, list.status);
    DataArchive archive(path("krv.dat").c_str());
    std::string expected = "scene.lws\t7\t" + std::to_string(archive.packedSize(0)) + "\t0\n" +
                           "logo.jpg\t2000\t" + std::to_string(archive.packedSize(1)) + "\t" +
                           std::to_string(archive.packedSize(0)) + "\n";
    EXPECT_EQ(expected, list.out);

    KrvRun out = krv("pack extract krv.dat SCENE.LWS");
    EXPECT_EQ(0, out.status);
    EXPECT_EQ("LWSC\n1\n", out.out);
    EXPECT_EQ(0, krv("pack extract krv.dat logo.jpg copy.jpg").status);
    EXPECT_EQ(std::vector<uint8_t>(2000, 0xff), readFile(dir / "copy.jpg"));

    EXPECT_EQ(0, krv("pack remove krv.dat scene.lws").status);
    EXPECT_EQ(0, krv("pack verify krv.dat").status);
    EXPECT_EQ(1, lineCount(krv("pack list krv.dat").out));
}

TEST_F(KrvPackTest, AddReplacesAnEntryOfTheSameName) {
    makeSource("a.txt", bytesOf("old"));
    ASSERT_EQ(0, krv("pack add krv.dat a.txt").status);
    makeSource("A.TXT", bytesOf("new!"));
    ASSERT_EQ(0, krv("pack add krv.dat A.TXT").status);
    EXPECT_EQ("new!", krv("pack extract krv.dat a.txt").out);
    EXPECT_EQ(0, krv("pack add krv.dat --as renamed.bin a.txt").status);
    EXPECT_EQ("old", krv("pack extract krv.dat renamed.bin").out);
    DataArchive archive(path("krv.dat").c_str());
    EXPECT_EQ(2, archive.entryCount());
}

TEST_F(KrvPackTest, RefusalsChangeNothing) {
    makeSource("a.txt", bytesOf("a"));
    ASSERT_EQ(0, krv("pack add krv.dat a.txt").status);
    auto before = readFile(dir / "krv.dat");

    std::string longName(32, 'x');
    makeSource(longName, bytesOf("x"));
    KrvRun tooLong = krv("pack add krv.dat a.txt " + longName);
    EXPECT_EQ(1, tooLong.status);
    EXPECT_NE(std::string::npos, tooLong.err.find("longer than 31"));
    EXPECT_EQ(1, krv("pack add krv.dat missing.txt").status);
    EXPECT_EQ(1, krv("pack remove krv.dat a.txt nothere").status);
    EXPECT_EQ(1, krv("pack extract krv.dat nothere").status);
    EXPECT_EQ(before, readFile(dir / "krv.dat"));
    EXPECT_EQ(1, lineCount(krv("pack list krv.dat").out));
}

TEST_F(KrvPackTest, ReadingCommandsNeverCreateAnArchive) {
    for (const char* command : {"list", "verify", "extract"}) {
        KrvRun run = krv(std::string("pack ") + command + " absent.dat" +
                         (std::string(command) == "extract" ? " x" : ""));
        EXPECT_EQ(1, run.status) << command;
        EXPECT_NE(std::string::npos, run.err.find("no such archive")) << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "absent.dat"));
    }
    EXPECT_EQ(1, krv("pack remove absent.dat x").status);
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.dat"));
}

TEST_F(KrvPackTest, VerifyReportsDamage) {
    makeSource("a.txt", std::vector<uint8_t>(5000, 'a'));
    ASSERT_EQ(0, krv("pack add krv.dat a.txt").status);
    auto bytes = readFile(dir / "krv.dat");
    bytes[5] ^= 0x55; // inside the entry's stream
    writeFile(dir / "krv.dat", bytes);
    KrvRun run = krv("pack verify krv.dat");
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.out.find("a.txt\tcannot be unpacked"));
    writeFile(dir / "plain.txt", bytesOf("just text"));
    EXPECT_EQ(1, krv("pack verify plain.txt").status);
    EXPECT_EQ(1, krv("pack list plain.txt").status);
}

TEST_F(KrvPackTest, UsageAndHelp) {
    EXPECT_EQ(0, krv("--help").status);
    KrvRun help = krv("pack --help");
    EXPECT_EQ(0, help.status);
    EXPECT_NE(std::string::npos, help.out.find("krv pack list ARCHIVE"));
    EXPECT_EQ(2, krv("pack").status);
    EXPECT_EQ(2, krv("pack frobnicate krv.dat").status);
    EXPECT_EQ(2, krv("pack add krv.dat").status);
    EXPECT_EQ(2, krv("pack list").status);
    EXPECT_EQ(2, krv("nosuchcommand").status);
    makeSource("a", bytesOf("a"));
    makeSource("b", bytesOf("b"));
    EXPECT_EQ(2, krv("pack add krv.dat --as x a b").status);
    EXPECT_FALSE(std::filesystem::exists(dir / "krv.dat"));
}

} // namespace
} // namespace kestrune
