#include <gtest/gtest.h>

#include "core/session/ScreenModel.h"

namespace {

std::u16string Row(const CScreenModel& m, int row) { return m.Text(row, 0, m.Columns()); }
std::u16string Blank(int n) { return std::u16string(static_cast<size_t>(n), u' '); }

TEST(ScreenModel, WritesClipOrWrapAndNeverScroll) {
    CScreenModel m;  // 21 x 16
    m.WriteText(0, 18, u"abcde");
    EXPECT_EQ(Row(m, 0), Blank(18) + u"abc");
    EXPECT_EQ(Row(m, 1), Blank(21));
    m.WriteText(1, 19, u"wxyz", 0x07, true);
    EXPECT_EQ(m.Text(1, 19, 2), u"wx");
    EXPECT_EQ(m.Text(2, 0, 3), u"yz ");
    EXPECT_EQ(m.AttributeAt(2, 0), 0x07);
    EXPECT_EQ(m.AttributeAt(2, 2), CScreenModel::kDefaultAttribute);
    // The last row wraps nowhere: the rest is dropped, the rows below stay.
    m.WriteText(15, 20, u"123", CScreenModel::kDefaultAttribute, true);
    EXPECT_EQ(m.Text(15, 20, 1), u"1");
    EXPECT_EQ(Row(m, 16), Blank(21));
    // Outside the grid nothing happens.
    const uint32_t revision = m.Revision();
    m.WriteText(-1, 0, u"x");
    m.WriteText(0, -3, u"x");
    EXPECT_EQ(m.CharacterAt(-1, 0), u'\0');
    EXPECT_EQ(m.Revision(), revision);
}

TEST(ScreenModel, ClearToEndOfLineAndClear) {
    CScreenModel m;
    m.WriteText(3, 0, u"hello world", 0x07);
    m.ClearToEndOfLine(3, 5);
    EXPECT_EQ(m.Text(3, 0, 7), u"hello  ");
    EXPECT_EQ(m.AttributeAt(3, 6), CScreenModel::kDefaultAttribute);
    EXPECT_EQ(m.AttributeAt(3, 4), 0x07);
    m.Clear();
    EXPECT_EQ(Row(m, 3), Blank(21));
}

TEST(ScreenModel, SavedCellsComeBackOnlyOnTheSameGrid) {
    CScreenModel m;
    m.WriteText(0, 0, u"keep");
    m.MoveCaret(0, 4);
    const CScreenModel::Snapshot saved = m.SaveCells();
    m.Clear();
    m.MoveCaret(5, 5);
    EXPECT_TRUE(m.RestoreCells(saved));
    EXPECT_EQ(m.Text(0, 0, 4), u"keep");
    EXPECT_EQ(m.GetCaret().column, 4);

    m.SetClientSize(110, 180);  // 10 x 10 cells
    m.Rebuild();
    EXPECT_EQ(m.Columns(), 10);
    EXPECT_FALSE(m.RestoreCells(saved));
    EXPECT_EQ(m.Text(0, 0, 4), Blank(4));
}

TEST(ScreenModel, CellMetricsFromSettingsAndFonts) {
    struct Fonts : plat::draw::IFontMeasure {
        bool SelectFont(const std::u16string&, int height, int, plat::draw::FontMetrics* m) override {
            *m = {8, 9, 8, height};
            return true;
        }
    } fonts;
    CScreenModel m;
    m.SetClientSize(240, 320);
    CellSettings settings;
    settings.fontSize = 12;  // 16 pixels at 96 dots per inch
    m.UpdateCellMetrics(settings, &fonts);
    EXPECT_EQ(m.CellWidth(), 9);
    EXPECT_EQ(m.CellHeight(), 16);
    m.Rebuild();
    EXPECT_EQ(m.Columns(), 240 / 9);
    EXPECT_EQ(m.Rows(), 20);
    EXPECT_EQ(m.CellCount(), (20 + CScreenModel::kExtraRows) * (240 / 9));

    settings.cellWidth = 12;
    m.UpdateCellMetrics(settings, nullptr);
    EXPECT_EQ(m.CellWidth(), 12);
    EXPECT_EQ(m.DoubleCellWidth(), 24);

    const plat::draw::CellView view = m.View();
    EXPECT_EQ(view.characters, m.Characters());
    EXPECT_EQ(view.cellWidth, 12);
}

}  // namespace
