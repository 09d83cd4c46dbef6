#include <string>

#include "tests/core/support/DeviceRoot.h"
#include "common/PacketBuffer.h"
#include "core/session/HostFormats.h"
#include "platform/Clock.h"
#include "platform/Power.h"

namespace {

class HostFormatsTest : public DeviceRootTest {
protected:
    static std::string Written(const CPacketBuffer& writer) {
        return std::string(reinterpret_cast<const char*>(writer.GetData()), static_cast<size_t>(writer.GetLength()));
    }
};

TEST_F(HostFormatsTest, ListDirectoryRecursesIntoMatchingFolders) {
    Put("\\D\\a.txt", "12345");
    Put("\\D\\b.dat", "");
    Put("\\D\\sub\\c.txt", "");
    Put("\\D\\sub\\deeper\\d.txt", "");
    Put("\\D\\x.txt\\e.txt", "");  // a folder that matches the pattern

    CPacketBuffer writer(0, 0xFF, 4096, 1252);
    EXPECT_EQ(FileUtil::ListDirectory(u"\\D", u"*.txt", &writer, false, false), 2);
    EXPECT_EQ(Written(writer), "a.txt\xFD" "e.txt\xFD");

    writer.Reset();
    EXPECT_EQ(FileUtil::ListDirectory(u"\\D\\", u"*.txt", &writer, true, false), 2);
    EXPECT_EQ(Written(writer), "c.txt\xFD" "e.txt\xFD");

    EXPECT_EQ(FileUtil::ListDirectory(u"\\D", u"*.*", nullptr, false, false), 5);
    EXPECT_EQ(FileUtil::ListDirectory(u"\\D", u"*.none", nullptr, false, false), 0);
    EXPECT_EQ(FileUtil::ListDirectory(u"\\Missing", u"*.*", nullptr, false, false), 0);

    // An absolute pattern: subfolders are searched for its names.
    writer.Reset();
    EXPECT_EQ(FileUtil::ListDirectory(u"", u"\\D\\*.txt", &writer, false, false), 2);
    EXPECT_EQ(Written(writer), "a.txt\xFD" "e.txt\xFD");
    EXPECT_EQ(FileUtil::ListDirectory(u"\\Other", u"\\D\\*.*", nullptr, false, false), 5);
    // A relative folder part is searched again inside each subfolder.
    Put("\\D\\sub\\D\\f.txt", "");
    writer.Reset();
    EXPECT_EQ(FileUtil::ListDirectory(u"\\", u"D\\*.*", &writer, false, false), 3);
    EXPECT_EQ(Written(writer), "a.txt\xFD" "b.dat\xFD" "f.txt\xFD");
}

TEST_F(HostFormatsTest, ListDetailsUseLocalTimeAndWholeEntries) {
    Put("\\D\\a.txt", "12345");
    Put("\\D\\\xC3\xA9.txt", "");
    Stamp(u"\\D\\a.txt");
    Stamp(u"\\D\\\u00E9.txt");
    CPacketBuffer writer(0, 0xFF, 4096, 1252);
    EXPECT_EQ(FileUtil::ListDirectory(u"\\D", u"*.txt", &writer, false, true), 2);
    EXPECT_EQ(Written(writer), "a.txt\xFC" "5\xFC" "20240102\xFC" "160405\xFD"
                               "\xE9.txt\xFC" "0\xFC" "20240102\xFC" "160405\xFD");

    CPacketBuffer utf8(1, 0xFF, 4096, 1252);
    FileUtil::ListDirectory(u"\\D", u"\u00E9*", &utf8, false, false);
    EXPECT_EQ(Written(utf8), "\xC3\xA9.txt\xFD");

    CPacketBuffer small(0, 0xFF, 32, 1252);  // room for one entry of 27 bytes
    EXPECT_EQ(FileUtil::ListDirectory(u"\\D", u"*.txt", &small, false, true), 2);
    EXPECT_EQ(Written(small), "a.txt\xFC" "5\xFC" "20240102\xFC" "160405\xFD");
}

TEST_F(HostFormatsTest, ColonsArePartOfNames) {
    Put("\\D\\a:a:x", "");
    CPacketBuffer writer(0, 0xFF, 4096, 1252);
    EXPECT_EQ(FileUtil::ListDirectory(u"\\D", u"a:*", &writer, false, false), 1);
    EXPECT_EQ(Written(writer), "a:a:x\xFD");
}

TEST(HostFormats, PowerStatusFlags) {
    struct Case {
        BOOL readable;
        BYTE main, backup;
        int32_t mainOut, backupOut;
    } cases[] = {
        {TRUE, BATTERY_FLAG_HIGH, BATTERY_FLAG_HIGH, 0, 1},
        {TRUE, BATTERY_FLAG_CHARGING, BATTERY_FLAG_CHARGING, 0, 1},
        {TRUE, BATTERY_FLAG_LOW, BATTERY_FLAG_CRITICAL, 1, 0},
        {TRUE, BATTERY_FLAG_CRITICAL, BATTERY_FLAG_LOW, 1, 0},
        {TRUE, BATTERY_FLAG_NO_BATTERY, BATTERY_FLAG_UNKNOWN, 2, 2},
        {TRUE, BATTERY_FLAG_UNKNOWN, BATTERY_FLAG_NO_BATTERY, 2, 2},
        {TRUE, BATTERY_FLAG_HIGH | BATTERY_FLAG_CHARGING, 0x00, 7, 7},  // other values: unchanged
        {FALSE, BATTERY_FLAG_HIGH, BATTERY_FLAG_HIGH, 0, 0},
    };
    for (const auto& c : cases) {
        plat::power::SetPowerStatusSource([&](PowerStatus* status) {
            status->batteryFlag = c.main;
            status->backupBatteryFlag = c.backup;
            return c.readable;
        });
        int32_t main = 7, backup = 7;
        FileUtil::GetPowerStatus(&main, &backup);
        EXPECT_EQ(main, c.mainOut) << int(c.main);
        EXPECT_EQ(backup, c.backupOut) << int(c.backup);
        FileUtil::GetPowerStatus(&main, nullptr);
        FileUtil::GetPowerStatus(nullptr, &backup);
    }
    plat::power::SetPowerStatusSource(nullptr);
}

}  // namespace
