// Windows, events and the message queue in a web page: each window is a canvas in the page's
// #screen, and mouse and keyboard events come through the HTML5 event API.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "platform/message_queue.h"
#include "platform/web/web_page.h"
#include "platform/window.h"
#include "platform/window_record.h"

namespace kestrune {

namespace {

struct WebWindow {
    PlatformWindow* window;
    int x, y; // position on the screen, pixels
};

std::deque<WindowMessage> queue; // the page's events, in arrival order, after posted messages
std::vector<WebWindow> windows; // every live window, bottom to top
uint32_t nextId = 1;
PlatformWindow* focused = nullptr;
PlatformWindow* capturing = nullptr;
int dispatchDepth = 0; // events being handled: no frame ends inside them

// A second press within this time and distance of the first, in the same window, is a double
// click, as the classic window system counts them.
constexpr double kDoubleClickMs = 500;
constexpr int kDoubleClickSlop = 4;
struct LastPress {
    PlatformWindow* window = nullptr;
    double time = -1e9;
    int x = 0, y = 0;
    bool wasDouble = false;
} lastPress;

WebWindow* find(const PlatformWindow* window) {
    for (WebWindow& w : windows)
        if (w.window == window) return &w;
    return nullptr;
}

PlatformWindow* windowFromId(uint32_t id) {
    for (WebWindow& w : windows)
        if (w.window->id == id) return w.window;
    return nullptr;
}

int16_t clamp16(int value) {
    return static_cast<int16_t>(std::clamp(value, -32768, 32767));
}

Key keyFromName(const char* name) {
    struct Name {
        const char* name;
        Key key;
    };
    static constexpr Name kNames[] = {{"Escape", Key::Escape},    {"ArrowLeft", Key::Left},
                                      {"ArrowRight", Key::Right}, {"ArrowUp", Key::Up},
                                      {"ArrowDown", Key::Down},   {" ", Key::Space},
                                      {"Enter", Key::Enter},      {"F4", Key::F4}};
    for (const Name& n : kNames)
        if (std::strcmp(name, n.name) == 0) return n.key;
    return Key::Other;
}

EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* key, void*) {
    if (!focused || key->repeat) return EM_FALSE;
    WindowMessage message;
    message.window = focused;
    message.event.type = type == EMSCRIPTEN_EVENT_KEYDOWN ? EventType::KeyDown : EventType::KeyUp;
    message.event.key = keyFromName(key->key);
    message.event.alt = key->altKey;
    queue.push_back(message);
    // The page must not scroll on the arrows and space that the show's windows take.
    return message.event.key != Key::Other;
}

EM_BOOL onMouse(int type, const EmscriptenMouseEvent* mouse, void*) {
    int point[2] = {0, 0};
    uint32_t id = kestrune_web_window_at(mouse->clientX, mouse->clientY,
                                         capturing ? capturing->id : 0, point);
    PlatformWindow* window = windowFromId(id);
    if (!window) return EM_FALSE;
    WindowMessage message;
    message.window = window;
    WindowEvent& event = message.event;
    event.x = clamp16(point[0]);
    event.y = clamp16(point[1]);
    const WebWindow* placed = find(window);
    event.screenX = placed->x + point[0];
    event.screenY = placed->y + point[1];
    event.button = mouse->button == 0 ? 1 : mouse->button == 2 ? 2 : 0;
    if (type == EMSCRIPTEN_EVENT_MOUSEMOVE) {
        event.type = EventType::MouseMove;
        event.button = 0;
    } else if (type == EMSCRIPTEN_EVENT_MOUSEUP) {
        event.type = EventType::ButtonUp;
        if (event.button == 0) return EM_FALSE;
    } else {
        if (event.button == 0) return EM_FALSE;
        focused = window;
        double now = emscripten_get_now();
        bool isDouble = !lastPress.wasDouble && lastPress.window == window &&
                        now - lastPress.time < kDoubleClickMs &&
                        std::abs(event.x - lastPress.x) <= kDoubleClickSlop &&
                        std::abs(event.y - lastPress.y) <= kDoubleClickSlop;
        lastPress = {window, now, event.x, event.y, isDouble};
        event.type = isDouble ? EventType::DoubleClick : EventType::ButtonDown;
    }
    queue.push_back(message);
    return EM_TRUE;
}

bool takeQueued(WindowMessage& message) {
    if (takePostedMessage(message)) return true;
    if (queue.empty()) return false;
    message = queue.front();
    queue.pop_front();
    return true;
}

bool takePaint(WindowMessage& message) {
    for (WebWindow& w : windows) {
        if (!w.window->needsPaint) continue;
        w.window->needsPaint = false;
        message = WindowMessage{};
        message.window = w.window;
        message.event.type = EventType::Paint;
        return true;
    }
    return false;
}

} // namespace

void endPageFrame() {
    if (dispatchDepth == 0) kestrune_web_next_frame();
}

bool initWindowSystem() {
    static const bool ready = [] {
        const char* page = EMSCRIPTEN_EVENT_TARGET_DOCUMENT;
        emscripten_set_keydown_callback(page, nullptr, EM_FALSE, onKey);
        emscripten_set_keyup_callback(page, nullptr, EM_FALSE, onKey);
        emscripten_set_mousedown_callback(page, nullptr, EM_FALSE, onMouse);
        emscripten_set_mouseup_callback(page, nullptr, EM_FALSE, onMouse);
        emscripten_set_mousemove_callback(page, nullptr, EM_FALSE, onMouse);
        return true;
    }();
    return ready;
}

// The page is always seen: its windows are canvases in it.
bool hasVisibleDisplay() {
    return initWindowSystem();
}

// A page gets no termination signals.
int quitSignal() {
    return 0;
}

PlatformWindow* createWindow(const char* title, int x, int y, int width, int height, bool,
                             bool openGL, WindowProcedure procedure, void* userData) {
    if (!initWindowSystem() || width <= 0 || height <= 0) return nullptr;
    PlatformWindow* window = newWindowRecord(width, height, openGL, procedure, userData);
    window->id = nextId++;
    kestrune_web_create_canvas(window->id, title, x, y, width, height, openGL);
    windows.push_back({window, x, y});
    return window;
}

void destroyWindow(PlatformWindow* window) {
    if (!find(window)) return; // already gone
    WindowEvent destroy;
    destroy.type = EventType::Destroy;
    if (window->procedure) window->procedure(window, destroy);
    std::erase_if(windows, [&](const WebWindow& w) { return w.window == window; });
    dropPostedMessages(window);
    std::erase_if(queue, [&](const WindowMessage& m) { return m.window == window; });
    // As a window system does, the focus passes to the topmost window left.
    if (focused == window) focused = windows.empty() ? nullptr : windows.back().window;
    if (capturing == window) capturing = nullptr;
    if (lastPress.window == window) lastPress = LastPress{};
    kestrune_web_destroy_canvas(window->id);
    delete window;
}

bool isWindow(const PlatformWindow* window) {
    return window && find(window);
}

void moveWindow(PlatformWindow* window, int x, int y) {
    WebWindow* w = find(window);
    if (!w) return;
    w->x = x;
    w->y = y;
    kestrune_web_move_canvas(window->id, x, y);
}

void windowPosition(const PlatformWindow* window, int& x, int& y) {
    const WebWindow* w = find(window);
    x = w ? w->x : 0;
    y = w ? w->y : 0;
}

void minimiseWindow(PlatformWindow* window) {
    if (find(window)) kestrune_web_minimise_canvas(window->id);
}

void focusWindow(PlatformWindow* window) {
    if (!find(window)) return;
    focused = window;
    kestrune_web_raise_canvas(window->id);
}

void captureMouse(PlatformWindow* window, bool on) {
    capturing = on && find(window) ? window : nullptr;
}

void screenSize(int& width, int& height) {
    int size[2] = {640, 480};
    kestrune_web_screen_size(size);
    width = size[0];
    height = size[1];
}

bool peekMessage(WindowMessage& message) {
    return takeQueued(message) || takePaint(message);
}

// The page's events arrive while the program sleeps here; sleeping a few milliseconds at a time
// keeps the processor free while the viewer chooses.
void waitMessage(WindowMessage& message) {
    while (!peekMessage(message)) emscripten_sleep(10);
}

long dispatchMessage(const WindowMessage& message) {
    PlatformWindow* window = message.window;
    if (!isWindow(window)) return 0;
    ++dispatchDepth;
    const long result = callWindowProcedure(window, message.event);
    --dispatchDepth;
    return result;
}

void postQuitMessage(int exitCode) {
    queueQuitMessage(exitCode);
}

long defaultWindowProcedure(PlatformWindow* window, const WindowEvent& event) {
    return closeOnRequest(window, event);
}

} // namespace kestrune
