// The rasteriser's queue and its worker threads.
#include "render/direct3d/soft/soft_raster_queue.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kestrune {

namespace {

// Room for the primitives of a frame or a good part of one; a full queue is flushed and reused.
constexpr uint32_t kQueueCommands = 8192;
constexpr uint32_t kQueueVertices = 65536;
constexpr int kMaxRasterThreads = 64;

} // namespace

int rasterThreadCount() {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
    return 1; // a page without threads draws on its own thread, whatever is asked
#else
    if (const char* text = std::getenv(kRasterThreadsVariable)) {
        char* end = nullptr;
        const long n = std::strtol(text, &end, 10);
        if (end != text && *end == 0 && n >= 1 && n <= kMaxRasterThreads) return int(n);
    }
    return int(std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, kMaxRasterThreads));
#endif
}

RasterQueue::RasterQueue(int threads) : threads_(std::clamp(threads, 1, kMaxRasterThreads)) {
    if (threads_ == 1) return;
    commands_.resize(kQueueCommands);
    vertices_.resize(kQueueVertices);
    workers_.reserve(size_t(threads_ - 1));
    for (int i = 1; i < threads_; ++i) workers_.emplace_back([this, i] { work(uint32_t(i)); });
}

RasterQueue::~RasterQueue() {
    flush();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    start_.notify_all();
    for (std::thread& t : workers_) t.join();
}

bool RasterQueue::draw(const RasterTarget& target, const RasterState& state, uint32_t primitive,
                       const LitVertex* vertices, uint32_t count) {
    if (!isRasterPrimitive(primitive)) return false;
    if (threads_ == 1 || count > kQueueVertices) {
        // One thread, or more vertices than the queue holds: drawn here, after what is queued.
        flush();
        return rasterizePrimitive(target, state, primitive, vertices, count);
    }
    Command& c = record(target, count);
    c.state = state;
    if (state.texture) {
        c.texture = *state.texture;
        c.state.texture = &c.texture;
    }
    c.primitive = primitive;
    if (count) std::memcpy(&vertices_[c.first], vertices, sizeof(LitVertex) * count);
    return true;
}

void RasterQueue::clear(const RasterTarget& target, const RasterClear& clear) {
    if (threads_ == 1) {
        clearTarget(target, clear);
        return;
    }
    Command& c = record(target, 0);
    c.primitive = 0;
    c.clear = clear;
}

// The next command, with room for its vertices after a flush when the queue is full.
RasterQueue::Command& RasterQueue::record(const RasterTarget& target, uint32_t vertexCount) {
    if (commandCount_ == kQueueCommands || vertexCount > kQueueVertices - vertexCount_) flush();
    Command& c = commands_[commandCount_++];
    c.target = target;
    c.first = vertexCount_;
    c.count = vertexCount;
    vertexCount_ += vertexCount;
    return c;
}

void RasterQueue::drawRows(uint32_t index) const {
    const RasterRows rows{index, uint32_t(threads_)};
    for (uint32_t i = 0; i < commandCount_; ++i) {
        const Command& c = commands_[i];
        if (c.primitive == 0)
            clearTarget(c.target, c.clear, rows);
        else
            rasterizePrimitive(c.target, c.state, c.primitive, vertices_.data() + c.first, c.count,
                               rows);
    }
}

void RasterQueue::flush() {
    if (commandCount_ == 0) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++round_;
        running_ = threads_ - 1;
    }
    start_.notify_all();
    drawRows(0);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return running_ == 0; });
    }
    commandCount_ = 0;
    vertexCount_ = 0;
}

void RasterQueue::work(uint32_t index) {
    uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            start_.wait(lock, [&] { return stopping_ || round_ != seen; });
            if (stopping_) return;
            seen = round_;
        }
        drawRows(index);
        bool last = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            last = --running_ == 0;
        }
        if (last) done_.notify_one();
    }
}

} // namespace kestrune
