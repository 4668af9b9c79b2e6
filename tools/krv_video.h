// krv capture's video: raw frames piped to ffmpeg as they render, joined with the sound at the
// end and put under the video's name only once complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace kestrune {

// Whether the ffmpeg program can be run.
bool ffmpegInstalled();

class VideoEncoder {
public:
    VideoEncoder() = default;
    ~VideoEncoder(); // removes what is left of the temporary files
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Starts ffmpeg encoding width x height RGB frames at fps into a temporary file beside
    // videoPath. False, with the reason in error, when it cannot.
    bool start(const std::string& videoPath, int width, int height, double fps,
               std::string& error);
    // Hands one frame, top row first, to ffmpeg; false once ffmpeg has gone.
    bool write(const uint8_t* rgb);
    // Ends the frames, joins the sound in wavPath and renames the result to the video's path.
    bool finish(const std::string& wavPath, std::string& error);

private:
    std::string videoPath_;
    std::string pictureTemp_; // the frames alone
    std::string joinedTemp_;  // frames and sound, renamed into place
    std::FILE* pipe_ = nullptr;
    size_t frameBytes_ = 0;
};

} // namespace kestrune
