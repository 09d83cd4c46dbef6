#include "core/widgets/WidgetWindowTypes.h"

#include <algorithm>
#include <climits>
#include <iterator>

#include "platform/Controls.h"
#include "platform/Gdi.h"

namespace {

// One row per type with a window. Types 9, 11 and 19 stand as plain windows
// of their classes until their own procedures come.
constexpr WidgetWindowType kTypes[] = {
    {WIDGET_BUTTON, &PrepareButton, &ButtonWidgetProc, nullptr},
    {WIDGET_HOTSPOT, &PrepareHotspot, &HotspotWidgetProc, nullptr},
    {WIDGET_COMBO, &PrepareCombo, &ComboWidgetProc, &ListCreated},
    {WIDGET_BUTTON_ALT, &PrepareButton, &ButtonWidgetProc, nullptr},
    {WIDGET_RADIO_GROUP, &PrepareRadioGroup, &PushButtonWidgetProc, &RadioGroupCreated},
    {WIDGET_CHECKBOX, &PrepareCheckBox, &CheckBoxWidgetProc, &CheckBoxCreated},
    {WIDGET_ARROW, &PrepareArrow, &DrawnButtonWidgetProc, nullptr},
    {WIDGET_STATIC, &PrepareStatic, &StaticWidgetProc, nullptr},
    {WIDGET_BITMAP, &PreparePlain, &PlainWidgetProc, nullptr},
    {WIDGET_EDIT, &PrepareEdit, &EditWidgetProc, &EditCreated},
    {WIDGET_PEN_CAPTURE, &PreparePlain, &PlainWidgetProc, nullptr},
    {WIDGET_POPUP_MENU, &PrepareMenu, &MenuWidgetProc, nullptr},
    {WIDGET_PROGRESS, &PrepareProgress, &ProgressWidgetProc, nullptr},
    {WIDGET_LIST, &PrepareList, &ListWidgetProc, &ListCreated},
    {WIDGET_HTML, &PreparePlain, &PlainWidgetProc, nullptr},
};

int32_t Clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

const WidgetWindowType* FindWidgetWindowType(int32_t type) {
    for (const WidgetWindowType& t : kTypes) {
        if (t.type == type) return &t;
    }
    return nullptr;
}

void WidgetCreation::DefaultWidth(int64_t characters) {
    WidgetFields& f = widget.MutableFields();
    if (f.width != 0) return;
    if (f.mode == WIDGET_MODE_PIXELS) characters *= widget.GetHost()->GetCellWidth();
    f.width = Clamp32(characters);
}

void WidgetCreation::DefaultHeight(int64_t rows) {
    WidgetFields& f = widget.MutableFields();
    if (f.height != 0) return;
    if (f.mode == WIDGET_MODE_PIXELS) rows *= widget.GetHost()->GetCellHeight();
    f.height = Clamp32(rows);
}

void WidgetCreation::DefaultSize(int64_t characters, int64_t rows) {
    DefaultWidth(characters);
    DefaultHeight(rows);
}

void PreparePlain(WidgetCreation& c) {
    c.ownClass = true;
    switch (c.widget.GetType()) {
    case WIDGET_BITMAP:
        c.className = u"OV_WIDGET_BITMAP_CLASS";
        c.windowName = u"BITMAP";
        break;
    case WIDGET_PEN_CAPTURE:
        c.className = u"OV_WIDGET_PENCAP_CLASS";
        c.windowName = u"PENCAP";
        c.style |= WS_BORDER;
        break;
    default: {
        c.className = u"OV_WIDGET_HTML_CLASS";
        c.windowName = u"HTML";
        c.style |= WS_BORDER;
        // The whole owner window unless both sides are given.
        WidgetFields& f = c.widget.MutableFields();
        if (f.width == 0 || f.height == 0) f.mode = WIDGET_MODE_PERCENT, f.row = 0, f.column = 0, f.width = 100, f.height = 100;
        break;
    }
    }
}

LRESULT PlainWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        RECT r;
        GetClientRect(w.Handle(), &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, w.ColorBrush(reinterpret_cast<HDC>(wParam)));
        return 1;
    }
    return WidgetWindowProc(w, message, wParam, lParam);
}
