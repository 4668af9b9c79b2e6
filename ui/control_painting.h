// How the toolkit's frames and buttons look: the colour table and the painting steps.
#pragma once

#include "platform/canvas.h"

namespace kestrune {

struct ControlWindow;

struct FrameColors {
    Color fill;  // also the two shadow lines above the bottom edge
    Color light; // top and left edges
    Color dark;  // right and bottom edges with the cut corner
};
// Index by the frame style: 0 raised, 1 sunken.
constexpr FrameColors kFrameColors[2] = {
    {{140, 140, 140}, {200, 200, 200}, {70, 70, 70}},
    {{100, 100, 100}, {70, 70, 70}, {200, 200, 200}},
};
constexpr Color kFrameBackground = {128, 128, 128}; // a frame window's erased background
constexpr Color kFrameCaption = {255, 255, 128};
constexpr Color kBlack = {0, 0, 0};
constexpr Color kWhite = {255, 255, 255};
constexpr Color kButtonFace = {150, 150, 160};
constexpr Color kBevelLight = {190, 190, 200}; // top and left when released
constexpr Color kBevelDark = {60, 60, 70};     // bottom and right when released
constexpr Color kToggleBackground = {140, 140, 140};

// The control's rectangle on its top-level window's canvas, where the control paints itself.
Canvas controlCanvas(const Canvas& windowCanvas, const ControlWindow* control);

// A frame of width x height at the canvas origin with style 0 (raised) or 1 (sunken); the caption
// may be empty. Pixels outside the cut corner are left as they were.
void paintFrame(const Canvas& canvas, int width, int height, int style, const char* caption);

// A button in its item rectangle; pressed when held down by the mouse or when a toggle is on.
void drawButton(const Canvas& canvas, int left, int top, int right, int bottom, int kind,
                bool pressed, const char* caption);

} // namespace kestrune
