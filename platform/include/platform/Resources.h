// Resources of a library loaded by name: a string table and dialog templates
// described as data. The library exports one data symbol,
// "OrvadeResourceTable" (a plat::res::Table); reading it runs none of the
// library's code, so a resource library is loaded like a data file.
#pragma once

#include <string>

#include "platform/Library.h"

namespace plat::res {

// One control of a dialog; geometry in dialog units.
struct DialogItem {
    const char16_t* className;  // "BUTTON", "EDIT", "STATIC", "LISTBOX", "COMBOBOX"
    WORD id;
    DWORD style;
    const char16_t* text;
    short x, y, cx, cy;
};

struct Dialog {
    WORD id;
    DWORD style;
    const char16_t* caption;
    const char16_t* fontName;
    WORD fontSize;
    short x, y, cx, cy;
    const DialogItem* items;
    uint32_t itemCount;
};

struct String {
    WORD id;
    const char16_t* text;
};

// A square icon of one size: size * size pixels, 0xAARRGGBB, rows from the
// top. An icon id may come in several sizes (32 and 16 pixels).
struct Icon {
    WORD id;
    uint16_t size;
    const uint32_t* pixels;
};

// A menu item: a command (its id), a separator (flags MF_SEPARATOR) or a
// pop-up of its own items (flags MF_POPUP); flags may grey it (MF_GRAYED).
struct MenuItem {
    UINT flags;
    WORD id;
    const char16_t* text;
    const MenuItem* items;
    uint32_t itemCount;
};

// A menu bar: its pop-ups in order.
struct Menu {
    WORD id;
    const MenuItem* items;
    uint32_t itemCount;
};

constexpr uint32_t kTableMagic = 0x4F525354;  // "ORST"

struct Table {
    uint32_t magic;
    uint32_t stringCount;
    const String* strings;
    uint32_t dialogCount;
    const Dialog* dialogs;
    // A table without icons may leave these out.
    uint32_t iconCount = 0;
    const Icon* icons = nullptr;
    uint32_t menuCount = 0;
    const Menu* menus = nullptr;
};

constexpr const char* kTableExport = "OrvadeResourceTable";

// The module's table; null when it has none.
const Table* GetTable(HMODULE module);
// The string's text; empty when the module or the string is missing.
std::u16string LoadText(HMODULE module, UINT id);
// Null when the module or the template is missing.
const Dialog* FindDialog(HMODULE module, UINT id);
// Null when the module or the menu is missing.
const Menu* FindMenu(HMODULE module, UINT id);
// The icon of that id and size; null when the module has none.
const Icon* FindIcon(HMODULE module, UINT id, int size);
// The control of the template with that id; null when it has none.
const DialogItem* FindItem(const Dialog& dialog, UINT id);

}  // namespace plat::res

// Copies at most bufferMax - 1 characters and a terminator; the number of
// characters copied, 0 (an empty text) when the string is missing.
int LoadString(HMODULE module, UINT id, char16_t* buffer, int bufferMax);
