// The network extension over the adapter query library and its driver with
// fake adapters, its saved MAC address, its ping of 127.0.0.1, and its
// binding by the core.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "core/extensions/ExtensionModule.h"
#include "core/session/ClientCore.h"
#include "core/session/ExtensionBinding.h"
#include "platform/DeviceManager.h"
#include "platform/Dialog.h"
#include "platform/Message.h"
#include "platform/Resources.h"
#include "platform/Window.h"
#include "platform/exports/NetworkExports.h"
#include "tests/core/support/ExportedNames.h"
#include "tests/pelmora/AdapterFixture.h"

namespace adaptertest {
namespace {

constexpr char kRadio[] =
    "[wlan0]\nMAC=02:aa:bb:cc:dd:ee\nWireless=1\nConnected=1\nSSID=Warehouse\nBSSID=00:0b:86:12:34:56\n"
    "RSSI=-45\nMode=1\n";

class NetworkTest : public AdapterTest {
protected:
    void SetUp() override {
        AdapterTest::SetUp();
        Describe(kRadio);
        plat::fs::SetProgramFolder(u"\\Program Files\\Orvade Client");
        ext2_ = root_ / "Program Files" / "Orvade Client" / "EXT2";
        std::filesystem::create_directories(ext2_);
        // Shipped beside the extension; it copies them into \Windows.
        std::filesystem::copy_file(PELMORA_LIBRARY, ext2_ / "Pelmora.dll");
        std::filesystem::copy_file(PELMORAD_LIBRARY, ext2_ / "Pelmorad.dll");
    }
    void TearDown() override {
        if (network_) GetProc<int (*)()>(network_, "Shutdown")();
        AdapterTest::TearDown();
        plat::fs::SetProgramFolder(u"");
    }
    HMODULE Network() {
        if (!network_) {
            network_ = Install(NETWORK_LIBRARY, "\\Program Files\\Orvade Client\\EXT2\\Network.dll");
            fn_.Bind(network_);
        }
        return network_;
    }
    std::u16string Essid() {
        char16_t* text = nullptr;
        const BOOL ok = fn_.GetAdapterESSID(0, &text);
        std::u16string result = ok ? std::u16string(text) : u"(none)";
        if (!ok && text) {
            EXPECT_EQ(text[0], 0);  // handed out zeroed all the same
        }
        std::free(text);
        return result;
    }

    std::filesystem::path ext2_;
    HMODULE network_ = nullptr;
    struct {
        ORVADE_EXPORT_TABLE(ORVADE_NETWORK_EXPORTS)
    } fn_;
};

TEST_F(NetworkTest, ExportsExactlyItsSet) {
    EXPECT_EQ(ExportedNames(NETWORK_LIBRARY),
              (std::set<std::string>{"GetTelnetExtensionType", "GetExtensionInfo", "Initialize", "Shutdown",
                                     "GetAdapterStatus", "GetAdapterSignalQuality", "GetAdapterSignalStrength",
                                     "GetAdapterESSID", "GetMACAddr", "PingAddress", "GetAboutPropSheet"}));
    Network();
    EXPECT_EQ(GetProc<int (*)()>(network_, "GetTelnetExtensionType")(), EXTENSION_NETWORK);
    ExtensionInfo info;
    ASSERT_TRUE(GetProc<GetExtensionInfo_fn>(network_, "GetExtensionInfo")(&info));
    EXPECT_EQ(std::u16string(info.name), u"Generic");
    EXPECT_EQ(info.version, 1u);
    EXPECT_EQ(info.kind, 0u);
}

TEST_F(NetworkTest, AnAssociatedRadioReportsItsValuesAndItsMacIsSaved) {
    Network();
    EXPECT_TRUE(fn_.Initialize());  // no vendor library takes over
    EXPECT_EQ(fn_.GetAdapterStatus(0), 0);
    EXPECT_EQ(fn_.GetAdapterSignalQuality(0), 90);
    EXPECT_EQ(fn_.GetAdapterSignalStrength(0), -45);
    EXPECT_EQ(Essid(), u"Warehouse");
    EXPECT_TRUE(HostExists("\\Windows\\Pelmora.dll"));
    EXPECT_TRUE(HostExists("\\Windows\\Pelmorad.dll"));

    BYTE mac[6] = {};
    ASSERT_EQ(fn_.GetMACAddr(mac, 6), 0);
    EXPECT_EQ(std::vector<BYTE>(mac, mac + 6), (std::vector<BYTE>{0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0xee}));
    HKEY key;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quillmar\\Network", 0, 0, &key), ERROR_SUCCESS);
    BYTE saved[8];
    DWORD type = 0, size = sizeof saved;
    ASSERT_EQ(RegQueryValueEx(key, u"MacAddress", nullptr, &type, saved, &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(std::memcmp(saved, mac, 6), 0);
    EXPECT_EQ(fn_.GetMACAddr(nullptr, 6), -1);
    EXPECT_EQ(fn_.GetMACAddr(mac, 5), -1);
}

TEST_F(NetworkTest, SignalAssociationAndSsidFollowTheAdapter) {
    Network();
    struct Case {
        const char* change;
        int status, quality, strength;
        std::u16string essid;
    } cases[] = {
        {"RSSI=-30\n", 0, 100, -30, u"Warehouse"},
        {"RSSI=-95\n", 0, 0, -95, u"Warehouse"},
        {"BSSID=ff:ff:ff:ff:ff:ff\n", 1, 90, -45, u"Warehouse"},  // not associated
        {"BSSID=00:00:00:00:00:00\n", 1, 90, -45, u"Warehouse"},
        {"Mode=0\nBSSID=00:00:00:00:00:00\n", 0, 90, -45, u"Warehouse"},  // ad hoc counts as associated
        {"SSID=\n", 0, 90, -45, u"ANY"},
        {"SSID=abcdefghijklmnopqrstuvwxyz012345\nSSIDLength=40\n", 0, 90, -45,
         u"abcdefghijklmnopqrstuvwxyz012345"},  // a length past 32 is cut to 32
    };
    for (const Case& c : cases) {
        Describe(std::string(kRadio) + c.change);
        EXPECT_EQ(fn_.GetAdapterStatus(0), c.status) << c.change;
        EXPECT_EQ(fn_.GetAdapterSignalQuality(0), c.quality) << c.change;
        EXPECT_EQ(fn_.GetAdapterSignalStrength(0), c.strength) << c.change;
        EXPECT_EQ(Essid(), c.essid) << c.change;
    }
}

TEST_F(NetworkTest, WithoutAnAdapterTheSavedMacAddressAnswers) {
    Describe("");
    Network();
    EXPECT_EQ(fn_.GetAdapterStatus(0), 0);  // which the core reads as associated
    EXPECT_EQ(fn_.GetAdapterSignalQuality(0), -1);
    EXPECT_EQ(fn_.GetAdapterSignalStrength(0), 0);
    EXPECT_EQ(Essid(), u"(none)");
    BYTE mac[6];
    EXPECT_EQ(fn_.GetMACAddr(mac, 6), -1);
    const BYTE saved[6] = {1, 2, 3, 4, 5, 6};
    HKEY key;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\Quillmar\\Network", 0, nullptr, 0, 0, nullptr, &key,
                             nullptr),
              ERROR_SUCCESS);
    RegSetValueEx(key, u"MacAddress", 0, REG_BINARY, saved, 6);
    RegCloseKey(key);
    ASSERT_EQ(fn_.GetMACAddr(mac, 6), 0);
    EXPECT_EQ(std::memcmp(mac, saved, 6), 0);
}

TEST_F(NetworkTest, AVendorNetworkLibraryBesideItTakesOverWhenItsInitializeSaysSo) {
    std::filesystem::copy_file(std::filesystem::path(FIXTURE_DIR) / "FakeNetworkRefusing.dll", ext2_ / "Morvex.dll");
    Network();
    EXPECT_TRUE(fn_.Initialize());  // Morvex answers 0: this library serves
    std::filesystem::remove(ext2_ / "Morvex.dll");
    std::filesystem::copy_file(std::filesystem::path(FIXTURE_DIR) / "FakeNetwork.dll", ext2_ / "Faldrin.dll");
    EXPECT_FALSE(fn_.Initialize());  // Faldrin takes over
}

TEST_F(NetworkTest, PingOfLoopbackIsAnswered) {
    Network();
    DWORD roundTrip = 12345;
    const uint32_t loopback = inet_addr("127.0.0.1");
    const int result = fn_.PingAddress(loopback, 2000, &roundTrip, nullptr, 0);
    if (result == -1) GTEST_SKIP() << "no ICMP socket may be made here";
    EXPECT_EQ(result, 1);
    EXPECT_LT(roundTrip, 2000u);
    const std::string data(1000, 'q');  // more than the reply record alone holds
    EXPECT_EQ(fn_.PingAddress(loopback, 2000, nullptr, data.data(), static_cast<WORD>(data.size())), 1);
    const auto shutdown = GetProc<int (*)()>(network_, "Shutdown");
    EXPECT_EQ(shutdown(), 1);
    EXPECT_EQ(shutdown(), -1);
}

TEST_F(NetworkTest, TheAboutPageShowsTheRadio) {
    Network();
    PROPSHEETPAGE page{};
    ASSERT_TRUE(GetProc<GetAboutPropSheet_fn>(network_, "GetAboutPropSheet")(&page));
    EXPECT_EQ(page.dwSize, 40u);
    ASSERT_EQ(page.pszTemplate, 109u);
    const plat::res::Dialog* dialog = plat::res::FindDialog(page.hInstance, 109);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(std::u16string(dialog->caption), u"Network");
    const HWND sheet = CreateWindowEx(0, u"STATIC", u"", WS_POPUP, 0, 0, 300, 300, 0, 0, nullptr, nullptr);
    const HWND window = CreateDialogIndirectParam(nullptr, dialog, sheet, reinterpret_cast<DLGPROC>(page.pfnDlgProc), 0);
    ASSERT_NE(window, 0u);
    auto text = [&] {
        SendMessage(window, WM_TIMER, 1, 0);
        char16_t shown[1024] = {};
        GetDlgItemText(window, 1000, shown, 1024);
        return std::u16string(shown);
    };
    EXPECT_EQ(text(), u"Wireless LAN Adapter Settings:\r\n\r\n"
                      u"  MAC Address = 02:aa:bb:cc:dd:ee\r\n"
                      u"\r\n  Associated\r\n"
                      u"    SSID = Warehouse\r\n"
                      u"    BSSID = 00:0B:86:12:34:56\r\n"
                      u"    Signal Strength = -45 dBm\r\n"
                      u"    Signal Quality = 90%\r\n");
    Describe("");
    EXPECT_EQ(text(), u"Network Adapter Not Detected");
    DestroyWindow(sheet);
}

// Over "UIO1:": the binding whose name lies outside its record is passed
// over, and every query goes out in the record layout the device reads.
TEST_F(NetworkTest, TheUserModeDeviceIsAskedFirst) {
    std::filesystem::create_directories(root_ / "Windows");
    std::filesystem::copy_file(std::filesystem::path(FIXTURE_DIR) / "FakeUio.dll", root_ / "Windows" / "FakeUio.dll");
    HANDLE device = RegisterDevice(u"UIO", 1, u"FakeUio.dll", 0);
    ASSERT_NE(device, nullptr);
    Network();
    EXPECT_EQ(fn_.GetAdapterStatus(0), 0);
    EXPECT_EQ(fn_.GetAdapterSignalStrength(0), -60);
    EXPECT_EQ(fn_.GetAdapterSignalQuality(0), 60);
    EXPECT_EQ(Essid(), u"Dock");
    BYTE mac[6] = {};
    ASSERT_EQ(fn_.GetMACAddr(mac, 6), 0);
    EXPECT_EQ(mac[0], 0x0a);
    EXPECT_FALSE(HostExists("\\Windows\\Pelmora.dll"));  // the query library was not needed
    HMODULE fake = LoadLibrary(u"\\Windows\\FakeUio.dll");
    ASSERT_NE(fake, nullptr);
    EXPECT_FALSE(GetProc<BOOL (*)()>(fake, "FakeAskedAboutStrangers")());
    FreeLibrary(fake);
    GetProc<int (*)()>(network_, "Shutdown")();
    FreeLibrary(network_);
    held_.clear();
    network_ = nullptr;
    DeregisterDevice(device);
}

TEST_F(NetworkTest, ACopyOfTheQueryLibraryReplacesTheOldOneInOneStep) {
    Put("\\Windows\\Pelmora.dll", "old");
    const int old = open(Host("\\Windows\\Pelmora.dll").c_str(), O_RDONLY);
    ASSERT_GE(old, 0);
    Network();
    EXPECT_EQ(fn_.GetAdapterSignalStrength(0), -45);  // the new copy was loaded
    char bytes[4] = {};
    EXPECT_EQ(pread(old, bytes, 3, 0), 3);
    EXPECT_EQ(std::string(bytes), "old");  // the old file was never written over
    close(old);
    EXPECT_EQ(std::filesystem::file_size(Host("\\Windows\\Pelmora.dll")), std::filesystem::file_size(PELMORA_LIBRARY));
}

TEST_F(NetworkTest, TheCoreBindsItAndReadsTheAdapter) {
    std::filesystem::copy_file(NETWORK_LIBRARY, ext2_ / "Network.dll");
    ASSERT_TRUE(CreateModuleContext());
    const HWND window = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    {
        CClientCore core(window);
        CExtensionBinding binding(core);
        binding.LoadExtensions();
        ASSERT_TRUE(binding.HasNetwork());
        EXPECT_EQ(binding.GetAdapterStatus(), 0);
        EXPECT_EQ(binding.GetAdapterSignalStrength(), -45);
        uint8_t mac[6] = {};
        EXPECT_EQ(binding.GetMACAddr(mac), 0);
        EXPECT_EQ(mac[5], 0xee);
        binding.UnloadExtensions();
    }
    DestroyWindow(window);
    DestroyModuleContext();
}

}  // namespace
}  // namespace adaptertest
