// The audio output: queued blocks of 16-bit stereo frames, each with a done flag, and an event
// signalled whenever a queued block has been consumed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/clock.h"

namespace kestrune {

struct AudioBlock {
    int16_t* data = nullptr;      // interleaved left/right frames
    int frames = 0;               // frames in data
    std::atomic<bool> done{true}; // set by the output once the block has been consumed
};

class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Queues the block behind those already queued: clears its done flag now, sets it and
    // signals the block-done event once the block has been consumed. False when refused.
    virtual bool write(AudioBlock& block) = 0;
    // Drops every queued block (marking it done) and outputs silence until the next write.
    virtual void reset() = 0;
    // Releases the system's output; nothing is written after it.
    virtual void close() {}
    // False for outputs that consume blocks at once: nothing is left playing to wait for.
    virtual bool realTime() const { return true; }

    // True where the platform has no threads (the web): the output consumes blocks from the
    // page's own audio callback and calls refill(refillOwner) after each consumed block, so the
    // writer's work runs there instead of on a thread waiting for blockDone.
    virtual bool threadless() const { return false; }

    AutoResetEvent* blockDone = nullptr; // signalled after each consumed block
    void (*refill)(void* owner) = nullptr;
    void* refillOwner = nullptr;
};

// Opens the system's sound output at rate Hz, 16-bit stereo; null when no device opens.
std::unique_ptr<AudioOutput> openAudioOutput(int rate, AutoResetEvent& blockDone);

} // namespace kestrune
