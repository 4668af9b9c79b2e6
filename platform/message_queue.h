// What every window system shares of the message queue: the messages the program posts itself,
// served before the system's own events, Paint requests, handing an event to its procedure and
// the default answer to a close.
#pragma once

#include <span>

#include "platform/window.h"

namespace kestrune {

// Takes the quit message queued by queueQuitMessage, else the oldest posted message; false when
// neither is waiting.
bool takePostedMessage(WindowMessage& message);
// Drops the posted messages for a window that is going away.
void dropPostedMessages(const PlatformWindow* window);
// Queues the quit message, taken ahead of every posted message; for window systems without a quit
// message of their own.
void queueQuitMessage(int exitCode);

// A Paint message for the first of windows with a redraw request, which it clears; false when
// none has one.
bool takePaintMessage(std::span<PlatformWindow* const> windows, WindowMessage& message);

// Hands the event to the window's procedure, or to defaultWindowProcedure when it has none.
long callWindowProcedure(PlatformWindow* window, const WindowEvent& event);

// The default handling every window system gives: Alt+F4 becomes a close request to the window's
// procedure, a close request destroys the window, everything else is ignored.
long closeOnRequest(PlatformWindow* window, const WindowEvent& event);

} // namespace kestrune
