// The millisecond clock, sleeping and thread priority on Win32.
#include <windows.h>

#include <mmsystem.h>

#include "platform/clock.h"

namespace kestrune {

uint32_t clockMilliseconds() {
    return timeGetTime();
}

void sleepMilliseconds(int ms) {
    Sleep(ms < 0 ? 0 : static_cast<DWORD>(ms));
}

void raiseThreadPriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
}

} // namespace kestrune
