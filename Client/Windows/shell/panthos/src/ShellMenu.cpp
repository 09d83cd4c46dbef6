#include "panthos/ShellMenu.h"

#include "platform/CommandBar.h"
#include "platform/WinConst.h"

namespace {

constexpr UINT kMenu = 178;

}  // namespace

bool CShellMenu::Create(HWND window, HINSTANCE resources) {
    m_bar = CommandBar_Create(nullptr, window, 1);
    if (!m_bar) return false;
    CommandBar_InsertMenubar(m_bar, resources, kMenu, 0);
    m_menu = CommandBar_GetMenu(m_bar, 0);
    return m_menu != 0;
}

void CShellMenu::Enable(UINT id, bool enable) {
    if (m_menu) EnableMenuItem(m_menu, id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

void CShellMenu::Remove(UINT id) {
    if (m_menu) DeleteMenu(m_menu, id, MF_BYCOMMAND);
}

void CShellMenu::Check(UINT first, UINT last, UINT id) {
    if (m_menu) CheckMenuRadioItem(m_menu, first, last, id, MF_BYCOMMAND);
}

void CShellMenu::Draw() {
    if (m_bar) CommandBar_DrawMenuBar(m_bar, 0);
}

void CShellMenu::Show(bool show) {
    if (m_bar) CommandBar_Show(m_bar, show ? TRUE : FALSE);
}

bool CShellMenu::IsHidden() const { return m_bar && !IsWindowVisible(m_bar); }
