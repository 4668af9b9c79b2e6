// The dialog "Choose your device": a drop-down list of the DirectDraw devices' descriptions, "OK",
// "Cancel" and the check box "Always use this device", drawn with the controls toolkit.
#pragma once

#include <vector>

#include "platform/window.h"
#include "render/direct3d/direct3d_backend.h"

namespace kestrune {

class Button;
struct CheckBox;
struct DropDownList;
struct TopLevelWindow;

// The dialog while it is shown.
struct DeviceDialog {
    TopLevelWindow* top = nullptr;
    DropDownList* devices = nullptr; // identifier 1009
    CheckBox* alwaysUse = nullptr;   // identifier 1006; its state is never read
    Button* ok = nullptr;            // identifier 1008, the default button
    Button* cancel = nullptr;        // identifier 1007
    int result = -1;
    bool done = false;
};

inline DeviceDialog deviceDialog;

// Called once the dialog's window is shown; tests feed it input from here.
inline void (*deviceDialogShown)(PlatformWindow* window) = nullptr;

// Shows the dialog until "OK" (the selected index; Enter too), "Cancel", Escape or closing it
// (-1). Where no window can be shown, the first device is taken as if "OK" were pressed at once.
// The owner, the output window (a PlatformWindow), has the focus once the dialog has closed.
int runDeviceDialog(void* owner, const std::vector<DirectDrawDeviceRecord>& devices);

} // namespace kestrune
