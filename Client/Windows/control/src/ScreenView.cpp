#include "control/ScreenView.h"

#include "platform/Window.h"

void CScreenView::ScreenChanged() {
    m_stale = true;
    InvalidateRect(m_window, nullptr, FALSE);
}

void CScreenView::Update() {
    if (!m_stale) return;
    m_stale = false;
    // The caret is drawn only while the window shows it: with the focus on
    // a widget, no underline is left where the host's cursor stands.
    plat::draw::CellView view = m_model.View();
    const plat::window::CaretState caret = plat::window::GetThreadCaret();
    view.caretVisible = view.caretVisible && caret.owner == m_window && caret.visible;
    m_canvas.Paint(view);
}

void CScreenView::TakeFocus() { SetFocus(m_window); }
