#include "platform/Serial.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/DeviceFs.h"
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

    static void Map(const char16_t* name, const std::string& target) {
        ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, plat::serial::kPortsKey, name,
                                              plat::text::Utf8ToWide(target)));
    }
    // Whether the port opens (it is closed again).
    static bool Opens(const char16_t* name) {
        const int port = plat::serial::Open(name);
        plat::serial::Close(port);
        return port >= 0;
    }

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

// Only a terminal device named as itself is a port: a name mapped to
// something else, to a link to the terminal, or through a linked folder or
// "." and ".." fails at once as an unmapped name does.
TEST_F(SerialTest, NamesMappedToWhatIsNoTerminalDeviceFail) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("orvade-serial-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "file") << "x";
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const std::string slave = ptsname(master);
    const std::string number = std::filesystem::path(slave).filename();
    std::filesystem::create_symlink(slave, dir / "link");
    std::filesystem::create_directory_symlink("/dev/pts", dir / "pts");
    const std::string targets[] = {(dir / "file").string(),
                                   (dir / "fifo").string(),
                                   dir.string(),
                                   (dir / "none").string(),
                                   "/dev/null",
                                   slave.substr(1),  // from "/" this relative path names the terminal
                                   (dir / "link").string(),
                                   (dir / "pts" / number).string(),
                                   "/dev/pts/../pts/" + number,
                                   "/dev/./pts/" + number,
                                   "/dev//pts/" + number,
                                   slave + "/",
                                   ""};
    const std::filesystem::path working = std::filesystem::current_path();
    std::filesystem::current_path("/");
    for (const std::string& target : targets) {
        Map(u"COM2:", target);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Opens(u"COM2:")) << target;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << target;
    }
    std::filesystem::current_path(working);
    std::filesystem::remove_all(dir);
    // The terminal itself, named plainly, is a port.
    Map(u"COM2:", slave);
    EXPECT_TRUE(Opens(u"COM2:"));
}

// Port numbers run from 1 to 255, as the host's serial commands name them;
// any other name fails even when the registry maps it to a terminal.
TEST_F(SerialTest, OnlyPortNamesAreLookedUp) {
    const std::string slave = ptsname(master);
    const char16_t* refused[] = {u"COM0:",   u"COM256:", u"COM-1:", u"COM01:", u"com3:", u"COM3",
                                 u"COM 3:",  u"COM3:x",  u"COM+3:", u"COM:",   u"COM2147483648:",
                                 u"COM3:\\", u"..\\COM3:"};
    for (const char16_t* name : refused) {
        Map(name, slave);
        EXPECT_EQ(plat::serial::DevicePath(name), "") << plat::text::WideToUtf8(name);
        EXPECT_FALSE(Opens(name)) << plat::text::WideToUtf8(name);
    }
    Map(u"COM255:", slave);
    EXPECT_TRUE(Opens(u"COM255:"));
}

// A mapping read when the port opens holds until it closes: changing it
// meanwhile moves nothing, and the next open follows the new mapping.
TEST_F(SerialTest, AMappingChangedWhileThePortIsOpenCountsFromTheNextOpen) {
    const int port = plat::serial::Open(u"COM1:");
    ASSERT_GE(port, 0);
    Map(u"COM1:", "/dev/null");
    const uint8_t byte = 'z';
    ASSERT_TRUE(plat::serial::WriteAll(port, &byte, 1));
    char got = 0;
    EXPECT_EQ(read(master, &got, 1), 1);
    EXPECT_EQ(got, 'z');
    plat::serial::Close(port);
    EXPECT_FALSE(Opens(u"COM1:"));
}

// A terminal inside the device root is no port, though the same terminal
// outside it is: the host's files lie there. Bind mounts in a mount
// namespace of the test's own put the terminal in both places.
TEST_F(SerialTest, ATerminalInsideTheDeviceRootIsNoPort) {
    const std::string slave = ptsname(master);
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "no mount namespace of its own: " << std::strerror(errno);
    const std::filesystem::path inside = std::filesystem::path(plat::fs::DeviceRoot()) / "Data" / "port";
    const std::filesystem::path outside =
        std::filesystem::temp_directory_path() / ("orvade-serial-port-" + std::to_string(getpid()));
    std::filesystem::create_directories(inside.parent_path());
    std::ofstream(inside).put('x');
    std::ofstream(outside).put('x');
    for (const auto& at : {inside, outside})
        ASSERT_EQ(mount(slave.c_str(), at.c_str(), nullptr, MS_BIND, nullptr), 0) << std::strerror(errno);
    Map(u"COM3:", inside.string());
    Map(u"COM4:", outside.string());
    EXPECT_FALSE(Opens(u"COM3:"));
    EXPECT_TRUE(Opens(u"COM4:"));
    for (const auto& at : {inside, outside}) {
        umount2(at.c_str(), MNT_DETACH);
        std::filesystem::remove(at);
    }
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
