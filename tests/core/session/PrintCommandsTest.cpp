// The printing and serial commands through the core, with a pseudo-terminal
// as the device on the serial port and a recording printer library.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "CoreFixture.h"
#include "core/session/PrintCommands.h"
#include "platform/Input.h"
#include "platform/Registry.h"
#include "platform/Serial.h"
#include "tests/platform/serial/PortPeer.h"

namespace coretest {
namespace {

// The device on the far side of a port: the master of a pseudo-terminal
// pair whose slave the port's name maps to.
class SerialPeer {
public:
    explicit SerialPeer(const char16_t* portName) {
        m_master = serialtest::OpenPortPeer(portName);
        EXPECT_GE(m_master, 0);
    }
    ~SerialPeer() { Hangup(); }
    SerialPeer(const SerialPeer&) = delete;
    SerialPeer& operator=(const SerialPeer&) = delete;

    void Write(const Bytes& bytes) { ASSERT_EQ(write(m_master, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    // What the port sent, waiting up to 10 s for count bytes (no more are expected).
    Bytes Read(size_t count) {
        Bytes got;
        char buffer[4096];
        while (got.size() < count) {
            pollfd p{m_master, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0) break;
            const ssize_t n = read(m_master, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
    // Whatever the port sent and is waiting, without waiting.
    Bytes Pending() {
        Bytes got;
        char buffer[4096];
        pollfd p{m_master, POLLIN, 0};
        while (poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
    void Hangup() {
        if (m_master >= 0) close(m_master);
        m_master = -1;
    }
    int Fd() const { return m_master; }

private:
    int m_master = -1;
};

// A printer library that records what it is asked.
struct RecordingPrinter : FakeDevices {
    bool connects = true;
    std::vector<Bytes> calls;
    bool HasPrinter() override { return true; }
    bool PrinterConnect() override { return calls.emplace_back("Connect"), connects; }
    bool PrinterSendWakeupString() override { return calls.emplace_back("Wakeup"), true; }
    bool PrinterSend(const uint8_t* data, int32_t length) override {
        calls.push_back("Send " + Bytes(reinterpret_cast<const char*>(data), static_cast<size_t>(length)));
        return true;
    }
    bool PrinterFlush() override { return calls.emplace_back("Flush"), true; }
    void PrinterDisconnect() override { calls.emplace_back("Disconnect"); }
};

// COMDATAEVENT's fields: port, start, end, limit, time-out, then the data.
Bytes Com(const Bytes& port, const Bytes& start, const Bytes& end, const Bytes& limit, const Bytes& timeout,
          const Bytes& data) {
    return "d" + FD + port + FD + start + FD + end + FD + limit + FD + timeout + FD + data;
}

class PrintCommandsTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        // A pause while waiting for bytes moves the driven clock on.
        plat::input::SetSleepHook([](int ms) { g_now += static_cast<DWORD>(ms); });
    }
    void TearDown() override {
        plat::input::SetSleepHook(nullptr);
        CoreTest::TearDown();
    }
    std::vector<Bytes> Ask(const Bytes& payload, int mode = 0) {
        Send(payload, mode);
        return Replies(mode);
    }
    // The host asks for framing mode 1 (decimal lengths, 4 KiB segments).
    void EnterMode1() {
        Send("B" + FD + "1");
        Replies(0);
    }
    // Opens the port (raw from then on) with an exchange that sends and reads nothing.
    void OpenPort(const Bytes& port = "0") {
        EXPECT_EQ(Ask(Com(port, "", "", "0", "", "")), (std::vector<Bytes>{"d" + FD + "1" + FD}));
    }
    void WriteData(const std::string& name, const Bytes& content) {
        std::filesystem::create_directories(m_base / "DATA");
        std::ofstream(m_base / "DATA" / name, std::ios::binary) << content;
    }
};

TEST_F(PrintCommandsTest, ExchangeStoresFromTheStartByteToTheEndByte) {
    SerialPeer peer(u"COM1:");
    OpenPort();
    peer.Write("xx\x02" "AB\x03");
    for (int mode : {0, 1}) {
        if (mode == 1) {
            EnterMode1();
            peer.Write("yy\x02" "CD\x03");
        }
        const std::vector<Bytes> replies = Ask(Com("0", "\x02", "\x03", "100", "", "hello"), mode);
        EXPECT_EQ(replies, (std::vector<Bytes>{"d" + FD + "1" + FD + (mode ? "\x02" "CD\x03" : "\x02" "AB\x03")}));
        EXPECT_EQ(peer.Read(5), "hello");
    }
    // Without a start byte everything up to the end byte is stored.
    peer.Write("zz\x03!");
    EXPECT_EQ(Ask(Com("0", "", "\x03", "100", "", ""), 1), (std::vector<Bytes>{"d" + FD + "1" + FD + "zz\x03"}));
}

TEST_F(PrintCommandsTest, ExchangeEndsAtTheLimitOrTheTimeOut) {
    SerialPeer peer(u"COM1:");
    OpenPort();
    peer.Write("abcdef");
    EXPECT_EQ(Ask(Com("0", "", "", "3", "60000", "")), (std::vector<Bytes>{"d" + FD + "1" + FD + "abc"}));
    // A time-out of 0 reads at most one byte and counts as run out.
    EXPECT_EQ(Ask(Com("0", "", "", "3", "0", "")), (std::vector<Bytes>{"d" + FD + "-1" + FD + "d"}));
    // Nothing more comes: the time-out runs out with what there is.
    EXPECT_EQ(Ask(Com("0", "", "", "10", "250", "")), (std::vector<Bytes>{"d" + FD + "-1" + FD + "ef"}));
    EXPECT_GE(g_now - 100000, 250u);
}

TEST_F(PrintCommandsTest, DataIsUnescapedAndRunsToThePacketsEnd) {
    SerialPeer peer(u"COM1:");
    // A delimiter inside the data is data, not a command (no Ping reply).
    const std::vector<Bytes> replies = Ask(Com("0", "", "", "0", "", "A\\41G\\r\\n" + FF + "A" + FD + "x"));
    EXPECT_EQ(replies, (std::vector<Bytes>{"d" + FD + "1" + FD}));
    EXPECT_EQ(peer.Read(8), "AA\r\n\xFF" "A\xFD" "x");
}

TEST_F(PrintCommandsTest, LargeReceptionsArriveWholeAndLimitsAreClamped) {
    SerialPeer peer(u"COM1:");
    OpenPort();
    std::atomic<bool> stop{false};
    // The pseudo-terminal holds 4 KiB; the peer keeps it full.
    auto feed = [&](const Bytes& bytes) {
        return std::thread([&, bytes] {
            size_t at = 0;
            while (at < bytes.size() && !stop) {
                pollfd p{peer.Fd(), POLLOUT, 0};
                if (poll(&p, 1, 50) <= 0) continue;
                const ssize_t n = write(peer.Fd(), bytes.data() + at, bytes.size() - at);
                if (n > 0) at += static_cast<size_t>(n);
            }
        });
    };
    Bytes block(6000, 'x');
    block += "\x03";
    std::thread feeder = feed(block);
    for (int mode : {0, 1}) {
        if (mode == 1) {
            feeder.join();
            EnterMode1();
            feeder = feed(block);
        }
        const std::vector<Bytes> replies = Ask(Com("0", "", "\x03", "100000", "", ""), mode);
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies[0], "d" + FD + "1" + FD + block) << mode;
    }
    feeder.join();
    // -1 and an empty field both mean 4096 bytes.
    feeder = feed(Bytes(9000, 'y'));
    for (const Bytes limit : {"-1", ""}) {
        const std::vector<Bytes> replies = Ask(Com("0", "", "", limit, "", ""), 1);
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies[0].size(), 4 + 4096u) << limit;
    }
    stop = true;
    feeder.join();
    // A negative limit reads nothing.
    EXPECT_EQ(Ask(Com("0", "", "", "-5", "", ""), 1), (std::vector<Bytes>{"d" + FD + "1" + FD}));
}

TEST_F(PrintCommandsTest, PortFailuresAnswerZeroAndLeaveNoPortOpen) {
    // No device behind "COM3:".
    EXPECT_EQ(Ask(Com("2", "", "", "5", "", "x")), (std::vector<Bytes>{"d" + FD + "0"}));
    EXPECT_FALSE(m_core->Print().HasPort());
    {
        SerialPeer peer(u"COM1:");
        OpenPort();
        EXPECT_TRUE(m_core->Print().HasPort());
        peer.Hangup();
        EXPECT_EQ(Ask(Com("0", "", "", "5", "", "")), (std::vector<Bytes>{"d" + FD + "0"}));
        EXPECT_FALSE(m_core->Print().HasPort());
    }
    // The port is opened again by the next command.
    SerialPeer again(u"COM1:");
    EXPECT_EQ(Ask(Com("0", "", "", "0", "", "ok")), (std::vector<Bytes>{"d" + FD + "1" + FD}));
    EXPECT_EQ(again.Read(2), "ok");
}

TEST_F(PrintCommandsTest, AnotherPortNumberReopensThePort) {
    SerialPeer first(u"COM1:");
    SerialPeer second(u"COM2:");
    EXPECT_EQ(Ask(Com("0", "", "", "0", "", "one")), (std::vector<Bytes>{"d" + FD + "1" + FD}));
    EXPECT_EQ(Ask(Com("1", "", "", "0", "", "two")), (std::vector<Bytes>{"d" + FD + "1" + FD}));
    EXPECT_EQ(first.Read(3), "one");
    EXPECT_EQ(second.Read(3), "two");
    EXPECT_EQ(first.Pending(), "");
}

TEST_F(PrintCommandsTest, PollClosesThePortASecondAfterItsLastUse) {
    SerialPeer peer(u"COM1:");
    OpenPort();
    g_now += 1000;
    m_core->OnPoll();
    EXPECT_TRUE(m_core->Print().HasPort());
    g_now += 1;
    m_core->OnPoll();
    EXPECT_FALSE(m_core->Print().HasPort());
}

TEST_F(PrintCommandsTest, AQuittingThreadEndsTheWait) {
    SerialPeer peer(u"COM1:");
    OpenPort();
    PostQuitMessage(0);
    // No time-out and nothing to read: only WM_QUIT ends the wait.
    EXPECT_EQ(Ask(Com("0", "", "", "10", "", "")), (std::vector<Bytes>{"d" + FD + "1" + FD}));
    MSG msg;
    EXPECT_TRUE(PeekMessage(&msg, 0, WM_QUIT, WM_QUIT, PM_REMOVE));  // left for the program's loop
}

// The user ends the session while the exchange waits (the shell's
// Disconnect among the pumped messages): the wait ends and nothing is
// answered to the session that is gone.
TEST_F(PrintCommandsTest, TheSessionEndingEndsTheWait) {
    SerialPeer peer(u"COM1:");
    OpenPort();
    constexpr UINT kEndSession = WM_USER + 77;
    const HWND user = CreateMessageWindow([this](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == kEndSession) m_core->EndSession();
        return 0;
    });
    PostMessage(user, kEndSession, 0, 0);
    // Should the wait go on, a quit ends it after 10 s.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool quit = false;
    plat::input::SetSleepHook([&](int ms) {
        g_now += static_cast<DWORD>(ms);
        if (!quit && std::chrono::steady_clock::now() > giveUp) {
            quit = true;
            PostQuitMessage(0);
        }
    });
    EXPECT_TRUE(Ask(Com("0", "", "", "10", "", "")).empty());
    EXPECT_FALSE(quit);
    MSG msg;
    PeekMessage(&msg, 0, WM_QUIT, WM_QUIT, PM_REMOVE);
    DestroyWindow(user);
    // The next session's exchange runs as usual.
    peer.Write("ok");
    EXPECT_EQ(Ask(Com("0", "", "", "2", "", "")), (std::vector<Bytes>{"d" + FD + "1" + FD + "ok"}));
}

TEST_F(PrintCommandsTest, FourDataBitsAreLoggedAndRunAsFive) {
    StartLog();
    WriteData("Port0cfg.cfg", "7" + FD + "4" + FD + "0" + FD + "4" + FD + "0" + FD);
    SerialPeer peer(u"COM1:");
    OpenPort();
    EXPECT_NE(LogText().find("4 data bits have no setting; using 5"), std::string::npos);
    EXPECT_NE(LogText().find("COMDATAEVENT"), std::string::npos);
}

TEST(PortSettingsFile, FieldsMapToSettingsAndMissingOnesKeepTheirDefaults) {
    using P = plat::serial::Parity;
    struct Case {
        Bytes file;
        DWORD baud;
        int bits;
        bool two;
        P parity;
        bool xon, rts, four;
    };
    const Case cases[] = {
        {"", 19200, 8, false, P::None, false, false, false},
        {"7" + FD + "2" + FD + "1" + FD + "0" + FD + "1" + FD, 9600, 7, true, P::Even, true, false, false},
        {"0" + FD + "0" + FD + "0" + FD + "1" + FD + "2" + FD, 110, 5, false, P::Odd, false, true, false},
        {"10" + FD + "1" + FD + "0" + FD + "2" + FD, 110, 6, false, P::Mark, false, false, false},
        {"4" + FD + "4" + FD + "5" + FD + "3" + FD + "9" + FD, 1200, 5, false, P::Space, false, false, true},
        {"9" + FD, 38400, 8, false, P::None, false, false, false},
        // Unknown indexes keep the defaults.
        {"11" + FD + "5" + FD + "-1" + FD + "7" + FD, 19200, 8, false, P::None, false, false, false},
        {FD + FD + FD + "4" + FD, 19200, 8, false, P::None, false, false, false},
        // A field that is not a number reads as 0, as everywhere in the codec.
        {"x" + FD + "3", 110, 8, false, P::None, false, false, false},
    };
    for (const Case& c : cases) {
        bool four = !c.four;
        const plat::serial::PortSettings s =
            ParsePortSettings(reinterpret_cast<const uint8_t*>(c.file.data()), static_cast<int32_t>(c.file.size()), &four);
        EXPECT_EQ(s.baud, c.baud) << c.file;
        EXPECT_EQ(s.dataBits, c.bits) << c.file;
        EXPECT_EQ(s.twoStopBits, c.two) << c.file;
        EXPECT_EQ(s.parity, c.parity) << c.file;
        EXPECT_EQ(s.xonXoff, c.xon) << c.file;
        EXPECT_EQ(s.rts, c.rts) << c.file;
        EXPECT_EQ(four, c.four) << c.file;
    }
}

TEST_F(PrintCommandsTest, WithoutAPrinterLibraryPrintingGoesToTheFirstPort) {
    SerialPeer peer(u"COM1:");
    // RFAUX answers nothing; its escapes are expanded on this path.
    EXPECT_TRUE(Ask("6" + FD + "label\\r\\n" + FF + "x").empty());
    EXPECT_EQ(peer.Read(9), "label\r\n\xFF" "x");
    WriteData("job.prn", "0123456789");
    EXPECT_TRUE(Ask("7" + FD + "job.prn").empty());
    EXPECT_EQ(peer.Read(10), "0123456789");
    // A missing file prints nothing.
    EXPECT_TRUE(Ask("7" + FD + "none.prn").empty());
    // RFSPOOL: the file and the data, as many times as asked.
    EXPECT_EQ(Ask("c" + FD + "job.prn" + FD + "3" + FD + "ABCDE"), (std::vector<Bytes>{"c" + FD + "1"}));
    EXPECT_EQ(peer.Read(45), "0123456789ABCDE0123456789ABCDE0123456789ABCDE");
    EXPECT_EQ(Ask("c" + FD + "job.prn" + FD + "0" + FD + "x"), (std::vector<Bytes>{"c" + FD + "1"}));
    EXPECT_EQ(Ask("c" + FD + "job.prn" + FD + "-4" + FD + "x"), (std::vector<Bytes>{"c" + FD + "1"}));
    EXPECT_EQ(Ask("c" + FD + "none.prn" + FD + "1" + FD + "x"), (std::vector<Bytes>{"c" + FD + "-2"}));
    EXPECT_EQ(peer.Pending(), "");
}

// A link or a FIFO in DATA is no file to print: nothing is read through the
// link, nothing waits for a FIFO's writer, and RFSPOOL answers as for a
// missing file.
TEST_F(PrintCommandsTest, LinksAndFifosAreNotPrinted) {
    SerialPeer peer(u"COM1:");
    WriteData("secret.txt", "SECRET");
    const std::filesystem::path outside = m_base.parent_path() / ("orvade-outside-" + std::to_string(getpid()));
    std::ofstream(outside) << "OUTSIDE";
    std::filesystem::create_symlink(outside, m_base / "DATA" / "out.prn");
    std::filesystem::create_symlink(m_base / "DATA" / "secret.txt", m_base / "DATA" / "in.prn");
    ASSERT_EQ(mkfifo((m_base / "DATA" / "fifo.prn").c_str(), 0600), 0);
    for (const char* name : {"out.prn", "in.prn", "fifo.prn"}) {
        EXPECT_TRUE(Ask("7" + FD + name).empty()) << name;
        EXPECT_EQ(Ask("c" + FD + name + FD + "1" + FD + "x"), (std::vector<Bytes>{"c" + FD + "-2"})) << name;
    }
    EXPECT_EQ(peer.Pending(), "");
    std::filesystem::remove(outside);
}

TEST_F(PrintCommandsTest, PrintingOnAPortThatDoesNotOpenAnswersAsTheExchangeDoes) {
    // Kept: the print path answers 'd' FD "0" when the port cannot be opened.
    EXPECT_EQ(Ask("6" + FD + "x"), (std::vector<Bytes>{"d" + FD + "0"}));
    EXPECT_EQ(Ask("c" + FD + "" + FD + "1" + FD + "x"), (std::vector<Bytes>{"c" + FD + "-2"}));
    EnterMode1();
    EXPECT_EQ(Ask("6" + FD + "x", 1), (std::vector<Bytes>{"d" + FD + "0"}));
}

// One RFSPOOL prints at most as many copies as fit in the size limit of a
// print file (one at least).
TEST_F(PrintCommandsTest, SpoolingIsBoundedByTheSizeOfAPrintFile) {
    struct CountingPrinter : FakeDevices {
        int sends = 0;
        bool HasPrinter() override { return true; }
        bool PrinterConnect() override { return true; }
        bool PrinterSend(const uint8_t*, int32_t) override { return ++sends, true; }
    } printer;
    m_core->SetDevices(&printer);
    WriteData("big.prn", Bytes(3 * 1024 * 1024, 'x'));
    EXPECT_EQ(Ask("c" + FD + "big.prn" + FD + "1000" + FD + "!"), (std::vector<Bytes>{"c" + FD + "1"}));
    EXPECT_EQ(printer.sends, 2);
    // A file at the limit prints once, whatever the count.
    WriteData("max.prn", Bytes(CPrintCommands::kMaxPrintFile, 'y'));
    printer.sends = 0;
    EXPECT_EQ(Ask("c" + FD + "max.prn" + FD + "5" + FD + "!"), (std::vector<Bytes>{"c" + FD + "1"}));
    EXPECT_EQ(printer.sends, 1);
    m_core->SetDevices(nullptr);
    // Without a printer and without a port: each copy is answered as the print path answers.
    WriteData("job.prn", "0123456789");
    std::vector<Bytes> expected(50, "d" + FD + "0");
    expected.push_back("c" + FD + "1");
    EXPECT_EQ(Ask("c" + FD + "job.prn" + FD + "50" + FD + "!"), expected);
}

TEST_F(PrintCommandsTest, APrinterLibraryGetsTheBytesAsTheyAre) {
    RecordingPrinter printer;
    m_core->SetDevices(&printer);
    SerialPeer peer(u"COM1:");
    EXPECT_TRUE(Ask("6" + FD + "A\\41" + FF + "B").empty());
    WriteData("job.prn", "JOB");
    EXPECT_TRUE(Ask("7" + FD + "job.prn").empty());
    EXPECT_EQ(Ask("c" + FD + "job.prn" + FD + "2" + FD + "!"), (std::vector<Bytes>{"c" + FD + "1"}));
    const std::vector<Bytes> once = {"Connect", "Wakeup", "Send A\\41\xFF" "B", "Flush", "Disconnect"};
    std::vector<Bytes> expected = once;
    for (const char* job : {"JOB", "JOB!", "JOB!"})
        expected.insert(expected.end(), {"Connect", "Wakeup", "Send " + Bytes(job), "Flush", "Disconnect"});
    EXPECT_EQ(printer.calls, expected);
    // A printer that does not connect gets nothing more, and nothing is answered.
    printer.connects = false;
    printer.calls.clear();
    EXPECT_TRUE(Ask("6" + FD + "x").empty());
    EXPECT_EQ(printer.calls, (std::vector<Bytes>{"Connect"}));
    EXPECT_EQ(peer.Pending(), "");
    m_core->SetDevices(nullptr);
}

}  // namespace
}  // namespace coretest
