// The device program while a packet of the host's rests plays: the screen,
// the shell's thread and the user's menu stay the user's.
#include "tests/Client/Windows/shell/session/DeviceProgram.h"

using namespace sessiontest;

namespace {

// Twenty PLAYTONE of a tone file that rests 2 s, after the host's text and
// before a Ping: forty seconds of rest in one packet, far beyond what a loaded
// machine adds to the waits below.
std::string RestingPacket() {
    std::string packet = "3\xFD\x1B[2;3HResting";
    for (int i = 0; i < 20; ++i) packet += "\xFFT\xFDrest.ton";
    return packet + "\xFF" "A\xFDrested";
}

}  // namespace

TEST_F(DeviceProgramTest, WhileAPacketRestsTheScreenIsPaintedAndTheUsersDisconnectEndsIt) {
    ScriptedHost host;
    Configure(AutoLaunch(host.Port()));
    // The session's screen as shown, rendered by the shell's thread.
    const auto Screen = [] {
        return OnShell([] {
            plat::qt::SyncWidgets();
            return plat::qt::RenderWindow(ControlHost());
        });
    };
    Run([&] {
        ASSERT_TRUE(host.Accept());
        ASSERT_TRUE(host.Send(Frame0(std::string("H\xFDrest.ton\xFD") + "0\xFD" "2000\xFE")));
        ASSERT_EQ(host.ReadPacket(), "H\xFD" "1");
        // The host's text: dark pixels in its cells on the second row, right
        // of where the busy label reaches.
        const auto TextShown = [](const QImage& image) {
            int dark = 0;
            for (int y = 20; y < 40 && y < image.height(); ++y)
                for (int x = 50; x < 100 && x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 128;
            return dark > 20;
        };
        // Before the packet those cells are blank, once the session's screen shows.
        QImage before;
        ASSERT_TRUE(WaitFor([&] { return !(before = Screen()).isNull() && !TextShown(before); }, 10000));
        const auto sent = Clock::now();
        ASSERT_TRUE(host.Send(Frame0(RestingPacket())));
        // The shell's thread answers while the packet rests, and the host's
        // text is on the screen.
        QImage during;
        EXPECT_TRUE(WaitFor([&] { return TextShown(during = Screen()); }, 10000));
        EXPECT_LT(Clock::now() - sent, std::chrono::seconds(10));
        if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) during.save(QString(dir) + "/resting.png");
        // The user disconnects from the menu: the rests end with the session,
        // long before their forty seconds, and the Ping after them is not answered.
        m_boxes.Script(IDYES);
        PostMessage(MainWindow(), WM_COMMAND, 42001, 0);
        EXPECT_EQ(host.ReadPacket(0, 15000), "");
        EXPECT_TRUE(host.WaitClosed(1000));
        EXPECT_LT(Clock::now() - sent, std::chrono::seconds(20));
        EXPECT_TRUE(WaitFor([] { return OnShell([] { return IsWindowVisible(HostList()) != 0; }); }));
    });
    ASSERT_EQ(m_boxes.Seen().size(), 1u);
    EXPECT_EQ(m_boxes.Seen()[0].text, u"Do you want to disconnect from the host?");
    EXPECT_EQ(m_code, 0);
}

// The program closed while a packet rests ends at once, and cleanly.
TEST_F(DeviceProgramTest, ClosedWhileAPacketRestsTheProgramEndsAtOnce) {
    ScriptedHost host;
    Configure(AutoLaunch(host.Port()));
    Run([&] {
        ASSERT_TRUE(host.Accept());
        ASSERT_TRUE(host.Send(Frame0(std::string("H\xFDrest.ton\xFD") + "0\xFD" "2000\xFE")));
        ASSERT_EQ(host.ReadPacket(), "H\xFD" "1");
        const auto sent = Clock::now();
        ASSERT_TRUE(host.Send(Frame0(RestingPacket())));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        PostMessage(MainWindow(), WM_CLOSE, 0, 0);
        EXPECT_TRUE(host.WaitClosed(15000));
        EXPECT_LT(Clock::now() - sent, std::chrono::seconds(20));
    });
    EXPECT_EQ(m_code, 0);
}
