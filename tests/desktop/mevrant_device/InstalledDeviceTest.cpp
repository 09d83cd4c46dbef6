// "Application Only" with the device's own installer: the client's package
// copied to the device and installed there by the installer program, whose
// setup library writes the "InstallDir" that "Config Only" then reads.
#include <chrono>
#include <thread>

#include "tests/desktop/mevrant/MevrantFixture.h"

namespace {

using Lines = std::vector<std::string>;

class InstalledDeviceTest : public mevranttest::MevrantTest {
protected:
    void SetUp() override {
        MevrantTest::SetUp();
        setenv("ORVADE_INSTALLER", ORVADE_INSTALL_PATH, 1);
    }
    void TearDown() override {
        unsetenv("ORVADE_INSTALLER");
        MevrantTest::TearDown();
    }
};

TEST_F(InstalledDeviceTest, TheInstallationsFolderIsWhereTheConfigurationGoes) {
    Product("OrvadeConfig.cfg", "[Install]\r\n"
                                "InstallType=1\r\n"
                                "InstallDir=Application\\Client\r\n"
                                "InstallApp=\\Windows\\wceload.exe\r\n"
                                "CABFile=OrvadeClient.tar\r\n");
    std::filesystem::copy_file(ORVADE_PACKAGE, product_ / "OrvadeClient.tar");
    Product("hosts.cfg", "[OID=1]\r\nHost=127.0.0.1\r\nDescription=Dock\r\nPort=1000\r\n");
    mevrant::CMevrant& m = Model();
    EXPECT_TRUE(m.OnApplicationOnly());
    EXPECT_EQ(box_.titles, Lines{"Install Initiated"});
    box_.Take();

    // The installer runs on the device; its setup library records the folder.
    std::u16string installDir;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!plat::registry::GetString(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir",
                                      &installDir) &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(installDir, u"\\Application\\Client");
    EXPECT_TRUE(HostExists("\\Application\\Client\\Launchwick.exe"));

    EXPECT_TRUE(m.OnConfigOnly());
    EXPECT_EQ(box_.Take(), Lines{"Updates successfully installed."});
    EXPECT_EQ(Get("\\Application\\Client\\hosts.cfg"),
              "[OID=1]\r\nHost=127.0.0.1\r\nDescription=Dock\r\nPort=1000\r\n");
}

}  // namespace
