// Combo and list boxes filled from item-list files, radio groups and the
// pop-up menu, made through WIDGETACTION and driven as a user would.
#include "WidgetWindowFixture.h"

namespace widgetwindowtest {
namespace {

int Selected(HWND list, bool combo) { return static_cast<int>(SendMessage(list, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0)); }

std::u16string ItemText(HWND list, bool combo, int index) {
    char16_t text[64] = {};
    SendMessage(list, combo ? CB_GETLBTEXT : LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

class ListWidgetsTest : public WidgetWindowTest {
protected:
    void SetUp() override {
        WidgetWindowTest::SetUp();
        WriteItems(u"FRUIT.MNU", "Fruit", {"Apple", "Banana", "Cherry"});
    }
    // A list of type 3 or 18 on the item list, with a value.
    Bytes List(int type, const Bytes& id, const Bytes& value, const Bytes& file = "FRUIT", const Bytes& geometry = "") {
        return Add(type, id, {geometry.empty() ? Cells(0, 0) : geometry, Looks(""), "", value, "", file});
    }
};

TEST_F(ListWidgetsTest, ListsStartOnTheItemTheValueNamesByIndex) {
    struct Case {
        int type;
        Bytes value;
        int selected;
    };
    // Empty: the first; 3: the third; beyond the count or nonsense: the first.
    const Case cases[] = {{3, "", 0}, {3, "3", 2}, {3, "9", 0}, {18, "", 0}, {18, "2", 1}, {18, "0", 0}, {18, "x", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " value " + c.value);
        Widgets(Action(0, WID_ACTION_REMOVE, "") + FE + List(c.type, "1", c.value));
        const HWND list = WindowOf(1);
        ASSERT_NE(list, 0u);
        const bool combo = c.type == 3;
        EXPECT_EQ(SendMessage(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(ItemText(list, combo, 2), u"Cherry");
        EXPECT_EQ(Selected(list, combo), c.selected);
        EXPECT_EQ(SendMessage(list, combo ? CB_GETITEMDATA : LB_GETITEMDATA, 2, 0), 3);
    }
    // By index, not by a prefix of the text: item 2 of "10", "1" is "1".
    WriteItems(u"NUMBERS.MNU", "", {"10", "1"});
    Widgets(Action(0, WID_ACTION_REMOVE, "") + FE + List(18, "1", "2", "NUMBERS"));
    EXPECT_EQ(Selected(WindowOf(1), false), 1);
    EXPECT_TRUE(Events().empty());
}

TEST_F(ListWidgetsTest, DefaultSizesComeFromTheItems) {
    const int cw = m_core->Screen().CellWidth(), ch = m_core->Screen().CellHeight();
    Widgets(List(3, "1", "") + FE + List(18, "2", "", "FRUIT", Cells(2, 0)) + FE +
            List(18, "3", "", "FRUIT", Cells(0, 12, 5, 4)));
    // Longest item 6: combo 10 wide and 5 rows, list 9 wide and 3 rows.
    EXPECT_EQ(Widget(1)->Fields().width, 10);
    EXPECT_EQ(Widget(1)->Fields().height, 5);
    EXPECT_EQ(Widget(2)->Fields().width, 9);
    EXPECT_EQ(Widget(2)->Fields().height, 3);
    RECT r{};
    GetWindowRect(WindowOf(2), &r);
    EXPECT_EQ(r.right - r.left, 9 * cw);
    EXPECT_EQ(r.bottom - r.top, 3 * ch);
    // A width given in cells gets 3 more on the window only.
    GetWindowRect(WindowOf(3), &r);
    EXPECT_EQ(r.right - r.left, 8 * cw);
    EXPECT_EQ(Widget(3)->Fields().width, 5);
}

TEST_F(ListWidgetsTest, OnlyTheUsersChoiceIsReported) {
    Widgets(Add(18, "4", {Cells(0, 0, 10, 3), Looks(""), "", "1", "", "FRUIT", "", "1"}) + FE +
            Add(3, "5", {Cells(5, 0, 10), Looks(""), "", "", "", "FRUIT", "", "2"}));
    const HWND list = WindowOf(4);
    // A tap on the second row.
    RECT r{};
    GetWindowRect(list, &r);
    const int row = static_cast<int>(SendMessage(list, LB_GETITEMHEIGHT, 0, 0));
    Tap(r.left + 5, r.top + row + row / 2);
    EXPECT_EQ(Selected(list, false), 1);
    EXPECT_EQ(GetFocus(), list);
    // The keyboard's Down too, from the focused list.
    Key(VK_DOWN);
    EXPECT_EQ(Selected(list, false), 2);
    EXPECT_EQ(Events(), (std::vector<Bytes>{Event('8', "2", "4"), Event('8', "3", "4")}));
    // The host's SETLABEL selects without an event.
    Widgets(Action(1, WID_ACTION_SETLABEL, "4", FD + FD + FC + FC + FC + "1" + FB + "nofile"));
    EXPECT_EQ(Selected(list, false), 0);
    EXPECT_TRUE(Events().empty());

    // The combo box: a tap drops its list, a tap on the second row chooses it.
    const HWND combo = WindowOf(5);
    TapWindow(combo);
    EXPECT_EQ(GetFocus(), combo);
    const HWND drop = FindWindow(u"ComboLBox", nullptr);
    ASSERT_NE(drop, 0u);
    GetWindowRect(drop, &r);
    const int comboRow = static_cast<int>(SendMessage(combo, CB_GETITEMHEIGHT, 0, 0));
    Tap(r.left + 5, r.top + comboRow + comboRow / 2);
    EXPECT_EQ(Selected(combo, true), 1);
    EXPECT_EQ(Events(), (std::vector<Bytes>{Event('8', "2", "5")}));
    // Tab leaves a list for the next widget (wrapping to the first).
    Key(VK_TAB);
    EXPECT_EQ(GetFocus(), list);
    Key(VK_TAB, true);
    EXPECT_EQ(GetFocus(), combo);
}

TEST_F(ListWidgetsTest, SetLabelRefillsFromANewFile) {
    WriteItems(u"COLOURS.MNU", "Colours", {"Red", "Green"});
    Widgets(List(3, "1", "3"));
    Widgets(Action(1, WID_ACTION_SETLABEL, "1", FD + FD + FC + FC + FC + "2" + FB + "COLOURS"));
    const HWND combo = WindowOf(1);
    EXPECT_EQ(SendMessage(combo, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(Selected(combo, true), 1);
    EXPECT_EQ(ItemText(combo, true, 0), u"Red");
}

TEST_F(ListWidgetsTest, UntrustedItemFilesLoadWhatTheyHold) {
    // Fewer records than a list file has: nothing loads, the list is empty.
    WriteMenuFile(u"SHORT.MNU", "1" + FE + "2" + FE);
    // A title but no items' record: loaded, no items.
    WriteMenuFile(u"NOITEMS.MNU", "1" + FE + "1" + FE + "1" + FE + "1" + FE + "Title");
    // Items up to the first empty one; a stray 0xFC inside an item ends it.
    WriteMenuFile(u"ODD.MNU", "1" + FE + "1" + FE + "1" + FE + "1" + FE + "T" + FE + "a" + FD + "b" + FD + FD + "c" + FD);
    WriteMenuFile(u"EMPTY.MNU", "");
    // Past 1 MiB a file is refused whole, not cut.
    WriteMenuFile(u"HUGE.MNU", "1" + FE + "1" + FE + "1" + FE + "1" + FE + "T" + FE + "a" + FD + Bytes(kMaxItemListFile, 'x'));
    Widgets(List(18, "1", "", "SHORT") + FE + List(18, "2", "", "NOITEMS") + FE + List(18, "3", "", "ODD") + FE +
            List(18, "4", "", "EMPTY") + FE + List(18, "5", "", "MISSING") + FE + List(18, "6", "", "HUGE"));
    EXPECT_EQ(SendMessage(WindowOf(1), LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessage(WindowOf(2), LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessage(WindowOf(3), LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessage(WindowOf(4), LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessage(WindowOf(5), LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessage(WindowOf(6), LB_GETCOUNT, 0, 0), 0);
}

// ---- Radio groups

std::vector<WidgetRect> Layout(int32_t width, int32_t height, std::vector<size_t> characters, uint32_t options) {
    return RadioGroupLayout(width, height, characters, options);
}

TEST(RadioGroupLayoutTest, ButtonsShareTheClientArea) {
    // Side by side, equal widths: 100 / 3 = 33, the remainder's half (0) first.
    EXPECT_EQ(Layout(100, 20, {1, 1, 1}, 0),
              (std::vector<WidgetRect>{{0, 0, 33, 20}, {33, 0, 33, 20}, {66, 0, 33, 20}}));
    // The group's border leaves 98 of a 100-pixel window: 32 each, 1 in.
    EXPECT_EQ(Layout(98, 18, {1, 1, 1}, 0), (std::vector<WidgetRect>{{1, 0, 32, 18}, {33, 0, 32, 18}, {65, 0, 32, 18}}));
    // Stacked: 50 / 3 = 16 high, moved down by (50 mod 3) / 2 = 1.
    EXPECT_EQ(Layout(40, 50, {2, 2, 2}, 0x8), (std::vector<WidgetRect>{{0, 1, 40, 16}, {0, 17, 40, 16}, {0, 33, 40, 16}}));
    // In proportion: T = 10, c = 10, e = (105 mod 10) / 2 = 2.
    EXPECT_EQ(Layout(105, 20, {2, 8}, 0x10), (std::vector<WidgetRect>{{0, 0, 22, 20}, {22, 0, 82, 20}}));
    // Nothing to share out: no buttons, and no division by nothing.
    EXPECT_TRUE(Layout(100, 20, {}, 0).empty());
    EXPECT_TRUE(Layout(100, 20, {}, 0x8).empty());
    EXPECT_TRUE(Layout(100, 20, {}, 0x10).empty());
    // Texts of no characters in proportion: equal widths.
    EXPECT_EQ(Layout(10, 5, {0, 0}, 0x10), (std::vector<WidgetRect>{{0, 0, 5, 5}, {5, 0, 5, 5}}));
}

TEST_F(ListWidgetsTest, ARadioGroupHasAButtonPerItemAndReportsTheClickedOne) {
    // 100 by 20 pixels, value 2, tab index 1.
    Widgets(Add(5, "9", {Cells(10, 10, 100, 20, 1), Looks(""), "", "2", "", "FRUIT", "", "1"}));
    const HWND group = WindowOf(9);
    ASSERT_NE(group, 0u);
    char16_t cls[64] = {};
    GetClassName(group, cls, 64);
    EXPECT_EQ(std::u16string(cls), u"OV_WIDGET_PUSHBUTTON_CLASS");
    EXPECT_EQ(plat::window::GetWindowString(group), u"PUSHBUTTON");
    std::vector<HWND> buttons;
    for (HWND b = GetWindow(group, GW_CHILD); b; b = GetWindow(b, GW_HWNDNEXT)) buttons.push_back(b);
    ASSERT_EQ(buttons.size(), 3u);
    EXPECT_EQ(plat::window::GetWindowString(buttons[0]), u"Apple");
    RECT r{};
    GetWindowRect(buttons[0], &r);
    // Inside the border: 98 / 3 = 32 wide, 1 in.
    EXPECT_EQ(r.left, 10 + 1 + 1);
    EXPECT_EQ(r.right - r.left, 32);
    EXPECT_EQ(SendMessage(buttons[1], BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_CHECKED));
    EXPECT_NE(SendMessage(buttons[0], WM_GETFONT, 0, 0), 0);

    // A tap checks the third and unchecks the others.
    TapWindow(buttons[2]);
    EXPECT_EQ(SendMessage(buttons[2], BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_CHECKED));
    EXPECT_EQ(SendMessage(buttons[1], BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_UNCHECKED));
    // Left clicks the one before; Left on the first goes nowhere.
    Key(VK_LEFT);
    Key(VK_LEFT);
    Key(VK_LEFT);
    EXPECT_EQ(SendMessage(buttons[0], BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_CHECKED));
    EXPECT_EQ(Events(), (std::vector<Bytes>{Event('8', "3", "9"), Event('8', "2", "9"), Event('8', "1", "9")}));

    // SETLABEL of a number checks that button.
    Widgets(Action(1, WID_ACTION_SETLABEL, "9", FD + FD + FC + FC + FC + "3"));
    EXPECT_EQ(SendMessage(buttons[2], BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_CHECKED));
    EXPECT_EQ(SendMessage(buttons[0], BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_UNCHECKED));
    // The focus given to the group goes to its checked button.
    Widgets(Action(1, WID_ACTION_SETFOCUS, "9"));
    EXPECT_EQ(GetFocus(), buttons[2]);
    // Disabled with its buttons.
    Widgets(Action(1, WID_ACTION_DISABLE, "9"));
    EXPECT_FALSE(IsWindowEnabled(buttons[0]));
    EXPECT_TRUE(Events().empty());
}

TEST_F(ListWidgetsTest, ARadioGroupMadeDisabledHasDisabledButtonsUntilEnabled) {
    // Flag 0x2: the group starts disabled.
    Widgets(Add(5, "9", {Cells(10, 10, 100, 20, 1), Looks(""), "", "2" + FC + "2", "", "FRUIT", "", "1"}));
    const HWND group = WindowOf(9);
    ASSERT_FALSE(IsWindowEnabled(group));
    std::vector<HWND> buttons;
    for (HWND b = GetWindow(group, GW_CHILD); b; b = GetWindow(b, GW_HWNDNEXT)) buttons.push_back(b);
    ASSERT_EQ(buttons.size(), 3u);
    for (HWND b : buttons) EXPECT_FALSE(IsWindowEnabled(b));
    Widgets(Action(1, WID_ACTION_ENABLE, "9"));
    for (HWND b : buttons) EXPECT_TRUE(IsWindowEnabled(b));
    TapWindow(buttons[0]);
    EXPECT_EQ(Events(), std::vector<Bytes>{Event('8', "1", "9")});
}

TEST_F(ListWidgetsTest, ARadioGroupWithoutItemsHasNoButtonsAndOneOfThousandsAFewHundred) {
    std::vector<Bytes> many;
    for (int i = 0; i < 3000; ++i) many.push_back(std::to_string(i));
    WriteItems(u"MANY.MNU", "", many);
    Widgets(Add(5, "3", {Cells(0, 0, 200, 200, 1), Looks("", "8"), "", "1", "", "MANY"}));
    int buttons = 0;
    for (HWND b = GetWindow(WindowOf(3), GW_CHILD); b; b = GetWindow(b, GW_HWNDNEXT)) ++buttons;
    EXPECT_EQ(buttons, 256);

    Widgets(Add(5, "1", {Cells(0, 0, 100, 20, 1), Looks(""), "", "1", "", "MISSING"}) + FE +
            Add(5, "2", {Cells(2, 0, 0, 0), Looks("", "8"), "", "1", "", "MISSING"}));
    EXPECT_NE(WindowOf(1), 0u);
    EXPECT_EQ(GetWindow(WindowOf(1), GW_CHILD), 0u);
    EXPECT_EQ(GetWindow(WindowOf(2), GW_CHILD), 0u);
    Widgets(Action(1, WID_ACTION_SETFOCUS, "1") + FE + Action(1, WID_ACTION_SETLABEL, "1", FD + FD + FC + FC + FC + "1"));
    EXPECT_TRUE(Events().empty());
}

// ---- The pop-up menu

class PopupMenuTest : public ListWidgetsTest {
protected:
    // A menu of the names (0xFC between them).
    Bytes Menu(const Bytes& id, const Bytes& names) { return Add(12, id, {Cells(0, 0), Looks(""), "", "", "", names}); }
    // Chooses the item by its text, in the menu or one submenu down, and
    // remembers what was shown.
    void Choose(const std::u16string& text) {
        plat::menu::SetChooser([this, text](HMENU menu, HWND owner) -> UINT {
            m_shownOwner = owner;
            m_shown.clear();
            UINT chosen = 0;
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                m_shown.push_back(plat::menu::ItemText(menu, UINT(i)));
                if (HMENU sub = GetSubMenu(menu, i)) {
                    for (int k = 0; k < GetMenuItemCount(sub); ++k) {
                        m_shown.push_back(u"  " + plat::menu::ItemText(sub, UINT(k)));
                        if (plat::menu::ItemText(sub, UINT(k)) == text) chosen = GetMenuItemID(sub, k);
                    }
                } else if (plat::menu::ItemText(menu, UINT(i)) == text) {
                    chosen = GetMenuItemID(menu, i);
                }
            }
            return chosen;
        });
    }
    LRESULT ContextMenu(int x, int y) {
        bool handled = false;
        POINT p{x, y};
        ClientToScreen(m_owner, &p);
        const LRESULT r = m_core->OnWidgetMessage(m_owner, WM_CONTEXTMENU, WPARAM(m_owner), MAKELPARAM(p.x, p.y), &handled);
        EXPECT_TRUE(handled);
        return r;
    }
    std::vector<std::u16string> m_shown;
    HWND m_shownOwner = 0;
};

TEST_F(PopupMenuTest, NamesAreEntriesAndItemFilesSubmenus) {
    Widgets(Menu("3", "A" + FC + "FRUIT"));
    EXPECT_FALSE(IsWindowVisible(WindowOf(3)));
    Widgets(Action(1, WID_ACTION_SHOW, "3"));
    EXPECT_FALSE(IsWindowVisible(WindowOf(3)));
    RECT r{};
    GetWindowRect(WindowOf(3), &r);
    EXPECT_EQ(r.right - r.left, 0);

    Choose(u"Cherry");
    ContextMenu(50, 60);
    EXPECT_EQ(m_shown, (std::vector<std::u16string>{u"A", u"Fruit", u"  Apple", u"  Banana", u"  Cherry"}));
    EXPECT_EQ(m_shownOwner, m_owner);
    Choose(u"A");
    ContextMenu(50, 60);
    // Nothing chosen: no event.
    Choose(u"nothing");
    ContextMenu(50, 60);
    EXPECT_EQ(Events(), (std::vector<Bytes>{"6" + FD + "2" + FD + "2" + FC + "-1", "6" + FD + "0" + FD + "1" + FC + "-1"}));
}

TEST_F(PopupMenuTest, OneItemFileIsTheMenuItself) {
    Widgets(Menu("3", "FRUIT"));
    Choose(u"Banana");
    ContextMenu(10, 10);
    EXPECT_EQ(m_shown, (std::vector<std::u16string>{u"Apple", u"Banana", u"Cherry"}));
    EXPECT_EQ(Events(), std::vector<Bytes>{"6" + FD + "1" + FD + "1" + FC + "-1"});
    // Disabled, the menu takes no context menu.
    Widgets(Action(1, WID_ACTION_DISABLE, "3"));
    bool handled = true;
    m_core->OnWidgetMessage(m_owner, WM_CONTEXTMENU, WPARAM(m_owner), 0, &handled);
    EXPECT_FALSE(handled);
}

TEST_F(PopupMenuTest, AHugeItemFileFillsTheMenuOnlySoFar) {
    std::vector<Bytes> many;
    for (int i = 0; i < 5000; ++i) many.push_back(std::to_string(i));
    WriteItems(u"MANY.MNU", "", many);
    Widgets(Menu("3", "MANY" + FC + "MANY"));
    int count = 0;
    plat::menu::SetChooser([&](HMENU menu, HWND) -> UINT {
        for (int i = 0; i < GetMenuItemCount(menu); ++i)
            count += GetSubMenu(menu, i) ? GetMenuItemCount(GetSubMenu(menu, i)) : 1;
        return 0;
    });
    ContextMenu(10, 10);
    EXPECT_EQ(count, 4096);
}

TEST_F(PopupMenuTest, TapAndHoldOnTheControlWindowOpensTheMenu) {
    Widgets(Menu("3", "A" + FC + "B"));
    Choose(u"B");
    // The clock runs while the stylus is held.
    plat::clock::SetTickSource([] { return g_now += 20; });
    POINT p{100, 100};
    ClientToScreen(m_owner, &p);
    plat::input::InjectMouse(WM_LBUTTONDOWN, p, MK_LBUTTON);
    Pump();
    plat::input::InjectMouse(WM_LBUTTONUP, p, 0);
    Pump();
    plat::clock::SetTickSource([] { return g_now; });
    EXPECT_EQ(m_shown, (std::vector<std::u16string>{u"A", u"B"}));
    EXPECT_EQ(Events(), std::vector<Bytes>{"6" + FD + "0" + FD + "2" + FC + "-1"});
    // A short tap is a tap.
    m_shown.clear();
    Tap(100, 100);
    EXPECT_TRUE(m_shown.empty());
}

}  // namespace
}  // namespace widgetwindowtest
