// The session's text screen: character and attribute cells, the caret, and
// the cell metrics that map cells to the control window's pixels. The core
// writes here; a view (the Qt canvas, later the control window) reads the
// cells through View() and repaints when Revision() moves. No pixels here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Draw.h"

// The settings the cell metrics are taken from (the control's properties).
struct CellSettings {
    std::u16string fontName;
    int32_t fontSize = 0;     // points; 0: a font fitted to the cell
    int32_t numColumns = 21;  // 0 with numRows 0: derived from the cell size
    int32_t numRows = 16;
    int32_t cellWidth = 0;   // 0: measured from the font
    int32_t cellHeight = 0;  // 0: measured from the font
};

class CScreenModel {
public:
    static constexpr char16_t kBlank = u' ';
    // An attribute word: the foreground colour index in the low nibble (bit 3
    // bright), the background in the next (bit 7 bright), then the bits
    // below; reverse and double width are the picture's (plat::draw). The
    // bits other than those two stay with the cell and its saved screen.
    static constexpr char16_t kAttributeForeground = 0x0F;
    static constexpr char16_t kAttributeBrightForeground = 0x08;
    static constexpr char16_t kAttributeBackground = 0xF0;
    static constexpr char16_t kAttributeBackgroundColour = 0x70;
    static constexpr char16_t kAttributeBrightBackground = 0x80;
    static constexpr char16_t kAttributeBlink = 0x100;
    static constexpr char16_t kAttributeBold = 0x400;
    static constexpr char16_t kAttributeItalic = 0x800;
    static constexpr char16_t kAttributeUnderline = 0x1000;
    static constexpr char16_t kAttributeHidden = 0x2000;
    static constexpr char16_t kAttributeCrossedOut = 0x4000;
    static constexpr char16_t kDefaultAttribute = 0x70;  // black on white
    // Rows kept below the screen for the display commands' use.
    static constexpr int kExtraRows = 3;
    static constexpr int kDefaultCellWidth = 11;
    static constexpr int kDefaultCellHeight = 18;

    struct Caret {
        int row = 0;
        int column = 0;
        bool visible = false;
    };

    // The cells and caret as saved by SaveCells.
    struct Snapshot {
        int columns = 0;
        int rows = 0;
        std::vector<char16_t> characters;
        std::vector<char16_t> attributes;
        Caret caret;
    };

    CScreenModel();

    // ---- Metrics
    // The window's client size in pixels (negative counts as 0).
    void SetClientSize(int width, int height);
    int ClientWidth() const { return m_clientWidth; }
    int ClientHeight() const { return m_clientHeight; }
    // Cell size from the settings and the font (fonts may be null: default
    // cell size). The grid is not changed; Rebuild does that.
    void UpdateCellMetrics(const CellSettings& settings, plat::draw::IFontMeasure* fonts);
    // The grid for the client size and cell size, every cell blank.
    void Rebuild();
    int CellWidth() const { return m_cellWidth; }
    int CellHeight() const { return m_cellHeight; }
    int DoubleCellWidth() const { return 2 * m_cellWidth; }
    int Columns() const { return m_columns; }
    int Rows() const { return m_rows; }
    // Cells held: (rows + kExtraRows) x columns.
    int CellCount() const { return static_cast<int>(m_characters.size()); }

    // ---- Cells. Positions outside the grid are left alone.
    void Clear();
    // Writes from (row, column) with the attribute. Without wrap the text
    // stops at the end of the row; with wrap it goes on at the start of the
    // next row, and stops after the last row (nothing scrolls).
    void WriteText(int row, int column, std::u16string_view text, char16_t attribute = kDefaultAttribute,
                   bool wrap = false);
    void ClearToEndOfLine(int row, int column, char16_t attribute = kDefaultAttribute);
    // One cell, when (row, column) lies on the screen (never the rows below it).
    void PutCell(int row, int column, char16_t c, char16_t attribute);
    bool OnScreen(int row, int column) const {
        return row >= 0 && row < m_rows && column >= 0 && column < m_columns;
    }
    // The attribute of writes that give none (0x70 at start).
    char16_t DefaultAttribute() const { return m_defaultAttribute; }
    void SetDefaultAttribute(char16_t attribute) { m_defaultAttribute = attribute; }
    char16_t CharacterAt(int row, int column) const;
    char16_t AttributeAt(int row, int column) const;
    // count cells of a row from column (fewer at the end of the row).
    std::u16string Text(int row, int column, int count) const;
    // The characters, row by row, for readers that take the whole screen.
    const char16_t* Characters() const { return m_characters.data(); }

    Snapshot SaveCells() const;
    // False when the snapshot is of another grid size (nothing changes then).
    bool RestoreCells(const Snapshot& snapshot);

    // ---- Caret
    void MoveCaret(int row, int column);
    void ShowCaret(bool visible);
    const Caret& GetCaret() const { return m_caret; }

    // ---- For the view
    plat::draw::CellView View() const;
    // Moves on every change of cells, caret or grid.
    uint32_t Revision() const { return m_revision; }

private:
    bool Inside(int row, int column) const;
    size_t Index(int row, int column) const;
    void Changed() { ++m_revision; }

    int m_clientWidth = 0;
    int m_clientHeight = 0;
    int m_columns = 21;
    int m_rows = 16;
    int m_cellWidth = kDefaultCellWidth;
    int m_cellHeight = kDefaultCellHeight;
    std::vector<char16_t> m_characters;
    std::vector<char16_t> m_attributes;
    Caret m_caret;
    char16_t m_defaultAttribute = kDefaultAttribute;
    uint32_t m_revision = 0;
};
