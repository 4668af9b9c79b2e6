// The show's driver: start-up, the two loading phases, the nine-part timeline with its overlays,
// the keys of the output window and the three ways the show ends.
#pragma once

#include <cstdint>

#include "platform/window.h"
#include "scene/scene.h"

namespace kestrune {

// Everything the driver calls apart from the backend table (renderBackend), so that tests can run
// the whole show on a fake clock with the recording backend. showServices() has the real ones.
struct DriverServices {
    uint32_t (*clock)() = nullptr; // milliseconds, wrapping
    bool (*loadScene)(Scene& scene, const char* fileName) = nullptr;
    void (*drawScene)(Scene& scene, float frame) = nullptr;
    void (*initMetaballs)() = nullptr;
    void (*prepareScene)(Scene& scene) = nullptr; // after initMetaballs, before drawing
    void (*freeMetaballs)() = nullptr;
    void (*openSound)() = nullptr; // the wave output device
    void (*prepareMusic)(const char* fileName) = nullptr; // optional: read ahead for loadMusic
    void (*loadMusic)(const char* fileName) = nullptr;
    void (*attachMusic)() = nullptr; // starts the music
    void (*detachMusic)() = nullptr;
    void (*stopSound)() = nullptr; // signals the output thread and waits 200 ms
    bool (*peekMessage)(WindowMessage& message) = nullptr;
    long (*dispatchMessage)(const WindowMessage& message) = nullptr;
    void (*postQuitMessage)(int exitCode) = nullptr;
    void (*endProcess)(int status) = nullptr; // at once, without destructors
    int (*runOptionsWindow)(void* instance, WindowProcedure showProcedure) = nullptr;
};

inline DriverServices driverServices;

constexpr int kPartCount = 9;
constexpr int kTextOverlayCount = 7;
constexpr uint32_t kFrameMilliseconds = 33;
constexpr int kLoadingFrames = 200;
constexpr int kMinViewSize = 10; // the Left key stops shrinking the view here

// The driver's state; all of it lives for the whole run.
struct ShowState {
    void* instance = nullptr;
    Scene loadingScene;
    Scene partScenes[kPartCount];
    Scene credits;
    Scene divozev;
    Scene greet;
    Scene textOverlays[kTextOverlayCount];
    int32_t partCount = 0;
    int32_t part = 0;
    uint32_t origin = 0;     // clock time the current phase or part started
    int32_t viewWidth = 640; // the view rectangle of the Left and Right keys
    int32_t viewHeight = 480;
    bool ended = false; // endProcess was called (it only returns in tests)
};

inline ShowState showState;

// The entry point's work. Returns 1 when a quit message ended the timeline; the other ends call
// endProcess(0) and do not return (in tests, where endProcess returns, this returns 0).
int runShow(void* instance);

// The output window's procedure: Escape, Left and Right, and the swallowed system commands.
long showWindowProcedure(PlatformWindow* window, const WindowEvent& event);

// Draws the part's scene and its overlays at frame f of the part.
void drawPart(int part, int32_t f);

// The services of the real show: the wave output device, the module player, the platform clock
// and message queue, the scene reader and the frame renderer.
DriverServices showServices();

} // namespace kestrune
