// The check box: a click over it turns it on or off; painting the box, the tick and the label.
#include "ui/check_box.h"

#include <memory>
#include <vector>

#include "ui/control_painting.h"

namespace kestrune {

namespace {

constexpr Color kBoxFace = {255, 255, 255};
constexpr Color kBoxEdge = {70, 70, 70};

struct BoxRecord {
    TopLevelWindow* top;
    std::unique_ptr<CheckBox> box;
};
std::vector<BoxRecord> records;

CheckBox* findBox(const Frame* frame) {
    for (BoxRecord& r : records)
        if (r.box->area == frame) return r.box.get();
    return nullptr;
}

void areaDown(Frame* frame, int button, int, int) {
    CheckBox* box = findBox(frame);
    if (!box || button != 1) return;
    box->pressed = true;
    setControlCapture(frame->window);
}

void areaUp(Frame* frame, int button, int x, int y) {
    CheckBox* box = findBox(frame);
    if (!box || button != 1 || !box->pressed) return;
    box->pressed = false;
    releaseControlCapture(frame->window->top);
    const ControlWindow* w = frame->window;
    if (x >= 0 && y >= 0 && x < w->width && y < w->height) box->checked = !box->checked;
    requestPaint(w->top);
}

} // namespace

CheckBox* createCheckBox(void* instance, ControlWindow* parent, int x, int y, int width, int height,
                         const char* label) {
    auto box = std::make_unique<CheckBox>();
    box->label = label ? label : "";
    box->area = createFrame(instance, parent, x, y, width, height, "");
    setButtonDownHandler(box->area, areaDown);
    setButtonUpHandler(box->area, areaUp);
    records.push_back({parent->top, std::move(box)});
    return records.back().box.get();
}

void releaseCheckBoxes(TopLevelWindow* top) {
    std::erase_if(records, [top](const BoxRecord& r) { return r.top == top; });
}

void paintCheckBox(const Canvas& windowCanvas, const CheckBox& box) {
    const ControlWindow* area = box.area->window;
    Canvas c = controlCanvas(windowCanvas, area);
    // The area is drawn over the frame it sits on, in that frame's colour.
    fillRect(c, 0, 0, area->width, area->height, kFrameColors[0].fill);
    const int top = (area->height - kCheckBoxSize) / 2, s = kCheckBoxSize;
    fillRect(c, 0, top, s, top + s, box.pressed ? kFrameColors[0].light : kBoxFace);
    const Point edge[] = {{0, top}, {s - 1, top}, {s - 1, top + s - 1}, {0, top + s - 1}, {0, top}};
    drawPolyline(c, edge, kBoxEdge);
    if (box.checked)
        for (int d = 0; d < 2; ++d) {
            drawLine(c, 3, top + 6 + d, 5, top + 8 + d, kBlack);
            drawLine(c, 5, top + 8 + d, 10, top + 3 + d, kBlack);
        }
    drawText(c, s + 5, (area->height - fontHeight(Font::Ansi)) / 2, box.label.c_str(), kBlack,
             Font::Ansi);
}

} // namespace kestrune
