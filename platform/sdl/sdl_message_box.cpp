// Message boxes on SDL2, or on the standard error stream where no one could click them away.
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "platform/message_box.h"
#include "platform/window.h"

namespace kestrune {

void showMessageBox(const char* title, const char* text) {
    const char* driver = initWindowSystem() ? SDL_GetCurrentVideoDriver() : nullptr;
    bool headless =
        !driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
    if (headless || SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) != 0)
        std::fprintf(stderr, "%s: %s\n", title, text);
}

} // namespace kestrune
