// The widget windows as the Qt backing shows them, offscreen: one picture per
// family, checked where a drawing fault would otherwise go unseen, and a
// screen of widgets saved and restored with PUSHSCREEN and PULLSCREEN.
#include <QImage>

#include <cstdlib>

#include "WidgetWindowFixture.h"
#include "tests/control/QtApplication.h"
#include "tests/platform/qt/QtPump.h"

namespace widgetwindowtest {
namespace {

class WidgetRenderTest : public WidgetWindowTest {
protected:
    void SetUp() override {
        displaytest::EnsureApplication();
        WidgetWindowTest::SetUp();
        WriteItems(u"FRUIT.MNU", "Fruit", {"Apple", "Banana", "Cherry"});
    }
    QImage Render(const char* name) {
        qttest::Pump();
        QImage image = plat::qt::RenderWindow(m_owner);
        if (const char* dir = std::getenv("WIDGET_RENDER_DIR")) image.save(QString(dir) + "/" + name + ".png");
        return image;
    }
    QRect Area(uint32_t id) {
        RECT r{};
        GetWindowRect(WindowOf(id), &r);
        return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    static bool Near(QColor a, QColor b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 60;
    }
};

TEST_F(WidgetRenderTest, ButtonsAndCheckBoxesShowTheirTextsAndStates) {
    Widgets(Add(1, "1", {Cells(1, 1), Looks("Send")}) + FE + Add(6, "2", {Cells(3, 1), Looks("Tick"), "", "0"}) + FE +
            Add(6, "3", {Cells(5, 1), Looks("Tick"), "", "1"}));
    const QImage image = Render("buttons");
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(displaytest::InkPixels(image, Area(1), Qt::white), 20);
    // The checked box carries more ink than the unchecked one, the same text.
    EXPECT_GT(displaytest::InkPixels(image, Area(3), Qt::white), displaytest::InkPixels(image, Area(2), Qt::white));
}

TEST_F(WidgetRenderTest, RadioButtonsAreRoundWithADotAndCheckBoxesSquare) {
    Widgets(Add(5, "1", {Cells(10, 10, 200, 24, 1), Looks(""), "", "2", "", "FRUIT"}) + FE +
            Add(6, "2", {Cells(50, 10, 0, 0, 1), Looks("Tick"), "", "1"}));
    const QImage image = Render("radios");
    int index = 0;
    for (HWND b = GetWindow(WindowOf(1), GW_CHILD); b; b = GetWindow(b, GW_HWNDNEXT), ++index) {
        RECT r{};
        GetWindowRect(b, &r);
        const int mid = (r.top + r.bottom) / 2;
        // Round: the corners of the mark's square stay clear, its sides are drawn.
        EXPECT_TRUE(Near(image.pixelColor(r.left + 1, mid - 6), Qt::white)) << index;
        EXPECT_TRUE(Near(image.pixelColor(r.left + 13, mid + 6), Qt::white)) << index;
        EXPECT_TRUE(Near(image.pixelColor(r.left + 1, mid), Qt::black)) << index;
        EXPECT_TRUE(Near(image.pixelColor(r.left + 7, mid - 6), Qt::black)) << index;
        // The chosen one (the second) has a dot in the middle.
        EXPECT_EQ(Near(image.pixelColor(r.left + 7, mid), Qt::black), index == 1) << index;
    }
    EXPECT_EQ(index, 3);
    RECT box{};
    GetWindowRect(WindowOf(2), &box);
    EXPECT_TRUE(Near(image.pixelColor(box.left + 1, (box.top + box.bottom) / 2 - 6), Qt::black));
}

TEST_F(WidgetRenderTest, TheFocusedButtonCheckBoxRadioButtonAndListShowTheFocus) {
    Widgets(Add(1, "1", {Cells(10, 10, 0, 0, 1), Looks("Send"), "", "", "", "", "", "1"}) + FE +
            Add(6, "2", {Cells(40, 10, 0, 0, 1), Looks("Tick"), "", "0", "", "", "", "2"}) + FE +
            Add(5, "3", {Cells(70, 10, 200, 24, 1), Looks(""), "", "1", "", "FRUIT", "", "3"}) + FE +
            Add(18, "4", {Cells(100, 10, 100, 70, 1), Looks(""), "", "2", "", "FRUIT", "", "4"}));
    const HWND radio = GetWindow(WindowOf(3), GW_CHILD);
    const QImage before = Render("unfocused");
    TapWindow(WindowOf(1));
    Key(VK_TAB);
    const QImage check = Render("focus-check");
    EXPECT_EQ(GetFocus(), WindowOf(2));
    Key(VK_TAB, true);
    const QImage button = Render("focus-button");
    EXPECT_EQ(GetFocus(), WindowOf(1));
    Key(VK_TAB);
    Key(VK_TAB);
    const QImage group = Render("focus-radio");
    EXPECT_EQ(GetFocus(), radio);
    RECT r{};
    GetWindowRect(radio, &r);
    const QRect first(r.left, r.top, r.right - r.left, r.bottom - r.top);
    EXPECT_GT(displaytest::InkPixels(check, Area(2), Qt::white), displaytest::InkPixels(before, Area(2), Qt::white) + 10);
    EXPECT_GT(displaytest::InkPixels(button, Area(1), Qt::white), displaytest::InkPixels(before, Area(1), Qt::white) + 10);
    EXPECT_GT(displaytest::InkPixels(group, first, Qt::white), displaytest::InkPixels(before, first, Qt::white) + 10);
    // The list marks its chosen row.
    Key(VK_TAB);
    const QImage list = Render("focus-list");
    EXPECT_EQ(GetFocus(), WindowOf(4));
    int changed = 0;
    const QRect area = Area(4);
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) changed += list.pixel(x, y) != before.pixel(x, y);
    EXPECT_GT(changed, 20);
}

TEST_F(WidgetRenderTest, OneLineEditsAndStaticsShowTheDefaultFontWhole) {
    // One line of the cell's height with the 14-point font, against a tall
    // one that has room: the letters keep their height but for the rows
    // an edit's frame takes.
    Widgets(Add(10, "1", {Cells(10, 10, 100, 0, 1), Looks(""), "", "Agjy"}) + FE +
            Add(10, "2", {Cells(60, 10, 100, 60, 1), Looks(""), "", "Agjy"}) + FE +
            Add(8, "3", {Cells(130, 10, 0, 0, 1), Looks("Agjy")}) + FE +
            Add(8, "4", {Cells(160, 10, 0, 60, 1), Looks("Agjy")}));
    const QImage image = Render("edit-font");
    const auto inkRows = [&](uint32_t id, int frame = 1) {
        const QRect r = Area(id).adjusted(2, frame, -2, -frame);
        int top = r.bottom() + 1, bottom = r.top() - 1;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (qGray(image.pixel(x, y)) < 128) top = std::min(top, y), bottom = std::max(bottom, y);
        return std::pair{top - r.top(), bottom - top + 1};
    };
    const auto [oneTop, oneHeight] = inkRows(1);
    const auto [tallTop, tallHeight] = inkRows(2);
    ASSERT_GT(tallHeight, 10);
    EXPECT_GE(oneHeight, tallHeight - 2);
    EXPECT_LE(oneTop, 1);
    EXPECT_EQ(inkRows(3, 0).second, inkRows(4, 0).second);
}

TEST_F(WidgetRenderTest, AMultiLineEditBreaksALongValueAtWords) {
    // Three rows of cells: the words go on to the next lines, none is cut.
    Widgets(Add(10, "1", {Cells(2, 1, 12, 3), Looks(""), "", "one two three four five six", "", "", "", "1"}));
    const HWND edit = WindowOf(1);
    ASSERT_TRUE(GetWindowLongPtr(edit, GWL_STYLE) & ES_MULTILINE);
    const QImage image = Render("edit-lines");
    EXPECT_GE(SendMessage(edit, EM_GETLINECOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessage(edit, EM_LINEINDEX, 1, 0) > 0 && SendMessage(edit, EM_LINEINDEX, 1, 0) < 27, true);
    // Each line starts with a whole word.
    const std::u16string text = plat::window::GetWindowString(edit);
    for (LRESULT i = 1; i < SendMessage(edit, EM_GETLINECOUNT, 0, 0); ++i) {
        const LRESULT at = SendMessage(edit, EM_LINEINDEX, WPARAM(i), 0);
        EXPECT_EQ(text[size_t(at) - 1], u' ') << i;
    }
    // Ink on the second line; the caret goes down a line and back.
    const int line = static_cast<int>(Area(1).height() / 3);
    EXPECT_GT(displaytest::InkPixels(image, Area(1).adjusted(2, line + 2, -20, -line), Qt::white), 10);
    TapWindow(edit);
    SendMessage(edit, EM_SETSEL, 0, 0);
    EXPECT_EQ(GetFocus(), edit);
    Key(VK_DOWN);
    DWORD start = 0;
    SendMessage(edit, EM_GETSEL, WPARAM(&start), 0);
    EXPECT_EQ(SendMessage(edit, EM_LINEFROMCHAR, start, 0), 1);
}

TEST_F(WidgetRenderTest, AnArrowButtonWithoutLabelPointsLeftInItsColours) {
    // 40 by 40 pixels: text colour red, background blue; then one pointing down.
    Widgets(Add(7, "1", {Cells(10, 10, 40, 40, 1), Looks("", "", "255", "16711680")}) + FE +
            Add(7, "2", {Cells(10, 100, 40, 40, 1), Looks("4", "", "255", "16711680")}));
    const QImage image = Render("arrows");
    const QColor red(255, 0, 0), blue(0, 0, 255);
    // Left: the tip at the left middle, the base along the right edge.
    EXPECT_TRUE(Near(image.pixelColor(12, 30), red));
    EXPECT_TRUE(Near(image.pixelColor(46, 14), red));
    EXPECT_TRUE(Near(image.pixelColor(14, 13), blue));
    EXPECT_TRUE(Near(image.pixelColor(14, 46), blue));
    // Down: the top edge is the base, the tip at the bottom middle.
    EXPECT_TRUE(Near(image.pixelColor(120, 13), red));
    EXPECT_TRUE(Near(image.pixelColor(120, 46), red));
    EXPECT_TRUE(Near(image.pixelColor(103, 46), blue));
}

TEST_F(WidgetRenderTest, StaticsAndEditsUseTheWidgetsColours) {
    // Background green behind a static text; an edit with its value.
    Widgets(Add(8, "1", {Cells(10, 10, 100, 20, 1), Looks("Label", "", "0", "65280")}) + FE +
            Add(10, "2", {Cells(40, 10, 100, 20, 1), Looks(""), "", "12345"}));
    const QImage image = Render("statics");
    const QRect text = Area(1);
    EXPECT_TRUE(Near(image.pixelColor(text.right() - 2, text.bottom() - 2), QColor(0, 255, 0)));
    EXPECT_GT(displaytest::InkPixels(image, text, QColor(0, 255, 0)), 10);
    EXPECT_GT(displaytest::InkPixels(image, Area(2).adjusted(2, 2, -2, -2), Qt::white), 10);
}

TEST_F(WidgetRenderTest, ListsAndRadioGroupsShowTheirItems) {
    Widgets(Add(18, "1", {Cells(10, 10, 100, 60, 1), Looks(""), "", "2", "", "FRUIT"}) + FE +
            Add(5, "2", {Cells(100, 10, 150, 24, 1), Looks(""), "", "3", "", "FRUIT"}));
    const QImage image = Render("lists");
    const QRect list = Area(1);
    const int row = static_cast<int>(SendMessage(WindowOf(1), LB_GETITEMHEIGHT, 0, 0));
    // Text in the first row, the second row (the selection) highlighted.
    EXPECT_GT(displaytest::InkPixels(image, QRect(list.left() + 2, list.top() + 1, 60, row - 2), Qt::white), 10);
    EXPECT_FALSE(Near(image.pixelColor(list.left() + 80, list.top() + row + row / 2), Qt::white));
    // The group's border, and a text per button.
    const QRect group = Area(2);
    EXPECT_TRUE(Near(image.pixelColor(group.left() + 70, group.top()), Qt::black));
    for (HWND b = GetWindow(WindowOf(2), GW_CHILD); b; b = GetWindow(b, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(b, &r);
        EXPECT_GT(displaytest::InkPixels(image, QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), Qt::white), 10);
    }
}

TEST_F(WidgetRenderTest, ListRowsAreAsTallAsTheirFont) {
    // The second row chosen: the first row's letters, descenders and all,
    // end above the highlight of the second.
    Widgets(Add(18, "1", {Cells(10, 10, 100, 80, 1), Looks(""), "", "2", "", "FRUIT"}));
    const QImage image = Render("list-rows");
    const QRect list = Area(1).adjusted(2, 1, -2, -1);
    int band = list.top();
    while (band < list.bottom() && Near(image.pixelColor(list.right() - 4, band), Qt::white)) ++band;
    ASSERT_LT(band, list.bottom());
    int ink = list.top();
    for (int y = list.top(); y < band; ++y)
        for (int x = list.left(); x < list.right() - 8; ++x)
            if (qGray(image.pixel(x, y)) < 128) ink = y;
    EXPECT_GT(ink, list.top() + 8);
    // The band is a whole line of the list's font high.
    HDC dc = GetDC(WindowOf(1));
    SelectObject(dc, HFONT(SendMessage(WindowOf(1), WM_GETFONT, 0, 0)));
    SIZE line{};
    GetTextExtentPoint32(dc, u"Ag", 2, &line);
    ReleaseDC(WindowOf(1), dc);
    ASSERT_GT(line.cy, 16);
    int height = 0;
    while (!Near(image.pixelColor(list.right() - 4, band + height), Qt::white)) ++height;
    EXPECT_GE(height, line.cy);

    // A combo box's field and the rows of its open list likewise.
    Widgets(Add(3, "2", {Cells(100, 10, 120, 80, 1), Looks(""), "", "1", "", "FRUIT"}));
    EXPECT_GE(SendMessage(WindowOf(2), CB_GETITEMHEIGHT, 0, 0), line.cy);
    EXPECT_GE(Area(2).height(), line.cy + 2);
    TapWindow(WindowOf(2));
    const HWND popup = GetCapture();
    ASSERT_NE(popup, 0u);
    qttest::Pump();
    const QImage open = plat::qt::RenderWindow(popup);
    if (const char* dir = std::getenv("WIDGET_RENDER_DIR")) open.save(QString(dir) + "/combo-list.png");
    EXPECT_GT(displaytest::InkPixels(open, QRect(2, 2, 60, line.cy - 2), Qt::white), 10);
    Key(VK_ESCAPE);
}

TEST_F(WidgetRenderTest, ComboBoxesAndProgressBarsShowTheirValues) {
    Widgets(Add(3, "1", {Cells(10, 10, 120, 80, 1), Looks(""), "", "3", "", "FRUIT"}) + FE +
            Add(15, "2", {Cells(60, 10, 100, 20, 1), Looks("50")}));
    const QImage image = Render("combos");
    // The chosen item's text in the field.
    RECT field{};
    GetWindowRect(WindowOf(1), &field);
    EXPECT_GT(displaytest::InkPixels(image, QRect(field.left + 2, field.top + 2, 60, field.bottom - field.top - 4), Qt::white), 10);
    // Half the bar filled: its left quarter is not white, its right quarter is.
    const QRect bar = Area(2);
    EXPECT_FALSE(Near(image.pixelColor(bar.left() + bar.width() / 4, bar.center().y()), Qt::white));
    EXPECT_TRUE(Near(image.pixelColor(bar.right() - bar.width() / 4, bar.center().y()), Qt::white));
}

TEST_F(WidgetRenderTest, AScreenOfWindowedWidgetsIsPushedAndPulled) {
    Widgets(Add(1, "1", {Cells(1, 1), Looks("Go"), "", "", "", "", "", "1"}) + FE +
            Add(10, "2", {Cells(3, 1, 8), Looks(""), "", "old", "", "", "", "2"}) + FE +
            Add(18, "3", {Cells(5, 1, 10, 3), Looks(""), "", "2", "", "FRUIT"}));
    // The field's text becomes its label before the screen is saved.
    Widgets(Action(1, WID_ACTION_SETFOCUS, "2"));
    SendMessage(WindowOf(2), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"new"));
    Key(VK_TAB);
    EXPECT_EQ(Events(), std::vector<Bytes>{Event('8', "new", "2")});
    SetFocus(m_owner);  // the button's focus ring is not part of the comparison
    const QImage before = Render("pushed");
    Send("O" + FD + "SAVED");
    EXPECT_TRUE(Replies().empty());
    const HWND oldButton = WindowOf(1);

    Widgets(Action(0, WID_ACTION_REMOVE, "") + FE + Add(8, "9", {Cells(0, 0), Looks("Other")}));
    EXPECT_FALSE(IsWindow(oldButton));
    Send("P" + FD + "SAVED");
    Replies();
    // The same widgets with new windows, and nothing else.
    int children = 0;
    for (HWND c = GetWindow(m_owner, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++children;
    EXPECT_EQ(children, 3);
    EXPECT_EQ(WindowOf(9), 0u);
    EXPECT_EQ(plat::window::GetWindowString(WindowOf(2)), u"old");
    EXPECT_EQ(Widget(2)->Fields().label, u"new");
    EXPECT_EQ(SendMessage(WindowOf(3), LB_GETCURSEL, 0, 0), 1);
    const QImage after = Render("pulled");
    EXPECT_EQ(displaytest::InkPixels(after, Area(1), Qt::white), displaytest::InkPixels(before, Area(1), Qt::white));
    TapWindow(WindowOf(1));
    EXPECT_EQ(Events(), std::vector<Bytes>{Event('8', "Go", "1")});
}

}  // namespace
}  // namespace widgetwindowtest
