// The software device's show frames do not depend on how many threads rasterise them: frames of
// every part drawn with 1, 2, 3 and 8 threads are identical, pixel for pixel.
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/show_frames.h"
#include "tests/direct3d/direct3d_test_host.h"

namespace kestrune::test {
namespace {

using ThreadCountTest = Direct3DTest;

TEST_F(ThreadCountTest, ShowFramesAreIdenticalWhateverTheThreadCount) {
    namespace fs = std::filesystem;
    const fs::path previous = fs::current_path();
    const fs::path folder =
        fs::temp_directory_path() /
        ("kestrune-thread-count-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    ASSERT_TRUE(enterGeneratedShow(folder));
    std::vector<std::vector<uint16_t>> single;
    for (int threads : {1, 2, 3, 8}) {
        SoftDeviceConfig config;
        config.rasterThreads = threads;
        device = std::make_unique<SoftDirectDrawSystem>(config);
        direct3DHost.system = device.get();
        fillDirect3DBackend(renderBackend);
        driverServices = showServices();
        ASSERT_EQ(open(320, 240), -1);
        const std::vector<ShowFrame> frames = loadShowFrames(2);
        for (size_t i = 0; i < frames.size(); ++i) {
            drawShowFrame(frames[i]);
            int width = 0, height = 0;
            std::vector<uint16_t> pixels = frontBuffer(width, height);
            if (threads == 1) {
                int lit = 0;
                for (uint16_t p : pixels) lit += p != 0;
                EXPECT_GT(lit, width * height / 50) << "part " << frames[i].part << " is blank";
                single.push_back(std::move(pixels));
            } else {
                EXPECT_TRUE(pixels == single[i])
                    << "part " << frames[i].part << ", frame " << frames[i].frame << ", " << threads
                    << " threads";
            }
        }
        direct3d::closeDisplay();
    }
    freeMetaballs();
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

} // namespace
} // namespace kestrune::test
