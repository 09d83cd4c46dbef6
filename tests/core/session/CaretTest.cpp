// The control window's caret follows the core's on focus gain and loss.
#include <gtest/gtest.h>

#include "CoreFixture.h"
#include "platform/Window.h"

namespace {

using namespace coretest;

class CaretTest : public CoreTest {};

TEST_F(CaretTest, FocusGainPlacesTheCaretAndLossDestroysIt) {
    const int cw = m_core->GetCellWidth();
    const int ch = m_core->GetCellHeight();
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
    m_core->MoveCursor(m_core->Rows(), 0);
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

}  // namespace
