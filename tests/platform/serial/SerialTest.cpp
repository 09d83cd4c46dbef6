#include "platform/Serial.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Registry.h"
#include "platform/Text.h"
#include "tests/platform/serial/PortPeer.h"

namespace {

// A pseudo-terminal pair: the test holds the master, "COM1:" maps to the slave.
class SerialTest : public ::testing::Test {
protected:
    void SetUp() override {
        master = serialtest::OpenPortPeer(u"COM1:");
        ASSERT_GE(master, 0);
    }
    void TearDown() override { close(master); }

    int master = -1;
};

TEST_F(SerialTest, BytesGoBothWays) {
    const int port = plat::serial::Open(u"COM1:");
    ASSERT_GE(port, 0);
    ASSERT_TRUE(plat::serial::Configure(port, {}));
    const uint8_t out[] = {0x02, 'A', 0x00, 0xFD, 0x03};
    ASSERT_TRUE(plat::serial::WriteAll(port, out, sizeof out));
    uint8_t got[8] = {};
    size_t have = 0;
    while (have < sizeof out) {
        const ssize_t n = read(master, got + have, sizeof got - have);
        ASSERT_GT(n, 0);
        have += static_cast<size_t>(n);
    }
    EXPECT_EQ(std::string(reinterpret_cast<char*>(got), have), std::string(reinterpret_cast<const char*>(out), sizeof out));

    ASSERT_EQ(write(master, "xy", 2), 2);
    uint8_t b = 0;
    EXPECT_EQ(plat::serial::ReadByte(port, &b), 1);
    EXPECT_EQ(b, 'x');
    EXPECT_EQ(plat::serial::ReadByte(port, &b), 1);
    EXPECT_EQ(b, 'y');
    EXPECT_EQ(plat::serial::ReadByte(port, &b, 10), 0);  // nothing more
    plat::serial::Close(port);
}

TEST_F(SerialTest, PortIsExclusiveAndUnmappedNamesFail) {
    const int port = plat::serial::Open(u"COM1:");
    ASSERT_GE(port, 0);
    EXPECT_EQ(plat::serial::Open(u"COM1:"), -1);
    EXPECT_EQ(plat::serial::Open(u"COM7:"), -1);
    EXPECT_EQ(plat::serial::DevicePath(u"COM7:"), "");
    plat::serial::Close(port);
    const int again = plat::serial::Open(u"COM1:");
    EXPECT_GE(again, 0);
    plat::serial::Close(again);
}

// Exclusive use ends with the port: a terminal that outlives it (a
// pseudo-terminal whose master stays, a port another program also uses)
// can be opened again, also by a user without the right to override it.
TEST_F(SerialTest, ClosingThePortEndsItsExclusiveUse) {
    const int port = plat::serial::Open(u"COM1:");
    ASSERT_GE(port, 0);
    int exclusive = 0;
    ASSERT_EQ(ioctl(port, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);
    plat::serial::Close(port);
    const int plain = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(plain, 0);
    exclusive = 1;
    ASSERT_EQ(ioctl(plain, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(plain);
}

// A name mapped to something that is no terminal, or to a path that does not
// name one place whatever the working folder, fails at once.
TEST_F(SerialTest, NamesMappedToWhatIsNoTerminalFail) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("orvade-serial-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "file") << "x";
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const std::string slave = ptsname(master);
    const std::string targets[] = {(dir / "file").string(), (dir / "fifo").string(), dir.string(),
                                   (dir / "none").string(), "/dev/null", slave.substr(1)};
    // From the root folder the relative path names the terminal.
    const std::filesystem::path working = std::filesystem::current_path();
    std::filesystem::current_path("/");
    for (const std::string& target : targets) {
        ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, plat::serial::kPortsKey, u"COM2:",
                                              plat::text::Utf8ToWide(target)));
        const auto start = std::chrono::steady_clock::now();
        const int port = plat::serial::Open(u"COM2:");
        EXPECT_EQ(port, -1) << target;
        if (port >= 0) plat::serial::Close(port);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << target;
    }
    std::filesystem::current_path(working);
    std::filesystem::remove_all(dir);
}

TEST_F(SerialTest, SettingsReachTermios) {
    struct Case {
        plat::serial::PortSettings settings;
        speed_t speed;
        tcflag_t size;
        tcflag_t parity;
        bool check;
    };
    using P = plat::serial::Parity;
    const Case cases[] = {
        {{}, B19200, CS8, 0, false},
        {{9600, 7, true, P::Even}, B9600, CS7, PARENB, false},
        {{1200, 6, false, P::Odd}, B1200, CS6, PARENB | PARODD, true},
        {{110, 5, false, P::Mark}, B110, CS5, PARENB | PARODD | CMSPAR, true},
        {{38400, 4, false, P::Space}, B38400, CS5, PARENB | CMSPAR, false},  // 4 bits run as 5
    };
    const int port = plat::serial::Open(u"COM1:");
    ASSERT_GE(port, 0);
    for (const Case& c : cases) {
        ASSERT_TRUE(plat::serial::Configure(port, c.settings));
        termios t{};
        ASSERT_EQ(tcgetattr(port, &t), 0);
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        plat::serial::Apply(c.settings, t);
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & CSIZE, c.size);
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.parity);
        EXPECT_EQ((t.c_iflag & INPCK) != 0, c.check);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.settings.twoStopBits);
    }
    plat::serial::Close(port);
}

// A port that is not open fails at once instead of reading as silent.
TEST(SerialPort, AClosedPortFailsAtOnce) {
    uint8_t b = 0;
    EXPECT_EQ(plat::serial::ReadByte(-1, &b, 10), -1);
    EXPECT_FALSE(plat::serial::WriteAll(-1, &b, 1));
}

TEST_F(SerialTest, ReadFailsWhenThePeerHangsUp) {
    const int port = plat::serial::Open(u"COM1:");
    ASSERT_GE(port, 0);
    close(master);
    master = -1;
    uint8_t b;
    EXPECT_EQ(plat::serial::ReadByte(port, &b, 50), -1);
    plat::serial::Close(port);
}

}  // namespace
