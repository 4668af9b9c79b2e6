// Full-screen display modes on SDL2: the mode belongs to the window that goes full screen.
#include <SDL.h>

#include "platform/display.h"

namespace kestrune {

bool enterFullscreenMode(PlatformWindow* window, int width, int height) {
    if (!isWindow(window)) return false;
    auto* native = static_cast<SDL_Window*>(window->native);
    SDL_DisplayMode wanted{};
    wanted.w = width;
    wanted.h = height;
    SDL_DisplayMode mode{};
    int display = SDL_GetWindowDisplayIndex(native);
    if (!SDL_GetClosestDisplayMode(display < 0 ? 0 : display, &wanted, &mode)) return false;
    if (SDL_SetWindowDisplayMode(native, &mode) != 0) return false;
    return SDL_SetWindowFullscreen(native, SDL_WINDOW_FULLSCREEN) == 0;
}

// A window already destroyed took its display mode with it.
void leaveFullscreenMode(PlatformWindow* window) {
    if (isWindow(window)) SDL_SetWindowFullscreen(static_cast<SDL_Window*>(window->native), 0);
}

} // namespace kestrune
