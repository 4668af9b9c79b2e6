// krv pack as a user drives it: exit statuses, messages, and nothing changed when it refuses.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <thread>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "archive/archive.h"
#include "archive_test_util.h"

namespace kestrune {
namespace {

using test::bytesOf;
using test::readFile;
using test::writeFile;

long lineCount(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}

struct KrvRun {
    int status;
    std::string out;
    std::string err;
};

class KrvPackTest : public test::ScratchDir {
protected:
    // Runs krv in the scratch folder; prefix goes before it (a user switch, a limit).
    KrvRun krv(const std::string& args, const std::string& prefix = "") {
        std::string command = std::string("cd '") + dir.string() + "' && " + prefix +
                              " '" KESTRUNE_BINARY_DIR "/tools/krv' " + args +
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

std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder))
        if (!item.is_directory()) names.push_back(item.path().lexically_relative(folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(KrvPackTest, PathsOfAnyLengthAreKeptWhole) {
    // 331 characters: more than the old fixed name buffers held.
    std::string sub = std::string(100, 'd') + "/" + std::string(100, 'e') + "/" +
                      std::string(100, 'f');
    std::filesystem::create_directories(dir / sub);
    std::string archive = sub + "/" + std::string(331 - sub.size() - 1, 'k');
    ASSERT_EQ(331u, archive.size());
    makeSource("a.txt", bytesOf("a"));
    ASSERT_EQ(0, krv("pack add " + archive + " a.txt").status);
    EXPECT_EQ("ok\t1 entries\n", krv("pack verify " + archive).out);
    EXPECT_EQ(1, lineCount(krv("pack list " + archive).out));
    EXPECT_EQ((std::vector<std::string>{"a.txt", archive, "err.txt", "out.txt"}), filesIn(dir));
}

TEST_F(KrvPackTest, ArchivesKeepModeOwnerAndLinks) {
    makeSource("a.txt", bytesOf("a"));
    makeSource("b.txt", bytesOf("b"));
    ASSERT_EQ(0, krv("pack add krv.dat a.txt").status);
    ASSERT_EQ(0, ::chmod(path("krv.dat").c_str(), 0640));
    if (::geteuid() == 0) {
        ASSERT_EQ(0, ::chown(path("krv.dat").c_str(), 65534, 65534)); // root keeps it theirs
    }
    struct stat before, after;
    ::stat(path("krv.dat").c_str(), &before);
    std::filesystem::create_symlink("krv.dat", dir / "link.dat");
    ASSERT_EQ(0, krv("pack add link.dat b.txt").status);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.dat"));
    ::stat(path("krv.dat").c_str(), &after);
    EXPECT_EQ(0640u, after.st_mode & 07777);
    EXPECT_EQ(before.st_uid, after.st_uid);
    EXPECT_EQ(before.st_gid, after.st_gid);
    EXPECT_EQ(2, lineCount(krv("pack list krv.dat").out));
    EXPECT_EQ(0, krv("pack remove link.dat a.txt").status);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.dat"));
    EXPECT_EQ(0u, krv("pack list krv.dat").out.find("b.txt\t"));
}

// Root writes any file, so a read-only archive is tried as another user.
TEST_F(KrvPackTest, AnotherUserCannotChangeAReadOnlyArchive) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch users";
    const std::string nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    if (std::system((nobody + " test -x '" KESTRUNE_BINARY_DIR "/tools/krv'").c_str()) != 0)
        GTEST_SKIP() << "the build folder is closed to other users";
    makeSource("a.txt", bytesOf("a"));
    makeSource("b.txt", bytesOf("b"));
    ASSERT_EQ(0, krv("pack add krv.dat a.txt").status);
    ::chmod(dir.c_str(), 0777);
    ::chmod(path("krv.dat").c_str(), 0444);
    auto bytes = readFile(dir / "krv.dat");
    for (const char* change : {"add krv.dat b.txt", "remove krv.dat a.txt"}) {
        KrvRun run = krv(std::string("pack ") + change, nobody);
        EXPECT_EQ(1, run.status) << change;
        EXPECT_NE(std::string::npos, run.err.find("cannot be written")) << run.err;
        struct stat st;
        ::stat(path("krv.dat").c_str(), &st);
        EXPECT_EQ(0444u, st.st_mode & 07777);
        EXPECT_EQ(0u, st.st_uid);
        EXPECT_EQ(bytes, readFile(dir / "krv.dat"));
    }
    // A writable one is changed, keeping its bits; the rewrite makes its writer the owner.
    ::chmod(path("krv.dat").c_str(), 0666);
    EXPECT_EQ(0, krv("pack add krv.dat b.txt", nobody).status);
    struct stat st;
    ::stat(path("krv.dat").c_str(), &st);
    EXPECT_EQ(0666u, st.st_mode & 07777);
    EXPECT_EQ(65534u, st.st_uid);
}

TEST_F(KrvPackTest, EachCommandIsOneChangeOrNone) {
    makeSource("a.txt", bytesOf("a"));
    makeSource("mem", bytesOf("old"));
    ASSERT_EQ(0, krv("pack add krv.dat a.txt mem").status);
    auto before = readFile(dir / "krv.dat");
    // The entry it would replace must survive a source that fails while being read.
    EXPECT_EQ(1, krv("pack add krv.dat a.txt /proc/self/mem").status);
    EXPECT_EQ(1, krv("pack remove krv.dat mem MEM").status);
    EXPECT_EQ(1, krv("pack remove krv.dat mem a.txt nothere").status);
    EXPECT_EQ(before, readFile(dir / "krv.dat"));
    EXPECT_EQ(0, krv("pack remove krv.dat mem a.txt").status);
    EXPECT_EQ("ok\t0 entries\n", krv("pack verify krv.dat").out);
}

TEST_F(KrvPackTest, ConcurrentAddsFollowOneAnother) {
    std::string first, second;
    for (int i = 0; i < 20; ++i) {
        first += " " + makeSource("p" + std::to_string(i), bytesOf("first " + std::to_string(i)));
        second += " " + makeSource("q" + std::to_string(i), bytesOf("second" + std::to_string(i)));
    }
    makeSource("krv.dat.new", bytesOf("mine"));
    const std::string krvPath = KESTRUNE_BINARY_DIR "/tools/krv";
    for (int round = 0; round < 20; ++round) {
        std::filesystem::remove(dir / "krv.dat");
        std::string both = "(" + krvPath + " pack add krv.dat" + first + " & " + krvPath +
                           " pack add krv.dat" + second + " & wait)";
        EXPECT_EQ(0, std::system(("cd '" + dir.string() + "' && " + both).c_str()));
        EXPECT_EQ("ok\t40 entries\n", krv("pack verify krv.dat").out) << "round " << round;
    }
    EXPECT_EQ(bytesOf("mine"), readFile(dir / "krv.dat.new"));
    EXPECT_EQ(44u, filesIn(dir).size()); // no temporary or lock file left
}

TEST_F(KrvPackTest, AddRefusesFilesThatAreNotArchives) {
    makeSource("new.txt", bytesOf("text"));
    ASSERT_EQ(0, krv("pack add krv.dat new.txt").status);
    auto archive = readFile(dir / "krv.dat");
    KrvRun swapped = krv("pack add new.txt krv.dat");
    EXPECT_EQ(1, swapped.status);
    EXPECT_NE(std::string::npos, swapped.err.find("--append-to-foreign")) << swapped.err;
    EXPECT_EQ(bytesOf("text"), readFile(dir / "new.txt"));
    EXPECT_EQ(archive, readFile(dir / "krv.dat"));

    EXPECT_EQ(0, krv("pack add --append-to-foreign new.txt krv.dat").status);
    auto appended = readFile(dir / "new.txt");
    EXPECT_EQ(bytesOf("text"), std::vector<uint8_t>(appended.begin(), appended.begin() + 4));
    EXPECT_EQ(0, krv("pack verify new.txt").status);
    makeSource("empty.dat", {});
    EXPECT_EQ(0, krv("pack add empty.dat new.txt").status);
}

TEST_F(KrvPackTest, NamesThatLookupWouldConfuseAreRefused) {
    makeSource("a@.txt", bytesOf("at"));
    makeSource("a`.txt", bytesOf("grave"));
    EXPECT_EQ(1, krv("pack add krv.dat a@.txt 'a`.txt'").status);
    EXPECT_FALSE(std::filesystem::exists(dir / "krv.dat"));
    EXPECT_EQ(1, krv("pack add krv.dat --as \"$(printf 'a\\tb')\" a@.txt").status);
    EXPECT_EQ(1, krv("pack add krv.dat --as \"$(printf 'a\\nb')\" a@.txt").status);
    ASSERT_EQ(0, krv("pack add krv.dat a@.txt").status);
    ASSERT_EQ(0, krv("pack add krv.dat 'a`.txt'").status); // replaces its namesake
    EXPECT_EQ("ok\t1 entries\n", krv("pack verify krv.dat").out);
    EXPECT_EQ("grave", krv("pack extract krv.dat a@.txt").out);
}

TEST_F(KrvPackTest, ExtractNeverOverwritesTheArchiveOrDiesOfMemory) {
    makeSource("a.txt", bytesOf("a"));
    ASSERT_EQ(0, krv("pack add krv.dat a.txt").status);
    auto before = readFile(dir / "krv.dat");
    EXPECT_EQ(1, krv("pack extract krv.dat a.txt krv.dat").status);
    std::filesystem::create_symlink("krv.dat", dir / "other");
    EXPECT_EQ(1, krv("pack extract krv.dat a.txt other").status);
    EXPECT_EQ(before, readFile(dir / "krv.dat"));

#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-limited process cannot run under AddressSanitizer";
#else
    // An entry claiming 1 GB unpacked, within what its packed size could expand to.
    std::vector<uint8_t> random(1 << 20);
    uint32_t x = 1;
    for (auto& b : random) b = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    test::RawArchive raw;
    raw.bytes = test::zlibPack(random);
    raw.addRecord("big", 0, 1000000000u, uint32_t(raw.bytes.size()));
    writeFile(dir / "krv.dat", raw.finish());
    KrvRun run = krv("pack extract krv.dat big out.bin", "ulimit -v 400000 &&");
    EXPECT_EQ(1, run.status);
    EXPECT_EQ(1, lineCount(run.err)) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "out.bin"));
#endif
}

// Starts krv in folder with its output discarded.
pid_t startKrv(const std::filesystem::path& folder, std::vector<std::string> args) {
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    int null = ::open("/dev/null", O_WRONLY);
    if (::chdir(folder.c_str()) != 0 || null < 0) ::_exit(127);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> argv{const_cast<char*>("krv")};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(KESTRUNE_BINARY_DIR "/tools/krv", argv.data());
    ::_exit(127);
}

// Killed at many moments, a command leaves its input as it was or as the command makes it, and
// its output whole or absent; only a hidden temporary may be left behind.
TEST_F(KrvPackTest, AKillAtAnyMomentLeavesOldOrNewNeverHalf) {
    std::vector<uint8_t> big(2 << 20);
    uint32_t x = 7;
    for (auto& b : big) b = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    writeFile(dir / "big", big);
    makeSource("small", bytesOf("small"));
    ASSERT_EQ(0, krv("pack add one.dat small").status);
    ASSERT_EQ(0, krv("pack add two.dat small big").status);
    const auto one = readFile(dir / "one.dat"), two = readFile(dir / "two.dat");

    struct Case {
        std::vector<std::string> args;
        std::vector<uint8_t> before;
    };
    for (const Case& c : {Case{{"pack", "add", "krv.dat", "big"}, one},
                          Case{{"pack", "remove", "krv.dat", "small"}, two},
                          Case{{"pack", "extract", "krv.dat", "big", "out.bin"}, two}}) {
        auto restore = [&] {
            for (const auto& item : std::filesystem::directory_iterator(dir))
                if (item.path().filename().string()[0] == '.' ||
                    item.path().filename() == "out.bin")
                    std::filesystem::remove(item.path());
            writeFile(dir / "krv.dat", c.before);
        };
        restore();
        auto start = std::chrono::steady_clock::now();
        int status = 0;
        ::waitpid(startKrv(dir, c.args), &status, 0);
        ASSERT_EQ(0, WEXITSTATUS(status)) << c.args[1];
        const auto whole = std::chrono::steady_clock::now() - start;
        const auto after = readFile(dir / "krv.dat");
        const int points = 10;
        for (int k = 1; k <= points; ++k) {
            restore();
            pid_t pid = startKrv(dir, c.args);
            std::this_thread::sleep_for(whole * k / (points + 1));
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            auto now = readFile(dir / "krv.dat");
            EXPECT_TRUE(now == c.before || now == after) << c.args[1] << " killed at " << k;
            if (std::filesystem::exists(dir / "out.bin")) {
                EXPECT_EQ(big, readFile(dir / "out.bin")) << "killed at " << k;
            }
        }
        restore();
    }
}

} // namespace
} // namespace kestrune
