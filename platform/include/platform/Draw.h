// The drawing layer's side that needs no GUI library: how a view measures the
// session font, and the cells it paints. The Qt canvas (platform/QtCanvas.h,
// its own library linking QtGui) implements it; protocol code sees only this.
#pragma once

#include <string>

namespace plat::draw {

// Advances of the letters a cell size is taken from, and the line height.
struct FontMetrics {
    int widthW = 0;
    int widthM = 0;
    int widthI = 0;
    int height = 0;
};

class IFontMeasure {
public:
    virtual ~IFontMeasure() = default;
    // Selects the font: the face (empty for the default fixed face), the
    // pixel height, and the pixel width of a character (0: the face's own).
    // False when no font is available; metrics are then left as they are.
    virtual bool SelectFont(const std::u16string& face, int pixelHeight, int pixelWidth, FontMetrics* metrics) = 0;
    virtual int DotsPerInch() const { return 96; }
};

// A read-only picture of a text screen: rows x columns cells, row by row.
// An attribute's low nibble is the text colour, the next the background, as
// the eight basic colours (0 black ... 7 white); 0x200 swaps the two
// (reverse) and 0x8000 marks the first half of a double-width character,
// drawn over its own cell and the next.
constexpr char16_t kAttributeReverse = 0x200;
constexpr char16_t kAttributeDoubleWidth = 0x8000;

struct CellView {
    const char16_t* characters = nullptr;
    const char16_t* attributes = nullptr;
    int columns = 0;
    int rows = 0;
    int cellWidth = 0;
    int cellHeight = 0;
    int caretRow = 0;
    int caretColumn = 0;
    bool caretVisible = false;
};

}  // namespace plat::draw
