// A device root with a fake adapter description ($ORVADE_FAKE_ADAPTERS) and
// a library of the build copied into it and loaded from there.
#pragma once

#include <cstdlib>
#include <string>

#include "platform/Library.h"
#include "platform/Ndis.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "tests/core/support/DeviceRoot.h"

namespace adaptertest {

// eth0: a wired adapter; wlan0: a radio, associated.
constexpr char kTwoAdapters[] =
    "[eth0]\nMAC=00:11:22:33:44:55\nConnected=1\nSpeed=1000000\n"
    "[wlan0]\nMAC=02:aa:bb:cc:dd:ee\nWireless=1\nConnected=1\nSSID=Warehouse\nBSSID=00:0b:86:12:34:56\n"
    "RSSI=-45\nMode=1\n";

class AdapterTest : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        Describe(kTwoAdapters);
        setenv("ORVADE_FAKE_ADAPTERS", (root_ / "adapters.txt").c_str(), 1);
    }
    void TearDown() override {
        for (auto it = held_.rbegin(); it != held_.rend(); ++it) FreeLibrary(*it);
        unsetenv("ORVADE_FAKE_ADAPTERS");
        DeviceRootTest::TearDown();
    }
    void Describe(const std::string& text) { Put("\\adapters.txt", text); }

    // Copies a built library to a device path and loads it from there.
    HMODULE Install(const std::string& built, const std::string& devicePath) {
        std::filesystem::create_directories(Host(devicePath).parent_path());
        std::filesystem::copy_file(built, Host(devicePath));
        HMODULE module = LoadLibrary(plat::text::Utf8ToWide(devicePath));
        EXPECT_NE(module, nullptr) << devicePath;
        if (module) held_.push_back(module);
        return module;
    }
    static void SetDisplayName(const char16_t* adapter, const char16_t* name) {
        ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, (std::u16string(u"Comm\\") + adapter).c_str(),
                                              u"DisplayName", name));
    }

    std::vector<HMODULE> held_;
};

}  // namespace adaptertest
