// Captured frames written as PNG files by worker threads while the next frames render.
#include "tools/krv_frame_writer.h"

#include <algorithm>

#include "tools/krv_png.h"

namespace kestrune {

PngFrameWriter::PngFrameWriter(int width, int height, int threads, int zlibLevel)
    : width_(width), height_(height), zlibLevel_(zlibLevel) {
    const size_t frameBytes = size_t(width) * size_t(height) * 3;
    threads = std::max(threads, 1);
    // Two buffers per worker keep every worker fed while the renderer fills the next one.
    buffers_.resize(size_t(threads) * 2 + 1, std::vector<uint8_t>(frameBytes));
    for (int i = 0; i < int(buffers_.size()); ++i) free_.push_back(i);
    for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
}

PngFrameWriter::~PngFrameWriter() {
    std::string ignored;
    finish(ignored);
}

uint8_t* PngFrameWriter::acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !free_.empty(); });
    current_ = free_.back();
    free_.pop_back();
    return buffers_[size_t(current_)].data();
}

void PngFrameWriter::submit(std::string path) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.emplace_back(current_, std::move(path));
        current_ = -1;
    }
    changed_.notify_all();
}

void PngFrameWriter::work() {
    std::vector<uint8_t> png;
    for (;;) {
        std::pair<int, std::string> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        std::string error;
        const bool ok = encodePng(buffers_[size_t(job.first)].data(), width_, height_,
                                  zlibLevel_, png) &&
                        writeWholeFile(job.second, png, error);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!ok && error_.empty()) error_ = error.empty() ? "cannot encode " + job.second : error;
            free_.push_back(job.first);
        }
        changed_.notify_all();
    }
}

bool PngFrameWriter::finish(std::string& error) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
    error = error_;
    return error_.empty();
}

} // namespace kestrune
