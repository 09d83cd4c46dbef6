// The menu box the core asks the control for (RFMENU): read from a menu file
// of the MENUS folder, laid out on the cell grid, driven by keys and taps,
// answering the host when it closes; and the listing of the menu files.
#include <gtest/gtest.h>

#include <QImage>

#include <string>
#include <vector>

#include "control/ControlDialogs.h"
#include "tests/core/session/CoreFixture.h"
#include "platform/DeviceFs.h"
#include "platform/Dialog.h"
#include "platform/Library.h"
#include "platform/Message.h"
#include "platform/QtHost.h"
#include "tests/control/QtApplication.h"
#include "tests/platform/qt/QtPump.h"

namespace {

using namespace coretest;

struct RecordingDialogs final : ICoreDialogs {
    CControlDialogs real{LoadLibrary(u"ORVADERES.DLL"), 0};
    MenuBoxRequest request;
    HWND box = 0;
    HWND OpenMenuBox(const MenuBoxRequest& r, const DialogGrid& grid, IDialogAnswers& answers) override {
        request = r;
        return box = real.OpenMenuBox(r, grid, answers);
    }
    void CloseMenuBox(HWND b) override { real.CloseMenuBox(b); }
};

class MenuBoxTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        m_core->SetDialogs(&m_dialogs);
        m_core->SetAutomation(&m_automation);
        // As the control sets it: the application folder is the module folder.
        m_core->SetAppDirectory(m_core->ModuleFolder());
    }

    void WriteMenu(const std::u16string& name, const Bytes& content) {
        const std::u16string folder = m_core->ModuleFolder() + u"\\MENUS";
        // Each level of the module folder, then MENUS.
        for (size_t at = 1; (at = folder.find(u'\\', at + 1)) != std::u16string::npos;)
            plat::fs::CreateDirectory(folder.substr(0, at));
        plat::fs::CreateDirectory(folder);
        ASSERT_TRUE(plat::fs::WriteFile(folder + u"\\" + name, content.data(), content.size()));
    }

    // Geometry 2, 1, 20, 10 cells, then the title record and the items.
    static Bytes Menu(const Bytes& title, const Bytes& items) {
        return "2" + FE + "1" + FE + "20" + FE + "10" + FE + title + FE + items;
    }

    HWND List() const { return GetDlgItem(m_box, 30000); }
    int Count() const { return static_cast<int>(SendMessage(List(), LB_GETCOUNT, 0, 0)); }
    int Selected() const { return static_cast<int>(SendMessage(List(), LB_GETCURSEL, 0, 0)); }

    RecordingDialogs m_dialogs;
    HWND& m_box = m_dialogs.box;
};

TEST_F(MenuBoxTest, ThreeItemsWithoutTitleAnswerTheChosenNumber) {
    WriteMenu(u"PICK.MNU", Menu("", "Alpha" + FD + "Beta" + FD + "Gamma" + FD));
    Send("M" + FD + "PICK.MNU" + FD);
    EXPECT_TRUE(Replies().empty());
    ASSERT_NE(m_box, 0u);
    EXPECT_EQ(m_core->Box().window, m_box);
    EXPECT_EQ(m_core->Box().mode, DialogMode::Menu);
    EXPECT_EQ(Count(), 3);
    EXPECT_EQ(Selected(), 0);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(m_box, 0xFFFF)));
    ASSERT_FALSE(m_automation.notes.empty());
    EXPECT_EQ(m_automation.notes.back().first, AUTO_MENU_SHOWN);

    // The rectangle in cells; the buttons along the bottom.
    const int cw = m_core->Screen().CellWidth();
    const int ch = m_core->Screen().CellHeight();
    RECT box{}, list{}, ok{}, cancel{};
    GetWindowRect(m_box, &box);
    GetWindowRect(List(), &list);
    GetWindowRect(GetDlgItem(m_box, IDOK), &ok);
    GetWindowRect(GetDlgItem(m_box, IDCANCEL), &cancel);
    EXPECT_EQ(box.right - box.left, 20 * cw);
    EXPECT_EQ(box.bottom - box.top, 10 * ch);
    EXPECT_EQ(list.top - box.top, 0);
    EXPECT_EQ(list.bottom - box.top, 10 * ch - (ch + 4));
    EXPECT_EQ(ok.left - box.left, 0);
    EXPECT_EQ(ok.right - ok.left, 4 * cw);
    EXPECT_EQ(ok.top - box.top, 10 * ch - (ch + 4) + 1);
    EXPECT_EQ(cancel.right, box.right);
    EXPECT_EQ(cancel.right - cancel.left, 8 * cw);

    // Down moves one, and goes no further than the last; Up stops at the first.
    SendMessage(List(), WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(Selected(), 1);
    SendMessage(m_box, WM_KEYDOWN, VK_UP, 0);
    SendMessage(m_box, WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(Selected(), 0);
    for (int i = 0; i < 5; ++i) SendMessage(m_box, WM_CHAR, VK_DOWN, 0);
    EXPECT_EQ(Selected(), 2);
    SendMessage(List(), WM_KEYDOWN, VK_UP, 0);
    // Other keys are consumed and change nothing.
    SendMessage(List(), WM_CHAR, 'x', 0);
    EXPECT_EQ(Selected(), 1);
    EXPECT_TRUE(Replies().empty());

    SendMessage(List(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"M" + FD + "2"});
    EXPECT_EQ(m_core->Box().window, 0u);
    EXPECT_EQ(m_automation.notes.back().first, AUTO_MENU_CLOSED);
}

TEST_F(MenuBoxTest, TitleLinesAndEmptyEntriesCount) {
    // An empty title line and an empty item in the middle each count.
    WriteMenu(u"T.MNU", Menu("Top" + FD + FD + "Bottom" + FD, "a" + FD + FD + "c" + FD));
    Send("M" + FD + "T.MNU" + FD);
    ASSERT_NE(m_box, 0u);
    EXPECT_EQ(m_dialogs.request.titleLines, 3);
    EXPECT_EQ(m_dialogs.request.title, u"Top\r\n\r\nBottom\r\n");
    EXPECT_EQ(Count(), 3);
    const HWND text = GetDlgItem(m_box, 0xFFFF);
    EXPECT_TRUE(IsWindowVisible(text));
    RECT box{}, title{}, list{};
    GetWindowRect(m_box, &box);
    GetWindowRect(text, &title);
    GetWindowRect(List(), &list);
    EXPECT_EQ(title.bottom - title.top, 3 * m_core->Screen().CellHeight());
    EXPECT_EQ(list.top, title.bottom);
    // A double click on the list takes the selection.
    SendMessage(List(), WM_KEYDOWN, VK_DOWN, 0);
    SendMessage(m_box, WM_COMMAND, MAKEWPARAM(30000, LBN_DBLCLK), static_cast<LPARAM>(List()));
    EXPECT_EQ(Replies(), std::vector<Bytes>{"M" + FD + "2"});
}

TEST_F(MenuBoxTest, AMenuWithoutItemsShowsOneBlankItem) {
    WriteMenu(u"EMPTY.MNU", Menu("", ""));
    Send("M" + FD + "EMPTY.MNU" + FD);
    ASSERT_NE(m_box, 0u);
    ASSERT_EQ(Count(), 1);
    SendMessage(m_box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"M" + FD + "2"});
}

TEST_F(MenuBoxTest, CancelKeysAnswerMinusOne) {
    WriteMenu(u"K.MNU", Menu("", "a" + FD + "b" + FD));
    const Bytes open = "M" + FD + "K.MNU" + FD;
    struct Case {
        UINT msg;
        WPARAM key;
    };
    for (const Case c : {Case{WM_CHAR, VK_ESCAPE}, Case{WM_CHAR, 3}, Case{WM_CHAR, 12}, Case{WM_KEYDOWN, VK_ESCAPE}}) {
        Send(open);
        ASSERT_TRUE(IsWindow(m_box));
        SendMessage(List(), c.msg, c.key, 0);
        EXPECT_EQ(Replies(), std::vector<Bytes>{"M" + FD + "-1"}) << c.key;
        EXPECT_FALSE(IsWindow(m_box));
        m_segments.clear();
    }
    Send(open);
    SendMessage(m_box, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"M" + FD + "-1"});
}

TEST_F(MenuBoxTest, MissingOrEmptyFilesAnswerAtOnce) {
    WriteMenu(u"ZERO.MNU", "");
    for (const Bytes name : {"NONE.MNU", "ZERO.MNU", ""}) {
        Send("M" + FD + name + FD);
        EXPECT_EQ(Replies(), std::vector<Bytes>{"M" + FD + "-2"}) << name;
        EXPECT_EQ(m_box, 0u);
        m_segments.clear();
    }
}

TEST_F(MenuBoxTest, ClosingWithoutAnAnswer) {
    WriteMenu(u"C.MNU", Menu("", "a" + FD));
    // WM_CLOSE (what Disconnect posts) destroys the box without a reply.
    Send("M" + FD + "C.MNU" + FD);
    SendMessage(m_box, WM_CLOSE, 0, 0);
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(m_core->Box().window, 0u);
    // A second menu cancels the first.
    Send("M" + FD + "C.MNU" + FD);
    const HWND first = m_box;
    Send("M" + FD + "C.MNU" + FD);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(Replies(), std::vector<Bytes>{"M" + FD + "-1"});
    EXPECT_EQ(m_core->Box().window, m_box);
    // A Disconnect within a second of the opening waits for the next reply.
    Send("9" + FD);
    EXPECT_TRUE(m_core->Box().disconnectPending);
    // A core that goes away takes its open box with it.
    const HWND open = m_box;
    m_core.reset();
    EXPECT_FALSE(IsWindow(open));
}

TEST_F(MenuBoxTest, LongTitlesAndItemsAreCut) {
    const Bytes longLine(400, 't');
    const Bytes longItem(150, 'i');
    WriteMenu(u"L.MNU", Menu(longLine + FD + "more" + FD, longItem + FD));
    Send("M" + FD + "L.MNU" + FD);
    ASSERT_NE(m_box, 0u);
    EXPECT_EQ(m_dialogs.request.title, std::u16string(300, u't'));
    ASSERT_EQ(m_dialogs.request.items.size(), 1u);
    EXPECT_EQ(m_dialogs.request.items[0].text.size(), 99u);
}

TEST_F(MenuBoxTest, ListMenuFilesNamesTheMenuFiles) {
    WriteMenu(u"A.MNU", Menu("", "x" + FD));
    WriteMenu(u"B.MNU", Menu("", "y" + FD));
    WriteMenu(u"NOTES.TXT", "z");
    Send("N" + FD);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"N" + FD + "A.MNU" + FD + "B.MNU" + FD});
}

TEST_F(MenuBoxTest, AutomationReadsAndChooses) {
    WriteMenu(u"A.MNU", Menu("", "one" + FD + "two" + FD));
    Send("M" + FD + "A.MNU" + FD);
    ASSERT_NE(m_box, 0u);
    // The automation libraries read the items and choose through the box.
    IExtensionHost& host = *m_core;
    const AutoQueryFn query = host.AutomationQueryFunction();
    EXPECT_EQ(query(host.AutomationQueryContext(), AUTO_QUERY_MENU_ITEM_LENGTH, 1, 0), 3);
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(query(host.AutomationQueryContext(), AUTO_QUERY_MENU_CHOOSE, 1, 0), 0);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"M" + FD + "2"});
}

TEST_F(MenuBoxTest, TheMenuBoxIsDrawn) {
    displaytest::EnsureApplication();
    WriteMenu(u"R.MNU", Menu("Pick one" + FD, "Apples" + FD + "Pears" + FD));
    Send("M" + FD + "R.MNU" + FD);
    ASSERT_NE(m_box, 0u);
    qttest::Pump();
    UpdateWindow(m_box);
    plat::qt::SyncWidgets();
    const QImage shot = plat::qt::RenderWindow(m_box).convertToFormat(QImage::Format_RGB32);
    shot.save("/tmp/menu24-menubox.png");
    ASSERT_FALSE(shot.isNull());
    RECT box{}, list{};
    GetWindowRect(m_box, &box);
    GetWindowRect(List(), &list);
    const QColor page = shot.pixelColor(shot.width() - 2, list.bottom - box.top - 4);
    // The items are written in the list.
    const int rows = 2 * m_core->Screen().CellHeight();
    EXPECT_GT(displaytest::InkPixels(shot, QRect(2, list.top - box.top + 2, shot.width() / 2, rows), page), 20);
}

}  // namespace
