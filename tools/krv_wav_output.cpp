// Music written to a WAV file block by block through the show's output device.
#include "tools/krv_wav_output.h"

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "archive/replace_file.h"
#include "music/module_player.h"
#include "music/offline_output.h"
#include "music/sound_buffer.h"
#include "music/wave_out_device.h"
#include "platform/audio.h"
#include "tools/krv_files.h"

namespace kestrune {

namespace {

// Consumes blocks at once: drops the first skip frames, then appends to the file until it holds
// its frames.
class StreamingWavOutput final : public AudioOutput {
public:
    StreamingWavOutput(FileReplacement& file, int64_t skip, int64_t frames)
        : file_(file), skip_(skip), remaining_(frames) {
        finished_ = remaining_ <= 0;
    }

    bool write(AudioBlock& block) override {
        std::unique_lock<std::mutex> lock(mutex_);
        if (finished_) {
            // Enough was heard: keep the block queued for ever, so the device's thread idles.
            block.done.store(false, std::memory_order_release);
            return true;
        }
        int64_t offset = std::min<int64_t>(skip_, block.frames);
        skip_ -= offset;
        const int64_t n = std::min<int64_t>(block.frames - offset, remaining_);
        // WAV data is little-endian; so is every machine this builds for.
        static_assert(std::endian::native == std::endian::little);
        if (n > 0 && !file_.write(block.data + 2 * offset, size_t(n) * 4)) ok_ = false;
        remaining_ -= n;
        if (remaining_ <= 0 || !ok_) {
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
    void reset() override {}
    bool realTime() const override { return false; }

    bool waitFinished() {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return finished_; });
        return ok_;
    }

private:
    FileReplacement& file_;
    int64_t skip_;
    int64_t remaining_;
    bool ok_ = true;
    bool finished_ = false;
    std::mutex mutex_;
    std::condition_variable done_;
};

bool writeSilence(FileReplacement& file, int64_t frames) {
    static const std::vector<uint8_t> zeros(64 * 1024, 0);
    for (int64_t left = frames * 4; left > 0;) {
        const size_t n = size_t(std::min<int64_t>(left, int64_t(zeros.size())));
        if (!file.write(zeros.data(), n)) return false;
        left -= int64_t(n);
    }
    return true;
}

} // namespace

bool wavLengthFits(double seconds, std::string& message) {
    if (seconds * kMixRate + 0.5 <= double(kMaxWavFrames)) return true;
    message = "a WAV file holds at most " + std::to_string(kMaxWavFrames / kMixRate) +
              " seconds (4 GiB)";
    return false;
}

bool writeMusicWav(ModulePlayer* player, const std::string& wavPath, const WavStretch& stretch,
                   std::string& error) {
    if (!checkOutputIsNotFolder(wavPath, error)) return false;
    error = "cannot write '" + wavPath + "'";
    if (stretch.frames < 0 || stretch.frames > kMaxWavFrames) return false;
    FileReplacement file(wavPath);
    if (!file.isOpen()) return false;
    uint8_t header[44];
    wavHeader(header, stretch.frames, kMixRate);
    const int64_t silence = std::clamp<int64_t>(stretch.silence, 0, stretch.frames);
    if (!file.write(header, sizeof header) ||
        !writeSilence(file, player ? silence : stretch.frames))
        return false;
    if (player && stretch.frames > silence) {
        auto output = std::make_unique<StreamingWavOutput>(file, stretch.skip,
                                                           stretch.frames - silence);
        StreamingWavOutput* streaming = output.get();
        WaveOutDevice device;
        // Attached before the output opens, so the first block already holds the song's start.
        device.attach(player);
        device.open(std::move(output));
        const bool written = streaming->waitFinished();
        device.detach(player);
        device.stop();
        if (!written) return false;
    }
    if (!file.commit()) return false;
    error.clear();
    return true;
}

} // namespace kestrune
