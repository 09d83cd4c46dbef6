#include <gtest/gtest.h>

#include "deskcommon/Messages.h"
#include "tests/desktop/deskcommon/TempDir.h"
#include "zendril/HostsDocument.h"

namespace {

using deskcommontest::TempDirTest;
using zendril::CHostsDocument;
using zendril::HostFields;

class HostsDocumentTest : public TempDirTest {
protected:
    CHostsDocument& Open(const std::string& bytes) {
        Put("hosts.cfg", bytes);
        EXPECT_TRUE(doc.Load(Path("hosts.cfg")));
        return doc;
    }
    std::string Saved() {
        std::u16string error;
        EXPECT_TRUE(doc.Save(error));
        return Get("hosts.cfg");
    }
    CHostsDocument doc;
};

const char kTwoHosts[] =
    "; hosts of the yard\r\n"
    "[OID=3]\r\nHost=alpha\r\nDescription=Alpha\r\nPort=1000\r\nColour = red\r\n"
    "\r\n[Other]\r\nkey=value\r\n"
    "[OID=7]\r\nHost=beta\r\nDescription=Beta\r\nPort=2000\r\n"
    "[OID=9]\r\nHost=gamma\r\n";

TEST_F(HostsDocumentTest, ListsHostSectionsWithDescriptionsAndNumbersNewOnesAfterThem) {
    Open(kTwoHosts);
    ASSERT_EQ(doc.Hosts().size(), 2u);
    EXPECT_EQ(doc.Hosts()[0].oid, 3u);
    EXPECT_EQ(doc.Hosts()[0].description, "Alpha");
    EXPECT_EQ(doc.Hosts()[1].oid, 7u);
    EXPECT_EQ(doc.NextOid(), 8u);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.NewHost(), 2u);
    EXPECT_EQ(doc.Hosts()[2].oid, 8u);
    EXPECT_EQ(doc.Hosts()[2].description, "New Host");
    EXPECT_TRUE(doc.IsModified());
    // The section without Description (OID 9) is not listed and comes back as it was.
    EXPECT_EQ(Saved(), std::string(kTwoHosts) +
                           "[OID=8]\r\nHost=\r\nDescription=New Host\r\nType=QUILLMAR\r\nTerm=\r\n"
                           "KeyMap=QUILLMAR\r\nPort=1000\r\n");
}

TEST_F(HostsDocumentTest, ScanSkipsLongSectionNamesAndReadsNumbersUpToTheFirstNonDigit) {
    Open("[" + std::string(120, 'x') + "]\r\nDescription=long\r\n"
         "[OID=12abc]\r\nDescription=Twelve\r\n[ABC=4]\r\nDescription=Four\r\n[OID]\r\nDescription=none\r\n"
         "[OID=2]\r\nDescription=\r\n");
    ASSERT_EQ(doc.Hosts().size(), 3u);
    EXPECT_EQ(doc.Hosts()[0].oid, 12u);
    EXPECT_EQ(doc.Hosts()[1].oid, 4u);
    EXPECT_EQ(doc.Hosts()[2].oid, 2u);  // an empty Description is listed
    EXPECT_EQ(doc.Hosts()[2].description, "");
    EXPECT_EQ(doc.NextOid(), 13u);
}

TEST_F(HostsDocumentTest, NewHostsNeverWrapToNumberZero) {
    Open("[OID=2147483646]\r\nDescription=Almost\r\n");
    EXPECT_EQ(doc.Hosts()[doc.NewHost()].oid, 2147483647u);
    EXPECT_EQ(doc.NewHost(), CHostsDocument::kNoHost);
    // Numbers past the device's signed 32 bits are kept, but none is made:
    // the device would read each of them as 2147483647.
    Open("[OID=4294967294]\r\nDescription=Past\r\n");
    EXPECT_EQ(doc.Hosts()[0].oid, 4294967294u);
    EXPECT_EQ(doc.NewHost(), CHostsDocument::kNoHost);
    // A number beyond 32 bits reads as the largest, as the C library's does.
    Open("[OID=99999999999]\r\nDescription=Huge\r\n");
    EXPECT_EQ(doc.Hosts()[0].oid, 4294967295u);
    EXPECT_EQ(doc.NewHost(), CHostsDocument::kNoHost);
    EXPECT_EQ(doc.Hosts().size(), 1u);
    EXPECT_EQ(Saved(), "[OID=99999999999]\r\nDescription=Huge\r\n");
}

TEST_F(HostsDocumentTest, StoringWritesOnlyChangedKeysInPlaceAndKeepsOtherLines) {
    Open(kTwoHosts);
    HostFields f = doc.GetHost(3);
    EXPECT_EQ(f, (HostFields{"alpha", "Alpha", "1000"}));
    EXPECT_EQ(doc.GetHost(9), (HostFields{"gamma", "", ""}));
    ASSERT_TRUE(doc.StoreHost(3, f));
    EXPECT_FALSE(doc.IsModified());  // nothing changed
    // Missing keys with empty values stay missing.
    ASSERT_TRUE(doc.StoreHost(9, doc.GetHost(9)));
    EXPECT_FALSE(doc.IsModified());
    f.host = "alpha.example";
    f.port = "23";
    ASSERT_TRUE(doc.StoreHost(3, f));
    ASSERT_TRUE(doc.StoreHost(9, {"gamma", "", "5"}));
    EXPECT_TRUE(doc.IsModified());
    std::string expected = kTwoHosts;
    expected.replace(expected.find("Host=alpha"), 10, "Host=alpha.example");
    expected.replace(expected.find("Port=1000"), 9, "Port=23");
    expected += "Port=5\r\n";
    EXPECT_EQ(Saved(), expected);
}

TEST_F(HostsDocumentTest, FieldsBeyondTheirLimitsAreRefused) {
    const struct {
        HostFields fields;
        std::u16string error;
    } cases[] = {
        {{std::string(50, 'h'), std::string(20, 'd'), "12345"}, u""},
        {{std::string(51, 'h'), "", ""}, u"Please enter no more than 50 characters."},
        {{"", std::string(21, 'd'), ""}, u"Please enter no more than 20 characters."},
        {{"", "", "123456"}, u"Please enter no more than 5 characters."},
        // Characters, not bytes: Windows-1252 letters are one each.
        {{"", std::string(20, '\xe9'), ""}, u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CHostsDocument::CheckFields(c.fields), c.error) << c.fields.host << c.fields.description;
}

TEST_F(HostsDocumentTest, DeletingRemovesTheWholeSectionButNeverOidZero) {
    Open("[OID=0]\r\nDescription=Zero\r\n[OID=5]\r\nHost=h\r\nDescription=Five\r\n; note\r\n[OID=6]\r\nHost=x\r\n"
         "Description=Six\r\n");
    EXPECT_FALSE(doc.DeleteHost(0));
    EXPECT_FALSE(doc.DeleteHost(7));
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(doc.DeleteHost(1));
    ASSERT_EQ(doc.Hosts().size(), 2u);
    EXPECT_EQ(doc.Hosts()[1].oid, 6u);
    EXPECT_EQ(Saved(), "[OID=0]\r\nDescription=Zero\r\n[OID=6]\r\nHost=x\r\nDescription=Six\r\n");
    // Deleted numbers are not given again in the same run.
    EXPECT_EQ(doc.Hosts()[doc.NewHost()].oid, 7u);
}

TEST_F(HostsDocumentTest, OkCheckRefusesAnEmptyHostAndNamesUnnamedHostsByTheirAddress) {
    Open("[OID=1]\r\nHost=first\r\nDescription=\r\n[OID=2]\r\nDescription=No host key\r\n"
         "[OID=3]\r\nHost=\r\nDescription=Empty\r\n[OID=4]\r\nHost=fourth\r\nDescription=\r\n");
    EXPECT_EQ(doc.CheckHosts(), 2);
    EXPECT_EQ(doc.Hosts()[0].description, "first");
    EXPECT_EQ(doc.Hosts()[3].description, "");  // not reached
    ASSERT_TRUE(doc.StoreHost(3, {"third", "Empty", ""}));
    EXPECT_EQ(doc.CheckHosts(), -1);  // a section without Host passes
    EXPECT_EQ(doc.Hosts()[3].description, "fourth");
    EXPECT_EQ(Saved(), "[OID=1]\r\nHost=first\r\nDescription=first\r\n[OID=2]\r\nDescription=No host key\r\n"
                       "[OID=3]\r\nHost=third\r\nDescription=Empty\r\n[OID=4]\r\nHost=fourth\r\nDescription=fourth\r\n");
}

TEST_F(HostsDocumentTest, AFailedSaveIsReportedAndKeepsTheEdits) {
    Open(kTwoHosts);
    doc.NewHost();
    // A folder has taken the file's name: nothing can replace it.
    std::filesystem::remove(Path("hosts.cfg"));
    std::filesystem::create_directory(Path("hosts.cfg"));
    std::u16string error;
    EXPECT_FALSE(doc.Save(error));
    EXPECT_EQ(error.rfind(u"Cannot save " + deskcommon::FromPath(Path("hosts.cfg")) + u": ", 0), 0u);
    EXPECT_GT(error.size(), 14 + Path("hosts.cfg").size());
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.Hosts().size(), 3u);
    // Once the way is clear, the same edits are saved.
    std::filesystem::remove(Path("hosts.cfg"));
    EXPECT_NE(Saved().find("[OID=8]"), std::string::npos);
}

TEST_F(HostsDocumentTest, AMissingFileCannotBeOpened) {
    EXPECT_FALSE(doc.Load(Path("hosts.cfg")));
    EXPECT_TRUE(doc.Hosts().empty());
}

TEST(CommandLineInfoTest, TakesTheFileAndAcceptsTheFlags) {
    const struct {
        std::vector<std::string> args;
        std::string file;
        bool cfg;
        std::string sPath;
        bool help = false;
    } cases[] = {
        {{}, "hosts.cfg", false, ""},
        {{"my.cfg"}, "my.cfg", false, ""},
        {{"cfg", "/S:C:\\Temp", "a.cfg"}, "a.cfg", true, "C:\\Temp"},
        {{"-Cfg", "b.cfg", "c.cfg"}, "b.cfg", true, ""},
        {{"CFGX"}, "CFGX", false, ""},
        {{"-x", "/home/u/hosts.cfg", "/cfg"}, "/home/u/hosts.cfg", true, ""},
        {{"--help", "a.cfg"}, "a.cfg", false, "", true},
    };
    for (const auto& c : cases) {
        zendril::CommandLineInfo info;
        info.Parse(c.args);
        EXPECT_EQ(info.file, c.file);
        EXPECT_EQ(info.cfg, c.cfg);
        EXPECT_EQ(info.sPath, c.sPath);
        EXPECT_EQ(info.help, c.help);
    }
}

}  // namespace
