// The device dialog on SDL's offscreen driver: choosing with the drop-down list and "OK", the
// keys, cancelling, a quit message handed back, and the check box.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/canvas.h"
#include "ui/check_box.h"
#include "render/direct3d/dialog/device_dialog.h"
#include "tests/ui/caption_fit.h"
#include "ui/drop_down_list.h"

namespace kestrune {
namespace {

std::vector<WindowEvent> script; // posted to the dialog once it is shown

void post(PlatformWindow* window) {
    for (const WindowEvent& e : script) {
        if (e.type == EventType::Quit)
            postQuitMessage(e.exitCode);
        else
            postMessage(window, e);
    }
}

WindowEvent mouse(EventType type, int x, int y) {
    WindowEvent e;
    e.type = type;
    e.button = type == EventType::MouseMove ? 0 : 1;
    e.x = int16_t(x);
    e.y = int16_t(y);
    return e;
}

WindowEvent key(Key k) {
    WindowEvent e;
    e.type = EventType::KeyDown;
    e.key = k;
    return e;
}

void click(int x, int y) {
    script.push_back(mouse(EventType::ButtonDown, x, y));
    script.push_back(mouse(EventType::ButtonUp, x, y));
}

std::vector<DirectDrawDeviceRecord> twoDevices() {
    std::vector<DirectDrawDeviceRecord> devices(2);
    std::strcpy(devices[0].driverDescription, "Primary Display Driver");
    devices[0].primary = 1;
    std::strcpy(devices[1].driverDescription, "Second Display");
    return devices;
}

class DeviceDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        script.clear();
        deviceDialogShown = post;
    }
    void TearDown() override {
        deviceDialogShown = nullptr;
        WindowMessage message;
        while (peekMessage(message)) quits += message.event.type == EventType::Quit;
    }
    int quits = 0;
};

// Layout: the list's box at (12, 26), 18 high, so the open list's items start at y = 45, 14 high;
// "OK" at (56, 80) and "Cancel" at (140, 80), 64 x 22.
TEST_F(DeviceDialogTest, ChoosingTheSecondDeviceFromTheOpenList) {
    click(30, 34);                                         // open the list
    script.push_back(mouse(EventType::MouseMove, 30, 66)); // over the second item
    click(30, 66);                                         // take it; the list closes
    click(88, 90);                                         // "OK"
    EXPECT_EQ(runDeviceDialog(nullptr, twoDevices()), 1);
    EXPECT_EQ(quits, 0);
}

TEST_F(DeviceDialogTest, EnterTakesTheSelectionAndTheFirstIsSelectedAtFirst) {
    script.push_back(key(Key::Enter));
    EXPECT_EQ(runDeviceDialog(nullptr, twoDevices()), 0);
    script = {key(Key::Down), key(Key::Down), key(Key::Enter)};
    EXPECT_EQ(runDeviceDialog(nullptr, twoDevices()), 1) << "the arrow keys stop at the end";
}

TEST_F(DeviceDialogTest, CancelEscapeAndClosingGiveMinusOne) {
    click(172, 90);
    EXPECT_EQ(runDeviceDialog(nullptr, twoDevices()), -1);
    script = {key(Key::Escape)};
    EXPECT_EQ(runDeviceDialog(nullptr, twoDevices()), -1);
    WindowEvent close;
    close.type = EventType::SystemCommand;
    close.command = SystemCommand::Close;
    script = {close};
    EXPECT_EQ(runDeviceDialog(nullptr, twoDevices()), -1);
    EXPECT_EQ(quits, 0) << "closing the dialog posts no quit message";
}

TEST_F(DeviceDialogTest, QuitMessageEndsTheDialogAndIsHandedBack) {
    WindowEvent quit;
    quit.type = EventType::Quit;
    quit.exitCode = 3;
    script = {quit};
    EXPECT_EQ(runDeviceDialog(nullptr, twoDevices()), -1);
    WindowMessage message;
    bool seen = false;
    while (peekMessage(message))
        if (message.event.type == EventType::Quit) seen = message.event.exitCode == 3;
    EXPECT_TRUE(seen);
}

TEST_F(DeviceDialogTest, CheckBoxTurnsOnAndOffAndPaintsItsTick) {
    auto top = createTopLevelWindow(nullptr, 0, 0, 120, 40, "check");
    ASSERT_NE(top->window, nullptr);
    CheckBox* box = createCheckBox(nullptr, &top->client, 10, 10, 100, 16, "Always");
    auto pump = [&] {
        WindowMessage message;
        while (peekMessage(message))
            if (message.event.type != EventType::Quit) dispatchMessage(message);
    };
    postMessage(top->window, mouse(EventType::ButtonDown, 15, 18));
    postMessage(top->window, mouse(EventType::ButtonUp, 15, 18));
    pump();
    EXPECT_TRUE(box->checked);
    paintCheckBox(windowCanvas(top->window), *box);
    // The tick's long stroke passes (15, 13 + 4) in the box at (10, 11).
    EXPECT_EQ(canvasPixel(top->window, 10 + 5, 11 + 8), (Color{0, 0, 0}));
    // Released outside: no change.
    postMessage(top->window, mouse(EventType::ButtonDown, 15, 18));
    postMessage(top->window, mouse(EventType::ButtonUp, 200, 18));
    pump();
    EXPECT_TRUE(box->checked);
    postMessage(top->window, mouse(EventType::ButtonDown, 15, 18));
    postMessage(top->window, mouse(EventType::ButtonUp, 15, 18));
    pump();
    EXPECT_FALSE(box->checked);
    destroyTopLevelWindow(top.get());
    releaseCheckBoxes(top.get());
    pump();
}

TEST_F(DeviceDialogTest, EveryCaptionFitsItsControl) {
    deviceDialogShown = [](PlatformWindow*) {
        EXPECT_EQ(overflowingCaptions(*deviceDialog.top), std::vector<std::string>{});
        EXPECT_TRUE(labelFits(*deviceDialog.alwaysUse));
        postQuitMessage(0);
    };
    runDeviceDialog(nullptr, twoDevices());
}

} // namespace
} // namespace kestrune
