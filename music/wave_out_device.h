// The audio device: a pool of voices, the attached sources, the mixing ring and the output thread
// that renders blocks of 8250 frames as the audio output consumes them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "music/mixer.h"
#include "music/sound_buffer.h"
#include "music/sound_source.h"
#include "platform/audio.h"

namespace kestrune {

class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    virtual int open() = 0;       // 4 on success, 0 on failure
    virtual int stop() = 0;       // 1
    virtual uint32_t clock() = 0; // ms
};

constexpr int kVoicePool = 70;
constexpr int kSourceSlots = 18;
constexpr int kBlockCount = 4;
constexpr int kBlockFrames = 8250;
constexpr int kLatencyFrames = kBlockCount * kBlockFrames; // 33000
constexpr int kReleaseSlice = 512; // frames a releasing voice is mixed in at a time

class WaveOutDevice final : public AudioDevice {
public:
    // The show mixes with ramping and interpolation; fuzzing tries the other switches too.
    explicit WaveOutDevice(int mixerSwitches = MixRamping | MixInterpolation);
    ~WaveOutDevice() override;
    WaveOutDevice(const WaveOutDevice&) = delete;
    WaveOutDevice& operator=(const WaveOutDevice&) = delete;

    // Opens the system's sound output; 0 when there is none (the show then runs silent).
    int open() override;
    // Opens on the given output (an offline one, or a test's); 0 when it is null or already open.
    int open(std::unique_ptr<AudioOutput> output);
    int stop() override;
    uint32_t clock() override { return clock_(); }

    int attach(SoundSource* source);
    int detach(SoundSource* source);

    // Renders frames frames into out (interleaved stereo); what the output thread does per block.
    void render(int16_t* out, int frames);

    // For the sequencer on the output thread, inside render.
    Voice* firstFreeVoice();
    int mixerRamps() const { return mixer_->rampingOn(); }

    // The clock render stamps sync times with; tests replace it.
    void setClock(uint32_t (*clockFunction)()) { clock_ = clockFunction; }

    // Observable state, read by tests and tools (take lock() around reads while a thread runs).
    std::mutex& lock() { return mutex_; }
    Voice voices[kVoicePool];
    SoundSource* sources[kSourceSlots] = {};
    int64_t total = 0;        // frames requested so far
    int64_t readPosition = 0; // frames copied out of the ring so far
    SoundBuffer ring;
    std::atomic<int> stopped{0}; // set by the output thread when it has closed the output

private:
    void outputThread();
    bool running() const {
        return thread_.joinable() || (output_ && output_->threadless() && !stopped);
    }
    void fillDoneBlocks(); // renders and queues every block the output is done with
    void closeOutput();
    void mixReleasing(int frames);

    std::unique_ptr<Mixer> mixer_;
    std::mutex mutex_; // held by render, attach and detach, never across a wait
    AutoResetEvent event_;
    std::unique_ptr<AudioOutput> output_;
    std::thread thread_;
    std::atomic<bool> stopRequest_{false};
    struct Block {
        std::vector<int16_t> data;
        AudioBlock block;
        bool queued = true; // false once the output refused it: left out of the rotation
    };
    Block blocks_[kBlockCount];
    uint32_t (*clock_)();
};

} // namespace kestrune
