// The device program end to end: the launcher, the shell, the control and
// the discovery object from their ".dll"s, against a host on 127.0.0.1.
#include <QBuffer>

#include "tests/Client/Windows/shell/session/DeviceProgram.h"

using namespace sessiontest;

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

std::string StartUpConfig(uint16_t port) {
    return AutoLaunch(port) + "ExitAfterSession=1\nTerminalID=8004\n";
}

}  // namespace

TEST_F(DeviceProgramTest, ShowsTheHostsOfItsHostsFileOnStart) {
    Configure("Autodiscovery=0\n");
    Write("Program Files/Orvade Client/Hosts.cfg", "[OID=1]\nHost=127.0.0.1\nDescription=Dock\nPort=1000\n");
    QImage shot;
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        EXPECT_TRUE(WaitFor([] { return ListItems().size() == 2; }));
        EXPECT_EQ(ListItems(), (std::vector<std::u16string>{u"Add New", u"Dock"}));
        EXPECT_TRUE(OnShell([] { return IsWindowVisible(HostList()) && !IsWindowVisible(ControlHost()); }));
        shot = OnShell([] {
            plat::qt::SyncWidgets();
            return plat::qt::RenderWindow(MainWindow());
        });
    });
    EXPECT_EQ(m_code, 0);
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), QSize(240, 320));
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) shot.save(QString(dir) + "/host-list.png");
}

TEST_F(DeviceProgramTest, ASkinGivesTheMainWindowItsFrameTitleAndPictureScaledSmoothly) {
    // A keypad picture half the skin's size: a sharp edge between two
    // colours, and a corner whose pixels are transparent over a colour of
    // their own, which shows (a skin's picture is drawn opaque as stored).
    QImage picture(120, 160, QImage::Format_ARGB32);
    picture.fill(QColor(30, 60, 90));
    for (int y = 80; y < 160; ++y)
        for (int x = 0; x < 120; ++x) picture.setPixel(x, y, x < 60 ? 0xffd0d0d0 : 0xff802020);
    for (int y = 150; y < 160; ++y)
        for (int x = 110; x < 120; ++x) picture.setPixel(x, y, 0x0000c000);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    Configure("Autodiscovery=0\n");
    Write("Program Files/Orvade Client/Skins/Default/keypad.png", png.toStdString());
    Write("Program Files/Orvade Client/Skins/Default/Config.xml",
          "<?xml version=\"1.0\"?><skin><view titleBar=\"Rugged\" skinImage=\"keypad.png\" SkinPosX=\"0\" "
          "SkinPosY=\"0\" SkinPosWidth=\"240\" SkinPosHeight=\"320\" displayPosX=\"20\" displayPosY=\"20\" "
          "displayWidth=\"200\" displayHeight=\"120\"/></skin>");
    QImage shot;
    std::u16string title;
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        EXPECT_TRUE(WaitFor([] { return ListItems().size() == 1; }));
        shot = OnShell([&] {
            char16_t text[64] = {};
            GetWindowText(MainWindow(), text, 64);
            title = text;
            UpdateWindow(MainWindow());
            plat::qt::SyncWidgets();
            return plat::qt::RenderWindow(MainWindow());
        });
    });
    EXPECT_EQ(m_code, 0);
    ASSERT_EQ(shot.size(), QSize(240, 320));
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) shot.save(QString(dir) + "/skin.png");
    EXPECT_EQ(title, u"Rugged");
    EXPECT_EQ(shot.pixelColor(10, 250), QColor(0xd0, 0xd0, 0xd0));
    EXPECT_EQ(shot.pixelColor(230, 250), QColor(0x80, 0x20, 0x20));
    EXPECT_EQ(shot.pixelColor(236, 316), QColor(0, 0xc0, 0));
    // Scaled smoothly: the edge between the two keys blends them.
    const QColor edge = shot.pixelColor(120, 250);
    EXPECT_NE(edge, QColor(0xd0, 0xd0, 0xd0));
    EXPECT_NE(edge, QColor(0x80, 0x20, 0x20));
}

TEST_F(DeviceProgramTest, StartUpConnectionRunsASessionAndExitsAfterIt) {
    ScriptedHost host;
    // The screen's width reaches the control with the other settings.
    Configure(StartUpConfig(host.Port()) + "NumColumns=20\nNumRows=12\n");
    Run([&] {
        ASSERT_TRUE(host.Accept());
        ASSERT_TRUE(host.Send(Frame0("A\xFDhello")));
        EXPECT_EQ(host.ReadPacket(), "A\xFDhello");
        // GETTERMINFO asking for mode 1: the answer still in mode 0.
        ASSERT_TRUE(host.Send(Frame0("B\xFD" "1")));
        const std::string info = host.ReadPacket();
        ASSERT_EQ(info.substr(0, 2), "B\xFD");
        const std::vector<std::string> values = Split(info.substr(2), '\xFC');
        ASSERT_GE(values.size(), 13u);
        EXPECT_EQ(values[0], "8004");
        EXPECT_EQ(values[1], "20");
        EXPECT_EQ(values[11], "127.0.0.1");
        EXPECT_EQ(values[12], "5.4.1.01");
        // Mode 1 from here on, both ways.
        ASSERT_TRUE(host.Send(Frame1("A\xFDmode one")));
        EXPECT_EQ(host.ReadPacket(1), "A\xFDmode one");
        ASSERT_TRUE(host.Send(Frame1("9\xFD")));
        // The session ends, and with setting 35 the program with it.
        EXPECT_TRUE(host.WaitClosed());
        EXPECT_TRUE(WaitFor([] { return MainWindow() == 0; }));
    });
    EXPECT_EQ(m_code, 0);
    EXPECT_EQ(host.Connections(), 1);
    EXPECT_TRUE(m_boxes.Seen().empty());
}

TEST_F(DeviceProgramTest, ASegmentSplitOverTwoWritesIsAnsweredOnce) {
    ScriptedHost host;
    Configure(StartUpConfig(host.Port()));
    Run([&] {
        ASSERT_TRUE(host.Accept());
        const std::string ping = Frame0("A\xFDsplit");
        ASSERT_TRUE(host.Send(ping.substr(0, 5)));
        // Past a timer tick, so the first half is read on its own.
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        ASSERT_TRUE(host.Send(ping.substr(5)));
        EXPECT_EQ(host.ReadPacket(), "A\xFDsplit");
        ASSERT_TRUE(host.Send(Frame0("A\xFDnext")));
        EXPECT_EQ(host.ReadPacket(), "A\xFDnext");
        ASSERT_TRUE(host.Send(Frame0("9\xFD")));
        EXPECT_TRUE(WaitFor([] { return MainWindow() == 0; }));
    });
    EXPECT_EQ(m_code, 0);
}

TEST_F(DeviceProgramTest, TheHostClosingShowsOneBoxAndReturnsToTheHostList) {
    ScriptedHost host;
    Configure(AutoLaunch(host.Port()));
    Run([&] {
        ASSERT_TRUE(host.Accept());
        ASSERT_TRUE(host.Send(Frame0("A\xFDx")));
        EXPECT_EQ(host.ReadPacket(), "A\xFDx");
        EXPECT_TRUE(OnShell([] { return IsWindowVisible(ControlHost()) != 0; }));
        host.CloseConnection();
        EXPECT_TRUE(WaitFor([&] { return BoxesSaying(u"The host closed the connection.") > 0; }));
        EXPECT_TRUE(WaitFor([] { return OnShell([] { return IsWindowVisible(HostList()) && !IsWindowVisible(ControlHost()); }); }));
        // A few more timer ticks: the closed connection is not reported again.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    });
    EXPECT_EQ(BoxesSaying(u"The host closed the connection."), 1);
    EXPECT_EQ(m_boxes.Seen().size(), 1u);
}

TEST_F(DeviceProgramTest, AClosedPortShowsOneBoxAndTheProgramGoesOn) {
    uint16_t port;
    {
        ScriptedHost closed;  // its port, free again once it goes
        port = closed.Port();
    }
    Configure(StartUpConfig(port));
    Run([&] { EXPECT_TRUE(WaitFor([] { return MainWindow() == 0; }, 20000)); });
    EXPECT_EQ(m_code, 0);
    EXPECT_EQ(BoxesSaying(u"Unable to connect to the host.\nThe host refused the connection."), 1);
    EXPECT_EQ(m_boxes.Seen().size(), 1u);
}

TEST_F(DeviceProgramTest, AHostChosenByTapConnectsAndReconnectsAfterTheHostsDisconnect) {
    ScriptedHost host;
    Configure("Autodiscovery=0\nAutoReconnect=1\n");
    Write("Program Files/Orvade Client/Hosts.cfg",
          "[OID=1]\nHost=127.0.0.1\nDescription=Dock\nPort=" + std::to_string(host.Port()) + "\n");
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        ASSERT_TRUE(WaitFor([] { return ListItems().size() == 2; }));
        // "Dock" is the second icon of the grid, beside "Add New".
        DoubleTapIcon(1);
        ASSERT_TRUE(host.Accept());
        ASSERT_TRUE(host.Send(Frame0("A\xFD" "first")));
        EXPECT_EQ(host.ReadPacket(), "A\xFD" "first");
        // The session runs in the host's own folder of the program folder.
        EXPECT_TRUE(std::filesystem::is_directory(m_root / "Program Files/Orvade Client/Dock"));
        ASSERT_TRUE(host.Send(Frame0("9\xFD")));
        // Automatic reconnection: the same host of the hosts file again.
        ASSERT_TRUE(host.Accept());
        ASSERT_TRUE(host.Send(Frame0("A\xFDsecond")));
        EXPECT_EQ(host.ReadPacket(), "A\xFDsecond");
    });
    EXPECT_EQ(host.Connections(), 2);
    EXPECT_TRUE(m_boxes.Seen().empty());
}

TEST_F(DeviceProgramTest, AFailedReconnectReturnsToTheHostList) {
    auto host = std::make_unique<ScriptedHost>();
    Configure("Autodiscovery=0\nAutoReconnect=1\n");
    // The description is no folder name: the session's folder stays one
    // folder of the program folder.
    Write("Program Files/Orvade Client/Hosts.cfg",
          "[OID=1]\nHost=127.0.0.1\nDescription=..\\Dock\nPort=" + std::to_string(host->Port()) + "\n");
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        ASSERT_TRUE(WaitFor([] { return ListItems().size() == 2; }));
        OnShell([] {
            LVITEM state{};
            state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessage(HostList(), LVM_SETITEMSTATE, 1, LPARAM(&state));
            SetFocus(HostList());
        });
        PostMessage(HostList(), WM_KEYDOWN, VK_RETURN, 0);
        ASSERT_TRUE(host->Accept());
        ASSERT_TRUE(host->Send(Frame0("A\xFDx")));
        EXPECT_EQ(host->ReadPacket(), "A\xFDx");
        EXPECT_TRUE(std::filesystem::is_directory(m_root / "Program Files/Orvade Client/.._Dock"));
        // The host goes away for good: the reconnect finds a closed port.
        host->Send(Frame0("9\xFD"));
        host.reset();
        EXPECT_TRUE(WaitFor([&] { return BoxesSaying(u"Unable to connect to the host.\nThe host refused the connection.") == 1; }));
        EXPECT_TRUE(WaitFor([] { return OnShell([] { return IsWindowVisible(HostList()) && !IsWindowVisible(ControlHost()); }); }));
    });
    EXPECT_EQ(m_code, 0);
}
