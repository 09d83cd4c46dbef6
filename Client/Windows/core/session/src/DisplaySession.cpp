// What the display commands ask of the core: wrap mode, and the error box,
// one at a time, made by the control's dialogs, answering the host when it
// closes.
#include "core/session/ClientCore.h"

void CClientCore::SetWrap(bool on) {
    CoreProperties props = m_settings.Properties();
    props.wrap = on ? 1 : 0;
    m_settings.SetProperties(props);
}

void CClientCore::OpenErrorBox(ErrorBoxRequest request) {
    // One error box at a time: a box still open is answered and closed as if
    // dismissed, so none is left on the screen holding this core.
    if (m_box.window && m_box.mode == DialogMode::Error) SendMessage(m_box.window, WM_COMMAND, IDOK, 0);
    m_errorBox = std::move(request);

    // The control makes the box from this request; its procedure answers later.
    m_box.mode = DialogMode::Error;
    const DialogGrid grid{m_window, m_screen.CellWidth(), m_screen.CellHeight(), m_screen.Columns(), m_screen.Rows()};
    const HWND window = m_dialogs->OpenErrorBox(m_errorBox, grid, *this);
    SetDialog(window, DialogMode::Error);
    m_automation->Notify(AUTO_ERROR_BOX_SHOWN, m_errorBox.timeout, reinterpret_cast<intptr_t>(m_errorBox.text.c_str()));
}

void CClientCore::ErrorBoxAnswered() { SendIntReply('V', 1); }

void CClientCore::ErrorBoxDestroyed() {
    if (m_box.mode == DialogMode::Error) SetDialog(0, DialogMode::None);
    m_automation->Notify(AUTO_ERROR_BOX_CLOSED, 0, 0);
}

void CClientCore::CloseErrorBox() {
    if (!m_box.window || m_box.mode != DialogMode::Error) return;
    m_dialogs->CloseErrorBox(m_box.window);
    SetDialog(0, DialogMode::None);
}

// ---- The menu box (RFMENU), made by the control's dialogs like the error
// box; its procedure answers the host when it closes.

void CClientCore::OpenMenuBox(MenuBoxRequest request) {
    // One menu at a time: a menu still open is cancelled first.
    if (m_box.window && m_box.mode == DialogMode::Menu) SendMessage(m_box.window, WM_COMMAND, IDCANCEL, 0);
    m_menuBox = std::move(request);
    m_menuBox.exitKey = m_settings.Properties().menuExitKey;
    m_box.mode = DialogMode::Menu;
    const DialogGrid grid{m_window, m_screen.CellWidth(), m_screen.CellHeight(), m_screen.Columns(), m_screen.Rows()};
    const HWND window = m_dialogs->OpenMenuBox(m_menuBox, grid, *this);
    SetDialog(window, DialogMode::Menu);
    m_automation->Notify(AUTO_MENU_SHOWN, reinterpret_cast<intptr_t>(m_menuBox.title.c_str()),
                         static_cast<intptr_t>(m_menuBox.items.size()));
}

void CClientCore::MenuBoxAnswered(int32_t choice) { SendIntReply('M', choice); }

void CClientCore::MenuBoxDestroyed() {
    if (m_box.mode == DialogMode::Menu) SetDialog(0, DialogMode::None);
    m_automation->Notify(AUTO_MENU_CLOSED, 0, 0);
}

void CClientCore::CloseMenuBox() {
    if (!m_box.window || m_box.mode != DialogMode::Menu) return;
    m_dialogs->CloseMenuBox(m_box.window);
    SetDialog(0, DialogMode::None);
}
