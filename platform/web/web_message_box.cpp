// Message boxes in a web page: a modal dialog that the program waits on, as on the desktop.
#include <cstdio>

#include "platform/message_box.h"
#include "platform/web/web_page.h"

namespace kestrune {

void showMessageBox(const char* title, const char* text) {
    std::fprintf(stderr, "%s: %s\n", title, text); // also in the page's console
    kestrune_web_message_box(title, text);
}

} // namespace kestrune
