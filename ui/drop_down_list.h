// A drop-down list for the controls toolkit: a sunken box showing the chosen item with an arrow,
// which opens a list of every item on top of the window's other controls.
#pragma once

#include <string>
#include <vector>

#include "platform/canvas.h"
#include "ui/controls.h"

namespace kestrune {

struct DropDownList {
    Frame* box = nullptr;  // the closed list: the chosen item and the arrow
    Frame* list = nullptr; // the open list; no size while closed
    std::vector<std::string> items;
    int selected = -1;    // the chosen item, -1 for none
    int highlighted = -1; // the item under the pointer while open
    bool open = false;
    int boxHeight = 0; // pixels
};

constexpr int kDropDownItemHeight = 14; // pixels per item of the open list

// Create it after every control it may open over: later controls lie on top. The first item is
// selected. The list lives as long as the toolkit window's controls.
DropDownList* createDropDownList(void* instance, ControlWindow* parent, int x, int y, int width,
                                 int height, std::vector<std::string> items);
// Frees the records made for lists of this window (call when the window is released).
void releaseDropDownLists(TopLevelWindow* top);

void openDropDownList(DropDownList& list);
void closeDropDownList(DropDownList& list);
// Moves the selection by delta items (arrow keys), within the list.
void moveDropDownSelection(DropDownList& list, int delta);

// Paints the box and, when open, the list, over what the toolkit painted on the window.
void paintDropDownList(const Canvas& windowCanvas, const DropDownList& list);

} // namespace kestrune
