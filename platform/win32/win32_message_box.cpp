// Message boxes with MessageBoxA, owned by the active window.
#include <windows.h>

#include "platform/message_box.h"

namespace kestrune {

void showMessageBox(const char* title, const char* text) {
    MessageBoxA(GetActiveWindow(), text, title, MB_OK);
}

} // namespace kestrune
