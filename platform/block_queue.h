// The queue of audio blocks that callback-driven outputs play from: copies across block edges,
// never waits, plays silence when it runs dry and marks each block done as it is consumed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/audio.h"

namespace kestrune {

struct BlockQueue {
    // Queues the block (clearing its done flag); false, with the block left done, when full.
    bool push(AudioBlock& block);
    // Marks every queued block done and forgets them.
    void clear();
    // Fills frames interleaved stereo frames of out; each block used up is marked done and
    // blockDone (if any) signalled. Returns the number of blocks used up.
    int consume(int16_t* out, int frames, AutoResetEvent* blockDone);

    std::array<AudioBlock*, 16> blocks{};
    size_t head = 0, count = 0;
    int offset = 0; // frames of the head block already played
};

} // namespace kestrune
