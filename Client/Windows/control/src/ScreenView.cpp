#include "control/ScreenView.h"

#include "platform/Window.h"

void CScreenView::ScreenChanged() {
    m_canvas.Paint(m_model.View());
    InvalidateRect(m_window, nullptr, FALSE);
}

void CScreenView::TakeFocus() { SetFocus(m_window); }
