// The smaller parts of the session core on their own: the event queue, the
// input field's layout and time-out, and the decoder settings' list.
#include <gtest/gtest.h>

#include <climits>

#include "core/session/DecoderSettings.h"
#include "core/session/EventQueue.h"
#include "core/session/InputField.h"

namespace {

TEST(EventQueue, KeepsOrderOwnsItsDataAndDropsWhenFull) {
    CEventQueue q;
    {
        std::u16string text = u"abc";
        EXPECT_TRUE(q.Push(TextEvent{EVENT_CHARACTERS, text}));
        text = u"changed";  // the queue holds its own copy
    }
    EXPECT_TRUE(q.Push(KeyEvent{13}));
    EXPECT_TRUE(q.Push(DeviceDataEvent{1, 2, 9, u"scan"}));
    EXPECT_TRUE(q.Push(WidgetEvent{{'w', 0xFD}}));
    for (size_t i = q.Size(); i < CEventQueue::kCapacity; ++i) EXPECT_TRUE(q.Push(KeyEvent{1}));
    EXPECT_TRUE(q.Full());
    EXPECT_FALSE(q.Push(KeyEvent{2}));
    EXPECT_EQ(q.Size(), CEventQueue::kCapacity);

    auto first = q.Pop();
    ASSERT_TRUE(first);
    EXPECT_EQ(TypeOf(*first), EVENT_CHARACTERS);
    EXPECT_EQ(std::get<TextEvent>(*first).text, u"abc");
    EXPECT_EQ(TypeOf(*q.Pop()), EVENT_KEY);
    auto data = q.Pop();
    EXPECT_EQ(TypeOf(*data), EVENT_DEVICE_DATA);
    EXPECT_EQ(std::get<DeviceDataEvent>(*data).kind, 9);
    EXPECT_EQ(TypeOf(*q.Pop()), EVENT_WIDGET);
    q.Clear();
    EXPECT_FALSE(q.Pop());
}

TEST(InputField, LayoutPadsAlignsAndStaysWithinTheBuffer) {
    CInputField f;
    f.length = 4;
    EXPECT_EQ(f.Layout(u"ab", CInputField::CaretAt::AfterText).text, u"ab__");
    EXPECT_EQ(f.Layout(u"ab", CInputField::CaretAt::AfterText).caretOffset, 2);
    EXPECT_EQ(f.Layout(u"abcdef", CInputField::CaretAt::AfterText).text, u"cdef");  // the last characters
    f.flags = INPUT_RIGHT_ALIGN | INPUT_PASSWORD;
    EXPECT_EQ(f.Layout(u"ab", CInputField::CaretAt::AfterText).text, u"__**");
    EXPECT_EQ(f.Layout(u"ab", CInputField::CaretAt::LastCell).caretOffset, 3);
    f.flags = 0;
    f.length = 0;
    EXPECT_TRUE(f.Layout(u"ab", CInputField::CaretAt::AfterText).text.empty());
    f.length = INT_MAX;
    const CInputField::Cells huge = f.Layout(u"a", CInputField::CaretAt::AfterText);
    EXPECT_EQ(huge.text, u"a" + std::u16string(CInputField::kTextUnits - 2, u'_'));
    EXPECT_EQ(huge.caretOffset, 1);
}

TEST(InputField, TimesOutAtItsSecondsAndNeverWraps) {
    CInputField f;
    f.command = InputCommand::Field;
    f.timeout = 2;
    f.timeoutStart = 0xFFFFFF00u;  // the tick wraps during the wait
    EXPECT_FALSE(f.TimedOut(0xFFFFFF00u + 1999));
    EXPECT_TRUE(f.TimedOut(0xFFFFFF00u + 2000));
    f.timeout = INT_MAX;  // about 68 years: no 32-bit wrap makes it short
    EXPECT_FALSE(f.TimedOut(f.timeoutStart - 1));
    f.command = InputCommand::Event;
    f.timeout = 1;
    EXPECT_FALSE(f.TimedOut(f.timeoutStart + 5000));
}

TEST(InputField, AppendKeepsRoomForTheTerminator) {
    CInputField f;
    f.text.assign(CInputField::kTextUnits - 2, u'x');
    EXPECT_TRUE(f.Append(u'y'));
    EXPECT_FALSE(f.Append(u'z'));
    EXPECT_EQ(f.text.size(), static_cast<size_t>(CInputField::kTextUnits - 1));
}

TEST(DecoderSettings, ReplacesEqualPairsAndStopsAtItsCapacity) {
    CDecoderSettings d;
    d.Record(1, 2, 3);
    d.Record(1, 2, 4);
    ASSERT_EQ(d.Settings().size(), 1u);
    EXPECT_EQ(d.Settings()[0].value, 4);
    for (int i = 0; i < 200; ++i) d.Record(100 + i, 0, i);
    EXPECT_EQ(d.Settings().size(), CDecoderSettings::kCapacity);
    d.Record(1, 2, 5);  // an existing pair still changes
    EXPECT_EQ(d.Settings()[0].value, 5);
    ICoreScanner absent;
    d.SetParameter(absent, 1, 3, 7);  // recorded only while there is room
    EXPECT_EQ(d.Settings().size(), CDecoderSettings::kCapacity);
}

}  // namespace
