// krv capture's video: raw frames piped to ffmpeg, joined with the sound at the end.
#include "tools/krv_video.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace kestrune {

namespace {

namespace fs = std::filesystem;

// A path as one word of the command line the system's shell reads. Windows names cannot hold a
// double quote, so cmd.exe takes any of them whole between two.
std::string shellQuoted(const std::string& s) {
#ifdef _WIN32
    return "\"" + s + "\"";
#else
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
#endif
}

#ifdef _WIN32
constexpr const char* kQuietOutput = " > NUL 2>&1";
constexpr const char* kWriteBytes = "wb"; // a text-mode pipe would turn each 10 into 13 10
#else
constexpr const char* kQuietOutput = " > /dev/null 2>&1";
constexpr const char* kWriteBytes = "w";
#endif

// A hidden name beside path, unique to this process, ending in suffix.
std::string besideTemp(const std::string& path, const std::string& suffix) {
    const fs::path target(path);
    return (target.parent_path() / ("." + target.stem().string() + ".krv-" +
                                    std::to_string(getpid()) + suffix))
        .string();
}

} // namespace

bool ffmpegInstalled() {
    return std::system((std::string("ffmpeg -version") + kQuietOutput).c_str()) == 0;
}

VideoEncoder::~VideoEncoder() {
    if (pipe_) pclose(pipe_);
    std::error_code ignored;
    if (!pictureTemp_.empty()) fs::remove(pictureTemp_, ignored);
    if (!joinedTemp_.empty()) fs::remove(joinedTemp_, ignored);
}

bool VideoEncoder::start(const std::string& videoPath, int width, int height, double fps,
                         std::string& error) {
    videoPath_ = videoPath;
    pictureTemp_ = besideTemp(videoPath, ".video.mkv");
    joinedTemp_ = besideTemp(videoPath, fs::path(videoPath).extension().string());
    frameBytes_ = size_t(width) * size_t(height) * 3;
    char format[96];
    std::snprintf(format, sizeof format, "-f rawvideo -pix_fmt rgb24 -s %dx%d -framerate %.17g",
                  width, height, fps);
    // Encoded once, here, while the show renders (x264's fastest preset: frames arrive faster
    // than real time); the join only copies the pictures. 4:2:0 needs even sizes: an odd row or
    // column is padded.
    const std::string command = "ffmpeg -y -nostdin -loglevel error " + std::string(format) +
                                " -i - -vf \"pad=ceil(iw/2)*2:ceil(ih/2)*2\" -c:v libx264 -preset ultrafast" +
                                " -pix_fmt yuv420p " +
                                shellQuoted(pictureTemp_);
    pipe_ = popen(command.c_str(), kWriteBytes);
    if (!pipe_) {
        error = "cannot start ffmpeg";
        return false;
    }
    return true;
}

bool VideoEncoder::write(const uint8_t* rgb) {
    return pipe_ && std::fwrite(rgb, 1, frameBytes_, pipe_) == frameBytes_;
}

bool VideoEncoder::finish(const std::string& wavPath, std::string& error) {
    const int status = pipe_ ? pclose(pipe_) : -1;
    pipe_ = nullptr;
    error = "ffmpeg could not make " + videoPath_;
    if (status != 0) return false;
    const std::string command = "ffmpeg -y -nostdin -loglevel error -i " + shellQuoted(pictureTemp_) +
                                " -i " + shellQuoted(wavPath) +
                                " -c:v copy -c:a aac " +
                                shellQuoted(joinedTemp_);
    if (std::system(command.c_str()) != 0) return false;
    std::error_code code;
    fs::rename(joinedTemp_, videoPath_, code);
    if (code) {
        error = "cannot write " + videoPath_ + ": " + code.message();
        return false;
    }
    joinedTemp_.clear();
    error.clear();
    return true;
}

} // namespace kestrune
