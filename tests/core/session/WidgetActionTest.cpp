// WIDGETACTION through the session core: framed widget streams in, the
// widget manager's answers out, widget events through the event queue.
#include "CoreFixture.h"
#include "tests/core/widgets/WidgetFixture.h"

namespace coretest {
namespace {

using widgettest::Definition;
using widgettest::FakeWindows;

using widgettest::Action;
Bytes Widgets(const Bytes& records) { return "w" + FD + records; }

class WidgetActionTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        m_core->SetWidgetWindows(&m_windows);
    }
    void TearDown() override {
        m_core.reset();  // its widgets go while the window layer is there
        CoreTest::TearDown();
    }
    // The widget of an id, as its window layer knows it.
    CWidget* Widget(uint32_t id) {
        for (auto& [hwnd, window] : m_windows.windows) {
            if (window.widget->GetId() == id) return window.widget;
        }
        return nullptr;
    }
    FakeWindows m_windows;
};

TEST_F(WidgetActionTest, StreamsInAnswersOutInBothFramingModes) {
    StartLog();
    const Bytes button = Definition(1, "5", {"2" + FC + "1" + FC + "1", FC + FC + FC + "OK"});
    Send(Widgets(button + FE + Definition(8, "7") + FE + Action(1, WID_ACTION_GETLABEL, "5")));
    std::vector<Bytes> replies = Replies();
    ASSERT_EQ(replies.size(), 1u);
    const Bytes prefix = "w" + FD + "5" + FE + "7" + FE;
    ASSERT_EQ(replies[0].substr(0, prefix.size()), prefix);
    const Bytes record = replies[0].substr(prefix.size());
    EXPECT_EQ(record.substr(0, 5), "1" + FD + "1" + FD + "5");
    EXPECT_NE(record.find("OK"), Bytes::npos);

    // A record answered by GETLABEL goes back as an ADD; long streams travel
    // in many segments.
    Bytes many;
    for (int i = 10; i < 40; ++i) many += FE + Definition(1, std::to_string(i), {"", FC + FC + FC + "Button"});
    Send(Widgets(Action(1, WID_ACTION_REMOVE, "5") + FE + record + many));
    replies = Replies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].substr(0, 6), "w" + FD + "5" + FE + "5" + FE);
    EXPECT_EQ(Widget(5)->Fields().label, u"OK");

    Send("B" + FD + "1");
    Replies();
    Send(Widgets(Action(1, WID_ACTION_SETLABEL, "5", FD + FD + FC + FC + FC + "caf\xC3\xA9")), 1);
    EXPECT_EQ(Replies(1), std::vector<Bytes>{"w" + FD + "5"});
    EXPECT_EQ(Widget(5)->Fields().label, u"caf\u00e9");

    const std::string log = LogText();
    for (const char* line : {"WIDGETACTION", "ProcessWidgetStream (", "WID_ACTION_ADD (5)", "WID_ACTION_GETLABEL (5)",
                             "  found widget", "WID_ACTION_SETLABEL (5)"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
}

// A widget too large for a screen file is refused, so PUSHSCREEN still saves
// every widget the host has.
TEST_F(WidgetActionTest, AScreenFileKeepsEveryWidgetThatWasTaken) {
    const Bytes small = Definition(1, "5", {"", FC + FC + FC + "OK"});
    const Bytes huge = Definition(1, "6", {"", FC + FC + FC + Bytes(17 << 20, 'h')});
    Send(Widgets(small + FE + huge));
    EXPECT_EQ(Replies(), std::vector<Bytes>{Widgets("5" + FE + "-1")});
    // Eight widgets of the most one may hold: their records fit the file too.
    for (int id = 10; id < 17; ++id)
        Send(Widgets(Definition(1, std::to_string(id), {"", FC + FC + FC + Bytes(CWidgetManager::kMaxWidgetBytes / 2, 'm')})));
    Replies();
    Send("O" + FD + "saved");
    Send(Widgets(Action(0, WID_ACTION_REMOVE, "")));
    Send("Q" + FD + "saved");
    Replies();
    ASSERT_NE(Widget(5), nullptr);
    EXPECT_EQ(Widget(5)->Fields().label, u"OK");
    for (int id = 10; id < 17; ++id) {
        ASSERT_NE(Widget(id), nullptr) << id;
        EXPECT_EQ(Widget(id)->Fields().label.str().size(), CWidgetManager::kMaxWidgetBytes / 2);
    }
}

TEST_F(WidgetActionTest, WidgetEventsWaitInTheQueueForGetEvent) {
    Send(Widgets(Definition(1, "5", {"", FC + FC + FC + "OK", "3"})));
    Replies();
    CWidget* button = Widget(5);
    ASSERT_NE(button, nullptr);
    button->SendEvent(u"OK", 0);  // the host waits for nothing: queued
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(m_core->Events().Size(), 1);
    Send("1" + FD + "0");
    EXPECT_EQ(Replies(), std::vector<Bytes>{"3" + FD + "OK" + FD + "5" + FC + "-1"});

    // While GETEVENT waits the event goes out at once and ends the input.
    Send("1" + FD + "0");
    EXPECT_TRUE(Replies().empty());
    button->SendEvent(u"OK", 1);
    EXPECT_EQ(Replies(), std::vector<Bytes>{"8" + FD + "OK" + FD + "5" + FC + "-1"});
    EXPECT_EQ(m_core->Field().command, InputCommand::None);
}

TEST_F(WidgetActionTest, WidgetActionEmptiesTheQueueUnlessScanAheadIsTwo) {
    Send(Widgets(Definition(1, "5")));
    Replies();
    for (int mode : {0, 2}) {
        SCOPED_TRACE(mode);
        m_core->Settings().SetScanAheadMode(mode);
        Widget(5)->SendEvent(u"x", 0);
        Type(u"a");
        EXPECT_EQ(m_core->Events().Size(), 2);
        Send(Widgets(Action(1, WID_ACTION_ENABLE, "5")));
        EXPECT_EQ(Replies(), std::vector<Bytes>{"w" + FD + "5"});
        EXPECT_EQ(m_core->Events().Size(), mode == 2 ? 2 : 0);
        m_core->Events().Clear();
    }
}

TEST_F(WidgetActionTest, DisconnectRemovesEveryWidget) {
    Send(Widgets(Definition(1, "5") + FE + Definition(13, "6")));
    Replies();
    Send("9" + FD);
    EXPECT_TRUE(m_windows.windows.empty());
    Send(Widgets(Action(0, WID_ACTION_GETLABEL, "")));
    EXPECT_EQ(Replies(), std::vector<Bytes>{"w" + FD + "1" + FD});
}

TEST_F(WidgetActionTest, CellMetricsAndFontReachTheWidgets) {
    ChangeProperties([](CoreProperties& p) {
        p.cells.cellWidth = 8;
        p.cells.cellHeight = 16;
        p.cells.fontName = u"Tahoma";
        p.cells.fontSize = 11;
    });
    m_core->UpdateCellMetrics();
    Send(Widgets(Definition(1, "5", {"2" + FC + "2" + FC + "3" + FC + "4" + FC + "1"})));
    EXPECT_EQ(m_windows.Of(Widget(5)).rect, (WidgetRect{24, 32, 32, 16}));
    EXPECT_EQ(Widget(5)->ChooseFont().face, u"Tahoma");
    EXPECT_EQ(Widget(5)->ChooseFont().points, 11);
}

TEST_F(WidgetActionTest, WidgetFilesResolveInTheirFolders) {
    RegisterFolder(u"DATA", u"", u"\\Session\\DATA");
    RegisterFolder(u"MENUS", u"", u"\\Session\\MENUS");
    Send(Widgets(Definition(9, "5", {"", FC + FC + FC + "picture"})));
    for (const auto& [ref, expected] : std::vector<std::pair<WidgetFileRef, std::u16string>>{
             {Widget(5)->DataFile(), u"\\Session\\DATA"}, {CWidget::ItemListFile(u"PICK"), u"\\Session\\MENUS"}}) {
        std::u16string directory, name = ref.name;
        BuildFolderPath(directory, name, ref.defaultFolder);
        EXPECT_TRUE(directory.ends_with(expected)) << plat::text::WideToUtf8(directory);
    }
    EXPECT_EQ(CWidget::ItemListFile(u"PICK").name, u"PICK.MNU");
}

}  // namespace
}  // namespace coretest
