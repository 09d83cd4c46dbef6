#include "core/session/ScreenModel.h"

#include <algorithm>
#include <climits>

CScreenModel::CScreenModel() { Rebuild(); }

void CScreenModel::SetClientSize(int width, int height) {
    m_clientWidth = std::max(width, 0);
    m_clientHeight = std::max(height, 0);
}

void CScreenModel::UpdateCellMetrics(const CellSettings& settings, plat::draw::IFontMeasure* fonts) {
    int columns = settings.numColumns;
    int rows = settings.numRows;
    if (columns <= 0 || rows <= 0) {
        columns = m_clientWidth / kDefaultCellWidth;
        rows = m_clientHeight / kDefaultCellHeight;
        if (columns > 0 && rows > 0) {
            m_columns = columns;
            m_rows = rows;
        }
    }
    plat::draw::FontMetrics metrics;
    bool measured = false;
    if (fonts && settings.fontSize > 0) {
        // A configured size of any magnitude must not overflow the pixel height.
        const int height =
            static_cast<int>(std::min<int64_t>(int64_t{settings.fontSize} * fonts->DotsPerInch() / 72, INT_MAX));
        measured = fonts->SelectFont(settings.fontName, height, 0, &metrics);
    } else if (fonts && columns > 0 && rows > 0 && m_clientWidth > 0 && m_clientHeight > 0) {
        // A font fitted to the cell; a face without a fixed-pitch font of
        // that size is asked again at half the width.
        const int height = m_clientHeight / rows;
        const int width = m_clientWidth / columns;
        measured = fonts->SelectFont(settings.fontName, height, width, &metrics);
        const bool fixedPitch = metrics.widthW == metrics.widthM && metrics.widthM == metrics.widthI;
        if (measured && !fixedPitch) measured = fonts->SelectFont(settings.fontName, height, width / 2, &metrics);
    }
    int cellWidth = m_cellWidth;
    int cellHeight = m_cellHeight;
    if (measured) {
        cellWidth = std::max(metrics.widthW, metrics.widthM);
        cellHeight = metrics.height;
    }
    if (settings.cellWidth > 0) cellWidth = settings.cellWidth;
    if (settings.cellHeight > 0) cellHeight = settings.cellHeight;
    // Every division by the cell size relies on these never being 0.
    m_cellWidth = cellWidth > 0 ? cellWidth : kDefaultCellWidth;
    m_cellHeight = cellHeight > 0 ? cellHeight : kDefaultCellHeight;
    Changed();
}

void CScreenModel::Rebuild() {
    if (m_clientWidth > 0 && m_clientHeight > 0) {
        const int columns = m_clientWidth / m_cellWidth;
        const int rows = m_clientHeight / m_cellHeight;
        if (columns > 0 && rows > 0) {
            m_columns = columns;
            m_rows = rows;
        }
    }
    const size_t cells = static_cast<size_t>(m_rows + kExtraRows) * static_cast<size_t>(m_columns);
    m_characters.assign(cells, kBlank);
    m_attributes.assign(cells, kDefaultAttribute);
    Changed();
}

bool CScreenModel::Inside(int row, int column) const {
    return row >= 0 && row < m_rows + kExtraRows && column >= 0 && column < m_columns;
}

size_t CScreenModel::Index(int row, int column) const {
    return static_cast<size_t>(row) * static_cast<size_t>(m_columns) + static_cast<size_t>(column);
}

void CScreenModel::Clear() {
    std::fill(m_characters.begin(), m_characters.end(), kBlank);
    std::fill(m_attributes.begin(), m_attributes.end(), kDefaultAttribute);
    Changed();
}

void CScreenModel::WriteText(int row, int column, std::u16string_view text, char16_t attribute, bool wrap) {
    if (column < 0 || row < 0) return;
    for (char16_t c : text) {
        if (column >= m_columns) {
            if (!wrap || row >= m_rows - 1) break;
            column = 0;
            ++row;
        }
        if (row >= m_rows) break;
        const size_t at = Index(row, column);
        m_characters[at] = c;
        m_attributes[at] = attribute;
        ++column;
    }
    Changed();
}

void CScreenModel::ClearToEndOfLine(int row, int column, char16_t attribute) {
    if (!Inside(row, std::max(column, 0))) return;
    for (int c = std::max(column, 0); c < m_columns; ++c) {
        m_characters[Index(row, c)] = kBlank;
        m_attributes[Index(row, c)] = attribute;
    }
    Changed();
}

void CScreenModel::PutCell(int row, int column, char16_t c, char16_t attribute) {
    if (!OnScreen(row, column)) return;
    m_characters[Index(row, column)] = c;
    m_attributes[Index(row, column)] = attribute;
    Changed();
}

char16_t CScreenModel::CharacterAt(int row, int column) const {
    return Inside(row, column) ? m_characters[Index(row, column)] : u'\0';
}

char16_t CScreenModel::AttributeAt(int row, int column) const {
    return Inside(row, column) ? m_attributes[Index(row, column)] : u'\0';
}

std::u16string CScreenModel::Text(int row, int column, int count) const {
    if (!Inside(row, column) || count <= 0) return {};
    const int end = std::min(m_columns, column + std::min(count, m_columns));
    return std::u16string(m_characters.data() + Index(row, column), static_cast<size_t>(end - column));
}

CScreenModel::Snapshot CScreenModel::SaveCells() const {
    return Snapshot{m_columns, m_rows, m_characters, m_attributes, m_caret};
}

bool CScreenModel::RestoreCells(const Snapshot& snapshot) {
    if (snapshot.columns != m_columns || snapshot.rows != m_rows ||
        snapshot.characters.size() != m_characters.size() || snapshot.attributes.size() != m_attributes.size())
        return false;
    m_characters = snapshot.characters;
    m_attributes = snapshot.attributes;
    m_caret = snapshot.caret;
    Changed();
    return true;
}

void CScreenModel::MoveCaret(int row, int column) {
    m_caret.row = row;
    m_caret.column = column;
    Changed();
}

void CScreenModel::ShowCaret(bool visible) {
    m_caret.visible = visible;
    Changed();
}

plat::draw::CellView CScreenModel::View() const {
    plat::draw::CellView view;
    view.characters = m_characters.data();
    view.attributes = m_attributes.data();
    view.columns = m_columns;
    view.rows = m_rows;
    view.cellWidth = m_cellWidth;
    view.cellHeight = m_cellHeight;
    view.caretRow = m_caret.row;
    view.caretColumn = m_caret.column;
    view.caretVisible = m_caret.visible;
    return view;
}
