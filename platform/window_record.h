// The window record as every window system starts it, before the system's own window is made.
#pragma once

#include "platform/window.h"

namespace kestrune {

// A new record of width x height for procedure and userData: a cleared canvas unless openGL, and
// a Paint pending. The caller sets native and id and frees it with delete.
PlatformWindow* newWindowRecord(int width, int height, bool openGL, WindowProcedure procedure,
                                void* userData);

} // namespace kestrune
