// The headless session tool, run as a program: its command line, and against a
// scripted host on 127.0.0.1. Protocol exchanges over standard input and output
// are data: tests/transcripts.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/RawPty.h"
#include "tests/tools/ToolProcess.h"

namespace {

using namespace tooltest;

// A host application on 127.0.0.1: listens on an ephemeral port, accepts the
// tool, sends framed commands and reads the framed replies.
class ScriptedHost {
public:
    ScriptedHost() {
        m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (bind(m_listen, reinterpret_cast<sockaddr*>(&addr), len) == 0 && listen(m_listen, 1) == 0 &&
            getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            m_port = ntohs(addr.sin_port);
    }
    ~ScriptedHost() {
        if (m_conn >= 0) close(m_conn);
        if (m_listen >= 0) close(m_listen);
    }
    std::string Endpoint() const { return "127.0.0.1:" + std::to_string(m_port); }

    bool Accept() {
        pollfd p{m_listen, POLLIN, 0};
        if (poll(&p, 1, kWaitMs) != 1) return false;
        m_conn = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        return m_conn >= 0;
    }
    void Send(const Bytes& wire) {
        for (size_t done = 0; done < wire.size();) {
            ssize_t n = send(m_conn, wire.data() + done, wire.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }
    void SetReplyMode(int mode) { m_reader.SetMode(mode); }
    // The next reply; empty when the connection ended or the bound passed first.
    Bytes Reply() {
        Bytes packet;
        const int64_t deadline = NowMs() + kWaitMs;
        while (!m_reader.Next(m_pending, packet)) {
            if (!Receive(deadline)) return {};
        }
        return packet;
    }
    // True when a whole reply comes within the time given.
    bool ReplyWithin(int ms) {
        Bytes packet;
        const int64_t deadline = NowMs() + ms;
        while (!m_reader.Next(m_pending, packet)) {
            if (!Receive(deadline)) return false;
        }
        return true;
    }
    // True when the tool closes the connection with no further bytes.
    bool ClosedByPeer() {
        const int64_t deadline = NowMs() + kWaitMs;
        while (Receive(deadline)) {
        }
        return m_closed && m_pending.empty();
    }
    void Close() {
        shutdown(m_conn, SHUT_RDWR);
        close(m_conn);
        m_conn = -1;
    }

private:
    bool Receive(int64_t deadline) {
        pollfd p{m_conn, POLLIN, 0};
        int wait = static_cast<int>(std::max<int64_t>(0, deadline - NowMs()));
        if (poll(&p, 1, wait) != 1) return false;
        char buf[8192];
        ssize_t n = recv(m_conn, buf, sizeof buf, 0);
        if (n <= 0) {
            m_closed = true;
            return false;
        }
        m_pending.append(buf, static_cast<size_t>(n));
        return true;
    }

    int m_listen = -1, m_conn = -1;
    uint16_t m_port = 0;
    Bytes m_pending;
    bool m_closed = false;
    ReplyReader m_reader;
};

using testsupport::OpenRawPty;

class HeadlessSession : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/headless-session-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string WriteFile(const std::string& name, const std::string& content) {
        std::string path = m_dir + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::vector<std::string> Args(std::vector<std::string> args) {
        std::filesystem::create_directories(m_dir + "/device");
        args.insert(args.end(), {"--device-root", m_dir + "/device"});
        return args;
    }

    std::string m_dir;
};

TEST_F(HeadlessSession, ConnectModeAnswersAScriptedHostUntilDisconnect) {
    ScriptedHost host;
    Tool tool(Args({"--connect", host.Endpoint()}));
    ASSERT_TRUE(tool.Started());
    ASSERT_TRUE(host.Accept());

    host.Send(Frame(0, Cmd('A', "x")));
    EXPECT_EQ(host.Reply(), Cmd('A', "x"));

    host.Send(Frame(0, Cmd('B')));
    Bytes info = host.Reply();
    ASSERT_EQ(info.substr(0, 2), "B\xFD");
    std::vector<Bytes> values = SubFields(info);
    ASSERT_EQ(values.size(), 19u);
    EXPECT_EQ(values[0], "8004");  // terminal id
    EXPECT_EQ(values[11], "127.0.0.1");  // this end's address, as the shell reports it

    // Framing mode 1 asked for: answered in mode 0, later replies in mode 1.
    host.Send(Frame(0, Cmd('B', "1")));
    values = SubFields(host.Reply());
    ASSERT_EQ(values.size(), 20u);
    EXPECT_EQ(values.back(), "1");
    host.SetReplyMode(1);
    Bytes big(300, 'p');
    host.Send(Frame(1, Cmd('A', big)));
    EXPECT_EQ(host.Reply(), Cmd('A', big));

    host.Send(Frame(1, Cmd('9')));
    EXPECT_TRUE(host.ClosedByPeer());
    Finished f = tool.Wait();
    EXPECT_EQ(f.status, 0) << f.err;
}

TEST_F(HeadlessSession, ConnectModeEndsWhenTheHostClosesTheConnection) {
    ScriptedHost host;
    Tool tool(Args({"--connect", host.Endpoint()}));
    ASSERT_TRUE(tool.Started());
    ASSERT_TRUE(host.Accept());
    // A packet split across two sends is answered once it is whole.
    Bytes wire = Frame(0, Cmd('A', "split"));
    host.Send(wire.substr(0, 4));
    host.Send(wire.substr(4));
    EXPECT_EQ(host.Reply(), Cmd('A', "split"));
    host.Close();
    Finished f = tool.Wait();
    EXPECT_EQ(f.status, 0) << f.err;
}

// A command that waits (serial bytes that never come, a program that runs on)
// ends with the session: the tool is gone soon after the host closes, whether
// or not the host sent Disconnect first.
TEST_F(HeadlessSession, AWaitingCommandEndsWhenTheHostCloses) {
    std::string slave;
    const int master = OpenRawPty(slave);
    ASSERT_GE(master, 0);
    std::filesystem::create_directories(m_dir + "/device/bin");
    const std::string slow = m_dir + "/device/bin/slow";
    std::ofstream(slow) << "#!/bin/sh\nexec >/dev/null 2>&1 </dev/null; exec sleep 30\n";
    chmod(slow.c_str(), 0755);
    const struct {
        const char* name;
        Bytes command;
    } cases[] = {
        {"COMDATAEVENT without a time-out", Cmd('d', "0\xFD\xFD\xFD" "10\xFD\xFDping")},
        {"COMDATAEVENT with a long time-out", Cmd('d', "0\xFD\xFD\xFD" "10\xFD" "600000\xFDping")},
        {"SYSTEMCALL of a long program", Cmd('U', "\\bin\\slow")},
    };
    for (const auto& c : cases) {
        for (bool disconnect : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (disconnect ? ", Disconnect sent" : ""));
            ScriptedHost host;
            Tool tool(Args({"--connect", host.Endpoint(), "--serial-port", "COM1:=" + slave}));
            ASSERT_TRUE(tool.Started());
            ASSERT_TRUE(host.Accept());
            host.Send(Frame(0, c.command));
            host.Send(Frame(0, Cmd('A', "x")));
            EXPECT_FALSE(host.ReplyWithin(300)) << "the command did not wait";
            if (disconnect) host.Send(Frame(0, Cmd('9')));
            const int64_t closed = NowMs();
            host.Close();
            Finished f = tool.Wait();
            EXPECT_EQ(f.status, 0) << f.err;
            // The waits last 30 s or for ever; a loaded machine (or a
            // sanitizer) may add seconds to the end.
            EXPECT_LT(NowMs() - closed, 15000);
        }
    }
    close(master);
}

// The answers to the commands before one that waits for serial bytes go out
// while it waits, as the device sends each packet's answer when it is made;
// a host that then closes ends the session as a close does (status 0).
TEST_F(HeadlessSession, AnswersGoOutWhileALaterCommandWaitsForSerialBytes) {
    std::string slave;
    const int master = OpenRawPty(slave);
    ASSERT_GE(master, 0);
    ScriptedHost host;
    Tool tool(Args({"--connect", host.Endpoint(), "--serial-port", "COM1:=" + slave}));
    ASSERT_TRUE(tool.Started());
    ASSERT_TRUE(host.Accept());
    host.Send(Frame(0, Cmd('A', "x")) + Frame(0, Cmd('d', "0\xFD\xFD\xFD" "10\xFD\xFDping")));
    EXPECT_EQ(host.Reply(), Cmd('A', "x"));
    host.Close();
    Finished f = tool.Wait();
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(f.err.find("headless-session:"), std::string::npos) << f.err;  // nothing to complain of
    close(master);
}

TEST_F(HeadlessSession, PollEndsAFieldAtItsTimeOut) {
    ScriptedHost host;
    Tool tool(Args({"--connect", host.Endpoint()}));
    ASSERT_TRUE(tool.Started());
    ASSERT_TRUE(host.Accept());
    // RfInput: no default text, length 3 at (0, 0), no flags, pad '_', no
    // terminators, a time-out of 1 second. Nothing is typed.
    Bytes fields;
    for (const char* f : {"", "3", "0", "0", "", "0", "0", "0", "", "", "1"}) fields += std::string(f) + "\xFD";
    host.Send(Frame(0, Cmd('5', fields)));
    EXPECT_EQ(host.Reply(), Cmd('9'));
    host.Send(Frame(0, Cmd('9')));
    EXPECT_TRUE(host.ClosedByPeer());
    EXPECT_EQ(tool.Wait().status, 0);
}

TEST_F(HeadlessSession, TheErrorBoxAnswersAtItsTimeOut) {
    ScriptedHost host;
    Tool tool(Args({"--connect", host.Endpoint()}));
    ASSERT_TRUE(tool.Started());
    ASSERT_TRUE(host.Accept());
    // RFERROR: 5 columns, one line, a time-out of 1 second; answered when the box closes.
    host.Send(Frame(0, Cmd('V', "5\xFE" "1\xFE" "1\xFE" "oops\xFD")));
    EXPECT_EQ(host.Reply(), Cmd('V', "1"));
    host.Send(Frame(0, Cmd('A', "after")));
    EXPECT_EQ(host.Reply(), Cmd('A', "after"));
    host.Send(Frame(0, Cmd('9')));
    EXPECT_TRUE(host.ClosedByPeer());
    EXPECT_EQ(tool.Wait().status, 0);
}

TEST_F(HeadlessSession, ScriptedInputPastTheQueueIsReportedWithTheEventsDropped) {
    std::string script;
    for (int i = 0; i < 130; ++i) script += "scan 4711\n";
    const std::string log = m_dir + "/session.log";
    Finished f = RunTool(Args({"--stdio", "--input", WriteFile("many.txt", script), "--log", log}), Frame(0, Cmd('A', "x")));
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_NE(f.err.find("scripted input: 30 events dropped, the input queue holds 100"), std::string::npos) << f.err;
    EXPECT_NE(ReadAll(log).find("scripted input: 30 events dropped"), std::string::npos);
    // A script the queue holds is not reported.
    f = RunTool(Args({"--stdio", "--input", WriteFile("few.txt", "scan 1\n")}), Frame(0, Cmd('A', "x")));
    EXPECT_EQ(f.err.find("dropped"), std::string::npos) << f.err;
}

// The boxes nobody sees in the tool are written on standard error and in the
// log, with the answer given or why none can be.
TEST_F(HeadlessSession, EachBoxIsToldWithItsAnswerOrWhyNoneComes) {
    std::filesystem::create_directories(m_dir + "/device/Session/MENUS");
    WriteFile("device/Session/MENUS/M.MNU", "1\xFE" "1\xFE" "10\xFE" "5\xFETitle\xFDSecond\xFD\xFEOne\xFDTwo\xFD");
    const std::string log = m_dir + "/session.log";
    const struct {
        Bytes command;
        Bytes reply;  // what the host gets meanwhile
        std::string told;
    } cases[] = {
        {Cmd('k', "Bye now"), Cmd('k', "1"), "message box \"Orvade\": Bye now; answered OK"},
        {Cmd('V', "20\xFE" "2\xFE" "1\xFE" "Disk full\xFD" "Call IT"), "",
         "error box \"Disk full / Call IT\": it closes after its time-out of 1 s, and its answer goes then"},
        {Cmd('V', "20\xFE" "1\xFE" "0\xFEStop"), "",
         "error box \"Stop\": no answer can be given: it waits for OK, Enter or Escape, and no user is there"},
        {Cmd('M', "M.MNU"), "",
         "menu box \"Title / Second\" (1 One, 2 Two): no answer can be given: an item is chosen by a tap or a key"},
        {Cmd('p', "1"), "",
         "signature screen: no answer can be given: it has no strokes, and no user taps OK or Cancel"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told);
        Finished f = RunTool(Args({"--stdio", "--log", log}), Frame(0, c.command));
        EXPECT_EQ(f.status, 0) << f.err;
        EXPECT_EQ(Unframe(f.out), c.reply.empty() ? std::vector<Bytes>{} : std::vector<Bytes>{c.reply});
        EXPECT_NE(f.err.find("headless-session: " + c.told), std::string::npos) << f.err;
        EXPECT_NE(ReadAll(log).find("headless-session: " + c.told), std::string::npos) << ReadAll(log);
    }
}

TEST_F(HeadlessSession, MalformedInputLineIsNamedBeforeTheSessionStarts) {
    const struct {
        const char* script;
        const char* line;
    } cases[] = {
        {"key 112\n# fine\nkey x\n", "line 3"},
        {"text\n", "line 1"},
        {"key 300\n", "line 1"},
        {"\nclick 1\n", "line 2"},
        {"scan \n", "line 1"},
    };
    for (const auto& c : cases) {
        Finished f = RunTool(Args({"--stdio", "--input", WriteFile("bad.txt", c.script)}), Frame(0, Cmd('A', "x")));
        EXPECT_EQ(f.status, 2) << c.script;
        EXPECT_NE(f.err.find(c.line), std::string::npos) << f.err;
        EXPECT_TRUE(f.out.empty()) << c.script;  // no session ran
    }
}

TEST_F(HeadlessSession, CommandLineAndConnectErrors) {
    // A port with nothing listening: bound, never listened on.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), len), 0);
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const std::string refused = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));

    const std::string script = WriteFile("input.txt", "key 13\n");
    const std::string huge = WriteFile("huge.txt", std::string(1024 * 1024 + 1, '#'));
    std::filesystem::create_directories(m_dir + "/folder");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--stdio", "--input", "/dev/zero"}, 2, "not a regular file"},
        {{"--stdio", "--input", m_dir + "/folder"}, 2, "not a regular file"},
        {{"--stdio", "--input", huge}, 2, "larger than 1048576 bytes"},
        {{"--stdio", "--input", script, "--log", script}, 2, "the same file"},
        {{"--stdio", "--log", m_dir + "/missing/session.log"}, 2, "cannot write the log file"},
        {{"--stdio", "--log", m_dir + "/folder"}, 2, "cannot write the log file"},
        {{"--stdio", "--device-root", script}, 2, "is not a directory"},
        {{"--stdio", "--device-root", "/proc/orvade-missing/root"}, 2, "cannot create the device root"},
        {{"--connect", refused}, 1, "cannot connect to 127.0.0.1:"},
        {{"--connect", "127.0.0.1"}, 2, "HOST:PORT"},
        {{"--connect", "127.0.0.1:0"}, 2, "HOST:PORT"},
        {{"--connect", "127.0.0.1:65536"}, 2, "HOST:PORT"},
        {{"--connect", "::1:1000"}, 2, "IPv6 address in brackets"},
        {{"--stdio", "--connect", refused}, 2, "either"},
        {{}, 2, "--connect HOST:PORT or --stdio"},
        {{"--stdio", "--log"}, 2, "--log needs a value"},
        {{"--stdio", "--bogus"}, 2, "unknown argument '--bogus'"},
        {{"--stdio", "--input", "/nonexistent/input.txt"}, 2, "/nonexistent/input.txt"},
        {{"--stdio", "--serial-port", "COM0:=/dev/ttyS0"}, 2, "--serial-port needs COMn:=PATH"},
        {{"--stdio", "--serial-port", "COM256:=/dev/ttyS0"}, 2, "--serial-port needs COMn:=PATH"},
        {{"--stdio", "--serial-port", "COM1=/dev/ttyS0"}, 2, "--serial-port needs COMn:=PATH"},
        {{"--stdio", "--serial-port", "COM1:=dev/ttyS0"}, 2, "--serial-port needs COMn:=PATH"},
        {{"--stdio", "--serial-port", "COM1:"}, 2, "--serial-port needs COMn:=PATH"},
        {{"--stdio", "--serial-port=COM1:=/dev/a", "--serial-port", "COM1:=/dev/b"}, 2, "COM1: is given twice"},
    };
    for (const auto& c : cases) {
        Finished f = RunTool(c.args);
        EXPECT_EQ(f.status, c.status) << c.args.size();
        EXPECT_NE(f.err.find(c.message), std::string::npos) << f.err;
    }
    EXPECT_EQ(ReadAll(script), "key 13\n");

    // A device root from the environment is checked as the option's is.
    setenv("ORVADE_DEVICE_ROOT", script.c_str(), 1);
    Finished fromEnvironment = RunTool({"--stdio"});
    unsetenv("ORVADE_DEVICE_ROOT");
    EXPECT_EQ(fromEnvironment.status, 2);
    EXPECT_NE(fromEnvironment.err.find("the device root '" + script + "' is not a directory"), std::string::npos)
        << fromEnvironment.err;

    // Nothing is created or emptied before the connection is made.
    const std::string log = WriteFile("kept.log", "earlier log");
    Finished f = RunTool({"--connect", refused, "--device-root", m_dir + "/new-root", "--log", log});
    EXPECT_EQ(f.status, 1) << f.err;
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/new-root"));
    EXPECT_EQ(ReadAll(log), "earlier log");
    close(fd);
}

TEST_F(HeadlessSession, ClosedStandardStreamIsRefusedNotTakenByAnotherFile) {
    // Closed standard input or output would be reused by the first descriptor
    // the tool opens: the session would read its own wake descriptor (and
    // hang) or write replies into it.
    for (int closed : {0, 1}) {
        Tool tool(Args({"--stdio"}), {closed});
        ASSERT_TRUE(tool.Started());
        tool.Input(Frame(0, Cmd('A', "x")));
        Finished f = tool.Wait();
        EXPECT_EQ(f.status, 2) << closed;
        EXPECT_NE(f.err.find("standard input and output"), std::string::npos) << f.err;
    }
    // Closed standard error: the session runs, its complaints go nowhere.
    Tool tool(Args({"--stdio"}), {2});
    tool.Input(Frame(0, Cmd('A', "x")));
    Finished f = tool.Wait();
    EXPECT_EQ(f.status, 0);
    EXPECT_EQ(Unframe(f.out), std::vector<Bytes>{Cmd('A', "x")});
}

TEST_F(HeadlessSession, LoadsTheLibrariesOfItsProgramFolderAsTheDeviceDoes) {
    // A program folder of the device root other than the default.
    const std::string program = m_dir + "/device/Apps/Client";
    std::filesystem::create_directories(program + "/Ext");
    std::filesystem::create_directories(program + "/AUTO");
    std::filesystem::copy_file(std::string(FIXTURE_DIR) + "/FakeDevice.dll", program + "/Ext/FakeDevice.dll");
    std::filesystem::copy_file(std::string(FIXTURE_DIR) + "/FakeAutoType1.dll", program + "/AUTO/Auto.dll");
    const std::string log = m_dir + "/session.log";
    Finished f = RunTool(Args({"--stdio", "--program-folder", "\\Apps\\Client", "--log", log}), Frame(0, Cmd('B')));
    ASSERT_EQ(f.status, 0) << f.err;
    std::vector<Bytes> values = SubFields(f.out.substr(f.out.find("B\xFD")));
    ASSERT_GE(values.size(), 7u);
    EXPECT_EQ(values[0], "4711");  // the device-control library's id
    EXPECT_EQ(values[5], "3");     // its keyboard state
    EXPECT_EQ(values[6], "-1");    // the key time-out it does not export
    std::ifstream in(log, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(content.find("Automation DLL type: 1"), std::string::npos);

    f = RunTool(Args({"--stdio", "--program-folder", "\\Missing"}));
    EXPECT_EQ(f.status, 2);
    EXPECT_NE(f.err.find("program folder"), std::string::npos);
    f = RunTool(Args({"--stdio", "--program-folder", "/Apps/Client"}));
    EXPECT_EQ(f.status, 2);
    EXPECT_NE(f.err.find("a device path such as \\Program Files\\Orvade Client"), std::string::npos) << f.err;
}

// A serial port of this machine (here a pseudo-terminal) given on the command
// line answers the host's serial exchange.
TEST_F(HeadlessSession, SerialPortsOfTheCommandLineAnswerTheHost) {
    std::string slave;
    const int master = OpenRawPty(slave);
    ASSERT_GE(master, 0);
    ASSERT_EQ(write(master, "xxpong!", 7), 7);
    Finished f = RunTool(Args({"--stdio", "--serial-port", "COM2:=" + slave}),
                         Frame(0, Cmd('d', "1\xFDp\xFD!\xFD" "10\xFD" "5000\xFDping")));
    ASSERT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(Unframe(f.out), std::vector<Bytes>{Cmd('d', "1\xFDpong!")});
    char got[8] = {};
    pollfd p{master, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, kWaitMs), 1);
    EXPECT_EQ(std::string(got, static_cast<size_t>(read(master, got, sizeof got))), "ping");
    // The map stays in the device root's registry; an unmapped port answers "0".
    f = RunTool(Args({"--stdio"}), Frame(0, Cmd('d', "2\xFD\xFD\xFD" "0\xFD" "0\xFDx")));
    EXPECT_EQ(Unframe(f.out), std::vector<Bytes>{Cmd('d', "0")});
    // A port mapped to a link to the terminal is no port: it answers "0" and
    // nothing reaches the terminal.
    const int held = open(slave.c_str(), O_RDWR | O_NOCTTY);  // the terminal does not hang up
    ASSERT_GE(held, 0);
    const std::string link = m_dir + "/port-link";
    ASSERT_EQ(symlink(slave.c_str(), link.c_str()), 0);
    f = RunTool(Args({"--stdio", "--serial-port", "COM3:=" + link}),
                Frame(0, Cmd('d', "2\xFD\xFD\xFD" "0\xFD" "0\xFDleak")));
    EXPECT_EQ(Unframe(f.out), std::vector<Bytes>{Cmd('d', "0")}) << f.err;
    EXPECT_EQ(poll(&p, 1, 100), 0);
    close(held);
    close(master);
}

TEST_F(HeadlessSession, HelpDocumentsTheInterface) {
    Finished f = RunTool({"--help"});
    EXPECT_EQ(f.status, 0);
    for (const char* text : {"--connect HOST:PORT", "--stdio", "--device-root DIR", "--program-folder PATH",
                             "--input FILE", "--log FILE", "--serial-port COMn:=PATH",
                             "key N", "text S", "scan S", "DIR/Session", "Exit status"})
        EXPECT_NE(f.out.find(text), std::string::npos) << text;
}

TEST_F(HeadlessSession, LogFileRecordsTheTraffic) {
    std::string log = m_dir + "/session.log";
    Finished f = RunTool(Args({"--stdio", "--log", log}), Frame(0, Cmd('A', "logged")));
    EXPECT_EQ(f.status, 0) << f.err;
    std::ifstream in(log, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(content.find("Received data:"), std::string::npos);
    EXPECT_NE(content.find("Sending data:"), std::string::npos);
    // The log is written where it was asked for: nothing of it in the device root.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dir + "/device"))
        EXPECT_FALSE(entry.is_symlink() || entry.path().extension() == ".log") << entry.path();
}

}  // namespace

namespace {
// A number from a /proc file of the process: the value after "key".
long ProcValue(pid_t pid, const char* file, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    return -1;
}
}  // namespace

TEST_F(HeadlessSession, RepliesToOneInputLeaveInOneWriteAndIdleWaitsDoNotPoll) {
    Tool tool(Args({"--stdio"}));
    ASSERT_TRUE(tool.Started());
    // A 1000-byte Ping in mode 0 is answered in 10 segments of 100 bytes and one of 1.
    Bytes ping = Cmd('A', Bytes(998, 'p'));
    Bytes request;
    for (size_t at = 0; at < ping.size(); at += 100) {
        const Bytes chunk = ping.substr(at, 100);
        request += Bytes("\x02") + static_cast<char>(chunk.size()) + "\x03" + chunk + (at + 100 >= ping.size() ? "\x17" : "\x03");
    }
    tool.Input(request, false);
    ASSERT_EQ(tool.ReadOut(request.size()), request);  // the echo is framed as the request was
    const long writes = ProcValue(tool.Pid(), "io", "syscw: ");
    const long wakes = ProcValue(tool.Pid(), "status", "voluntary_ctxt_switches:");
    ASSERT_GE(writes, 0);
    // Idle for a second: the 50 ms poll timer wakes it, nothing else does.
    usleep(1000 * 1000);
    EXPECT_LE(ProcValue(tool.Pid(), "status", "voluntary_ctxt_switches:") - wakes, 40);
    tool.Input(request, false);
    ASSERT_EQ(tool.ReadOut(request.size()), request);
    EXPECT_EQ(ProcValue(tool.Pid(), "io", "syscw: ") - writes, 1);
}

TEST_F(HeadlessSession, AnswersThroughTheControlWithoutLoadingQt) {
    // The tool hosts the client control, registered in the device root's
    // registry (SQLite), and shows nothing: a session that only pings loads
    // neither the control's screen view nor any Qt library (the session font
    // is measured when a session first uses its screen); QtCore waits for a
    // character beyond ASCII. Its start time depends on it.
    Tool tool(Args({"--stdio"}));
    ASSERT_TRUE(tool.Started());
    const Bytes ping = Frame(0, Cmd('A', "x"));
    tool.Input(ping, false);
    ASSERT_EQ(tool.ReadOut(ping.size()), ping);
    std::ifstream maps("/proc/" + std::to_string(tool.Pid()) + "/maps");
    std::stringstream loaded;
    loaded << maps.rdbuf();
    for (const char* library : {"liborvade_platform.so", "Ravelcore.dll", "liborvade_sqlite"})
        EXPECT_NE(loaded.str().find(library), std::string::npos) << library;
    for (const char* library : {"liborvade_screen_view", "libQt6Gui", "libQt6Widgets", "libQt6Core"})
        EXPECT_EQ(loaded.str().find(library), std::string::npos) << library;
}

TEST_F(HeadlessSession, TheRegistryIsLeftWholeWithAnEmptyLogAndReadWithoutAWrite) {
    // The first session registers the control; at its end the registry's
    // log is folded into the database, so the next start replays nothing.
    const Bytes ping = Frame(0, Cmd('A', "x"));
    Finished first = RunTool(Args({"--stdio"}), ping);
    ASSERT_EQ(first.status, 0) << first.err;
    const std::string db = m_dir + "/device/Windows/Registry.db";
    EXPECT_EQ(ReadAll(db + "-wal"), "");
    const std::string registered = ReadAll(db);
    ASSERT_FALSE(registered.empty());
    // A session on that registry creates the control from it and writes nothing.
    Finished second = RunTool(Args({"--stdio"}), ping);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, ping);
    EXPECT_EQ(ReadAll(db), registered);
    EXPECT_EQ(ReadAll(db + "-wal"), "");
}

TEST_F(HeadlessSession, ARegistryTheControlCannotBeRegisteredInEndsWithAnError) {
    // A registry file that is not this system's is refused: the control
    // cannot be registered nor created, and no session runs.
    std::filesystem::create_directories(m_dir + "/device/Windows");
    WriteFile("device/Windows/Registry.db", std::string(4096, 'x'));
    Finished f = RunTool(Args({"--stdio"}), Frame(0, Cmd('A', "x")));
    EXPECT_EQ(f.status, 1);
    EXPECT_NE(f.err.find("cannot register Ravelcore.dll in the device root's registry"), std::string::npos) << f.err;
    EXPECT_TRUE(f.out.empty());
    EXPECT_EQ(ReadAll(m_dir + "/device/Windows/Registry.db"), std::string(4096, 'x'));
}

TEST_F(HeadlessSession, ManyLargeRepliesToOneShortInputAreNotAllHeldAtOnce) {
    // 200 fetches of a 1 MiB file in a 2.6 KB input: 200 MiB of replies. The
    // tool writes them as they come instead of gathering them all for one write.
    constexpr size_t kFileBytes = 1 << 20;
    constexpr int kFetches = 200;
    std::filesystem::create_directories(m_dir + "/device/Session/DATA");
    WriteFile("device/Session/DATA/big.bin", Bytes(kFileBytes, 'b'));
    Bytes input;
    for (int i = 0; i < kFetches; ++i) input += Frame(0, Cmd('G', "big.bin"));
    // Mode 0: segments of at most 100 bytes, each with 4 bytes of framing.
    const size_t payload = 2 + kFileBytes;
    const size_t replyBytes = payload + 4 * ((payload + 99) / 100);

    // Freed replies kept back by the address sanitizer would count as held.
    const char* old = getenv("ASAN_OPTIONS");
    const std::string saved = old ? old : "";
    setenv("ASAN_OPTIONS", (saved + (saved.empty() ? "" : ":") + "quarantine_size_mb=1").c_str(), 1);
    Tool tool(Args({"--stdio"}));
    if (old) setenv("ASAN_OPTIONS", saved.c_str(), 1);
    else unsetenv("ASAN_OPTIONS");
    ASSERT_TRUE(tool.Started());
    tool.Input(input, false);
    for (int i = 0; i < kFetches; ++i) ASSERT_EQ(tool.ReadOut(replyBytes).size(), replyBytes) << i;
    const long peakKb = ProcValue(tool.Pid(), "status", "VmHWM:");
    ASSERT_GT(peakKb, 0);
    EXPECT_LT(peakKb, 100 * 1024);
}

TEST_F(HeadlessSession, ManyLargeRepliesToAConnectedHostThatStopsReadingHoldBoundedMemory) {
    // One short packet of 100 fetches of a 4 MiB file, and a host that reads
    // nothing: the tool waits for the host instead of making every reply.
    std::filesystem::create_directories(m_dir + "/device/Session/DATA");
    WriteFile("device/Session/DATA/big.bin", Bytes(size_t(4) << 20, 'b'));
    ScriptedHost host;
    Tool tool(Args({"--connect", host.Endpoint()}));
    ASSERT_TRUE(tool.Started());
    ASSERT_TRUE(host.Accept());
    host.Send(Frame(0, Cmd('A', "x")));
    ASSERT_EQ(host.Reply(), Cmd('A', "x"));
    const long restingKb = ProcValue(tool.Pid(), "status", "VmRSS:");
    ASSERT_GT(restingKb, 0);
    Bytes fetches;
    for (int i = 0; i < 100; ++i) fetches += (i ? "\xFF" : "") + Cmd('G', "big.bin");
    host.Send(Frame(0, fetches));
    std::this_thread::sleep_for(std::chrono::seconds(6));
    const long grownKb = ProcValue(tool.Pid(), "status", "VmHWM:") - restingKb;
    EXPECT_LE(grownKb, 64 * 1024) << "grew " << grownKb << " KiB";
    // Still at work, waiting for the host.
    EXPECT_EQ(waitpid(tool.Pid(), nullptr, WNOHANG), 0);
}
