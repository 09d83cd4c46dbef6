// The simple widget windows made through WIDGETACTION and driven by taps and
// keys, headless: buttons, check boxes, edit fields, hot spots, statics and
// progress bars, the tab order and device data, colours and fonts.
#include "WidgetWindowFixture.h"

namespace widgetwindowtest {
namespace {

std::u16string ClassOf(HWND hwnd) {
    char16_t name[64] = {};
    GetClassName(hwnd, name, 64);
    return name;
}

RECT RectOf(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

TEST_F(WidgetWindowTest, AButtonIsAChildWindowThatReportsItsLabelWhenTapped) {
    // Reply code 3 in slot 0.
    EXPECT_EQ(Widgets(Add(1, "5", {Cells(1, 2), Looks("OK"), "3"})), "w" + FD + "5");
    const HWND button = WindowOf(5);
    ASSERT_NE(button, 0u);
    EXPECT_EQ(GetParent(button), m_owner);
    EXPECT_EQ(ClassOf(button), u"Button");
    EXPECT_EQ(plat::window::GetWindowString(button), u"OK");
    EXPECT_EQ(static_cast<uint32_t>(GetDlgCtrlID(button)), 5u);
    // No size: the label's length + 1 cells by one row, stored for GETLABEL.
    const int cw = m_core->Screen().CellWidth(), ch = m_core->Screen().CellHeight();
    const RECT r = RectOf(button);
    EXPECT_EQ(r.left, 2 * cw);
    EXPECT_EQ(r.top, ch);
    EXPECT_EQ(r.right - r.left, 3 * cw);
    EXPECT_EQ(r.bottom - r.top, ch);
    EXPECT_EQ(Widget(5)->Fields().width, 3);
    EXPECT_EQ(Widget(5)->Fields().height, 1);
    // Its font, made by the widget.
    EXPECT_NE(SendMessage(button, WM_GETFONT, 0, 0), 0);
    EXPECT_NE(GetProp(button, kWidgetPropFont), nullptr);

    TapWindow(button);
    // The focus is the layer's: the tap gave it to the button, which turned
    // the input devices off.
    EXPECT_EQ(GetFocus(), button);
    EXPECT_EQ(m_inputDevices, std::vector<int>{0});
    EXPECT_EQ(Events(), std::vector<Bytes>{Event('3', "OK", "5")});

    Widgets(Action(1, WID_ACTION_REMOVE, "5"));
    EXPECT_FALSE(IsWindow(button));
}

TEST_F(WidgetWindowTest, APixelButtonIsMeasuredInCells) {
    Widgets(Add(4, "6", {Cells(10, 20, 0, 0, 1), Looks("OK")}));
    const RECT r = RectOf(WindowOf(6));
    EXPECT_EQ(r.left, 20);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(r.right - r.left, 3 * m_core->Screen().CellWidth());
    EXPECT_EQ(r.bottom - r.top, m_core->Screen().CellHeight());
}

TEST_F(WidgetWindowTest, AThreeStateCheckBoxCyclesInTheWindowsOrder) {
    // Value 2: three states, shown indeterminate.
    Widgets(Add(6, "7", {Cells(0, 0), Looks("Tick"), "", "2"}));
    const HWND box = WindowOf(7);
    ASSERT_NE(box, 0u);
    EXPECT_EQ(GetWindowLongPtr(box, GWL_STYLE) & BS_TYPEMASK, static_cast<LONG_PTR>(BS_AUTO3STATE));
    EXPECT_EQ(SendMessage(box, BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_INDETERMINATE));
    EXPECT_EQ(Widget(7)->Fields().width, 6);  // label + 2

    TapWindow(box);
    TapWindow(box);
    TapWindow(box);
    EXPECT_EQ(Events(), (std::vector<Bytes>{Event('8', "0", "7"), Event('8', "1", "7"), Event('8', "2", "7")}));

    // SETLABEL of "1" checks it without an event; another label is the text.
    Widgets(Action(1, WID_ACTION_SETLABEL, "7", FD + FD + Looks("1")));
    EXPECT_EQ(SendMessage(box, BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_CHECKED));
    Widgets(Action(1, WID_ACTION_SETLABEL, "7", FD + FD + Looks("Other")));
    EXPECT_EQ(plat::window::GetWindowString(box), u"Other");
    EXPECT_TRUE(Events().empty());

    // A two-state box with value 1 starts checked.
    Widgets(Add(6, "8", {Cells(2, 0), Looks("Two"), "", "1"}));
    EXPECT_EQ(GetWindowLongPtr(WindowOf(8), GWL_STYLE) & BS_TYPEMASK, static_cast<LONG_PTR>(BS_AUTOCHECKBOX));
    EXPECT_EQ(SendMessage(WindowOf(8), BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_CHECKED));
}

TEST_F(WidgetWindowTest, AnEditFieldCommitsOnlyAChangeUnlessEnterForcesIt) {
    // Tab indexes 1 and 2; the value is the starting text.
    Widgets(Add(10, "1", {Cells(0, 0, 10), Looks(""), "", "abc", "", "", "", "1"}) + FE +
            Add(10, "2", {Cells(2, 0, 10), Looks(""), "", "", "", "", "", "2"}));
    const HWND first = WindowOf(1), second = WindowOf(2);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(ClassOf(first), u"Edit");
    EXPECT_EQ(plat::window::GetWindowString(first), u"abc");

    // Unchanged: losing the focus sends nothing.
    Widgets(Action(1, WID_ACTION_SETFOCUS, "1"));
    EXPECT_EQ(GetFocus(), first);
    Key(VK_TAB);
    EXPECT_EQ(GetFocus(), second);
    EXPECT_TRUE(Events().empty());

    // Typed text goes to the focused field; Tab commits it and moves on.
    Type(u"xy");
    Key(VK_TAB, true);
    EXPECT_EQ(GetFocus(), first);
    EXPECT_EQ(Widget(2)->Fields().label, u"xy");
    // Enter reports even an unchanged text.
    Key(VK_RETURN);
    EXPECT_EQ(GetFocus(), second);
    EXPECT_EQ(Events(), (std::vector<Bytes>{Event('8', "xy", "2"), Event('8', "abc", "1")}));
}

TEST_F(WidgetWindowTest, EditOptionsShapeWhatTypingDoes) {
    // Three rows with flag 0x4: Enter is a line break. Option 0x40000:
    // typing is refused. Option 0x4000000: at most the item data's number.
    Widgets(Add(10, "1", {Cells(0, 0, 10, 3), Looks(""), "", FC + "4", "", "", "", "1"}) + FE +
            Add(10, "2", {Cells(4, 0, 10), Looks("", "262144"), "", "", "", "", "", "2"}) + FE +
            Add(10, "3", {Cells(6, 0, 10), Looks("", "67108864"), "", "", "", "x" + FC + "3", "", "3"}));
    EXPECT_TRUE(GetWindowLongPtr(WindowOf(1), GWL_STYLE) & ES_MULTILINE);
    EXPECT_FALSE(GetWindowLongPtr(WindowOf(2), GWL_STYLE) & ES_MULTILINE);
    Widgets(Action(1, WID_ACTION_SETFOCUS, "1"));
    Type(u"a");
    Key(VK_RETURN);
    Type(u"b");
    EXPECT_EQ(GetFocus(), WindowOf(1));
    EXPECT_EQ(plat::window::GetWindowString(WindowOf(1)), u"a\r\nb");
    Key(VK_TAB);
    EXPECT_EQ(GetFocus(), WindowOf(2));
    Type(u"zz");
    EXPECT_EQ(plat::window::GetWindowString(WindowOf(2)), u"");
    Key(VK_TAB);
    Type(u"12345");
    EXPECT_EQ(plat::window::GetWindowString(WindowOf(3)), u"123");
    EXPECT_EQ(Events(), std::vector<Bytes>{Event('8', "a\r\nb", "1")});
}

TEST_F(WidgetWindowTest, DeviceDataFillsTheFocusedEditAndMovesOn) {
    Widgets(Add(10, "1", {Cells(0, 0, 10), Looks(""), "", "", "", "", "", "1"}) + FE +
            Add(1, "2", {Cells(2, 0), Looks("Go"), "", "", "", "", "", "2"}));
    Widgets(Action(1, WID_ACTION_SETFOCUS, "1"));
    const char16_t text[] = u"12345";
    const DeviceDataRecord record{1, 0, 7, 5, text};
    bool handled = false;
    EXPECT_EQ(m_core->OnWidgetMessage(m_owner, WIDGET_MSG_DEVICE_DATA, 0, reinterpret_cast<LPARAM>(&record), &handled), 1);
    EXPECT_TRUE(handled);
    EXPECT_EQ(plat::window::GetWindowString(WindowOf(1)), u"12345");
    EXPECT_EQ(GetFocus(), WindowOf(2));
    EXPECT_EQ(Events(), std::vector<Bytes>{Event('8', "12345", "1", "7")});
    // The focused button takes no data: the core gets it.
    EXPECT_EQ(m_core->OnWidgetMessage(m_owner, WIDGET_MSG_DEVICE_DATA, 0, reinterpret_cast<LPARAM>(&record), &handled), 0);
}

TEST_F(WidgetWindowTest, ActivationGivesTheFirstFieldTheFocusAndTurnsTheInputDevicesOn) {
    // One field without a tab index: never reached.
    Widgets(Add(10, "3", {Cells(4, 0, 10), Looks(""), "", "zz"}) + FE +
            Add(10, "4", {Cells(0, 0, 10), Looks(""), "", "hello", "", "", "", "7"}) + FE +
            Add(10, "5", {Cells(2, 0, 10), Looks("", "131072"), "", "", "", "", "", "8"}));
    m_inputDevices.clear();
    Send("1" + FD);  // GETEVENT with nothing queued activates the focused widget
    EXPECT_EQ(GetFocus(), WindowOf(4));
    EXPECT_EQ(SendMessage(WindowOf(4), EM_GETSEL, 0, 0), MAKELPARAM(0, 5));
    ASSERT_FALSE(m_inputDevices.empty());
    EXPECT_EQ(m_inputDevices.back(), 1);
    // Option 0x20000: the devices stay off.
    Key(VK_TAB);
    EXPECT_EQ(GetFocus(), WindowOf(5));
    Key(VK_TAB);
    EXPECT_EQ(GetFocus(), WindowOf(4));
    m_core->OnKeyDown(0, 0);
    Replies();

    // A tap gives the field without a tab index the focus; activation does
    // not give it back.
    TapWindow(WindowOf(3));
    EXPECT_EQ(GetFocus(), WindowOf(3));
    Send("1" + FD);
    EXPECT_EQ(GetFocus(), WindowOf(4));
    m_core->OnKeyDown(0, 0);
    Replies();
}

TEST_F(WidgetWindowTest, TabAndArrowsFollowTheTabOrderThroughTheLayersFocus) {
    Widgets(Add(1, "1", {Cells(0, 0), Looks("A"), "", "", "", "", "", "3"}) + FE +
            Add(1, "2", {Cells(1, 0), Looks("B"), "", "", "", "", "", "1"}) + FE +
            Add(6, "3", {Cells(2, 0), Looks("C"), "", "", "", "", "", "2"}) + FE +
            Add(1, "4", {Cells(3, 0), Looks("D"), "", "0" + FC + "2"}));  // disabled
    Widgets(Action(1, WID_ACTION_SETFOCUS, "2"));
    struct Step {
        UINT key;
        bool shift;
        int focus;
    };
    const Step steps[] = {
        {VK_TAB, false, 3}, {VK_DOWN, false, 1},
        {VK_RIGHT, false, 2},  // wraps to the lowest
        {VK_TAB, true, 1},     // back from the lowest to the highest
        {VK_UP, false, 3},  {VK_LEFT, false, 2},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.key);
        Key(step.key, step.shift);
        EXPECT_EQ(GetFocus(), WindowOf(step.focus));
    }
    EXPECT_FALSE(IsWindowEnabled(WindowOf(4)));
    EXPECT_TRUE(Events().empty());
}

TEST_F(WidgetWindowTest, HideShowEnableAndDisableReachTheWindows) {
    Widgets(Add(8, "1", {Cells(0, 0), Looks("Text")}) + FE + Add(1, "2", {Cells(1, 0), Looks("B")}));
    EXPECT_EQ(ClassOf(WindowOf(1)), u"Static");
    Widgets(Action(1, WID_ACTION_HIDE, "2"));
    EXPECT_FALSE(IsWindowVisible(WindowOf(2)));
    EXPECT_FALSE(IsWindowEnabled(WindowOf(2)));
    Widgets(Action(1, WID_ACTION_SHOW, "2"));
    EXPECT_TRUE(IsWindowVisible(WindowOf(2)));
    EXPECT_TRUE(IsWindowEnabled(WindowOf(2)));
    Widgets(Action(0, WID_ACTION_HIDE, ""));
    EXPECT_FALSE(IsWindowVisible(WindowOf(1)));
    EXPECT_TRUE(IsWindowEnabled(WindowOf(2)));
    Widgets(Action(0, WID_ACTION_SHOW, ""));
    EXPECT_TRUE(IsWindowVisible(WindowOf(1)));
    Widgets(Action(1, WID_ACTION_SETLABEL, "1", FD + FD + Looks("New")));
    EXPECT_EQ(plat::window::GetWindowString(WindowOf(1)), u"New");
    // A later widget of the same id replaces the window.
    const HWND old = WindowOf(1);
    Widgets(Add(8, "1", {Cells(0, 0), Looks("Again")}));
    EXPECT_FALSE(IsWindow(old));
    EXPECT_EQ(plat::window::GetWindowString(WindowOf(1)), u"Again");
    Widgets(Action(0, WID_ACTION_REMOVE, ""));
    EXPECT_EQ(GetWindow(m_owner, GW_CHILD), 0u);
}

TEST_F(WidgetWindowTest, HotSpotsReportTheTapAsTheFlagsAsk) {
    const int cw = m_core->Screen().CellWidth(), ch = m_core->Screen().CellHeight();
    // Pixels 100,100 to 140,140; plain, relative (0x8), relative in cells (0x18).
    std::vector<Bytes> events;
    const auto tapWith = [&](const Bytes& definition, int x, int y) {
        Widgets(Action(0, WID_ACTION_REMOVE, "") + FE + definition);
        Tap(x, y);
        const std::vector<Bytes> more = Events();
        events.insert(events.end(), more.begin(), more.end());
    };
    tapWith(Add(2, "1", {Cells(100, 100, 40, 40, 1), Looks("")}), 110, 120);
    EXPECT_FALSE(IsWindowVisible(WindowOf(1)));
    tapWith(Add(2, "1", {Cells(100, 100, 40, 40, 1), Looks(""), "", FC + "8"}), 110, 120);
    tapWith(Add(2, "1", {Cells(0, 0, 200, 200, 1), Looks(""), "", FC + "24"}), 3 * cw + 1, 2 * ch + 1);
    // A data text replaces the position; a tap outside is nobody's.
    tapWith(Add(2, "1", {Cells(100, 100, 40, 40, 1), Looks(""), FC + "here"}), 110, 120);
    Tap(10, 10);
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(events, (std::vector<Bytes>{Event('8', "110,120", "1"), Event('8', "10,20", "1"), Event('8', "3,2", "1"),
                                          Event('8', "here", "1")}));
    // A tap routed from another window (a picture under the hot spot) is in
    // that window's coordinates: 60,60 of a window at 50,50 is 10,10 of a
    // hot spot at 100,100.
    Widgets(Action(0, WID_ACTION_REMOVE, "") + FE + Add(8, "7", {Cells(50, 50, 100, 100, 1), Looks("")}) + FE +
            Add(2, "1", {Cells(100, 100, 40, 40, 1), Looks(""), "", FC + "8"}));
    bool handled = false;
    m_core->OnWidgetMessage(WindowOf(7), WM_LBUTTONDOWN, 0, MAKELPARAM(60, 60), &handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(Events(), std::vector<Bytes>{Event('8', "10,10", "1")});
    // SHOW leaves a hot spot hidden.
    Widgets(Action(1, WID_ACTION_SHOW, "1"));
    EXPECT_FALSE(IsWindowVisible(WindowOf(1)));
}

TEST_F(WidgetWindowTest, AProgressBarShowsItsLabelAsItsPosition) {
    Widgets(Add(15, "1", {Cells(0, 0), Looks("40")}));
    const HWND bar = WindowOf(1);
    EXPECT_EQ(ClassOf(bar), PROGRESS_CLASS);
    EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 40);
    EXPECT_EQ(Widget(1)->Fields().width, 10);
    Widgets(Action(1, WID_ACTION_SETLABEL, "1", FD + FD + Looks("75")));
    EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 75);
    Widgets(Action(1, WID_ACTION_SETLABEL, "1", FD + FD + Looks("none")));
    EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), 0);
    // No font for a bar.
    EXPECT_EQ(GetProp(bar, kWidgetPropFont), nullptr);
}

TEST_F(WidgetWindowTest, ColoursAndFontsComeFromTheDefinition) {
    // Text colour 255 (red), background 0xFF0000 (blue), 20 points bold, face "Tahoma".
    Widgets(Add(8, "1", {Cells(0, 0), "Tahoma" + FC + "255" + FC + "16711680" + FC + "Hi" + FC + "" + FC + "20" + FC + "1"}));
    const HWND text = WindowOf(1);
    const LOGFONT lf = plat::gdi::GetFontDescription(HFONT(SendMessage(text, WM_GETFONT, 0, 0)));
    EXPECT_EQ(std::u16string(lf.lfFaceName), u"Tahoma");
    EXPECT_EQ(lf.lfWeight, 700);
    EXPECT_EQ(lf.lfHeight, -(20 * GetDeviceCaps(0, LOGPIXELSY) / 72));
    // The control window's colour question is answered by the widget.
    const HDC dc = GetDC(text);
    bool handled = false;
    const LRESULT brush = m_core->OnWidgetMessage(m_owner, WM_CTLCOLORSTATIC, WPARAM(dc), LPARAM(text), &handled);
    EXPECT_TRUE(handled);
    COLORREF colour = 0;
    ASSERT_TRUE(plat::gdi::GetBrushColor(HBRUSH(brush), &colour));
    EXPECT_EQ(colour, RGB(0, 0, 255));
    ReleaseDC(text, dc);
    // No colours: the system's, no face anywhere: Courier New.
    Widgets(Add(1, "2", {Cells(1, 0), Looks("B")}));
    const LOGFONT def = plat::gdi::GetFontDescription(HFONT(SendMessage(WindowOf(2), WM_GETFONT, 0, 0)));
    EXPECT_EQ(std::u16string(def.lfFaceName), u"Courier New");
    EXPECT_EQ(def.lfPitchAndFamily, FIXED_PITCH);
}

}  // namespace
}  // namespace widgetwindowtest
