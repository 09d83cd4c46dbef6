// The main window's command bar with menu 178: items enabled or greyed,
// the exit item removed when the settings forbid it, the view checked, the
// bar hidden during a session when the settings ask. User-interface thread.
#pragma once

#include "platform/Window.h"

class CShellMenu {
public:
    // The bar on window with the resource library's menu; false without it.
    bool Create(HWND window, HINSTANCE resources);
    void Enable(UINT id, bool enable);
    void Remove(UINT id);
    // Checks id among the radio items first to last.
    void Check(UINT first, UINT last, UINT id);
    // Draws the bar again after changes.
    void Draw();
    void Show(bool show);
    // The bar exists and is hidden.
    bool IsHidden() const;

private:
    HWND m_bar = 0;
    HMENU m_menu = 0;
};
