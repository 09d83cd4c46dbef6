// Menus, headless: building and changing them, TrackPopupMenuEx shown and
// answered by taps, and the chooser that tests and scripts answer with.
#include <gtest/gtest.h>

#include <vector>

#include "platform/Input.h"
#include "platform/Menu.h"

namespace {

struct Owner {
    HWND hwnd = 0;
    std::vector<std::pair<UINT, WPARAM>> seen;  // WM_INITMENUPOPUP and WM_COMMAND
    Owner() {
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = u"MenuOwner";
        RegisterClass(&wc);
        hwnd = CreateWindowEx(0, u"MenuOwner", u"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, 0, 0, nullptr, nullptr);
        SetForegroundWindow(hwnd);
        plat::window::SetWindowProcedure(hwnd, [this](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == WM_INITMENUPOPUP || msg == WM_COMMAND) seen.emplace_back(msg, w);
            return DefWindowProc(h, msg, w, l);
        });
    }
    ~Owner() { DestroyWindow(hwnd); }
};

void Pump() {
    MSG m;
    while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
}

// A tap posted now, read by the menu's own loop.
void TapLater(int x, int y) {
    plat::input::InjectMouse(WM_LBUTTONDOWN, POINT{x, y}, MK_LBUTTON);
    plat::input::InjectMouse(WM_LBUTTONUP, POINT{x, y}, 0);
}

}  // namespace

TEST(Menus, ItemsAreAppendedInsertedEnabledCheckedAndDestroyedWithTheirSubmenus) {
    const HMENU menu = CreatePopupMenu();
    const HMENU sub = CreatePopupMenu();
    EXPECT_TRUE(AppendMenu(menu, MF_STRING, 10, u"&Open"));
    EXPECT_TRUE(AppendMenu(menu, MF_SEPARATOR, 0, nullptr));
    EXPECT_TRUE(AppendMenu(menu, MF_POPUP, UINT_PTR(sub), u"More"));
    EXPECT_TRUE(AppendMenu(sub, MF_STRING, 20, u"Small"));
    EXPECT_TRUE(AppendMenu(sub, MF_STRING, 21, u"Large"));
    EXPECT_TRUE(InsertMenu(menu, 0, MF_BYPOSITION | MF_STRING, 9, u"New"));
    EXPECT_TRUE(InsertMenu(menu, 21, MF_BYCOMMAND | MF_STRING, 19, u"Tiny"));  // before an item of the submenu
    EXPECT_FALSE(InsertMenu(menu, 99, MF_BYCOMMAND, 1, u"x"));
    EXPECT_FALSE(AppendMenu(menu, MF_POPUP, UINT_PTR(menu), u"itself"));
    EXPECT_EQ(GetMenuItemCount(menu), 4);
    EXPECT_EQ(GetMenuItemCount(sub), 3);
    EXPECT_EQ(GetMenuItemID(menu, 0), 9u);
    EXPECT_EQ(GetMenuItemID(menu, 3), UINT(-1));
    EXPECT_EQ(GetSubMenu(menu, 3), sub);
    EXPECT_EQ(GetMenuItemID(sub, 1), 19u);

    EXPECT_EQ(EnableMenuItem(menu, 10, MF_GRAYED), MF_ENABLED);
    EXPECT_EQ(GetMenuState(menu, 10, MF_BYCOMMAND) & MF_GRAYED, MF_GRAYED);
    EXPECT_EQ(EnableMenuItem(menu, 10, MF_ENABLED), MF_GRAYED);
    EXPECT_EQ(CheckMenuItem(menu, 9, MF_CHECKED), MF_UNCHECKED);
    EXPECT_EQ(CheckMenuItem(menu, 9, MF_UNCHECKED), MF_CHECKED);
    EXPECT_EQ(CheckMenuItem(menu, 77, MF_CHECKED), DWORD(-1));
    EXPECT_TRUE(CheckMenuRadioItem(sub, 20, 21, 21, MF_BYCOMMAND));
    EXPECT_EQ(GetMenuState(sub, 21, MF_BYCOMMAND) & (MF_CHECKED | MFT_RADIOCHECK), MF_CHECKED | MFT_RADIOCHECK);
    EXPECT_TRUE(CheckMenuRadioItem(sub, 0, 2, 0, MF_BYPOSITION));  // Small, Tiny, Large
    EXPECT_EQ(GetMenuState(sub, 20, MF_BYCOMMAND) & MF_CHECKED, MF_CHECKED);
    EXPECT_EQ(GetMenuState(sub, 19, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_EQ(GetMenuState(sub, 21, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_FALSE(CheckMenuRadioItem(sub, 0, 9, 0, MF_BYPOSITION));

    EXPECT_TRUE(DeleteMenu(menu, 0, MF_BYPOSITION));
    EXPECT_EQ(GetMenuItemID(menu, 0), 10u);
    EXPECT_TRUE(DestroyMenu(menu));
    EXPECT_EQ(GetMenuItemCount(sub), -1);  // gone with the menu that held it
    EXPECT_FALSE(DestroyMenu(menu));
}

TEST(Menus, TrackPopupMenuExIsAnsweredByTapsOnTheMenuAndItsSubmenu) {
    Owner owner;
    const HMENU menu = CreatePopupMenu();
    const HMENU sub = CreatePopupMenu();
    AppendMenu(menu, MF_STRING, 10, u"Open");
    AppendMenu(menu, MF_STRING | MF_GRAYED, 11, u"Close");
    AppendMenu(menu, MF_POPUP, UINT_PTR(sub), u"More");
    AppendMenu(sub, MF_STRING, 20, u"Small");
    // Rows of 18 pixels inside a one-pixel border; the menu opens at (20, 30),
    // 60 wide without a display to measure its texts; the submenu opens at
    // its right edge beside "More". The taps are read by the menu's loop.
    TapLater(30, 30 + 1 + 18 + 9);       // "Close" is greyed: nothing happens
    TapLater(30, 30 + 1 + 2 * 18 + 9);   // "More"
    TapLater(90, 30 + 1 + 2 * 18 + 1 + 9);  // "Small"
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 20, 30, owner.hwnd, nullptr), 20);
    ASSERT_EQ(owner.seen.size(), 2u);
    EXPECT_EQ(owner.seen[0], std::make_pair(WM_INITMENUPOPUP, WPARAM(menu)));
    EXPECT_EQ(owner.seen[1], std::make_pair(WM_INITMENUPOPUP, WPARAM(sub)));
    EXPECT_EQ(GetCapture(), HWND(0));

    // Without TPM_RETURNCMD the choice is posted as WM_COMMAND.
    owner.seen.clear();
    TapLater(30, 30 + 1 + 9);
    EXPECT_TRUE(TrackPopupMenuEx(menu, TPM_LEFTALIGN, 20, 30, owner.hwnd, nullptr));
    Pump();
    ASSERT_EQ(owner.seen.size(), 2u);
    EXPECT_EQ(owner.seen[1], std::make_pair(WM_COMMAND, WPARAM(10)));

    // A tap outside, or Escape, chooses nothing.
    TapLater(200, 300);
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 20, 30, owner.hwnd, nullptr), 0);
    plat::input::InjectKey(VK_ESCAPE, true, 1, u"");
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_CENTERALIGN, 120, 100, owner.hwnd, nullptr), 0);
    Pump();
    DestroyMenu(menu);
}

TEST(Menus, TheChooserAnswersWithoutShowingAndOnlyWithWhatCouldBeChosen) {
    Owner owner;
    const HMENU menu = CreatePopupMenu();
    AppendMenu(menu, MF_STRING, 10, u"Open");
    AppendMenu(menu, MF_STRING | MF_GRAYED, 11, u"Close");
    std::vector<HMENU> asked;
    UINT answer = 10;
    plat::menu::SetChooser([&](HMENU m, HWND o) -> UINT {
        asked.push_back(m);
        EXPECT_EQ(o, owner.hwnd);
        return answer;
    });
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 0, 0, owner.hwnd, nullptr), 10);
    answer = 11;  // greyed
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 0, 0, owner.hwnd, nullptr), 0);
    answer = 99;  // no such item
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD, 0, 0, owner.hwnd, nullptr), 0);
    EXPECT_EQ(asked.size(), 3u);
    owner.seen.clear();
    answer = 10;
    EXPECT_EQ(TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_NONOTIFY, 0, 0, owner.hwnd, nullptr), 10);
    EXPECT_TRUE(owner.seen.empty());  // no WM_INITMENUPOPUP
    plat::menu::SetChooser(nullptr);
    EXPECT_FALSE(TrackPopupMenuEx(HMENU(12345), TPM_RETURNCMD, 0, 0, owner.hwnd, nullptr));
    DestroyMenu(menu);
}

// A menu opened by a tap's down under the stylus: the lift of that tap
// chooses nothing, and taps read after it are the menu's, whichever window
// they were routed to before it opened.
TEST(Menus, TheTapThatOpensAMenuIsConsumedAndATapOutsideClosesIt) {
    Owner owner;
    const HMENU menu = CreatePopupMenu();
    AppendMenu(menu, MF_STRING, 10, u"Open");
    AppendMenu(menu, MF_STRING, 11, u"Save");
    std::vector<UINT> chosen;
    int downs = 0;
    plat::window::SetWindowProcedure(owner.hwnd, [&](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == WM_LBUTTONDOWN) {
            ++downs;
            // The first row lies under the tap.
            const int x = GET_X_LPARAM(l) - 5, y = GET_Y_LPARAM(l) - 5;
            chosen.push_back(UINT(TrackPopupMenuEx(menu, TPM_RETURNCMD, x, y, h, nullptr)));
        }
        return DefWindowProc(h, msg, w, l);
    });
    TapLater(50, 50);    // opens; its lift is on "Open"
    TapLater(200, 300);  // outside: closes, and is no new tap on the owner
    TapLater(50, 50);    // opens again
    TapLater(50, 50 + 18);  // "Save"
    Pump();
    EXPECT_EQ(downs, 2);
    EXPECT_EQ(chosen, (std::vector<UINT>{0, 11}));
    EXPECT_EQ(GetCapture(), HWND(0));
    DestroyMenu(menu);
}
