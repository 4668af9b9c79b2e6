// The device dialog: its layout, keys and modal loop over the controls toolkit.
#include "render/direct3d/dialog/device_dialog.h"

#include <memory>
#include <string>

#include "ui/check_box.h"
#include "ui/controls.h"
#include "ui/drop_down_list.h"

namespace kestrune {

namespace {

constexpr int kDialogWidth = 260;  // pixels
constexpr int kDialogHeight = 112; // pixels

DeviceDialog& dialog = deviceDialog;

void finish(int result) {
    dialog.result = result;
    dialog.done = true;
}

void paintOverlay(PlatformWindow* window) {
    if (!window) return;
    Canvas canvas = windowCanvas(window);
    paintCheckBox(canvas, *dialog.alwaysUse);
    paintDropDownList(canvas, *dialog.devices);
    presentCanvas(window);
}

bool inside(const ControlWindow* control, int x, int y) {
    int ox, oy;
    controlOrigin(control, ox, oy);
    return x >= ox && y >= oy && x < ox + control->width && y < oy + control->height;
}

long dialogProcedure(PlatformWindow* window, const WindowEvent& event) {
    auto* top = static_cast<TopLevelWindow*>(window->userData);
    DropDownList& list = *dialog.devices;
    switch (event.type) {
    case EventType::Destroy:
        // Unlike the options window, closing the dialog must not post the quit message: the show
        // goes on after it.
        top->window = nullptr;
        top->capture = nullptr;
        return 0;
    case EventType::KeyDown:
        if (event.key == Key::Escape)
            finish(-1);
        else if (event.key == Key::Enter)
            finish(list.selected);
        else if (event.key == Key::Up)
            moveDropDownSelection(list, -1);
        else if (event.key == Key::Down)
            moveDropDownSelection(list, 1);
        return 0;
    case EventType::SystemCommand:
        if (event.command == SystemCommand::Close) {
            finish(-1);
            return 0;
        }
        break;
    case EventType::ButtonDown:
        // A press anywhere but on the list closes an open list.
        if (list.open && !inside(list.list->window, event.x, event.y) &&
            !inside(list.box->window, event.x, event.y))
            closeDropDownList(list);
        break;
    default:
        break;
    }
    long result = toolkitWindowProcedure(window, event);
    paintOverlay(top->window);
    return result;
}

} // namespace

int runDeviceDialog(void* owner, const std::vector<DirectDrawDeviceRecord>& devices) {
    if (devices.empty()) return -1;
    int screenWidth = 0, screenHeight = 0;
    if (initWindowSystem()) screenSize(screenWidth, screenHeight);
    std::unique_ptr<TopLevelWindow> top = createTopLevelWindow(
        nullptr, (screenWidth - kDialogWidth) / 2, (screenHeight - kDialogHeight) / 2, kDialogWidth,
        kDialogHeight, "Choose your device");
    if (!top->window) return 0;

    dialog = DeviceDialog{};
    dialog.top = top.get();
    top->window->procedure = dialogProcedure;
    Frame* frame =
        createFrame(nullptr, &top->client, 0, 0, kDialogWidth, kDialogHeight, "Choose your device");
    ControlWindow* area = frameWindow(frame);
    dialog.alwaysUse = createCheckBox(nullptr, area, 12, 54, 180, 16, "Always use this device");
    dialog.ok = createButton(nullptr, area, 56, 80, 64, 22, PushButton, "OK");
    dialog.cancel = createButton(nullptr, area, 140, 80, 64, 22, PushButton, "Cancel");
    setClickHandler(dialog.ok, [](Button*) { finish(dialog.devices->selected); });
    setClickHandler(dialog.cancel, [](Button*) { finish(-1); });
    std::vector<std::string> descriptions;
    for (const DirectDrawDeviceRecord& d : devices) descriptions.push_back(d.driverDescription);
    // Last, so that the open list lies over the other controls.
    dialog.devices =
        createDropDownList(nullptr, area, 12, 26, kDialogWidth - 24, 18, std::move(descriptions));

    redrawControl(&top->client);
    paintOverlay(top->window);
    if (deviceDialogShown) deviceDialogShown(top->window);

    int quitCode = 0;
    bool quit = false;
    while (!dialog.done && top->window) {
        WindowMessage message;
        waitMessage(message);
        if (message.event.type == EventType::Quit) {
            // Not the dialog's to take: ends it, and goes back to the queue for the show.
            quit = true;
            quitCode = message.event.exitCode;
            finish(-1);
            break;
        }
        dispatchMessage(message);
    }
    int result = dialog.done ? dialog.result : -1;
    destroyTopLevelWindow(top.get());
    // With no window manager nobody hands the focus on, and Escape would reach no window.
    auto* output = static_cast<PlatformWindow*>(owner);
    if (isWindow(output)) focusWindow(output);
    releaseDropDownLists(top.get());
    releaseCheckBoxes(top.get());
    dialog = DeviceDialog{};
    if (quit) postQuitMessage(quitCode);
    return result;
}

} // namespace kestrune
