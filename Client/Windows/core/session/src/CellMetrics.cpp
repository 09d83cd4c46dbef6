// Cell metrics from the session font and the back buffer of the window's size.
#include <algorithm>
#include <climits>

#include "core/session/ClientCore.h"

namespace {
constexpr int kDefaultCellWidth = 11;
constexpr int kDefaultCellHeight = 18;
}  // namespace

void CClientCore::SetClientSize(int width, int height) {
    m_clientWidth = std::max(width, 0);
    m_clientHeight = std::max(height, 0);
}

void CClientCore::UpdateCellMetrics() {
    int columns = m_props.numColumns;
    int rows = m_props.numRows;
    if (columns <= 0 || rows <= 0) {
        columns = m_clientWidth / kDefaultCellWidth;
        rows = m_clientHeight / kDefaultCellHeight;
        if (columns > 0 && rows > 0) {
            m_columns = columns;
            m_rows = rows;
        }
    }
    FontMetrics metrics;
    bool measured = false;
    if (m_props.fontSize > 0) {
        // A configured size of any magnitude must not overflow the pixel height.
        const int height = static_cast<int>(
            std::min<int64_t>(int64_t{m_props.fontSize} * m_canvas->DotsPerInch() / 72, INT_MAX));
        measured = m_canvas->SelectFont(m_props.fontName, height, 0, &metrics);
    } else if (columns > 0 && rows > 0 && m_clientWidth > 0 && m_clientHeight > 0) {
        // A font fitted to the cell; a face without a fixed-pitch font of
        // that size is asked again at half the width.
        const int height = m_clientHeight / rows;
        const int width = m_clientWidth / columns;
        measured = m_canvas->SelectFont(m_props.fontName, height, width, &metrics);
        const bool fixedPitch = metrics.widthW == metrics.widthM && metrics.widthM == metrics.widthI;
        if (measured && !fixedPitch) measured = m_canvas->SelectFont(m_props.fontName, height, width / 2, &metrics);
    }
    int cellWidth = m_cellWidth;
    int cellHeight = m_cellHeight;
    if (measured) {
        cellWidth = std::max(metrics.widthW, metrics.widthM);
        cellHeight = metrics.height;
    }
    if (m_props.cellWidth > 0) cellWidth = m_props.cellWidth;
    if (m_props.cellHeight > 0) cellHeight = m_props.cellHeight;
    // Every division by the cell size relies on these never being 0.
    m_cellWidth = cellWidth > 0 ? cellWidth : kDefaultCellWidth;
    m_cellHeight = cellHeight > 0 ? cellHeight : kDefaultCellHeight;
    m_doubleCellWidth = 2 * m_cellWidth;
    m_widgets->SetCellMetrics(m_cellWidth, m_cellHeight);
    m_widgets->SetDefaultFont(m_props.fontName, m_props.fontSize);
}

void CClientCore::CreateBackBuffer() {
    if (m_clientWidth > 0 && m_clientHeight > 0) {
        m_canvas->Resize(m_clientWidth, m_clientHeight);
        const int columns = m_clientWidth / std::max(m_cellWidth, 1);
        const int rows = m_clientHeight / std::max(m_cellHeight, 1);
        if (columns > 0 && rows > 0) {
            m_columns = columns;
            m_rows = rows;
        }
    }
    m_canvas->FillWhite();
    const int32_t cells = (m_rows + 3) * m_columns;
    if (char16_t* chars = m_screenChars.Allocate(cells)) std::fill(chars, chars + cells, u' ');
    if (char16_t* attrs = m_screenAttrs.Allocate(cells)) std::fill(attrs, attrs + cells, char16_t(0x70));
    m_screen->Clear();
}
