// The rasteriser's queue and its worker threads.
#include "render/direct3d/soft/soft_raster_queue.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace kestrune {

namespace {

// Room for the primitives of a frame or a good part of one; a full queue is flushed and reused.
constexpr uint32_t kQueueCommands = 8192;
constexpr uint32_t kQueueVertices = 65536;
constexpr uint32_t kQueueTriangles = 32768;
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

namespace {

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// How long a thread that waits on another spins before it sleeps: a wake-up from sleep costs
// about as much as drawing a few bands.
constexpr int64_t kSpinNs = 300000;

// Spins, yielding the core, until ready() holds or the spin time is up; whether it holds.
template <typename Ready> bool spinUntil(Ready ready) {
    const int64_t until = nowNs() + kSpinNs;
    for (int i = 0;; ++i) {
        if (ready()) return true;
        if ((i & 15) == 15 && nowNs() > until) return false;
        std::this_thread::yield();
    }
}

} // namespace

RasterQueue::RasterQueue(int threads) : threads_(std::clamp(threads, 1, kMaxRasterThreads)) {
    if (threads_ == 1) return;
    spin_ = unsigned(threads_) <= std::thread::hardware_concurrency();
    commands_.resize(kQueueCommands);
    vertices_.resize(kQueueVertices);
    triangles_.resize(kQueueTriangles);
    finished_.resize(size_t(threads_), 0);
    mainBands_ = kRasterBandCycle / threads_;
    share(0, 0);
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
    const bool triangles = isRasterTriangles(primitive);
    if (threads_ == 1 || (!triangles && count > kQueueVertices)) {
        // One thread, or more vertices than the queue holds: drawn here, after what is queued.
        flush();
        return rasterizePrimitive(target, state, primitive, vertices, count);
    }
    if (!triangles) {
        Command& c = record(target, count);
        setState(c, state, primitive);
        if (count) std::memcpy(&vertices_[c.first], vertices, sizeof(LitVertex) * count);
        publish();
        return true;
    }
    // Triangles are set up here, once, and the threads only walk their rows of them. A draw with
    // more than the queue holds is recorded in parts, flushing between them.
    const uint32_t total = trianglePrimitives(primitive, count);
    for (uint32_t next = 0; next < total;) {
        if (commandCount_ == kQueueCommands ||
            kQueueTriangles - triangleCount_ < kRasterTrianglesPerPrimitive)
            flush();
        uint32_t written = 0;
        next =
            setUpTriangles(target, state, primitive, vertices, count, next,
                           &triangles_[triangleCount_], kQueueTriangles - triangleCount_, written);
        if (written == 0) continue;
        Command& c = record(target, 0); // room for it was made above
        setState(c, state, primitive);
        c.first = triangleCount_;
        c.count = written;
        triangleCount_ += written;
        publish();
    }
    return true;
}

void RasterQueue::setState(Command& c, const RasterState& state, uint32_t primitive) {
    c.state = state;
    if (state.texture) {
        c.texture = *state.texture;
        c.state.texture = &c.texture;
    }
    c.primitive = primitive;
}

void RasterQueue::clear(const RasterTarget& target, const RasterClear& clear) {
    if (threads_ == 1) {
        clearTarget(target, clear);
        return;
    }
    Command& c = record(target, 0);
    c.primitive = 0;
    c.clear = clear;
    publish();
}

// The next command, with room for its vertices after a flush when the queue is full; the first
// of a round starts the workers.
RasterQueue::Command& RasterQueue::record(const RasterTarget& target, uint32_t vertexCount) {
    if (commandCount_ == kQueueCommands || vertexCount > kQueueVertices - vertexCount_) flush();
    if (commandCount_ == 0) open();
    Command& c = commands_[commandCount_++];
    c.target = target;
    c.first = vertexCount_;
    c.count = vertexCount;
    vertexCount_ += vertexCount;
    return c;
}

// The recorded commands handed to the workers, waking any that sleep.
void RasterQueue::publish() {
    published_.store(commandCount_, std::memory_order_seq_cst);
    if (sleepers_.load(std::memory_order_seq_cst) > 0) {
        { std::lock_guard<std::mutex> lock(mutex_); }
        more_.notify_all();
    }
}

void RasterQueue::open() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++round_;
        published_.store(0);
        closed_.store(false);
        running_.store(threads_ - 1);
    }
    start_.notify_all();
}

// Deals the bands of a cycle: mainBands_ to the calling thread, the rest evenly to the workers,
// each thread's spread down the cycle.
void RasterQueue::share(int64_t mainDraw, int64_t lateBy) {
    // Moving one band from the thread that finished last to the other narrows the gap by about
    // twice the band's time; half of that is taken each flush, as frames differ.
    if (mainDraw > 0 && mainBands_ > 0) {
        // Rounded to the nearest band: a gap below two bands' time is closed too.
        const int64_t perBand = std::max<int64_t>(mainDraw / mainBands_, 1);
        const int64_t half = lateBy >= 0 ? 2 * perBand : -2 * perBand;
        const int64_t moved = std::clamp<int64_t>((lateBy + half) / (4 * perBand), -4, 4);
        mainBands_ = std::clamp(mainBands_ + int(moved), 1, kRasterBandCycle - (threads_ - 1));
    }
    const int workers = threads_ - 1;
    int dealt[kMaxRasterThreads] = {};
    for (int band = 0; band < kRasterBandCycle; ++band) {
        // The thread furthest behind its share of the bands so far takes this one.
        int best = 0;
        int64_t bestBehind = INT64_MIN;
        for (int t = 0; t < threads_; ++t) {
            const int64_t share =
                t == 0 ? mainBands_ * workers : int64_t(kRasterBandCycle - mainBands_);
            const int64_t behind =
                share * (band + 1) - int64_t(dealt[t]) * workers * kRasterBandCycle;
            if (behind > bestBehind) {
                best = t;
                bestBehind = behind;
            }
        }
        owners_[band] = uint8_t(best);
        ++dealt[best];
    }
}

void RasterQueue::drawRows(uint32_t index, uint32_t from, uint32_t to) const {
    const RasterRows rows{index, uint32_t(threads_), owners_};
    for (uint32_t i = from; i < to; ++i) {
        const Command& c = commands_[i];
        if (c.primitive == 0)
            clearTarget(c.target, c.clear, rows);
        else if (isRasterTriangles(c.primitive))
            drawTriangles(c.target, c.state, triangles_.data() + c.first, c.count, rows);
        else
            rasterizePrimitive(c.target, c.state, c.primitive, vertices_.data() + c.first, c.count,
                               rows);
    }
}

void RasterQueue::flush() {
    if (commandCount_ == 0) return;
    const int64_t start = nowNs();
    closed_.store(true, std::memory_order_seq_cst);
    if (sleepers_.load(std::memory_order_seq_cst) > 0) {
        { std::lock_guard<std::mutex> lock(mutex_); }
        more_.notify_all();
    }
    drawRows(0, 0, commandCount_);
    const int64_t mainDone = nowNs();
    waitForWorkers();
    int64_t lastDone = 0;
    for (size_t i = 1; i < finished_.size(); ++i) lastDone = std::max(lastDone, finished_[i]);
    share(mainDone - start, lastDone - mainDone);
    commandCount_ = 0;
    vertexCount_ = 0;
    triangleCount_ = 0;
}

void RasterQueue::waitForWorkers() {
    auto finished = [this] { return running_.load(std::memory_order_acquire) == 0; };
    if (spin_ && spinUntil(finished)) return;
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, finished);
}

// Until a command after the first drawn ones is published or the round closes.
void RasterQueue::waitForCommands(uint32_t drawn) {
    auto ready = [this, drawn] {
        return closed_.load(std::memory_order_seq_cst) ||
               published_.load(std::memory_order_seq_cst) > drawn;
    };
    if (spin_ && spinUntil(ready)) return;
    sleepers_.fetch_add(1, std::memory_order_seq_cst);
    {
        std::unique_lock<std::mutex> lock(mutex_);
        more_.wait(lock, ready);
    }
    sleepers_.fetch_sub(1, std::memory_order_seq_cst);
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
        uint32_t drawn = 0;
        for (;;) {
            // Closed is read first: once it is set, every command has been published.
            const bool closed = closed_.load(std::memory_order_acquire);
            const uint32_t published = published_.load(std::memory_order_acquire);
            if (drawn < published) {
                drawRows(index, drawn, published);
                drawn = published;
            } else if (closed) {
                break;
            } else {
                waitForCommands(drawn);
            }
        }
        finished_[index] = nowNs();
        if (running_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            { std::lock_guard<std::mutex> lock(mutex_); }
            done_.notify_one();
        }
    }
}

} // namespace kestrune
