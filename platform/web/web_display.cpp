// Full screen in a web page: the Fullscreen API on the window's canvas. The page cannot change the
// display's mode, so the canvas keeps its pixels and the browser scales it to the screen.
#include "platform/display.h"
#include "platform/web/web_page.h"

namespace kestrune {

// The browser allows full screen only soon after a click (GO!! is one); where it refuses, the
// window stays in the page, and this is the mode that could not be set.
bool enterFullscreenMode(PlatformWindow* window, int, int) {
    return isWindow(window) && kestrune_web_request_fullscreen(window->id) != 0;
}

void leaveFullscreenMode(PlatformWindow* window) {
    if (isWindow(window)) kestrune_web_exit_fullscreen();
}

} // namespace kestrune
