// The control window's caret: the model says where and whether the host
// wants it; the window shows it only while it has the focus. The shown flag
// keeps the window's show and hide calls, which count, in balance.
#include <algorithm>
#include <climits>

#include "core/session/ClientCore.h"
#include "platform/Window.h"

void CClientCore::CaretOn() {
    const CScreenModel::Caret& caret = m_screen.GetCaret();
    CreateCaret(m_window, 0, m_screen.CellWidth(), m_screen.CellHeight());
    SetCaretPos(caret.column * m_screen.CellWidth(), caret.row * m_screen.CellHeight());
    m_caretShown = caret.visible && ShowCaret(m_window);
    m_caretFocus = true;
    ShowScreen(true);  // the picture draws the caret only while the window has it
}

void CClientCore::CaretOff() {
    if (m_caretShown) HideCaret(m_window);
    m_caretShown = false;
    m_caretFocus = false;
    DestroyCaret();
    ShowScreen(true);
}

void CClientCore::SetCaretWanted(bool wanted) {
    m_screen.ShowCaret(wanted);
    const CScreenModel::Caret& caret = m_screen.GetCaret();
    const bool onScreen = m_settings.Properties().wrap != 0 || m_screen.OnScreen(caret.row, caret.column);
    const bool show = wanted && m_caretFocus && onScreen;
    if (show && !m_caretShown) {
        m_caretShown = ShowCaret(m_window) != FALSE;
        ShowScreen(true);
    } else if (!wanted && m_caretShown) {
        HideCaret(m_window);
        m_caretShown = false;
    }
}

void CClientCore::MoveCursor(int row, int column) {
    if (m_settings.Properties().wrap != 0) {
        // The column counts on from the start of the row, over row ends.
        const int64_t columns = std::max(m_screen.Columns(), 1);
        const int64_t r = int64_t{row} + column / columns;
        row = static_cast<int>(std::clamp<int64_t>(r, INT_MIN, INT_MAX));
        column = static_cast<int>(column % columns);
    }
    PlaceCursor(row, column);
}

void CClientCore::PlaceCursor(int row, int column) {
    m_screen.MoveCaret(row, column);
    if (!m_screen.OnScreen(row, column)) {
        // Off the screen the caret is no longer wanted.
        SetCaretWanted(false);
        return;
    }
    if (m_caretFocus) SetCaretPos(column * m_screen.CellWidth(), row * m_screen.CellHeight());
}
