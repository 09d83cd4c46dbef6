// The command bar: a strip along the top of its parent's client area that
// holds a menu bar loaded from a resource library. A tap on one of the bar's
// pop-ups opens it below the bar through TrackPopupMenuEx, owned by the
// parent, which hears the choice as WM_COMMAND. The bar destroys its menu.
#pragma once

#include "platform/Menu.h"
#include "platform/Window.h"

constexpr const char16_t* WC_COMMANDBAR = u"CommandBar";
constexpr int kCommandBarHeight = 24;

// A visible child across the top of parent, kCommandBarHeight high.
HWND CommandBar_Create(HINSTANCE instance, HWND parent, int id);
// Menu menuId of module becomes the bar's menu bar (any one before goes).
BOOL CommandBar_InsertMenubar(HWND bar, HINSTANCE module, WORD menuId, WORD button);
HMENU CommandBar_GetMenu(HWND bar, WORD button);
// Redraws the bar after its menu's items changed.
BOOL CommandBar_DrawMenuBar(HWND bar, WORD button);
int CommandBar_Height(HWND bar);
BOOL CommandBar_Show(HWND bar, BOOL show);
