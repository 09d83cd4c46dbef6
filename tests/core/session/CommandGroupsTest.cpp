// The command groups on their own: each registers its bytes with a table and
// answers through a reply channel, with nothing of the core around it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/session/CommandTable.h"
#include "core/session/DisplayCommands.h"
#include "core/session/InfoCommands.h"
#include "core/session/InputCommands.h"
#include "core/session/SessionCommands.h"
#include "core/session/WidgetCommands.h"
#include "platform/Text.h"

namespace {

// Records every reply as its bytes.
struct RecordingReplies final : IReplyChannel {
    CPacketBuffer writer{0, 0xFF, 4096, 0};
    std::vector<std::string> sent;
    CPacketBuffer* Writer() override { return &writer; }
    std::unique_ptr<CPacketBuffer> NewWriter(int32_t capacity) override {
        return std::make_unique<CPacketBuffer>(0, 0xFF, capacity, 0);
    }
    int32_t WriterCapacity() const override { return writer.GetCapacity(); }
    int SendReply(const CPacketBuffer& w) override { return SendReplyPart(w, true); }
    int SendReplyPart(const CPacketBuffer& w, bool last) override {
        part.append(reinterpret_cast<const char*>(w.GetData()), static_cast<size_t>(w.GetLength()));
        if (last) sent.push_back(std::move(part));
        if (last) part.clear();
        return 0;
    }
    void AbandonReply() override { abandoned = true; }
    std::string part;
    bool abandoned = false;
    int SendIntReply(uint8_t code, int32_t number) override {
        writer.Reset();
        writer.AppendByte(code).EndField().AppendInt(number);
        return SendReply(writer);
    }
    int SendTextReply(uint8_t code, std::u16string_view text) override {
        const std::u16string terminated(text);
        writer.Reset();
        writer.AppendByte(code).EndField().AppendWide(terminated.c_str());
        return SendReply(writer);
    }
};

// Runs one command (its byte, then its fields) through the table.
void RunCommand(const CCommandTable& table, const std::string& command) {
    CPacket pkt(0, 0xFF, reinterpret_cast<const uint8_t*>(command.data()), static_cast<int32_t>(command.size()), 0);
    const auto code = static_cast<uint8_t>(command[0]);
    pkt.NextField();
    ASSERT_TRUE(table.Has(code));
    table.Call(code, &pkt);
}

struct IdDevices final : ICoreDevices {
    bool HasDeviceControl() override { return true; }
    int32_t GetDeviceId() override { return 77; }
};

TEST(CommandGroupsTest, TheInfoGroupAnswersFromWhatItIsGiven) {
    RecordingReplies replies;
    CSessionSettings settings;
    CScreenModel screen;
    ICoreDevices none;
    IdDevices device;
    ICoreDevices* devices = &none;
    DWORD resumeTime = 0;
    CInfoCommands info(replies, settings, screen, devices, resumeTime);
    CCommandTable table;
    info.Register(table);
    EXPECT_FALSE(table.Has(cmd::kWIDGETACTION));

    RunCommand(table, "\xB0\xFDtermid");
    // The hook is read when the command runs, so a device installed later counts.
    devices = &device;
    RunCommand(table, "\xB0\xFDTERMID");
    RunCommand(table, "\xB1\xFDNOSUCH");
    EXPECT_EQ(replies.sent, (std::vector<std::string>{"\xB0\xFD" + std::to_string(CSessionSettings::kDefaultTerminalId),
                                                      "\xB0\xFD""77", "\xB1\xFD-1"}));
}

// A command that cannot finish answers as its group registered it: the
// dispatcher keeps no list of its own.
TEST(CommandGroupsTest, EachCommandCarriesTheRulesItsGroupRegistered) {
    struct Group {
        void Run(CPacket*, uint8_t) {}
    } group;
    RecordingReplies replies;
    CCommandTable table;
    table.Register<&Group::Run>('G', group, ErrorAnswer::Text());
    table.Register<&Group::Run>('I', group, ErrorAnswer::Number(1));
    table.Register<&Group::Run>('"', group, ErrorAnswer::Number(0, '!'));
    table.Register<&Group::Run>('6', group, CommandRules::KeepingModeSelect());
    table.Register<&Group::Run>('9', group, CommandRules::EndingPacket());
    for (uint8_t code : {'G', 'I', '"', '6', '9', 'Q'}) table.AnswerError(code, replies);
    EXPECT_EQ(replies.sent, (std::vector<std::string>{"G\xFD", "I\xFD" "1", "!\xFD" "0"}));
    EXPECT_TRUE(table.Rules('6').keepsModeSelect);
    EXPECT_FALSE(table.Rules('6').endsPacket);
    EXPECT_TRUE(table.Rules('9').endsPacket);
    // A byte without a handler has no rules; a new registration replaces them.
    EXPECT_FALSE(table.Rules('Q').keepsModeSelect || table.Rules('Q').endsPacket);
    table.Register<&Group::Run>('I', group);
    replies.sent.clear();
    table.AnswerError('I', replies);
    EXPECT_TRUE(replies.sent.empty());

    // A group's own: both INI commands fail as GetIniString answers, the
    // extended information with -1.
    CSessionSettings settings;
    CScreenModel screen;
    ICoreDevices* devices = nullptr;
    DWORD resumeTime = 0;
    CInfoCommands info(replies, settings, screen, devices, resumeTime);
    info.Register(table);
    for (uint8_t code : {uint8_t('!'), uint8_t('"'), uint8_t(0xB0), uint8_t(0xB1)}) table.AnswerError(code, replies);
    EXPECT_EQ(replies.sent, (std::vector<std::string>{"!\xFD" "0", "!\xFD" "0", "\xB0\xFD-1", "\xB1\xFD-1"}));
}

struct CountingWidgets final : ICoreWidgets {
    int streams = 0;
    int32_t ProcessWidgetStream(CPacket&, CPacketBuffer* writer) override {
        ++streams;
        writer->AppendByte('w');
        return 0;
    }
};

TEST(CommandGroupsTest, TheWidgetGroupHandsTheStreamOnAndDropsQueuedInput) {
    RecordingReplies replies;
    CountingWidgets counting;
    ICoreWidgets* widgets = &counting;
    CSessionSettings settings;
    CEventQueue queue;
    CWidgetCommands group(replies, widgets, settings, queue);
    CCommandTable table;
    group.Register(table);

    queue.Push(KeyEvent{13});
    replies.writer.Reset();
    RunCommand(table, "w\xFD" "1");
    EXPECT_EQ(counting.streams, 1);
    EXPECT_EQ(replies.sent, std::vector<std::string>{"w"});
    EXPECT_EQ(queue.Size(), 0u);
    // Scan-ahead mode 2 keeps what was queued.
    settings.SetScanAheadMode(2);
    queue.Push(KeyEvent{13});
    RunCommand(table, "w\xFD" "1");
    EXPECT_EQ(queue.Size(), 1u);
}

// Records what the session commands change of the link.
struct RecordingLink final : ISessionLink {
    std::vector<std::string> changes;
    void SetCommandDelimiter(uint8_t delimiter) override { changes.push_back("delimiter " + std::to_string(delimiter)); }
    void SetFramingMode(int32_t mode) override { changes.push_back("mode " + std::to_string(mode)); }
    int32_t TerminalId() override { return 42; }
};

TEST(CommandGroupsTest, TheSessionGroupEchoesPingsAndSwitchesTheLinkAfterItsAnswer) {
    RecordingReplies replies;
    RecordingLink link;
    CSessionSettings settings;
    CScreenModel screen;
    ICoreDevices none;
    ICoreDevices* devices = &none;
    CSessionCommands session(replies, link, settings, screen, devices);
    CCommandTable table;
    session.Register(table);

    RunCommand(table, "A\xFDhello");
    RunCommand(table, "0\xFD" "124");
    EXPECT_EQ(replies.sent, std::vector<std::string>{"A\xFDhello"});
    RunCommand(table, "B\xFD" "1");
    ASSERT_EQ(replies.sent.size(), 2u);
    EXPECT_EQ(replies.sent[1].substr(0, 5), "B\xFD" "42\xFC");  // the link's terminal id first
    EXPECT_EQ(link.changes, (std::vector<std::string>{"delimiter 124", "mode 1"}));
}

// Records what the display commands ask of the session.
struct RecordingDisplay final : IDisplaySession {
    CScreenModel& screen;
    std::vector<std::string> asked;
    explicit RecordingDisplay(CScreenModel& s) : screen(s) {}
    void MoveCursor(int row, int column) override {
        asked.push_back("move " + std::to_string(row) + "," + std::to_string(column));
        screen.MoveCaret(row, column);
    }
    void PlaceCursor(int row, int column) override { screen.MoveCaret(row, column); }
    void ScreenChanged() override { asked.push_back("changed"); }
    void SetWrap(bool on) override { asked.push_back(on ? "wrap" : "nowrap"); }
    void EndPendingInput() override { asked.push_back("end input"); }
    void OpenErrorBox(ErrorBoxRequest request) override { asked.push_back("box " + plat::text::WideToUtf8(request.text)); }
};

TEST(CommandGroupsTest, TheDisplayGroupWritesTheScreenModelAndAsksTheSessionForTheRest) {
    RecordingReplies replies;
    CScreenModel screen;
    screen.SetClientSize(240, 320);
    screen.UpdateCellMetrics(CoreProperties{}.cells, nullptr);
    screen.Rebuild();
    RecordingDisplay session(screen);
    CSessionSettings settings;
    ICoreWidgets none;
    ICoreWidgets* widgets = &none;
    const std::u16string appFolder = u"\\App";
    CDisplayCommands display(replies, session, screen, settings, widgets, appFolder);
    CCommandTable table;
    display.Register(table);

    RunCommand(table, "3\xFD\x1B[2;3HOK\x1B[?7h");
    EXPECT_EQ(screen.Text(1, 2, 2), u"OK");
    RunCommand(table, "V\xFD" "3\xFE" "1\xFE" "0\xFE" "Bad\xFD");
    EXPECT_EQ(session.asked, (std::vector<std::string>{"wrap", "move 1,4", "end input", "changed", "box Bad\n"}));
    EXPECT_TRUE(replies.sent.empty());  // the box answers when it closes
}

// Records what the input asks of the session.
struct RecordingInput final : IInputSession {
    std::vector<std::string> asked;
    void SetCaretWanted(bool wanted) override { asked.push_back(wanted ? "caret" : "no caret"); }
    void MoveCursor(int row, int column) override {
        asked.push_back("move " + std::to_string(row) + "," + std::to_string(column));
    }
    DialogMode CurrentDialogMode() const override { return DialogMode::None; }
    HWND GetWindow() const override { return 0; }
    void EndSession() override { asked.push_back("end"); }
    void ApplyDecoderFile(std::u16string) override { asked.push_back("decoders"); }
    void OfferSignatureEvent(const uint8_t*, int32_t) override { asked.push_back("signature"); }
};

TEST(CommandGroupsTest, TheInputGroupEditsItsFieldAndQueuesWhatComesUnasked) {
    RecordingReplies replies;
    RecordingInput session;
    CInputField field;
    CEventQueue queue;
    CScreenModel screen;
    CSessionSettings settings;
    InputSharedState shared;
    ICoreScanner scanner;
    ICoreDevices devices;
    ICoreView view;
    ICoreWidgets widgets;
    ICoreAutomation automation;
    ICoreScanner* scannerHook = &scanner;
    ICoreDevices* devicesHook = &devices;
    ICoreView* viewHook = &view;
    ICoreWidgets* widgetsHook = &widgets;
    ICoreAutomation* automationHook = &automation;
    CInputCommands input(replies, session, field, queue, screen, settings, shared, scannerHook, devicesHook, viewHook,
                         widgetsHook, automationHook);
    CCommandTable table;
    input.Register(table);

    // Typed before anything is asked: queued, then replayed into the field.
    input.OnChar(u'7', 1, 0);
    EXPECT_EQ(queue.Size(), 1u);
    RunCommand(table, "5\xFD\xFD" "3\xFD" "0\xFD" "0\xFD\xFD" "0\xFD" "0\xFD" "0\xFD\xFD\xFD" "0");
    EXPECT_EQ(field.text, u"7");
    input.OnChar(u'8', 1, 0);
    input.OnChar(u'9', 1, 0);  // the field is full: it goes out
    EXPECT_EQ(replies.sent, std::vector<std::string>{"4\xFD" "789"});
    EXPECT_EQ(field.command, InputCommand::None);
}

}  // namespace
