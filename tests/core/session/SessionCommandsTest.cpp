// The session commands: delimiter, Ping, terminal information, MODESELECT, Disconnect.
#include "CoreFixture.h"

namespace coretest {
namespace {

class SessionCommandsTest : public CoreTest {
protected:
    // The values of a GETTERMINFO reply, split at 0xFC.
    static std::vector<Bytes> Values(const Bytes& reply) {
        EXPECT_EQ(reply.substr(0, 2), "B" + FD);
        std::vector<Bytes> values;
        Bytes current;
        for (char c : reply.substr(2)) {
            if (c == '\xFC') {
                values.push_back(current);
                current.clear();
            } else {
                current += c;
            }
        }
        EXPECT_TRUE(current.empty()) << "every value ends with 0xFC";
        return values;
    }
};

TEST_F(SessionCommandsTest, NewDelimiterSplitsLaterPacketsOnly) {
    // The rest of this packet is still split at 0xFF.
    Send("0" + FD + "30" + FF + "A" + FD + "a" + "\x1E" + "x" + FF + "A" + FD + "b");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"A" + FD + "a\x1Ex" + FF + "A" + FD + "b", "A" + FD + "b"}));
    Send("A" + FD + "c" + "\x1E" + "A" + FD + "d");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"A" + FD + "c\x1E" + "A" + FD + "d", "A" + FD + "d"}));
}

TEST_F(SessionCommandsTest, PingEchoesWhatFitsTheWriter) {
    Send("A" + FD);
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"A" + FD}));
    Send("A" + FD + Bytes(4093, 'q'));
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"A" + FD + Bytes(4093, 'q')}));
    Send("A" + FD + Bytes(4094, 'q'));
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"A" + FD}));
}

TEST_F(SessionCommandsTest, TermInfoWithoutExtensions) {
    Send("B" + FD + "0");
    const std::vector<Bytes> replies = Replies();
    ASSERT_EQ(replies.size(), 1u);
    const std::vector<Bytes> v = Values(replies[0]);
    ASSERT_EQ(v.size(), 19u);
    EXPECT_EQ(v[0], "8004");
    EXPECT_EQ(v[1], "21");
    EXPECT_EQ(v[2], "16");
    EXPECT_EQ(v[5], "-1");
    EXPECT_EQ(v[6], "-1");
    EXPECT_EQ(v[7], "-1");
    EXPECT_EQ((std::vector<Bytes>{v[8], v[9], v[10]}), (std::vector<Bytes>{"0", "0", "7"}));
    EXPECT_EQ(v[11], "0.0.0.0");
    EXPECT_GE(std::stoll(v[13]), 0);
    EXPECT_LE(std::stoll(v[13]), 0x7FFFFFFF);
    EXPECT_GE(std::stoll(v[14]), 0);
    EXPECT_EQ(v[15], "_");
}

TEST_F(SessionCommandsTest, TermInfoReportsTheControlsValuesAndTheDevice) {
    m_devices.deviceId = 77;
    m_core->SetDevices(&m_devices);
    ChangeProperties([](CoreProperties& p) { p.peerAddress = u"10.1.2.3"; });
    ChangeProperties([](CoreProperties& p) { p.clientVersion = u"5.4"; });
    m_core->Resize(240, 320);
    Send("B" + FD);
    std::vector<Bytes> v = Values(Replies().at(0));
    ASSERT_EQ(v.size(), 19u);
    EXPECT_EQ(v[0], "77");
    EXPECT_EQ((std::vector<Bytes>{v[5], v[6], v[7]}), (std::vector<Bytes>{"4", "5", "6"}));
    EXPECT_EQ(v[11], "10.1.2.3");
    EXPECT_EQ(v[12], "5.4");
    EXPECT_EQ(v[17], "240");
    EXPECT_EQ(v[18], "320");
    // The control's id comes first.
    m_core->Settings().SetTerminalID(12);
    Send("B" + FD);
    EXPECT_EQ(Values(Replies().at(0))[0], "12");
}

TEST_F(SessionCommandsTest, TermInfoSwitchesFramingAfterItsReply) {
    for (const char* field : {"1", "5"}) {
        SCOPED_TRACE(field);
        m_core = std::make_unique<CClientCore>(m_window);
        Send("B" + FD + field);
        // The reply still goes in mode-0 segments and ends with the mode.
        ASSERT_FALSE(m_segments.empty());
        for (const Bytes& segment : m_segments) {
            EXPECT_EQ(segment[2], '\x03');
            EXPECT_EQ(static_cast<uint8_t>(segment[1]), segment.size() - 4);
        }
        const std::vector<Bytes> v = Values(Replies(0).at(0));
        ASSERT_EQ(v.size(), 20u);
        EXPECT_EQ(v[19], "1");
        // From now on both directions use decimal lengths.
        Send("A" + FD + "m", 1);
        ASSERT_EQ(m_segments.size(), 1u);
        EXPECT_EQ(m_segments[0].substr(0, 3), "\x02" "3\x03");
        EXPECT_EQ(Replies(1), (std::vector<Bytes>{"A" + FD + "m"}));
        // Disconnect returns to mode 0.
        Send("9" + FD, 1);
        Send("A" + FD + "n", 0);
        EXPECT_EQ(Replies(0), (std::vector<Bytes>{"A" + FD + "n"}));
    }
}

TEST_F(SessionCommandsTest, TermInfoBelowOneKeepsMode0) {
    for (Bytes field : {"0", "", "-3"}) {
        SCOPED_TRACE(field);
        Send("B" + FD + field);
        EXPECT_EQ(Values(Replies().at(0)).size(), 19u);
        Send("A" + FD + "z");
        EXPECT_EQ(Replies(0), (std::vector<Bytes>{"A" + FD + "z"}));
    }
}

TEST_F(SessionCommandsTest, SetTermInfoTakesTheDevicePositionsOfTheReply) {
    FakeDevices& devices = m_devices;
    m_core->SetDevices(&devices);
    Send("C" + FD + "1" + FC + "2" + FC + "3" + FC + "4" + FC + "5" + FC + "61" + FC + "62" + FC + "63" + FC + "9" + FC);
    using F = DeviceFunction;
    EXPECT_EQ(devices.calls, (std::vector<std::pair<F, int32_t>>{
                                 {F::SetKeyBoardState, 61}, {F::SetKeyTimeout, 62}, {F::SetBackLightTime, 63}}));
    EXPECT_TRUE(Replies().empty());
    // Missing positions give -1.
    devices.calls.clear();
    Send("C" + FD + "1" + FC);
    EXPECT_EQ(devices.calls.at(0).second, -1);
}

TEST_F(SessionCommandsTest, ModeSelectRepliesAndSetsTheReaders) {
    FakeScanner& scanner = m_scanner;
    FakeDevices& devices = m_devices;
    m_core->SetScanner(&scanner);
    m_core->SetDevices(&devices);

    Send("Y" + FD + "2");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"b" + FD}));
    EXPECT_EQ(m_busy, (std::vector<int>{0}));  // no busy status in mode 2
    EXPECT_EQ(scanner.state, SCANNER_STATE_ON);
    EXPECT_TRUE(devices.msr && devices.rfid);
    EXPECT_EQ(m_core->Field().kind, InputKind::KeysAndData);

    Send("Y" + FD + "0");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"b" + FD}));
    EXPECT_EQ(scanner.state, SCANNER_STATE_OFF);
    EXPECT_FALSE(devices.msr || devices.rfid);
}

TEST_F(SessionCommandsTest, ModeSelectLastsUntilTheNextCommandButRfPrintAndRfAux) {
    Send("Y" + FD + "2" + FF + "3" + FD + "text");
    EXPECT_EQ(m_core->InputState().modeSelect, 2);
    Send("2" + FD);
    EXPECT_EQ(m_core->InputState().modeSelect, 0);
    Send("Y" + FD + "2" + FF + "6" + FD + "aux" + FF + "3" + FD + "text");
    EXPECT_EQ(m_core->InputState().modeSelect, 2);
    Send("A" + FD);
    EXPECT_EQ(m_core->InputState().modeSelect, 0);
}

TEST_F(SessionCommandsTest, DisconnectClearsInputDropsAPartialPacketAndEndsTheSession) {
    m_core->SetAutomation(&m_automation);
    Send("1" + FD);
    m_automation.notes.clear();
    const Bytes partial = Frame("A" + FD + "lost");
    Receive(partial.substr(0, 5));
    m_core->EndSession();
    EXPECT_EQ(m_automation.Codes(), (std::vector<uint32_t>{AUTO_END_OF_INPUT, AUTO_DISCONNECT}));
    EXPECT_EQ(m_core->Field().command, InputCommand::None);
    Receive(partial.substr(5));
    EXPECT_TRUE(Replies().empty());
    Send("A" + FD + "next");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{"A" + FD + "next"}));
}

}  // namespace
}  // namespace coretest
