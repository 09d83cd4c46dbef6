// The driver's entry points and requests, called as the device manager calls them.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/exports/AdapterQueryExports.h"
#include "tests/core/support/ExportedNames.h"
#include "tests/pelmora/AdapterFixture.h"

namespace adaptertest {
namespace {

class PelmoradTest : public AdapterTest {
protected:
    void Load() {
        driver_ = Install(PELMORAD_LIBRARY, "\\Windows\\Pelmorad.dll");
        ASSERT_NE(driver_, nullptr);
        init_ = GetProc<TNO_Init_fn>(driver_, "TNO_Init");
        io_ = GetProc<TNO_IOControl_fn>(driver_, "TNO_IOControl");
        ASSERT_EQ(init_(0), TNO_DEVICE_CONTEXT);
    }
    void TearDown() override {
        if (driver_) GetProc<TNO_Deinit_fn>(driver_, "TNO_Deinit")(TNO_DEVICE_CONTEXT);
        AdapterTest::TearDown();
    }
    BOOL Io(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) {
        return io_(TNO_OPEN_CONTEXT, code, static_cast<BYTE*>(const_cast<void*>(in)), inSize, static_cast<BYTE*>(out),
                   outSize, returned);
    }
    BOOL Open(std::u16string_view name) {
        DWORD n = 99;
        const BOOL ok = Io(IOCTL_TNO_OPEN_ADAPTER, name.data(), static_cast<DWORD>(name.size() * 2), nullptr, 0, &n);
        EXPECT_EQ(n, 0u);
        return ok;
    }
    std::vector<uint8_t> Mac() {
        BYTE block[6 + 11] = {};
        const DWORD oid = 0x01010101, length = 6;
        std::memcpy(block, &oid, 4);
        std::memcpy(block + 4, &length, 4);
        DWORD n = 0;
        if (!Io(IOCTL_TNO_QUERY_OID, block, sizeof block, block, sizeof block, &n)) return {};
        return {block + 8, block + 14};
    }
    std::u16string Text(DWORD code) {
        char16_t text[300] = {};
        DWORD n = 0;
        if (!Io(code, nullptr, 0, text, sizeof text, &n)) return u"(failed)";
        EXPECT_EQ(n, (std::char_traits<char16_t>::length(text) + 1) * 2);
        return text;
    }

    HMODULE driver_ = nullptr;
    TNO_Init_fn init_ = nullptr;
    TNO_IOControl_fn io_ = nullptr;
};

TEST_F(PelmoradTest, ExportsExactlyItsEntryPoints) {
    EXPECT_EQ(ExportedNames(PELMORAD_LIBRARY),
              (std::set<std::string>{"DriverEntry", "TNO_Init", "TNO_Deinit", "TNO_Open", "TNO_Close",
                                     "TNO_IOControl", "TNO_PowerUp", "TNO_PowerDown", "TNO_Read", "TNO_Write",
                                     "TNO_Seek"}));
}

TEST_F(PelmoradTest, WithoutAdaptersOpenFailsAndTheListNeedsSixBytes) {
    Describe("");
    Load();
    EXPECT_EQ(GetProc<TNO_Open_fn>(driver_, "TNO_Open")(TNO_DEVICE_CONTEXT, 0, 0), 0xFFFFFFFFu);
    BYTE list[4];
    DWORD n = 0;
    EXPECT_FALSE(Io(IOCTL_TNO_ENUMERATE_ADAPTERS, nullptr, 0, list, sizeof list, &n));
    EXPECT_EQ(n, 6u);
}

TEST_F(PelmoradTest, AProcessKeepsTheAdapterItChoseUntilItClosesIt) {
    SetDisplayName(u"eth0", u"Wired Port");
    Describe(std::string(kTwoAdapters) + "[ASYNCMAC1]\nMAC=00:00:00:00:00:01\n");
    Load();
    EXPECT_EQ(GetProc<TNO_Open_fn>(driver_, "TNO_Open")(TNO_DEVICE_CONTEXT, 0, 0), TNO_OPEN_CONTEXT);
    EXPECT_EQ(GetProc<TNO_Open_fn>(driver_, "TNO_Open")(1, 0, 0), 0xFFFFFFFFu);

    // The newest bound adapter first; the refused one is not there.
    BYTE list[64] = {};
    DWORD n = 0;
    ASSERT_TRUE(Io(IOCTL_TNO_ENUMERATE_ADAPTERS, nullptr, 0, list, sizeof list, &n));
    const char expected[] = "\x02\0\0\0w\0l\0a\0n\0" "0\0\0\0e\0t\0h\0" "0\0\0\0\0\0";
    ASSERT_EQ(n, sizeof expected - 1);
    EXPECT_EQ(std::memcmp(list, expected, n), 0);

    EXPECT_TRUE(Mac().empty());  // no adapter chosen yet
    ASSERT_TRUE(Open(u"eth0"));
    ASSERT_TRUE(Open(u"wlan0"));  // still bound to eth0
    EXPECT_EQ(Mac(), (std::vector<uint8_t>{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));
    EXPECT_EQ(Text(IOCTL_TNO_GET_FRIENDLY_NAME), u"Wired Port");
    EXPECT_EQ(Text(IOCTL_TNO_GET_REGISTRY_PATH), u"Comm\\eth0\\Parms");
    EXPECT_EQ(Text(IOCTL_TNO_GET_TCPIP_REGISTRY_PATH), u"Comm\\eth0\\Parms\\Tcpip");
    EXPECT_EQ(Text(IOCTL_TNO_GET_DRIVER_REVISION), u"PELMORAD.DLL Revision 1.00");
    EXPECT_TRUE(Io(IOCTL_TNO_ADAPTER_ASSOCIATED, nullptr, 0, nullptr, 0, &n));
    ASSERT_TRUE(Io(IOCTL_TNO_CLOSE_ADAPTER, nullptr, 0, nullptr, 0, &n));
    EXPECT_FALSE(Io(IOCTL_TNO_CLOSE_ADAPTER, nullptr, 0, nullptr, 0, &n));
    ASSERT_TRUE(Open(u"wlan0"));
    EXPECT_EQ(Mac(), (std::vector<uint8_t>{0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0xee}));
    EXPECT_EQ(Text(IOCTL_TNO_GET_FRIENDLY_NAME), u"");  // no DisplayName: empty, not a broken length

    // Names are matched exactly and bounded.
    EXPECT_TRUE(Io(IOCTL_TNO_CLOSE_ADAPTER, nullptr, 0, nullptr, 0, &n));
    EXPECT_FALSE(Open(u"ETH0"));
    EXPECT_FALSE(Open(u"ASYNCMAC1"));
    EXPECT_FALSE(Open(std::u16string(300, u'e')));
    EXPECT_FALSE(Open(u""));
}

TEST_F(PelmoradTest, AQueryNeedsEqualSizesAndRoomForItsLengthCountedIn64Bits) {
    Load();
    ASSERT_TRUE(Open(u"wlan0"));
    BYTE block[64] = {};
    const DWORD oid = 0x0D010102;
    std::memcpy(block, &oid, 4);
    DWORD length = 36, n = 99;
    std::memcpy(block + 4, &length, 4);
    EXPECT_FALSE(Io(IOCTL_TNO_QUERY_OID, block, 47, block, 48, &n));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(Io(IOCTL_TNO_QUERY_OID, block, 46, block, 46, &n));  // one byte short of 36 + 11
    length = 0xFFFFFFF8;  // + 11 wraps in 32 bits
    std::memcpy(block + 4, &length, 4);
    EXPECT_FALSE(Io(IOCTL_TNO_QUERY_OID, block, 16, block, 16, &n));
    EXPECT_EQ(n, 0u);

    length = 36;
    std::memcpy(block + 4, &length, 4);
    ASSERT_TRUE(Io(IOCTL_TNO_QUERY_OID, block, 47, block, 47, &n));
    EXPECT_EQ(n, 36u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block + 12), 9), "Warehouse");

    // A failed request leaves its status in the length word.
    const DWORD unknown = 0x0D0101FF;
    std::memcpy(block, &unknown, 4);
    EXPECT_FALSE(Io(IOCTL_TNO_QUERY_OID, block, 47, block, 47, &n));
    DWORD status;
    std::memcpy(&status, block + 4, 4);
    EXPECT_EQ(status, NDIS_STATUS_NOT_SUPPORTED);
}

TEST_F(PelmoradTest, APowerDownIsReportedOnce) {
    Load();
    DWORD n;
    EXPECT_FALSE(Io(IOCTL_TNO_HAS_POWERED_DOWN, nullptr, 0, nullptr, 0, &n));
    GetProc<TNO_PowerDown_fn>(driver_, "TNO_PowerDown")(TNO_DEVICE_CONTEXT);
    EXPECT_TRUE(Io(IOCTL_TNO_HAS_POWERED_DOWN, nullptr, 0, nullptr, 0, &n));
    EXPECT_FALSE(Io(IOCTL_TNO_HAS_POWERED_DOWN, nullptr, 0, nullptr, 0, &n));
    EXPECT_FALSE(Io(IOCTL_TNO_GET_TRACE_BUFFER, nullptr, 0, nullptr, 0, &n));
    EXPECT_FALSE(Io(0x80000034, nullptr, 0, nullptr, 0, &n));
}

}  // namespace
}  // namespace adaptertest
