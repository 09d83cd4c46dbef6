// The widget stream and the manager: actions and their answers, lookups,
// saved records, the tab order and the routing of window messages.
#include "WidgetFixture.h"

namespace widgettest {
namespace {

Bytes Add(int type, const Bytes& id, const std::vector<Bytes>& rest = {}) { return Definition(type, id, rest); }
const Bytes kHeader = "w" + FD;

TEST_F(WidgetTest, AddAnswersTheIdsInOrder) {
    EXPECT_EQ(Stream(Add(1, "5") + FE + Add(8, "7")), kHeader + "5" + FE + "7");
    ASSERT_EQ(m_manager.Count(), 2);
    EXPECT_EQ(m_manager.At(0)->GetId(), 5u);
    EXPECT_EQ(m_manager.At(1)->GetId(), 7u);
    // Types without a window are kept all the same.
    EXPECT_EQ(Stream(Add(13, "9")), kHeader + "9");
    EXPECT_EQ(Widget(9)->GetWindow(), 0u);
    EXPECT_EQ(Widget(9)->SendToWindow(WIDGET_MSG_SHOW, 1, 0), -1);
}

TEST(WidgetManager, AddAnswersMinusOneWhenMemoryRunsOut) {
    struct Exhausted : CWidgetManager {
        bool exhausted = false;
        std::unique_ptr<CWidget> NewWidget() override { return exhausted ? nullptr : CWidgetManager::NewWidget(); }
    } manager;
    PacketOver first(Definition(1, "5"));
    EXPECT_EQ(manager.AddWidget(first.packet), 5);
    manager.exhausted = true;
    PacketOver stream(Definition(1, "6") + FE + Definition(1, "5"));
    CPacketBuffer writer(0, 0xFF, 100, 0);
    manager.ProcessWidgetStream(stream.packet, &writer);
    EXPECT_EQ(Written(writer), "w" + FD + "-1" + FE + "-1");
    // The widget with the id is kept when its replacement could not be made.
    ASSERT_EQ(manager.Count(), 1);
    EXPECT_EQ(manager.At(0)->GetId(), 5u);
}

TEST(WidgetManager, NewWidgetsPastTheLimitAreRefusedAndReplacementsTaken) {
    CWidgetManager manager;
    constexpr size_t kExtra = 50;
    Bytes records;
    for (size_t i = 0; i < CWidgetManager::kMaxWidgets + kExtra; ++i) records += Definition(1, "") + FE;
    records += Definition(1, "2147483648");  // the first widget's id: a replacement
    PacketOver stream(records);
    CPacketBuffer writer(0, 0xFF, 1 << 16, 0);
    manager.ProcessWidgetStream(stream.packet, &writer);
    EXPECT_EQ(manager.Count(), static_cast<int>(CWidgetManager::kMaxWidgets));
    const Bytes reply = Written(writer);
    EXPECT_EQ(reply.substr(reply.size() - 14), FE + "-1" + FE + "2147483648");
    // The refused definitions took no id: the next own id follows the last one kept.
    manager.RemoveWidget(2147483648u);
    PacketOver more(Definition(1, ""));
    EXPECT_EQ(manager.AddWidget(more.packet), 2147483648 + static_cast<int64_t>(CWidgetManager::kMaxWidgets));
}

// A widget whose label holds the given number of characters (2 bytes each).
Bytes Labelled(const Bytes& id, size_t characters) { return Add(1, id, {"", FC + FC + FC + Bytes(characters, 'x')}); }

TEST_F(WidgetTest, TheBytesOfOneWidgetAndOfAllWidgetsAreBounded) {
    constexpr size_t kMost = CWidgetManager::kMaxWidgetBytes / 2;
    EXPECT_EQ(Stream(Labelled("1", kMost + 1)), kHeader + "-1");
    EXPECT_EQ(m_manager.Count(), 0);
    // Eight widgets at the bound fill what all widgets may hold.
    for (int id = 1; id <= 8; ++id) EXPECT_EQ(Stream(Labelled(std::to_string(id), kMost)), kHeader + std::to_string(id));
    EXPECT_EQ(Stream(Labelled("9", 1)), kHeader + "-1");
    EXPECT_EQ(m_manager.Count(), 8);
    // A replacement gives its old widget's bytes back; a refused one keeps the old.
    EXPECT_EQ(Stream(Labelled("8", 10)), kHeader + "8");
    EXPECT_EQ(Stream(Labelled("9", 10)), kHeader + "9");
    EXPECT_EQ(Stream(Labelled("9", kMost)), kHeader + "-1");
    EXPECT_EQ(Widget(9)->Fields().label, u"xxxxxxxxxx");
    // SETLABEL past a bound answers -1 and keeps the label.
    const Bytes looks = FD + "" + FD + "" + FC + FC + FC;
    EXPECT_EQ(Stream(Action(1, WID_ACTION_SETLABEL, "9", looks + Bytes(kMost, 'y'))), kHeader + "-1");
    EXPECT_EQ(Widget(9)->Fields().label, u"xxxxxxxxxx");
    EXPECT_EQ(Stream(Action(0, WID_ACTION_SETLABEL, "", looks + Bytes(kMost + 1, 'y'))), kHeader + "-1");
    EXPECT_EQ(Widget(9)->Fields().label, u"xxxxxxxxxx");
}

TEST_F(WidgetTest, OneLabelGivenToAllWidgetsIsOneCopy) {
    Bytes records;
    for (int id = 1; id <= 100; ++id) records += (id > 1 ? FE : "") + Add(1, std::to_string(id));
    Stream(records, 1 << 16);
    const Bytes looks = FD + "" + FD + "" + FC + FC + FC;
    constexpr size_t kLabel = CWidgetManager::kMaxWidgetBytes / 2;
    EXPECT_EQ(Stream(Action(0, WID_ACTION_SETLABEL, "", looks + Bytes(kLabel, 'z'))), kHeader + "1");
    for (int id = 1; id <= 100; ++id) {
        EXPECT_EQ(Widget(id)->Fields().label.c_str(), Widget(1)->Fields().label.c_str());
        EXPECT_EQ(Widget(id)->Fields().label.str().size(), kLabel);
    }
}

TEST_F(WidgetTest, ClientIdsAreNeverZeroAndUnique) {
    const Bytes reply = Stream(Add(1, "") + FE + Add(1, "") + FE + Add(1, "2147483648"));
    // The host's own use of an id replaces the widget that had it.
    EXPECT_EQ(reply, kHeader + "2147483648" + FE + "2147483649" + FE + "2147483648");
    EXPECT_EQ(m_manager.Count(), 2);
    // A name taken for a number reads as 0, which no client id is.
    EXPECT_EQ(Stream(Action(1, WID_ACTION_HIDE, "abc")), kHeader + "-4");
    EXPECT_TRUE(m_windows.Of(m_manager.At(0)).visible);
}

TEST_F(WidgetTest, AddWithALiveIdReplacesTheWidgetAndItsWindow) {
    Stream(Add(1, "5", {"", FC + FC + FC + "old"}));
    const HWND oldWindow = Widget(5)->GetWindow();
    EXPECT_EQ(Stream(Add(1, "5", {"", FC + FC + FC + "new"})), kHeader + "5");
    ASSERT_EQ(m_manager.Count(), 1);
    EXPECT_EQ(Widget(5)->Fields().label, u"new");
    EXPECT_EQ(m_windows.destroyed, std::vector<HWND>{oldWindow});
    EXPECT_FALSE(IsWindow(oldWindow));
}

TEST_F(WidgetTest, ActionsOnOneWidgetByIdOrName) {
    Stream(Add(1, "5", {"", "", "", "", "", "", "ok"}) + FE + Add(10, "6", {"", "", "", "", "", "", "field"}));
    FakeWindows::Window& ok = m_windows.Of(Widget(5));
    ok.messages.clear();
    EXPECT_EQ(Stream(Action(1, WID_ACTION_HIDE, "5")), kHeader + "5");
    EXPECT_EQ(ok.messages, (std::vector<UINT>{WIDGET_MSG_ENABLE, WIDGET_MSG_SHOW}));
    EXPECT_FALSE(ok.visible || ok.enabled);
    ok.messages.clear();
    EXPECT_EQ(Stream(Action(1, WID_ACTION_SHOW, "ok")), kHeader + "ok");  // found by name: answered as received
    EXPECT_EQ(ok.messages, (std::vector<UINT>{WIDGET_MSG_SHOW, WIDGET_MSG_ENABLE}));
    EXPECT_TRUE(ok.visible && ok.enabled);
    EXPECT_EQ(Stream(Action(1, WID_ACTION_DISABLE, "6") + FE + Action(1, WID_ACTION_ENABLE, "5")),
              kHeader + "6" + FE + "5");
    EXPECT_FALSE(m_windows.Of(Widget(6)).enabled);
    // SETFOCUS looks up its one widget whatever the scope.
    EXPECT_EQ(Stream(Action(0, WID_ACTION_SETFOCUS, "field")), kHeader + "field");
    EXPECT_EQ(m_windows.focus, Widget(6)->GetWindow());
    EXPECT_EQ(m_manager.GetFocusedWidget(), Widget(6));
    // Not found: -4 and nothing changes; REMOVE answers the id all the same.
    EXPECT_EQ(Stream(Action(1, WID_ACTION_HIDE, "8") + FE + Action(1, WID_ACTION_REMOVE, "8") + FE +
                     Action(1, WID_ACTION_GETLABEL, "nobody")),
              kHeader + "-4" + FE + "8" + FE + "-4");
    EXPECT_EQ(m_manager.Count(), 2);
    EXPECT_EQ(Stream(Action(1, WID_ACTION_REMOVE, "6")), kHeader + "6");
    EXPECT_EQ(m_manager.GetFocusedWidget(), nullptr);
    EXPECT_EQ(m_manager.Count(), 1);
}

TEST_F(WidgetTest, ActionsOnAllWidgets) {
    Stream(Add(1, "1") + FE + Add(6, "2") + FE + Add(8, "3"));
    m_manager.At(1)->SetFocus();
    EXPECT_EQ(Stream(Action(0, WID_ACTION_HIDE, "")), kHeader + "1");
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(m_windows.Of(m_manager.At(i)).visible);
        EXPECT_TRUE(m_windows.Of(m_manager.At(i)).enabled);  // hidden, still enabled
    }
    EXPECT_EQ(m_manager.GetFocusedWidget(), nullptr);
    EXPECT_EQ(Stream(Action(0, WID_ACTION_DISABLE, "") + FE + Action(0, WID_ACTION_SHOW, "")), kHeader + "1" + FE + "1");
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(m_windows.Of(m_manager.At(i)).visible && m_windows.Of(m_manager.At(i)).enabled);
    }
    EXPECT_EQ(Stream(Action(0, WID_ACTION_REMOVE, "")), kHeader + "1");
    EXPECT_EQ(m_manager.Count(), 0);
    EXPECT_TRUE(m_windows.windows.empty());
}

TEST_F(WidgetTest, SetLabelReadsTheLabelSubField) {
    Stream(Add(1, "1") + FE + Add(6, "2") + FE + Add(13, "3"));
    const Bytes looks = FD + "" + FD + "face" + FC + "1" + FC + "2" + FC;
    EXPECT_EQ(Stream(Action(1, WID_ACTION_SETLABEL, "1", looks + "Go")), kHeader + "1");
    EXPECT_EQ(Widget(1)->Fields().label, u"Go");
    EXPECT_EQ(m_windows.Of(Widget(1)).label, u"Go");
    Stream(Action(1, WID_ACTION_SETLABEL, "1", looks + "\x01"));
    EXPECT_EQ(Widget(1)->Fields().label, u"");
    Stream(Action(1, WID_ACTION_SETLABEL, "2", looks + "1" + FB + "Tick"));
    EXPECT_EQ(Widget(2)->Fields().value, u"1");
    EXPECT_EQ(Widget(2)->Fields().label, u"Tick");
    // Scope 0: every widget gets the same label, the windowless one included.
    EXPECT_EQ(Stream(Action(0, WID_ACTION_SETLABEL, "", looks + "All")), kHeader + "1");
    for (uint32_t id : {1u, 2u, 3u}) EXPECT_EQ(Widget(id)->Fields().label, u"All") << id;
}

TEST_F(WidgetTest, GetLabelAnswersRecordsThatCanBeSentBackAsAdd) {
    Stream(Add(8, "4", {"2" + FC + "1" + FC + "1", FC + FC + FC + "Name:", "", "", "", "", "lbl", "3"}) + FE +
           Add(10, "5", {"", "", "", "abc"}));
    const Bytes one = Stream(Action(1, WID_ACTION_GETLABEL, "4"));
    ASSERT_EQ(one.substr(0, 2), kHeader);
    const Bytes record = one.substr(2);
    EXPECT_EQ(record.substr(0, 5), "8" + FD + "1" + FD + "4");
    const WidgetFields before = Widget(4)->Fields();
    EXPECT_EQ(Stream(Action(1, WID_ACTION_REMOVE, "4") + FE + record), kHeader + "4" + FE + "4");
    EXPECT_EQ(Widget(4)->Fields(), before);

    // All: "1", then each record with 0xFE; the next answer follows a second 0xFE.
    CPacketBuffer expected(0, 0xFF, 4096, 0);
    m_manager.At(0)->WriteState(expected);
    expected.EndRecord();
    m_manager.At(1)->WriteState(expected);
    expected.EndRecord();
    EXPECT_EQ(Stream(Action(0, WID_ACTION_GETLABEL, "") + FE + Action(1, WID_ACTION_ENABLE, "5")),
              kHeader + "1" + FD + Written(expected) + FE + "5");
}

TEST_F(WidgetTest, AFullReplyHoldsWholeRecordsOnly) {
    Bytes adds;
    for (int i = 1; i <= 20; ++i) adds += (i > 1 ? FE : "") + Add(1, std::to_string(i), {"", FC + FC + FC + "Button"});
    Stream(adds);
    CPacketBuffer first(0, 0xFF, 4096, 0);
    ASSERT_TRUE(m_manager.At(0)->WriteState(first));
    const size_t recordSize = static_cast<size_t>(first.GetLength()) + 1;
    // Room for the header, "1" 0xFD and three and a half records.
    const Bytes reply = Stream(Action(0, WID_ACTION_GETLABEL, ""), static_cast<int32_t>(4 + recordSize * 7 / 2));
    EXPECT_EQ(reply.size(), 4 + 3 * recordSize);
    EXPECT_EQ(reply.back(), FE[0]);

    CPacketBuffer saved(0, 0xFF, static_cast<int32_t>(recordSize * 5 / 2), 0);
    EXPECT_FALSE(m_manager.WriteAll(saved));
    EXPECT_EQ(saved.GetLength(), static_cast<int32_t>(2 * recordSize));
}

TEST_F(WidgetTest, UnknownActionsAppendNothingAndTheStreamEndsWithItsCommand) {
    Stream(Add(1, "1"));
    EXPECT_EQ(Stream(Action(1, WID_ACTION_ENABLE, "1") + FE + Action(1, 12, "1") + FE + Action(1, WID_ACTION_ENABLE, "1")),
              kHeader + "1" + FE + FE + "1");
    // A later command of the packet is not a widget record.
    const Bytes rest = "A" + FD + "ping";
    PacketOver p(Action(1, WID_ACTION_ENABLE, "1") + FE + "\xFF" + rest);
    CPacketBuffer writer(0, 0xFF, 100, 0);
    EXPECT_EQ(m_manager.ProcessWidgetStream(p.packet, &writer), static_cast<int32_t>(rest.size()) + 1);
    EXPECT_EQ(Written(writer), kHeader + "1");
    // Without a writer the actions are carried out all the same.
    PacketOver hide(Action(1, WID_ACTION_HIDE, "1"));
    EXPECT_EQ(m_manager.ProcessWidgetStream(hide.packet, nullptr), 0);
    EXPECT_FALSE(m_windows.Of(Widget(1)).visible);
}

TEST_F(WidgetTest, SavedRecordsRestoreTheSameWidgets) {
    Stream(Add(1, "1", {"1" + FC + "5" + FC + "5", FC + FC + FC + "One"}) + FE + Add(13, "") + FE +
           Add(10, "3", {"", "", "", "x" + FC + "2", "", "ref" + FB + "9", "", "1"}));
    std::vector<WidgetFields> before;
    for (int i = 0; i < m_manager.Count(); ++i) before.push_back(m_manager.At(i)->Fields());
    CPacketBuffer saved(0, 0xFF, 4096, 0);
    ASSERT_TRUE(m_manager.WriteAll(saved));
    Stream(Add(1, "99"));
    PacketOver restore(Written(saved));
    m_manager.LoadAll(restore.packet);
    ASSERT_EQ(m_manager.Count(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m_manager.At(i)->Fields(), before[static_cast<size_t>(i)]) << i;
    EXPECT_EQ(Widget(99), nullptr);
}

TEST_F(WidgetTest, TabOrderWrapsAndSkipsWidgetsThatCannotTakeTheFocus) {
    // Tab indexes 5, 2, 9, -1 (never), 3 hidden, 4 disabled, 7 static text, 6 again (later: second).
    Stream(Add(1, "1", {"", "", "", "", "", "", "", "5"}) + FE + Add(1, "2", {"", "", "", "", "", "", "", "2"}) + FE +
           Add(1, "3", {"", "", "", "", "", "", "", "9"}) + FE + Add(1, "4", {"", "", "", "", "", "", "", "-1"}) + FE +
           Add(1, "5", {"", "", "", FC + "1", "", "", "", "3"}) + FE +
           Add(1, "6", {"", "", "", FC + "2", "", "", "", "4"}) + FE + Add(8, "7", {"", "", "", "", "", "", "", "7"}) +
           FE + Add(6, "8", {"", "", "", "", "", "", "", "6"}) + FE + Add(6, "9", {"", "", "", "", "", "", "", "6"}));
    auto focusAfter = [this](uint32_t from, bool backward) {
        m_manager.MoveFocus(from ? Widget(from) : nullptr, backward);
        return m_manager.GetFocusedWidget() ? m_manager.GetFocusedWidget()->GetId() : 0u;
    };
    EXPECT_EQ(focusAfter(0, false), 2u);  // none: the smallest index
    EXPECT_EQ(focusAfter(2, false), 1u);
    EXPECT_EQ(focusAfter(1, false), 8u);  // 6 twice: the first created
    EXPECT_EQ(focusAfter(8, false), 3u);
    EXPECT_EQ(focusAfter(3, false), 2u);  // wraps to the lowest
    EXPECT_EQ(focusAfter(2, true), 3u);   // wraps to the highest
    EXPECT_EQ(focusAfter(3, true), 8u);
    EXPECT_EQ(focusAfter(0, true), 3u);
}

TEST_F(WidgetTest, TiesOfTheLowestAndHighestTabIndexGoToTheFirstCreated) {
    auto tab = [](const char* id, const char* index) { return Add(10, id, {"", "", "", "", "", "", "", index}); };
    Stream(tab("1", "1") + FE + tab("2", "1") + FE + tab("3", "9") + FE + tab("4", "9") + FE + tab("5", "5"));
    m_manager.MoveFocus(nullptr, false);
    EXPECT_EQ(m_manager.GetFocusedWidget(), Widget(1));
    m_manager.MoveFocus(nullptr, true);
    EXPECT_EQ(m_manager.GetFocusedWidget(), Widget(3));
    m_manager.MoveFocus(Widget(5), false);
    EXPECT_EQ(m_manager.GetFocusedWidget(), Widget(3));
    m_manager.MoveFocus(Widget(5), true);
    EXPECT_EQ(m_manager.GetFocusedWidget(), Widget(1));
}

TEST_F(WidgetTest, AHiddenOrDisabledWidgetIsNoLongerTheOneActivated) {
    for (int action : {WID_ACTION_HIDE, WID_ACTION_DISABLE}) {
        SCOPED_TRACE(action);
        m_manager.RemoveAll();
        Stream(Add(10, "1", {"", "", "", "", "", "", "", "1"}) + FE + Add(10, "2", {"", "", "", "", "", "", "", "2"}));
        Widget(1)->SetFocus();
        ASSERT_EQ(m_manager.GetFocusedWidget(), Widget(1));
        Stream(Action(1, action, "1"));
        // The next GETEVENT activates a widget that can take the focus.
        EXPECT_TRUE(m_manager.ActivateFocused(false));
        EXPECT_EQ(m_manager.GetFocusedWidget(), Widget(2));
        EXPECT_NE(m_windows.Of(Widget(1)).messages.back(), static_cast<UINT>(WIDGET_MSG_ACTIVATE));
    }
}

TEST_F(WidgetTest, ActivateFocusedGivesTheFocusThenActivates) {
    EXPECT_FALSE(m_manager.ActivateFocused(false));
    Stream(Add(8, "1") + FE + Add(10, "2", {"", "", "", "", "", "", "", "4"}) + FE +
           Add(10, "3", {"", "", "", "", "", "", "", "1"}));
    EXPECT_FALSE(m_manager.ActivateFocused(true));  // keeping a focus there is not
    EXPECT_TRUE(m_manager.ActivateFocused(false));
    EXPECT_EQ(m_manager.GetFocusedWidget(), Widget(3));
    EXPECT_EQ(m_windows.Of(Widget(3)).messages.back(), static_cast<UINT>(WIDGET_MSG_ACTIVATE));
    m_manager.SetFocusedWidget(Widget(2));
    EXPECT_TRUE(m_manager.ActivateFocused(true));
    EXPECT_EQ(m_windows.Of(Widget(2)).messages.back(), static_cast<UINT>(WIDGET_MSG_ACTIVATE));
}

TEST_F(WidgetTest, WindowMessagesGoToTheWidgetTheyConcern) {
    Stream(Add(1, "1") + FE + Add(2, "2", {"1" + FC + "10" + FC + "20" + FC + "30" + FC + "40"}) + FE +
           Add(12, "3", {"", "", "", FC + "2"}));
    bool handled = true;
    const HWND owner = 1;
    EXPECT_EQ(m_manager.RouteMessage(owner, WM_COMMAND, 0, static_cast<LPARAM>(Widget(1)->GetWindow()), &handled), 77);
    EXPECT_TRUE(handled);
    m_manager.RouteMessage(owner, WM_COMMAND, 0, 12345, &handled);
    EXPECT_FALSE(handled);
    // Taps: inside the hot spot's rectangle only (x 20..49, y 10..49).
    auto tap = [](int x, int y) { return static_cast<LPARAM>((y << 16) | x); };
    m_manager.RouteMessage(owner, WM_LBUTTONDOWN, 0, tap(25, 15), &handled);
    EXPECT_TRUE(handled);
    m_manager.RouteMessage(owner, WM_LBUTTONDOWN, 0, tap(50, 15), &handled);
    EXPECT_FALSE(handled);
    // The pop-up menu takes the context menu only while enabled.
    m_manager.RouteMessage(owner, WM_CONTEXTMENU, 0, 0, &handled);
    EXPECT_FALSE(handled);
    Stream(Action(1, WID_ACTION_ENABLE, "3"));
    m_manager.RouteMessage(owner, WM_CONTEXTMENU, 0, 0, &handled);
    EXPECT_TRUE(handled);
    // Device data goes to the widget whose window has the focus.
    m_manager.RouteMessage(owner, WIDGET_MSG_DEVICE_DATA, 0, 0, &handled);
    EXPECT_FALSE(handled);
    Widget(1)->SetFocus();
    m_manager.RouteMessage(owner, WIDGET_MSG_DEVICE_DATA, 0, 0, &handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(m_windows.Of(Widget(1)).messages.back(), static_cast<UINT>(WIDGET_MSG_DEVICE_DATA));
}

}  // namespace
}  // namespace widgettest
