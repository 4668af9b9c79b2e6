// The millisecond clock (performance.now) and sleeping in a web page, which has no threads.
#include <emscripten.h>

#include "platform/clock.h"

namespace kestrune {

uint32_t clockMilliseconds() {
    return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now()));
}

// Sleeping hands the page its turn (Asyncify): events and audio go on meanwhile.
void sleepMilliseconds(int ms) {
    emscripten_sleep(static_cast<unsigned>(ms > 0 ? ms : 0));
}

void raiseThreadPriority() {}

} // namespace kestrune
