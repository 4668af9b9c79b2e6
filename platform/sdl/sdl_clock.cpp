// The millisecond clock, sleeping and thread priority on SDL2 and POSIX.
#include <SDL.h>

#include <chrono>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#include "platform/clock.h"

namespace kestrune {

uint32_t clockMilliseconds() {
    return SDL_GetTicks();
}

void sleepMilliseconds(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void raiseThreadPriority() {
    // On Linux the nice value is per thread; without the right to raise it this fails quietly,
    // which leaves the thread at normal priority, as an unprivileged process would expect.
    const int tid = static_cast<int>(gettid());
    for (int nice = -20; nice < 0; nice += 5)
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0) return;
}

} // namespace kestrune
