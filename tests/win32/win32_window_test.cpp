// Windows and the message loop over real Win32 messages: input reaches the procedure as events,
// default handling goes back to the system (Alt+F4 becomes a close request), and the program's
// own posts, paints and quit arrive in order.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "platform/win32/win32_window.h"
#include "platform/window.h"

namespace kestrune {
namespace {

struct Log {
    std::vector<WindowEvent> events;
    bool swallowSystemCommands = false;
};

long logging(PlatformWindow* window, const WindowEvent& event) {
    auto* log = static_cast<Log*>(window->userData);
    log->events.push_back(event);
    if (event.type == EventType::SystemCommand && log->swallowSystemCommands) return 0;
    return defaultWindowProcedure(window, event);
}

// Dispatches everything queued now; returns the quit message's exit code, or -1 without one.
int drain() {
    WindowMessage message;
    int quit = -1;
    while (peekMessage(message)) {
        if (message.event.type == EventType::Quit) quit = message.event.exitCode;
        dispatchMessage(message);
    }
    return quit;
}

HWND handle(PlatformWindow* window) {
    return win32Window(window)->hwnd;
}

TEST(Win32Window, InputBecomesEventsWithSigned16BitPositions) {
    Log log;
    PlatformWindow* window = createWindow("input", 0, 0, 100, 80, false, false, logging, &log);
    ASSERT_NE(window, nullptr);
    drain();
    log.events.clear();
    PostMessageA(handle(window), WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageA(handle(window), WM_RBUTTONDOWN, 0, MAKELPARAM(static_cast<WORD>(-3), 7));
    PostMessageA(handle(window), WM_LBUTTONDBLCLK, 0, MAKELPARAM(4, 5));
    PostMessageA(handle(window), WM_MOUSEMOVE, 0, MAKELPARAM(65535, 2));
    drain();
    ASSERT_GE(log.events.size(), 4u);
    EXPECT_EQ(log.events[0].type, EventType::KeyDown);
    EXPECT_EQ(log.events[0].key, Key::Escape);
    EXPECT_FALSE(log.events[0].alt);
    EXPECT_EQ(log.events[1].type, EventType::ButtonDown);
    EXPECT_EQ(log.events[1].button, 2);
    EXPECT_EQ(log.events[1].x, -3);
    EXPECT_EQ(log.events[1].y, 7);
    EXPECT_EQ(log.events[2].type, EventType::DoubleClick);
    EXPECT_EQ(log.events[2].button, 1);
    EXPECT_EQ(log.events[3].type, EventType::MouseMove);
    EXPECT_EQ(log.events[3].x, -1);
    destroyWindow(window);
}

TEST(Win32Window, AltF4IsACloseRequestTheProcedureMaySwallow) {
    Log log;
    log.swallowSystemCommands = true;
    PlatformWindow* window = createWindow("alt-f4", 0, 0, 100, 80, true, false, logging, &log);
    ASSERT_NE(window, nullptr);
    drain();
    log.events.clear();
    PostMessageA(handle(window), WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29));
    drain();
    ASSERT_GE(log.events.size(), 2u);
    EXPECT_EQ(log.events[0].type, EventType::KeyDown);
    EXPECT_TRUE(log.events[0].alt);
    EXPECT_EQ(log.events[0].key, Key::F4);
    EXPECT_EQ(log.events[1].type, EventType::SystemCommand);
    EXPECT_EQ(log.events[1].command, SystemCommand::Close);
    EXPECT_TRUE(IsWindow(handle(window))); // swallowed: the window stays

    // Left to default handling, the request destroys the window, which hears Destroy.
    log.swallowSystemCommands = false;
    log.events.clear();
    HWND hwnd = handle(window);
    PostMessageA(hwnd, WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29));
    drain();
    ASSERT_FALSE(log.events.empty());
    EXPECT_EQ(log.events.back().type, EventType::Destroy);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST(Win32Window, PostsComeFirstThenPaintsAndTheQuitCarriesItsCode) {
    Log log;
    PlatformWindow* window = createWindow("posts", 0, 0, 50, 50, false, false, logging, &log);
    ASSERT_NE(window, nullptr);
    drain();
    log.events.clear();
    WindowEvent key;
    key.type = EventType::KeyDown;
    key.key = Key::Left;
    invalidateWindow(window);
    postMessage(window, key);
    postQuitMessage(3);
    WindowMessage message;
    ASSERT_TRUE(peekMessage(message));
    EXPECT_EQ(message.window, window);
    EXPECT_EQ(message.event.key, Key::Left);
    dispatchMessage(message);
    ASSERT_TRUE(peekMessage(message));
    EXPECT_EQ(message.event.type, EventType::Quit);
    EXPECT_EQ(message.event.exitCode, 3);
    EXPECT_EQ(message.window, nullptr);
    EXPECT_EQ(dispatchMessage(message), 0);
    ASSERT_TRUE(peekMessage(message));
    EXPECT_EQ(message.event.type, EventType::Paint);
    dispatchMessage(message);
    EXPECT_FALSE(peekMessage(message));

    // Destroying drops the window's posted messages and tells the procedure.
    postMessage(window, key);
    destroyWindow(window);
    EXPECT_EQ(log.events.back().type, EventType::Destroy);
    EXPECT_FALSE(peekMessage(message));
}

TEST(Win32Window, MovesKeepTheClientSizeAndCaptionWindowsFitIt) {
    PlatformWindow* window = createWindow("move", 20, 30, 120, 90, true, false, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    RECT client{};
    GetClientRect(handle(window), &client);
    EXPECT_EQ(client.right, 120);
    EXPECT_EQ(client.bottom, 90);
    moveWindow(window, 40, 50);
    int x = 0, y = 0;
    windowPosition(window, x, y);
    EXPECT_EQ(x, 40);
    EXPECT_EQ(y, 50);
    char name[32] = {};
    GetClassNameA(handle(window), name, sizeof name);
    EXPECT_STREQ(name, "BWIN");
    int width = 0, height = 0;
    screenSize(width, height);
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    drain();
    destroyWindow(window);
}

} // namespace
} // namespace kestrune
