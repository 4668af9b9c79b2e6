// krv's commands as a user types them: inputs never created or overwritten, arguments read one
// way by every command, WAV limits, a song played once through, capture past the show's end and
// to video.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "content/show.h"
#include "content/xm_writer.h"

namespace kestrune {
namespace {

namespace fs = std::filesystem;

struct KrvRun {
    int status;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

class KrvTools : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root = fs::temp_directory_path() / ("kestrune-krv-tools-" + std::to_string(getpid()));
        std::string error;
        ASSERT_TRUE(writeShow(buildShow(), root / "show", error)) << error;
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    void SetUp() override {
        dir = root / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(dir);
    }

    // Runs krv with arguments in folder; its output and errors are kept outside the folder.
    KrvRun krv(const std::string& arguments, const fs::path& folder) {
        const fs::path out = root / "out.txt", err = root / "err.txt";
        const std::string command = "cd '" + folder.string() + "' && SDL_VIDEODRIVER=offscreen " +
                                    "timeout -s KILL 300 '" KESTRUNE_BINARY_DIR "/tools/krv' " +
                                    arguments + " >'" + out.string() + "' 2>'" + err.string() +
                                    "'";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
    }
    KrvRun krv(const std::string& arguments) { return krv(arguments, dir); }
    KrvRun inShow(const std::string& arguments) { return krv(arguments, root / "show"); }

    static inline fs::path root;
    fs::path dir;
};

TEST_F(KrvTools, ReadCommandsCreateNothing) {
    for (const char* command : {"snapshot scene walk0.lws 10 x.png", "capture --seconds 0.5",
                                "scene dump walk0.lws --archive other.dat"}) {
        const KrvRun run = krv(command);
        EXPECT_EQ(run.status, 1) << command << ": " << run.err;
        EXPECT_TRUE(fs::is_empty(dir)) << command << " left " << fs::begin(fs::directory_iterator(dir))->path();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    EXPECT_NE(krv("capture").err.find("no show here"), std::string::npos);
}

TEST_F(KrvTools, AnOutputIsNeverAnInput) {
    fs::copy_file(root / "show" / "test.xm", dir / "copy.xm");
    const std::string before = slurp(dir / "copy.xm");
    const KrvRun run = krv("xm render copy.xm ./copy.xm --seconds 1");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("is the input"), std::string::npos) << run.err;
    EXPECT_EQ(slurp(dir / "copy.xm"), before);
}

TEST_F(KrvTools, EveryCommandReadsArgumentsOneWay) {
    fs::copy_file(root / "show" / "test.xm", dir / "test.xm");
    std::ofstream(dir / "s.lws") << "LWSC\n1\n\nPreviewFirstFrame 0\nPreviewLastFrame 10\n";
    struct Case {
        const char* arguments;
        int status;
        const char* message;
    };
    for (const Case& c : {
             Case{"xm info test.xm --bogus", 2, "unknown option --bogus"},
             Case{"xm render test.xm out.wav --bogus", 2, "unknown option --bogus"},
             Case{"capture --bogus 1", 2, "unknown option --bogus"},
             Case{"scene dump s.lws --frame 1 --bogus", 2, "unknown option --bogus"},
             Case{"snapshot options --help", 0, ""},
             Case{"scene calls s.lws --bogus --help", 0, ""},
             Case{"capture --size 640x480junk", 2, "--size takes WxH"},
             Case{"snapshot scene s.lws 1 x.png --size 64x48x", 2, "--size takes WxH"},
             Case{"snapshot scene s.lws nan x.png", 2, "FRAME"},
             Case{"snapshot scene s.lws inf x.png", 2, "FRAME"},
             Case{"scene dump s.lws --frame 0x10", 2, "not a frame number"},
             Case{"xm info .", 1, "is a folder"},
             Case{"xm render test.xm . --seconds 1", 1, "is a folder"},
             Case{"scene dump s.lws --archive .", 1, "is a folder"},
             Case{"scene dump walk0.lws --archive damaged.dat", 1, "is damaged"},
             Case{"xm render test.xm out.wav --seconds 30000", 2, "at most 24347 seconds"},
             Case{"capture --seconds 30000", 2, "at most 24347 seconds"},
         }) {
        // An archive's trailer mark with a directory that cannot be read.
        std::ofstream(dir / "damaged.dat") << std::string(100, 'x') << ":-)";
        const KrvRun run = krv(c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << ": " << run.err;
        if (c.status == 0) {
            EXPECT_NE(run.out.find("usage: krv"), std::string::npos) << c.arguments;
        }
    }
    EXPECT_FALSE(fs::exists(dir / "--help"));
    EXPECT_FALSE(fs::exists(dir / "out.wav"));
}

// A one-channel module of patterns of 8 rows at speed 6 and 125 BPM: 5292 frames a row.
XmModule eightRowSong(int patterns) {
    XmModule m;
    m.channels = 1;
    XmInstrument silent;
    silent.samples.push_back(XmSample{});
    silent.samples.back().data.assign(16, 0);
    m.instruments.push_back(silent);
    for (int i = 0; i < patterns; ++i) {
        m.orders.push_back(uint8_t(i));
        m.patterns.emplace_back(8, 1);
    }
    return m;
}

TEST_F(KrvTools, SongRendersOnceThrough) {
    XmModule jumpsBack = eightRowSong(2); // 8 rows, then 4 and a jump to the start
    jumpsBack.patterns[1].at(3, 0) = XmCell{0, 0, 0, 0xB, 0};
    XmModule endsAtLastOrder = eightRowSong(2); // 16 rows, then the restart position
    XmModule loopsThrice = eightRowSong(1);     // rows 0-3 three times, then 4-7
    loopsThrice.patterns[0].at(0, 0) = XmCell{0, 0, 0, 0xE, 0x60};
    loopsThrice.patterns[0].at(3, 0) = XmCell{0, 0, 0, 0xE, 0x62};
    struct Case {
        const char* name;
        const XmModule& module;
        int rows;
    };
    for (const Case& c : {Case{"jump", jumpsBack, 12}, Case{"end", endsAtLastOrder, 16},
                          Case{"loop", loopsThrice, 16}}) {
        const std::vector<uint8_t> bytes = writeXm(c.module);
        std::ofstream(dir / "song.xm", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        const KrvRun run = krv("xm render song.xm song.wav --song");
        ASSERT_EQ(run.status, 0) << c.name << ": " << run.err;
        // The player reads its first row on its sixth tick: five ticks of 882 frames lead in.
        const int64_t frames = 5 * 882 + int64_t(c.rows) * 5292;
        char length[64];
        std::snprintf(length, sizeof length, "song: %.3f seconds", double(frames) / 44100);
        EXPECT_NE(run.out.find(length), std::string::npos) << c.name << ": " << run.out;
        EXPECT_EQ(fs::file_size(dir / "song.wav"), uint64_t(44 + frames * 4)) << c.name;
    }
    // --seconds stops a song that is longer.
    const KrvRun capped = krv("xm render song.xm song.wav --song --seconds 1");
    EXPECT_EQ(capped.status, 0) << capped.err;
    EXPECT_EQ(fs::file_size(dir / "song.wav"), 44u + 44100u * 4u);
}

TEST_F(KrvTools, CaptureRefusesAStartPastTheShowsEnd) {
    const KrvRun run = inShow("capture --renderer direct3d --size 32x24 --fps 2 --from 3000 --out '" +
                           (dir / "late").string() + "'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("past the show's end: the show lasts"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "late")) << "the folder made for the capture stays";
}

// ffprobe's value of one entry of one stream, as text.
std::string probe(const fs::path& video, const char* stream, const char* entry) {
    const std::string command = std::string("ffprobe -v error -select_streams ") + stream +
                                " -show_entries stream=" + entry + " -of csv=p=0 '" +
                                video.string() + "'";
    std::string text;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
        pclose(pipe);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ',')) text.pop_back();
    return text;
}

TEST_F(KrvTools, VideoHoldsTheStretchWithItsSound) {
    ASSERT_EQ(std::system("ffprobe -version > /dev/null 2>&1"), 0)
        << "ffmpeg is missing: scripts/install-deps installs it";
    const fs::path video = dir / "show.mp4";
    const KrvRun run = inShow("capture --renderer direct3d --size 160x120 --fps 10 --from 12 "
                           "--seconds 4 --out '" +
                           (dir / "frames").string() + "' --video '" + video.string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(probe(video, "v:0", "width,height"), "160,120");
    EXPECT_EQ(probe(video, "v:0", "r_frame_rate"), "10/1");
    EXPECT_NEAR(std::stod(probe(video, "v:0", "duration")), 4.0, 0.05);
    EXPECT_NEAR(std::stod(probe(video, "a:0", "duration")), 4.0, 0.05);
    int pngs = 0;
    for (const auto& entry : fs::directory_iterator(dir / "frames"))
        pngs += entry.path().extension() == ".png";
    EXPECT_EQ(pngs, 0) << "--video writes no PNG frames";
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "left " << entry.path();
}

} // namespace
} // namespace kestrune
