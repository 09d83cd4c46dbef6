#include "control/ScreenView.h"

#include "platform/Window.h"

void CScreenView::ScreenChanged() {
    m_stale = true;
    InvalidateRect(m_window, nullptr, FALSE);
}

void CScreenView::Update() {
    if (!m_stale) return;
    m_stale = false;
    m_canvas.Paint(m_model.View());
}

void CScreenView::TakeFocus() { SetFocus(m_window); }
