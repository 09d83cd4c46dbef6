#include <filesystem>
#include <functional>

#include "DeviceRoot.h"
#include "core/support/FileUtil.h"
#include "platform/DeviceFs.h"
#include "platform/Registry.h"

namespace {

using namespace std::string_literals;

using FileUtilTest = DeviceRootTest;

TEST(FileUtil, JoinPath) {
    EXPECT_EQ(FileUtil::JoinPath(u"\\Temp\\", u"x"), u"\\Temp\\x");
    EXPECT_EQ(FileUtil::JoinPath(u"\\Temp", u"x"), u"\\Temp\\x");
    EXPECT_EQ(FileUtil::JoinPath(u"\\Temp", u"\\y"), u"\\y");
    EXPECT_EQ(FileUtil::JoinPath(u"", u"x"), u"x");
}

TEST_F(FileUtilTest, ReadWriteAppend) {
    EXPECT_EQ(FileUtil::WriteWholeFile(u"\\D", u"f.bin", "hello", 5), -1);  // no folder
    Put("\\D\\keep", "");
    EXPECT_EQ(FileUtil::WriteWholeFile(u"\\D", u"f.bin", "hello", 5), 5);
    EXPECT_EQ(FileUtil::AppendFile(u"\\D", u"f.bin", " world", 6), 6);
    EXPECT_EQ(Get("\\D\\f.bin"), "hello world");

    EXPECT_EQ(FileUtil::ReadWholeFile(u"\\D", u"f.bin", nullptr, 0), 11);
    char buffer[8] = {};
    EXPECT_EQ(FileUtil::ReadWholeFile(u"\\D", u"f.bin", buffer, 0), 11);
    EXPECT_EQ(FileUtil::ReadWholeFile(u"\\D", u"f.bin", buffer, 5), 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(FileUtil::ReadWholeFile(u"\\D", u"none", buffer, 5), -1);

    EXPECT_EQ(FileUtil::AppendFile(u"\\D", u"new.bin", "x", 1), -1);
    EXPECT_FALSE(HostExists("\\D\\new.bin"));

    EXPECT_EQ(FileUtil::WriteWholeFile(u"\\D", u"f.bin", nullptr, 0), 0);
    EXPECT_EQ(Get("\\D\\f.bin"), "");
}

TEST_F(FileUtilTest, DeleteFilesGivesTheLastDeletionsResult) {
    Put("\\D\\a.txt", "");
    Put("\\D\\b.txt", "");
    Put("\\D\\c.dat", "");
    Put("\\D\\dir.txt\\inner", "");
    Put("\\D\\e.txt", "");
    BOOL last = FALSE;
    // The folder dir.txt fails; e.txt, deleted last, does not.
    EXPECT_FALSE(FileUtil::DeleteFiles(u"\\D", u"*.txt", &last));
    EXPECT_TRUE(last);
    EXPECT_FALSE(HostExists("\\D\\a.txt"));
    EXPECT_FALSE(HostExists("\\D\\b.txt"));
    EXPECT_FALSE(HostExists("\\D\\e.txt"));
    EXPECT_TRUE(HostExists("\\D\\c.dat"));
    EXPECT_TRUE(HostExists("\\D\\dir.txt\\inner"));
    // A matching folder stays and counts as a failed deletion.
    Put("\\D\\b.txt", "");
    EXPECT_FALSE(FileUtil::DeleteFiles(u"\\D", u"*.txt", &last));
    EXPECT_FALSE(last);  // dir.txt comes last
    EXPECT_FALSE(HostExists("\\D\\b.txt"));
    EXPECT_TRUE(HostExists("\\D\\dir.txt\\inner"));
    EXPECT_FALSE(FileUtil::DeleteFiles(u"\\D", u"*.none"));  // nothing matched
    EXPECT_TRUE(FileUtil::DeleteFiles(u"\\X", u"\\D\\C.DAT", &last));  // every deletion worked
    EXPECT_TRUE(last);
    EXPECT_FALSE(HostExists("\\D\\c.dat"));
}

TEST_F(FileUtilTest, ColonsArePartOfNames) {
    Put("\\D\\a:x", "");
    Put("\\D\\a:a:x", "");
    EXPECT_TRUE(FileUtil::DeleteFiles(u"\\D", u"a:x"));
    EXPECT_FALSE(HostExists("\\D\\a:x"));
    EXPECT_TRUE(HostExists("\\D\\a:a:x"));
}

TEST_F(FileUtilTest, RemoveTreeNeverFollowsLinks) {
    Put("\\D\\t\\a", "");
    Put("\\D\\t\\s\\b", "");
    Put("\\Outside\\precious", "");
    std::filesystem::create_directory_symlink(Host("\\Outside"), Host("\\D\\t\\s\\link"));
    EXPECT_TRUE(FileUtil::RemoveTree(u"\\D", u"t"));
    EXPECT_FALSE(HostExists("\\D\\t"));
    EXPECT_TRUE(HostExists("\\Outside\\precious"));
    EXPECT_FALSE(FileUtil::RemoveTree(u"\\D", u"t"));
    EXPECT_FALSE(FileUtil::RemoveTree(u"", u""));
    EXPECT_FALSE(FileUtil::RemoveTree(u"\\", u""));
    EXPECT_TRUE(HostExists("\\Outside\\precious"));
}

TEST_F(FileUtilTest, FileInfoInUtc) {
    Put("\\D\\a.txt", "12345");
    Stamp(u"\\D\\a.txt");
    std::string date, time, size;
    EXPECT_TRUE(FileUtil::GetFileInfo(u"\\D", u"a.txt", &date, &time, &size));
    EXPECT_EQ(date + " " + time + " " + size, "20240102 130405 5");
    EXPECT_FALSE(FileUtil::GetFileInfo(u"\\D", u"none", &date, &time, &size));
    EXPECT_FALSE(FileUtil::GetFileInfo(u"\\D", u"a.txt", &date, nullptr, &size));
    EXPECT_FALSE(FileUtil::GetFileInfo(u"", u"\\D", &date, &time, &size));  // a folder
}

TEST_F(FileUtilTest, SetFileTimesReadsLocalTime) {
    Put("\\D\\a.txt", "");
    EXPECT_TRUE(FileUtil::SetFileTimes(u"\\D", u"a.txt", u"20240615", u"080910"));
    std::string date, time, size;
    ASSERT_TRUE(FileUtil::GetFileInfo(u"\\D", u"a.txt", &date, &time, &size));
    EXPECT_EQ(date + " " + time, "20240615 050910");
    EXPECT_TRUE(FileUtil::SetFileTimes(u"\\D", u"a.txt", "20231231"s, "235959"s));
    ASSERT_TRUE(FileUtil::GetFileInfo(u"\\D", u"a.txt", &date, &time, &size));
    EXPECT_EQ(date + " " + time, "20231231 205959");

    EXPECT_FALSE(FileUtil::SetFileTimes(u"\\D", u"a.txt", u"2024061", u"080910"));
    EXPECT_FALSE(FileUtil::SetFileTimes(u"\\D", u"none", u"20240615", u"080910"));
    EXPECT_FALSE(HostExists("\\D\\none"));
}

// What a host may create, replace or delete: code names nowhere, the system
// and start-up folders never, the program folder only below its top level,
// and nothing its installation list names.
TEST_F(FileUtilTest, HostsChangeNeitherCodeNorTheInstallation) {
    const std::u16string program = plat::fs::ProgramFolder();
    Put("\\Program Files\\Orvade Client\\Install.lst", "Ravelcore.dll\r\nKeys\\board.kbb\r\nForms\\\r\n");
    // An installation that went elsewhere, by the registry.
    Put("\\Application\\Client\\Install.lst", "optarium.dat\r\n");
    ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir",
                                          u"\\Application\\Client"));
    const struct {
        std::u16string path;
        bool allowed;
    } cases[] = {
        {u"\\Temp\\note.txt", true},
        {u"\\Temp\\lib.so", false},
        {u"\\Temp\\lib.SO.1", false},
        {u"\\Temp\\lib.so.1.2", false},
        {u"\\Temp\\run.exe. ", false},
        {u"\\Temp\\boot.run", false},
        {u"\\Temp\\x.DLL", false},
        {u"\\Temp\\x.\u017Fo", false},  // the file system finds "x.so" by it
        {u"\\Temp\\x.\u017FO.1", false},
        {u"\\Temp\\ver.1", true},
        {u"\\Temp\\also.txt.so.txt", true},
        {u"\\Windows\\Registry.db", false},
        {u"\\windows\\registry.db-wal", false},
        {u"\\application\\startup\\zz.txt", false},
        {u"\\application", false},  // holds the start-up folder
        {u"\\Program Files", false},
        {program, false},
        {program + u"\\notes.txt", false},  // top level of the program folder
        {program + u"\\Install.lst", false},
        {program + u"\\DATA\\note.txt", true},
        {program + u"\\AutoL\\DATA\\note.txt", true},
        {program + u"\\Keys\\board.kbb", false},  // installed
        {program + u"\\keys", false},            // holds an installed file
        {program + u"\\Keys\\mine.txt", true},
        {program + u"\\Forms\\mine.txt", true},  // an installed folder takes files
        {program + u"\\Forms", false},           // but stays
        {u"\\Application\\Client\\optarium.dat", false},
        {u"\\Application\\Client\\Install.lst", false},  // the list itself
        {u"\\Application\\Client\\notes.txt", true},
        {u"\\Temp\\..\\Windows\\x", false},
        {u"relative.txt", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileUtil::HostMayChange(c.path), c.allowed) << std::string(c.path.begin(), c.path.end());
}

TEST(FileUtil, ParseDateTimeChecksTheText) {
    SYSTEMTIME st{};
    ASSERT_TRUE(FileUtil::ParseDateTime("20240229", "235958", &st));
    EXPECT_EQ(st.wYear, 2024);
    EXPECT_EQ(st.wMonth, 2);
    EXPECT_EQ(st.wDay, 29);
    EXPECT_EQ(st.wHour, 23);
    EXPECT_EQ(st.wMinute, 59);
    EXPECT_EQ(st.wSecond, 58);
    EXPECT_EQ(st.wDayOfWeek, 0);
    EXPECT_EQ(st.wMilliseconds, 0);
    EXPECT_TRUE(FileUtil::ParseDateTime(u"20000101", u"000000", &st));
    EXPECT_EQ(st.wYear, 2000);
    EXPECT_TRUE(FileUtil::ParseDateTime("20240102T", "030405 trailing", &st));

    const char* bad[][2] = {
        {"2024010", "000000"},  {"20240101", "00000"},  {"2024a101", "000000"}, {"20240101", "0000-1"},
        {"20241301", "000000"}, {"20240001", "000000"}, {"20240100", "000000"}, {"20240431", "000000"},
        {"20230229", "000000"}, {"21000229", "000000"}, {"16001231", "000000"}, {"20240101", "240000"},
        {"20240101", "006000"}, {"20240101", "000060"}, {"", ""},
    };
    for (const auto& b : bad) {
        SYSTEMTIME untouched{1, 1, 1, 1, 1, 1, 1, 1};
        EXPECT_FALSE(FileUtil::ParseDateTime(b[0], b[1], &untouched)) << b[0] << " " << b[1];
        EXPECT_EQ(untouched.wYear, 1);
    }
}

}  // namespace
