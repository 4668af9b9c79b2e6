// The options window headless: clicks and drags as injected mouse events, and the painted pixels
// of frames, toggles and push buttons against the colour table.
#include <gtest/gtest.h>

#include <vector>

#include "platform/canvas.h"
#include "render/recording/recording_backend.h"
#include "render/select_backend.h"
#include "shell/options_window.h"
#include "tests/ui/caption_fit.h"
#include "ui/control_painting.h"

namespace kestrune {
namespace {

std::vector<int> endedWith;
void recordEnd(int status) {
    endedWith.push_back(status);
}
long showProcedure(PlatformWindow*, const WindowEvent&) {
    return 0;
}

class OptionsWindowTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        endedWith.clear();
        endProcess = recordEnd;
        renderBackend = RenderBackend{};
        renderOptions = RenderOptions{};
        backendFillers.openGL = fillRecordingBackend;
        clearRecording();
        buildOptionsWindow(nullptr, showProcedure);
        ASSERT_NE(optionsWindow.top->window, nullptr);
        quitSeen = false;
        pump();
    }
    void TearDown() override {
        releaseOptionsWindow();
        pump();
        endProcess = endProcessAtOnce;
        backendFillers.openGL = nullptr;
        renderBackend = RenderBackend{};
    }
    void pump() {
        WindowMessage message;
        while (peekMessage(message)) {
            if (message.event.type == EventType::Quit)
                quitSeen = true;
            else
                dispatchMessage(message);
        }
    }
    static void clientPosition(const ControlWindow* control, int& x, int& y) {
        x = y = 0;
        for (; control; control = control->parent) {
            x += control->x;
            y += control->y;
        }
    }
    void mouse(EventType type, int button, int x, int y) {
        WindowEvent event;
        event.type = type;
        event.button = static_cast<uint8_t>(button);
        event.x = static_cast<int16_t>(x);
        event.y = static_cast<int16_t>(y);
        windowPosition(optionsWindow.top->window, event.screenX, event.screenY);
        event.screenX += x; // where a pointer at (x, y) in the window is on the screen
        event.screenY += y;
        postMessage(optionsWindow.top->window, event);
        pump();
    }
    // Presses and releases at (dx, dy) inside the control.
    void click(const Button* button, int dx = 20, int dy = 10) {
        int x, y;
        clientPosition(button->window, x, y);
        mouse(EventType::ButtonDown, 1, x + dx, y + dy);
        if (optionsWindow.top->window) mouse(EventType::ButtonUp, 1, x + dx, y + dy);
    }
    Color pixel(int x, int y) const { return canvasPixel(optionsWindow.top->window, x, y); }
    bool quitSeen = false;
};

TEST_F(OptionsWindowTest, StartsCentredWithTheDefaultChoices) {
    int screenWidth, screenHeight, x, y;
    screenSize(screenWidth, screenHeight);
    windowPosition(optionsWindow.top->window, x, y);
    EXPECT_EQ(x, screenWidth / 2 - 167);
    EXPECT_EQ(y, screenHeight / 2 - 117);
    EXPECT_EQ(optionsWindow.top->window->width, 335);
    EXPECT_EQ(optionsWindow.top->window->height, 235);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(isOn(optionsWindow.resolutions[i]), i == 5);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(isOn(optionsWindow.renderers[i]), i == 0);
    for (Button* s : optionsWindow.switches) EXPECT_EQ(isOn(s), 1);
    EXPECT_STREQ(optionsWindow.renderers[0]->caption, "OpengGL");
    EXPECT_STREQ(optionsWindow.switches[3]->caption, "Hightexture filtring");
    int gx, gy;
    clientPosition(optionsWindow.goButton->window, gx, gy);
    EXPECT_EQ(gx, 248);
    EXPECT_EQ(gy, 205);
}

TEST_F(OptionsWindowTest, EveryCaptionFitsItsControl) {
    EXPECT_EQ(overflowingCaptions(*optionsWindow.top), std::vector<std::string>{});
}

TEST_F(OptionsWindowTest, TitleBarFrameIsPaintedWithTheCutCorner) {
    // The title bar: 331 x 22 at (2, 2), raised.
    const FrameColors& raised = kFrameColors[0];
    EXPECT_EQ(pixel(202, 20), raised.fill); // body, below the caption
    EXPECT_EQ(pixel(102, 21), raised.fill); // first shadow line (h - 3)
    EXPECT_EQ(pixel(102, 22), raised.fill); // second shadow line (h - 2)
    EXPECT_EQ(pixel(2, 12), raised.light);  // left edge
    EXPECT_EQ(pixel(2, 23), raised.light);  // left edge reaches the bottom row
    EXPECT_EQ(pixel(150, 2), raised.light); // top edge
    EXPECT_EQ(pixel(332, 2), raised.dark);  // the top-right corner belongs to the dark edge
    EXPECT_EQ(pixel(332, 20), raised.dark); // right edge down to h - 4
    EXPECT_EQ(pixel(331, 21), raised.dark); // the cut
    EXPECT_EQ(pixel(330, 22), raised.dark);
    EXPECT_EQ(pixel(329, 23), raised.dark); // bottom edge from w - 4
    EXPECT_EQ(pixel(100, 23), raised.dark);
    EXPECT_EQ(pixel(332, 22), kFrameBackground); // beyond the cut
    EXPECT_EQ(pixel(332, 23), kFrameBackground);
    int yellow = 0, black = 0;
    for (int y = 4; y < 22; ++y)
        for (int x = 7; x < 100; ++x) {
            yellow += pixel(x, y) == kFrameCaption;
            black += pixel(x, y) == kBlack;
        }
    EXPECT_GT(yellow, 20); // "Kestrune 99" with its shadow
    EXPECT_GT(black, 5);
}

TEST_F(OptionsWindowTest, TogglesShowTheirStateInTheSquare) {
    // "800x600" (on) at (12, 135) and "320x200" (off) at (12, 35), 150 x 20 each.
    EXPECT_EQ(pixel(12 + 8, 135 + 8), kButtonFace);
    EXPECT_EQ(pixel(12 + 3, 135 + 8), kBlack); // outline of the square (3, 3)-(17, 17)
    EXPECT_EQ(pixel(12 + 16, 135 + 8), kBlack);
    EXPECT_EQ(pixel(12 + 4, 135 + 8), kBevelDark);   // pressed: inner top-left dark
    EXPECT_EQ(pixel(12 + 15, 135 + 8), kBevelLight); // inner bottom-right light
    EXPECT_EQ(pixel(12 + 2, 135 + 8), kBevelLight);  // outer top-left in the opposite pen
    EXPECT_EQ(pixel(12 + 4, 35 + 8), kBevelLight);   // released
    EXPECT_EQ(pixel(12 + 15, 35 + 8), kBevelDark);
    EXPECT_EQ(pixel(12 + 2, 35 + 8), kBevelDark);
    const FrameColors& sunken = kFrameColors[1];
    EXPECT_EQ(pixel(12 + 130, 35 + 10), sunken.fill); // the toggle's sunken frame
    EXPECT_EQ(pixel(12, 35 + 10), sunken.light);
    EXPECT_EQ(pixel(12 + 149, 35 + 5), sunken.dark);
    int white = 0;
    for (int y = 35; y < 55; ++y)
        for (int x = 12 + 22; x < 12 + 80; ++x) white += pixel(x, y) == kWhite;
    EXPECT_GT(white, 10); // the caption, right of the square
}

TEST_F(OptionsWindowTest, PushButtonsAreBevelledAndSinkWhilePressed) {
    // "GO!!" at (248, 205), 75 x 20: face (1, 1)-(74, 19).
    EXPECT_EQ(pixel(248 + 5, 205 + 15), kButtonFace);
    EXPECT_EQ(pixel(248 + 1, 205 + 10), kBlack);
    EXPECT_EQ(pixel(248 + 2, 205 + 10), kBevelLight);
    EXPECT_EQ(pixel(248 + 0, 205 + 10), kBevelDark);
    EXPECT_EQ(pixel(248 + 72, 205 + 10), kBevelDark);
    mouse(EventType::ButtonDown, 1, 248 + 30, 205 + 10);
    EXPECT_TRUE(optionsWindow.goButton->selected);
    EXPECT_EQ(pixel(248 + 2, 205 + 10), kBevelDark);
    EXPECT_EQ(pixel(248 + 0, 205 + 10), kBevelLight);
    mouse(EventType::MouseMove, 0, 10, 10); // leaving the button releases the look
    EXPECT_FALSE(optionsWindow.goButton->selected);
    mouse(EventType::ButtonUp, 1, 10, 10); // released outside: no click
    EXPECT_TRUE(recording.calls.empty());
    EXPECT_EQ(pixel(248 + 2, 205 + 10), kBevelLight);
}

TEST_F(OptionsWindowTest, ResolutionsAndRenderersAreRadioGroups) {
    click(optionsWindow.resolutions[4]);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(isOn(optionsWindow.resolutions[i]), i == 4);
    EXPECT_EQ(pixel(12 + 4, 115 + 8), kBevelDark);  // repainted: "640x480" pressed
    EXPECT_EQ(pixel(12 + 4, 135 + 8), kBevelLight); // "800x600" released
    click(optionsWindow.resolutions[4]);            // clicking the chosen one keeps it on
    EXPECT_EQ(isOn(optionsWindow.resolutions[4]), 1);
    click(optionsWindow.renderers[1]);
    EXPECT_EQ(isOn(optionsWindow.renderers[0]), 0);
    EXPECT_EQ(isOn(optionsWindow.renderers[1]), 1);
}

TEST_F(OptionsWindowTest, RadioGroupKeepsOneMemberOnWhenReleasedOnTheFarEdge) {
    // The right and bottom edges are outside for the click but not for the toggle's own test.
    for (Button* pressed : {optionsWindow.resolutions[0], optionsWindow.resolutions[5]}) {
        for (bool rightEdge : {true, false}) {
            int x, y;
            clientPosition(pressed->window, x, y);
            mouse(EventType::ButtonDown, 1, x + 20, y + 10);
            mouse(EventType::ButtonUp, 1, x + (rightEdge ? 150 : 20), y + (rightEdge ? 10 : 20));
            for (int i = 0; i < 8; ++i) EXPECT_EQ(isOn(optionsWindow.resolutions[i]), i == 5);
        }
    }
}

TEST_F(OptionsWindowTest, SwitchesFlipAndReleasingOutsideUndoes) {
    Button* fullscreen = optionsWindow.switches[2];
    click(fullscreen);
    EXPECT_EQ(isOn(fullscreen), 0);
    click(fullscreen);
    EXPECT_EQ(isOn(fullscreen), 1);
    int x, y;
    clientPosition(fullscreen->window, x, y);
    mouse(EventType::ButtonDown, 1, x + 20, y + 10);
    EXPECT_EQ(isOn(fullscreen), 0); // flips on the press
    mouse(EventType::ButtonUp, 1, x - 30, y + 10);
    EXPECT_EQ(isOn(fullscreen), 1);
    for (Button* s : optionsWindow.switches) EXPECT_EQ(isOn(s), 1);
}

TEST_F(OptionsWindowTest, TitleBarDragsWithEitherButtonAndSinksMeanwhile) {
    for (int button : {1, 2}) {
        int x0, y0, x1, y1, x2, y2;
        windowPosition(optionsWindow.top->window, x0, y0);
        mouse(EventType::ButtonDown, button, 52, 12);
        EXPECT_TRUE(dragState.dragging);
        EXPECT_EQ(pixel(202, 20), kFrameColors[1].fill);
        mouse(EventType::MouseMove, 0, 82, 32);
        windowPosition(optionsWindow.top->window, x1, y1);
        EXPECT_EQ(x1, x0 + 30);
        EXPECT_EQ(y1, y0 + 20);
        mouse(EventType::ButtonUp, button, 52, 12); // the pointer, followed, is at the grab
        windowPosition(optionsWindow.top->window, x2, y2);
        EXPECT_EQ(x2, x1);
        EXPECT_FALSE(dragState.dragging);
        EXPECT_EQ(pixel(202, 20), kFrameColors[0].fill);
        mouse(EventType::MouseMove, 0, 120, 60); // no longer dragging
        windowPosition(optionsWindow.top->window, x2, y2);
        EXPECT_EQ(x2, x1);
    }
}

TEST_F(OptionsWindowTest, DoubleClicksDoNothing) {
    mouse(EventType::DoubleClick, 1, 52, 12); // title bar
    EXPECT_FALSE(dragState.dragging);
    EXPECT_EQ(pixel(202, 20), kFrameColors[0].fill);
    mouse(EventType::DoubleClick, 1, 100, 100); // a plain frame
    EXPECT_TRUE(endedWith.empty());
}

TEST_F(OptionsWindowTest, CloseAndByeEndWithStatusZero) {
    click(optionsWindow.closeButton, 8, 8);
    EXPECT_EQ(endedWith, std::vector<int>{0});
    EXPECT_TRUE(quitSeen);
    click(optionsWindow.byeButton);
    EXPECT_EQ(endedWith, (std::vector<int>{0, 0}));
    EXPECT_TRUE(recording.calls.empty()); // no output window
}

TEST_F(OptionsWindowTest, WindowSystemCloseRequestEndsLikeX) {
    WindowEvent close;
    close.type = EventType::SystemCommand;
    close.command = SystemCommand::Close;
    postMessage(optionsWindow.top->window, close);
    pump();
    EXPECT_EQ(endedWith, std::vector<int>{0});
}

TEST_F(OptionsWindowTest, GoOpensTheChosenDisplayAndEndsTheLoop) {
    click(optionsWindow.resolutions[4]); // 640x480
    click(optionsWindow.switches[2]);    // fullscreen off
    click(optionsWindow.goButton);
    ASSERT_EQ(recording.calls.size(), 1u);
    const RecordedCall& open = recording.calls[0];
    EXPECT_EQ(open.entry, EntryPoint::OpenDisplay);
    EXPECT_EQ(open.args[0], 640);
    EXPECT_EQ(open.args[1], 480);
    EXPECT_EQ(open.procedure, showProcedure);
    EXPECT_EQ(renderOptions.fullscreen, 0);
    EXPECT_EQ(renderOptions.mipmapping, 1);
    EXPECT_EQ(optionsWindow.top->window, nullptr); // destroyed, and its destroy posted the quit
    EXPECT_TRUE(quitSeen);
    EXPECT_TRUE(endedWith.empty());
}

TEST_F(OptionsWindowTest, BluescreenEndsBeforeAnyOutputWindow) {
    click(optionsWindow.renderers[2]);
    click(optionsWindow.goButton);
    EXPECT_EQ(endedWith, std::vector<int>{0});
    EXPECT_TRUE(recording.calls.empty());
}

} // namespace
} // namespace kestrune
