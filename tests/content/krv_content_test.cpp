// The companion tool on the generated content, as its authors check it: the archive verifies,
// every scene dumps, and the module's facts read back.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/content/show_fixture.h"

using namespace kestrune;

namespace {

struct KrvRun {
    int status;
    std::string out;
    std::string err;
};

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

KrvRun krv(const std::string& args) {
    const std::filesystem::path dir = generatedShowFolder();
    const std::string command = "cd '" + dir.string() +
                                "' && '" KESTRUNE_BINARY_DIR "/tools/krv' " + args +
                                " >krv-out.txt 2>krv-err.txt";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(dir / "krv-out.txt"),
            readFile(dir / "krv-err.txt")};
}

// True when a null stands directly inside a list: a number that was not finite.
bool nullInList(const std::string& json) {
    for (size_t at = json.find("null"); at != std::string::npos; at = json.find("null", at + 4)) {
        size_t open = json.find_last_of("[]{}", at);
        if (open != std::string::npos && json[open] == '[') return true;
    }
    return false;
}

} // namespace

TEST(KrvOnContent, ArchiveVerifiesScenesDumpAndModuleReads) {
    generatedShow();
    KrvRun verify = krv("pack verify krv.dat");
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_EQ(verify.err, "");

    for (const char* scene : {"load",  "walk0", "walk1", "walk2",   "walk3",   "walk4", "walk5",
                              "walk6", "walk7", "walk8", "Credits", "Divozev", "greet", "text0",
                              "text1", "text2", "text3", "text4",   "text5",   "text6"}) {
        KrvRun dump = krv(std::string("scene dump ") + scene + ".lws --frame 100");
        EXPECT_EQ(dump.status, 0) << scene << ": " << dump.err;
        EXPECT_EQ(dump.err, "") << scene;
        // No channel, position or direction came out undefined (written as null in a list).
        EXPECT_FALSE(nullInList(dump.out)) << scene;
    }

    KrvRun info = krv("xm info test.xm");
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.err, "");
    EXPECT_NE(info.out.find("\"channels\": 10"), std::string::npos);
    EXPECT_NE(info.out.find("\"ping-pong\""), std::string::npos);
}
