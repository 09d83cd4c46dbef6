// The adapter query library over its driver under the device manager, with
// the fake adapters of the description.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "AdapterFixture.h"
#include "platform/exports/AdapterQueryExports.h"
#include "tests/core/support/ExportedNames.h"

namespace adaptertest {
namespace {

class PelmoraTest : public AdapterTest {
protected:
    void SetUp() override {
        AdapterTest::SetUp();
        // Where the network extension puts them.
        std::filesystem::create_directories(root_ / "Windows");
        std::filesystem::copy_file(PELMORAD_LIBRARY, root_ / "Windows" / "Pelmorad.dll");
        pelmora_ = Install(PELMORA_LIBRARY, "\\Windows\\Pelmora.dll");
        ASSERT_NE(pelmora_, nullptr);
        fn_.Bind(pelmora_);
    }
    void Initialize() {
        ASSERT_TRUE(fn_.OidInitialize());
        // Registered once a process (the first test's driver serves the
        // others): a second call finds the device open.
        EXPECT_TRUE(fn_.OidInitialize());
    }
    std::vector<uint8_t> Mac(HANDLE adapter) {
        uint8_t mac[6] = {};
        if (!fn_.OidGetMacAddress(adapter, mac)) return {};
        return {mac, mac + 6};
    }

    HMODULE pelmora_ = nullptr;
    struct {
        ORVADE_EXPORT_TABLE(ORVADE_PELMORA_EXPORTS)
    } fn_;
};

const std::vector<uint8_t> kEth0{0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const std::vector<uint8_t> kWlan0{0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0xee};

TEST_F(PelmoraTest, ExportsExactlyItsSet) {
    std::set<std::string> expected;
#define NAME(result, name, params) expected.insert(#name);
    ORVADE_PELMORA_EXPORTS(NAME)
#undef NAME
    EXPECT_EQ(expected.size(), 33u);
    EXPECT_EQ(ExportedNames(PELMORA_LIBRARY), expected);
}

TEST_F(PelmoraTest, AnAdaptersValuesComeFromTheDriver) {
    SetDisplayName(u"wlan0", u"Radio");
    Initialize();
    BYTE list[2048] = {};
    DWORD n = 0;
    ASSERT_TRUE(fn_.OidEnumerateAdapters(list, sizeof list, &n));
    EXPECT_EQ(list[0], 2);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(list + 4)), u"wlan0");

    HANDLE wlan = fn_.OidOpenAdapter(u"wlan0");
    ASSERT_NE(wlan, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Mac(wlan), kWlan0);
    BYTE ssid[36] = {};
    ASSERT_TRUE(fn_.OidGetSSID(wlan, ssid));
    EXPECT_EQ(ssid[0], 9);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ssid + 4)), "Warehouse");
    BYTE bssid[6];
    ASSERT_TRUE(fn_.OidGetBSSID(wlan, bssid));
    EXPECT_EQ(bssid[5], 0x56);
    int32_t rssi = 0;
    ASSERT_TRUE(fn_.OidGetRSSI(wlan, &rssi));
    EXPECT_EQ(rssi, -45);
    DWORD value = 7;
    ASSERT_TRUE(fn_.OidGetInfrastructureMode(wlan, &value));
    EXPECT_EQ(value, 1u);
    ASSERT_TRUE(fn_.OidGetPhysicalMedium(wlan, &value));
    EXPECT_EQ(value, NdisPhysicalMediumWirelessLan);
    EXPECT_TRUE(fn_.OidAdapterAssociated(wlan));
    EXPECT_EQ(fn_.OidGetWepStatus(wlan), 3u);  // not answered
    char16_t text[64] = {};
    ASSERT_TRUE(fn_.OidGetFriendlyName(wlan, text, sizeof text, &n));
    EXPECT_EQ(std::u16string(text), u"Radio");
    HKEY root = nullptr;
    ASSERT_TRUE(fn_.OidGetAdapterTcpipRegistryPath(wlan, &root, text, sizeof text, &n));
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(std::u16string(text), u"Comm\\wlan0\\Parms\\Tcpip");
    ASSERT_TRUE(fn_.OidGetDriverRevisionStr(text, sizeof text, &n));
    EXPECT_EQ(std::u16string(text), u"PELMORAD.DLL Revision 1.00");
    EXPECT_FALSE(fn_.OidRebindAdapter(wlan));  // no NDIS device here

    // A second handle on another adapter: each binds again before it asks.
    HANDLE eth = fn_.OidOpenAdapter(u"eth0");
    ASSERT_NE(eth, INVALID_HANDLE_VALUE);
    fn_.OidCloseAdapter(wlan);
    EXPECT_EQ(Mac(eth), kEth0);
    ASSERT_TRUE(fn_.OidGetPhysicalMedium(eth, &value));
    EXPECT_EQ(value, NdisPhysicalMediumUnspecified);
    EXPECT_FALSE(fn_.OidGetSSID(eth, ssid));
    fn_.OidCloseAdapter(eth);
}

TEST_F(PelmoraTest, ValuesAreCappedAtFifteenBytesAndBadHandlesNeverReachTheDriver) {
    Initialize();
    HANDLE wlan = fn_.OidOpenAdapter(u"wlan0");
    ASSERT_NE(wlan, INVALID_HANDLE_VALUE);
    BYTE value[20];
    std::memset(value, 0xEE, sizeof value);
    ASSERT_TRUE(fn_.OidGetValue(wlan, OID_GEN_PHYSICAL_MEDIUM, value, 4));
    EXPECT_EQ(std::vector<uint8_t>(value, value + 4), (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(value[4], 0xEE);
    std::memset(value, 0xEE, sizeof value);
    ASSERT_TRUE(fn_.OidGetValue(wlan, 0x01010101, value, 20));
    EXPECT_EQ(std::vector<uint8_t>(value, value + 6), kWlan0);
    EXPECT_EQ(value[19], 0);  // zeroed, never filled past 15
    EXPECT_FALSE(fn_.OidGetValue(wlan, 0x01010101, nullptr, 4));

    char16_t revision[27];
    DWORD needed = 0;
    EXPECT_FALSE(fn_.OidGetDllRevisionStr(revision, 26, &needed));
    EXPECT_EQ(needed, 27u);
    ASSERT_TRUE(fn_.OidGetDllRevisionStr(revision, 27, &needed));
    EXPECT_EQ(std::u16string(revision), u"PELMORA.DLL Revision 1.20");

    // A record whose magic was overwritten is refused.
    DWORD* magic = reinterpret_cast<DWORD*>(static_cast<BYTE*>(wlan) + sizeof(HANDLE));
    const DWORD kept = *magic;
    *magic = 0;
    EXPECT_TRUE(Mac(wlan).empty());
    EXPECT_EQ(fn_.OidGetWepStatus(wlan), 3u);
    *magic = kept;
    fn_.OidCloseAdapter(wlan);

    // Names that do not fit a handle are refused, never cut down.
    EXPECT_EQ(fn_.OidOpenAdapter(std::u16string(128, u'w').c_str()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(fn_.OidOpenAdapter(nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(fn_.OidOpenAdapter(u"nosuch"), INVALID_HANDLE_VALUE);
}

TEST_F(PelmoraTest, TheDeviceManagerRegistersANameOnce) {
    Initialize();
    EXPECT_EQ(RegisterDevice(u"TNO", 1, u"PELMORAD.DLL", 1), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_IN_USE);
    EXPECT_EQ(CreateFile(u"TNO2:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_DEV_NOT_EXIST);
    EXPECT_EQ(RegisterDevice(u"XYZ", 1, u"NoSuchDriver.dll", 0), nullptr);
    EXPECT_FALSE(DeviceIoControl(reinterpret_cast<HANDLE>(uintptr_t{12345}), 0, nullptr, 0, nullptr, 0, nullptr,
                                 nullptr));
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(uintptr_t{12345})));
}

// Each process asks for its own adapter over and over, at the same time,
// and always hears about its own; so do two threads of one process on one adapter.
TEST_F(PelmoraTest, TwoProcessesAskingAtOnceGetTheirOwnAnswers) {
    Initialize();
    auto child = [&](const char16_t* name, const std::vector<uint8_t>& mac) -> pid_t {
        const pid_t pid = fork();
        if (pid != 0) return pid;
        HANDLE adapter = fn_.OidOpenAdapter(name);
        int wrong = adapter == INVALID_HANDLE_VALUE ? 1 : 0;
        for (int i = 0; i < 300 && !wrong; ++i) wrong = Mac(adapter) != mac;
        _exit(wrong);
    };
    const pid_t a = child(u"eth0", kEth0);
    const pid_t b = child(u"wlan0", kWlan0);
    for (pid_t pid : {a, b}) {
        int status = -1;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

    HANDLE wlan = fn_.OidOpenAdapter(u"wlan0");
    ASSERT_NE(wlan, INVALID_HANDLE_VALUE);
    int wrong = 0;
    std::thread other([&] {
        for (int i = 0; i < 300; ++i) wrong += Mac(wlan) != kWlan0;
    });
    for (int i = 0; i < 300; ++i) wrong += Mac(wlan) != kWlan0;
    other.join();
    EXPECT_EQ(wrong, 0);
    fn_.OidCloseAdapter(wlan);
}

}  // namespace
}  // namespace adaptertest
