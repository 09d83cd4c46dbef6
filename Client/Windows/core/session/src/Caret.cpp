// The control window's caret: the model says where and whether the host
// wants it; the window shows it only while it has the focus.
#include "core/session/ClientCore.h"
#include "platform/Window.h"

void CClientCore::CaretOn() {
    const CScreenModel::Caret& caret = m_screen.GetCaret();
    CreateCaret(m_window, 0, m_screen.CellWidth(), m_screen.CellHeight());
    SetCaretPos(caret.column * m_screen.CellWidth(), caret.row * m_screen.CellHeight());
    if (caret.visible) ShowCaret(m_window);
    m_caretFocus = true;
}

void CClientCore::CaretOff() {
    if (m_screen.GetCaret().visible && plat::window::GetThreadCaret().visible) HideCaret(m_window);
    m_caretFocus = false;
    DestroyCaret();
}

void CClientCore::MoveCursor(int row, int column) {
    m_screen.MoveCaret(row, column);
    if (!m_screen.OnScreen(row, column)) {
        // Off the screen the caret is no longer wanted.
        if (m_screen.GetCaret().visible) m_screen.ShowCaret(false);
        if (m_caretFocus) HideCaret(m_window);
        return;
    }
    if (m_caretFocus) SetCaretPos(column * m_screen.CellWidth(), row * m_screen.CellHeight());
}
