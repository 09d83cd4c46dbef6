// Menus and pop-up menus: a table of the layer (process-wide, any thread),
// shown by TrackPopupMenuEx as pop-up windows of the layer that take the
// taps while the call runs its own message loop. Submenus open beside their
// item; a tap outside every open menu or Escape ends it with no choice.
//
// Order as on Windows: WM_INITMENUPOPUP goes to the owner before a menu or
// submenu shows; a choice is returned with TPM_RETURNCMD, otherwise posted
// to the owner as WM_COMMAND (id, 0) and TRUE returned. TPM_NONOTIFY sends
// and posts none of these.
//
// Tests and scripted sessions choose without showing anything: with a
// chooser set (plat::menu::SetChooser) TrackPopupMenuEx sends
// WM_INITMENUPOPUP, asks the chooser and goes on as if the user had chosen.
#pragma once

#include <functional>

#include "platform/Window.h"

constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MFT_RADIOCHECK = 0x0200;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;

constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_TOPALIGN = 0x0000;
constexpr UINT TPM_CENTERALIGN = 0x0004;
constexpr UINT TPM_RIGHTALIGN = 0x0008;
constexpr UINT TPM_VCENTERALIGN = 0x0010;
constexpr UINT TPM_BOTTOMALIGN = 0x0020;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

constexpr UINT WM_INITMENUPOPUP = 0x0117;

HMENU CreateMenu();
HMENU CreatePopupMenu();
// A menu bar built from the module's menu record: its pop-ups, submenus and
// items; null when the module has no such menu.
HMENU LoadMenu(HINSTANCE module, UINT id);
// Destroys the menu and its submenus; FALSE for a handle that is none.
BOOL DestroyMenu(HMENU menu);
// MF_POPUP: id is the submenu, which the menu then owns.
BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR id, const char16_t* text);
// Before the item at position (MF_BYPOSITION; -1 appends) or the item with
// that command id.
BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR id, const char16_t* text);
BOOL DeleteMenu(HMENU menu, UINT position, UINT flags);
int GetMenuItemCount(HMENU menu);  // -1 for a handle that is none
UINT GetMenuItemID(HMENU menu, int position);  // -1 for a submenu or none
HMENU GetSubMenu(HMENU menu, int position);
// The item's MF_ flags; -1 when there is no such item.
UINT GetMenuState(HMENU menu, UINT item, UINT flags);
// The previous MF_GRAYED / MF_DISABLED, or -1.
UINT EnableMenuItem(HMENU menu, UINT item, UINT enable);
// The previous MF_CHECKED, or -1.
DWORD CheckMenuItem(HMENU menu, UINT item, UINT check);
// Checks one item of first..last (ids, or positions with MF_BYPOSITION) as
// a radio item and clears the others.
BOOL CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags);
// At (x, y) on the screen, aligned by the TPM_ flags; params is unused.
BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, const void* params);

namespace plat::menu {

// Returns the command id to choose, 0 for none.
using Chooser = std::function<UINT(HMENU menu, HWND owner)>;
// Replaces the chooser; an empty one shows the menus again.
void SetChooser(Chooser chooser);
// The text of the item at that position, & marks and all; empty for none.
std::u16string ItemText(HMENU menu, UINT position);

}  // namespace plat::menu
