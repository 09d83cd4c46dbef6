// The adapters of this machine as the NDIS layer answers them: the
// interfaces of /sys/class/net, each question read from its own interface,
// and names that are no interface's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Ndis.h"
#include "platform/Text.h"

namespace {

class NdisTest : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("ORVADE_FAKE_ADAPTERS"); }
};

std::string Attribute(const std::string& name, const char* attribute) {
    std::ifstream in("/sys/class/net/" + name + "/" + attribute);
    std::string line;
    std::getline(in, line);
    return line;
}

TEST_F(NdisTest, TheMachinesInterfacesButLoopbackAreTheAdaptersWithTheirOwnValues) {
    std::vector<std::u16string> expected;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net", error)) {
        const std::string name = entry.path().filename().string();
        if (name != "lo") expected.push_back(plat::text::Utf8ToWide(name));
    }
    std::sort(expected.begin(), expected.end());
    const std::vector<std::u16string> adapters = plat::ndis::Adapters();
    EXPECT_EQ(adapters, expected);

    for (const std::u16string& adapter : adapters) {
        const std::string name = plat::text::WideToUtf8(adapter);
        SCOPED_TRACE(name);
        uint8_t mac[6] = {};
        DWORD done = 0;
        ASSERT_EQ(plat::ndis::Request(false, adapter, OID_802_3_CURRENT_ADDRESS, mac, sizeof mac, &done),
                  NDIS_STATUS_SUCCESS);
        EXPECT_EQ(done, 6u);
        char text[18];
        std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4],
                      mac[5]);
        const std::string address = Attribute(name, "address");
        if (address.size() == 17) {
            EXPECT_EQ(text, address);
        }
        const bool carrier = Attribute(name, "carrier") == "1";
        EXPECT_EQ(plat::ndis::MediaConnected(adapter), carrier);
        uint32_t word = 7;
        ASSERT_EQ(plat::ndis::Request(false, adapter, OID_GEN_MEDIA_CONNECT_STATUS, &word, 4, &done),
                  NDIS_STATUS_SUCCESS);
        EXPECT_EQ(word, carrier ? 0u : 1u);
        ASSERT_EQ(plat::ndis::Request(false, adapter, OID_GEN_PHYSICAL_MEDIUM, &word, 4, &done), NDIS_STATUS_SUCCESS);
        EXPECT_EQ(word, std::filesystem::exists("/sys/class/net/" + name + "/wireless") ? NdisPhysicalMediumWirelessLan
                                                                                         : NdisPhysicalMediumUnspecified);
        // Radio values come only from a description.
        uint8_t bssid[6];
        EXPECT_EQ(plat::ndis::Request(false, adapter, OID_802_11_BSSID, bssid, sizeof bssid, &done),
                  NDIS_STATUS_NOT_SUPPORTED);
    }
}

TEST_F(NdisTest, ANameThatIsNoInterfacesFindsNone) {
    for (const char16_t* name : {u"", u"lo", u".", u"..", u"../../../etc", u"lo/../lo", u"no-such-adapter0"}) {
        SCOPED_TRACE(plat::text::WideToUtf8(name));
        uint8_t mac[6] = {};
        DWORD done = 7;
        EXPECT_EQ(plat::ndis::Request(false, name, OID_802_3_CURRENT_ADDRESS, mac, sizeof mac, &done),
                  NDIS_STATUS_ADAPTER_NOT_FOUND);
        EXPECT_EQ(done, 0u);
        EXPECT_FALSE(plat::ndis::MediaConnected(name));
    }
}

}  // namespace
