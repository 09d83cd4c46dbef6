// Input: the event queue, the editing of a field and the replies input produces.
#include "CoreFixture.h"

namespace coretest {
namespace {

class InputQueueTest : public CoreTest {
protected:
    void Field(int length, int32_t flags, std::u16string_view text = u"", std::u16string_view terminators = u"") {
        Send(RfInputCommand(text, length, flags, terminators));
    }
    void Scan(std::u16string_view text, int32_t kind = 9) {
        const std::u16string copy(text);
        DeviceDataRecord record{0, 0, kind, static_cast<int32_t>(copy.size()), copy.c_str()};
        EXPECT_EQ(m_core->OnDeviceData(&record), 1);
    }
};

TEST_F(InputQueueTest, QueuedKeyAnswersTheNextGetEvent) {
    Key(113);  // F2
    EXPECT_TRUE(Replies().empty());
    Send("1" + FD + "0");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"2" + FD + "2"}));
    EXPECT_EQ(m_core->Events().Size(), 0);
}

TEST_F(InputQueueTest, QueuedKeyIsAnsweredWhateverTheLastFieldsFlags) {
    Field(5, INPUT_NO_CONTROL_KEYS);
    Type(u"\r");
    Replies();
    Key(112);
    Send("1" + FD);
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"2" + FD + "1"}));
}

TEST_F(InputQueueTest, EachGetEventTakesOneQueuedEventInOrder) {
    Type(u"abcde");
    std::vector<Bytes> replies;
    for (int i = 0; i < 5; ++i) {
        Send("1" + FD);
        for (const Bytes& r : Replies()) replies.push_back(r);
    }
    EXPECT_EQ(replies, (std::vector<Bytes>{"1" + FD + "a", "1" + FD + "b", "1" + FD + "c", "1" + FD + "d", "1" + FD + "e"}));
}

TEST_F(InputQueueTest, ModeSelect2SendsTheQueueInOrderBeforeTheNewText) {
    Type(u"a");
    Key(112);
    Type(u"b");
    Send("Y" + FD + "2");
    Replies();
    Type(u"c");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"1" + FD + "a", "2" + FD + "1", "1" + FD + "b", "1" + FD + "c"}));
    EXPECT_EQ(m_core->Events().Size(), 0);
}

TEST_F(InputQueueTest, QueueHoldsAHundredEvents) {
    for (int i = 0; i < 101; ++i) Key(37);
    EXPECT_EQ(m_core->Events().Size(), 100);
}

TEST_F(InputQueueTest, KeyNumbers) {
    const std::pair<uint32_t, Bytes> cases[] = {{112, "1"},  {123, "12"}, {38, "21"}, {37, "22"}, {39, "23"},
                                                {40, "24"},  {36, "25"},  {35, "26"}, {33, "27"}, {34, "28"},
                                                {45, "29"},  {46, "30"},  {134, "31"}};
    for (const auto& [vk, number] : cases) {
        Send("1" + FD);
        EXPECT_EQ(m_core->OnKeyDown(vk, 0), CClientCore::kOk);
        EXPECT_EQ(Replies(), (std::vector<Bytes>{"2" + FD + number})) << vk;
    }
    EXPECT_EQ(m_core->OnKeyDown(65, 0), CClientCore::kFail);
    ChangeProperties([](CoreProperties& p) { p.actionAsEnter = 1; });
    EXPECT_EQ(m_core->OnKeyDown(134, 0), CClientCore::kFail);
}

TEST_F(InputQueueTest, GetEventKindsAndTheEndOfInput) {
    Send("1" + FD + "2");  // device data only
    EXPECT_EQ(m_core->Field().kind, InputKind::Data);
    TakePosted(WM_CORE_END_OF_INPUT);
    Scan(u"4711", 3);
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"5" + FD + "4711" + FD + "-1" + FC + "3"}));
    EXPECT_EQ(TakePosted(WM_CORE_END_OF_INPUT), 1);

    // Keys only: scanner data is taken and nothing is sent.
    Send("1" + FD + "1");
    Scan(u"4711");
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(m_core->Field().command, InputCommand::Event);

    ChangeProperties([](CoreProperties& p) { p.extendedGetevent = 0; });
    Send("1" + FD + "0");
    Scan(u"99");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"1" + FD + "99"}));
}

TEST_F(InputQueueTest, GetEventSwitchesReadersOnAndTellsAutomation) {
    m_core->SetScanner(&m_scanner);
    m_core->SetDevices(&m_devices);
    m_core->SetAutomation(&m_automation);
    Send("1" + FD);
    EXPECT_EQ(m_scanner.state, SCANNER_STATE_ON);
    EXPECT_TRUE(m_devices.msr && m_devices.rfid);
    ASSERT_EQ(m_automation.Codes(), (std::vector<uint32_t>{AUTO_INPUT_AWAITED}));
}

TEST_F(InputQueueTest, CommandEventStopsWaiting) {
    Send("1" + FD + FF + "2" + FD);
    EXPECT_EQ(m_core->Field().command, InputCommand::None);
    Type(u"q");
    EXPECT_EQ(m_core->Events().Size(), 1);
}

TEST_F(InputQueueTest, FullFieldSendsItsText) {
    Field(3, 0);
    Type(u"12");
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(ScreenText(0, 0, 3), u"12_");
    Type(u"3");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "123"}));
    EXPECT_EQ(m_core->Field().command, InputCommand::None);
}

TEST_F(InputQueueTest, StopAtLengthRefusesMoreAndEnterSends) {
    Field(3, INPUT_STOP_AT_LENGTH);
    Type(u"1234");
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(m_core->Field().text, u"123");
    Type(u"\r");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "123"}));
}

TEST_F(InputQueueTest, NoAutoSendShowsTheLastCharacters) {
    Field(3, INPUT_NO_AUTO_SEND);
    Type(u"12345");
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(ScreenText(0, 0, 3), u"345");
    EXPECT_EQ(m_core->Field().text, u"12345");
}

TEST_F(InputQueueTest, NoAutoSendStopsAtTheInputBuffer) {
    Field(3, INPUT_NO_AUTO_SEND);
    const std::u16string many(CClientCore::kInputTextUnits + 10, u'7');
    Type(many);
    EXPECT_EQ(m_core->Field().text.size(), static_cast<size_t>(CClientCore::kInputTextUnits - 1));
    Type(u"\b");
    EXPECT_EQ(m_core->Field().text.size(), static_cast<size_t>(CClientCore::kInputTextUnits - 2));
}

TEST_F(InputQueueTest, DefaultTextIsReplacedByTypingAndDroppedWhenTooLong) {
    Field(5, 0, u"ab");
    EXPECT_EQ(m_core->Field().text, u"ab");
    EXPECT_EQ(ScreenText(0, 0, 5), u"ab___");
    Type(u"x\r");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "x"}));

    Send(RfInputCommand(std::u16string(CClientCore::kInputTextUnits, u'd'), 5, 0));
    EXPECT_EQ(m_core->Field().text, u"");
}

TEST_F(InputQueueTest, EnterWithTheDefaultText) {
    Field(5, 0, u"ab");
    Type(u"\r");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "ab"}));
    ChangeProperties([](CoreProperties& p) { p.defaultTextMode = 0; });
    Field(5, 0, u"ab");
    Type(u"\r");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "\r"}));
    Field(5, INPUT_NO_EMPTY_ENTER);
    Type(u"\r");
    EXPECT_TRUE(Replies().empty());
}

TEST_F(InputQueueTest, BackspaceOnAnEmptyField) {
    Field(5, 0);
    Type(u"\b");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "\b"}));
    Field(5, INPUT_NO_EMPTY_BACKSPACE);
    Type(u"\b");
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(m_core->Field().command, InputCommand::Field);
}

TEST_F(InputQueueTest, CanEndsTheSessionExceptInModeSelect2) {
    Field(5, 0);
    m_events.clear();
    Type(u"\x18");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "\x18"}));
    EXPECT_EQ(std::count(m_events.begin(), m_events.end(), "ended"), 1);

    // MODESELECT 2 after the field keeps the session.
    Field(5, 0);
    Send("Y" + FD + "2");
    Replies();
    m_events.clear();
    Type(u"\x18");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "\x18"}));
    EXPECT_EQ(std::count(m_events.begin(), m_events.end(), "ended"), 0);
}

TEST_F(InputQueueTest, TerminatorsAndCharacterFilters) {
    Field(5, 0, u"", u"#*");
    Type(u"1*");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"2" + FD + "*"}));

    Field(5, INPUT_DIGITS_ONLY);
    Type(u"a1.b2\r");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "1.2"}));
    Field(5, INPUT_LETTERS_ONLY);
    Type(u"a1B\r");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "aB"}));
    Field(5, INPUT_NO_CHARACTERS);
    Type(u"ab\r");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD}));
}

TEST_F(InputQueueTest, FieldDrawing) {
    Field(4, INPUT_PASSWORD);
    Type(u"ab");
    EXPECT_EQ(ScreenText(0, 0, 4), u"**__");
    Field(4, INPUT_RIGHT_ALIGN);
    Type(u"ab");
    EXPECT_EQ(ScreenText(0, 0, 4), u"__ab");
    EXPECT_EQ(Caret().column, 3);
    EXPECT_TRUE(Caret().visible);
    Field(4, INPUT_HIDDEN);
    Type(u"ab");
    EXPECT_EQ(ScreenText(0, 0, 4), u"____");
}

TEST_F(InputQueueTest, FieldOpensWithItsDefaultTextThenThePadding) {
    struct Case {
        int32_t flags;
        std::u16string text;
        int length;
        std::u16string shown;
        int caretColumn;
    };
    const Case cases[] = {
        {0, u"ab", 4, u"ab__", 2},
        {INPUT_RIGHT_ALIGN, u"ab", 4, u"ab__", 5},  // only the caret goes right
        {INPUT_PASSWORD, u"ab", 4, u"**__", 2},
        {INPUT_DOT_UNPRINTABLE, u"a\x01", 4, u"a.__", 2},
        {0, u"abcdef", 3, u"abcdef", 2},  // a longer default text is drawn whole
        {0, u"ab", 0, u"ab", 2},
    };
    for (const Case& c : cases) {
        m_core->CreateBackBuffer();
        Send(RfInputCommand(c.text, c.length, c.flags, u"", 0, '5', 2));
        EXPECT_EQ(ScreenText(0, 2, 21), c.shown + std::u16string(19 - c.shown.size(), u' ')) << c.flags << " " << c.length;
        EXPECT_EQ(Caret().column, c.caretColumn) << c.flags << " " << c.length;
    }
}

TEST_F(InputQueueTest, FieldTakesTheKeyboardFocus) {
    Send("1" + FD);
    EXPECT_EQ(m_view.focus, 0);
    Field(3, 0);
    EXPECT_EQ(m_view.focus, 1);
}

TEST_F(InputQueueTest, HugeFieldsAreCutOrDrawnWithinTheInputBuffer) {
    // Inside the screen without wrapping: cut to the columns left.
    Send(RfInputCommand(u"", INT32_MAX, 0, u"", 0, '5', 5));
    EXPECT_EQ(ScreenText(0, 0, 21), std::u16string(5, u' ') + std::u16string(16, u'_'));
    // Outside the screen the length stays (the field's cells are cut to the
    // input buffer: see InputFieldTest), and nothing is drawn on the screen.
    m_core->CreateBackBuffer();
    Send(RfInputCommand(u"", INT32_MAX, 0, u"", 0, '5', INT32_MAX));
    Type(u"a");
    EXPECT_EQ(ScreenText(0, 0, 21), std::u16string(21, u' '));
    EXPECT_EQ(Caret().column, INT32_MAX);
    EXPECT_TRUE(Replies().empty());
}

TEST_F(InputQueueTest, KeysInAField) {
    Field(5, INPUT_KEY_SENDS_TEXT);
    Type(u"ab");
    Key(112);
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "ab" + FE + "2" + FD + "1"}));
    // After 'i' the typed text does not go with the key.
    Send(RfInputCommand(u"", 5, INPUT_KEY_SENDS_TEXT, u"", 0, 'i'));
    Type(u"ab");
    Key(112);
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"2" + FD + "1"}));
    Field(5, INPUT_NO_CONTROL_KEYS);
    Key(112);
    Type(u"\x1B\x18");
    EXPECT_TRUE(Replies().empty());
}

TEST_F(InputQueueTest, EscapeWithTheTypedText) {
    m_core->Settings().SetEscapeIncludeData(1);
    Field(5, INPUT_KEY_SENDS_TEXT);
    Type(u"ab\x1B");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "ab" + FE + "4" + FD + "\x1B"}));
}

TEST_F(InputQueueTest, ScannerDataInAField) {
    Field(3, 0);
    Scan(u"12345", 7);
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"5" + FD + "12345" + FD + "-1" + FC + "7"}));
    EXPECT_EQ(ScreenText(0, 0, 3), u"123");

    Field(5, INPUT_KEEP_READERS);
    Type(u"ab");
    Scan(u"9", 1);
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "ab" + FE + "5" + FD + "9" + FD + "-1" + FC + "1"}));

    EXPECT_EQ(m_core->OnDeviceData(nullptr), 0);
    const std::u16string big(CClientCore::kMaxDeviceDataChars + 1, u'x');
    DeviceDataRecord record{0, 0, 0, static_cast<int32_t>(big.size()), big.c_str()};
    EXPECT_EQ(m_core->OnDeviceData(&record), 0);
}

TEST_F(InputQueueTest, QueuedDeviceDataIsReplayedFromItsOwnCopy) {
    {
        std::u16string data = u"SCAN42";
        DeviceDataRecord record{0, 0, 5, static_cast<int32_t>(data.size()), data.c_str()};
        EXPECT_EQ(m_core->OnDeviceData(&record), 1);
        data.assign(data.size(), u'!');  // the control's buffer is reused
    }
    EXPECT_EQ(TakePosted(WM_CORE_END_OF_INPUT), 1);
    Send("1" + FD);
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"5" + FD + "SCAN42" + FD + "-1" + FC + "5"}));
}

TEST_F(InputQueueTest, FieldReplaysQueuedInputOrDiscardsIt) {
    Type(u"ab");
    Field(3, 0);
    EXPECT_EQ(m_core->Field().text, u"ab");
    EXPECT_EQ(m_core->Events().Size(), 0);
    Type(u"c");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "abc"}));

    Type(u"xy");
    Field(3, INPUT_DISCARD_QUEUE);
    EXPECT_EQ(m_core->Events().Size(), 0);
    EXPECT_EQ(m_core->Field().text, u"");
}

TEST_F(InputQueueTest, WidgetEventsAreSentOrQueued) {
    const Bytes event = "w" + FD + "7";
    m_core->Input().SendWidgetEvent(reinterpret_cast<const uint8_t*>(event.data()),
                                    static_cast<int32_t>(event.size()));
    EXPECT_EQ(Replies(), (std::vector<Bytes>{event}));

    const Bytes other = "x" + FD + "1";
    m_core->Input().SendWidgetEvent(reinterpret_cast<const uint8_t*>(other.data()), static_cast<int32_t>(other.size()));
    EXPECT_EQ(m_core->Events().Size(), 1);
    Send("1" + FD);
    EXPECT_EQ(Replies(), (std::vector<Bytes>{other}));

    // A field with typed text is ended first; its reply keeps its own bytes.
    ChangeProperties([](CoreProperties& p) { p.includeDataOnWidget = 1; });
    Field(5, 0);
    Type(u"ab");
    m_core->Input().SendWidgetEvent(reinterpret_cast<const uint8_t*>(other.data()), static_cast<int32_t>(other.size()));
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "ab"}));
    EXPECT_EQ(m_core->Events().Size(), 1);

    // Ended as by Enter: an untouched default text under DefaultTextMode 0
    // goes out as a carriage return.
    ChangeProperties([](CoreProperties& p) { p.defaultTextMode = 0; });
    Field(5, INPUT_DISCARD_QUEUE, u"dflt");
    m_core->Input().SendWidgetEvent(reinterpret_cast<const uint8_t*>(other.data()), static_cast<int32_t>(other.size()));
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"4" + FD + "\r"}));
}

TEST_F(InputQueueTest, CharactersAreIgnoredUnderAnErrorBox) {
    m_core->SetDialog(m_window, DialogMode::Error);
    Type(u"a");
    EXPECT_EQ(m_core->Events().Size(), 0);
    m_core->SetDialog(0, DialogMode::None);
    Type(u"a");
    EXPECT_EQ(m_core->Events().Size(), 1);
}

TEST_F(InputQueueTest, TypingSwitchesReadersOffAndClearingSwitchesThemOn) {
    m_core->SetScanner(&m_scanner);
    m_core->SetDevices(&m_devices);
    Field(5, 0);
    EXPECT_TRUE(m_core->InputState().scannerWanted);
    Type(u"a");
    EXPECT_FALSE(m_core->InputState().scannerWanted);
    EXPECT_FALSE(m_devices.msr);
    Type(u"\b");
    EXPECT_TRUE(m_core->InputState().scannerWanted);
    EXPECT_TRUE(m_devices.msr);
}

}  // namespace
}  // namespace coretest
