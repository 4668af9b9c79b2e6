// Choosing the renderer when the viewer presses "GO!!": fills the backend table, stores the option
// switches and opens the output display.
#pragma once

#include <cstdint>

#include "platform/process.h"
#include "render/table/render_table.h"

namespace kestrune {

// Writes one backend's entry points into the table, in the table's field order.
using BackendFiller = void (*)(RenderBackend& table);

// The backends this build offers; the show registers their fillers before the options window
// runs. A kind whose filler is missing selects nothing, like an unknown kind.
struct BackendFillers {
    BackendFiller openGL = nullptr;
    BackendFiller direct3D = nullptr;
};

inline BackendFillers backendFillers;

// Fills renderBackend for BackendOpenGL or BackendDirect3D; any other kind changes nothing.
void selectBackend(int kind);

// The options window's controls that the start action reads.
enum class StartControl : uint8_t {
    OpenGL, // the renderer toggles: a radio group
    Direct3D,
    Bluescreen,
    PerspectiveCorrection, // the four switches
    Mipmapping,
    Fullscreen,
    TextureFiltering,
    Resolution320x200, // the resolutions: a radio group, in this order
    Resolution320x240,
    Resolution512x384,
    Resolution640x400,
    Resolution640x480,
    Resolution800x600,
    Resolution1024x768,
    Resolution1280x1024,
};

struct ResolutionChoice {
    StartControl control;
    int width;  // pixels
    int height; // pixels
};

inline constexpr ResolutionChoice kResolutionChoices[] = {
    {StartControl::Resolution320x200, 320, 200},   {StartControl::Resolution320x240, 320, 240},
    {StartControl::Resolution512x384, 512, 384},   {StartControl::Resolution640x400, 640, 400},
    {StartControl::Resolution640x480, 640, 480},   {StartControl::Resolution800x600, 800, 600},
    {StartControl::Resolution1024x768, 1024, 768}, {StartControl::Resolution1280x1024, 1280, 1024},
};

// What the start action needs from the options window; the window's owner fills it.
struct StartControls {
    bool (*isOn)(void* context, StartControl control) = nullptr;
    void (*destroyOptionsWindow)(void* context) = nullptr; // ends the window's message loop
    void* context = nullptr;                               // passed back to both callbacks
    void* instance = nullptr;                              // the program's instance handle
    WindowProcedure windowProcedure = nullptr;             // the driver's output-window handler
};

// Ends the process at once with the given status and without running destructors, after the leak
// check in a build with LeakSanitizer. Tests replace it with a recorder that returns; the start
// action then stops where the process would have ended.
inline void (*endProcess)(int status) = endProcessAtOnce;

// The "GO!!" action: renderer choice, "Bluescreen" exit, option flags, openDisplay for the chosen
// resolution, then the options window is destroyed.
void startShow(const StartControls& controls);

} // namespace kestrune
