// The options window shown before the show: resolution, renderer, four switches, "BYE" and "GO!!".
#pragma once

#include <memory>

#include "ui/controls.h"

namespace kestrune {

constexpr int kOptionsWidth = 335;
constexpr int kOptionsHeight = 235;

// The controls the start action and the handlers reach; filled by buildOptionsWindow.
struct OptionsWindow {
    std::unique_ptr<TopLevelWindow> top;
    Frame* titleBar = nullptr;
    Button* closeButton = nullptr;    // "X"
    Button* minimiseButton = nullptr; // "--"
    Button* byeButton = nullptr;
    Button* goButton = nullptr;
    Button* resolutions[8] = {};             // "320x200" .. "1280x1024"
    Button* renderers[3] = {};               // "OpengGL", "Direct3D", "Bluescreen"
    Button* switches[4] = {};                // mipmapping, perspective, fullscreen, filtering
    WindowProcedure showProcedure = nullptr; // handed to openDisplay by "GO!!"
    void* instance = nullptr;
};

struct DragState {
    bool dragging = false;
    int grabX = 0; // where the title bar was grabbed, title-bar pixels
    int grabY = 0;
    int pointerX = 0; // the pointer on the screen at the grab
    int pointerY = 0;
    int windowX = 0; // the window's position at the grab
    int windowY = 0;
};

inline OptionsWindow optionsWindow;
inline DragState dragState;

// Builds the window centred on the screen, focused and shown.
void buildOptionsWindow(void* instance, WindowProcedure showProcedure);
// Frees the controls (the window itself is gone by then, or goes now).
void releaseOptionsWindow();
// Builds the window and runs its message loop until the quit message, which comes once "GO!!" has
// opened the output display and destroyed the window; returns 1. "X" and "BYE" end the process.
int runOptionsWindow(void* instance, WindowProcedure showProcedure);

} // namespace kestrune
