#include <gmock/gmock.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "DeviceRoot.h"
#include "core/support/LogFile.h"
#include "platform/Clock.h"

namespace {

std::atomic<DWORD> g_tick{0};

class LogFileTest : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        g_tick = 1000;
        plat::clock::SetTickSource([] { return g_tick.load(); });
        log_.SetPath(u"\\log.txt");
    }
    void TearDown() override {
        plat::clock::SetTickSource(nullptr);
        DestroyLog();
        DeviceRootTest::TearDown();
    }
    // The file without its header line.
    std::string Body(const std::string& path = "\\log.txt") const {
        std::string text = Get(path);
        size_t end = text.find("\r\n");
        return end == std::string::npos ? text : text.substr(end + 2);
    }

    CLogFile log_;
};

const std::regex kHeader("Log started at: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\n");

TEST_F(LogFileTest, LevelZeroWritesNothing) {
    log_.Write(0, "zero");
    log_.Write(1, "one");
    log_.Dump(1, "d", "x", 1);
    EXPECT_FALSE(HostExists("\\log.txt"));
    EXPECT_FALSE(log_.IsStarted());
}

TEST_F(LogFileTest, HeaderAndLinesUpToTheLevel) {
    log_.SetLevel(3);
    log_.Write(5, "trace");
    EXPECT_FALSE(HostExists("\\log.txt"));
    log_.Write(1, "error");
    g_tick = 1000 + 1234567;
    log_.Printf(3, "note %d %s", 42, "x");
    std::string text = Get("\\log.txt");
    std::smatch header;
    ASSERT_TRUE(std::regex_search(text, header, kHeader));
    EXPECT_EQ(header.position(), 0);
    EXPECT_EQ(Body(), "+         0 error\r\n+   1234567 note 42 x\r\n");
}

TEST_F(LogFileTest, LongPrintfLinesAreWrittenWhole) {
    log_.SetLevel(5);
    std::string longText(2000, 'q');
    log_.Printf(1, "<%s>", longText.c_str());
    EXPECT_EQ(Body(), "+         0 <" + longText + ">\r\n");
}

TEST_F(LogFileTest, DumpRowsOf32WithOffsets) {
    log_.SetLevel(5);
    std::vector<uint8_t> bytes(33);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0xE0 + i);
    g_tick = 1007;
    log_.Begin();
    log_.Dump(5, "rx", bytes.data(), 33);
    log_.Dump(5, "none", nullptr, 0);
    std::string row;
    for (int i = 0; i < 32; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", 0xE0 + i);
        row += hex;
    }
    EXPECT_EQ(Body(), "+         0 (length=33) - rx\r\n0000: " + row + "\r\n0020: 00 \r\n" +
                          "+         0 (length=0) - none\r\n0000: ");

    // Offsets past 0xFFFF are written whole, not cut to four digits.
    log_.SetPath(u"\\big.txt");
    std::vector<uint8_t> big(0x10021);
    log_.Dump(5, "big", big.data(), static_cast<int32_t>(big.size()));
    std::string text = Body("\\big.txt");
    EXPECT_NE(text.find("\r\nFFE0: "), std::string::npos);
    EXPECT_EQ(text.find("\r\n0000: ", 40), std::string::npos);  // only the first row
    EXPECT_NE(text.find("\r\n10000: "), std::string::npos);
    EXPECT_TRUE(text.ends_with("\r\n10020: 00 \r\n"));
}

TEST_F(LogFileTest, ClearOnOpenDecidesWhetherOldLinesStay) {
    Put("\\log.txt", "old line\r\n");
    log_.SetLevel(1);
    log_.SetClearOnOpen(false);
    log_.Write(1, "kept");
    EXPECT_THAT(Get("\\log.txt"), ::testing::StartsWith("old line\r\nLog started at: "));

    log_.SetClearOnOpen(true);
    log_.SetPath(u"\\log.txt");
    log_.Write(1, "fresh");
    EXPECT_TRUE(std::regex_search(Get("\\log.txt"), kHeader));
    EXPECT_EQ(Body(), "+         0 fresh\r\n");
}

TEST_F(LogFileTest, SetPathBeginsAgainInTheNewFile) {
    log_.SetLevel(1);
    log_.Write(1, "first");
    g_tick = 1500;
    log_.SetPath(u"\\other.txt");
    g_tick = 1600;
    log_.Write(1, "second");
    EXPECT_EQ(Body("\\log.txt"), "+         0 first\r\n");
    EXPECT_EQ(Body("\\other.txt"), "+         0 second\r\n");
}

TEST_F(LogFileTest, UnwritablePathsLoseTheLineQuietly) {
    log_.SetLevel(1);
    log_.SetPath(u"\\missing\\folder\\log.txt");
    log_.Write(1, "lost");
    EXPECT_FALSE(HostExists("\\missing"));
    std::u16string longPath = u"\\" + std::u16string(5000, u'a');
    log_.SetPath(longPath);
    log_.Write(1, "lost too");
    EXPECT_EQ(log_.GetPath(), longPath);
}

TEST_F(LogFileTest, HostPathIsUsedInsteadOfTheDevicePath) {
    // A machine file outside the device root, with an old line in it.
    char pattern[] = "/tmp/core-support-host-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    const std::string file = (dir / "tool.log").string();
    std::ofstream(file, std::ios::binary) << "old line\r\n";
    auto hostText = [&] {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    };

    log_.SetLevel(5);
    log_.SetHostPath(file);
    EXPECT_EQ(log_.GetHostPath(), file);
    log_.Write(1, "first");
    log_.Dump(5, "rx", "\x01", 1);
    std::string text = hostText();
    std::smatch header;
    ASSERT_TRUE(std::regex_search(text, header, kHeader));
    EXPECT_EQ(header.position(), 0);  // cleared on open
    EXPECT_EQ(header.suffix().str(), "+         0 first\r\n+         0 (length=1) - rx\r\n0000: 01 \r\n");
    EXPECT_FALSE(HostExists("\\log.txt"));

    // Without clear-on-open a new beginning keeps what is there.
    log_.SetClearOnOpen(false);
    log_.SetHostPath(file);
    log_.Write(1, "second");
    EXPECT_THAT(hostText(), ::testing::StartsWith(text + "Log started at: "));
    EXPECT_THAT(hostText(), ::testing::EndsWith("+         0 second\r\n"));

    // Empty: back to the device path, begun again there.
    log_.SetHostPath("");
    log_.Write(1, "device");
    EXPECT_EQ(Body(), "+         0 device\r\n");
    EXPECT_THAT(hostText(), ::testing::EndsWith("second\r\n"));

    // A machine path that cannot be written loses the line quietly.
    log_.SetHostPath((dir / "missing" / "tool.log").string());
    log_.Write(1, "lost");
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    std::filesystem::remove_all(dir);
}

TEST_F(LogFileTest, TwoLogsShareOneFileLineByLine) {
    CLogFile other;
    other.SetPath(u"\\log.txt");
    other.SetClearOnOpen(false);
    other.SetLevel(5);
    log_.SetLevel(5);
    log_.Begin();
    auto writer = [](CLogFile* log, const char* text) {
        for (int i = 0; i < 200; ++i) log->Write(5, text);
    };
    std::thread a(writer, &log_, "aaaaaaaaaaaaaaaaaaaa");
    std::thread b(writer, &other, "bbbbbbbbbbbbbbbbbbbb");
    std::thread c(writer, &log_, "cccccccccccccccccccc");
    a.join();
    b.join();
    c.join();
    std::string text = Get("\\log.txt");
    std::regex line("(Log started at: [^\r\n]*|\\+         0 (a{20}|b{20}|c{20}))\r\n");
    auto lines = std::distance(std::sregex_iterator(text.begin(), text.end(), line), std::sregex_iterator());
    EXPECT_EQ(lines, 2 + 600);  // both headers and every line, none torn
    EXPECT_EQ(std::regex_replace(text, line, ""), "");
}

TEST_F(LogFileTest, ModuleLogIsOptional) {
    ASSERT_EQ(GetModuleLog(), nullptr);
    LogWrite(1, "nobody listens");
    LogPrintf(1, "%d", 1);
    LogDump(1, "t", "x", 1);

    CLogFile* log = CreateLog(5);
    ASSERT_EQ(GetModuleLog(), log);
    EXPECT_EQ(log->GetLevel(), 5u);
    EXPECT_EQ(log->GetPath(), plat::fs::TempFolder() + u"\\Ravelcore.log");
    LogPrintf(3, "value %d", 7);
    EXPECT_THAT(Get("\\Temp\\Ravelcore.log"), ::testing::EndsWith("+         0 value 7\r\n"));

    DestroyLog();
    EXPECT_EQ(GetModuleLog(), nullptr);
}

}  // namespace
