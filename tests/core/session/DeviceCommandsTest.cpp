// The device and system commands through the core: the device clock, ending
// the session with a message, waiting events, and the commands that only answer.
#include <ctime>

#include "CoreFixture.h"

namespace coretest {
namespace {

struct RecordingDialogs : ICoreDialogs {
    std::vector<std::u16string> messages;
    void ShowMessage(std::u16string_view text) override { messages.emplace_back(text); }
};

struct CountingWidgets : ICoreWidgets {
    int removals = 0;
    void RemoveAll() override { ++removals; }
};

class DeviceCommandsTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        plat::clock::SetDeviceClockOffsetMs(0);
    }
    void TearDown() override {
        plat::clock::SetDeviceClockOffsetMs(0);
        CoreTest::TearDown();
    }
    std::vector<Bytes> Ask(const Bytes& payload, int mode = 0) {
        Send(payload, mode);
        return Replies(mode);
    }
};

TEST_F(DeviceCommandsTest, SetTimeMovesTheDeviceClockNotTheMachines) {
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(Ask("t" + FD + "20070315 142530"), (std::vector<Bytes>{"t" + FD + "1"}));
    SYSTEMTIME now{};
    GetSystemTime(&now);
    EXPECT_EQ(now.wYear, 2007);
    EXPECT_EQ(now.wMonth, 3);
    EXPECT_EQ(now.wDay, 15);
    EXPECT_EQ(now.wHour, 14);
    EXPECT_EQ(now.wMinute, 25);
    EXPECT_LE(now.wSecond - 30, 1);
    EXPECT_NE(plat::clock::GetDeviceClockOffsetMs(), 0);
    EXPECT_GE(std::time(nullptr), before);  // the machine's clock is where it was
}

TEST_F(DeviceCommandsTest, SetTimeRefusesTimesThatDoNotExist) {
    for (const Bytes text : {"20070230 142530", "20071315 142530", "20070315 246000", "20070315 142560",
                             "20070315 1425", "20070315", "", "2007O315 142530", "16000101 000000"}) {
        for (int mode : {0, 1}) {
            m_core = std::make_unique<CClientCore>(m_window);
            if (mode == 1) Send("B" + FD + "1"), Replies(0);
            EXPECT_EQ(Ask("t" + FD + text, mode), (std::vector<Bytes>{"t" + FD + "0"})) << text << " " << mode;
        }
        EXPECT_EQ(plat::clock::GetDeviceClockOffsetMs(), 0) << text;
    }
}

TEST_F(DeviceCommandsTest, KillCommandShowsItsMessageAnswersAndEndsTheSession) {
    RecordingDialogs dialogs;
    CountingWidgets widgets;
    m_core->SetDialogs(&dialogs);
    m_core->SetWidgets(&widgets);
    TakePosted(WM_CORE_SESSION_ENDED);
    EXPECT_EQ(Ask("k" + FD + "Host going down"), (std::vector<Bytes>{"k" + FD + "1"}));
    EXPECT_EQ(dialogs.messages, (std::vector<std::u16string>{u"Host going down"}));
    EXPECT_EQ(widgets.removals, 1);
    EXPECT_EQ(TakePosted(WM_CORE_SESSION_ENDED), 1);
    // Without a text no box is shown; the session still ends.
    EXPECT_EQ(Ask("k" + FD), (std::vector<Bytes>{"k" + FD + "1"}));
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(TakePosted(WM_CORE_SESSION_ENDED), 1);
    m_core->SetDialogs(nullptr);
    m_core->SetWidgets(nullptr);
}

TEST_F(DeviceCommandsTest, TellEventSaysWhetherInputWaits) {
    EXPECT_EQ(Ask("F" + FD), (std::vector<Bytes>{"F" + FD}));
    Key(113);  // queued: no input field is open
    EXPECT_EQ(Ask("F" + FD), (std::vector<Bytes>{"F" + FD + "1"}));
    EXPECT_EQ(m_core->EventCount(), 1);  // only asked, not taken
}

TEST_F(DeviceCommandsTest, WakeAnswersNothingAndLoadKeyMapOne) {
    StartLog();
    EXPECT_EQ(Ask("Z" + FD + FF + "a" + FD), (std::vector<Bytes>{"a" + FD + "1"}));
    const std::string log = LogText();
    EXPECT_NE(log.find("WAK"), std::string::npos);
    EXPECT_NE(log.find("LoadKeyMap"), std::string::npos);
}

}  // namespace
}  // namespace coretest
