#include "platform/Shortcut.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/DeviceFs.h"
#include "tests/core/support/DeviceRoot.h"

namespace {

using ShortcutTest = DeviceRootTest;

TEST_F(ShortcutTest, SpecialFoldersAreMadeWhenAskedFor) {
    char16_t path[260] = {};
    EXPECT_FALSE(SHGetSpecialFolderPath(0, path, CSIDL_STARTMENU, FALSE));
    ASSERT_TRUE(SHGetSpecialFolderPath(0, path, CSIDL_STARTMENU, TRUE));
    EXPECT_EQ(std::u16string(path), u"\\Windows\\Start Menu");
    EXPECT_TRUE(std::filesystem::is_directory(Host("\\Windows\\Start Menu")));
    ASSERT_TRUE(SHGetSpecialFolderPath(0, path, CSIDL_DESKTOPDIRECTORY, TRUE));
    EXPECT_EQ(std::u16string(path), u"\\Windows\\Desktop");
    EXPECT_FALSE(SHGetSpecialFolderPath(0, path, 0x7777, TRUE));
}

TEST_F(ShortcutTest, ShortcutsAreWrittenAndReadBack) {
    ASSERT_TRUE(plat::fs::CreateDirectories(u"\\Windows\\Desktop"));
    ASSERT_TRUE(SHCreateShortcut(u"\\Windows\\Desktop\\a.lnk", u"\"\\Program Files\\x.exe\" -auto"));
    EXPECT_EQ(Get("\\Windows\\Desktop\\a.lnk"), "28#\"\\Program Files\\x.exe\" -auto");
    char16_t target[64] = {};
    ASSERT_TRUE(SHGetShortcutTarget(u"\\Windows\\Desktop\\a.lnk", target, 64));
    EXPECT_EQ(std::u16string(target), u"\"\\Program Files\\x.exe\" -auto");
    EXPECT_FALSE(SHGetShortcutTarget(u"\\Windows\\Desktop\\a.lnk", target, 10));  // too small a buffer

    struct Case {
        const char* bytes;
        bool ok;
    };
    const Case cases[] = {{"5#\\a.exe\r\nmore", true}, {"#\\a.exe", false}, {"\\a.exe", false}, {"x5#\\a.exe", false}};
    for (const Case& c : cases) {
        Put("\\s.lnk", c.bytes);
        EXPECT_EQ(bool(SHGetShortcutTarget(u"\\s.lnk", target, 64)), c.ok) << c.bytes;
    }
    EXPECT_FALSE(SHGetShortcutTarget(u"\\missing.lnk", target, 64));
    Put("\\long.lnk", "5#" + std::string(5000, 'x'));
    EXPECT_FALSE(SHGetShortcutTarget(u"\\long.lnk", target, 64));
}

TEST_F(ShortcutTest, FoldersAndExecuteBitsForInstallation) {
    EXPECT_TRUE(plat::fs::CreateDirectories(u"\\A\\B\\C"));
    EXPECT_TRUE(std::filesystem::is_directory(Host("\\A\\B\\C")));
    EXPECT_FALSE(plat::fs::CreateDirectories(u"A\\B"));
    Put("\\A\\p.exe", "x");
    ASSERT_TRUE(plat::fs::SetExecutable(u"\\A\\p.exe", true));
    EXPECT_NE(std::filesystem::status(Host("\\A\\p.exe")).permissions() & std::filesystem::perms::owner_exec,
              std::filesystem::perms::none);
    // A link is never changed, nor what it points at.
    std::filesystem::create_symlink(Host("\\A\\p.exe"), Host("\\A\\l.exe"));
    EXPECT_FALSE(plat::fs::SetExecutable(u"\\A\\l.exe", false));
    EXPECT_TRUE(plat::fs::SetExecutable(u"\\A\\p.exe", false));
}

}  // namespace
