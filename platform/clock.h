// Time and thread helpers: the wrapping millisecond clock, sleeping, thread priority and an
// auto-reset event.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace kestrune {

// Milliseconds since an arbitrary start; wraps after about 49.7 days like the clock it replaces.
uint32_t clockMilliseconds();

void sleepMilliseconds(int ms);

// Raises the calling thread to the highest priority the process may set; silently keeps the
// current one when the system refuses.
void raiseThreadPriority();

// An event that wakes one waiter and resets itself; set while nobody waits, the next wait returns
// at once.
class AutoResetEvent {
public:
    void signal() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            signalled_ = true;
        }
        changed_.notify_one();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return signalled_; });
        signalled_ = false;
    }
    void reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
};

} // namespace kestrune
