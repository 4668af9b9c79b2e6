// Painting the toolkit's frames and buttons, line by line as the window system's pens draw them.
#include "ui/control_painting.h"

#include "ui/controls.h"

namespace kestrune {

Canvas controlCanvas(const Canvas& windowCanvas, const ControlWindow* control) {
    int x, y;
    controlOrigin(control, x, y);
    return childCanvas(windowCanvas, x, y, control->width, control->height);
}

void paintFrame(const Canvas& canvas, int width, int height, int style, const char* caption) {
    const FrameColors& c = kFrameColors[style == 1 ? 1 : 0];
    int w = width, h = height;
    fillRect(canvas, 0, 0, w, h - 3, c.fill);
    drawLine(canvas, 0, h - 3, w - 1, h - 3, c.fill);
    drawLine(canvas, 0, h - 2, w - 2, h - 2, c.fill);
    const Point lightEdge[] = {{0, h - 1}, {0, 0}, {w - 1, 0}};
    drawPolyline(canvas, lightEdge, c.light);
    const Point darkEdge[] = {{w - 1, 0}, {w - 1, h - 4}, {w - 4, h - 1}, {0, h - 1}};
    drawPolyline(canvas, darkEdge, c.dark);
    if (caption && caption[0]) {
        drawText(canvas, 5, 4, caption, kBlack, Font::System);
        drawText(canvas, 5, 3, caption, kFrameCaption, Font::System);
    }
}

void drawButton(const Canvas& canvas, int left, int top, int right, int bottom, int kind,
                bool pressed, const char* caption) {
    int fl, ft, fr, fb; // the face; right and bottom excluded
    if (kind == ToggleButton) {
        fillRect(canvas, left, top, right, bottom, kToggleBackground);
        paintFrame(childCanvas(canvas, left, top, right - left, bottom - top), right - left,
                   bottom - top, 1, "");
        fl = left + 3;
        ft = top + 3;
        fr = left + (bottom - top) - 3;
        fb = bottom - 3;
    } else {
        fl = left + 1;
        ft = top + 1;
        fr = right - 1;
        fb = bottom - 1;
    }
    fillRect(canvas, fl, ft, fr, fb, kButtonFace);
    const Point outline[] = {{fl, ft}, {fr - 1, ft}, {fr - 1, fb - 1}, {fl, fb - 1}, {fl, ft}};
    drawPolyline(canvas, outline, kBlack);

    Color first = pressed ? kBevelDark : kBevelLight;
    Color second = pressed ? kBevelLight : kBevelDark;
    const Point innerTopLeft[] = {{fl + 1, fb - 2}, {fl + 1, ft + 1}, {fr - 2, ft + 1}};
    const Point innerBottomRight[] = {{fr - 2, ft + 1}, {fr - 2, fb - 2}, {fl, fb - 2}};
    drawPolyline(canvas, innerTopLeft, first);
    drawPolyline(canvas, innerBottomRight, second);
    const Point outerTopLeft[] = {{fl - 1, fb}, {fl - 1, ft - 1}, {fr, ft - 1}};
    const Point outerBottomRight[] = {{fr, ft - 1}, {fr, fb}, {fl - 2, fb}};
    drawPolyline(canvas, outerTopLeft, second);
    drawPolyline(canvas, outerBottomRight, first);

    if (kind == ToggleButton) {
        int x = fr + 5;
        drawText(canvas, x, top + 4, caption, kBlack, Font::Ansi);
        drawText(canvas, x, top + 3, caption, kWhite, Font::Ansi);
    } else {
        int x = left + (right - left) / 2;
        int y = top + (pressed ? 5 : 4);
        drawText(canvas, x, y, caption, kBlack, Font::Ansi, TextAlign::Center);
        drawText(canvas, x - 1, y - 1, caption, kWhite, Font::Ansi, TextAlign::Center);
    }
}

} // namespace kestrune
