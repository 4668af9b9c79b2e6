// The offline output: blocks are consumed the moment they are written.
#include "music/offline_output.h"

#include <algorithm>
#include <utility>

#include "music/sound_buffer.h"

namespace kestrune {
namespace {

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

void wavHeader(uint8_t out[44], int64_t frames, int rate) {
    const uint32_t bytes = static_cast<uint32_t>(std::min<int64_t>(frames * 4, 0xFFFFFFFFll - 36));
    std::copy_n("RIFF", 4, out);
    put32(out + 4, 36 + bytes);
    std::copy_n("WAVEfmt ", 8, out + 8);
    put32(out + 16, 16);
    put32(out + 20, 1 | 2u << 16); // PCM, 2 channels
    put32(out + 24, static_cast<uint32_t>(rate));
    put32(out + 28, static_cast<uint32_t>(rate) * 4);
    put32(out + 32, 4 | 16u << 16); // block align, bits
    std::copy_n("data", 4, out + 36);
    put32(out + 40, bytes);
}

OfflineOutput::OfflineOutput(int64_t frameLimit) : limit_(std::max<int64_t>(frameLimit, 0)) {
    frames_.reserve(static_cast<size_t>(std::min<int64_t>(limit_, 60 * kMixRate)) * 2);
}

OfflineOutput::OfflineOutput(int64_t frameLimit, FrameSink sink, int64_t skip)
    : limit_(std::max<int64_t>(frameLimit, 0)), skip_(std::max<int64_t>(skip, 0)),
      sink_(std::move(sink)) {}

bool OfflineOutput::write(AudioBlock& block) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (finished_) {
        // Enough was heard: keep the block queued for ever, so the device's thread idles.
        block.done.store(false, std::memory_order_release);
        return true;
    }
    const int64_t offset = std::min<int64_t>(skip_, block.frames);
    skip_ -= offset;
    const int16_t* kept = block.data + 2 * offset;
    const int64_t n = std::min<int64_t>(block.frames - offset, limit_ - written_);
    if (sink_) {
        if (n > 0 && !sink_(kept, n)) ok_ = false;
    } else {
        frames_.insert(frames_.end(), kept, kept + 2 * n);
    }
    written_ += n;
    if (written_ >= limit_ || !ok_) {
        finished_ = true;
        block.done.store(false, std::memory_order_release);
        lock.unlock();
        done_.notify_all();
        return true;
    }
    lock.unlock();
    block.done.store(true, std::memory_order_release);
    if (blockDone) blockDone->signal();
    return true;
}

bool OfflineOutput::waitFinished() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return finished_; });
    return ok_;
}

int64_t OfflineOutput::framesWritten() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

} // namespace kestrune
