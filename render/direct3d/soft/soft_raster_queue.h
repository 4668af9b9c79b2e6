// Draws and clears recorded on the calling thread and done on every core: each thread takes its
// own bands of rows of every recorded primitive and clear, in order, so a frame's pixels do not
// depend on how many threads draw it. Triangles are transformed, clipped and set up once, as
// they are recorded, and the threads only walk their rows of them. The workers start on the
// commands as they are recorded; the calling thread draws its bands when the queue is flushed,
// and its share of the bands follows which thread finished last the flush before.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "render/direct3d/soft/soft_rasterizer.h"

namespace kestrune {

// The environment variable that sets the number of rasteriser threads (1..64).
inline constexpr const char* kRasterThreadsVariable = "KESTRUNE_RASTER_THREADS";

// The rasteriser threads to use: the variable's value when it is a count from 1 to 64, else the
// machine's cores (1 where there are no threads).
int rasterThreadCount();

class RasterQueue {
public:
    // threads below 2: every draw is rasterised at once on the calling thread, and no thread is
    // made. Otherwise threads - 1 workers and the queue's whole storage are made here.
    explicit RasterQueue(int threads);
    ~RasterQueue();
    RasterQueue(const RasterQueue&) = delete;
    RasterQueue& operator=(const RasterQueue&) = delete;

    // Draws or records one primitive; false, with nothing recorded, for an unknown type.
    bool draw(const RasterTarget& target, const RasterState& state, uint32_t primitive,
              const LitVertex* vertices, uint32_t count);
    // Clears or records a clear, in order with the draws.
    void clear(const RasterTarget& target, const RasterClear& clear);
    // Finishes every recorded primitive and clear. Call before anything reads or changes the pixels
    // a recorded draw uses (targets, depth buffers, textures) or frees them.
    void flush();
    int threads() const { return threads_; }

private:
    struct Command {
        RasterTarget target;
        RasterState state; // its texture points to the command's copy below
        RasterTexture texture;
        uint32_t primitive; // 0: the clear below
        uint32_t first;     // into triangles_ for triangles, else into vertices_
        uint32_t count;
        RasterClear clear;
    };
    Command& record(const RasterTarget& target, uint32_t vertexCount);
    static void setState(Command& c, const RasterState& state, uint32_t primitive);
    void publish();
    void open();
    void share(int64_t mainDraw, int64_t lateBy);
    void drawRows(uint32_t index, uint32_t from, uint32_t to) const;
    void work(uint32_t index);
    void waitForCommands(uint32_t drawn);
    void waitForWorkers();

    int threads_;
    bool spin_ = false; // a thread for every core: waits are spun briefly before sleeping
    std::vector<Command> commands_;         // sized once; commandCount_ in use
    std::vector<LitVertex> vertices_;       // sized once; vertexCount_ in use
    std::vector<RasterTriangle> triangles_; // sized once, set up as recorded; triangleCount_ in use
    uint32_t commandCount_ = 0;
    uint32_t vertexCount_ = 0;
    uint32_t triangleCount_ = 0;

    // Which thread draws each band of a cycle, fixed while a round runs; the calling thread's
    // number of them.
    uint8_t owners_[kRasterBandCycle] = {};
    int mainBands_ = 0;
    std::vector<int64_t> finished_; // each worker's end of its last round, in steady-clock ns

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable start_; // a round has begun, or the queue is closing
    std::condition_variable more_;  // commands published, or the round closed
    std::condition_variable done_;  // the last worker has finished its round
    uint64_t round_ = 0;            // one per flush that has work
    bool stopping_ = false;
    std::atomic<uint32_t> published_{0}; // commands the workers may draw
    std::atomic<bool> closed_{false};    // no more commands this round
    std::atomic<int> sleepers_{0};       // workers asleep waiting for commands
    std::atomic<int> running_{0};        // workers still drawing this round
};

} // namespace kestrune
