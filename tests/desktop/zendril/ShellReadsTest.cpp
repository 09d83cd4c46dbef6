// What Zendril writes is what the device shell reads.
#include <gtest/gtest.h>

#include "platform/Text.h"
#include "shell/HostList.h"
#include "tests/Client/Windows/shell/ShellFixture.h"
#include "zendril/HostsDocument.h"

namespace {

class ShellReadsZendrilTest : public shelltest::ShellTest {};

TEST_F(ShellReadsZendrilTest, TheShellReadsTheHostsZendrilWrites) {
    // The lower-case name Zendril suggests is found by the device's lookup.
    const std::string file = ProgramFile("hosts.cfg");
    Put(file, "; prepared on the desktop\r\n");
    zendril::CHostsDocument doc;
    ASSERT_TRUE(doc.Load(Host(file).string()));
    const unsigned first = doc.Hosts()[doc.NewHost()].oid;
    ASSERT_TRUE(doc.StoreHost(first, {"10.0.0.5", "Yard \xe9", "2001"}));
    doc.NewHost();
    ASSERT_TRUE(doc.StoreHost(2, {"dock", "Dock", "1000"}));
    ASSERT_EQ(doc.CheckHosts(), -1);
    std::u16string error;
    ASSERT_TRUE(doc.Save(error));
    EXPECT_NE(Get(file).find("Host=10.0.0.5\r\n"), std::string::npos);

    CHostListFile hosts;
    std::vector<CHostEntry> records;
    ASSERT_TRUE(hosts.ReadAll(records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].GetOID(), 1);
    EXPECT_EQ(std::u16string(records[0].GetHost()), u"10.0.0.5");
    EXPECT_EQ(std::u16string(records[0].GetDescription()), u"Yard \u00e9");
    EXPECT_EQ(records[0].GetPort(), 2001);
    EXPECT_EQ(records[1].GetOID(), 2);
    EXPECT_EQ(std::u16string(records[1].GetHost()), u"dock");
}

}  // namespace
