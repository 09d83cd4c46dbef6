// The text screen's single entry: each operation on the model, its answers,
// and the view told of what changed.
#include <gtest/gtest.h>

#include "CoreFixture.h"

namespace {

using namespace coretest;

class ScreenOpTest : public CoreTest {
protected:
    int32_t Op(ScreenOperation op) { return m_core->ScreenOp(op); }
    ScreenOperation Make(ScreenOpCode code, int row = 0, int column = 0, int attribute = 0) {
        ScreenOperation op;
        op.op = code;
        op.row = row;
        op.column = column;
        op.attribute = attribute;
        return op;
    }
    const CScreenModel& Screen() const { return m_core->Screen(); }
};

TEST_F(ScreenOpTest, SizeAndCursorAreAnswered) {
    ScreenOperation size = Make(ScreenOpCode::Size);
    EXPECT_EQ(m_core->ScreenOp(size), 0);
    EXPECT_EQ(size.row, m_core->Screen().Rows());
    EXPECT_EQ(size.column, m_core->Screen().Columns());
    Op(Make(ScreenOpCode::MoveCursor, 3, 4));
    ScreenOperation cursor = Make(ScreenOpCode::Cursor);
    m_core->ScreenOp(cursor);
    EXPECT_EQ(cursor.row, 3);
    EXPECT_EQ(cursor.column, 4);
    EXPECT_EQ(Op(Make(ScreenOpCode::None)), 0);
}

TEST_F(ScreenOpTest, WritesPutsAndClears) {
    // Write text: cut to the maximum length, the default attribute for 0, the cursor after it.
    ScreenOperation write = Make(ScreenOpCode::WriteText, 1, 2, 0);
    write.text = u"HELLO";
    write.maxLength = 3;
    write.moveCursor = true;
    Op(write);
    EXPECT_EQ(Screen().Text(1, 2, 4), u"HEL ");
    EXPECT_EQ(Screen().AttributeAt(1, 2), CScreenModel::kDefaultAttribute);
    EXPECT_EQ(Screen().GetCaret().column, 5);
    // Without the move-cursor flag the cursor stays at the start; a given attribute is kept.
    write = Make(ScreenOpCode::WriteText, 2, 0, 0x17);
    write.text = u"ab";
    Op(write);
    EXPECT_EQ(Screen().AttributeAt(2, 1), 0x17);
    EXPECT_EQ(Screen().GetCaret().row, 2);
    EXPECT_EQ(Screen().GetCaret().column, 0);

    // The default attribute is taken by writes that give none.
    Op(Make(ScreenOpCode::SetDefaultAttribute, 0, 0, 0x270));
    write = Make(ScreenOpCode::WriteText, 3, 0, -1);
    write.text = u"r";
    Op(write);
    EXPECT_EQ(Screen().AttributeAt(3, 0), 0x270);

    // One character, on the screen only.
    ScreenOperation put = Make(ScreenOpCode::PutCharacter, 0, 0, 0x200);
    put.text = u"Z";
    Op(put);
    EXPECT_EQ(Screen().CharacterAt(0, 0), u'Z');
    EXPECT_EQ(Screen().AttributeAt(0, 0), 0x200);
    put.row = m_core->Screen().Rows();
    Op(put);
    EXPECT_EQ(Screen().CharacterAt(m_core->Screen().Rows(), 0), CScreenModel::kBlank);

    // Clear to the end of the line from the cursor, with the attribute.
    Op(Make(ScreenOpCode::MoveCursor, 1, 3));
    Op(Make(ScreenOpCode::ClearToEndOfLine, 0, 0, 0x07));
    EXPECT_EQ(Screen().Text(1, 2, 3), u"H  ");
    EXPECT_EQ(Screen().AttributeAt(1, 3), 0x07);
    EXPECT_EQ(Screen().AttributeAt(1, 2), CScreenModel::kDefaultAttribute);

    // Clear: blank cells, the cursor home.
    Op(Make(ScreenOpCode::Clear));
    EXPECT_EQ(Screen().Text(1, 0, 6), u"      ");
    EXPECT_EQ(Screen().AttributeAt(2, 1), CScreenModel::kDefaultAttribute);
    EXPECT_EQ(Screen().GetCaret().row, 0);
    EXPECT_EQ(Screen().GetCaret().column, 0);
}

TEST_F(ScreenOpTest, SavedCellsRestoreTheirRectangle) {
    Send("3" + FD + "abcdef\r\nghijkl");
    std::vector<char16_t> cells;
    ScreenOperation save = Make(ScreenOpCode::SaveCells, 0, 1);
    save.endRow = 2;
    save.endColumn = 3;
    save.cells = &cells;
    Op(save);
    EXPECT_EQ(cells, (std::vector<char16_t>{u'b', 0x70, u'c', 0x70, u'h', 0x70, u'i', 0x70}));

    Op(Make(ScreenOpCode::Clear));
    ScreenOperation restore = save;
    restore.op = ScreenOpCode::RestoreCells;
    restore.row = 1;  // the same cells one row lower
    restore.endRow = 3;
    Op(restore);
    EXPECT_EQ(Screen().Text(1, 0, 4), u" bc ");
    EXPECT_EQ(Screen().Text(2, 0, 4), u" hi ");

    // A rectangle past the screen saves only its on-screen part; a short
    // buffer restores what it holds.
    save.row = m_core->Screen().Rows() - 1;
    save.endRow = m_core->Screen().Rows() + 5;
    save.column = m_core->Screen().Columns() - 1;
    save.endColumn = m_core->Screen().Columns() + 5;
    Op(save);
    EXPECT_EQ(cells.size(), 2u);
    cells = {u'Q', 0x70};
    restore.row = 0;
    restore.column = 0;
    restore.endRow = 2;
    restore.endColumn = 2;
    Op(restore);
    EXPECT_EQ(Screen().Text(0, 0, 2), u"Q ");
    EXPECT_EQ(Screen().CharacterAt(1, 1), u'b');
}

TEST_F(ScreenOpTest, RepaintTellsTheViewEvenWithoutChange) {
    const int before = m_view.changes;
    Op(Make(ScreenOpCode::Repaint));
    Op(Make(ScreenOpCode::RepaintAll));
    EXPECT_EQ(m_view.changes, before + 2);
    ScreenOperation put = Make(ScreenOpCode::PutCharacter, 0, 0, 0x70);
    put.text = u"x";
    Op(put);  // a change reaches the view at once
    EXPECT_EQ(m_view.changes, before + 3);
}

}  // namespace
