// The file commands through the core: framed host bytes in, framed replies
// out, on a temporary device root.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fcntl.h>
#include <stdio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/session/ClientCore.h"
#include "CoreFixture.h"
#include "core/session/LogicalFolders.h"
#include "common/PacketFramer.h"
#include "tests/core/support/SmallFileSystem.h"
#include "platform/Clock.h"
#include "platform/DeviceFs.h"
#include "platform/Message.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

const char FD = '\xFD';
const char FC = '\xFC';
const char DELIM = '\xFF';

class FileCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        m_oldTz = tz ? std::optional<std::string>(tz) : std::nullopt;
        // Five hours behind UTC, no daylight saving: local and UTC differ visibly.
        setenv("TZ", "EST5", 1);
        tzset();

        m_base = fs::temp_directory_path() / ("orvade-files-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_base);
        fs::create_directories(m_base / "root");
        // A canary beside the root: nothing a host names may reach it.
        fs::create_directories(m_base / "outside");
        std::ofstream(m_base / "outside" / "canary.txt") << "canary";
        plat::fs::SetDeviceRoot((m_base / "root").string());
        plat::fs::SetProgramFolder(u"\\Program Files\\Orvade");
        for (const char16_t* d : {u"\\App", u"\\Program Files", u"\\Program Files\\Orvade"})
            ASSERT_TRUE(plat::fs::CreateDirectory(d));

        ResetLogicalFolders();
        m_window = CreateMessageWindow([this](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == WM_CORE_SEND_SEGMENT) m_sent.append(reinterpret_cast<const char*>(l), w);
            if (msg == WM_CORE_SEND_SEGMENT && m_onSegment) m_onSegment();
            return 0;
        });
        ASSERT_NE(m_window, 0u);
        m_core = std::make_unique<CClientCore>(m_window);
        m_core->SetAppDirectory(u"\\App");
    }

    void TearDown() override {
        m_core.reset();
        DestroyWindow(m_window);
        ResetLogicalFolders();
        // Nothing may have been written beside the device root, nor the canary changed.
        std::vector<std::string> beside;
        for (const auto& e : fs::recursive_directory_iterator(m_base / "outside"))
            beside.push_back(e.path().filename().string());
        EXPECT_EQ(beside, (std::vector<std::string>{"canary.txt"}));
        std::ifstream canary(m_base / "outside" / "canary.txt");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(canary), {}), "canary");
        beside.clear();
        for (const auto& e : fs::directory_iterator(m_base)) beside.push_back(e.path().filename().string());
        std::sort(beside.begin(), beside.end());
        EXPECT_EQ(beside, (std::vector<std::string>{"outside", "root"}));
        fs::remove_all(m_base);
        plat::fs::SetProgramFolder(u"");
        if (m_oldTz) setenv("TZ", m_oldTz->c_str(), 1); else unsetenv("TZ");
        tzset();
    }

    // One packet from the host, framed in segments of at most 100 bytes (mode 0).
    void Send(const Bytes& packet) {
        const Bytes framed = coretest::Frame(packet);
        m_core->OnReceive(reinterpret_cast<const uint8_t*>(framed.data()), static_cast<int32_t>(framed.size()), true);
    }

    // The replies sent since the last call, unframed.
    std::vector<Bytes> Replies() {
        std::vector<Bytes> out = coretest::Unframe(m_sent);
        m_sent.clear();
        return out;
    }

    // Sends one packet and expects exactly one reply.
    Bytes Ask(const Bytes& packet) {
        Send(packet);
        std::vector<Bytes> r = Replies();
        EXPECT_EQ(r.size(), 1u);
        return r.empty() ? Bytes() : r.front();
    }

    static Bytes Reply(char code, const Bytes& fields) { return Bytes(1, code) + FD + fields; }

    static void WriteDevice(const std::u16string& path, const Bytes& content) {
        FILE* f = plat::fs::OpenFile(path, "wb");
        ASSERT_NE(f, nullptr);
        fwrite(content.data(), 1, content.size(), f);
        fclose(f);
    }
    static std::optional<Bytes> ReadDevice(const std::u16string& path) {
        FILE* f = plat::fs::OpenFile(path, "rb");
        if (!f) return std::nullopt;
        Bytes s;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        fclose(f);
        return s;
    }
    // The names in the application's DATA folder.
    static std::vector<std::u16string> DataNames() {
        std::vector<std::u16string> names;
        for (const auto& f : plat::fs::FindFiles(u"\\App\\DATA\\*")) names.push_back(f.name);
        return names;
    }
    // The transfers' temporary files in DATA, which no listing shows.
    std::vector<std::u16string> TempNames() const {
        std::vector<std::u16string> names;
        for (const auto& e : fs::directory_iterator(m_base / "root" / "App" / "DATA"))
            if (e.path().filename().string().starts_with(".~"))
                names.push_back(plat::text::Utf8ToWide(e.path().filename().string()));
        return names;
    }
    static Bytes Pattern(size_t n) {
        Bytes s(n, 0);
        for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + i / 251);
        return s;
    }
    static void SetWriteTimeUtc(const std::u16string& path, int y, int mo, int d, int h, int mi, int s) {
        SYSTEMTIME st{static_cast<WORD>(y), static_cast<WORD>(mo), 0, static_cast<WORD>(d),
                      static_cast<WORD>(h), static_cast<WORD>(mi), static_cast<WORD>(s), 0};
        FILETIME ft;
        ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
        ASSERT_TRUE(plat::fs::SetFileTimes(path, &ft, &ft));
    }

    fs::path m_base;
    std::optional<std::string> m_oldTz;
    HWND m_window = 0;
    Bytes m_sent;
    std::function<void()> m_onSegment;  // runs as each reply segment goes out
    std::unique_ptr<CClientCore> m_core;
};

// ---- RETRIEVEFILE and STOREFILE

TEST_F(FileCommandsTest, StoreThenRetrieveEveryByteValue) {
    Bytes content;
    for (int i = 0; i < 256; ++i) content += static_cast<char>(i);
    content += Bytes("\xFF" "%\xFD" "x", 4);  // a command delimiter inside the content runs nothing
    EXPECT_EQ(Ask(Bytes("H") + FD + "report.txt" + FD + content), Reply('H', "1"));
    EXPECT_EQ(ReadDevice(u"\\App\\DATA\\report.txt"), content);
    EXPECT_EQ(Ask(Bytes("G") + FD + "report.txt"), Reply('G', content));
    EXPECT_EQ(Ask(Bytes("R") + FD + "REPORT.TXT"), Reply('R', content));
}

TEST_F(FileCommandsTest, AFileOfSeveralMiBArrivingInSocketSizedReadsIsStoredWhole) {
    // Past the size at which the framer takes a file's buffer, and several
    // of the file system's writes, in mode 1 as a host sends files.
    const Bytes mode1 = coretest::Frame(Bytes("B") + FD + "1", 0);
    m_core->OnReceive(reinterpret_cast<const uint8_t*>(mode1.data()), static_cast<int32_t>(mode1.size()), true);
    m_sent.clear();
    const Bytes content = Pattern(CPacketFramer::kLargePacket + 300001);
    const Bytes wire = coretest::Frame(Bytes("H") + FD + "large.bin" + FD + content, 1);
    for (size_t at = 0; at < wire.size(); at += 20480)
        m_core->OnReceive(reinterpret_cast<const uint8_t*>(wire.data()) + at,
                          static_cast<int32_t>(std::min<size_t>(20480, wire.size() - at)), true);
    EXPECT_EQ(coretest::Unframe(m_sent, 1), std::vector<Bytes>{Reply('H', "1")});
    EXPECT_TRUE(ReadDevice(u"\\App\\DATA\\large.bin") == content);
    EXPECT_TRUE(TempNames().empty());
}

TEST_F(FileCommandsTest, NamesWithUndefinedCp1252BytesRoundTrip) {
    const Bytes name = "r\x81\x8D\x8F\x90\x9D.txt";
    EXPECT_EQ(Ask(Bytes("H") + FD + name + FD + "x"), Reply('H', "1"));
    EXPECT_EQ(ReadDevice(u"\\App\\DATA\\r\u0081\u008D\u008F\u0090\u009D.txt"), "x");
    EXPECT_EQ(Ask(Bytes("S") + FD + "*.txt"), Reply('S', name + FD));
}

TEST_F(FileCommandsTest, StoreResolvesByExtensionAndForms) {
    EXPECT_EQ(Ask(Bytes("H") + FD + "items.bar" + FD + "b"), Reply('H', "1"));
    EXPECT_EQ(ReadDevice(u"\\App\\BARCODES\\items.bar"), "b");
    EXPECT_EQ(Ask(Bytes("H") + FD + "beep.wav" + FD + "w"), Reply('H', "1"));
    EXPECT_EQ(ReadDevice(u"\\App\\TONES\\beep.wav"), "w");
    EXPECT_EQ(Ask(Bytes("H") + FD + "%DATA%\\x.txt" + FD + "o"), Reply('H', "1"));
    EXPECT_EQ(ReadDevice(u"\\Program Files\\Orvade\\DATA\\x.txt"), "o");
    // A path that is not absolute starts at the root.
    ASSERT_TRUE(plat::fs::CreateDirectory(u"\\App\\DATA"));
    EXPECT_EQ(Ask(Bytes("H") + FD + "App\\DATA\\r.txt" + FD + "r"), Reply('H', "1"));
    EXPECT_EQ(ReadDevice(u"\\App\\DATA\\r.txt"), "r");
    // An empty content leaves an empty file.
    EXPECT_EQ(Ask(Bytes("H") + FD + "empty.txt" + FD), Reply('H', "1"));
    EXPECT_EQ(ReadDevice(u"\\App\\DATA\\empty.txt"), "");
    EXPECT_EQ(Ask(Bytes("G") + FD + "empty.txt"), Reply('G', ""));
}

TEST_F(FileCommandsTest, StoreWithoutContentLetsTheNextCommandRun) {
    Send(Bytes("H") + FD + "n.txt" + DELIM + "%" + FD + "DATA");
    EXPECT_EQ(Replies(), (std::vector<Bytes>{Reply('H', "1"), Reply('%', "1")}));
    EXPECT_EQ(ReadDevice(u"\\App\\DATA\\n.txt"), "");
}

TEST_F(FileCommandsTest, RetrieveLargeFileWholeAndFailures) {
    ASSERT_TRUE(plat::fs::CreateDirectory(u"\\App\\DATA"));
    Bytes big = Pattern(10000);
    WriteDevice(u"\\App\\DATA\\big.bin", big);
    EXPECT_EQ(Ask(Bytes("G") + FD + "big.bin"), Reply('G', big));
    EXPECT_EQ(Ask(Bytes("R") + FD + "missing.bin"), Reply('R', ""));
    EXPECT_EQ(Ask(Bytes("G") + FD + "DATA"), Reply('G', ""));  // resolves to \App\DATA\DATA: missing
}

TEST_F(FileCommandsTest, ALargeFileGoesOutInPartsAsItWasWhenAskedAndAFileCutShortEndsTheSession) {
    ASSERT_TRUE(plat::fs::CreateDirectory(u"\\App\\DATA"));
    const fs::path file = m_base / "root" / "App" / "DATA" / "big.bin";
    const Bytes big = Pattern(700001);  // several parts, the last one short
    auto receive = [&](const Bytes& packet, int mode) {
        const Bytes wire = coretest::Frame(packet, mode);
        m_core->OnReceive(reinterpret_cast<const uint8_t*>(wire.data()), static_cast<int32_t>(wire.size()), true);
    };
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        if (mode == 1) {
            receive(Bytes("B") + FD + "1", 0);
            m_sent.clear();
        }
        // The wire is the one of the reply sent whole.
        WriteDevice(u"\\App\\DATA\\big.bin", big);
        receive(Bytes("G") + FD + "big.bin", mode);
        EXPECT_TRUE(m_sent == coretest::Frame(Reply('G', big), mode));
        m_sent.clear();
        // What is appended while it goes out is not part of it.
        m_onSegment = [&] {
            std::ofstream(file, std::ios::binary | std::ios::app) << "tail";
            m_onSegment = nullptr;
        };
        receive(Bytes("R") + FD + "big.bin", mode);
        EXPECT_TRUE(m_sent == coretest::Frame(Reply('R', big), mode));
        m_sent.clear();
    }
    // Cut short once its first part is out: no reply ends, nothing else is
    // sent, and the session ends; after the end replies go out again.
    WriteDevice(u"\\App\\DATA\\big.bin", big);
    m_onSegment = [&] {
        fs::resize_file(file, 1000);
        m_onSegment = nullptr;
    };
    receive(Bytes("G") + FD + "big.bin" + DELIM + "A" + FD + "x", 1);
    EXPECT_TRUE(coretest::Unframe(m_sent, 1).empty());
    EXPECT_EQ(m_sent.back(), '\x03');  // the last segment sent is not a packet's last
    MSG msg;
    EXPECT_TRUE(PeekMessage(&msg, m_window, WM_CORE_SESSION_ENDED, WM_CORE_SESSION_ENDED, PM_REMOVE));
    m_sent.clear();
    receive(Bytes("A") + FD + "y", 1);
    EXPECT_EQ(m_sent, "");
    receive(Bytes("9") + FD, 1);
    m_sent.clear();
    receive(Bytes("A") + FD + "z", 0);
    EXPECT_EQ(Replies(), std::vector<Bytes>{Bytes("A") + FD + "z"});
}

TEST_F(FileCommandsTest, HostNamesNeverLeaveTheDeviceRoot) {
    // The fixture's tear-down checks that nothing appeared beside the root.
    const char* escapes[] = {"..\\evil.txt", "..\\..\\evil.txt", "%DATA%\\..\\..\\evil.txt", "\\..\\evil.txt"};
    for (const char* n : escapes) {
        SCOPED_TRACE(n);
        EXPECT_EQ(Ask(Bytes("H") + FD + n + FD + "x"), Reply('H', "0"));
        EXPECT_EQ(Ask(Bytes("G") + FD + n), Reply('G', ""));
        EXPECT_EQ(Ask(Bytes("X") + FD + n + FD + "1" + FD + "20240102" + FD + "030405"), Reply('X', "0"));
        EXPECT_EQ(Ask(Bytes("g") + FD + n), Reply('g', "0"));
        EXPECT_EQ(Ask(Bytes("#") + FD + n), Reply('#', "0"));
    }
    WriteDevice(u"\\keep.txt", "k");
    EXPECT_EQ(Ask(Bytes("I") + FD + "..\\root\\keep.txt"), Reply('I', "1"));
    EXPECT_EQ(Ask(Bytes("$") + FD + "..\\root"), Reply('$', "0"));
    EXPECT_EQ(ReadDevice(u"\\keep.txt"), "k");
}

TEST_F(FileCommandsTest, PlantedLinksAndFifosAreNeverFollowedOrOpened) {
    // A local user plants links in the root: inner (a folder on the way),
    // last (the file itself) and dangling; and a FIFO.
    const fs::path data = m_base / "root" / "App" / "DATA", outside = m_base / "outside";
    fs::create_directories(data);
    fs::create_directory_symlink(outside, data / "inner");
    fs::create_symlink(outside / "canary.txt", data / "last.txt");
    fs::create_symlink(outside / "made.txt", data / "dangling.txt");
    ASSERT_EQ(mkfifo((data / "pipe").c_str(), 0666), 0);
    for (const char* n : {"inner\\canary.txt", "last.txt", "dangling.txt", "pipe"}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(Ask(Bytes("G") + FD + n), Reply('G', ""));  // read as missing, never hangs
        EXPECT_EQ(Ask(Bytes("g") + FD + n), Reply('g', "0"));
    }
    EXPECT_EQ(Ask(Bytes("H") + FD + "inner\\canary.txt" + FD + "owned"), Reply('H', "0"));
    EXPECT_EQ(Ask(Bytes("I") + FD + "inner\\canary.txt"), Reply('I', "1"));
    EXPECT_EQ(Ask(Bytes("$") + FD + "DATA\\inner"), Reply('$', "0"));
    EXPECT_EQ(Ask(Bytes("%") + FD + "DATA\\inner"), Reply('%', "0"));
    // Storing over a link replaces the link with a file; its target stays.
    EXPECT_EQ(Ask(Bytes("H") + FD + "last.txt" + FD + "mine"), Reply('H', "1"));
    EXPECT_EQ(Ask(Bytes("H") + FD + "dangling.txt" + FD + "mine"), Reply('H', "1"));
    EXPECT_FALSE(fs::is_symlink(data / "last.txt"));
    EXPECT_EQ(ReadDevice(u"\\App\\DATA\\last.txt"), "mine");
    EXPECT_EQ(Ask(Bytes("X") + FD + "pipe" + FD + "1" + FD + "20240102" + FD + "030405"),
              Reply('X', Bytes("1") + FD + "4096"));
    EXPECT_EQ(Ask(Bytes("X") + FD + "p"), Reply('X', Bytes("1") + FD + "4096"));
    EXPECT_EQ(ReadDevice(u"\\App\\DATA\\pipe"), "p");  // the FIFO was replaced, never opened
    // The tear-down checks the canary folder.
}

TEST_F(FileCommandsTest, RefusedNamesCreateNothing) {
    for (const char* n : {"\\App\\newdir\\a/b.txt", "\\App\\newdir\\..\\x.txt", "\\App\\newdir\\"}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(Ask(Bytes("H") + FD + n + FD + "x"), Reply('H', "0"));
        EXPECT_EQ(Ask(Bytes("X") + FD + n + FD + "1" + FD + "20240102" + FD + "030405"), Reply('X', "0"));
        EXPECT_FALSE(plat::fs::Exists(u"\\App\\newdir"));
    }
    // A name longer than 259 characters is refused, never cut to another file's name.
    const Bytes tooLong = Bytes(300, 'x') + ".txt";
    EXPECT_EQ(Ask(Bytes("H") + FD + tooLong + FD + "x"), Reply('H', "0"));
    EXPECT_EQ(Ask(Bytes("X") + FD + tooLong + FD + "1" + FD + "20240102" + FD + "030405"), Reply('X', "0"));
    EXPECT_TRUE(plat::fs::FindFiles(u"\\App\\DATA\\x*").empty());
}

TEST_F(FileCommandsTest, LinkSwappedInDuringDeleteDirAndStoreNeverLeadsOutside) {
    // Another process swaps a folder of the root with a link to the canary
    // folder, over and over, while the host deletes and stores through it.
    const fs::path app = m_base / "root" / "App", outside = m_base / "outside";
    fs::create_directories(app / "sub");
    fs::create_directory_symlink(outside, app / "swap");
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        while (!stop) {
            renameat2(AT_FDCWD, (app / "sub").c_str(), AT_FDCWD, (app / "swap").c_str(), RENAME_EXCHANGE);
            if (!fs::exists(app / "sub") && !fs::is_symlink(app / "sub")) fs::create_directory(app / "sub");
        }
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
    while (std::chrono::steady_clock::now() < until) {
        Ask(Bytes("H") + FD + "\\App\\sub\\canary.txt" + FD + "owned");
        Ask(Bytes("I") + FD + "\\App\\sub\\canary.txt");
        Ask(Bytes("I") + FD + "\\App\\sub\\*");
        Ask(Bytes("$") + FD + "\\App\\sub");
        Ask(Bytes("#") + FD + "\\App\\sub");
    }
    stop = true;
    swapper.join();
    // The tear-down checks that the canary folder holds the canary, unchanged.
}

TEST_F(FileCommandsTest, AbsoluteFolderFormsStayInsideTheRoot) {
    // "%TEMP%" names an absolute folder: it combines into a path under the
    // program folder; nothing crashes and nothing leaves the root.
    ASSERT_TRUE(plat::fs::CreateDirectory(u"\\Program Files\\Orvade\\Temp"));
    for (const char* n : {"%TEMP%\\a.txt", "%OVC%\\a.txt", "%APP%a.txt", "%SYSTEM%\\a.txt"}) {
        SCOPED_TRACE(n);
        Bytes r = Ask(Bytes("H") + FD + n + FD + "x");
        EXPECT_TRUE(r == Reply('H', "1") || r == Reply('H', "0"));
        Ask(Bytes("G") + FD + n);
        Ask(Bytes("#") + FD + n);
        Ask(Bytes("$") + FD + n);
    }
    // "%SYSTEM%" names a folder at the program folder's top level, which
    // takes nothing of a host's.
    EXPECT_EQ(Ask(Bytes("X") + FD + "%SYSTEM%\\b.txt" + FD + "1" + FD + "20240102" + FD + "030405"), Reply('X', "0"));
    EXPECT_FALSE(plat::fs::Exists(u"\\Program Files\\Orvade\\Windows"));
}

// ---- SendFile

TEST_F(FileCommandsTest, SendFileInChunksSetsLocalTimes) {
    Bytes part1 = Bytes("ab\xFF" "%\xFD" "c", 6), part2 = Pattern(3000);
    const Bytes accepted = Reply('X', Bytes("1") + FD + "4096");
    EXPECT_EQ(Ask(Bytes("X") + FD + "up.bin" + FD + std::to_string(part1.size() + part2.size()) + FD + "20240102" +
                  FD + "030405"),
              accepted);
    // Nothing has the name until the whole file has come.
    EXPECT_FALSE(ReadDevice(u"\\App\\DATA\\up.bin"));
    EXPECT_EQ(Ask(Bytes("X") + FD + part1), accepted);
    EXPECT_FALSE(ReadDevice(u"\\App\\DATA\\up.bin"));
    EXPECT_EQ(Ask(Bytes("X") + FD + part2), accepted);
    EXPECT_EQ(ReadDevice(u"\\App\\DATA\\up.bin"), part1 + part2);
    EXPECT_EQ(DataNames(), (std::vector<std::u16string>{u"up.bin"}));
    // 2024-01-02 03:04:05 in EST5 is 08:04:05 UTC.
    std::optional<plat::fs::FindData> info = plat::fs::GetFileData(u"\\App\\DATA\\up.bin");
    ASSERT_TRUE(info);
    int64_t seconds, nanos;
    plat::clock::FileTimeToUnix(info->lastWriteTime, &seconds, &nanos);
    EXPECT_EQ(seconds, 1704182645);
    // The transfer is over: the next 'X' starts another one.
    EXPECT_EQ(Ask(Bytes("X") + FD + "next.bin" + FD + "5" + FD + "20240102" + FD + "030405"), accepted);
    EXPECT_FALSE(ReadDevice(u"\\App\\DATA\\next.bin"));
    // A session that ends mid-transfer leaves no partial file.
    m_core.reset();
    EXPECT_EQ(DataNames(), (std::vector<std::u16string>{u"up.bin"}));
}

TEST_F(FileCommandsTest, SendFileSizes) {
    const Bytes accepted = Reply('X', Bytes("1") + FD + "4096");
    // A total of 0 (or a negative one, or none): the first data packet ends the transfer.
    for (const char* size : {"0", "-5", ""}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(Ask(Bytes("X") + FD + "z.bin" + FD + size + FD + "20240102" + FD + "030405"), accepted);
        EXPECT_EQ(Ask(Bytes("X") + FD + "data"), accepted);
        EXPECT_EQ(Ask(Bytes("X") + FD + "w.bin" + FD + "1" + FD + "20240102" + FD + "030405"), accepted);
        EXPECT_FALSE(ReadDevice(u"\\App\\DATA\\w.bin"));  // a start, not data
        EXPECT_EQ(Ask(Bytes("X") + FD + "w"), accepted);
        EXPECT_TRUE(plat::fs::DeleteFile(u"\\App\\DATA\\w.bin"));
    }
    // Fourteen digits are a size; more are refused and start nothing.
    EXPECT_EQ(Ask(Bytes("X") + FD + "huge.bin" + FD + "99999999999999" + FD + "20240102" + FD + "030405"), accepted);
    EXPECT_EQ(Ask(Bytes("X") + FD + Pattern(4000)), accepted);
    EXPECT_EQ(Ask(Bytes("X") + FD + Pattern(10)), accepted);  // still going: 4010 of 99999999999999
    EXPECT_FALSE(ReadDevice(u"\\App\\DATA\\huge.bin"));
    EXPECT_EQ(DataNames(), std::vector<std::u16string>{u"z.bin"});  // never its temporary file
    const auto temps = TempNames();
    ASSERT_EQ(temps.size(), 1u);
    EXPECT_EQ(ReadDevice(u"\\App\\DATA\\" + temps[0])->size(), 4010u);
}

TEST_F(FileCommandsTest, SendFileRefusesTooLongSize) {
    EXPECT_EQ(Ask(Bytes("X") + FD + "huge.bin" + FD + "999999999999999" + FD + "20240102" + FD + "030405"),
              Reply('X', "0"));
    EXPECT_FALSE(ReadDevice(u"\\App\\DATA\\huge.bin"));
    // No transfer started: this is a start again.
    EXPECT_EQ(Ask(Bytes("X") + FD + "ok.bin" + FD + "2" + FD + "20240102" + FD + "030405"),
              Reply('X', Bytes("1") + FD + "4096"));
    EXPECT_FALSE(ReadDevice(u"\\App\\DATA\\ok.bin"));
}

TEST_F(FileCommandsTest, SendFileAppendFailureRefusesTheRestOfTheDeclaredSize) {
    const Bytes accepted = Reply('X', Bytes("1") + FD + "4096");
    ASSERT_TRUE(plat::fs::CreateDirectory(u"\\App\\DATA"));
    WriteDevice(u"\\App\\DATA\\notes.txt", "keep");
    const Bytes start = Bytes("X") + FD + "notes.txt" + FD + "4" + FD + "20240102" + FD + "030405";
    EXPECT_EQ(Ask(Bytes("X") + FD + "gone.bin" + FD + std::to_string(3 + 2 * start.size()) + FD + "20240102" + FD +
                  "030405"),
              accepted);
    // The temporary file goes away under the transfer: the next chunk fails.
    EXPECT_EQ(DataNames(), std::vector<std::u16string>{u"notes.txt"});
    const auto temps = TempNames();
    ASSERT_EQ(temps.size(), 1u);
    ASSERT_TRUE(plat::fs::DeleteFile(u"\\App\\DATA\\" + temps[0]));
    EXPECT_EQ(Ask(Bytes("X") + FD + "abc"), Reply('X', "0"));
    // Chunks the host sent without waiting are taken as chunks, never as a start.
    EXPECT_EQ(Ask(Bytes("X") + FD + start), Reply('X', "0"));
    EXPECT_EQ(Ask(Bytes("X") + FD + start), Reply('X', "0"));
    EXPECT_EQ(ReadDevice(u"\\App\\DATA\\notes.txt"), "keep");
    EXPECT_EQ(DataNames(), (std::vector<std::u16string>{u"notes.txt"}));
    // The declared size has come: this is a start again.
    EXPECT_EQ(Ask(start), accepted);
    EXPECT_EQ(Ask(Bytes("X") + FD + "new!"), accepted);
    EXPECT_EQ(ReadDevice(u"\\App\\DATA\\notes.txt"), "new!");
}

TEST_F(FileCommandsTest, FullDiskKeepsTheOldFileAndRefusesTheRestOfATransfer) {
    fs::create_directory(m_base / "small");
    {
        SmallFileSystem small(m_base / "small", 64 * 1024);
        if (!small.Ready()) {
            fs::remove(m_base / "small");
            GTEST_SKIP() << small.Reason();
        }
        plat::fs::SetDeviceRoot(small.Path());
        ASSERT_TRUE(plat::fs::CreateDirectory(u"\\App"));
        EXPECT_EQ(Ask(Bytes("H") + FD + "notes.txt" + FD + "old"), Reply('H', "1"));
        EXPECT_EQ(Ask(Bytes("H") + FD + "notes.txt" + FD + Pattern(100000)), Reply('H', "0"));
        EXPECT_EQ(ReadDevice(u"\\App\\DATA\\notes.txt"), "old");
        EXPECT_EQ(DataNames(), (std::vector<std::u16string>{u"notes.txt"}));

        // A transfer that fills the disk: once a chunk fails, every chunk up
        // to the declared size is refused, whatever it holds.
        const int total = 100000, chunk = 4000;
        EXPECT_EQ(Ask(Bytes("X") + FD + "big.bin" + FD + std::to_string(total) + FD + "20240102" + FD + "030405"),
                  Reply('X', Bytes("1") + FD + "4096"));
        const Bytes start = Bytes("notes.txt") + FD + "1" + FD + "20240102" + FD + "030405";
        int sent = 0;
        bool failed = false;
        while (sent < total) {
            Bytes data = failed ? start + Bytes(static_cast<size_t>(chunk) - start.size(), 'x') : Pattern(chunk);
            Bytes reply = Ask(Bytes("X") + FD + data);
            sent += chunk;
            if (failed) {
                EXPECT_EQ(reply, Reply('X', "0")) << sent;
            }
            failed = failed || reply == Reply('X', "0");
        }
        EXPECT_TRUE(failed);
        EXPECT_EQ(ReadDevice(u"\\App\\DATA\\notes.txt"), "old");
        EXPECT_EQ(DataNames(), (std::vector<std::u16string>{u"notes.txt"}));
        // Over: the next 'X' is a start.
        EXPECT_EQ(Ask(Bytes("X") + FD + "ok.bin" + FD + "2" + FD + "20240102" + FD + "030405"),
                  Reply('X', Bytes("1") + FD + "4096"));
        m_core.reset();
        plat::fs::SetDeviceRoot((m_base / "root").string());
    }
    fs::remove(m_base / "small");
}

// ---- DELETEFILE

TEST_F(FileCommandsTest, DeleteFileByWildcard) {
    ASSERT_TRUE(plat::fs::CreateDirectory(u"\\App\\DATA"));
    for (const char16_t* n : {u"\\App\\DATA\\a.tmp", u"\\App\\DATA\\B.TMP", u"\\App\\DATA\\keep.txt"}) WriteDevice(n, "x");
    EXPECT_EQ(Ask(Bytes("I") + FD + "*.tmp"), Reply('I', "0"));
    EXPECT_FALSE(plat::fs::Exists(u"\\App\\DATA\\a.tmp"));
    EXPECT_FALSE(plat::fs::Exists(u"\\App\\DATA\\B.TMP"));
    EXPECT_TRUE(plat::fs::Exists(u"\\App\\DATA\\keep.txt"));
    EXPECT_EQ(Ask(Bytes("I") + FD + "*.tmp"), Reply('I', "1"));  // nothing matched
    EXPECT_EQ(Ask(Bytes("I") + FD + "keep.txt"), Reply('I', "0"));
    EXPECT_FALSE(plat::fs::Exists(u"\\App\\DATA\\keep.txt"));
}

// ---- GETFILE

class GetFileTest : public FileCommandsTest {
protected:
    void Open(const Bytes& content) {
        plat::fs::CreateDirectory(u"\\App\\DATA");
        WriteDevice(u"\\App\\DATA\\data.bin", content);
        SetWriteTimeUtc(u"\\App\\DATA\\data.bin", 2023, 12, 31, 22, 5, 9);
        // The date and time are those stored (UTC), not local ones.
        EXPECT_EQ(Ask(Bytes("g") + FD + "data.bin"),
                  Reply('g', std::to_string(content.size()) + FD + "20231231" + FD + "220509"));
    }
    Bytes Chunk(const Bytes& request) { return Ask(Bytes("g") + FD + "1" + request); }
};

TEST_F(GetFileTest, ChunksOfEverySizeUpToTheLimit) {
    Bytes content = Pattern(4094 + 4095 + 4096 + 4096 + 95 + 3);
    Open(content);
    size_t at = 0;
    for (size_t n : {4094, 4095, 4096}) {
        EXPECT_EQ(Chunk(Bytes(1, FD) + std::to_string(n)), Reply('g', content.substr(at, n))) << n;
        at += n;
    }
    EXPECT_EQ(Chunk(Bytes(1, FD) + "100000"), Reply('g', content.substr(at, 4096)));  // cut to 4096
    at += 4096;
    EXPECT_EQ(Chunk(""), Reply('g', content.substr(at, 95)));  // default 95
    at += 95;
    EXPECT_EQ(Chunk(Bytes(1, FD) + "0"), Reply('g', "0"));  // state unchanged
    EXPECT_EQ(Chunk(Bytes(1, FD) + "-3"), Reply('g', "0"));
    EXPECT_EQ(Chunk(Bytes(1, FD) + "50"), Reply('g', content.substr(at)));  // cut to what is left
    // The whole file went out: one silent request, then "0".
    Send(Bytes("g") + FD + "1");
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(Chunk(""), Reply('g', "0"));
}

TEST_F(GetFileTest, OpeningAgainStartsOverAndMissingFilesFail) {
    Bytes content = Pattern(300);
    Open(content);
    EXPECT_EQ(Chunk(Bytes(1, FD) + "10"), Reply('g', content.substr(0, 10)));
    Open(content);  // the old buffer goes, the new file starts at its beginning
    EXPECT_EQ(Chunk(Bytes(1, FD) + "10"), Reply('g', content.substr(0, 10)));
    EXPECT_EQ(Ask(Bytes("g") + FD + "missing.bin"), Reply('g', "0"));
    EXPECT_EQ(Chunk(""), Reply('g', "0"));
}

TEST_F(GetFileTest, EmptyFile) {
    // No buffer is held for an empty file: the first request is the silent one.
    Open("");
    Send(Bytes("g") + FD + "1");
    EXPECT_TRUE(Replies().empty());
    EXPECT_EQ(Chunk(""), Reply('g', "0"));
}

// The handlers alone, on a channel that drops the replies.
class NullReplies : public IReplyChannel {
public:
    CPacketBuffer* Writer() override { return &m_writer; }
    std::unique_ptr<CPacketBuffer> NewWriter(int32_t capacity) override {
        return std::make_unique<CPacketBuffer>(0, 0xFF, capacity, 0);
    }
    int32_t WriterCapacity() const override { return 4096; }
    int SendReply(const CPacketBuffer&) override { return 0; }
    int SendReplyPart(const CPacketBuffer&, bool) override { return 0; }
    void AbandonReply() override {}
    int SendIntReply(uint8_t, int32_t) override { return 0; }
    int SendTextReply(uint8_t, std::u16string_view) override { return 0; }

private:
    CPacketBuffer m_writer{0, 0xFF, 4096, 0};
};

TEST_F(GetFileTest, TheBufferIsFreedWhenTheTransferEnds) {
    plat::fs::CreateDirectory(u"\\App\\DATA");
    WriteDevice(u"\\App\\DATA\\data.bin", Pattern(6000));
    NullReplies replies;
    const std::u16string app = u"\\App";
    CFileCommands files(replies, app);
    CCommandTable table;
    files.Register(table);
    auto run = [&](const Bytes& fields, uint8_t code) {
        CPacket pkt(0, 0xFF, reinterpret_cast<const uint8_t*>(fields.data()), static_cast<int32_t>(fields.size()), 0);
        table.Call(code, &pkt);
    };
    run("data.bin", cmd::kGETFILE);
    EXPECT_GE(files.Getting().buffer.capacity(), 6000u);
    run(Bytes("1") + FD + "4096", cmd::kGETFILE);
    EXPECT_GE(files.Getting().buffer.capacity(), 6000u);
    run(Bytes("1") + FD + "4096", cmd::kGETFILE);  // the last byte goes out
    EXPECT_EQ(files.Getting().buffer.capacity(), 0u);
    // A file that cannot be read leaves nothing behind either.
    run("data.bin", cmd::kGETFILE);
    run("missing.bin", cmd::kGETFILE);
    EXPECT_EQ(files.Getting().buffer.capacity(), 0u);
}

// ---- LISTFILE, FILESELECTEX, COUNTFILES

TEST_F(FileCommandsTest, ListingByExtensionFolderAndAllFolders) {
    for (const char16_t* d : {u"\\App\\DATA", u"\\App\\DATA\\sub", u"\\App\\BARCODES"})
        ASSERT_TRUE(plat::fs::CreateDirectory(d));
    for (const char16_t* n : {u"\\App\\DATA\\b.txt", u"\\App\\DATA\\a.txt", u"\\App\\DATA\\c.log",
                              u"\\App\\DATA\\sub\\d.txt", u"\\App\\BARCODES\\x.bar", u"\\App\\top.txt"})
        WriteDevice(n, "1234");
    EXPECT_EQ(Ask(Bytes("S") + FD + "*.txt"), Reply('S', Bytes("a.txt") + FD + "b.txt" + FD));
    // A subfolder is searched, with the same pattern, when its name matches it.
    EXPECT_EQ(Ask(Bytes("S") + FD + "*"), Reply('S', Bytes("a.txt") + FD + "b.txt" + FD + "c.log" + FD + "d.txt" + FD));
    EXPECT_EQ(Ask(Bytes("S") + FD + "s*"), Reply('S', ""));
    EXPECT_EQ(Ask(Bytes("S") + FD + "*.bar"), Reply('S', Bytes("x.bar") + FD));
    EXPECT_EQ(Ask(Bytes("S") + FD + "c"), Reply('S', ""));
    // "*.*": the files of every subfolder of the application folder, not its own.
    EXPECT_EQ(Ask(Bytes("S") + FD + "*.*"),
              Reply('S', Bytes("x.bar") + FD + "a.txt" + FD + "b.txt" + FD + "c.log" + FD + "d.txt" + FD));
    EXPECT_EQ(Ask(Bytes("S") + FD + "%DATA%\\*.txt"), Reply('S', ""));  // under the program folder: empty
    // A path of its own: its folder, and subfolders searched for the same names.
    EXPECT_EQ(Ask(Bytes("S") + FD + "\\App\\DATA\\*"),
              Reply('S', Bytes("a.txt") + FD + "b.txt" + FD + "c.log" + FD + "d.txt" + FD));

    EXPECT_EQ(Ask(Bytes("%") + FD + "DATA"), Reply('%', "4"));
    EXPECT_EQ(Ask(Bytes("%") + FD), Reply('%', "0"));
    EXPECT_EQ(Ask(Bytes("%") + FD + "\\App"), Reply('%', "6"));
}

TEST_F(FileCommandsTest, FileSelectExDetailsInLocalTime) {
    ASSERT_TRUE(plat::fs::CreateDirectory(u"\\App\\DATA"));
    WriteDevice(u"\\App\\DATA\\a.txt", "12345");
    SetWriteTimeUtc(u"\\App\\DATA\\a.txt", 2024, 1, 1, 3, 4, 5);  // 2023-12-31 22:04:05 in EST5
    EXPECT_EQ(Ask(Bytes("f") + FD + "*.txt"),
              Reply('f', Bytes("a.txt") + FC + "5" + FC + "20231231" + FC + "220405" + FD));
}

TEST_F(FileCommandsTest, LongListingsHoldWholeEntries) {
    ASSERT_TRUE(plat::fs::CreateDirectory(u"\\App\\DATA"));
    // Names of varied length, so that the writer fills up anywhere inside an entry.
    auto name = [](int i) { return std::to_string(1000 + i) + std::string(static_cast<size_t>(i % 23), 'n') + ".txt"; };
    for (int i = 0; i < 300; ++i) {
        std::string n = name(i);
        WriteDevice(u"\\App\\DATA\\" + std::u16string(n.begin(), n.end()), "x");
    }
    for (char code : {'S', 'f'}) {
        SCOPED_TRACE(code);
        Bytes r = Ask(Bytes(1, code) + FD + "*.txt");
        ASSERT_GE(r.size(), 3500u);
        EXPECT_LT(r.size(), 4096u);
        ASSERT_EQ(r.back(), FD);
        size_t entries = 0;
        for (size_t start = 2, end; (end = r.find(FD, start)) != Bytes::npos; start = end + 1, ++entries) {
            Bytes entry = r.substr(start, end - start);
            int i = std::atoi(entry.substr(0, 4).c_str()) - 1000;
            ASSERT_TRUE(i >= 0 && i < 300) << entry;
            if (code == 'S') {
                EXPECT_EQ(entry, name(i));
                continue;
            }
            std::vector<Bytes> parts;
            for (size_t a = 0, b;; a = b + 1) {
                b = entry.find(FC, a);
                parts.push_back(entry.substr(a, b == Bytes::npos ? Bytes::npos : b - a));
                if (b == Bytes::npos) break;
            }
            ASSERT_EQ(parts.size(), 4u) << entry;
            EXPECT_EQ(parts[0], name(i));
            EXPECT_EQ(parts[1], "1");
            EXPECT_EQ(parts[2].size(), 8u);
            EXPECT_EQ(parts[3].size(), 6u);
        }
        EXPECT_LT(entries, 300u);
    }
}

// ---- MakeDir, DeleteDir

TEST_F(FileCommandsTest, MakeAndDeleteFolders) {
    EXPECT_EQ(Ask(Bytes("#") + FD + "new"), Reply('#', "1"));
    EXPECT_TRUE(plat::fs::IsDirectory(u"\\App\\new"));
    EXPECT_EQ(Ask(Bytes("#") + FD + "new"), Reply('#', "0"));  // exists
    EXPECT_EQ(Ask(Bytes("#") + FD + "\\App\\x\\y\\"), Reply('#', "0"));  // one level only
    EXPECT_EQ(Ask(Bytes("#") + FD + "\\App\\x\\"), Reply('#', "1"));
    EXPECT_EQ(Ask(Bytes("#") + FD), Reply('#', "0"));
    EXPECT_EQ(Ask(Bytes("#") + FD + "%DATA%\\in"), Reply('#', "0"));  // no DATA under the program folder
    ASSERT_TRUE(plat::fs::CreateDirectory(u"\\Program Files\\Orvade\\DATA"));
    EXPECT_EQ(Ask(Bytes("#") + FD + "%DATA%\\in"), Reply('#', "1"));
    EXPECT_TRUE(plat::fs::IsDirectory(u"\\Program Files\\Orvade\\DATA\\in"));

    ASSERT_TRUE(plat::fs::CreateDirectory(u"\\App\\new\\deep"));
    WriteDevice(u"\\App\\new\\a.txt", "a");
    WriteDevice(u"\\App\\new\\deep\\b.txt", "b");
    EXPECT_EQ(Ask(Bytes("%") + FD + "new"), Reply('%', "2"));
    EXPECT_EQ(Ask(Bytes("$") + FD + "new"), Reply('$', "1"));
    EXPECT_FALSE(plat::fs::Exists(u"\\App\\new"));
    EXPECT_EQ(Ask(Bytes("$") + FD + "new"), Reply('$', "0"));
    EXPECT_EQ(Ask(Bytes("$") + FD + "%DATA%\\in\\"), Reply('$', "1"));
    EXPECT_EQ(Ask(Bytes("$") + FD + "\\App\\x\\"), Reply('$', "1"));
    EXPECT_EQ(Ask(Bytes("$") + FD), Reply('$', "0"));
}

TEST_F(FileCommandsTest, DeleteDirNeverRemovesTheDeviceRoot) {
    WriteDevice(u"\\keep.txt", "k");
    for (const char* n : {"\\", "\\\\", "\\\\\\"}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(Ask(Bytes("$") + FD + n), Reply('$', "0"));
        EXPECT_EQ(Ask(Bytes("#") + FD + n), Reply('#', "0"));
    }
    EXPECT_EQ(ReadDevice(u"\\keep.txt"), "k");
    EXPECT_TRUE(plat::fs::IsDirectory(u"\\App"));
}

}  // namespace
