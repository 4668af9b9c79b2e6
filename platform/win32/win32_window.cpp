// Windows, events and the message loop on Win32: the window procedure turns the system's
// messages into the layer's events, and default handling goes back to DefWindowProc.
#include <windows.h>

#include <algorithm>

#include "platform/message_queue.h"
#include "platform/win32/win32_window.h"
#include "platform/window_record.h"

namespace kestrune {

namespace {

// Canvas windows (the options window) and GL windows (the output window) have classes of their
// own: no background for the first, whose canvas covers it; an own DC and black for the second.
constexpr const char* kCanvasClass = "BWIN";
constexpr const char* kGlClass = "qz_fonster";

struct NativeMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

std::vector<PlatformWindow*> windows;
bool classesRegistered = false;

// The native message behind the last message peekMessage translated, until it is dispatched.
NativeMessage peekedNative;
WindowMessage peekedMessage;
bool peekedValid = false;
// The native message whose event a procedure is handling: what default handling falls back to.
const NativeMessage* handling = nullptr;

HINSTANCE moduleInstance() {
    return GetModuleHandleA(nullptr);
}

PlatformWindow* windowFromHandle(HWND hwnd) {
    for (PlatformWindow* window : windows)
        if (win32Window(window)->hwnd == hwnd) return window;
    return nullptr;
}

bool isLive(const PlatformWindow* window) {
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

Key keyFromVirtualKey(WPARAM key) {
    switch (key) {
    case VK_ESCAPE:
        return Key::Escape;
    case VK_LEFT:
        return Key::Left;
    case VK_RIGHT:
        return Key::Right;
    case VK_UP:
        return Key::Up;
    case VK_DOWN:
        return Key::Down;
    case VK_SPACE:
        return Key::Space;
    case VK_RETURN:
        return Key::Enter;
    case VK_F4:
        return Key::F4;
    default:
        return Key::Other;
    }
}

// Queued input the show handles itself; false for everything the system handles alone.
bool translate(const MSG& msg, WindowEvent& event) {
    event = WindowEvent{};
    // Mouse positions are signed 16-bit client coordinates.
    event.x = static_cast<int16_t>(LOWORD(msg.lParam));
    event.y = static_cast<int16_t>(HIWORD(msg.lParam));
    event.screenX = msg.pt.x;
    event.screenY = msg.pt.y;
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
        event.type = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN ? EventType::KeyDown
                                                                               : EventType::KeyUp;
        event.key = keyFromVirtualKey(msg.wParam);
        event.alt = (msg.lParam & (1 << 29)) != 0; // the context code: Alt is held
        event.x = event.y = 0;
        return true;
    case WM_MOUSEMOVE:
        event.type = EventType::MouseMove;
        return true;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        event.type = EventType::ButtonDown;
        event.button = msg.message == WM_LBUTTONDOWN ? 1 : 2;
        return true;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        event.type = EventType::ButtonUp;
        event.button = msg.message == WM_LBUTTONUP ? 1 : 2;
        return true;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
        event.type = EventType::DoubleClick;
        event.button = msg.message == WM_LBUTTONDBLCLK ? 1 : 2;
        return true;
    default:
        return false;
    }
}

long callProcedure(PlatformWindow* window, const WindowEvent& event, const NativeMessage& native) {
    const NativeMessage* outer = handling;
    handling = &native;
    const long result = callWindowProcedure(window, event);
    handling = outer;
    return result;
}

LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    PlatformWindow* window = windowFromHandle(hwnd);
    if (!window) return DefWindowProcA(hwnd, message, wParam, lParam);
    Win32Window* native = win32Window(window);
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        if (native->memoryDc) // what was drawn so far, until the owner redraws
            showCanvas(window, dc);
        EndPaint(hwnd, &paint);
        window->needsPaint = true; // delivered as one Paint once the queue is empty
        return 0;
    }
    case WM_ERASEBKGND:
        return native->memoryDc ? 1 : DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_SYSCOMMAND: {
        WindowEvent event;
        event.type = EventType::SystemCommand;
        const WPARAM command = wParam & 0xFFF0;
        event.command = command == SC_CLOSE      ? SystemCommand::Close
                        : command == SC_MINIMIZE ? SystemCommand::Minimise
                                                 : SystemCommand::Other;
        return callProcedure(window, event, {hwnd, message, wParam, lParam});
    }
    case WM_CLOSE:
        destroyWindow(window);
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

bool registerClasses() {
    if (classesRegistered) return true;
    WNDCLASSA canvasClass{};
    canvasClass.style = CS_DBLCLKS;
    canvasClass.lpfnWndProc = windowProcedure;
    canvasClass.hInstance = moduleInstance();
    canvasClass.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    canvasClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    canvasClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    canvasClass.lpszClassName = kCanvasClass;
    WNDCLASSA glClass = canvasClass;
    glClass.style = CS_OWNDC | CS_DBLCLKS;
    glClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    glClass.lpszClassName = kGlClass;
    classesRegistered = RegisterClassA(&canvasClass) != 0 && RegisterClassA(&glClass) != 0;
    return classesRegistered;
}

// The canvas as a top-down 32-bit DIB section, so GDI and direct pixel access share one buffer.
bool createCanvas(Win32Window& native, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    native.bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!native.bitmap) return false;
    native.memoryDc = CreateCompatibleDC(nullptr);
    if (!native.memoryDc) return false;
    native.oldBitmap = SelectObject(native.memoryDc, native.bitmap);
    native.bits = static_cast<uint32_t*>(bits);
    return true;
}

void releaseNative(Win32Window* native) {
    if (native->memoryDc) {
        SelectObject(native->memoryDc, native->oldBitmap);
        DeleteDC(native->memoryDc);
    }
    if (native->bitmap) DeleteObject(native->bitmap);
    if (native->dc && native->hwnd) ReleaseDC(native->hwnd, native->dc);
    delete native;
}

} // namespace

Win32Window* windowWithCanvas(const uint32_t* pixels) {
    if (!pixels) return nullptr;
    for (PlatformWindow* window : windows)
        if (!window->canvas.empty() && window->canvas.data() == pixels) return win32Window(window);
    return nullptr;
}

void showCanvas(const PlatformWindow* window, HDC dc) {
    if (window->canvas.empty()) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = window->width;
    info.bmiHeader.biHeight = -window->height; // top-down, as the canvas's rows are
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(
        dc, 0, 0, static_cast<DWORD>(window->width), static_cast<DWORD>(window->height), 0, 0, 0,
        static_cast<UINT>(window->height), window->canvas.data(), &info, DIB_RGB_COLORS);
}

bool initWindowSystem() {
    return registerClasses();
}

bool hasVisibleDisplay() {
    return initWindowSystem(); // a Windows session always has its desktop
}

PlatformWindow* createWindow(const char* title, int x, int y, int width, int height, bool caption,
                             bool openGL, WindowProcedure procedure, void* userData) {
    if (!initWindowSystem() || width <= 0 || height <= 0) return nullptr;
    DWORD style = WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    if (caption) style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT outer{x, y, x + width, y + height};
    if (caption) AdjustWindowRectEx(&outer, style, FALSE, 0);

    auto* native = new Win32Window;
    PlatformWindow* window = newWindowRecord(width, height, openGL, procedure, userData);
    window->native = native;
    native->window = window;
    if (!openGL && !createCanvas(*native, width, height)) {
        releaseNative(native);
        delete window;
        return nullptr;
    }
    native->hwnd = CreateWindowExA(0, openGL ? kGlClass : kCanvasClass, title, style, x, y,
                                   outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                   nullptr, moduleInstance(), nullptr);
    if (!native->hwnd) {
        releaseNative(native);
        delete window;
        return nullptr;
    }
    window->id = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(native->hwnd));
    if (openGL) native->dc = GetDC(native->hwnd);
    windows.push_back(window);
    ShowWindow(native->hwnd, SW_SHOWNORMAL);
    return window;
}

void destroyWindow(PlatformWindow* window) {
    if (!window || !isLive(window)) return; // already gone
    WindowEvent destroy;
    destroy.type = EventType::Destroy;
    if (window->procedure) window->procedure(window, destroy);
    if (!isLive(window)) return; // the procedure destroyed it itself
    std::erase(windows, window);
    dropPostedMessages(window);
    if (peekedValid && peekedMessage.window == window) peekedValid = false;
    Win32Window* native = win32Window(window);
    HWND hwnd = native->hwnd;
    if (native->dc) ReleaseDC(hwnd, native->dc);
    native->dc = nullptr;
    DestroyWindow(hwnd);
    native->hwnd = nullptr;
    releaseNative(native);
    delete window;
}

void moveWindow(PlatformWindow* window, int x, int y) {
    SetWindowPos(win32Window(window)->hwnd, nullptr, x, y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void windowPosition(const PlatformWindow* window, int& x, int& y) {
    RECT rect{};
    GetWindowRect(win32Window(window)->hwnd, &rect);
    x = rect.left;
    y = rect.top;
}

void minimiseWindow(PlatformWindow* window) {
    ShowWindow(win32Window(window)->hwnd, SW_MINIMIZE);
}

void focusWindow(PlatformWindow* window) {
    SetForegroundWindow(win32Window(window)->hwnd);
    SetFocus(win32Window(window)->hwnd);
}

void captureMouse(PlatformWindow* window, bool on) {
    if (on)
        SetCapture(win32Window(window)->hwnd);
    else
        ReleaseCapture();
}

void screenSize(int& width, int& height) {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
}

bool peekMessage(WindowMessage& message) {
    peekedValid = false;
    if (takePostedMessage(message)) return true;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            message = WindowMessage{};
            message.event.type = EventType::Quit;
            message.event.exitCode = static_cast<int>(msg.wParam);
            return true;
        }
        PlatformWindow* window = windowFromHandle(msg.hwnd);
        if (window && translate(msg, message.event)) {
            message.window = window;
            peekedNative = {msg.hwnd, msg.message, msg.wParam, msg.lParam};
            peekedMessage = message;
            peekedValid = true;
            return true;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        if (takePostedMessage(message)) return true;
    }
    return takePaintMessage(windows, message);
}

void waitMessage(WindowMessage& message) {
    while (!peekMessage(message)) WaitMessage();
}

long dispatchMessage(const WindowMessage& message) {
    PlatformWindow* window = message.window;
    if (!window || !isLive(window)) return 0;
    const bool fromSystem = peekedValid && peekedMessage.window == window &&
                            peekedMessage.event.type == message.event.type &&
                            peekedMessage.event.key == message.event.key &&
                            peekedMessage.event.x == message.event.x &&
                            peekedMessage.event.y == message.event.y;
    peekedValid = false;
    if (fromSystem) {
        const NativeMessage native = peekedNative;
        return callProcedure(window, message.event, native);
    }
    return callWindowProcedure(window, message.event);
}

void postQuitMessage(int exitCode) {
    PostQuitMessage(exitCode);
}

int quitSignal() {
    return 0; // a console's Ctrl+C ends the process without a quit message
}

long defaultWindowProcedure(PlatformWindow* window, const WindowEvent& event) {
    if (!window || !isLive(window)) return 0;
    const HWND hwnd = win32Window(window)->hwnd;
    if (event.type == EventType::SystemCommand && event.command == SystemCommand::Close) {
        destroyWindow(window);
        return 0;
    }
    if (handling && handling->hwnd == hwnd) // the system's own handling of its message
        return static_cast<long>(
            DefWindowProcA(hwnd, handling->message, handling->wParam, handling->lParam));
    // An event posted by the program: Alt+F4 asks the window to close, as the system would.
    return closeOnRequest(window, event);
}

bool isWindow(const PlatformWindow* window) {
    return window && isLive(window);
}

} // namespace kestrune
