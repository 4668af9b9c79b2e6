// The controls toolkit of the options window and the device dialog: a top-level window holding
// frames (bevelled panels with a caption and mouse handlers) and owner-drawn buttons (push buttons
// and toggles), drawn on its canvas.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/window.h"

namespace kestrune {

struct Frame;
class Button;
struct TopLevelWindow;

enum class ControlKind : uint8_t { Client, Frame, Button };

// A child window of the toolkit: a rectangle in its parent's client area.
struct ControlWindow {
    int x = 0; // relative to the parent's client area
    int y = 0;
    int width = 0;
    int height = 0;
    ControlWindow* parent = nullptr;      // null for the top-level window's client area
    std::vector<ControlWindow*> children; // later children lie on top of earlier ones
    ControlKind kind = ControlKind::Client;
    Frame* frame = nullptr;   // kind Frame
    Button* button = nullptr; // kind Button
    TopLevelWindow* top = nullptr;
};

using FrameButtonHandler = void (*)(Frame* frame, int button, int x,
                                    int y); // button: 1 left, 2 right
using FrameMoveHandler = void (*)(Frame* frame, int x, int y);
using ClickHandler = void (*)(Button* button);

struct Frame {
    FrameButtonHandler buttonDownHandler = nullptr;
    FrameButtonHandler buttonUpHandler = nullptr;
    FrameMoveHandler mouseMoveHandler = nullptr;
    ControlWindow* window = nullptr;
    ControlWindow* parentWindow = nullptr;
    int style = 0; // 0 raised, 1 sunken
    char caption[128] = {};
};

enum ButtonKind : int { PushButton = 0, ToggleButton = 1 };

class Button {
public:
    virtual ~Button() = default;
    ClickHandler clickHandler = nullptr;
    ControlWindow* window = nullptr;
    ControlWindow* parentWindow = nullptr;
    char caption[128] = {};
    int on = 0;            // a toggle's state, 0 or 1
    int kind = 0;          // PushButton or ToggleButton
    bool selected = false; // held down by the mouse with the pointer over it
    int onAtPress = 0;     // a toggle's state before the left button went down on it
};

struct TopLevelWindow {
    PlatformWindow* window = nullptr;
    int registered = 0;               // 1 once the window system is ready for it
    ControlWindow client;             // the client area, parent of the top-level frames
    ControlWindow* capture = nullptr; // receives every mouse event while set
    int pointerX = 0;                 // the pointer on the screen at the latest mouse event
    int pointerY = 0;
    // A close request of the window system; without one the window is destroyed.
    void (*closeRequestHandler)(TopLevelWindow* top) = nullptr;
    std::vector<std::unique_ptr<ControlWindow>> controls;
    std::vector<std::unique_ptr<Frame>> frames;
    std::vector<std::unique_ptr<Button>> buttons;
};

// A pop-up window without caption at (x, y) with a client area of width x height. Its window is
// null when the window system is not available.
std::unique_ptr<TopLevelWindow> createTopLevelWindow(void* instance, int x, int y, int width,
                                                     int height, const char* title);
Frame* createFrame(void* instance, ControlWindow* parent, int x, int y, int width, int height,
                   const char* caption);
Button* createButton(void* instance, ControlWindow* parent, int x, int y, int width, int height,
                     int kind, const char* caption);

inline void setButtonDownHandler(Frame* frame, FrameButtonHandler h) {
    frame->buttonDownHandler = h;
}
inline void setButtonUpHandler(Frame* frame, FrameButtonHandler h) {
    frame->buttonUpHandler = h;
}
inline void setMouseMoveHandler(Frame* frame, FrameMoveHandler h) {
    frame->mouseMoveHandler = h;
}
inline void setFrameStyle(Frame* frame, int style) {
    frame->style = style;
}
inline void setClickHandler(Button* button, ClickHandler h) {
    button->clickHandler = h;
}
inline void setOn(Button* button, int on) {
    button->on = on;
}
inline ControlWindow* frameWindow(const Frame* frame) {
    return frame->window;
}
inline ControlWindow* buttonWindow(const Button* button) {
    return button->window;
}
inline int isOn(const Button* button) {
    return button->on;
}
inline int buttonKind(const Button* button) {
    return button->kind;
}

// Paints the control's whole window now.
void redrawControl(const ControlWindow* control);
// Asks for the top-level window to be painted once its message queue holds nothing else.
void requestPaint(const TopLevelWindow* top);
// A control's position in its top-level window's client area.
void controlOrigin(const ControlWindow* control, int& x, int& y);
// Mouse capture by one control, and its release.
void setControlCapture(ControlWindow* control);
void releaseControlCapture(TopLevelWindow* top);
// Destroys the platform window (its destroy posts the quit message); the control objects live on
// until the TopLevelWindow is released.
void destroyTopLevelWindow(TopLevelWindow* top);

// The top-level window's procedure: routes events to the frames and buttons and paints them.
long toolkitWindowProcedure(PlatformWindow* window, const WindowEvent& event);

} // namespace kestrune
