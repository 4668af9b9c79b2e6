// The clock, WGL contexts and the wave-out output on Win32.
#include <gtest/gtest.h>

#include <windows.h>

#include <GL/gl.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/gl.h"
#include "platform/win32/win32_window.h"
#include "platform/window.h"

namespace kestrune {
namespace {

TEST(Win32Clock, FollowsTheSystemMillisecondClock) {
    const uint32_t before = clockMilliseconds();
    sleepMilliseconds(50);
    const uint32_t elapsed = clockMilliseconds() - before; // wraps like the clock itself
    EXPECT_GE(elapsed, 40u);
    EXPECT_LT(elapsed, 5000u);
    raiseThreadPriority();
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_HIGHEST);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
}

TEST(Win32Gl, ContextOnTheWindowDrawsAndSwaps) {
    PlatformWindow* window = createWindow("KRV99", 0, 0, 64, 48, true, true, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    char name[32] = {};
    GetClassNameA(win32Window(window)->hwnd, name, sizeof name);
    EXPECT_STREQ(name, "qz_fonster");
    GlContext context = createGlContext(window);
    if (!context.native) {
        destroyWindow(window);
        GTEST_SKIP() << "no OpenGL on this display";
    }
    PIXELFORMATDESCRIPTOR format{};
    HDC dc = win32Window(window)->dc;
    DescribePixelFormat(dc, GetPixelFormat(dc), sizeof format, &format);
    EXPECT_TRUE(format.dwFlags & PFD_DOUBLEBUFFER);
    EXPECT_GE(format.cDepthBits, 16);
    glViewport(0, 0, 64, 48);
    glClearColor(1, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    unsigned char pixel[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 0);
    swapGlBuffers(window);
    deleteGlContext(context);
    EXPECT_EQ(context.native, nullptr);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    destroyWindow(window);
}

TEST(Win32Audio, BlocksPlayAndSignalTheEvent) {
    AutoResetEvent played;
    std::unique_ptr<AudioOutput> output = openAudioOutput(44100, played);
    if (!output) GTEST_SKIP() << "no wave device (no sound server)";
    std::vector<int16_t> sound(2 * 2205, 0);
    AudioBlock blocks[2];
    for (AudioBlock& block : blocks) {
        block.data = sound.data();
        block.frames = 2205; // 50 ms
        EXPECT_TRUE(output->write(block));
        EXPECT_FALSE(block.done.load());
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(blocks[0].done.load() && blocks[1].done.load()) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(blocks[0].done.load());
    EXPECT_TRUE(blocks[1].done.load());
    played.wait(); // signalled at least once; returns at once

    // A block written again reuses its header; reset settles whatever is queued.
    EXPECT_TRUE(output->write(blocks[0]));
    output->reset();
    EXPECT_TRUE(blocks[0].done.load());
    output->close();
    EXPECT_FALSE(output->write(blocks[1]));
}

} // namespace
} // namespace kestrune
