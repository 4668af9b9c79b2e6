// Windows on SDL's offscreen driver: events from the window system reach the procedure as the
// show expects them, and the queue's order holds.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/canvas.h"
#include "platform/display.h"
#include "platform/gl.h"
#include "platform/message_box.h"
#include "platform/window.h"

namespace kestrune {
namespace {

std::vector<WindowEvent> received;

long recordingProcedure(PlatformWindow* window, const WindowEvent& event) {
    received.push_back(event);
    if (event.type == EventType::KeyDown && event.key == Key::Escape) return 7;
    return defaultWindowProcedure(window, event);
}

class Windows : public testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        ASSERT_TRUE(initWindowSystem());
        received.clear();
        window = createWindow("test", 10, 20, 64, 48, false, false, recordingProcedure, this);
        ASSERT_NE(window, nullptr);
        drain();
    }
    void TearDown() override {
        if (window) destroyWindow(window);
        drain();
    }
    // Dispatches everything queued; returns the quit message's exit code, or -1.
    int drain() {
        WindowMessage message;
        int quit = -1;
        while (peekMessage(message)) {
            if (message.event.type == EventType::Quit)
                quit = message.event.exitCode;
            else
                dispatchMessage(message);
        }
        return quit;
    }
    void pushMouse(uint32_t type, uint8_t button, int x, int y, uint8_t clicks = 1) {
        SDL_Event event{};
        event.type = type;
        event.button.windowID = window->id;
        event.button.button = button;
        event.button.clicks = clicks;
        event.button.x = x;
        event.button.y = y;
        SDL_PushEvent(&event);
    }
    PlatformWindow* window = nullptr;
};

TEST_F(Windows, MouseButtonsArriveWithWindowCoordinates) {
    received.clear();
    pushMouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 12, 34);
    pushMouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, -3, 5);
    pushMouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 1, 1); // not one the show knows
    drain();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].type, EventType::ButtonDown);
    EXPECT_EQ(received[0].button, 2);
    EXPECT_EQ(received[0].x, 12);
    EXPECT_EQ(received[0].y, 34);
    EXPECT_EQ(received[1].type, EventType::ButtonUp);
    EXPECT_EQ(received[1].button, 1);
    EXPECT_EQ(received[1].x, -3);
}

TEST_F(Windows, SecondClickOfADoubleClickIsReportedAsSuch) {
    received.clear();
    pushMouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 5, 5, 1);
    pushMouse(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 5, 5, 1);
    pushMouse(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 5, 5, 2);
    drain();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].type, EventType::ButtonDown);
    EXPECT_EQ(received[2].type, EventType::DoubleClick);
}

TEST_F(Windows, KeysAreNamedAndTheProcedureResultComesBack) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.windowID = window->id;
    event.key.keysym.sym = SDLK_ESCAPE;
    SDL_PushEvent(&event);
    WindowMessage message;
    ASSERT_TRUE(peekMessage(message));
    EXPECT_EQ(message.window, window);
    EXPECT_EQ(message.event.key, Key::Escape);
    EXPECT_EQ(dispatchMessage(message), 7);
}

TEST_F(Windows, CloseRequestIsASystemCommandThatDestroysByDefault) {
    received.clear();
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = window->id;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&event);
    drain();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].type, EventType::SystemCommand);
    EXPECT_EQ(received[0].command, SystemCommand::Close);
    EXPECT_EQ(received[1].type, EventType::Destroy);
    window = nullptr; // destroyed by the default handling
}

TEST_F(Windows, AltF4BecomesACloseRequest) {
    received.clear();
    WindowEvent key;
    key.type = EventType::KeyDown;
    key.key = Key::F4;
    key.alt = true;
    postMessage(window, key);
    drain();
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[1].type, EventType::SystemCommand);
    window = nullptr;
}

TEST_F(Windows, QuitComesFirstAndPaintLast) {
    received.clear();
    invalidateWindow(window);
    WindowEvent move;
    move.type = EventType::MouseMove;
    postMessage(window, move);
    postQuitMessage(3);
    WindowMessage message;
    ASSERT_TRUE(peekMessage(message));
    EXPECT_EQ(message.event.type, EventType::Quit);
    EXPECT_EQ(message.event.exitCode, 3);
    EXPECT_EQ(message.window, nullptr);
    ASSERT_TRUE(peekMessage(message));
    EXPECT_EQ(message.event.type, EventType::MouseMove);
    ASSERT_TRUE(peekMessage(message));
    EXPECT_EQ(message.event.type, EventType::Paint);
    EXPECT_FALSE(peekMessage(message));
}

TEST_F(Windows, DestroyingDropsTheWindowsQueuedMessages) {
    WindowEvent move;
    move.type = EventType::MouseMove;
    postMessage(window, move);
    destroyWindow(window);
    window = nullptr;
    received.clear();
    drain();
    EXPECT_TRUE(received.empty());
}

TEST_F(Windows, DisplayModeCallsOnADestroyedWindowDoNothing) {
    PlatformWindow* gone = window;
    EXPECT_TRUE(isWindow(gone));
    destroyWindow(gone);
    window = nullptr;
    EXPECT_FALSE(isWindow(gone));
    leaveFullscreenMode(gone); // the window took its mode with it
    EXPECT_FALSE(enterFullscreenMode(gone, 640, 480));
}

TEST_F(Windows, MovingAndTheCanvas) {
    moveWindow(window, 40, 50);
    int x = 0, y = 0;
    windowPosition(window, x, y);
    EXPECT_EQ(x, 40);
    EXPECT_EQ(y, 50);
    fillRect(windowCanvas(window), 0, 0, 64, 48, {1, 2, 3});
    presentCanvas(window);
    EXPECT_EQ(canvasPixel(window, 63, 47), (Color{1, 2, 3}));
    EXPECT_EQ(canvasPixel(window, 64, 0), (Color{0, 0, 0}));
}

TEST_F(Windows, GlWindowsGetAContext) {
    PlatformWindow* gl = createWindow("gl", 0, 0, 32, 32, true, true, nullptr, nullptr);
    ASSERT_NE(gl, nullptr);
    EXPECT_EQ(windowCanvas(gl).pixels, nullptr);
    GlContext context = createGlContext(gl);
    EXPECT_NE(context.native, nullptr);
    swapGlBuffers(gl);
    deleteGlContext(context);
    EXPECT_EQ(context.native, nullptr);
    destroyWindow(gl);
}

TEST_F(Windows, MessageBoxesOfHeadlessRunsGoToStandardError) {
    testing::internal::CaptureStderr();
    showMessageBox("Kestrune", "no device");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Kestrune: no device\n");
}

} // namespace
} // namespace kestrune
