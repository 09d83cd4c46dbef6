// The device program as scripts/run starts it: the Launchwick program in a
// process of its own, offscreen, on a device root it prepares itself.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <sstream>

#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>

#include "platform/Registry.h"
#include "platform/Serial.h"
#include "platform/Registry.h"
#include "tests/Client/Windows/shell/session/DeviceProgram.h"
#include "tests/support/RawPty.h"

extern char** environ;

using namespace sessiontest;

namespace {

class LaunchwickProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/launchwick-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
    }
    void TearDown() override {
        for (pid_t pid : m_children) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        std::filesystem::remove_all(m_root);
    }
    // The program (by default the one of the build) with its standard error
    // in the file errors when one is named.
    pid_t Start(std::vector<std::string> args, const std::string& program = LAUNCHWICK_PATH,
                const std::string& errors = {}) {
        args.insert(args.begin(), {program, "--device-root", m_root.string()});
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!errors.empty())
            posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        m_children.push_back(pid);
        return pid;
    }
    // The exit code once the process ends in time; -1 otherwise.
    int WaitExit(pid_t pid, int limitMs = 20000) {
        int status = 0;
        const bool ended = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limitMs);
        if (!ended) return -1;
        std::erase(m_children, pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::filesystem::path m_root;
    std::vector<pid_t> m_children;
};

}  // namespace

TEST_F(LaunchwickProcessTest, ConnectsAtOnceToTheHostGivenAndEndsAfterTheSession) {
    ScriptedHost host;
    std::filesystem::create_directories(m_root / "Program Files/Orvade Client");
    std::ofstream(m_root / "Program Files/Orvade Client/Ravelcore.cfg") << "Autodiscovery=0\nExitAfterSession=1\n";
    const pid_t pid = Start({"--connect", "127.0.0.1:" + std::to_string(host.Port())});
    ASSERT_TRUE(host.Accept(20000));
    ASSERT_TRUE(host.Send(Frame0("A\xFDprocess")));
    EXPECT_EQ(host.ReadPacket(), "A\xFDprocess");
    ASSERT_TRUE(host.Send(Frame0("9\xFD")));
    EXPECT_EQ(WaitExit(pid), 0);
    // Prepared as an installation would have it.
    for (const char* file : {"orvaderes.dll", "optarium.dat", "Hosts.cfg", "EXT2/Lectrum.dll", "Ext/Halvane.dll"})
        EXPECT_TRUE(std::filesystem::exists(m_root / "Program Files/Orvade Client" / file)) << file;
}

TEST_F(LaunchwickProcessTest, ASecondStartOnTheSameDeviceRootLeavesTheFirstRunning) {
    ScriptedHost host;
    std::filesystem::create_directories(m_root / "Program Files/Orvade Client");
    std::ofstream(m_root / "Program Files/Orvade Client/Ravelcore.cfg") << "Autodiscovery=0\nExitAfterSession=1\n";
    const std::vector<std::string> connect{"--connect", "127.0.0.1:" + std::to_string(host.Port())};
    const pid_t first = Start(connect);
    // The first shell is up once its session is.
    ASSERT_TRUE(host.Accept(20000));
    const pid_t second = Start(connect);
    EXPECT_EQ(WaitExit(second), 0);
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the first shell ended";
    ASSERT_TRUE(host.Send(Frame0("A\xFDstill")));
    EXPECT_EQ(host.ReadPacket(), "A\xFDstill");
    ASSERT_TRUE(host.Send(Frame0("9\xFD")));
    EXPECT_EQ(WaitExit(first), 0);
    EXPECT_EQ(host.Connections(), 1);
}

// A command that waits (serial bytes that never come, a program that runs
// on) ends with the session: the program is gone soon after the host
// closes, whether or not the host sent Disconnect first.
TEST_F(LaunchwickProcessTest, AWaitingCommandEndsWhenTheHostCloses) {
    std::string slave;
    const int master = testsupport::OpenRawPty(slave);
    ASSERT_GE(master, 0);
    std::filesystem::create_directories(m_root / "Program Files/Orvade Client");
    std::ofstream(m_root / "Program Files/Orvade Client/Ravelcore.cfg") << "Autodiscovery=0\nExitAfterSession=1\n";
    std::filesystem::create_directories(m_root / "bin");
    std::ofstream(m_root / "bin/slow") << "#!/bin/sh\nexec >/dev/null 2>&1 </dev/null; exec sleep 30\n";
    std::filesystem::permissions(m_root / "bin/slow", std::filesystem::perms::owner_all);
    {
        const std::string before = plat::fs::DeviceRoot();
        plat::fs::SetDeviceRoot(m_root.string());
        ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, plat::serial::kPortsKey, u"COM1:",
                                              plat::text::Utf8ToWide(slave)));
        plat::fs::SetDeviceRoot(before);
    }
    const struct {
        const char* name;
        std::string command;
    } cases[] = {
        {"COMDATAEVENT without a time-out", "d\xFD" "0\xFD\xFD\xFD" "10\xFD\xFDping"},
        {"COMDATAEVENT with a long time-out", "d\xFD" "0\xFD\xFD\xFD" "10\xFD" "600000\xFDping"},
        {"SYSTEMCALL of a long program", "U\xFD\\bin\\slow"},
    };
    for (const auto& c : cases) {
        for (bool disconnect : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (disconnect ? ", Disconnect sent" : ""));
            ScriptedHost host;
            const pid_t pid = Start({"--connect", "127.0.0.1:" + std::to_string(host.Port())});
            ASSERT_TRUE(host.Accept(20000));
            ASSERT_TRUE(host.Send(Frame0("A\xFDup")));
            ASSERT_EQ(host.ReadPacket(), "A\xFDup");
            ASSERT_TRUE(host.Send(Frame0(c.command)));
            ASSERT_TRUE(host.Send(Frame0("A\xFDx")));
            EXPECT_EQ(host.ReadPacket(0, 300), "") << "the command did not wait";
            if (disconnect) {
                ASSERT_TRUE(host.Send(Frame0("9\xFD")));
            }
            const auto closed = Clock::now();
            host.CloseConnection();
            // The waits last 30 s or for ever; a loaded machine may add seconds.
            const int code = WaitExit(pid, 20000);
            EXPECT_LT(Clock::now() - closed, std::chrono::seconds(15));
            EXPECT_EQ(code, 0);
            if (code < 0) {  // the next start would find this one running
                kill(pid, SIGKILL);
                WaitExit(pid);
            }
        }
    }
    close(master);
}

namespace {

// GETTERMINFO's columns, rows, client width and client height.
std::vector<std::string> TerminalSize(const std::string& reply) {
    std::vector<std::string> values;
    for (size_t at = reply.find('\xFD') + 1; at < reply.size();) {
        const size_t end = std::min(reply.find('\xFC', at), reply.size());
        values.push_back(reply.substr(at, end - at));
        at = end + 1;
    }
    return values.size() < 19 ? values : std::vector<std::string>{values[1], values[2], values[17], values[18]};
}

}  // namespace

// The headless session tool on the device program's device root sizes its
// screen as the device program does: one session window, one fitted font.
TEST_F(LaunchwickProcessTest, TheHeadlessToolAnswersTheDevicesTerminalSize) {
    ScriptedHost host;
    std::filesystem::create_directories(m_root / "Program Files/Orvade Client");
    std::ofstream(m_root / "Program Files/Orvade Client/Ravelcore.cfg") << "Autodiscovery=0\nExitAfterSession=1\n";
    const pid_t pid = Start({"--connect", "127.0.0.1:" + std::to_string(host.Port())});
    ASSERT_TRUE(host.Accept(20000));
    ASSERT_TRUE(host.Send(Frame0("B\xFD" "0")));
    const std::vector<std::string> device = TerminalSize(host.ReadPacket());
    ASSERT_TRUE(host.Send(Frame0("9\xFD")));
    EXPECT_EQ(WaitExit(pid), 0);
    ASSERT_EQ(device.size(), 4u);
    // The client size is the screen's below the menu bar; the cells follow the machine's fonts.
    EXPECT_EQ(device[2], "240");
    EXPECT_EQ(device[3], "296");

    // The tool, its reply on standard output.
    const std::string input = (m_root.parent_path() / (m_root.filename().string() + "-in")).string();
    const std::string output = input + "-out";
    std::ofstream(input, std::ios::binary) << Frame0("B\xFD" "0");
    const std::string command = std::string(HEADLESS_SESSION_PATH) + " --stdio --device-root '" + m_root.string() +
                                "' <'" + input + "' >'" + output + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(output, std::ios::binary);
    const std::string framed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(framed.size(), 4u);
    EXPECT_EQ(TerminalSize(framed.substr(3, framed.size() - 4)), device);
    std::filesystem::remove(input);
    std::filesystem::remove(output);
}

namespace {

// Times each of the process's threads went to sleep and was woken.
long Wakeups(pid_t pid) {
    long total = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) total += std::stol(line.substr(24));
    }
    return total;
}

}  // namespace

TEST_F(LaunchwickProcessTest, AnIdleSessionWakesOnlyForItsTimer) {
    ScriptedHost host;
    std::filesystem::create_directories(m_root / "Program Files/Orvade Client");
    std::ofstream(m_root / "Program Files/Orvade Client/Ravelcore.cfg") << "Autodiscovery=0\nExitAfterSession=1\n";
    const pid_t pid = Start({"--connect", "127.0.0.1:" + std::to_string(host.Port())});
    ASSERT_TRUE(host.Accept(20000));
    ASSERT_TRUE(host.Send(Frame0("A\xFDidle")));
    EXPECT_EQ(host.ReadPacket(), "A\xFDidle");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // start-up work settles
    const long before = Wakeups(pid);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const long woken = Wakeups(pid) - before;
    // 40 ticks of the 50 ms timer in two seconds; nothing else wakes it.
    EXPECT_LE(woken, 60) << "woken " << woken << " times in 2 s";
    ASSERT_TRUE(host.Send(Frame0("9\xFD")));
    EXPECT_EQ(WaitExit(pid), 0);
}

namespace {

// CPU time the process has used, in clock ticks.
long CpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(all.substr(all.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return utime + stime;
}

}  // namespace

TEST_F(LaunchwickProcessTest, AHostThatDoesNotReadItsAnswersDoesNotKeepTheShellBusy) {
    ScriptedHost host;
    std::filesystem::create_directories(m_root / "Program Files/Orvade Client");
    std::ofstream(m_root / "Program Files/Orvade Client/Ravelcore.cfg") << "Autodiscovery=0\nExitAfterSession=1\n";
    const pid_t pid = Start({"--connect", "127.0.0.1:" + std::to_string(host.Port())});
    ASSERT_TRUE(host.Accept(20000));
    ASSERT_TRUE(host.Send(Frame0("A\xFDup")));
    EXPECT_EQ(host.ReadPacket(), "A\xFDup");
    // Pings whose answers the host never reads, until the shell stops
    // taking them: its answers wait, and so do the host's pings.
    std::atomic<long> sent{0};
    std::thread pinger([&] {
        const std::string ping = Frame0("A\xFD" + std::string(3000, 'p'));
        for (int i = 0; i < 20000 && host.Send(ping); ++i) ++sent;
    });
    // Ending the shell ends the pinger's blocked send, on every way out.
    struct EndPinger {
        pid_t pid;
        std::thread& pinger;
        ~EndPinger() {
            kill(pid, SIGKILL);
            pinger.join();
        }
    } endPinger{pid, pinger};
    // The host's pings stop going out once the shell has stopped reading;
    // three seconds without one sent are measured.
    long used = -1;
    for (int round = 0; round < 10 && used < 0; ++round) {
        long last = -1;
        ASSERT_TRUE(WaitFor(
            [&] {
                const long now = sent;
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                const bool still = now > 0 && now == last && sent == now;
                last = now;
                return still;
            },
            60000));
        const long before = CpuTicks(pid);
        const long pings = sent;
        std::this_thread::sleep_for(std::chrono::seconds(3));
        if (sent == pings) used = CpuTicks(pid) - before;
    }
    ASSERT_GE(used, 0) << "the shell never stopped taking pings";
    // Polled by its timer, it sleeps: well under a second of the three.
    EXPECT_LT(used, sysconf(_SC_CLK_TCK) / 2) << "used " << used << " ticks in 3 s";
}

TEST_F(LaunchwickProcessTest, WithoutTheShellLibraryItSaysItCannotStartAndEnds) {
    // The program and the platform's libraries, but none of the ".dll"s.
    const std::filesystem::path bin = m_root.parent_path() / (m_root.filename().string() + "-bin");
    std::filesystem::create_directories(bin);
    const std::filesystem::path built = std::filesystem::path(LAUNCHWICK_PATH).parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(built))
        if (entry.path().filename().string().rfind("liborvade_", 0) == 0) std::filesystem::copy(entry.path(), bin);
    std::filesystem::copy(LAUNCHWICK_PATH, bin / "Launchwick");
    const std::string errors = (bin / "errors.txt").string();
    const pid_t pid = Start({}, (bin / "Launchwick").string(), errors);
    EXPECT_EQ(WaitExit(pid), 0);
    std::ifstream in(errors);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("message box \"OVC Error\": Unable to start."), std::string::npos) << text;
    std::filesystem::remove_all(bin);
}

TEST_F(LaunchwickProcessTest, ABadCommandLineIsRefusedBeforeTheDeviceRootIsPrepared) {
    const std::string errors = (m_root.parent_path() / (m_root.filename().string() + "-errors.txt")).string();
    const std::vector<std::vector<std::string>> cases = {
        {"--connect", "nonsense"},        {"--connect", "127.0.0.1:"},      {"--connect", ":1000"},
        {"--connect", "127.0.0.1:0"},     {"--connect", "127.0.0.1:65536"}, {"--connect", "127.0.0.1:10x"},
        {"--connect", "127.0.0.1:1000000"}, {"--connect"},
    };
    for (const auto& args : cases) {
        const pid_t pid = Start(args, LAUNCHWICK_PATH, errors);
        EXPECT_EQ(WaitExit(pid), 2) << args.back();
        std::ifstream in(errors);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("Launchwick: --connect needs"), std::string::npos) << text;
        EXPECT_FALSE(std::filesystem::exists(m_root / "Program Files")) << args.back();
    }
    std::filesystem::remove(errors);
}

TEST_F(LaunchwickProcessTest, AnUnusableDeviceRootIsNamedWithItsReasonAndFails) {
    const std::string errors = (m_root.parent_path() / (m_root.filename().string() + "-errors.txt")).string();
    std::ofstream(m_root / "file") << "x";
    std::filesystem::create_directory(m_root / "readonly");
    std::filesystem::permissions(m_root / "readonly", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    struct Case {
        std::string root, reason;
    };
    std::vector<Case> cases = {{(m_root / "file").string(), "Not a directory"},
                               {"/proc/launchwick-root", ""}};
    if (::access((m_root / "readonly").c_str(), W_OK) != 0)  // root ignores the bits
        cases.push_back({(m_root / "readonly").string(), "Permission denied"});
    for (const Case& c : cases) {
        const pid_t pid = Start({"--device-root", c.root}, LAUNCHWICK_PATH, errors);
        EXPECT_EQ(WaitExit(pid), 1) << c.root;
        std::ifstream in(errors);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("Launchwick: the device root " + c.root + " cannot be used: " + c.reason), std::string::npos)
            << text;
        EXPECT_EQ(text.find("message box"), std::string::npos) << text;
    }
    std::filesystem::permissions(m_root / "readonly", std::filesystem::perms::owner_all);
    std::filesystem::remove(errors);
}

TEST_F(LaunchwickProcessTest, StartedWithAutoItWaitsTenSecondsFirst) {
    ScriptedHost host;
    std::filesystem::create_directories(m_root / "Program Files/Orvade Client");
    std::ofstream(m_root / "Program Files/Orvade Client/Ravelcore.cfg") << "Autodiscovery=0\nExitAfterSession=1\n";
    const pid_t pid = Start({"--connect", "127.0.0.1:" + std::to_string(host.Port()), "AUTO"});
    EXPECT_FALSE(host.Accept(9000)) << "connected before ten seconds had passed";
    ASSERT_TRUE(host.Accept(30000));
    ASSERT_TRUE(host.Send(Frame0("9\xFD")));
    EXPECT_EQ(WaitExit(pid), 0);
}

namespace {

// A size in KiB from the process's status ("VmRSS:", "VmHWM:"); -1 when absent.
long StatusKb(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    return -1;
}

}  // namespace

TEST_F(LaunchwickProcessTest, ManyLargeAnswersToAHostThatStopsReadingHoldBoundedMemory) {
    // One short packet of 100 fetches of a 4 MiB file, and a host that reads
    // nothing for a while: the program waits for the host instead of making
    // every answer, and all of them still come, in order, once it reads.
    constexpr size_t kFileBytes = size_t(4) << 20;
    constexpr int kFetches = 100;
    ScriptedHost host;
    std::filesystem::create_directories(m_root / "Program Files/Orvade Client");
    std::ofstream(m_root / "Program Files/Orvade Client/Ravelcore.cfg") << "Autodiscovery=0\nExitAfterSession=1\n";
    std::string content(kFileBytes, 'b');
    content.back() = 'e';
    std::ofstream(m_root / "big.bin", std::ios::binary) << content;
    const pid_t pid = Start({"--connect", "127.0.0.1:" + std::to_string(host.Port())});
    ASSERT_TRUE(host.Accept(20000));
    ASSERT_TRUE(host.Send(Frame0("A\xFDup")));
    EXPECT_EQ(host.ReadPacket(), "A\xFDup");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long restingKb = StatusKb(pid, "VmRSS:");
    ASSERT_GT(restingKb, 0);

    std::string fetches;
    for (int i = 0; i < kFetches; ++i) fetches += std::string(i ? "\xFF" : "") + "G\xFD\\big.bin";
    ASSERT_TRUE(host.Send(Frame0(fetches)));
    std::this_thread::sleep_for(std::chrono::seconds(6));
    const long grownKb = StatusKb(pid, "VmHWM:") - restingKb;
    EXPECT_LE(grownKb, 64 * 1024) << "grew " << grownKb << " KiB";

    // Mode 0 answers: segments of at most 100 bytes, 4 bytes of framing each.
    const size_t payload = 2 + kFileBytes;
    const size_t answerBytes = payload + 4 * ((payload + 99) / 100);
    const int fd = host.Handle();
    std::vector<char> answer(answerBytes);
    for (int i = 0; i < kFetches; ++i) {
        size_t got = 0;
        while (got < answerBytes) {
            pollfd p{fd, POLLIN, 0};
            ASSERT_GT(::poll(&p, 1, 10000), 0) << "answer " << i << " stopped at byte " << got;
            const ssize_t n = ::recv(fd, answer.data() + got, answerBytes - got, 0);
            ASSERT_GT(n, 0) << "answer " << i;
            got += size_t(n);
        }
        ASSERT_EQ(std::string(answer.data(), 5), std::string("\x02\x64\x03G\xFD", 5)) << i;
        ASSERT_EQ(std::string(answer.end() - 2, answer.end()), "e\x17") << i;
    }
    EXPECT_LE(StatusKb(pid, "VmHWM:") - restingKb, 64 * 1024);
    ASSERT_TRUE(host.Send(Frame0("9\xFD")));
    EXPECT_EQ(WaitExit(pid), 0);
}

namespace {

// The device program as installed: the program folder's Launchwick.exe on a
// device root its installation prepared, against a scripted host, with what
// it writes on standard error kept.
class InstalledProgramTest : public LaunchwickProcessTest {
protected:
    void SetUp() override {
        LaunchwickProcessTest::SetUp();
        m_outside = m_root.string() + "-outside";
        m_errors = m_root.string() + "-errors.txt";
        plat::fs::SetDeviceRoot(m_root.string());
        ASSERT_TRUE(launchwick::PrepareDevice(ModuleHostDirectory(reinterpret_cast<const void*>(&WaitFor))));
        plat::fs::SetDeviceRoot("");
        std::ofstream(m_root / "Program Files/Orvade Client/Ravelcore.cfg") << "Autodiscovery=0\nExitAfterSession=1\n";
    }
    void TearDown() override {
        LaunchwickProcessTest::TearDown();
        std::filesystem::remove_all(m_outside);
        std::filesystem::remove(m_errors);
    }
    // Started and connected to the host, its first packet answered.
    pid_t StartConnected(ScriptedHost& host) {
        const pid_t pid = Start({"--connect", "127.0.0.1:" + std::to_string(host.Port())},
                                (m_root / "Program Files/Orvade Client/Launchwick.exe").string(), m_errors);
        EXPECT_TRUE(host.Accept(20000));
        EXPECT_TRUE(host.Send(Frame0("A\xFDup")));
        EXPECT_EQ(host.ReadPacket(), "A\xFDup");
        return pid;
    }
    // A command's answer.
    std::string Ask(ScriptedHost& host, const std::string& command, int limitMs = 20000) {
        EXPECT_TRUE(host.Send(Frame0(command)));
        return host.ReadPacket(0, limitMs);
    }
    void End(ScriptedHost& host, pid_t pid) {
        ASSERT_TRUE(host.Send(Frame0("9\xFD")));
        EXPECT_EQ(WaitExit(pid), 0);
    }
    std::string Errors() const {
        std::ifstream in(m_errors);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::filesystem::path m_outside;
    std::string m_errors;
};

}  // namespace

TEST_F(InstalledProgramTest, AProgramItStartsStaysOnItsDeviceRoot) {
    ScriptedHost host, elsewhere;
    const pid_t pid = StartConnected(host);
    const std::string program = "\"\\Program Files\\Orvade Client\\Launchwick.exe\"";
    const std::string connect = " --connect 127.0.0.1:" + std::to_string(elsewhere.Port());
    for (const std::string& root : {m_outside.string(), std::string(".."), m_root.string() + "/Temp/device"}) {
        EXPECT_EQ(Ask(host, "U\xFD" + program + " --device-root " + root + connect), "U\xFD" "1") << root;
        EXPECT_NE(Errors().find("Launchwick: the device root "), std::string::npos) << root;
    }
    // The window toolkit's options name folders and files of the machine: a
    // plug-in folder of the host's files would load them as code.
    for (const std::string option : {"-platformpluginpath", "-plugin", "-stylesheet"}) {
        EXPECT_EQ(Ask(host, "U\xFD" + program + " " + option + " " + m_outside.string() + connect), "U\xFD" "1");
        EXPECT_NE(Errors().find("Launchwick: unknown option " + option), std::string::npos) << option;
    }
    EXPECT_FALSE(elsewhere.Accept(1000)) << "a second device program connected";
    EXPECT_FALSE(std::filesystem::exists(m_outside));
    EXPECT_FALSE(std::filesystem::exists(m_root / "Temp/device"));
    End(host, pid);
}

TEST_F(InstalledProgramTest, AHostReplacesNoRegistryAndCallsNoInstallationHook) {
    ScriptedHost host;
    const pid_t pid = StartConnected(host);
    const std::filesystem::path registry = m_root / "Windows/Registry.db";
    std::ifstream in(registry, std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(before.empty());
    for (const char* name : {"\\Windows\\Registry.db", "\\Windows\\Registry.db-wal", "\\windows\\x.txt"})
        EXPECT_EQ(Ask(host, std::string("H\xFD") + name + "\xFD" + before), "H\xFD" "0") << name;
    // No port is configured: port 0 is unknown.
    EXPECT_EQ(Ask(host, "d\xFD" "0\xFD\xFD\xFD" "0\xFD" "0\xFDx"), "d\xFD" "0");
    const std::string ext = "\xB0\xFD" "EXT\xFD";
    EXPECT_EQ(Ask(host, ext + "Instavo.dll\xFDInstall_Exit\xFD" "0\xFD\\Temp"), "\xB0\xFD-1");
    EXPECT_EQ(Ask(host, ext + "Ravelcore.dll\xFD" "DllUnregisterServer"), "\xB0\xFD-1");
    EXPECT_EQ(Ask(host, ext + "Tapryn.dll\xFD" "DllRegisterServer"), "\xB0\xFD-1");
    End(host, pid);
    plat::fs::SetDeviceRoot(m_root.string());
    std::u16string installDir, control;
    EXPECT_TRUE(plat::registry::GetString(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir",
                                          &installDir));
    EXPECT_EQ(installDir, u"\\Program Files\\Orvade Client");
    EXPECT_TRUE(plat::registry::GetString(HKEY_CLASSES_ROOT, u"Ravelcore.OVC\\CLSID", nullptr, &control));
    plat::fs::SetDeviceRoot("");
    // It starts again: the control is still registered.
    ScriptedHost again;
    End(again, StartConnected(again));
}

namespace {

std::string FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST_F(InstalledProgramTest, AHostsSharedObjectIsNeverStoredWhereCodeLoadsNorLoaded) {
    // A real shared object whose constructor leaves a marker outside the
    // device root, sent as the helpers the device program and Corvel load
    // from the program folder, and beside the data under helper names.
    const std::string code = FileBytes(PLANTED_LIBRARY);
    ASSERT_GT(code.size(), 1000u);
    std::filesystem::create_directories(m_outside);
    const std::string marker = (m_outside / "marker").string();
    const std::filesystem::path program = m_root / "Program Files/Orvade Client";
    const std::string richtext = FileBytes(program / "liborvade_richtext.so");
    const std::string sqlite = FileBytes(program / "liborvade_sqlite.so");
    ASSERT_FALSE(richtext.empty());
    ASSERT_FALSE(sqlite.empty());
    setenv("ORVADE_PLANTED_MARKER", marker.c_str(), 1);
    ScriptedHost host;
    const pid_t pid = StartConnected(host);
    unsetenv("ORVADE_PLANTED_MARKER");
    for (const char* name : {"\\Program Files\\Orvade Client\\liborvade_richtext.so",
                             "\\program files\\ORVADE CLIENT\\LIBORVADE_SQLITE.SO",
                             "\\Program Files\\\\Orvade Client\\liborvade_sqlite.so. ",
                             "\\Program Files\\Orvade Client\\DATA\\liborvade_richtext.so",
                             "\\Program Files\\Orvade Client\\Ext\\liborvade_image.so.1",
                             "\\Program Files\\Orvade Client\\Ext\\Planted.dll",
                             "\\Temp\\liborvade_richtext.so", "liborvade_richtext.so"})
        EXPECT_EQ(Ask(host, std::string("H\xFD") + name + "\xFD" + code), "H\xFD" "0") << name;
    // An HTML widget: the device program loads its rich-text helper now.
    ASSERT_TRUE(host.Send(Frame0("w\xFD" "19\xFD" "1\xFD" "5\xFD" "1\xFC" "0\xFC" "0\xFC" "100\xFC" "50\xFD"
                                 "\xFC\xFC<b>page</b>\xFC\xFF" "A\xFD" "shown")));
    bool shown = false;
    for (int i = 0; i < 3 && !shown; ++i) shown = host.ReadPacket() == "A\xFD" "shown";
    EXPECT_TRUE(shown);
    // Corvel, as installed: it opens the registry through the SQLite helper.
    EXPECT_EQ(Ask(host, "U\xFD\"\\Program Files\\Orvade Client\\Corvel.exe\""), "U\xFD" "1");
    End(host, pid);
    EXPECT_FALSE(std::filesystem::exists(marker)) << "the host's code ran";
    EXPECT_TRUE(FileBytes(program / "liborvade_richtext.so") == richtext) << "the rich-text helper changed";
    EXPECT_TRUE(FileBytes(program / "liborvade_sqlite.so") == sqlite) << "the SQLite helper changed";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_root))
        EXPECT_FALSE(entry.is_regular_file() && FileBytes(entry.path()) == code) << entry.path();

    // The same object loaded does leave its marker.
    setenv("ORVADE_PLANTED_MARKER", marker.c_str(), 1);
    void* loaded = dlopen(PLANTED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    unsetenv("ORVADE_PLANTED_MARKER");
    ASSERT_NE(loaded, nullptr) << dlerror();
    dlclose(loaded);
    EXPECT_TRUE(std::filesystem::exists(marker));
}

// A packet of the host's rests holds the installed program no longer than
// the session: the host's close is seen while it rests, and the program
// ends at once rather than after the forty seconds of rest.
TEST_F(InstalledProgramTest, APacketOfRestsEndsWhenTheHostCloses) {
    ScriptedHost host;
    const pid_t pid = StartConnected(host);
    EXPECT_EQ(Ask(host, std::string("H\xFDrest.ton\xFD") + "0\xFD" "2000\xFE"), "H\xFD" "1");
    std::string rests = "T\xFDrest.ton";
    for (int i = 1; i < 20; ++i) rests += "\xFFT\xFDrest.ton";
    ASSERT_TRUE(host.Send(Frame0(rests + "\xFF" "A\xFDrested")));
    EXPECT_EQ(host.ReadPacket(0, 500), "") << "the packet did not rest";
    const auto closed = Clock::now();
    host.CloseConnection();
    EXPECT_EQ(WaitExit(pid, 20000), 0);
    EXPECT_LT(Clock::now() - closed, std::chrono::seconds(15));
}

// What the host sends while a command waits (a packet of rests, a started
// program) is answered after it, in order, however much it is; meanwhile
// the program sleeps rather than turning over the connection it cannot
// read yet.
TEST_F(InstalledProgramTest, APacketThatComesWhileACommandWaitsIsAnsweredAfterItWithoutBusyWaiting) {
    std::filesystem::create_directories(m_root / "bin");
    std::ofstream(m_root / "bin/three") << "#!/bin/sh\nexec >/dev/null 2>&1 </dev/null; exec sleep 3\n";
    std::filesystem::permissions(m_root / "bin/three", std::filesystem::perms::owner_all);
    // More than the receive buffer holds.
    std::string content(20000, 'x');
    content.back() = 'e';
    const struct {
        const char* name;
        std::string command;
    } cases[] = {
        {"PLAYTONE of rests", "T\xFDrest.ton\xFFT\xFDrest.ton"},
        {"SYSTEMCALL", "U\xFD\\bin\\three"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedHost host;
        const pid_t pid = StartConnected(host);
        EXPECT_EQ(Ask(host, std::string("H\xFDrest.ton\xFD") + "0\xFD" "2000\xFE"), "H\xFD" "1");
        ASSERT_TRUE(host.Send(Frame0(c.command + "\xFF" "A\xFDwaited")));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_TRUE(host.Send(Frame0("H\xFDlater.txt\xFD" + content)));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const long before = CpuTicks(pid);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const long used = CpuTicks(pid) - before;
        EXPECT_LT(used, sysconf(_SC_CLK_TCK) / 4) << "used " << used << " ticks in 1.5 s";
        if (c.command[0] == 'U') {
            EXPECT_EQ(host.ReadPacket(0, 10000), "U\xFD" "1");
        }
        EXPECT_EQ(host.ReadPacket(0, 10000), "A\xFDwaited");
        EXPECT_EQ(host.ReadPacket(0, 10000), "H\xFD" "1");
        End(host, pid);
        // Stored whole, wherever the session keeps its data.
        std::string stored;
        for (const auto& e : std::filesystem::recursive_directory_iterator(m_root)) {
            if (e.path().filename() != "later.txt") continue;
            std::ifstream in(e.path(), std::ios::binary);
            stored.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            std::filesystem::remove(e.path());
            break;
        }
        EXPECT_EQ(stored.size(), content.size());
        EXPECT_TRUE(stored == content);
    }
}

TEST_F(InstalledProgramTest, TheToolkitLoadsNoPlugInAHostStoredBesideTheProgram) {
    // A session's folder is named after its host and lies in the program
    // folder: one named as a plug-in folder of the window toolkit
    // ("platformthemes") takes the host's files under names that are no code
    // names, and the toolkit looked for plug-ins beside the program.
    const std::string plugin = FileBytes(PLANTED_PLUGIN);
    ASSERT_EQ(QPluginLoader(PLANTED_PLUGIN).metaData().value("MetaData").toObject().value("Keys").toArray().first(),
              "planted");
    std::filesystem::create_directories(m_outside);
    const std::string marker = (m_outside / "marker").string();
    std::filesystem::create_directories(m_root / "Program Files/Orvade Client/platformthemes");
    setenv("ORVADE_PLANTED_MARKER", marker.c_str(), 1);
    setenv("QT_QPA_PLATFORMTHEME", "planted", 1);  // a theme the machine lacks
    ScriptedHost host;
    const pid_t pid = StartConnected(host);
    EXPECT_EQ(Ask(host, "H\xFD\\Program Files\\Orvade Client\\platformthemes\\theme.dat\xFD" + plugin), "H\xFD" "1");
    End(host, pid);
    ScriptedHost again;
    End(again, StartConnected(again));
    unsetenv("QT_QPA_PLATFORMTHEME");
    unsetenv("ORVADE_PLANTED_MARKER");
    EXPECT_FALSE(std::filesystem::exists(marker)) << "the host's code ran";
}
