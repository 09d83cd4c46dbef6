// The device program end to end: the launcher, the shell, the control and
// the discovery object from their ".dll"s, against a host on 127.0.0.1.
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
    return "Autodiscovery=0\nAutoLaunchAddress=127.0.0.1\nAutoLaunchPort=" + std::to_string(port) +
           "\nExitAfterSession=1\nTerminalID=8004\n";
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
    if (const char* dir = std::getenv("ORVADE_SHOTS")) shot.save(QString(dir) + "/host-list.png");
}

TEST_F(DeviceProgramTest, StartUpConnectionRunsASessionAndExitsAfterIt) {
    ScriptedHost host;
    Configure(StartUpConfig(host.Port()));
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
