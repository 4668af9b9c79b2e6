// Captured frames written as PNG files by worker threads while the next frames render: a fixed
// set of frame buffers made once, handed to the renderer, queued, encoded and handed back.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kestrune {

class PngFrameWriter {
public:
    // threads workers (at least one), each frame width x height RGB, zlib at zlibLevel.
    PngFrameWriter(int width, int height, int threads, int zlibLevel);
    ~PngFrameWriter();
    PngFrameWriter(const PngFrameWriter&) = delete;
    PngFrameWriter& operator=(const PngFrameWriter&) = delete;

    // A buffer for the next frame, top row first; waits while every buffer is queued.
    uint8_t* acquire();
    // Queues the buffer last acquired, to be written to path.
    void submit(std::string path);
    // Waits for every queued frame and stops the workers. False, with the first failure in
    // error, when any frame could not be written.
    bool finish(std::string& error);

private:
    void work();

    int width_;
    int height_;
    int zlibLevel_;
    std::vector<std::vector<uint8_t>> buffers_;
    std::vector<int> free_;                        // buffers ready to render into
    std::deque<std::pair<int, std::string>> jobs_; // buffer, path
    int current_ = -1;                             // acquired, not yet submitted
    bool stopping_ = false;
    std::string error_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> workers_;
};

} // namespace kestrune
