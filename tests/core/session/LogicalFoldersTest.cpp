#include <gtest/gtest.h>

#include <string>

#include "core/session/LogicalFolders.h"
#include "platform/Text.h"

namespace {

class LogicalFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLogicalFolders();
        RegisterFolder(u"OVC", {}, u"\\Program Files\\Orvade");
        RegisterFolder(u"SYSTEM", {}, u"\\Windows");
        RegisterFolder(u"TEMP", {}, u"\\Temp");
    }
    void TearDown() override { ResetLogicalFolders(); }

    static std::u16string Resolve(std::u16string name, std::u16string_view defaultFolder) {
        std::u16string dir;
        BuildFolderPath(dir, name, defaultFolder);
        return dir + u"|" + name;
    }
};

TEST_F(LogicalFoldersTest, LookupByExtensionThenNameCaseInsensitive) {
    EXPECT_EQ(FindFolder({}, u".BAR"), u"BARCODES");
    EXPECT_EQ(FindFolder({}, u".qms"), u"SCREENS");
    EXPECT_EQ(FindFolder({}, u".wav"), u"TONES");
    EXPECT_EQ(FindFolder(u"data", {}), u"DATA");
    EXPECT_EQ(FindFolder(u"systemdialogs", {}), u"System\\Dialogs");
    // An extension given is the only key: the name is not tried after it.
    EXPECT_FALSE(FindFolder(u"DATA", u".txt"));
    EXPECT_FALSE(FindFolder({}, {}));
    EXPECT_FALSE(FindFolder(u"NOSUCH", {}));
}

TEST_F(LogicalFoldersTest, WalkStopsAtFirstFolderWithoutPath) {
    // APP has no path yet: nothing after it is found, although set.
    EXPECT_EQ(FindFolder(u"OVC", {}), u"\\Program Files\\Orvade");
    EXPECT_FALSE(FindFolder(u"APP", {}));
    EXPECT_FALSE(FindFolder(u"TEMP", {}));
    EXPECT_FALSE(FindFolder(u"IMAGES", {}));
    ASSERT_EQ(RegisterFolder(u"app", {}, u"\\App\\host1"), 1);
    EXPECT_EQ(FindFolder(u"APP", {}), u"\\App\\host1");
    EXPECT_EQ(FindFolder(u"TEMP", {}), u"\\Temp");
    EXPECT_EQ(FindFolder(u"IMAGES", {}), u"Images");
    // FLASH folders are registered only by name and never found.
    EXPECT_FALSE(FindFolder(u"FLASH1", {}));
}

TEST_F(LogicalFoldersTest, RegisterFolderResults) {
    EXPECT_EQ(RegisterFolder(u"NOSUCH", {}, u"x"), 0);
    EXPECT_EQ(RegisterFolder(u"DATA", {}, nullptr), 0);
    EXPECT_EQ(RegisterFolder({}, u".none", u"x"), 0);
    // By extension: the second SCREENS record only.
    EXPECT_EQ(RegisterFolder({}, u".QMS", u"Forms"), 1);
    EXPECT_EQ(FindFolder({}, u".qms"), u"Forms");
    EXPECT_EQ(FindFolder(u"SCREENS", {}), u"SCREENS");
    // The walk of a registration reaches the FLASH records.
    EXPECT_EQ(RegisterFolder(u"FLASH10", {}, u"\\Flash"), 1);
    // Paths longer than the old fixed buffers are kept whole.
    std::u16string longPath(400, u'p');
    EXPECT_EQ(RegisterFolder(u"DATA", {}, longPath.c_str()), 1);
    EXPECT_EQ(FindFolder(u"DATA", {}), longPath);
    ResetLogicalFolders();
    EXPECT_EQ(FindFolder(u"DATA", {}), u"DATA");
    EXPECT_EQ(FindFolder({}, u".qms"), u"SCREENS");
}

TEST_F(LogicalFoldersTest, BuildFolderPathForms) {
    RegisterFolder(u"APP", {}, u"\\App\\h");
    struct Case {
        const char16_t* name;
        const char16_t* defaultFolder;
        const char16_t* expected;  // directory|name
    } cases[] = {
        {u"report.txt", u"DATA", u"\\App\\h\\DATA|report.txt"},
        {u"items.bar", u"DATA", u"\\App\\h\\BARCODES|items.bar"},
        {u"items.BAR", u"SCREENS", u"\\App\\h\\BARCODES|items.BAR"},
        {u"beep.wav", u"DATA", u"\\App\\h\\TONES|beep.wav"},
        {u"noext", u"DATA", u"\\App\\h\\DATA|noext"},
        {u"noext", u"", u"\\App\\h\\|noext"},
        {u"a.b.mnu", u"DATA", u"\\App\\h\\MENUS|a.b.mnu"},
        {u"pic.jpg", u"IMAGES", u"\\App\\h\\Images|pic.jpg"},
        {u"%DATA%\\in\\a.txt", u"DATA", u"\\Program Files\\Orvade\\DATA|in\\a.txt"},
        {u"%screens%\\a.scr", u"DATA", u"\\Program Files\\Orvade\\SCREENS|a.scr"},
        {u"%NOSUCH%\\a.txt", u"DATA", u"\\Program Files\\Orvade\\|a.txt"},
        {u"\\Temp\\a.txt", u"DATA", u"|\\Temp\\a.txt"},
        {u"sub\\a.txt", u"DATA", u"|sub\\a.txt"},
        {u"50%\\a.txt", u"DATA", u"|50%\\a.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(Resolve(c.name, c.defaultFolder), c.expected) << plat::text::WideToUtf8(c.name);
}

TEST_F(LogicalFoldersTest, BeforeAppFolderIsSet) {
    // Only a backslash stands where the APP path would be; folders after APP
    // in the table are not found.
    EXPECT_EQ(Resolve(u"x.txt", u"TEMP"), u"\\|x.txt");
    EXPECT_EQ(Resolve(u"x.txt", u"DATA"), u"\\DATA|x.txt");
    EXPECT_EQ(Resolve(u"items.bar", u"TEMP"), u"\\BARCODES|items.bar");
}

TEST_F(LogicalFoldersTest, PercentFormFitRule) {
    // directory + folder path + 1 must stay within 260 characters.
    std::u16string ovc = u"\\" + std::u16string(253, u'o');  // directory "\ooo...\" = 255 characters
    RegisterFolder(u"OVC", {}, ovc.c_str());
    EXPECT_EQ(Resolve(u"%DATA%\\a", u""), ovc + u"\\DATA|a");  // 255 + 4 + 1 = 260
    EXPECT_EQ(Resolve(u"%BARCODES%\\a", u""), ovc + u"\\|a");  // 255 + 8 + 1 > 260
}

}  // namespace
