// The command bar with the resource library's menu bar, headless: the menu
// loaded from its record, and taps on the bar opening a pop-up whose choice
// reaches the bar's parent as WM_COMMAND.
#include <gtest/gtest.h>

#include <vector>

#include "platform/CommandBar.h"
#include "platform/Input.h"
#include "platform/Library.h"

namespace {

void Tap(int x, int y) {
    plat::input::InjectMouse(WM_LBUTTONDOWN, POINT{x, y}, MK_LBUTTON);
    plat::input::InjectMouse(WM_LBUTTONUP, POINT{x, y}, 0);
}

void Pump() {
    MSG m;
    while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
}

struct CommandBar : ::testing::Test {
    HMODULE res = 0;
    HWND hwnd = 0;
    std::vector<WPARAM> commands;
    std::vector<WPARAM> popups;  // WM_INITMENUPOPUP
    void SetUp() override {
        res = LoadLibrary(u"ORVADERES.DLL");
        ASSERT_TRUE(res);
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = u"BarOwner";
        RegisterClass(&wc);
        hwnd = CreateWindowEx(0, u"BarOwner", u"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, 0, 0, nullptr, nullptr);
        SetForegroundWindow(hwnd);
        plat::window::SetWindowProcedure(hwnd, [this](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == WM_COMMAND) commands.push_back(w);
            if (msg == WM_INITMENUPOPUP) popups.push_back(w);
            return DefWindowProc(h, msg, w, l);
        });
    }
    void TearDown() override {
        DestroyWindow(hwnd);
        FreeLibrary(res);
    }
};

}  // namespace

TEST_F(CommandBar, MenuBar178IsLoadedWithItsPopupsSubmenuAndCommands) {
    const HMENU bar = LoadMenu(res, 178);
    ASSERT_TRUE(bar);
    ASSERT_EQ(GetMenuItemCount(bar), 3);
    EXPECT_EQ(plat::menu::ItemText(bar, 1), u"Ho&st");
    const HMENU term = GetSubMenu(bar, 0);
    ASSERT_EQ(GetMenuItemCount(term), 3);
    EXPECT_EQ(GetMenuItemID(term, 0), 42001u);
    EXPECT_EQ(GetMenuItemID(term, 1), 40027u);
    const HMENU view = GetSubMenu(term, 2);
    ASSERT_EQ(GetMenuItemCount(view), 4);
    EXPECT_EQ(GetMenuItemID(view, 3), 40110u);
    const HMENU host = GetSubMenu(bar, 1);
    EXPECT_TRUE(GetMenuState(host, 2, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(GetMenuItemID(host, 3), 32770u);
    EXPECT_EQ(GetMenuItemID(GetSubMenu(bar, 2), 0), 40083u);
    DestroyMenu(bar);
    EXPECT_EQ(LoadMenu(res, 179), HMENU(0));
    EXPECT_EQ(LoadMenu(nullptr, 178), HMENU(0));
}

TEST_F(CommandBar, TapsOnTheBarOpenItsPopupsAndTheChoiceGoesToTheParent) {
    const HWND bar = CommandBar_Create(nullptr, hwnd, 1);
    ASSERT_TRUE(bar);
    EXPECT_EQ(CommandBar_Height(bar), kCommandBarHeight);
    EXPECT_FALSE(CommandBar_InsertMenubar(bar, res, 999, 0));
    ASSERT_TRUE(CommandBar_InsertMenubar(bar, res, 178, 0));
    const HMENU menu = CommandBar_GetMenu(bar, 0);
    ASSERT_TRUE(menu);
    // Without a display to measure, each pop-up is 6 pixels a letter plus 12
    // wide from x 2: "Term" 2-38, "Host" 38-74, "Help" 74-110. The chooser
    // answers for the pop-up the tap opened (its taps are the menu's own).
    std::vector<HMENU> opened;
    plat::menu::SetChooser([&](HMENU popup, HWND owner) -> UINT {
        EXPECT_EQ(owner, hwnd);
        opened.push_back(popup);
        return popup == GetSubMenu(menu, 1) ? 32768 : popup == GetSubMenu(menu, 2) ? 40083 : 0;
    });
    Tap(50, 12);   // "Host": "Programs"
    Tap(80, 12);   // "Help": "About..."
    Tap(150, 12);  // beside the pop-ups
    Pump();
    EXPECT_EQ(opened, (std::vector<HMENU>{GetSubMenu(menu, 1), GetSubMenu(menu, 2)}));
    EXPECT_EQ(commands, (std::vector<WPARAM>{32768, 40083}));

    // A greyed pop-up does not open.
    opened.clear();
    EnableMenuItem(menu, 2, MF_BYPOSITION | MF_GRAYED);
    EXPECT_TRUE(CommandBar_DrawMenuBar(bar, 0));
    Tap(80, 12);
    Pump();
    EXPECT_TRUE(opened.empty());
    plat::menu::SetChooser(nullptr);
    EXPECT_TRUE(CommandBar_Show(bar, FALSE));
    EXPECT_FALSE(IsWindowVisible(bar));
}

// Taps typed ahead are all routed to the bar before its pop-up opens; the
// pop-up's loop takes them all the same, as the user meant them.
TEST_F(CommandBar, TapsQueuedBeforeAPopupOpensAreThePopupsOwn) {
    const HWND bar = CommandBar_Create(nullptr, hwnd, 1);
    ASSERT_TRUE(CommandBar_InsertMenubar(bar, res, 178, 0));
    const HMENU host = GetSubMenu(CommandBar_GetMenu(bar, 0), 1);
    // "Host" twice: the second tap is outside the pop-up, so it closes it and
    // opens no second pop-up inside the first.
    Tap(50, 12);
    Tap(50, 12);
    Tap(150, 200);  // then a tap on the parent is the parent's again
    Pump();
    EXPECT_EQ(popups, std::vector<WPARAM>{WPARAM(host)});
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(GetCapture(), HWND(0));
    EXPECT_EQ(FindWindow(u"#32768", nullptr), HWND(0));

    // "Host", then its first item ("Programs", one 18-pixel row below the
    // bar inside the pop-up's border) chooses it.
    popups.clear();
    Tap(50, 12);
    Tap(50, kCommandBarHeight + 1 + 9);
    Pump();
    EXPECT_EQ(popups, std::vector<WPARAM>{WPARAM(host)});
    EXPECT_EQ(commands, std::vector<WPARAM>{32768});
    DestroyWindow(bar);
}
