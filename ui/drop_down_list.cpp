// The drop-down list: opening and closing, choosing with the mouse or the arrow keys, painting.
#include "ui/drop_down_list.h"

#include <algorithm>
#include <memory>

#include "ui/check_box.h"
#include "ui/control_painting.h"

namespace kestrune {

namespace {

constexpr Color kListBackground = {255, 255, 255};
constexpr Color kHighlight = {0, 0, 128};
constexpr Color kSunkenDark = {70, 70, 70};
constexpr Color kSunkenLight = {200, 200, 200};

struct ListRecord {
    TopLevelWindow* top;
    std::unique_ptr<DropDownList> list;
};
std::vector<ListRecord> records;

DropDownList* findList(const Frame* frame) {
    for (ListRecord& r : records)
        if (r.list->box == frame || r.list->list == frame) return r.list.get();
    return nullptr;
}

void repaint(const DropDownList& list) {
    requestPaint(list.box->window->top);
}

void boxDown(Frame* frame, int button, int, int) {
    DropDownList* list = findList(frame);
    if (!list || button != 1) return;
    if (list->open)
        closeDropDownList(*list);
    else
        openDropDownList(*list);
}

int itemAt(const DropDownList& list, int y) {
    int item = (y - 1) / kDropDownItemHeight;
    return item >= 0 && item < int(list.items.size()) ? item : -1;
}

void listMove(Frame* frame, int, int y) {
    DropDownList* list = findList(frame);
    if (!list || !list->open) return;
    int item = itemAt(*list, y);
    if (item >= 0 && item != list->highlighted) {
        list->highlighted = item;
        repaint(*list);
    }
}

void listUp(Frame* frame, int button, int, int y) {
    DropDownList* list = findList(frame);
    if (!list || !list->open || button != 1) return;
    int item = itemAt(*list, y);
    if (item >= 0) list->selected = item;
    closeDropDownList(*list);
}

void drawArrowButton(const Canvas& c, int x, int size) {
    drawButton(c, x, 0, x + size, size, PushButton, false, "");
    int cx = x + size / 2, cy = size / 2 - 1;
    for (int i = 0; i < 4; ++i) drawLine(c, cx - 3 + i, cy + i, cx + 4 - i, cy + i, kBlack);
}

} // namespace

DropDownList* createDropDownList(void* instance, ControlWindow* parent, int x, int y, int width,
                                 int height, std::vector<std::string> items) {
    auto list = std::make_unique<DropDownList>();
    list->items = std::move(items);
    list->selected = list->items.empty() ? -1 : 0;
    list->boxHeight = height;
    list->box = createFrame(instance, parent, x, y, width, height, "");
    setFrameStyle(list->box, 1);
    setButtonDownHandler(list->box, boxDown);
    list->list = createFrame(instance, parent, x, y + height, 0, 0, "");
    setMouseMoveHandler(list->list, listMove);
    setButtonUpHandler(list->list, listUp);
    records.push_back({parent->top, std::move(list)});
    return records.back().list.get();
}

void releaseDropDownLists(TopLevelWindow* top) {
    std::erase_if(records, [top](const ListRecord& r) { return r.top == top; });
}

void openDropDownList(DropDownList& list) {
    if (list.items.empty()) return;
    list.open = true;
    list.highlighted = list.selected;
    list.list->window->width = list.box->window->width;
    list.list->window->height = int(list.items.size()) * kDropDownItemHeight + 2;
    repaint(list);
}

void closeDropDownList(DropDownList& list) {
    list.open = false;
    list.list->window->width = 0;
    list.list->window->height = 0;
    repaint(list);
}

void moveDropDownSelection(DropDownList& list, int delta) {
    if (list.items.empty()) return;
    list.selected = std::clamp(list.selected + delta, 0, int(list.items.size()) - 1);
    list.highlighted = list.selected;
    repaint(list);
}

void paintDropDownList(const Canvas& windowCanvas, const DropDownList& list) {
    const ControlWindow* box = list.box->window;
    Canvas c = controlCanvas(windowCanvas, box);
    const int w = box->width, h = box->height;
    fillRect(c, 0, 0, w, h, kListBackground);
    const Point dark[] = {{0, h - 1}, {0, 0}, {w - 1, 0}};
    const Point light[] = {{w - 1, 1}, {w - 1, h - 1}, {0, h - 1}};
    drawPolyline(c, dark, kSunkenDark);
    drawPolyline(c, light, kSunkenLight);
    const int textTop = (h - fontHeight(Font::Ansi)) / 2;
    if (list.selected >= 0)
        drawText(childCanvas(c, 2, 0, w - h - 2, h), 1, textTop,
                 list.items[size_t(list.selected)].c_str(), kBlack, Font::Ansi);
    drawArrowButton(c, w - h, h);

    if (!list.open) return;
    const ControlWindow* open = list.list->window;
    Canvas l = controlCanvas(windowCanvas, open);
    fillRect(l, 0, 0, open->width, open->height, kListBackground);
    const Point border[] = {{0, 0},
                            {open->width - 1, 0},
                            {open->width - 1, open->height - 1},
                            {0, open->height - 1},
                            {0, 0}};
    drawPolyline(l, border, kBlack);
    for (size_t i = 0; i < list.items.size(); ++i) {
        int top = 1 + int(i) * kDropDownItemHeight;
        bool lit = int(i) == list.highlighted;
        if (lit) fillRect(l, 1, top, open->width - 1, top + kDropDownItemHeight, kHighlight);
        drawText(childCanvas(l, 1, top, open->width - 2, kDropDownItemHeight), 2,
                 (kDropDownItemHeight - fontHeight(Font::Ansi)) / 2, list.items[i].c_str(),
                 lit ? kWhite : kBlack, Font::Ansi);
    }
}

} // namespace kestrune
