// The text screen's single entry for the control and the widgets, and the
// control's drawing from the view's back buffer.
#include <algorithm>

#include "core/session/ClientCore.h"
#include "platform/MsgBox.h"

namespace {

// The part of a rectangle that lies on the screen: [top, bottom) x [left, right).
struct CellRect {
    int top, left, bottom, right;
    size_t Cells() const { return static_cast<size_t>(bottom - top) * static_cast<size_t>(right - left); }
};

CellRect OnScreenPart(const ScreenOperation& op, const CScreenModel& screen) {
    CellRect r{std::max(op.row, 0), std::max(op.column, 0), std::min(op.endRow, screen.Rows()),
               std::min(op.endColumn, screen.Columns())};
    if (r.bottom < r.top) r.bottom = r.top;
    if (r.right < r.left) r.right = r.left;
    return r;
}

}  // namespace

int32_t CClientCore::ScreenOp(ScreenOperation& op) {
    CScreenModel& s = m_screen;
    int32_t result = 0;
    switch (op.op) {
    case ScreenOpCode::Clear:
        s.Clear();
        PlaceCursor(0, 0);
        ShowScreen(true);
        break;
    case ScreenOpCode::Size:
        op.row = s.Rows();
        op.column = s.Columns();
        break;
    case ScreenOpCode::ClearToEndOfLine:
        s.ClearToEndOfLine(s.GetCaret().row, s.GetCaret().column, static_cast<char16_t>(op.attribute));
        break;
    case ScreenOpCode::Cursor:
        op.row = s.GetCaret().row;
        op.column = s.GetCaret().column;
        break;
    case ScreenOpCode::MoveCursor:
        MoveCursor(op.row, op.column);
        break;
    case ScreenOpCode::CaretShown:
        result = m_caretShown ? 1 : 0;
        break;
    case ScreenOpCode::WriteText: {
        std::u16string_view text = op.text;
        if (op.maxLength >= 0 && text.size() > static_cast<size_t>(op.maxLength)) text = text.substr(0, op.maxLength);
        m_display.WriteScreenText(text, op.row, op.column, op.attribute > 0 ? static_cast<char16_t>(op.attribute) : 0,
                        op.moveCursor);
        break;
    }
    case ScreenOpCode::SaveCells: {
        if (!op.cells) break;
        const CellRect r = OnScreenPart(op, s);
        op.cells->clear();
        op.cells->reserve(r.Cells() * 2);
        for (int row = r.top; row < r.bottom; ++row)
            for (int column = r.left; column < r.right; ++column) {
                op.cells->push_back(s.CharacterAt(row, column));
                op.cells->push_back(s.AttributeAt(row, column));
            }
        break;
    }
    case ScreenOpCode::RestoreCells: {
        if (!op.cells) break;
        const CellRect r = OnScreenPart(op, s);
        // A short buffer restores what it holds.
        const size_t cells = std::min(r.Cells(), op.cells->size() / 2);
        for (size_t i = 0; i < cells; ++i) {
            const int width = r.right - r.left;
            s.PutCell(r.top + static_cast<int>(i / width), r.left + static_cast<int>(i % width), (*op.cells)[2 * i],
                      (*op.cells)[2 * i + 1]);
        }
        break;
    }
    case ScreenOpCode::CaretOn:
        SetCaretWanted(true);
        break;
    case ScreenOpCode::CaretOff:
        SetCaretWanted(false);
        break;
    case ScreenOpCode::None:
        break;
    case ScreenOpCode::Repaint:
    case ScreenOpCode::RepaintAll:
        ShowScreen(true);
        break;
    case ScreenOpCode::SetDefaultAttribute:
        s.SetDefaultAttribute(static_cast<char16_t>(op.attribute));
        break;
    case ScreenOpCode::PutCharacter:
        if (!op.text.empty()) s.PutCell(op.row, op.column, op.text[0], static_cast<char16_t>(op.attribute));
        break;
    }
    ShowScreen();
    return result;
}

void CClientCore::Paint(HDC target, std::u16string_view overlay) {
    if (!m_view->HasBackBuffer()) {
        m_dialogs->ShowError(u"Backbuffer not initialized.");
        return;
    }
    const int columns = m_screen.Columns();
    if (!overlay.empty()) {
        // The overlay is drawn into the back buffer for this copy only.
        const std::u16string text(overlay.substr(0, static_cast<size_t>(columns)));
        const std::u16string attributes(text.size(), static_cast<char16_t>(CScreenModel::kDefaultAttribute | plat::draw::kAttributeReverse));
        plat::draw::CellView cells = m_screen.View();
        cells.characters = text.data();
        cells.attributes = attributes.data();
        cells.columns = static_cast<int>(text.size());
        cells.rows = 1;
        m_view->DrawCells(cells, 0, 0, cells.columns);
        m_view->CopyBackBuffer(target);
        m_view->DrawCells(m_screen.View(), 0, 0, columns);
        return;
    }
    m_view->CopyBackBuffer(target);
}
