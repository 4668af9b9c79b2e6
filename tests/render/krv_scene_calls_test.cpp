// krv scene calls and the placement fields of krv scene dump, run as a user runs them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "binary/byte_writer.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

// A parent null object at z = 5 with pivot 1 along x, a one-triangle compact object parented to
// it at x = 3, and a point light with a flare at the origin.
const char kScene[] = R"(LWSC
1
PreviewFirstFrame 0
PreviewLastFrame 10
PreviewFrameStep 1
FramesPerSecond 30
AddNullObject
ObjectMotion (unnamed)
9
1
0 0 5 0 0 0 1 1 1
0 0 0 0 0
EndBehavior 1
PivotPoint 1 0 0
LoadObject Objects\tri.lwo
ObjectMotion (unnamed)
9
1
3 0 0 0 0 0 1 1 1
0 0 0 0 0
EndBehavior 1
ParentObject 1
AddLight
LightMotion (unnamed)
9
1
0 0 0 0 0 0 1 1 1
0 0 0 0 0
EndBehavior 1
LightColor 252 252 252
LgtIntensity 1.0
LightType 1
LensFlare 1
CameraMotion (unnamed)
9
1
0 0 0 0 0 0 1 1 1
0 0 0 0 0
EndBehavior 1
)";

// One flat grey surface, three points facing -z, one triangle.
std::string compactTriangle() {
    ByteWriter out;
    out.u32le(1);
    out.u32le(3);
    out.u32le(1);
    out.u8(1);
    for (int i = 0; i < 3; ++i) out.f32le(0.5f);
    const float points[3][3] = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}};
    for (const auto& p : points)
        for (float c : p) out.f32le(c);
    out.u8(3);
    out.u8(0);
    out.u16le(1);
    for (uint16_t i = 0; i < 3; ++i) out.u16le(i);
    for (int i = 0; i < 6; ++i) out.f32le(0);
    return std::string(out.bytes.begin(), out.bytes.end());
}

struct KrvRun {
    int status;
    std::string out;
    std::string err;
};

class KrvSceneCallsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "krv-calls-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        std::ofstream(dir / "scene.lws", std::ios::binary) << kScene;
        std::ofstream(dir / "tri.3d", std::ios::binary) << compactTriangle();
    }
    void TearDown() override { fs::remove_all(dir); }

    KrvRun krv(const std::string& args) {
        std::string command = "cd '" + dir.string() + "' && '" KESTRUNE_BINARY_DIR "/tools/krv' " +
                              args + " >out.txt 2>err.txt";
        int raw = std::system(command.c_str());
        auto text = [&](const char* leaf) {
            std::ifstream in(dir / leaf, std::ios::binary);
            std::stringstream s;
            s << in.rdbuf();
            return s.str();
        };
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text("out.txt"), text("err.txt")};
    }

    fs::path dir;
};

TEST_F(KrvSceneCallsTest, PrintsEveryCallOfOneFrameAsJsonLines) {
    KrvRun run = krv("scene calls scene.lws --frame 0");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 7u) << run.out;
    EXPECT_EQ(lines[0], R"({"call": "beginScene"})");
    EXPECT_EQ(lines[1], R"({"call": "setTranslucent", "on": 0})");
    // The triangle: parent at z 5, child 3 - 1 = 2 along x; point (0, 1, 0) is (2, 1, 5). The
    // light at the origin, 5.385 away, gives trunc(63 x (5 / 5.385) / 5.385) = 10 to (2, 0, 5).
    EXPECT_EQ(
        lines[2].rfind(R"({"call": "drawPolygon", "object": 2, "polygon": 0, "flags": 1, )"
                       R"("vertexCount": 3, "vertices": [{"point": 0, "position": [2, 0, 5], )"
                       R"("normal": [0, 0, -1], "color": [10, 10, 10]}, {"point": 1, )"
                       R"("position": [2, 1, 5], )",
                       0),
        0u)
        << lines[2];
    EXPECT_EQ(lines[3], R"({"call": "setTranslucent", "on": 1})");
    EXPECT_EQ(lines[4], R"({"call": "setTranslucent", "on": 0})");
    EXPECT_EQ(lines[5], R"({"call": "endScene"})");
    EXPECT_EQ(lines[6], R"({"call": "pointFlare", "light": 1, "position": [0, 0, 0]})");
}

TEST_F(KrvSceneCallsTest, DumpShowsWorldAndCameraPlacement) {
    KrvRun run = krv("scene dump scene.lws --frame 0 --frame 3");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(R"("cameraPosition": [2, 0, 5])"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(R"("position": [2, 0, 5])"), std::string::npos);
    EXPECT_NE(run.out.find(R"("cameraDirection": [0, 0, 1])"), std::string::npos);
}

TEST_F(KrvSceneCallsTest, RefusesBadArgumentsAndMissingScenes) {
    EXPECT_EQ(krv("scene calls scene.lws").status, 2);
    EXPECT_EQ(krv("scene calls scene.lws --frame x").status, 2);
    EXPECT_EQ(krv("scene calls --frame 1").status, 2);
    KrvRun missing = krv("scene calls none.lws --frame 1");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.lws"), std::string::npos);
    EXPECT_EQ(krv("scene calls --help").status, 0);
}

} // namespace
} // namespace kestrune
