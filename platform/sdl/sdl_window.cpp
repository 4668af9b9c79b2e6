// Windows, events, the message queue and showing canvases on SDL2.
#include <SDL.h>

#include <algorithm>
#include <csignal>

#include "platform/canvas.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "platform/window_record.h"

namespace kestrune {

namespace {

std::vector<PlatformWindow*> windows; // every live window, for redraw requests

PlatformWindow* windowFromId(uint32_t id) {
    for (PlatformWindow* window : windows)
        if (window->id == id) return window;
    return nullptr;
}

Key keyFromSdl(SDL_Keycode code) {
    switch (code) {
    case SDLK_ESCAPE:
        return Key::Escape;
    case SDLK_LEFT:
        return Key::Left;
    case SDLK_RIGHT:
        return Key::Right;
    case SDLK_UP:
        return Key::Up;
    case SDLK_DOWN:
        return Key::Down;
    case SDLK_SPACE:
        return Key::Space;
    case SDLK_RETURN:
        return Key::Enter;
    case SDLK_F4:
        return Key::F4;
    default:
        return Key::Other;
    }
}

int16_t clamp16(int value) {
    return static_cast<int16_t>(std::clamp(value, -32768, 32767));
}

// Where the pointer is on the screen. The window-relative position plus the window's position goes
// wrong once the window follows the pointer: SDL drops a motion whose relative position did not
// change, and a queued motion was measured against where the window used to be.
void pointerOnScreen(const PlatformWindow* window, int x, int y, WindowEvent& event) {
    static const bool global = SDL_strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0;
    if (global) {
        SDL_GetGlobalMouseState(&event.screenX, &event.screenY);
        return;
    }
    SDL_GetWindowPosition(static_cast<SDL_Window*>(window->native), &event.screenX, &event.screenY);
    event.screenX += x;
    event.screenY += y;
}

uint8_t buttonFromSdl(uint8_t button) {
    if (button == SDL_BUTTON_LEFT) return 1;
    if (button == SDL_BUTTON_RIGHT) return 2;
    return 0;
}

// Turns one SDL event into a message; false for events the show has no use for.
bool translate(const SDL_Event& sdl, WindowMessage& message) {
    message = WindowMessage{};
    WindowEvent& event = message.event;
    switch (sdl.type) {
    case SDL_QUIT: // a termination signal: the session asks the program to end
        message.window = nullptr;
        event.type = EventType::Quit;
        return true;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        message.window = windowFromId(sdl.key.windowID);
        event.type = sdl.type == SDL_KEYDOWN ? EventType::KeyDown : EventType::KeyUp;
        event.key = keyFromSdl(sdl.key.keysym.sym);
        event.alt = (sdl.key.keysym.mod & KMOD_ALT) != 0;
        return message.window != nullptr;
    case SDL_MOUSEMOTION:
        message.window = windowFromId(sdl.motion.windowID);
        event.type = EventType::MouseMove;
        event.x = clamp16(sdl.motion.x);
        event.y = clamp16(sdl.motion.y);
        if (!message.window) return false;
        pointerOnScreen(message.window, sdl.motion.x, sdl.motion.y, event);
        return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        message.window = windowFromId(sdl.button.windowID);
        event.button = buttonFromSdl(sdl.button.button);
        if (sdl.type == SDL_MOUSEBUTTONUP)
            event.type = EventType::ButtonUp;
        else // every second press of a run of clicks is the double click
            event.type =
                sdl.button.clicks % 2 == 0 ? EventType::DoubleClick : EventType::ButtonDown;
        event.x = clamp16(sdl.button.x);
        event.y = clamp16(sdl.button.y);
        if (!message.window || event.button == 0) return false;
        pointerOnScreen(message.window, sdl.button.x, sdl.button.y, event);
        return true;
    case SDL_WINDOWEVENT:
        message.window = windowFromId(sdl.window.windowID);
        if (!message.window) return false;
        if (sdl.window.event == SDL_WINDOWEVENT_EXPOSED) {
            message.window->needsPaint = true;
            return false; // delivered once the queue is empty, as one Paint
        }
        if (sdl.window.event == SDL_WINDOWEVENT_CLOSE) {
            event.type = EventType::SystemCommand;
            event.command = SystemCommand::Close;
            return true;
        }
        return false;
    default:
        return false;
    }
}

// SDL turns SIGINT and SIGTERM into its quit event without saying which came; its handlers are
// wrapped to note the signal first.
using SignalHandler = void (*)(int);
volatile std::sig_atomic_t quitSignalNumber = 0;
SignalHandler sdlInterruptHandler = nullptr;
SignalHandler sdlTerminateHandler = nullptr;

void noteQuitSignal(int signal) {
    quitSignalNumber = signal;
    SignalHandler sdl = signal == SIGINT ? sdlInterruptHandler : sdlTerminateHandler;
    if (sdl) sdl(signal);
}

void wrapQuitHandler(int signal, SignalHandler& sdl) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) ||
        current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN ||
        current.sa_handler == noteQuitSignal)
        return; // not SDL's: the signal keeps its own effect
    sdl = current.sa_handler;
    current.sa_handler = noteQuitSignal;
    sigaction(signal, &current, nullptr);
}

bool startVideo() {
    // Closing the last window is the program's business, not a quit.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // Canvases are shown through the window system's own framebuffer: an accelerated one would
    // put a GL context of SDL's on the window and take the output window's context away when
    // the options window closes.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
}

// SDL falls back to its offscreen driver when no display answers; chosen by name it is wanted.
bool videoOnADisplay() {
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (asked && *asked) return true;
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && SDL_strcmp(driver, "offscreen") != 0 && SDL_strcmp(driver, "dummy") != 0;
}

bool environmentNames(const char* variable) {
    const char* value = SDL_getenv(variable);
    return value && *value;
}

} // namespace

bool initWindowSystem() {
    if (!SDL_WasInit(SDL_INIT_VIDEO) && !startVideo()) return false;
    wrapQuitHandler(SIGINT, sdlInterruptHandler); // once: a wrapped handler is left as it is
    wrapQuitHandler(SIGTERM, sdlTerminateHandler);
    return true;
}

bool hasVisibleDisplay() {
    // A display named in the environment that does not take the connection at once (a server
    // still starting, or too busy to answer) is asked again for half a second before the show
    // says there is none.
    const bool named = environmentNames("DISPLAY") || environmentNames("WAYLAND_DISPLAY");
    // With an X display named and no Wayland one, X is the window system: it is asked again on
    // its own, rather than SDL trying its other drivers after it, which print their failures.
    if (environmentNames("DISPLAY") && !environmentNames("WAYLAND_DISPLAY"))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    for (int attempt = 1; named && !SDL_WasInit(SDL_INIT_VIDEO) && attempt <= 5; ++attempt) {
        if (startVideo()) {
            if (videoOnADisplay()) break;
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
        }
        SDL_Delay(100);
    }
    return initWindowSystem() && videoOnADisplay();
}

PlatformWindow* createWindow(const char* title, int x, int y, int width, int height, bool caption,
                             bool openGL, WindowProcedure procedure, void* userData) {
    if (!initWindowSystem() || width <= 0 || height <= 0) return nullptr;
    uint32_t flags = SDL_WINDOW_SHOWN;
    if (!caption) flags |= SDL_WINDOW_BORDERLESS;
    if (openGL) {
        // The GL driver stays loaded for the rest of the run once a GL window has existed:
        // unloading it with the last GL window would orphan the driver's own allocations.
        static const bool glLoaded = SDL_GL_LoadLibrary(nullptr) == 0;
        (void)glLoaded;
        // 16-bit colour and depth, double-buffered: the least the show asks for.
        SDL_GL_ResetAttributes();
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 5);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 6);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 5);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        flags |= SDL_WINDOW_OPENGL;
    }
    SDL_Window* native = SDL_CreateWindow(title, x, y, width, height, flags);
    if (!native) return nullptr;
    PlatformWindow* window = newWindowRecord(width, height, openGL, procedure, userData);
    window->native = native;
    window->id = SDL_GetWindowID(native);
    windows.push_back(window);
    return window;
}

void destroyWindow(PlatformWindow* window) {
    if (!window) return;
    auto it = std::find(windows.begin(), windows.end(), window);
    if (it == windows.end()) return; // already gone
    WindowEvent destroy;
    destroy.type = EventType::Destroy;
    if (window->procedure) window->procedure(window, destroy);
    windows.erase(std::find(windows.begin(), windows.end(), window));
    dropPostedMessages(window);
    // Destroying a window may leave no GL context current; another window's context stays on.
    SDL_Window* glWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext glContext = SDL_GL_GetCurrentContext();
    SDL_DestroyWindow(static_cast<SDL_Window*>(window->native));
    if (glContext && glWindow != window->native) SDL_GL_MakeCurrent(glWindow, glContext);
    delete window;
}

bool isWindow(const PlatformWindow* window) {
    return window && std::find(windows.begin(), windows.end(), window) != windows.end();
}

void moveWindow(PlatformWindow* window, int x, int y) {
    SDL_SetWindowPosition(static_cast<SDL_Window*>(window->native), x, y);
}

void windowPosition(const PlatformWindow* window, int& x, int& y) {
    SDL_GetWindowPosition(static_cast<SDL_Window*>(window->native), &x, &y);
}

void minimiseWindow(PlatformWindow* window) {
    SDL_MinimizeWindow(static_cast<SDL_Window*>(window->native));
}

void focusWindow(PlatformWindow* window) {
    auto* native = static_cast<SDL_Window*>(window->native);
    SDL_RaiseWindow(native);
    // Raising asks a window manager for the focus; with none running, only this gives it.
    SDL_SetWindowInputFocus(native);
}

void captureMouse(PlatformWindow*, bool on) {
    // Not every video driver can capture; events inside the window still arrive then.
    SDL_CaptureMouse(on ? SDL_TRUE : SDL_FALSE);
}

void screenSize(int& width, int& height) {
    SDL_DisplayMode mode{};
    if (initWindowSystem() && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        width = mode.w;
        height = mode.h;
    } else {
        width = 640;
        height = 480;
    }
}

bool peekMessage(WindowMessage& message) {
    if (takePostedMessage(message)) return true;
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        SDL_Event sdl;
        while (SDL_PollEvent(&sdl))
            if (translate(sdl, message)) return true;
    }
    return takePaintMessage(windows, message);
}

void waitMessage(WindowMessage& message) {
    for (;;) {
        if (peekMessage(message)) return;
        SDL_Event sdl;
        if (!initWindowSystem()) { // nothing can ever arrive: behave as a quit
            message = WindowMessage{};
            message.event.type = EventType::Quit;
            return;
        }
        if (SDL_WaitEvent(&sdl) && translate(sdl, message)) return;
    }
}

void presentCanvas(PlatformWindow* window) {
    if (!window || window->canvas.empty()) return;
    auto* native = static_cast<SDL_Window*>(window->native);
    SDL_Surface* surface = SDL_GetWindowSurface(native);
    if (!surface) return;
    // The window may have come out smaller or larger than asked; copy what both have.
    int w = std::min(surface->w, window->width);
    int h = std::min(surface->h, window->height);
    if (SDL_LockSurface(surface) != 0) return;
    SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_RGB888, window->canvas.data(), window->width * 4,
                      surface->format->format, surface->pixels, surface->pitch);
    SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurface(native);
}

long dispatchMessage(const WindowMessage& message) {
    PlatformWindow* window = message.window;
    if (!isWindow(window)) return 0;
    return callWindowProcedure(window, message.event);
}

void postQuitMessage(int exitCode) {
    queueQuitMessage(exitCode);
}

int quitSignal() {
    return quitSignalNumber;
}

long defaultWindowProcedure(PlatformWindow* window, const WindowEvent& event) {
    return closeOnRequest(window, event);
}

} // namespace kestrune
