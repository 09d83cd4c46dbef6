// Installation packages read and unpacked in process: nothing a package
// holds reaches outside its install folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Installer.h"
#include "Package.h"
#include "platform/DeviceFs.h"
#include "platform/Shortcut.h"
#include "platform/Text.h"
#include "tests/Client/Windows/instavo/PackageWriter.h"
#include "tests/core/support/DeviceRoot.h"

namespace {

using installer::PackageError;
using instavotest::Entry;
using instavotest::Format;

TEST(PackageNames, RelativeNamesAndTheRulesTheyMustKeep) {
    struct Case {
        const char* name;
        PackageError error;
        std::u16string relative;
    };
    const Case cases[] = {
        {"a.dll", PackageError::None, u"a.dll"},
        {"./EXT2/Lectrum.dll", PackageError::None, u"EXT2\\Lectrum.dll"},
        {"EXT2\\Lectrum.dll", PackageError::None, u"EXT2\\Lectrum.dll"},
        {"dir//sub/./f", PackageError::None, u"dir\\sub\\f"},
        {"./", PackageError::None, u""},
        {"caf\xc3\xa9.txt", PackageError::None, u"caf\u00e9.txt"},
        {"/etc/passwd", PackageError::AbsoluteName, u""},
        {"\\Windows\\Registry.db", PackageError::AbsoluteName, u""},
        {"C:\\x.dll", PackageError::AbsoluteName, u""},
        {"c:x.dll", PackageError::AbsoluteName, u""},
        {"..", PackageError::ParentName, u""},
        {"a/../../b", PackageError::ParentName, u""},
        {"a\\..\\b", PackageError::ParentName, u""},
        {"", PackageError::BadName, u""},
        {"bad\xff.txt", PackageError::BadName, u""},
    };
    for (const Case& c : cases) {
        std::u16string relative;
        EXPECT_EQ(installer::RelativeName(c.name, &relative), c.error) << c.name;
        EXPECT_EQ(relative, c.relative) << c.name;
    }
}

class PackageTest : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        // The device root lies inside the workspace, beside a canary outside it.
        work_ = root_.parent_path() / (root_.filename().string() + "-work");
        std::filesystem::create_directories(work_ / "outside");
        plat::fs::SetDeviceRoot((root_ / "device").string());
        std::filesystem::create_directories(root_ / "device");
    }
    void TearDown() override {
        std::filesystem::remove_all(work_);
        DeviceRootTest::TearDown();
    }
    std::string Package(const std::vector<Entry>& entries, Format format = Format::Tar) {
        const std::string path = (work_ / (format == Format::Zip ? "p.zip" : "p.tar")).string();
        EXPECT_TRUE(instavotest::WritePackage(path, entries, format));
        return path;
    }
    // Every file under the device root, as machine paths relative to it.
    std::vector<std::string> DeviceFiles() const {
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::recursive_directory_iterator(root_ / "device"))
            if (!e.is_directory()) files.push_back(std::filesystem::relative(e.path(), root_ / "device").string());
        std::sort(files.begin(), files.end());
        return files;
    }
    std::filesystem::path work_;
};

TEST_F(PackageTest, APackageThatBreaksARuleIsRefusedBeforeAnythingIsWritten) {
    struct Case {
        const char* what;
        Entry bad;
        PackageError error;
        Format format = Format::Tar;
    };
    const std::string outside = (work_ / "outside" / "x").string();
    const Case cases[] = {
        {"absolute", Entry{outside, "owned"}, PackageError::AbsoluteName},
        {"parent", Entry{"../../outside/x", "owned"}, PackageError::ParentName},
        {"parent inside", Entry{"sub/../../x", "owned"}, PackageError::ParentName},
        {"symbolic link", Entry{"EXT2", "", AE_IFLNK, 0777, "../../outside"}, PackageError::Link},
        {"hard link", Entry{"h", "", AE_IFREG, 0644, "", "/etc/passwd"}, PackageError::Link},
        {"pipe", Entry{"fifo", "", AE_IFIFO}, PackageError::NotAFile},
        {"device", Entry{"dev", "", AE_IFCHR}, PackageError::NotAFile},
        {"absolute in a zip", Entry{"/x", "owned"}, PackageError::AbsoluteName, Format::Zip},
        {"parent in a zip", Entry{"..\\x", "owned"}, PackageError::ParentName, Format::Zip},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Good entries first: they must not be written either.
        const std::string path =
            Package({Entry{"good.dll", "good"}, Entry{"EXT2/", "", AE_IFDIR, 0755}, c.bad, Entry{"late.txt", "x"}}, c.format);
        const installer::PackageContents contents = installer::ReadPackage(path);
        EXPECT_EQ(contents.error, c.error);
        EXPECT_TRUE(contents.entries.empty());
        const installer::Outcome outcome = installer::Install(path, u"\\Application\\Client", u"");
        EXPECT_FALSE(outcome.ok);
        EXPECT_NE(outcome.message.find(installer::ErrorText(c.error)), std::string::npos) << outcome.message;
        EXPECT_TRUE(DeviceFiles().empty());
        EXPECT_FALSE(std::filesystem::exists(root_ / "device" / "Application"));
        EXPECT_TRUE(std::filesystem::is_empty(work_ / "outside"));
    }
}

TEST_F(PackageTest, NoLinkInTheDeviceRootIsFollowedWhileUnpacking) {
    // A link the device root already holds where the package puts a folder and a file.
    std::filesystem::create_directories(root_ / "device" / "Application" / "Client");
    std::filesystem::create_directory_symlink(work_ / "outside", root_ / "device" / "Application" / "Client" / "EXT2");
    std::filesystem::create_symlink(work_ / "outside" / "x", root_ / "device" / "Application" / "Client" / "top.dll");
    const std::string path = Package({Entry{"EXT2/Lectrum.dll", "lib"}, Entry{"top.dll", "top"}, Entry{"ok.txt", "ok"}});
    const installer::Outcome outcome = installer::Install(path, u"\\Application\\Client", u"");
    EXPECT_FALSE(outcome.ok);
    EXPECT_GE(outcome.failedFiles, 1);
    EXPECT_TRUE(std::filesystem::is_empty(work_ / "outside"));
    // The file in place of the link is a file of its own now; the rest is there.
    EXPECT_FALSE(std::filesystem::is_symlink(root_ / "device" / "Application" / "Client" / "top.dll"));
    EXPECT_EQ(Get("\\device\\Application\\Client\\ok.txt"), "ok");
}

TEST_F(PackageTest, InstallsFilesFoldersAndProgramsAndRemovesOnlyThem) {
    const std::string path = Package({Entry{"./", "", AE_IFDIR, 0755}, Entry{"Corvel.exe", "#!/bin/sh\n", AE_IFREG, 0755},
                                      Entry{"EXT2/Lectrum.dll", "lib", AE_IFREG, 0755}, Entry{"fonts/", "", AE_IFDIR, 0755},
                                      Entry{"fonts/a.fnt", "font"}, Entry{"Quillmar.kbb", "keys"}});
    const installer::PackageContents contents = installer::ReadPackage(path);
    ASSERT_EQ(contents.error, PackageError::None);
    EXPECT_EQ(contents.entries.size(), 5u);  // "./" is the folder itself

    const installer::Outcome outcome = installer::Install(path, u"\\Application\\Client", u"");
    ASSERT_TRUE(outcome.ok) << outcome.message;
    const auto folder = root_ / "device" / "Application" / "Client";
    EXPECT_EQ(Get("\\device\\Application\\Client\\EXT2\\Lectrum.dll"), "lib");
    EXPECT_EQ(Get("\\device\\Application\\Client\\fonts\\a.fnt"), "font");
    const auto exec = std::filesystem::perms::owner_exec;
    EXPECT_NE(std::filesystem::status(folder / "Corvel.exe").permissions() & exec, std::filesystem::perms::none);
    EXPECT_EQ(std::filesystem::status(folder / "Quillmar.kbb").permissions() & exec, std::filesystem::perms::none);

    // A file of the user's beside them stays, and so does its folder.
    Put("\\device\\Application\\Client\\Hosts.cfg", "[OID=0]\n");
    ASSERT_TRUE(installer::Uninstall(u"\\Application\\Client", u"").ok);
    EXPECT_EQ(DeviceFiles(), std::vector<std::string>{"Application/Client/Hosts.cfg"});
    EXPECT_FALSE(std::filesystem::exists(folder / "EXT2"));
    EXPECT_FALSE(installer::Uninstall(u"\\Application\\Client", u"").ok);  // nothing installed now
}

// The shortcuts that start a program of the removed folder go with it;
// others stay, also one naming a folder that only begins alike.
TEST_F(PackageTest, UninstallingRemovesTheShortcutsToItsProgramsOnly) {
    const std::string path = Package({Entry{"Launchwick.exe", "#!/bin/sh\n", AE_IFREG, 0755}});
    ASSERT_TRUE(installer::Install(path, u"\\Application\\Client", u"").ok);
    const struct {
        const char16_t* shortcut;
        const char16_t* target;
        bool stays;
    } cases[] = {
        {u"\\Windows\\Start Menu\\Quillmar Orvade.lnk", u"\"\\application\\client\\Launchwick.exe\"", false},
        {u"\\Windows\\Desktop\\Quillmar Orvade.lnk", u"\\Application\\Client\\Launchwick.exe -x", false},
        {u"\\Windows\\Desktop\\Other.lnk", u"\"\\Application\\Client2\\Launchwick.exe\"", true},
        {u"\\Windows\\Start Menu\\Folder.lnk", u"\\Application\\Client", true},
    };
    for (const auto& c : cases) {
        char16_t folder[260];
        ASSERT_TRUE(SHGetSpecialFolderPath(0, folder, CSIDL_STARTMENU, TRUE));
        ASSERT_TRUE(SHGetSpecialFolderPath(0, folder, CSIDL_DESKTOPDIRECTORY, TRUE));
        ASSERT_TRUE(SHCreateShortcut(c.shortcut, c.target));
    }
    ASSERT_TRUE(installer::Uninstall(u"\\Application\\Client", u"").ok);
    for (const auto& c : cases)
        EXPECT_EQ(plat::fs::Exists(c.shortcut), c.stays) << plat::text::WideToUtf8(c.shortcut);
}

TEST_F(PackageTest, ABrokenPackageIsRefused) {
    std::ofstream(work_ / "junk.tar") << "this is not an archive at all";
    const installer::Outcome outcome = installer::Install((work_ / "junk.tar").string(), u"\\Application\\Client", u"");
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(DeviceFiles().empty());
    EXPECT_EQ(installer::ReadPackage((work_ / "missing.tar").string()).error, PackageError::Open);
}

}  // namespace
