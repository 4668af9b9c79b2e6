// Full-screen display modes: the screen switched to a window's size, and back to the desktop.
#pragma once

#include "platform/window.h"

namespace kestrune {

// Sets the display mode closest to width x height and shows the window over the whole screen;
// false when the mode cannot be set.
bool enterFullscreenMode(PlatformWindow* window, int width, int height);
// Back to the desktop display mode; the window keeps its size.
void leaveFullscreenMode(PlatformWindow* window);

} // namespace kestrune
