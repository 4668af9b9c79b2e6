// The posted messages, the quit message and Paint requests, the same on every window system.
#include "platform/message_queue.h"

#include <deque>

namespace kestrune {

namespace {

std::deque<WindowMessage> posted; // postMessage's queue, served before the window system's
bool quitQueued = false;
int quitExitCode = 0;

} // namespace

bool takePostedMessage(WindowMessage& message) {
    if (quitQueued) {
        quitQueued = false;
        message = WindowMessage{};
        message.event.type = EventType::Quit;
        message.event.exitCode = quitExitCode;
        return true;
    }
    if (posted.empty()) return false;
    message = posted.front();
    posted.pop_front();
    return true;
}

void dropPostedMessages(const PlatformWindow* window) {
    std::erase_if(posted, [&](const WindowMessage& m) { return m.window == window; });
}

void queueQuitMessage(int exitCode) {
    quitQueued = true;
    quitExitCode = exitCode;
}

bool takePaintMessage(std::span<PlatformWindow* const> windows, WindowMessage& message) {
    for (PlatformWindow* window : windows) {
        if (!window->needsPaint) continue;
        window->needsPaint = false;
        message = WindowMessage{};
        message.window = window;
        message.event.type = EventType::Paint;
        return true;
    }
    return false;
}

long callWindowProcedure(PlatformWindow* window, const WindowEvent& event) {
    return window->procedure ? window->procedure(window, event)
                             : defaultWindowProcedure(window, event);
}

long closeOnRequest(PlatformWindow* window, const WindowEvent& event) {
    if (event.type == EventType::KeyDown && event.key == Key::F4 && event.alt &&
        window->procedure) {
        WindowEvent close;
        close.type = EventType::SystemCommand;
        close.command = SystemCommand::Close;
        return window->procedure(window, close);
    }
    if (event.type == EventType::SystemCommand && event.command == SystemCommand::Close)
        destroyWindow(window);
    return 0;
}

void postMessage(PlatformWindow* window, const WindowEvent& event) {
    if (event.type == EventType::Quit) {
        postQuitMessage(event.exitCode);
        return;
    }
    posted.push_back({window, event});
}

void invalidateWindow(PlatformWindow* window) {
    if (window) window->needsPaint = true;
}

} // namespace kestrune
