// The product configuration file, the product kind and the Installation
// buttons, read from a product folder.
#include <gtest/gtest.h>

#include "deskcommon/Messages.h"
#include "mevrant/Mevrant.h"
#include "mevrant/ProductConfig.h"
#include "tests/desktop/deskcommon/TempDir.h"

namespace {

using mevrant::InstallSettings;
using mevrant::LauncherEntry;

TEST(LauncherLineTest, PairsQuotesBlanksAndTextThatIsNoKeyword) {
    struct Case {
        const char* line;
        bool entry;
        LauncherEntry expected;
    };
    const Case cases[] = {
        // A quoted title with commas, then an unquoted app as the last pair.
        {"title=\"Hosts, ports, names\", app=Zendril.exe\r\n", true, {"Hosts, ports, names", "Zendril.exe", "", ""}},
        {"  TITLE = Settings ,APP= Optarium.exe , CmdLine=\"/S:RADIO\", workdir = tools  \n", true,
         {"Settings", "Optarium.exe", "/S:RADIO", "tools"}},
        {"title=Only a title\n", false, {"Only a title", "", "", ""}},
        {"app=alone.exe", false, {"", "alone.exe", "", ""}},
        // Text that is no keyword is passed over a character at a time.
        {"; run: title=Tool,app=t.exe", true, {"Tool", "t.exe", "", ""}},
        {"application=x, title=T, app=a", true, {"T", "a", "", ""}},
        // The text after a closing quote up to the comma is passed over too.
        {"title=\"Q\" junk, app=b", true, {"Q", "b", "", ""}},
        // An unclosed quote runs to the end of the line.
        {"app=p, title=\"open, end\n", true, {"open, end", "p", "", ""}},
        {"", false, {}},
    };
    for (const Case& c : cases) {
        LauncherEntry entry;
        EXPECT_EQ(mevrant::ParseLauncherLine(c.line, entry), c.entry) << c.line;
        EXPECT_EQ(entry, c.expected) << c.line;
    }
}

TEST(InstallLineTest, KeysArePrefixesAndCommentsQuotesAndBlanksGo) {
    InstallSettings s;
    const char* lines[] = {
        "   InstallDir = \\Program Files\\Orvade Client   // where it goes\n",
        "InstallType=1\r\n",
        "InstallAppArgs = /silent\n",
        "InstallApplication=\"\\Windows\\wceload.exe\"\n",   // a prefix match
        "CABFile=Quillmar.cab\n",
        "cabdir=Packages\n",
        "FlashDrive=\"\\Storage Card\"\n",
        "ConfigDir=Config\n",
        // Lines that set nothing.
        "=InstallDir\n",
        "ConfigDir\n",
        "//InstallDir=\\Nowhere\n",
        "  // CABFile=other.cab\n",
        "FlashDrive=// no drive\n",
        "\"\"=x\n",
        "Unknown=1\n",
    };
    for (const char* line : lines)
        mevrant::ParseInstallLine(line, s);
    EXPECT_EQ(s.installDir, "\\Program Files\\Orvade Client");
    EXPECT_EQ(s.installType, 1);
    EXPECT_EQ(s.installAppArgs, "/silent");
    EXPECT_EQ(s.installApp, "\\Windows\\wceload.exe");
    EXPECT_EQ(s.cabFile, "Quillmar.cab");
    EXPECT_EQ(s.cabDir, "Packages");
    EXPECT_EQ(s.flashDrive, "\\Storage Card");
    EXPECT_EQ(s.configDir, "Config");

    InstallSettings n;
    mevrant::ParseInstallLine("InstallType = 7 // seven", n);
    EXPECT_EQ(n.installType, 7);
    mevrant::ParseInstallLine("InstallType=x", n);
    EXPECT_EQ(n.installType, 0);
    mevrant::ParseInstallLine("InstallType=99999999999", n);
    EXPECT_EQ(n.installType, 2147483647);
}

TEST(ProductFileTest, SectionsMatchWithoutCaseAndUnknownOnesAreSkipped) {
    mevrant::ProductConfig config;
    mevrant::ParseProductConfig("title=Before,app=a.exe\r\n"
                                "[install]\r\n"
                                "InstallDir=\\App\r\n"
                                "title=Not,app=launcher\r\n"
                                "[Notes]\r\n"
                                "title=Ignored,app=n.exe\r\n"
                                "InstallType=1\r\n"
                                "[CONFIG]\r\n"
                                "title=After,app=b.exe\r\n"
                                "title=Third,app=c.exe\r\n"
                                "title=Fourth,app=d.exe\r\n",
                                config);
    ASSERT_EQ(config.launchers.size(), 4u);
    EXPECT_EQ(config.launchers[0].title, "Before");
    EXPECT_EQ(config.launchers[1].title, "After");
    EXPECT_EQ(config.launchers[3].app, "d.exe");
    EXPECT_EQ(config.install.installDir, "\\App");
    EXPECT_EQ(config.install.installType, 0);

    // A physical line of more than 999 bytes is read as several lines.
    mevrant::ProductConfig longLines;
    mevrant::ParseProductConfig(std::string(999, 'x') + "title=Tail,app=t.exe\n", longLines);
    ASSERT_EQ(longLines.launchers.size(), 1u);
    EXPECT_EQ(longLines.launchers[0].title, "Tail");
}

class ProductFolderTest : public deskcommontest::TempDirTest {};

TEST_F(ProductFolderTest, TheFirstProductFileInTableOrderSetsTheKind) {
    mevrant::ProductConfig none = mevrant::ReadProductConfig(m_dir.string());
    EXPECT_FALSE(none.found);
    EXPECT_EQ(none.kind, 0);
    EXPECT_TRUE(none.launchers.empty());

    Put("telnetconfig.INI", "title=T,app=t\n");
    EXPECT_EQ(mevrant::ReadProductConfig(m_dir.string()).kind, 0);
    Put("OrvadeConfig.cfg", "title=Hosts,app=Zendril\n");
    mevrant::ProductConfig client = mevrant::ReadProductConfig(m_dir.string());
    EXPECT_EQ(client.kind, 2);
    EXPECT_EQ(client.launchers[0].title, "Hosts");
    Put("TAVRINECONFIG.CFG", "title=Agent,app=a\n");
    mevrant::ProductConfig agent = mevrant::ReadProductConfig(m_dir.string());
    EXPECT_EQ(agent.kind, 1);
    EXPECT_EQ(agent.launchers[0].title, "Agent");
}

TEST_F(ProductFolderTest, InstallationButtonsFollowTheFolderFiles) {
    using B = mevrant::ButtonStates;
    EXPECT_EQ(mevrant::InstallButtonStates(m_dir.string(), 2), (B{false, false, false}));
    // One configuration file, no "*.ini": Application Only stays disabled.
    Put("HOSTS.CFG", "[OID=1]\r\n");
    EXPECT_EQ(mevrant::InstallButtonStates(m_dir.string(), 2), (B{true, false, true}));
    Put("Product.INI", "");
    EXPECT_EQ(mevrant::InstallButtonStates(m_dir.string(), 2), (B{true, true, true}));
    // The kind decides which files are configuration files.
    EXPECT_EQ(mevrant::InstallButtonStates(m_dir.string(), 1), (B{false, true, false}));
    Put("Nivalorum.alk", "");
    EXPECT_EQ(mevrant::InstallButtonStates(m_dir.string(), 1), (B{true, true, true}));
    EXPECT_EQ(mevrant::MatchingFiles(m_dir.string(), "*.ini"), std::vector<std::string>{"Product.INI"});
}

TEST_F(ProductFolderTest, TheTitleNamesTheProductFolder) {
    mevrant::CMevrant model(m_dir.string() + "/");
    EXPECT_EQ(model.Title(), u"Quillmar Product Configuration - " + deskcommon::FromPath(m_dir.filename()));
    EXPECT_EQ(mevrant::CMevrant("/").Title(), u"Quillmar Product Configuration");
}

TEST_F(ProductFolderTest, LauncherProgramsAreFoundBelowTheirWorkingFolder) {
    Put("OrvadeConfig.cfg",
        "title=Here,app=run.sh,cmdline=first arg\n"
        "title=Below,app=Tools\\Run.SH,workdir=\n"
        "title=Work,app=run.sh,workdir=tools\n"
        "title=Gone,app=missing.exe\n");
    std::filesystem::create_directories(m_dir / "tools");
    Put("run.sh", "#!/bin/sh\necho \"$1|$PWD\" > launched.txt\n");
    Put("tools/run.sh", "#!/bin/sh\necho \"tools|$PWD\" > launched.txt\n");
    std::filesystem::permissions(Path("run.sh"), std::filesystem::perms::owner_all);
    std::filesystem::permissions(Path("tools/run.sh"), std::filesystem::perms::owner_all);
    mevrant::CMevrant model(m_dir.string());
    model.Load();
    const auto& l = model.Config().launchers;
    ASSERT_EQ(l.size(), 4u);
    EXPECT_TRUE(model.ProgramExists(l[0]));
    EXPECT_TRUE(model.ProgramExists(l[1]));   // found whatever the case of its name
    EXPECT_TRUE(model.ProgramExists(l[2]));
    EXPECT_FALSE(model.ProgramExists(l[3]));

    ASSERT_TRUE(model.Launch(0));   // waited for
    EXPECT_EQ(Get("launched.txt"), "first arg|" + m_dir.string() + "\n");
    ASSERT_TRUE(model.Launch(2));
    EXPECT_EQ(Get("tools/launched.txt"), "tools|" + (m_dir / "tools").string() + "\n");
    EXPECT_FALSE(model.Launch(3));
}

TEST_F(ProductFolderTest, TheAboutTextComesFromTheReleaseNotes) {
    EXPECT_EQ(mevrant::ReleaseNotes(m_dir.string()), "");
    EXPECT_EQ(mevrant::AboutText(m_dir.string()), "");
    Put("release.TXT", "Release 5.4\r\n\r\nBuild 1\r\n\r\n\r\nLine six\r\nLine seven\r\n");
    EXPECT_EQ(mevrant::ReleaseNotes(m_dir.string()), Path("release.TXT"));
    // Three non-empty lines among the first six.
    EXPECT_EQ(mevrant::AboutText(m_dir.string()), "Release 5.4\r\nBuild 1\r\nLine six\r\n");
    // The device's notes win.
    Put("CE-Release.txt", "CE 1\nCE 2\nCE 3\nCE 4\n");
    EXPECT_EQ(mevrant::AboutText(m_dir.string()), "CE 1\r\nCE 2\r\nCE 3\r\n");
    Put("TERMTYPE.DAT", "VT-220\nibm-5555\n\nIBM-5555 after the empty line\n");
    EXPECT_EQ(mevrant::AboutText(m_dir.string()), "CE 1\r\nCE 2\r\nCE 3\r\n\r\nNon-Language Version");
    Put("TERMTYPE.DAT", "VT-220\nIBM-5555-2\n");
    EXPECT_EQ(mevrant::AboutText(m_dir.string()), "CE 1\r\nCE 2\r\nCE 3\r\n\r\nLanguage Version");
}

TEST(ProgressTest, SixtyFourBitArithmeticAndEmptyFilesAreWhole) {
    EXPECT_EQ(mevrant::Progress(0, 0), 100);
    EXPECT_EQ(mevrant::Progress(0, 32000), 0);
    EXPECT_EQ(mevrant::Progress(16000, 32000), 50);
    // 45 MB: written × 100 is past 32 bits.
    EXPECT_EQ(mevrant::Progress(44'000'000, 45'000'000), 97);
    EXPECT_EQ(mevrant::Progress(5'000'000'000ull, 6'000'000'000ull), 83);
    EXPECT_EQ(mevrant::Progress(7, 6), 100);
}

TEST(OptionsTest, TheDeviceRootAndHelp) {
    mevrant::Options o;
    std::string error;
    EXPECT_TRUE(mevrant::ParseOptions({"--device-root", "/tmp/dev"}, o, error));
    EXPECT_EQ(o.deviceRoot, "/tmp/dev");
    EXPECT_TRUE(mevrant::ParseOptions({"--device-root=/d"}, o, error));
    EXPECT_EQ(o.deviceRoot, "/d");
    EXPECT_TRUE(mevrant::ParseOptions({"--help"}, o, error));
    EXPECT_TRUE(o.help);
    EXPECT_FALSE(mevrant::ParseOptions({"--device-root"}, o, error));
    EXPECT_EQ(error, "--device-root needs a folder");
    EXPECT_FALSE(mevrant::ParseOptions({"product"}, o, error));
    EXPECT_EQ(error, "unknown argument: product");
}

}  // namespace
