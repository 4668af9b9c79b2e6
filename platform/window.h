// Top-level windows, the events they receive and the message queue that delivers them.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrune {

struct PlatformWindow;
struct WindowEvent;

// A window's event handler; what it returns is passed back to the dispatcher's caller.
using WindowProcedure = long (*)(PlatformWindow* window, const WindowEvent& event);

enum class EventType : uint8_t {
    KeyDown,
    KeyUp,
    MouseMove,
    ButtonDown,
    ButtonUp,
    DoubleClick,   // the second press of a double click, instead of ButtonDown
    Paint,         // the window needs redrawing
    SystemCommand, // a request of the window system, such as closing the window
    Destroy,       // the window is being destroyed
    Quit,          // the quit message: has no window
};

enum class Key : uint8_t { Other, Escape, Left, Right, Up, Down, Space, Enter, F4 };

enum class SystemCommand : uint8_t { Close, Minimise, Other };

struct WindowEvent {
    EventType type = EventType::Paint;
    Key key = Key::Other; // KeyDown, KeyUp
    bool alt = false;     // KeyDown, KeyUp: an Alt key is held
    uint8_t button = 0;   // ButtonDown, ButtonUp, DoubleClick: 1 left, 2 right
    int16_t x = 0;        // mouse events: position in the window's client area
    int16_t y = 0;        //
    int screenX = 0;      // mouse events: the pointer's position on the screen
    int screenY = 0;      //
    SystemCommand command = SystemCommand::Other; // SystemCommand
    int exitCode = 0;                             // Quit
};

struct PlatformWindow {
    void* native = nullptr; // the window system's window
    uint32_t id = 0;        // the window system's window number
    WindowProcedure procedure = nullptr;
    void* userData = nullptr; // for the procedure's owner
    bool openGL = false;
    bool needsPaint = false;      // a redraw request is pending
    int width = 0;                // client area, pixels
    int height = 0;               //
    std::vector<uint32_t> canvas; // 0x00RRGGBB, width x height, for windows without GL
};

struct WindowMessage {
    PlatformWindow* window = nullptr; // null for the quit message
    WindowEvent event;
};

// Prepares the window system; false when no video driver works. Called by every function
// below that needs it, so callers may skip it.
bool initWindowSystem();

// False when windows would be seen on no screen: no video driver works, or the only one that does
// is headless and nobody asked for it by name. A program that draws offscreen on purpose names
// its driver.
bool hasVisibleDisplay();

// A pop-up window at (x, y) on the screen with a client area of width x height; with a caption
// (title bar) or without. openGL windows can carry a GL context (platform/gl.h) and have no
// canvas. The window is shown. Null on failure.
PlatformWindow* createWindow(const char* title, int x, int y, int width, int height, bool caption,
                             bool openGL, WindowProcedure procedure, void* userData);
// Sends Destroy to the procedure, drops the messages queued for the window, closes it and frees
// the record.
void destroyWindow(PlatformWindow* window);

// True while the window exists (created and not yet destroyed).
bool isWindow(const PlatformWindow* window);

void moveWindow(PlatformWindow* window, int x, int y);
void windowPosition(const PlatformWindow* window, int& x, int& y);
void minimiseWindow(PlatformWindow* window);
void focusWindow(PlatformWindow* window);
// While on, mouse events keep coming to the window when the pointer leaves it.
void captureMouse(PlatformWindow* window, bool on);
void screenSize(int& width, int& height);

// Asks for a Paint event once the queue holds nothing else for the window.
void invalidateWindow(PlatformWindow* window);

// Takes the next message without waiting; false when there is none.
bool peekMessage(WindowMessage& message);
// Waits for the next message.
void waitMessage(WindowMessage& message);
// Hands the message to its window's procedure; returns what the procedure returns (0 for the quit
// message).
long dispatchMessage(const WindowMessage& message);
// Queues an event for a window (or the quit message with a null window), ahead of the window
// system's own events.
void postMessage(PlatformWindow* window, const WindowEvent& event);
void postQuitMessage(int exitCode);
// The termination signal (SIGINT, SIGTERM) the window system turned into a quit message; 0 while
// none has come.
int quitSignal();

// What a window does with an event its procedure does not handle: a close request destroys the
// window, Alt+F4 becomes a close request, everything else is ignored.
long defaultWindowProcedure(PlatformWindow* window, const WindowEvent& event);

} // namespace kestrune
