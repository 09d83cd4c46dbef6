// Dispatching, replies, re-entrant input, the poll and the deferred end of a session.
#include <cstdio>
#include <set>

#include "CoreFixture.h"

namespace coretest {
namespace {

class SessionCoreTest : public CoreTest {};

TEST_F(SessionCoreTest, CommandsOfOnePacketRunInOrder) {
    Send("A" + FD + "x" + FF + "A" + FD + "y");
    // Ping echoes the whole unread rest, later commands included.
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"A" + FD + "x" + FF + "A" + FD + "y", "A" + FD + "y"}));
}

TEST_F(SessionCoreTest, PacketsOfOneInputAndSplitPacketsAreDispatched) {
    Receive(Frame("A" + FD + "1") + "junk" + Frame("A" + FD + "2"));
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"A" + FD + "1", "A" + FD + "2"}));

    const Bytes framed = Frame("A" + FD + "3");
    Receive(framed.substr(0, 4));
    EXPECT_TRUE(Replies().empty());
    Receive(framed.substr(4));
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"A" + FD + "3"}));
}

TEST_F(SessionCoreTest, UnframedInputIsOnePacket) {
    const Bytes packet = "A" + FD + "z";
    m_core->OnReceive(reinterpret_cast<const uint8_t*>(packet.data()), static_cast<int32_t>(packet.size()), false);
    EXPECT_EQ(Replies(), (std::vector<Bytes>{packet}));
}

TEST_F(SessionCoreTest, DisconnectEndsThePacket) {
    Send("9" + FD + FF + "A" + FD);
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(m_events, (std::vector<std::string>{"idle", "ended", "idle"}));
}

TEST_F(SessionCoreTest, UnknownBytesAreLoggedSilentBytesAreNot) {
    StartLog();
    for (int silent : {0x00, 0x26, 0x27, 0x34, 0xA1}) Send(Bytes(1, static_cast<char>(silent)) + FD);
    EXPECT_EQ(LogText().find("UNKNOWN PACKET"), std::string::npos);
    Send("W" + FD + FF + "A" + FD + "ok");
    EXPECT_NE(LogText().find("UNKNOWN PACKET"), std::string::npos);
    // The dispatcher goes on with the next command.
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"A" + FD + "ok"}));
    Send("\xB2" + FD);
    EXPECT_TRUE(Replies().empty());
}

TEST_F(SessionCoreTest, RfidEventEndsThePacket) {
    Send("r" + FD + FF + "A" + FD);
    EXPECT_TRUE(Replies().empty());
}

TEST_F(SessionCoreTest, EachPacketClearsBusyEachReplySetsIt) {
    Send("A" + FD + FF + "A" + FD);
    EXPECT_EQ(m_busy, (std::vector<int>{0, 1, 1}));
    m_busy.clear();
    Send("2" + FD);  // no reply
    EXPECT_EQ(m_busy, (std::vector<int>{0}));
    m_busy.clear();
    m_core->Settings().SetScanAheadMode(1);
    Send("A" + FD);
    EXPECT_EQ(m_busy, (std::vector<int>{0}));
}

TEST_F(SessionCoreTest, Mode0ReplyOf250BytesGoesAsThreeSegments) {
    Send("A" + FD + Bytes(248, 'p'));
    ASSERT_EQ(m_segments.size(), 3u);
    EXPECT_EQ(m_segments[0].size(), 104u);
    EXPECT_EQ(m_segments[1].size(), 104u);
    EXPECT_EQ(m_segments[2].size(), 54u);
    EXPECT_EQ(m_segments[0].substr(0, 3), "\x02\x64\x03");
    EXPECT_EQ(m_segments[0].back(), '\x03');
    EXPECT_EQ(m_segments[2].substr(0, 3), "\x02\x32\x03");
    EXPECT_EQ(m_segments[2].back(), '\x17');
}

TEST_F(SessionCoreTest, NestedInputWaitsForTheRunningInput) {
    // The control window receives the first reply and, as a message pump
    // inside a handler would, hands the core more host bytes at once.
    bool nested = false;
    m_onSegment = [&] {
        if (nested) return;
        nested = true;
        Send("A" + FD + "3");
    };
    Receive(Frame("A" + FD + "1") + Frame("A" + FD + "2"));
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"A" + FD + "1", "A" + FD + "2", "A" + FD + "3"}));
}

TEST_F(SessionCoreTest, EveryDelimiterLetsTheDispatcherMoveOn) {
    for (int delimiter : {0x00, 0x41, 0xFB, 0xFD, 0xFE}) {
        SCOPED_TRACE(delimiter);
        m_core = std::make_unique<CClientCore>(m_window);
        Send("0" + FD + std::to_string(delimiter));
        const Bytes d(1, static_cast<char>(delimiter));
        Send(d + d + Bytes(1, '\0') + d + "A" + FD + d + "2" + FD + "\xFC" + d);
        Replies();
        // Where the echo starts depends on the delimiter; what matters is
        // that every packet ends and the core goes on answering.
        Send("A" + FD + "q");
        const std::vector<Bytes> replies = Replies();
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies[0].back(), 'q');
    }
}

TEST_F(SessionCoreTest, PollEndsAFieldAfterItsTimeOut) {
    Send(RfInputCommand(u"", 5, 0, u"", 5));
    g_now += 4999;
    m_core->OnPoll();
    EXPECT_TRUE(Replies().empty());
    g_now += 1;
    m_core->OnPoll();
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"9" + FD}));
    EXPECT_EQ(m_core->Field().command, InputCommand::None);
    m_core->OnPoll();
    EXPECT_TRUE(Replies().empty());
}

TEST_F(SessionCoreTest, LongTimeOutDoesNotWrapToAShortOne) {
    // 4294968 seconds are 4294968000 ms: past 32 bits, 672704 ms once wrapped.
    Send(RfInputCommand(u"", 5, 0, u"", 4294968));
    g_now += 700000;
    m_core->OnPoll();
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(m_core->Field().command, InputCommand::Field);
}

TEST_F(SessionCoreTest, WindowMessagesReachTheWidgets) {
    bool handled = true;
    EXPECT_EQ(m_core->OnWidgetMessage(m_window, 0x8006, 3, 0, &handled), 0);
    EXPECT_FALSE(handled);

    struct Widgets : ICoreWidgets {
        UINT seen = 0;
        LRESULT RouteMessage(HWND, UINT message, WPARAM wParam, LPARAM, bool* claimed) override {
            seen = message;
            *claimed = true;
            return static_cast<LRESULT>(wParam) + 1;
        }
    } widgets;
    m_core->SetWidgets(&widgets);
    EXPECT_EQ(m_core->OnWidgetMessage(m_window, 0x8006, 3, 0, &handled), 4);
    EXPECT_TRUE(handled);
    EXPECT_EQ(widgets.seen, 0x8006u);
    m_core->SetWidgets(nullptr);
}

class DeferredDisconnectTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        m_dialog = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        m_core->SetDialog(m_dialog, DialogMode::Menu);
    }
    void TearDown() override {
        DestroyWindow(m_dialog);
        CoreTest::TearDown();
    }
    int ClosesPosted() {
        int n = 0;
        MSG msg;
        while (PeekMessage(&msg, m_dialog, WM_CLOSE, WM_CLOSE, PM_REMOVE)) ++n;
        return n;
    }
    HWND m_dialog = 0;
};

TEST_F(DeferredDisconnectTest, SoonAfterABoxOpensTheSessionEndsWithTheNextReply) {
    g_now += 500;
    Send("9" + FD);
    EXPECT_TRUE(m_core->Box().disconnectPending);
    EXPECT_EQ(ClosesPosted(), 0);
    m_events.clear();

    // The next reply: a Ping's answer.
    Send("A" + FD + "x");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"A" + FD + "x"}));
    // The reply first, then the end of the session; the last status is idle.
    EXPECT_EQ(m_events, (std::vector<std::string>{"idle", "busy", "segment", "ended", "idle"}));
    EXPECT_FALSE(m_core->Box().disconnectPending);
    EXPECT_EQ(ClosesPosted(), 1);
    EXPECT_EQ(m_core->Box().window, 0u);
}

TEST_F(DeferredDisconnectTest, OnlyWithinASecondOfTheBoxOpeningIsDisconnectDeferred) {
    for (DWORD elapsed : {999u, 1000u, 1001u}) {
        SCOPED_TRACE(elapsed);
        m_core->SetDialog(m_dialog, DialogMode::Menu);
        g_now += elapsed;
        Send("9" + FD);
        EXPECT_EQ(m_core->Box().disconnectPending, elapsed < 1000);
        EXPECT_EQ(ClosesPosted(), elapsed < 1000 ? 0 : 1);
        if (elapsed < 1000) Send("A" + FD);  // its answer completes it
        EXPECT_FALSE(m_core->Box().disconnectPending);
        EXPECT_EQ(m_core->Box().window, 0u);
        ClosesPosted();
        Replies();
    }
}

TEST_F(DeferredDisconnectTest, AReplyThatEndsTheSessionEndsItsPacket) {
    g_now += 500;
    Send("9" + FD);
    m_events.clear();
    Send("A" + FD + "1" + FF + "A" + FD + "2");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"A" + FD + "1" + FF + "A" + FD + "2"}));
    EXPECT_EQ(m_events, (std::vector<std::string>{"idle", "busy", "segment", "ended", "idle"}));
}

TEST_F(DeferredDisconnectTest, LaterTheSessionEndsAtOnce) {
    g_now += 1500;
    Send("9" + FD);
    EXPECT_FALSE(m_core->Box().disconnectPending);
    EXPECT_EQ(ClosesPosted(), 1);
    EXPECT_EQ(m_events, (std::vector<std::string>{"idle", "ended", "idle"}));
}

TEST_F(SessionCoreTest, WithoutAPacketDisconnectEndsTheSessionAndClearsTheScreen) {
    Send(RfInputCommand(u"ab", 4, 0));
    EXPECT_EQ(ScreenText(0, 0, 4), u"ab__");
    const int changes = m_view.changes;
    m_events.clear();
    m_core->EndSession();
    EXPECT_EQ(m_events, (std::vector<std::string>{"ended", "idle"}));
    EXPECT_EQ(ScreenText(0, 0, 4), u"    ");
    m_core->OnPoll();
    EXPECT_EQ(m_view.changes, changes + 1);
}

// A command that reads its fields leaves the cursor where the dispatcher's
// step finds the next command: a Ping after any command of the table is answered.
TEST_F(SessionCoreTest, APingAfterEveryCommandOfTheTableIsAnswered) {
    for (int mode : {0, 1}) {
        for (int c = 0; c < 256; ++c) {
            const uint8_t code = static_cast<uint8_t>(c);
            // Disconnect and RfidEvent end their packet by design; RFAUX,
            // RFSPOOL and COMDATAEVENT take the rest of it as their data.
            if (!m_core->Commands().Has(code) || Bytes("9r6cd").find(static_cast<char>(code)) != Bytes::npos) continue;
            SCOPED_TRACE(testing::Message() << "mode " << mode << " command 0x" << std::hex << c);
            m_core = std::make_unique<CClientCore>(m_window);
            if (mode == 1) Send("B" + FD + "1");
            Replies(0);
            // The delimiter command keeps FF as the delimiter, GETTERMINFO the mode.
            const Bytes field = code == '0' ? "255" : code == 'B' ? std::to_string(mode) : "hello";
            Send(Bytes(1, static_cast<char>(code)) + FD + field + FF + "A" + FD + "x", mode);
            const std::vector<Bytes> replies = Replies(mode);
            ASSERT_FALSE(replies.empty());
            EXPECT_EQ(replies.back(), "A" + FD + "x");
        }
    }
}

// An allocation that fails ends its command with the command's error answer;
// the session and the packet's next command go on.
TEST_F(SessionCoreTest, AFailedAllocationEndsTheCommandNotTheSession) {
    struct Exhausted : ICoreWidgets {
        int32_t ProcessWidgetStream(CPacket&, CPacketBuffer*) override { throw std::bad_alloc(); }
    } widgets;
    m_core->SetWidgets(&widgets);
    StartLog();
    Send("w" + FD + "0" + FD + "4" + FF + "A" + FD + "after");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"w" + FD + "-1", "A" + FD + "after"}));
    EXPECT_NE(LogText().find("OUT OF MEMORY"), std::string::npos);
    m_core->SetWidgets(nullptr);
}

// The host protocol's document has an entry for every command byte of the
// dispatcher's table: a row of its command table starting "| 0xHH".
TEST_F(SessionCoreTest, EveryCommandOfTheTableIsInTheProtocolDocument) {
    std::ifstream in(PROTOCOL_DOC);
    ASSERT_TRUE(in) << PROTOCOL_DOC;
    std::set<int> documented;
    for (std::string line; std::getline(in, line);) {
        unsigned code = 0;
        if (std::sscanf(line.c_str(), "| 0x%2X", &code) == 1) documented.insert(static_cast<int>(code));
    }
    for (int c = 0; c < 256; ++c) {
        if (!m_core->Commands().Has(static_cast<uint8_t>(c))) continue;
        EXPECT_TRUE(documented.count(c)) << "command byte 0x" << std::hex << c << " has no entry";
    }
}

}  // namespace
}  // namespace coretest
