// Which captions of a toolkit window run past their control's edge, for the tests of each window.
#pragma once

#include <string>
#include <vector>

#include "platform/canvas.h"
#include "ui/check_box.h"
#include "ui/controls.h"

namespace kestrune {

// A frame's caption starts 5 pixels in; a toggle's 5 pixels right of its square; a push button's
// is centred inside the bevel within the black outline (3 pixels on each side).
inline std::vector<std::string> overflowingCaptions(const TopLevelWindow& top) {
    std::vector<std::string> overflowing;
    for (const auto& frame : top.frames)
        if (frame->caption[0] &&
            5 + textWidth(frame->caption, Font::System) > frame->window->width - 1)
            overflowing.push_back(frame->caption);
    for (const auto& button : top.buttons) {
        const ControlWindow& w = *button->window;
        int room = button->kind == ToggleButton ? w.width - (w.height - 3 + 5) - 1 : w.width - 6;
        if (textWidth(button->caption, Font::Ansi) > room) overflowing.push_back(button->caption);
    }
    return overflowing;
}

inline bool labelFits(const CheckBox& box) {
    return kCheckBoxSize + 5 + textWidth(box.label.c_str(), Font::Ansi) <= box.area->window->width;
}

} // namespace kestrune
