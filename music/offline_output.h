// An audio output that consumes blocks at once into memory or a WAV file, so tools and tests
// hear exactly what the device would play.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio.h"

namespace kestrune {

class OfflineOutput final : public AudioOutput {
public:
    // Keeps the first frameLimit frames in memory.
    explicit OfflineOutput(int64_t frameLimit);
    // Writes the first frameLimit frames to a 44100 Hz 16-bit stereo WAV file; check ok().
    OfflineOutput(int64_t frameLimit, const std::string& wavPath);
    ~OfflineOutput() override;

    bool ok() const { return ok_; }
    bool write(AudioBlock& block) override;
    void reset() override {}
    bool realTime() const override { return false; }

    // Blocks until frameLimit frames were consumed; false if a file write failed first.
    bool waitFinished();
    // The frames kept in memory (interleaved stereo); read after waitFinished.
    const std::vector<int16_t>& frames() const { return frames_; }
    int64_t framesWritten() const;

private:
    bool finishFile();

    int64_t limit_;
    int64_t written_ = 0;
    std::FILE* file_ = nullptr;
    bool ok_ = true;
    bool finished_ = false;
    std::vector<int16_t> frames_;
    mutable std::mutex mutex_;
    std::condition_variable done_;
};

// The 44-byte header of a 16-bit stereo PCM WAV file holding frames frames at rate Hz.
void wavHeader(uint8_t out[44], int64_t frames, int rate);

} // namespace kestrune
