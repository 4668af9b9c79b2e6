// The toolkit's controls: creation, mouse routing with capture, toggle and push-button behaviour,
// click notifications and painting.
#include "ui/controls.h"

#include <cstdio>

#include "platform/canvas.h"
#include "ui/control_painting.h"

namespace kestrune {

namespace {

void copyCaption(char (&to)[128], const char* from) {
    std::snprintf(to, sizeof to, "%s", from ? from : "");
}

ControlWindow* addControl(ControlWindow* parent, int x, int y, int width, int height,
                          ControlKind kind) {
    TopLevelWindow* top = parent->top;
    auto control = std::make_unique<ControlWindow>();
    control->x = x;
    control->y = y;
    control->width = width;
    control->height = height;
    control->parent = parent;
    control->kind = kind;
    control->top = top;
    parent->children.push_back(control.get());
    top->controls.push_back(std::move(control));
    requestPaint(top);
    return top->controls.back().get();
}

ControlWindow* hitTest(ControlWindow* control, int x, int y) {
    for (auto it = control->children.rbegin(); it != control->children.rend(); ++it) {
        ControlWindow* child = *it;
        if (x >= child->x && y >= child->y && x < child->x + child->width &&
            y < child->y + child->height)
            return hitTest(child, x - child->x, y - child->y);
    }
    return control;
}

void paintControls(const Canvas& parentCanvas, const ControlWindow* control) {
    for (const ControlWindow* child : control->children) {
        Canvas canvas = childCanvas(parentCanvas, child->x, child->y, child->width, child->height);
        if (child->kind == ControlKind::Frame) {
            fillRect(canvas, 0, 0, child->width, child->height, kFrameBackground);
            paintFrame(canvas, child->width, child->height, child->frame->style,
                       child->frame->caption);
        } else if (child->kind == ControlKind::Button) {
            const Button* b = child->button;
            drawButton(canvas, 0, 0, child->width, child->height, b->kind, b->selected || b->on,
                       b->caption);
        }
        paintControls(canvas, child);
    }
}

void paintTopLevel(TopLevelWindow* top) {
    if (!top->window) return;
    paintControls(windowCanvas(top->window), &top->client);
    presentCanvas(top->window);
}

void frameMouse(Frame* frame, const WindowEvent& event, int x, int y) {
    switch (event.type) {
    case EventType::MouseMove:
        if (frame->mouseMoveHandler) frame->mouseMoveHandler(frame, x, y);
        break;
    case EventType::ButtonDown:
        if (frame->buttonDownHandler) frame->buttonDownHandler(frame, event.button, x, y);
        break;
    case EventType::ButtonUp:
        if (frame->buttonUpHandler) frame->buttonUpHandler(frame, event.button, x, y);
        break;
    default: // double clicks: nothing
        break;
    }
}

void buttonMouse(Button* button, const WindowEvent& event, int x, int y) {
    ControlWindow* control = button->window;
    TopLevelWindow* top = control->top;
    bool left = event.button == 1;
    bool inside = x >= 0 && y >= 0 && x < control->width && y < control->height;

    // The toggle behaviour comes first: flip on the press, flip back when released outside.
    if (button->kind == ToggleButton && left) {
        if (event.type == EventType::ButtonDown) {
            button->onAtPress = button->on;
            button->on ^= 1;
        }
        if (event.type == EventType::ButtonUp) {
            auto ux = static_cast<uint16_t>(x), uy = static_cast<uint16_t>(y);
            if (ux == 0 || uy == 0 || ux > control->width || uy > control->height) button->on ^= 1;
            // A release on the right or bottom edge passes the test above but is no click, so a
            // radio group's handler never hears of the new state: two members would stay on (or
            // none). A release that is no click leaves the toggle as the press found it.
            if (top->capture == control && !inside) button->on = button->onAtPress;
            requestPaint(top);
        }
    }

    // Then the push-button behaviour every button has: held while pressed, a click when released
    // over the button.
    if ((event.type == EventType::ButtonDown || event.type == EventType::DoubleClick) && left) {
        setControlCapture(control);
        button->selected = true;
        redrawControl(control);
    } else if (event.type == EventType::MouseMove && top->capture == control) {
        if (button->selected != inside) {
            button->selected = inside;
            redrawControl(control);
        }
    } else if (event.type == EventType::ButtonUp && left && top->capture == control) {
        releaseControlCapture(top);
        button->selected = false;
        redrawControl(control);
        if (inside && button->clickHandler) button->clickHandler(button);
    }
}

} // namespace

std::unique_ptr<TopLevelWindow> createTopLevelWindow(void*, int x, int y, int width, int height,
                                                     const char* title) {
    auto top = std::make_unique<TopLevelWindow>();
    top->client.width = width;
    top->client.height = height;
    top->client.top = top.get();
    if (!initWindowSystem()) return top;
    top->registered = 1;
    top->window =
        createWindow(title, x, y, width, height, false, false, toolkitWindowProcedure, top.get());
    if (top->window) focusWindow(top->window);
    return top;
}

Frame* createFrame(void*, ControlWindow* parent, int x, int y, int width, int height,
                   const char* caption) {
    ControlWindow* control = addControl(parent, x, y, width, height, ControlKind::Frame);
    auto frame = std::make_unique<Frame>();
    frame->window = control;
    frame->parentWindow = parent;
    copyCaption(frame->caption, caption);
    control->frame = frame.get();
    parent->top->frames.push_back(std::move(frame));
    return control->frame;
}

Button* createButton(void*, ControlWindow* parent, int x, int y, int width, int height, int kind,
                     const char* caption) {
    ControlWindow* control = addControl(parent, x, y, width, height, ControlKind::Button);
    auto button = std::make_unique<Button>();
    button->window = control;
    button->parentWindow = parent;
    button->kind = kind;
    copyCaption(button->caption, caption);
    control->button = button.get();
    parent->top->buttons.push_back(std::move(button));
    return control->button;
}

void redrawControl(const ControlWindow* control) {
    // The window is small: painting all of it costs less than tracking what overlaps.
    paintTopLevel(control->top);
}

void requestPaint(const TopLevelWindow* top) {
    if (top->window) invalidateWindow(top->window);
}

void controlOrigin(const ControlWindow* control, int& x, int& y) {
    x = y = 0;
    for (; control; control = control->parent) {
        x += control->x;
        y += control->y;
    }
}

void setControlCapture(ControlWindow* control) {
    control->top->capture = control;
    if (control->top->window) captureMouse(control->top->window, true);
}

void releaseControlCapture(TopLevelWindow* top) {
    top->capture = nullptr;
    if (top->window) captureMouse(top->window, false);
}

void destroyTopLevelWindow(TopLevelWindow* top) {
    if (top->window) destroyWindow(top->window);
}

long toolkitWindowProcedure(PlatformWindow* window, const WindowEvent& event) {
    auto* top = static_cast<TopLevelWindow*>(window->userData);
    switch (event.type) {
    case EventType::Destroy:
        top->window = nullptr;
        top->capture = nullptr;
        postQuitMessage(0);
        return 0;
    case EventType::Paint:
        paintTopLevel(top);
        return 0;
    case EventType::SystemCommand:
        if (event.command == SystemCommand::Close && top->closeRequestHandler) {
            top->closeRequestHandler(top);
            return 0;
        }
        return defaultWindowProcedure(window, event);
    case EventType::MouseMove:
    case EventType::ButtonDown:
    case EventType::ButtonUp:
    case EventType::DoubleClick: {
        top->pointerX = event.screenX;
        top->pointerY = event.screenY;
        ControlWindow* target =
            top->capture ? top->capture : hitTest(&top->client, event.x, event.y);
        int ox, oy;
        controlOrigin(target, ox, oy);
        // Positions reach the controls as signed 16-bit values, as the window system packs them.
        int x = static_cast<int16_t>(event.x - ox), y = static_cast<int16_t>(event.y - oy);
        if (target->kind == ControlKind::Frame) frameMouse(target->frame, event, x, y);
        if (target->kind == ControlKind::Button) buttonMouse(target->button, event, x, y);
        return 0;
    }
    default:
        return defaultWindowProcedure(window, event);
    }
}

} // namespace kestrune
