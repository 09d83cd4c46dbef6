// The headless session tool, run as a program: against a scripted host on
// 127.0.0.1 and through standard input and output.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/PacketFramer.h"

extern char** environ;

namespace {

using Bytes = std::string;  // wire bytes
constexpr int kWaitMs = 20000;  // bound of every wait; never reached when things work

Bytes Cmd(char code, const Bytes& fields = "") { return Bytes(1, code) + "\xFD" + fields; }

// One packet in one segment, as a host frames it.
Bytes Frame(int mode, const Bytes& payload) {
    Bytes header = "\x02";
    if (mode == 0) header += static_cast<char>(payload.size());
    else header += std::to_string(payload.size());
    return header + "\x03" + payload + "\x17";
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Replies as whole packets, in the framing mode the test says is in force.
class ReplyReader {
public:
    void SetMode(int mode) { m_framer.SetMode(mode); }
    // Parses what has arrived; true when a packet is complete.
    bool Next(Bytes& input, Bytes& packet) {
        int32_t pos = 0;
        CPacket* p = nullptr;
        while (!p && pos < static_cast<int32_t>(input.size()))
            p = m_framer.Parse(reinterpret_cast<const uint8_t*>(input.data()), pos,
                                   static_cast<int32_t>(input.size()));
        input.erase(0, static_cast<size_t>(pos));
        if (!p) return false;
        packet.assign(reinterpret_cast<const char*>(p->GetData()), static_cast<size_t>(p->GetLength()));
        return true;
    }

private:
    CPacketFramer m_framer{nullptr, nullptr, 0};
};

// All replies of a byte stream in one framing mode.
std::vector<Bytes> Unframe(Bytes wire, int mode = 0) {
    ReplyReader reader;
    reader.SetMode(mode);
    std::vector<Bytes> packets;
    Bytes p;
    while (reader.Next(wire, p)) packets.push_back(p);
    return packets;
}

std::vector<Bytes> SubFields(const Bytes& reply) {
    std::vector<Bytes> out;
    size_t start = reply.find('\xFD');
    start = start == Bytes::npos ? reply.size() : start + 1;
    while (start < reply.size()) {
        size_t end = reply.find('\xFC', start);
        if (end == Bytes::npos) end = reply.size();
        out.push_back(reply.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

struct Finished {
    int status = -1;  // exit status; -1 when the tool had to be killed
    Bytes out, err;
};

// The tool as a child process with pipes on its standard streams.
class Tool {
public:
    explicit Tool(const std::vector<std::string>& args) {
        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<char*> argv{const_cast<char*>(HEADLESS_SESSION_PATH)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, HEADLESS_SESSION_PATH, &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        close(err[1]);
        m_in = in[1];
        m_out = out[0];
        m_err = err[0];
    }
    ~Tool() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        for (int fd : {m_in, m_out, m_err})
            if (fd >= 0) close(fd);
    }
    bool Started() const { return m_pid > 0; }

    // Writes to its standard input, then closes it when asked.
    void Input(const Bytes& bytes, bool close_ = true) {
        signal(SIGPIPE, SIG_IGN);
        for (size_t done = 0; done < bytes.size();) {
            ssize_t n = write(m_in, bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        if (close_) {
            close(m_in);
            m_in = -1;
        }
    }

    // Collects its output until it exits; kills it after the bound.
    Finished Wait() {
        Finished f;
        const int64_t deadline = NowMs() + kWaitMs;
        while ((m_out >= 0 || m_err >= 0) && NowMs() < deadline) {
            pollfd p[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
            if (poll(p, 2, 100) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                int& fd = i == 0 ? m_out : m_err;
                if (fd < 0 || !(p[i].revents & (POLLIN | POLLHUP))) continue;
                char buf[4096];
                ssize_t n = read(fd, buf, sizeof buf);
                if (n > 0) (i == 0 ? f.out : f.err).append(buf, static_cast<size_t>(n));
                else {
                    close(fd);
                    fd = -1;
                }
            }
        }
        int status = 0;
        for (;;) {
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                f.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                m_pid = -1;
                break;
            }
            if (NowMs() >= deadline) break;  // the destructor kills it
            usleep(2000);
        }
        return f;
    }

private:
    pid_t m_pid = -1;
    int m_in = -1, m_out = -1, m_err = -1;
};

// Runs the tool to its end with the given standard input.
Finished RunTool(const std::vector<std::string>& args, const Bytes& input = "") {
    Tool tool(args);
    if (!tool.Started()) return {};
    tool.Input(input);
    return tool.Wait();
}

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

TEST_F(HeadlessSession, StdioModeAnswersEveryCompletePacketThenEnds) {
    // Two commands in one packet, a second packet, and a packet cut short by
    // the end of input.
    Finished f = RunTool(Args({"--stdio"}), Frame(0, Cmd('A', "x") + "\xFF" + Cmd('A', "y")) +
                                            Frame(0, Cmd('A', "z")) + Frame(0, Cmd('A', "lost")).substr(0, 6));
    EXPECT_EQ(f.status, 0) << f.err;
    std::vector<Bytes> replies = Unframe(f.out);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0], Cmd('A', "x\xFF" + Cmd('A', "y")));  // Ping echoes the rest of its packet
    EXPECT_EQ(replies[1], Cmd('A', "y"));
    EXPECT_EQ(replies[2], Cmd('A', "z"));
}

TEST_F(HeadlessSession, StdioModeStopsAtDisconnect) {
    Finished f = RunTool(Args({"--stdio"}), Frame(0, Cmd('A', "1")) + Frame(0, Cmd('9')) + Frame(0, Cmd('A', "2")));
    EXPECT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(Unframe(f.out), std::vector<Bytes>{Cmd('A', "1")});
}

TEST_F(HeadlessSession, HostFilesLieInTheSessionFolderOfTheDeviceRoot) {
    // Store a file, list it, fetch it; make a folder and count the files of DATA.
    const Bytes content = Bytes("line 1\r\n\x00\xFF\xFD end", 15);
    Finished f = RunTool(Args({"--stdio"}), Frame(0, Cmd('H', "report.txt\xFD" + content)) +
                                                Frame(0, Cmd('S', "*.txt")) + Frame(0, Cmd('G', "report.txt")) +
                                                Frame(0, Cmd('#', "sub")) + Frame(0, Cmd('%', "DATA")));
    EXPECT_EQ(f.status, 0) << f.err;
    std::vector<Bytes> expected = {Cmd('H', "1"), Cmd('S', "report.txt\xFD"), Cmd('G', content), Cmd('#', "1"),
                                   Cmd('%', "1")};
    EXPECT_EQ(Unframe(f.out), expected);
    std::ifstream in(m_dir + "/device/Session/DATA/report.txt", std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), content);
    EXPECT_TRUE(std::filesystem::is_directory(m_dir + "/device/Session/sub"));
}

TEST_F(HeadlessSession, ScriptedInputIsQueuedAndAnsweredByGetEvent) {
    std::string script = WriteFile("input.txt",
                                   "# typed before the host asks\r\n"
                                   "key 112\n"
                                   "\n"
                                   "text a\xC3\xA9\n"
                                   "scan 0123 45\n"
                                   "key 13\n");
    Bytes getEvent = Cmd('1', "0");
    Bytes six = getEvent;
    for (int i = 0; i < 5; ++i) six += "\xFF" + getEvent;
    Finished f = RunTool(Args({"--stdio", "--input", script}), Frame(0, six));
    EXPECT_EQ(f.status, 0) << f.err;
    // One event per GETEVENT, in typing order: F1 is key number 1; é in the
    // default code page; scanner data with its symbology number; Enter types
    // a carriage return. The sixth GETEVENT finds the queue empty and waits.
    std::vector<Bytes> expected = {Cmd('2', "1"), Cmd('1', "a"), Cmd('1', "\xE9"),
                                   Cmd('5', "0123 45\xFD-1\xFC" "0"), Cmd('1', "\r")};
    EXPECT_EQ(Unframe(f.out), expected);
}

TEST_F(HeadlessSession, WidgetStreamsCreateFindAndRemoveWidgets) {
    // Two widgets (the second named, with the client's own id), SHOW by
    // name, GETLABEL of the first sent back as an ADD, then all removed.
    const Bytes add = "1\xFD" "1\xFD" "5\xFD" "2\xFC" "1\xFC" "1\xFD\xFC\xFC\xFCOK\xFE"
                      "8\xFD" "1\xFD\xFD\xFD\xFD\xFD\xFD\xFD\xFD" "caption";
    Finished f = RunTool(Args({"--stdio"}), Frame(0, Cmd('w', add)) + Frame(0, Cmd('w', "1\xFD" "4\xFD" "caption")) +
                                                Frame(0, Cmd('w', "1\xFD" "9\xFD" "5")) +
                                                Frame(0, Cmd('w', "0\xFD" "2\xFD\xFE" "0\xFD" "9\xFD")));
    EXPECT_EQ(f.status, 0) << f.err;
    std::vector<Bytes> replies = Unframe(f.out);
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_EQ(replies[0], Cmd('w', "5\xFE" "2147483648"));
    EXPECT_EQ(replies[1], Cmd('w', "caption"));
    EXPECT_EQ(replies[2].substr(0, 7), Cmd('w', "1\xFD" "1\xFD" "5"));
    EXPECT_NE(replies[2].find("4294967295\xFCOK\xFC"), Bytes::npos);
    EXPECT_EQ(replies[3], Cmd('w', "1\xFE" "1\xFD"));
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
        {{"--connect", refused}, 1, "cannot connect to 127.0.0.1:"},
        {{"--connect", "127.0.0.1"}, 2, "HOST:PORT"},
        {{"--connect", "127.0.0.1:0"}, 2, "HOST:PORT"},
        {{"--connect", "127.0.0.1:65536"}, 2, "HOST:PORT"},
        {{"--stdio", "--connect", refused}, 2, "either"},
        {{}, 2, "--connect HOST:PORT or --stdio"},
        {{"--stdio", "--log"}, 2, "--log needs a value"},
        {{"--stdio", "--bogus"}, 2, "unknown argument '--bogus'"},
        {{"--stdio", "--input", "/nonexistent/input.txt"}, 2, "/nonexistent/input.txt"},
    };
    for (const auto& c : cases) {
        Finished f = RunTool(c.args);
        EXPECT_EQ(f.status, c.status) << c.args.size();
        EXPECT_NE(f.err.find(c.message), std::string::npos) << f.err;
    }
    EXPECT_EQ(ReadAll(script), "key 13\n");

    // Nothing is created or emptied before the connection is made.
    const std::string log = WriteFile("kept.log", "earlier log");
    Finished f = RunTool({"--connect", refused, "--device-root", m_dir + "/new-root", "--log", log});
    EXPECT_EQ(f.status, 1) << f.err;
    EXPECT_FALSE(std::filesystem::exists(m_dir + "/new-root"));
    EXPECT_EQ(ReadAll(log), "earlier log");
    close(fd);
}

TEST_F(HeadlessSession, HelpDocumentsTheInterface) {
    Finished f = RunTool({"--help"});
    EXPECT_EQ(f.status, 0);
    for (const char* text : {"--connect HOST:PORT", "--stdio", "--device-root DIR", "--input FILE", "--log FILE",
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
