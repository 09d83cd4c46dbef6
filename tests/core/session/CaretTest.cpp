// The control window's caret follows the core's on focus gain and loss.
#include <gtest/gtest.h>

#include <climits>

#include "CoreFixture.h"
#include "platform/Window.h"

namespace {

using namespace coretest;

class CaretTest : public CoreTest {
protected:
    int32_t Op(ScreenOpCode code) {
        ScreenOperation op;
        op.op = code;
        return m_core->ScreenOp(op);
    }
    void SetWrap(bool on) {
        ChangeProperties([on](CoreProperties& p) { p.wrap = on ? 1 : 0; });
    }
};

TEST_F(CaretTest, FocusGainPlacesTheCaretAndLossDestroysIt) {
    const int cw = m_core->Screen().CellWidth();
    const int ch = m_core->Screen().CellHeight();
    m_core->MoveCursor(2, 3);
    m_core->CaretOn();
    auto caret = plat::window::GetThreadCaret();
    EXPECT_TRUE(m_core->CaretHasFocus());
    EXPECT_EQ(caret.owner, m_core->GetWindow());
    EXPECT_EQ(caret.width, cw);
    EXPECT_EQ(caret.height, ch);
    EXPECT_EQ(caret.x, 3 * cw);
    EXPECT_EQ(caret.y, 2 * ch);
    EXPECT_EQ(caret.visible, m_core->Screen().GetCaret().visible);

    // With the focus the caret moves with the cursor; off the screen it is
    // no longer wanted and stays where it was.
    m_core->MoveCursor(1, 4);
    caret = plat::window::GetThreadCaret();
    EXPECT_EQ(caret.x, 4 * cw);
    EXPECT_EQ(caret.y, 1 * ch);
    m_core->MoveCursor(m_core->Screen().Rows(), 0);
    EXPECT_FALSE(m_core->Screen().GetCaret().visible);
    EXPECT_FALSE(plat::window::GetThreadCaret().visible);
    EXPECT_EQ(plat::window::GetThreadCaret().y, 1 * ch);

    m_core->CaretOff();
    EXPECT_FALSE(m_core->CaretHasFocus());
    EXPECT_EQ(plat::window::GetThreadCaret().owner, 0u);
    // Without the focus nothing reaches the window.
    m_core->MoveCursor(0, 0);
    EXPECT_EQ(plat::window::GetThreadCaret().owner, 0u);
    EXPECT_EQ(m_core->Screen().GetCaret().row, 0);
}

TEST_F(CaretTest, AWantedCaretShowsOnFocusAndHidesOnLoss) {
    // An input field wants the caret.
    Send(RfInputCommand(u"", 5, 0, u""));
    ASSERT_TRUE(m_core->Screen().GetCaret().visible);
    m_core->CaretOn();
    EXPECT_TRUE(plat::window::GetThreadCaret().visible);
    m_core->CaretOff();
    EXPECT_EQ(plat::window::GetThreadCaret().owner, 0u);
}

TEST_F(CaretTest, MoveCursorTakesAnOffsetInWrapModeAndDropsTheCaretOffTheScreen) {
    const int cols = m_core->Screen().Columns();
    const int rows = m_core->Screen().Rows();
    const int cw = m_core->Screen().CellWidth();
    const int ch = m_core->Screen().CellHeight();
    struct Case {
        bool wrap;
        bool focus;
        int row, column;
        bool onScreen;
        int wantRow, wantColumn;  // the cursor afterwards
    };
    const Case cases[] = {
        {false, true, 2, 3, true, 2, 3},
        {true, true, 2, 3, true, 2, 3},
        {true, true, 1, cols + 2, true, 2, 2},             // offset past the row's end
        {true, true, 0, rows * cols - 1, true, rows - 1, cols - 1},
        {true, true, 0, rows * cols, false, rows, 0},      // one past the last cell
        {true, true, 1, -1, false, 1, -1},
        {false, true, 1, cols, false, 1, cols},            // no offset outside wrap mode
        {false, true, -1, 0, false, -1, 0},
        {false, false, 2, 3, true, 2, 3},
        {true, false, 0, cols + 1, true, 1, 1},
        {false, false, rows, 0, false, rows, 0},
        {true, true, INT_MAX, cols, false, INT_MAX, 0},  // the row never overflows
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "wrap " << c.wrap << " focus " << c.focus << " at " << c.row << ","
                                          << c.column);
        m_core->CaretOff();
        SetWrap(c.wrap);
        m_core->MoveCursor(0, 0);
        Op(ScreenOpCode::CaretOn);
        if (c.focus) m_core->CaretOn();
        m_core->MoveCursor(c.row, c.column);
        EXPECT_EQ(Caret().row, c.wantRow);
        EXPECT_EQ(Caret().column, c.wantColumn);
        EXPECT_EQ(Caret().visible, c.onScreen);  // still wanted only on the screen
        const auto window = plat::window::GetThreadCaret();
        if (!c.focus) {
            EXPECT_EQ(window.owner, 0u);
            EXPECT_EQ(Op(ScreenOpCode::CaretShown), 0);
            continue;
        }
        EXPECT_EQ(window.visible, c.onScreen);
        EXPECT_EQ(Op(ScreenOpCode::CaretShown), c.onScreen ? 1 : 0);
        if (c.onScreen) {
            EXPECT_EQ(window.x, c.wantColumn * cw);
            EXPECT_EQ(window.y, c.wantRow * ch);
        } else {
            EXPECT_EQ(window.x, 0);  // stays where it was
        }
    }
}

TEST_F(CaretTest, CaretOnAndOffKeepTheWindowCaretInStep) {
    // Without the focus the caret is only wanted.
    EXPECT_EQ(Op(ScreenOpCode::CaretOn), 0);
    EXPECT_TRUE(Caret().visible);
    EXPECT_EQ(Op(ScreenOpCode::CaretShown), 0);
    m_core->CaretOn();
    EXPECT_EQ(Op(ScreenOpCode::CaretShown), 1);
    EXPECT_TRUE(plat::window::GetThreadCaret().visible);

    // Off twice and on again: the window's show and hide calls stay balanced.
    Op(ScreenOpCode::CaretOff);
    Op(ScreenOpCode::CaretOff);
    EXPECT_FALSE(Caret().visible);
    EXPECT_EQ(Op(ScreenOpCode::CaretShown), 0);
    EXPECT_FALSE(plat::window::GetThreadCaret().visible);
    Op(ScreenOpCode::CaretOn);
    Op(ScreenOpCode::CaretOn);
    EXPECT_TRUE(plat::window::GetThreadCaret().visible);
    EXPECT_EQ(Op(ScreenOpCode::CaretShown), 1);
    Op(ScreenOpCode::CaretOff);
    EXPECT_FALSE(plat::window::GetThreadCaret().visible);

    // A cursor off the screen: wanted but not shown outside wrap mode, shown in it.
    ScreenOperation op;
    op.op = ScreenOpCode::CaretOn;
    m_core->ScreenOp(op);
    Op(ScreenOpCode::CaretOff);
    m_core->CaretOff();
    m_core->CaretOn();
    m_core->MoveCursor(m_core->Screen().Rows(), 0);  // no longer wanted
    for (bool wrap : {false, true}) {
        SetWrap(wrap);
        Op(ScreenOpCode::CaretOn);
        EXPECT_TRUE(Caret().visible);
        EXPECT_EQ(Op(ScreenOpCode::CaretShown), wrap ? 1 : 0) << wrap;
        EXPECT_EQ(plat::window::GetThreadCaret().visible, wrap) << wrap;
        Op(ScreenOpCode::CaretOff);
    }

    // Focus loss hides and destroys it; the next gain shows it when wanted.
    SetWrap(false);
    m_core->MoveCursor(0, 0);
    Op(ScreenOpCode::CaretOn);
    m_core->CaretOff();
    EXPECT_EQ(Op(ScreenOpCode::CaretShown), 0);
    EXPECT_EQ(plat::window::GetThreadCaret().owner, 0u);
    m_core->CaretOn();
    EXPECT_TRUE(plat::window::GetThreadCaret().visible);
}

TEST_F(CaretTest, AnInputFieldMovesAndShowsTheWindowCaretWhileFocused) {
    m_core->CaretOn();
    Send(RfInputCommand(u"ab", 5, 0, u"", 0, '5', 3));
    auto window = plat::window::GetThreadCaret();
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(window.x, 3 * m_core->Screen().CellWidth());
    Type(u"x");
    window = plat::window::GetThreadCaret();
    EXPECT_EQ(window.x, 4 * m_core->Screen().CellWidth());
    Type(u"\r");  // the input ends: the caret hides
    EXPECT_FALSE(plat::window::GetThreadCaret().visible);
    EXPECT_EQ(Op(ScreenOpCode::CaretShown), 0);
}

}  // namespace
