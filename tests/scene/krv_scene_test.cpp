// krv scene dump as content authors run it: output, exit statuses, and no archive created.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "archive/archive.h"

namespace kestrune {
namespace {

struct KrvRun {
    int status;
    std::string out;
    std::string err;
};

class KrvScene : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("kestrune_krv_scene_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    void write(const char* name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    std::string read(const char* name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    KrvRun krv(const std::string& args) {
        const std::string command = "cd '" + dir_.string() +
                                    "' && '" KESTRUNE_BINARY_DIR "/tools/krv' " + args +
                                    " >out.txt 2>err.txt";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read("out.txt"), read("err.txt")};
    }
    std::filesystem::path dir_;
};

const char kScene[] = "PreviewFirstFrame 1 PreviewLastFrame 40 PreviewFrameStep 1 "
                      "FramesPerSecond 30\n"
                      "AddNullObject ObjectMotion m 9 2 0 0 0 0 0 0 1 1 1 0 0 0 0 0 "
                      "10 0 0 0 0 0 1 1 1 10 1 0 0 0 EndBehavior 1\n"
                      "ObjDissolve 0.25\n"
                      "AddBone BoneRestLength 2 BoneStrength 3 ScaleBoneStrength 1\n"
                      "AddBone ParentObject 1 BoneMotion b 9 1 1 2 3 0 0 0 1 1 1 0 0 0 0 0 "
                      "EndBehavior 1\n"
                      "LoadObject Objects\\mcube.lwo ParentObject 1\n"
                      "AddLight LightColor 255 128 3 LightType 2 LensFlare 1 ParentObject 2 "
                      "LgtIntensity 0.5\n"
                      "CameraMotion c 9 1 0 0 -5 0 0 0 1 1 1 0 0 0 0 0 EndBehavior 1\n";

TEST_F(KrvScene, DumpIsCompleteAndStable) {
    write("walk.lws", kScene);
    const KrvRun run = krv("scene dump walk.lws --frame 5 --frame 2.5");
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("", run.err);
    const std::string& out = run.out;
    for (const char* expected :
         {"\"firstFrame\": 1", "\"lastFrame\": 40", "\"framesPerSecond\": 30", "\"name\": \"NULL\"",
          "\"name\": \"mcube.lwo\"", "\"isMetaball\": 1", "\"strength\": 6",
          "\"color\": [63, 32, 0]", "\"lensFlare\": 1", "\"type\": 2",
          "\"motion\": [5, 0, 0, 0, 0, 0, 1, 1, 1]", "\"motion\": [2.5, 0, 0, 0, 0, 0, 1, 1, 1]",
          "\"dissolve\": 0.25", "\"intensity\": 0.5", "[1, 2, 3, 0, 0, 0, 1, 1, 1]",
          "\"motion\": [0, 0, -5, 0, 0, 0, 1, 1, 1]", "\"frame\": 2.5"})
        EXPECT_NE(std::string::npos, out.find(expected)) << expected << "\n" << out;
    // The second object's parent, the second bone's parent and the light's parent.
    EXPECT_NE(std::string::npos, out.find("\"index\": 2,\n      \"name\": \"mcube.lwo\""));
    EXPECT_EQ(krv("scene dump walk.lws --frame 5 --frame 2.5").out, out);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "krv.dat")); // not created by looking
}

TEST_F(KrvScene, FindsScenesInTheArchive) {
    {
        DataArchive archive((dir_ / "content.dat").c_str());
        ASSERT_TRUE(archive.addBytes(reinterpret_cast<const uint8_t*>(kScene), sizeof kScene - 1,
                                     "packed.lws"));
        ASSERT_TRUE(archive.close());
    }
    const KrvRun run = krv("scene dump packed.lws --archive content.dat");
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("\"objectCount\": 2"));
    EXPECT_NE(std::string::npos, run.out.find("\"frames\": []"));
}

TEST_F(KrvScene, ErrorsAndUsage) {
    KrvRun missing = krv("scene dump nowhere.lws");
    EXPECT_EQ(1, missing.status);
    EXPECT_NE(std::string::npos, missing.err.find("nowhere.lws"));
    EXPECT_EQ(1, std::count(missing.err.begin(), missing.err.end(), '\n'));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "krv.dat"));
    write("s.lws", kScene);
    EXPECT_EQ(2, krv("scene dump s.lws --frame abc").status);
    EXPECT_EQ(2, krv("scene dump s.lws --frame").status);
    EXPECT_EQ(2, krv("scene dump s.lws t.lws").status);
    EXPECT_EQ(2, krv("scene dump").status);
    EXPECT_EQ(2, krv("scene frobnicate").status);
    EXPECT_EQ(2, krv("scene").status);
    const KrvRun help = krv("scene dump --help");
    EXPECT_EQ(0, help.status);
    EXPECT_NE(std::string::npos, help.out.find("usage: krv scene dump"));
    EXPECT_EQ(0, krv("scene --help").status);
}

} // namespace
} // namespace kestrune
