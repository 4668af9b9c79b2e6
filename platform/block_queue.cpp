// The audio block queue shared by the callback-driven outputs.
#include "platform/block_queue.h"

#include <algorithm>
#include <cstring>

namespace kestrune {

bool BlockQueue::push(AudioBlock& block) {
    if (count >= blocks.size()) {
        block.done.store(true, std::memory_order_release);
        return false;
    }
    block.done.store(false, std::memory_order_release);
    blocks[(head + count) % blocks.size()] = &block;
    ++count;
    return true;
}

void BlockQueue::clear() {
    while (count > 0) {
        blocks[head]->done.store(true, std::memory_order_release);
        head = (head + 1) % blocks.size();
        --count;
    }
    offset = 0;
}

int BlockQueue::consume(int16_t* out, int frames, AutoResetEvent* blockDone) {
    int finished = 0;
    while (frames > 0 && count > 0) {
        AudioBlock* block = blocks[head];
        const int n = std::min(frames, block->frames - offset);
        std::memcpy(out, block->data + 2 * offset, static_cast<size_t>(n) * 4);
        out += 2 * n;
        frames -= n;
        offset += n;
        if (offset >= block->frames) {
            offset = 0;
            head = (head + 1) % blocks.size();
            --count;
            block->done.store(true, std::memory_order_release);
            if (blockDone) blockDone->signal();
            ++finished;
        }
    }
    if (frames > 0) std::memset(out, 0, static_cast<size_t>(frames) * 4);
    return finished;
}

} // namespace kestrune
