#include <filesystem>

#include "core/support/DeviceIni.h"
#include "DeviceRoot.h"

namespace {

class DeviceIniTest : public DeviceRootTest {
protected:
    std::string Read(const char* section, const char* key, int32_t size = 260) {
        std::string buffer(static_cast<size_t>(size), '#');
        int32_t n = ReadIniString(section, key, "notfound", buffer.data(), size, u"\\Data\\a.ini");
        EXPECT_EQ(buffer[static_cast<size_t>(n)], '\0');
        return buffer.substr(0, static_cast<size_t>(n));
    }
    int32_t Write(const char* section, const char* key, const char* value) {
        return WriteIniString(section, key, value, u"\\Data\\a.ini");
    }
    size_t FilesInData() const {
        auto it = std::filesystem::directory_iterator(Host("\\Data"));
        return static_cast<size_t>(std::distance(begin(it), end(it)));
    }
};

TEST_F(DeviceIniTest, ReadsValuesAcrossLineBreaksAndQuotes) {
    Put("\\Data\\a.ini",
        "[One]\r\nplain=1\r\n;hidden=no\r\nquoted=\"a b\"\r\nsingle='x'\nopen=\"abc\n"
        "\b\b[Two]\rplain=2\n\rKey=upper\r\nkey =spaced\r\n[One]\nplain=3\n[Last]\nend=tail");
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"One", "plain", "1"},        // the first section wins over a later one of the same name
        {"One", "quoted", "a b"},     {"One", "single", "x"},  {"One", "open", "\"abc"},
        {"One", ";hidden", "notfound"},                        // comments never match
        {"Two", "plain", "2"},        {"Two", "Key", "upper"}, {"Two", "key", "notfound"},
        {"Two", "key ", "spaced"},    {"two", "plain", "notfound"},
        {"One", "missing", "notfound"}, {"None", "plain", "notfound"},
        {"Last", "end", "tail"},      // last line without a line break
    };
    for (const auto& c : cases) EXPECT_EQ(Read(c.section, c.key), c.value) << c.section << "/" << c.key;
    EXPECT_EQ(Read("One", "quoted", 3), "a ");
}

TEST_F(DeviceIniTest, MissingFileGivesTheDefaultAndZero) {
    char buffer[16];
    EXPECT_EQ(ReadIniString("S", "k", "notfound", buffer, sizeof buffer, u"\\Data\\none.ini"), 0);
    EXPECT_STREQ(buffer, "notfound");
    EXPECT_EQ(WriteIniString("S", "k", "v", u"\\Data\\none.ini"), 0);
    EXPECT_FALSE(HostExists("\\Data\\none.ini"));
}

TEST_F(DeviceIniTest, WriteReplacesAddsAndAppends) {
    Put("\\Data\\a.ini", "top=0\r\n[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\nx=3\r\n");
    EXPECT_EQ(Write("A", "x", "new"), 3);
    EXPECT_EQ(Get("\\Data\\a.ini"), "top=0\n[A]\nx=new\r\ny=2\n\n[B]\nx=3\n");
    EXPECT_EQ(Write("B", "z", "9"), 1);
    // "LF LF" is one break: the blank line goes when the file is copied again.
    EXPECT_EQ(Get("\\Data\\a.ini"), "top=0\n[A]\nx=new\ny=2\n[B]\nx=3\nz=9\r\n");
    EXPECT_EQ(Write("A", "w", ""), 0);
    EXPECT_EQ(Write("C", "k", "v"), 1);
    EXPECT_EQ(Get("\\Data\\a.ini"), "top=0\n[A]\nx=new\ny=2\nw=\n[B]\nx=3\nz=9\n[C]\nk=v\r\n");
    EXPECT_EQ(Read("A", "x"), "new");
    EXPECT_EQ(Read("C", "k"), "v");
    EXPECT_EQ(FilesInData(), 1u);  // no temporary file left behind
    // At most two break characters make one break: a third starts an empty line.
    Put("\\Data\\a.ini", "[A]\r\r\rx=1\n\n\ny=2");
    EXPECT_EQ(Write("A", "y", "3"), 1);
    EXPECT_EQ(Get("\\Data\\a.ini"), "[A]\n\nx=1\n\ny=3\r\n");
}

TEST_F(DeviceIniTest, LongLinesSurviveWhole) {
    // Split at 255 bytes, these lines would give pieces that look like headers.
    std::string longComment = ";" + std::string(254, 'c') + "[Fake]";
    std::string longValue(700, 'v');
    std::string longKey(300, 'k');
    Put("\\Data\\a.ini", "[S]\n" + longComment + "\nold=" + longValue + "\n" + std::string(255, 'p') + "[S]\n");
    EXPECT_EQ(Read("S", "old"), longValue.substr(0, 259));
    EXPECT_EQ(Read("Fake", "old"), "notfound");
    EXPECT_EQ(Write("S", longKey.c_str(), longValue.c_str()), 700);
    EXPECT_EQ(Get("\\Data\\a.ini"), "[S]\n" + longComment + "\nold=" + longValue + "\n" + std::string(255, 'p') +
                                        "[S]\n" + longKey + "=" + longValue + "\r\n");
    std::string buffer(1000, '\0');
    EXPECT_EQ(ReadIniString("S", longKey.c_str(), "", buffer.data(), 1000, u"\\Data\\a.ini"), 700);
}

TEST_F(DeviceIniTest, LinesOfAround255BytesAreReadWhole) {
    for (size_t length : {254u, 255u, 256u}) {
        SCOPED_TRACE(length);
        // A header line and a key line of that many bytes each, then a key after them.
        const std::string section(length - 2, 's');
        const std::string value(length - 2, 'v');
        Put("\\Data\\a.ini", "[" + section + "]\r\nk=" + value + "\r\nnext=1\r\n");
        EXPECT_EQ(Read(section.c_str(), "k"), value);
        EXPECT_EQ(Read(section.c_str(), "next"), "1");
    }
}

TEST_F(DeviceIniTest, FailedReplaceReportsZeroAndCleansUp) {
    // A folder opens for reading but cannot be overwritten by the rewritten text.
    std::filesystem::create_directories(Host("\\Data\\a.ini"));
    EXPECT_EQ(Write("S", "k", "v"), 0);
    EXPECT_EQ(FilesInData(), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(Host("\\Data\\a.ini")));
}

TEST_F(DeviceIniTest, TinyBuffers) {
    Put("\\Data\\a.ini", "[S]\nk=value\n");
    char one[1] = {'#'};
    EXPECT_EQ(ReadIniString("S", "k", "d", one, 1, u"\\Data\\a.ini"), 0);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(ReadIniString("S", "k", "d", one, 0, u"\\Data\\a.ini"), 0);
    EXPECT_EQ(ReadIniString("S", "k", "d", nullptr, 10, u"\\Data\\a.ini"), 0);
}

}  // namespace
