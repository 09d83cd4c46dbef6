// The one place where a widget type gets its window: a row per type in the
// table of WidgetWindowTypes.cpp, naming what the type fills in before the
// window is made (class, style bits, default size), its window procedure,
// and what it does once the window stands. A new kind of widget window adds
// its functions here and its row there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/widgets/WidgetWindowLayer.h"

// What a type decides before its window is made.
struct WidgetCreation {
    WidgetCreation(CWidget& w, HWND o) : widget(w), owner(o) {}
    CWidget& widget;
    HWND owner;
    // The first field of the item data, for the list types' item-list file.
    std::u16string itemList;
    // The base style (WS_CHILD, the host's bits, visible, disabled); the type adds its own.
    uint32_t style = 0;
    // Widens the window only (in the widget's unit); the stored width stays.
    int32_t extraWidth = 0;
    const char16_t* className = nullptr;
    // Null: the label is the window's text.
    const char16_t* windowName = nullptr;
    // The client's own class: registered on first use, the widget given as
    // the creation parameter. Otherwise a standard control subclassed, with
    // the widget's id as its control id.
    bool ownClass = false;
    // The widget's font is set (the types that show text).
    bool setFont = false;
    // The window stands at 0, 0 with no size (the pop-up menu).
    bool noGeometry = false;
    // The list types' items, read from their item-list file when it loaded.
    bool itemsLoaded = false;
    std::vector<std::u16string> items;

    // Stores the type's default width and height (characters and rows) where
    // the widget has none: in pixel mode times the cell size.
    void DefaultSize(int64_t characters, int64_t rows);
    void DefaultWidth(int64_t characters);
    void DefaultHeight(int64_t rows);
};

struct WidgetWindowType {
    int32_t type;
    void (*prepare)(WidgetCreation& creation);
    WidgetProc proc;
    // After WIDGET_MSG_INIT and the font; may be null.
    void (*created)(CWidgetWindow& window, const WidgetCreation& creation);
};

// The row of a type; null for a type without a window.
const WidgetWindowType* FindWidgetWindowType(int32_t type);

// The leading decimal number of a text (blanks, a sign, digits); 0 when none.
int32_t WidgetLeadingNumber(std::u16string_view text);

// An item-list file of the MENUS folder (".MNU" added to a name without
// '.'): the title (first field of the fifth record) and the items (the
// fields of the sixth record up to the first empty one). Not loaded when the
// file cannot be opened, is empty, cannot be read whole or is longer than
// kMaxItemListFile.
struct WidgetItemList {
    bool loaded = false;
    std::u16string title;
    std::vector<std::u16string> items;
    int64_t Longest() const;
    int64_t Total() const;
};
constexpr int32_t kMaxItemListFile = 1 << 20;
WidgetItemList LoadItemList(IWidgetHost& host, std::u16string_view name);
// The file's bytes as a packet of the session's code page.
WidgetItemList ParseItemList(CPacket& packet);

// The radio buttons of a group over its client area (width, height), one
// per item of that many characters: stacked (option 0x8), side by side in
// equal widths, or in proportion to their texts (option 0x10). No items, no
// buttons.
std::vector<WidgetRect> RadioGroupLayout(int32_t width, int32_t height, const std::vector<size_t>& characters,
                                         uint32_t options);

// ---- The types' functions.

// Buttons (1, 4), hot spot (2), check box (6), arrow button (7), static
// text (8), edit field (10), progress bar (15).
void PrepareButton(WidgetCreation& c);
LRESULT ButtonWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);
void PrepareHotspot(WidgetCreation& c);
LRESULT HotspotWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);
void PrepareCheckBox(WidgetCreation& c);
LRESULT CheckBoxWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);
void CheckBoxCreated(CWidgetWindow& w, const WidgetCreation& c);
void PrepareArrow(WidgetCreation& c);
LRESULT DrawnButtonWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);
void PrepareStatic(WidgetCreation& c);
LRESULT StaticWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);
void PrepareEdit(WidgetCreation& c);
LRESULT EditWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);
void EditCreated(CWidgetWindow& w, const WidgetCreation& c);
void PrepareProgress(WidgetCreation& c);
LRESULT ProgressWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);

// Lists (3, 18), the radio group (5) and the pop-up menu (12).
void PrepareCombo(WidgetCreation& c);
LRESULT ComboWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);
void PrepareList(WidgetCreation& c);
LRESULT ListWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);
void ListCreated(CWidgetWindow& w, const WidgetCreation& c);
void PrepareRadioGroup(WidgetCreation& c);
LRESULT PushButtonWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);
void RadioGroupCreated(CWidgetWindow& w, const WidgetCreation& c);
void PrepareMenu(WidgetCreation& c);
LRESULT MenuWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam);

// The bitmap (9), pen capture (11) and HTML page (19): ContentWidgets.h.
