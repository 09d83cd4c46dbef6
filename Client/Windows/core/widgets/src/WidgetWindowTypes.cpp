#include "core/widgets/WidgetWindowTypes.h"

#include <algorithm>
#include <climits>
#include <iterator>

#include "core/widgets/ContentWidgets.h"
#include "platform/Controls.h"
#include "platform/Gdi.h"

namespace {

// One row per type with a window.
constexpr WidgetWindowType kTypes[] = {
    {WIDGET_BUTTON, &PrepareButton, &ButtonWidgetProc, nullptr},
    {WIDGET_HOTSPOT, &PrepareHotspot, &HotspotWidgetProc, nullptr},
    {WIDGET_COMBO, &PrepareCombo, &ComboWidgetProc, &ListCreated},
    {WIDGET_BUTTON_ALT, &PrepareButton, &ButtonWidgetProc, nullptr},
    {WIDGET_RADIO_GROUP, &PrepareRadioGroup, &PushButtonWidgetProc, &RadioGroupCreated},
    {WIDGET_CHECKBOX, &PrepareCheckBox, &CheckBoxWidgetProc, &CheckBoxCreated},
    {WIDGET_ARROW, &PrepareArrow, &DrawnButtonWidgetProc, nullptr},
    {WIDGET_STATIC, &PrepareStatic, &StaticWidgetProc, nullptr},
    {WIDGET_BITMAP, &PrepareBitmap, &BitmapWidgetProc, nullptr},
    {WIDGET_EDIT, &PrepareEdit, &EditWidgetProc, &EditCreated},
    {WIDGET_PEN_CAPTURE, &PreparePenCapture, &PenCaptureWidgetProc, nullptr},
    {WIDGET_POPUP_MENU, &PrepareMenu, &MenuWidgetProc, nullptr},
    {WIDGET_PROGRESS, &PrepareProgress, &ProgressWidgetProc, nullptr},
    {WIDGET_LIST, &PrepareList, &ListWidgetProc, &ListCreated},
    {WIDGET_HTML, &PrepareHtml, &HtmlWidgetProc, nullptr},
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

