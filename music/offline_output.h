// An audio output that consumes blocks at once into memory or into a sink of the caller's, so
// tools and tests hear exactly what the device would play.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/audio.h"

namespace kestrune {

// Takes count frames of interleaved stereo as they are consumed; false stops the output as failed.
using FrameSink = std::function<bool(const int16_t* frames, int64_t count)>;

class OfflineOutput final : public AudioOutput {
public:
    // Keeps the first frameLimit frames in memory.
    explicit OfflineOutput(int64_t frameLimit);
    // Drops the first skip frames, then hands the next frameLimit frames to sink.
    OfflineOutput(int64_t frameLimit, FrameSink sink, int64_t skip = 0);

    bool write(AudioBlock& block) override;
    void reset() override {}
    bool realTime() const override { return false; }

    // Blocks until frameLimit frames were consumed; false if the sink failed first.
    bool waitFinished();
    // The frames kept in memory (interleaved stereo); read after waitFinished.
    const std::vector<int16_t>& frames() const { return frames_; }
    int64_t framesWritten() const;

private:
    int64_t limit_;
    int64_t skip_ = 0;
    int64_t written_ = 0;
    FrameSink sink_;
    bool ok_ = true;
    bool finished_ = false;
    std::vector<int16_t> frames_;
    mutable std::mutex mutex_;
    std::condition_variable done_;
};

// The 44-byte header of a 16-bit stereo PCM WAV file holding frames frames at rate Hz.
void wavHeader(uint8_t out[44], int64_t frames, int rate);

} // namespace kestrune
