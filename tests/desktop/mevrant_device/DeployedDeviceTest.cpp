// What Mevrant deploys is what the device program finds: the hosts file and
// the client configuration copied into the install folder that the device's
// registry names, then the device program started on that device root.
#include "mevrant/Mevrant.h"
#include "platform/Rapi.h"
#include "platform/Registry.h"
#include "tests/Client/Windows/shell/session/DeviceProgram.h"
#include "tests/desktop/deskcommon/ScriptedMessages.h"

using namespace sessiontest;

namespace {

class DeployedDeviceTest : public DeviceProgramTest {
protected:
    void SetUp() override {
        DeviceProgramTest::SetUp();
        m_product = m_root.parent_path() / (m_root.filename().string() + "-product");
        std::filesystem::create_directories(m_product);
        Product("OrvadeConfig.cfg", "title=Host Profiles,app=Zendril\r\n");
        // The value the installation hooks write on the device.
        ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client",
                                              u"InstallDir", u"\\Program Files\\Orvade Client"));
        plat::rapi::AttachDevice(m_root.string());
    }
    void TearDown() override {
        plat::rapi::AttachDevice("");
        std::filesystem::remove_all(m_product);
        DeviceProgramTest::TearDown();
    }
    void Product(const std::string& name, const std::string& bytes) const {
        std::ofstream(m_product / name, std::ios::binary) << bytes;
    }
    // "Config Only" in the product folder.
    void Deploy() {
        deskcommontest::ScriptedMessages box;
        mevrant::CMevrant model(m_product.string());
        model.Load();
        EXPECT_TRUE(model.OnConfigOnly());
        EXPECT_EQ(box.Take(), std::vector<std::string>{"Updates successfully installed."});
        plat::fs::SetDeviceRoot(m_root.string());
    }

    std::filesystem::path m_product;
};

TEST_F(DeployedDeviceTest, TheDeviceProgramFindsTheDeployedHostsAndSettings) {
    Product("hosts.cfg", "[OID=1]\r\nHost=127.0.0.1\r\nDescription=Dock\r\nPort=1000\r\n"
                         "[OID=2]\r\nHost=127.0.0.2\r\nDescription=Yard\r\nPort=1001\r\n");
    Product("Ravelcore.cfg", "Autodiscovery=0\r\n");
    Deploy();
    // The installation's "Hosts.cfg" was replaced, not doubled.
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_root / "Program Files" / "Orvade Client"))
        files += e.path().filename().string().size() == 9 &&
                 strcasecmp(e.path().filename().c_str(), "hosts.cfg") == 0;
    EXPECT_EQ(files, 1u);
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        EXPECT_TRUE(WaitFor([] { return ListItems().size() == 3; }));
        EXPECT_EQ(ListItems(), (std::vector<std::u16string>{u"Add New", u"Dock", u"Yard"}));
    });
    EXPECT_EQ(m_code, 0);

    // New settings deployed: the device connects to its start-up host at
    // once and ends after the session.
    ScriptedHost host;
    Product("Ravelcore.cfg", "Autodiscovery=0\r\nAutoLaunchAddress=127.0.0.1\r\nAutoLaunchPort=" +
                                 std::to_string(host.Port()) + "\r\nExitAfterSession=1\r\n");
    Deploy();
    Run([&] {
        ASSERT_TRUE(host.Accept());
        ASSERT_TRUE(host.Send(Frame0("A\xFDhello")));
        EXPECT_EQ(host.ReadPacket(), "A\xFDhello");
        ASSERT_TRUE(host.Send(Frame0("9\xFD")));
        EXPECT_TRUE(host.WaitClosed());
        EXPECT_TRUE(WaitFor([] { return MainWindow() == 0; }));
    });
    EXPECT_EQ(m_code, 0);
    EXPECT_EQ(host.Connections(), 1);
}

}  // namespace
