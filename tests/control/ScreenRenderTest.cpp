// The text screen drawn offscreen: what the display commands write must be
// what the picture shows, cell by cell, in the attribute's colours.
#include <gtest/gtest.h>

#include <QImage>

#include "tests/control/QtApplication.h"
#include "tests/core/session/CoreFixture.h"
#include "platform/QtCanvas.h"

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {

using namespace coretest;
using displaytest::EnsureApplication;

class ScreenRenderTest : public CoreTest {
protected:
    QColor Pixel(int row, int column, int dx = 1, int dy = 1) {
        const int cw = m_core->Screen().CellWidth();
        const int ch = m_core->Screen().CellHeight();
        return m_canvas.Image()->pixelColor(column * cw + dx, row * ch + dy);
    }
    // Whether any pixel of the cell has the colour.
    bool CellHas(int row, int column, QColor colour, int cells = 1) {
        const int cw = m_core->Screen().CellWidth();
        const int ch = m_core->Screen().CellHeight();
        for (int y = row * ch; y < (row + 1) * ch; ++y)
            for (int x = column * cw; x < (column + cells) * cw; ++x)
                if (m_canvas.Image()->pixelColor(x, y) == colour) return true;
        return false;
    }
    void Render() {
        ASSERT_TRUE(m_canvas.Resize(m_core->Screen().Columns() * m_core->Screen().CellWidth(),
                                    m_core->Screen().Rows() * m_core->Screen().CellHeight()));
        plat::draw::FontMetrics metrics;
        ASSERT_TRUE(m_canvas.SelectFont(u"", m_core->Screen().CellHeight(), 0, &metrics));
        m_canvas.Paint(m_core->Screen().View());
        ASSERT_NE(m_canvas.Image(), nullptr);
    }
    plat::draw::CQtCanvas m_canvas;
};

TEST_F(ScreenRenderTest, CellsShowTheirTextAndAttributeColours) {
    EnsureApplication();
    const Bytes ESC = "\x1B";
    // Row 0: "N" plain, "R" reverse; row 1: "B" on blue-ish background 4, a blank in colour 2.
    Send("3" + FD + "N" + ESC + "[7mR" + ESC + "[m" + ESC + "[2;1H" + ESC + "[44mB" + ESC + "[42m ");
    Render();
    EXPECT_EQ(Pixel(0, 0), QColor(Qt::white));
    EXPECT_TRUE(CellHas(0, 0, QColor(Qt::black)));      // the letter
    EXPECT_EQ(Pixel(0, 1), QColor(Qt::black));          // reverse: black behind
    EXPECT_TRUE(CellHas(0, 1, QColor(Qt::white)));      // white letter
    EXPECT_EQ(Pixel(1, 0), QColor(0x80, 0x00, 0x00));   // background colour 4
    EXPECT_TRUE(CellHas(1, 0, QColor(Qt::black)));
    EXPECT_EQ(Pixel(1, 1), QColor(0x00, 0x80, 0x00));   // background colour 2
    EXPECT_FALSE(CellHas(1, 1, QColor(Qt::black)));     // a blank shows no ink
    EXPECT_EQ(Pixel(2, 0), QColor(Qt::white));          // untouched cells
}

}  // namespace
