#include <gtest/gtest.h>

#include "platform/Message.h"
#include "platform/Window.h"

namespace {

HWND NewWindow() {
    return CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
}

TEST(CaretTest, ShowAndHideCountAndOnlyTheOwnerMovesIt) {
    const HWND a = NewWindow();
    const HWND b = NewWindow();
    EXPECT_FALSE(ShowCaret(a));  // no caret yet
    ASSERT_TRUE(CreateCaret(a, 0, 11, 18));
    auto caret = plat::window::GetThreadCaret();
    EXPECT_EQ(caret.owner, a);
    EXPECT_EQ(caret.width, 11);
    EXPECT_EQ(caret.height, 18);
    EXPECT_FALSE(caret.visible);  // created hidden

    EXPECT_TRUE(SetCaretPos(22, 36));
    POINT p{};
    ASSERT_TRUE(GetCaretPos(&p));
    EXPECT_EQ(p.x, 22);
    EXPECT_EQ(p.y, 36);
    EXPECT_FALSE(ShowCaret(b));
    EXPECT_TRUE(ShowCaret(a));
    EXPECT_TRUE(plat::window::GetThreadCaret().visible);
    EXPECT_FALSE(ShowCaret(a));  // already shown
    EXPECT_TRUE(HideCaret(0));
    EXPECT_TRUE(HideCaret(a));
    EXPECT_TRUE(ShowCaret(a));
    EXPECT_FALSE(plat::window::GetThreadCaret().visible);  // hidden twice, shown once

    // A new caret replaces the old one, hidden again.
    ASSERT_TRUE(CreateCaret(b, 0, 5, 5));
    EXPECT_EQ(plat::window::GetThreadCaret().owner, b);
    EXPECT_FALSE(plat::window::GetThreadCaret().visible);
    EXPECT_TRUE(DestroyCaret());
    EXPECT_EQ(plat::window::GetThreadCaret().owner, 0u);
    EXPECT_FALSE(DestroyCaret());
    EXPECT_FALSE(SetCaretPos(1, 1));

    // The caret goes with its window.
    ASSERT_TRUE(CreateCaret(a, 0, 1, 1));
    DestroyWindow(a);
    EXPECT_EQ(plat::window::GetThreadCaret().owner, 0u);
    EXPECT_FALSE(CreateCaret(a, 0, 1, 1));
    DestroyWindow(b);
}

}  // namespace
