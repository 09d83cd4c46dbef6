// The session screen painted with QtGui: a picture of the window's size into
// which the screen model's cells are drawn. Only views link this (library
// platform_draw); the protocol code measures fonts through plat::draw::IFontMeasure.
#pragma once

#include <memory>
#include <string>

#include "platform/Draw.h"
#include "platform/Gdi.h"

class QImage;

namespace plat::draw {

// Starts loading the system's font configuration on a thread of its own, so
// that a program's first font is not kept waiting for it (it parses a few
// dozen files). Called once at the start of a program, before its GUI
// application is made; the first font selected waits for it to finish.
void PrepareFonts();

// The font measure of a process that shows no screen: made once, with an
// offscreen GUI application when the process has none (Qt's own messages
// then reach standard error only when critical). Null when it cannot be made.
IFontMeasure* OffscreenFontMeasure();

class CQtCanvas final : public IFontMeasure {
public:
    CQtCanvas();
    ~CQtCanvas() override;
    CQtCanvas(const CQtCanvas&) = delete;
    CQtCanvas& operator=(const CQtCanvas&) = delete;

    // (Re)creates the picture, filled white. False when it cannot be made
    // (the canvas is then empty).
    bool Resize(int width, int height);
    int Width() const;
    int Height() const;
    int DotsPerInch() const override;
    // Needs the GUI application; without one there is no font.
    bool SelectFont(const std::u16string& face, int pixelHeight, int pixelWidth, FontMetrics* metrics) override;

    // Paints every cell of the view (and its caret) in the selected font.
    void Paint(const CellView& view);
    // Paints count cells of one row from column (fewer at the row's end): each
    // cell filled in its background, its character centred and unclipped.
    void PaintCells(const CellView& view, int row, int column, int count);

    // The picture for the window; null when there is none.
    const QImage* Image() const;
    // The picture's pixels (empty when there is none), and their copy into a
    // drawing context at (0, 0); false when nothing was copied.
    plat::gdi::PixelView Pixels() const;
    bool CopyTo(HDC target) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace plat::draw
