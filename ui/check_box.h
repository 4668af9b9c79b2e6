// A check box for the controls toolkit: a small white box with a tick and a label; a click turns
// it on or off.
#pragma once

#include <string>

#include "platform/canvas.h"
#include "ui/controls.h"

namespace kestrune {

struct CheckBox {
    Frame* area = nullptr; // box and label: where clicks land
    std::string label;
    bool checked = false;
    bool pressed = false; // held down by the mouse
};

constexpr int kCheckBoxSize = 13; // pixels, the box's edge

CheckBox* createCheckBox(void* instance, ControlWindow* parent, int x, int y, int width, int height,
                         const char* label);
void releaseCheckBoxes(TopLevelWindow* top);

void paintCheckBox(const Canvas& windowCanvas, const CheckBox& box);

} // namespace kestrune
