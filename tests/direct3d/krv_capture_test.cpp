// krv capture end to end on the generated show: a short stretch with each renderer gives
// seconds x fps PNG frames that are not blank and a WAV as long as the stretch.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "content/show.h"
#include "tests/direct3d/png_image.h"

namespace kestrune::test {
namespace {

namespace fs = std::filesystem;

class KrvCaptureTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = fs::temp_directory_path() / ("kestrune-capture-" + std::to_string(getpid()));
        std::string error;
        ASSERT_TRUE(writeShow(buildShow(), folder / "show", error)) << error;
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    // Runs krv capture in the show's folder; its exit status.
    int capture(const std::string& arguments) {
        const std::string command = "cd '" + (folder / "show").string() +
                                    "' && timeout -s KILL 300 '" KESTRUNE_BINARY_DIR
                                    "/tools/krv' capture " +
                                    arguments + " 2> /dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void expectStretch(const fs::path& out, int frames, int width, int height) {
        int pngs = 0;
        for (const auto& entry : fs::directory_iterator(out))
            pngs += entry.path().extension() == ".png";
        EXPECT_EQ(pngs, frames);
        for (int i = 0; i < frames; i += frames - 1) {
            char name[32];
            std::snprintf(name, sizeof name, "frame_%06d.png", i);
            RgbImage image;
            ASSERT_TRUE(readPng((out / name).string(), image)) << name;
            EXPECT_EQ(image.width, width);
            EXPECT_EQ(image.height, height);
            int lit = 0;
            for (size_t p = 0; p < image.pixels.size(); p += 3)
                lit += image.pixels[p] + image.pixels[p + 1] + image.pixels[p + 2] > 30;
            EXPECT_GT(lit, width * height / 4) << name << " is blank";
        }
        // 44-byte header, then 44100 stereo 16-bit frames per second of the stretch.
        EXPECT_EQ(fs::file_size(out / "audio.wav"), 44u + 44100u * 4u * 3u / 2u);
    }

    static inline fs::path folder;
};

TEST_F(KrvCaptureTest, Direct3DStretch) {
    const fs::path out = folder / "d3d";
    ASSERT_EQ(capture("--renderer direct3d --size 160x120 --fps 4 --from 12 --seconds 1.5 "
                      "--out '" +
                      out.string() + "'"),
              0);
    expectStretch(out, 6, 160, 120);
}

TEST_F(KrvCaptureTest, OpenGLStretch) {
    const fs::path out = folder / "gl";
    ASSERT_EQ(capture("--renderer opengl --size 160x120 --fps 4 --from 12 --seconds 1.5 --out '" +
                      out.string() + "'"),
              0);
    expectStretch(out, 6, 160, 120);
}

TEST_F(KrvCaptureTest, UsageErrorsExitWithTwo) {
    EXPECT_EQ(capture("--renderer vulkan"), 2);
    EXPECT_EQ(capture("--fps 0"), 2);
    EXPECT_EQ(capture("--size 10x10"), 2);
}

} // namespace
} // namespace kestrune::test
