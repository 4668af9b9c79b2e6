// The options window: its layout, the radio groups, dragging by the title bar and the buttons.
#include "shell/options_window.h"

#include <span>

#include "render/select_backend.h"

namespace kestrune {

namespace {

constexpr const char* kResolutionCaptions[8] = {"320x200", "320x240", "512x384",  "640x400",
                                                "640x480", "800x600", "1024x768", "1280x1024"};
constexpr const char* kRendererCaptions[3] = {"OpengGL", "Direct3D", "Bluescreen"};
constexpr const char* kSwitchCaptions[4] = {"Mippmapping", "Perspectiv correction",
                                            "Fullscreen (ogl only)", "Hightexture filtring"};

void endAtOnce() {
    postQuitMessage(0);
    endProcess(0);
}

void onClose(Button*) {
    endAtOnce();
}

// A close request from the window system ends the program like "X": destroying the window would
// end the loop without an output display, and the show would run with no backend.
void onCloseRequest(TopLevelWindow*) {
    endAtOnce();
}

void onMinimise(Button*) {
    if (optionsWindow.top->window) minimiseWindow(optionsWindow.top->window);
}

void selectInGroup(std::span<Button* const> group, Button* clicked) {
    clicked->on = 1;
    redrawControl(clicked->window);
    for (Button* other : group) {
        if (other == clicked || !other->on) continue;
        other->on = 0;
        redrawControl(other->window);
    }
}

void onResolution(Button* button) {
    selectInGroup(optionsWindow.resolutions, button);
}
void onRenderer(Button* button) {
    selectInGroup(optionsWindow.renderers, button);
}

bool controlOn(void*, StartControl control) {
    const OptionsWindow& w = optionsWindow;
    switch (control) {
    case StartControl::OpenGL:
        return w.renderers[0]->on;
    case StartControl::Direct3D:
        return w.renderers[1]->on;
    case StartControl::Bluescreen:
        return w.renderers[2]->on;
    case StartControl::Mipmapping:
        return w.switches[0]->on;
    case StartControl::PerspectiveCorrection:
        return w.switches[1]->on;
    case StartControl::Fullscreen:
        return w.switches[2]->on;
    case StartControl::TextureFiltering:
        return w.switches[3]->on;
    default:
        break;
    }
    for (int i = 0; i < 8; ++i)
        if (kResolutionChoices[i].control == control) return w.resolutions[i]->on;
    return false;
}

void destroyWindowForStart(void*) {
    destroyTopLevelWindow(optionsWindow.top.get());
}

void onGo(Button*) {
    StartControls controls;
    controls.isOn = controlOn;
    controls.destroyOptionsWindow = destroyWindowForStart;
    controls.instance = optionsWindow.instance;
    controls.windowProcedure = optionsWindow.showProcedure;
    startShow(controls);
}

// The window follows the pointer's screen position: positions relative to a window that is itself
// moving lose steps (see pointerOnScreen in the SDL layer).
void followPointer(const TopLevelWindow* top) {
    if (!dragState.dragging || !top->window) return;
    moveWindow(top->window, dragState.windowX + top->pointerX - dragState.pointerX,
               dragState.windowY + top->pointerY - dragState.pointerY);
}

void onTitleDown(Frame* frame, int, int x, int y) {
    TopLevelWindow* top = frame->window->top;
    setControlCapture(frame->window);
    dragState.grabX = x;
    dragState.grabY = y;
    dragState.pointerX = top->pointerX;
    dragState.pointerY = top->pointerY;
    if (top->window) windowPosition(top->window, dragState.windowX, dragState.windowY);
    dragState.dragging = true;
    setFrameStyle(frame, 1);
    redrawControl(frame->window);
}

void onTitleUp(Frame* frame, int, int, int) {
    followPointer(frame->window->top); // a last step whose motion never came
    releaseControlCapture(frame->window->top);
    dragState.dragging = false;
    setFrameStyle(frame, 0);
    redrawControl(frame->window);
}

void onTitleMove(Frame* frame, int, int) {
    followPointer(frame->window->top);
}

} // namespace

void buildOptionsWindow(void* instance, WindowProcedure showProcedure) {
    OptionsWindow& w = optionsWindow;
    w = OptionsWindow{};
    dragState = DragState{};
    w.instance = instance;
    w.showProcedure = showProcedure;

    int screenWidth, screenHeight;
    screenSize(screenWidth, screenHeight);
    w.top = createTopLevelWindow(instance, screenWidth / 2 - 167, screenHeight / 2 - 117,
                                 kOptionsWidth, kOptionsHeight, "Kestrune 99");
    w.top->closeRequestHandler = onCloseRequest;

    Frame* cover = createFrame(instance, &w.top->client, 0, 0, 335, 235, "");
    w.titleBar = createFrame(instance, cover->window, 2, 2, 331, 22, "Kestrune 99");
    setButtonDownHandler(w.titleBar, onTitleDown);
    setButtonUpHandler(w.titleBar, onTitleUp);
    setMouseMoveHandler(w.titleBar, onTitleMove);
    w.closeButton = createButton(instance, w.titleBar->window, 311, 2, 18, 18, PushButton, "X");
    w.minimiseButton = createButton(instance, w.titleBar->window, 293, 2, 18, 18, PushButton, "--");
    setClickHandler(w.closeButton, onClose);
    setClickHandler(w.minimiseButton, onMinimise);

    Frame* body = createFrame(instance, cover->window, 2, 25, 331, 208, "");
    Frame* bottom = createFrame(instance, body->window, 5, 177, 321, 26, "");
    Frame* resolutionGroup = createFrame(instance, body->window, 5, 5, 160, 170, "");
    Frame* rendererGroup = createFrame(instance, body->window, 165, 5, 160, 70, "");
    createFrame(instance, body->window, 165, 75, 160, 10, "");
    Frame* switchGroup = createFrame(instance, body->window, 165, 85, 160, 90, "");

    for (int i = 0; i < 8; ++i) {
        w.resolutions[i] = createButton(instance, resolutionGroup->window, 5, 5 + 20 * i, 150, 20,
                                        ToggleButton, kResolutionCaptions[i]);
        setClickHandler(w.resolutions[i], onResolution);
    }
    setOn(w.resolutions[5], 1); // 800x600
    for (int i = 0; i < 3; ++i) {
        w.renderers[i] = createButton(instance, rendererGroup->window, 5, 5 + 20 * i, 150, 20,
                                      ToggleButton, kRendererCaptions[i]);
        setClickHandler(w.renderers[i], onRenderer);
    }
    setOn(w.renderers[0], 1); // OpengGL
    for (int i = 0; i < 4; ++i) {
        w.switches[i] = createButton(instance, switchGroup->window, 5, 5 + 20 * i, 150, 20,
                                     ToggleButton, kSwitchCaptions[i]);
        setOn(w.switches[i], 1);
    }

    w.byeButton = createButton(instance, bottom->window, 5, 3, 75, 20, PushButton, "BYE");
    w.goButton = createButton(instance, bottom->window, 241, 3, 75, 20, PushButton, "GO!!");
    setClickHandler(w.byeButton, onClose);
    setClickHandler(w.goButton, onGo);
}

void releaseOptionsWindow() {
    if (optionsWindow.top && optionsWindow.top->window) {
        optionsWindow.top->window->procedure = nullptr; // no quit message for this destroy
        destroyTopLevelWindow(optionsWindow.top.get());
    }
    optionsWindow = OptionsWindow{};
}

int runOptionsWindow(void* instance, WindowProcedure showProcedure) {
    buildOptionsWindow(instance, showProcedure);
    if (optionsWindow.top->window) redrawControl(&optionsWindow.top->client);
    // Waiting for each message keeps the processor free while the viewer chooses.
    for (;;) {
        WindowMessage message;
        waitMessage(message);
        if (message.event.type == EventType::Quit) break;
        dispatchMessage(message);
    }
    releaseOptionsWindow();
    return 1;
}

} // namespace kestrune
