// The headless session tool as a real process over 127.0.0.1, set against a
// plain C echo program (loopback-echo) in the same harness:
//  - Ping round trips of 20 and 4000 bytes in framing modes 0 and 1,
//    alternating tool and echo request by request. A Ping's reply is its
//    request's payload framed the same way, so the echo writes back exactly
//    the bytes the tool replies. Goal: median tool / median echo <= 1.3.
//    The harness and both programs share one CPU, as on the handheld.
//  - Start of the process to its first Ping reply, next to the echo program
//    started, connected and echoing the same Ping. Goal: ratio <= 3.
//  - The same through the device program (Launchwick: socket, shell,
//    control, core; offscreen, discovery off), goal 1.3; and its start to the
//    first Ping answered next to a minimal Qt Widgets program that shows a
//    window and echoes (qt-echo), goal 2.
// Every child is killed and reaped however a run ends; nothing leaves loopback.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchHost.h"

extern char** environ;

namespace {

using benchhost::Bytes;
using benchhost::Frame;
using benchhost::Ping;

constexpr int kWaitMs = 10000;  // bound of every wait; never reached when things work

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A connected socket, closed with its owner.
class Socket {
public:
    explicit Socket(int fd = -1) : m_fd(fd) {}
    ~Socket() { Close(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int Fd() const { return m_fd; }
    void Close() {
        if (m_fd >= 0) close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

// The host's listening socket on 127.0.0.1, on a port the system picks.
class Listener {
public:
    Listener() {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 && listen(fd, 4) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
            m_fd = fd;
            m_port = std::to_string(ntohs(addr.sin_port));
        } else if (fd >= 0) {
            close(fd);
        }
    }
    ~Listener() {
        if (m_fd >= 0) close(m_fd);
    }
    bool Ok() const { return m_fd >= 0; }
    const std::string& Port() const { return m_port; }

    // The next connection, with Nagle off as a host sets it; -1 when none comes in time.
    int Accept() const {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, kWaitMs) != 1) return -1;
        int fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        int one = 1;
        if (fd >= 0) setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return fd;
    }

private:
    int m_fd = -1;
    std::string m_port;
};

// A child process; Reap waits for it to end by itself, else (and always on
// destruction) it is killed.
class Child {
public:
    explicit Child(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) m_pid = -1;
    }
    ~Child() { Reap(0); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return m_pid > 0; }
    // True when it ended by itself with status 0 within waitMs.
    bool Reap(int waitMs) {
        if (m_pid <= 0) return false;
        int status = 0;
        const int64_t deadline = NowNs() + int64_t{waitMs} * 1000000;
        for (;;) {
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) && WEXITSTATUS(status) == 0;
            }
            if (NowNs() >= deadline) break;
            usleep(200);
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        return false;
    }

private:
    pid_t m_pid = -1;
};

bool SendAll(int fd, const Bytes& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads until count bytes have come; false when they do not come in time.
bool ReceiveCount(int fd, size_t count, Bytes& into) {
    into.resize(count);
    for (size_t done = 0; done < count;) {
        ssize_t n = recv(fd, into.data() + done, count - done, MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kWaitMs) == 0) return false;
    }
    return true;
}

// A request and its reply of replyBytes bytes; the round trip in
// nanoseconds, -1 when the reply does not come.
int64_t RoundTrip(int fd, const Bytes& request, size_t replyBytes, Bytes& reply) {
    const int64_t start = NowNs();
    if (!SendAll(fd, request) || !ReceiveCount(fd, replyBytes, reply)) return -1;
    return NowNs() - start;
}

// One whole reply packet in the given mode; false when none comes in time.
bool ReceivePacket(int fd, int mode) {
    CPacketFramer framer(nullptr, nullptr, 0);
    framer.SetMode(mode);
    uint8_t buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kWaitMs) != 1) return false;
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        for (int32_t pos = 0; pos < n;) {
            if (framer.Parse(buffer, pos, static_cast<int32_t>(n)))
                return true;  // nothing else is sent before the host asks again
        }
    }
}

double MedianUs(std::vector<int64_t> ns) {
    if (ns.empty()) return 0;
    std::nth_element(ns.begin(), ns.begin() + static_cast<ptrdiff_t>(ns.size() / 2), ns.end());
    return static_cast<double>(ns[ns.size() / 2]) / 1000.0;
}

std::vector<std::string> ToolArgs(const Listener& host) {
    return {HEADLESS_SESSION_PATH, "--connect", "127.0.0.1:" + host.Port(), "--device-root", benchhost::DeviceRoot()};
}

std::vector<std::string> EchoArgs(const Listener& host) { return {LOOPBACK_ECHO_PATH, "127.0.0.1", host.Port()}; }

// The device program on a device root of its own, with discovery off (it
// would broadcast) and offscreen.
const std::string& DeviceProgramRoot() {
    static const std::string root = [] {
        const std::string path = benchhost::DeviceRoot() + "/device";
        const std::string folder = path + "/Program Files/Orvade Client";
        std::filesystem::create_directories(folder);
        std::ofstream(folder + "/Ravelcore.cfg") << "Autodiscovery=0\nExitAfterSession=1\n";
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return path;
    }();
    return root;
}

std::vector<std::string> DeviceArgs(const Listener& host) {
    return {LAUNCHWICK_PATH, "--device-root", DeviceProgramRoot(), "--connect", "127.0.0.1:" + host.Port()};
}

std::vector<std::string> QtEchoArgs(const Listener& host) {
    DeviceProgramRoot();  // offscreen as well
    return {QT_ECHO_PATH, "127.0.0.1", host.Port()};
}

struct Samples {
    std::vector<int64_t> tool, echo;  // nanoseconds
};

// One measure of the tool and one of the echo per iteration, which goes first
// alternating; the benchmark's time is the tool's. measure(true) measures the
// tool, measure(false) the echo, and returns -1 on failure.
template <class Measure>
Samples Alternate(benchmark::State& state, Measure measure) {
    Samples s;
    s.tool.reserve(static_cast<size_t>(state.max_iterations));
    s.echo.reserve(static_cast<size_t>(state.max_iterations));
    bool toolFirst = true;
    for (auto _ : state) {
        int64_t first = measure(toolFirst), second = measure(!toolFirst);
        int64_t t = toolFirst ? first : second, e = toolFirst ? second : first;
        toolFirst = !toolFirst;
        if (t < 0 || e < 0) {
            state.SkipWithError("the tool or the echo did not answer (or did not end) in time");
            break;
        }
        state.SetIterationTime(static_cast<double>(t) * 1e-9);
        s.tool.push_back(t);
        s.echo.push_back(e);
    }
    return s;
}

// The medians side by side, their ratio and whether it meets the goal.
void Report(benchmark::State& state, const Samples& samples, double goal) {
    const double toolUs = MedianUs(samples.tool), echoUs = MedianUs(samples.echo);
    const double ratio = echoUs > 0 ? toolUs / echoUs : 0;
    state.counters["tool_median_us"] = toolUs;
    state.counters["echo_median_us"] = echoUs;
    state.counters["ratio"] = ratio;
    char label[64];
    std::snprintf(label, sizeof label, "goal <= %.1f %s", goal, ratio <= goal ? "met" : "MISSED");
    state.SetLabel(label);
}

// The harness and the programs it starts share one CPU while it lives, as on
// the single-core handheld. Spread over idle CPUs, each program's wake-up
// would cost what the scheduler's placement of it happens to cost (on a
// virtual machine tens of microseconds, and not the same for both programs).
class OneCpu {
public:
    OneCpu() {
        m_pinned = sched_getaffinity(0, sizeof m_saved, &m_saved) == 0;
        const int cpu = sched_getcpu();
        if (!m_pinned || cpu < 0) {
            m_pinned = false;
            return;
        }
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        m_pinned = sched_setaffinity(0, sizeof one, &one) == 0;
    }
    ~OneCpu() {
        if (m_pinned) sched_setaffinity(0, sizeof m_saved, &m_saved);
    }
    OneCpu(const OneCpu&) = delete;
    OneCpu& operator=(const OneCpu&) = delete;

private:
    cpu_set_t m_saved{};
    bool m_pinned = false;
};

// Ping round trips, tool and echo request by request; the benchmark's time is the tool's.
template <std::vector<std::string> (*Program)(const Listener&)>
void PingNextToEcho(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    const OneCpu oneCpu;  // before the children start: they keep it
    Listener host;
    if (!host.Ok()) return state.SkipWithError("cannot listen on 127.0.0.1");
    Child toolProcess(Program(host));
    Socket tool(toolProcess.Started() ? host.Accept() : -1);
    Child echoProcess(EchoArgs(host));
    Socket echo(echoProcess.Started() ? host.Accept() : -1);
    if (tool.Fd() < 0 || echo.Fd() < 0) return state.SkipWithError("the tool or the echo did not connect");
    if (mode == 1 && !(SendAll(tool.Fd(), benchhost::AskForMode1()) && ReceivePacket(tool.Fd(), 0)))
        return state.SkipWithError("the tool did not answer the switch to mode 1");

    const Bytes request = Frame(mode, Ping(size));
    Bytes reply;
    for (int fd : {tool.Fd(), echo.Fd()}) {
        if (RoundTrip(fd, request, request.size(), reply) < 0 || reply != request)
            return state.SkipWithError("a Ping was not answered with its own bytes");
    }
    for (int i = 0; i < 200; ++i) {  // warm-up
        RoundTrip(tool.Fd(), request, request.size(), reply);
        RoundTrip(echo.Fd(), request, request.size(), reply);
    }
    Samples samples = Alternate(state, [&](bool ofTool) {
        return RoundTrip(ofTool ? tool.Fd() : echo.Fd(), request, request.size(), reply);
    });
    state.SetBytesProcessed(static_cast<int64_t>(samples.tool.size()) * size);
    Report(state, samples, 1.3);
}

void BM_LoopbackPing(benchmark::State& state) { PingNextToEcho<&ToolArgs>(state); }
// The whole device program: socket, shell, control and core.
void BM_DevicePing(benchmark::State& state) { PingNextToEcho<&DeviceArgs>(state); }

// Start of a process to its answer to the host's first Ping; the process is
// then let go (host closes, it exits) outside the measured time.
int64_t StartToFirstPing(const Listener& host, const std::vector<std::string>& args, const Bytes& ping) {
    Bytes reply;
    const int64_t start = NowNs();
    Child child(args);
    Socket link(child.Started() ? host.Accept() : -1);
    if (link.Fd() < 0 || RoundTrip(link.Fd(), ping, ping.size(), reply) < 0 || reply != ping) return -1;
    const int64_t elapsed = NowNs() - start;
    SendAll(link.Fd(), Frame(0, {'9', 0xFD}));  // Disconnect: the session ends without a box
    link.Close();
    return child.Reap(kWaitMs) ? elapsed : -1;
}

template <std::vector<std::string> (*Program)(const Listener&), std::vector<std::string> (*Baseline)(const Listener&),
          int Goal>
void StartNextToBaseline(benchmark::State& state) {
    Listener host;
    if (!host.Ok()) return state.SkipWithError("cannot listen on 127.0.0.1");
    const Bytes ping = Frame(0, Ping(20));
    const auto tool = Program(host), echo = Baseline(host);
    for (int i = 0; i < 3; ++i) {  // warm-up; the first start also makes the session folder
        StartToFirstPing(host, tool, ping);
        StartToFirstPing(host, echo, ping);
    }
    Samples samples = Alternate(state, [&](bool ofTool) { return StartToFirstPing(host, ofTool ? tool : echo, ping); });
    Report(state, samples, Goal);
}

void BM_StartToFirstPing(benchmark::State& state) { StartNextToBaseline<&ToolArgs, &EchoArgs, 3>(state); }
void BM_DeviceStartToFirstPing(benchmark::State& state) { StartNextToBaseline<&DeviceArgs, &QtEchoArgs, 2>(state); }

}  // namespace

// 20 and 4000 bytes in both framing modes.
void PingCases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"mode", "bytes"})->Args({0, 20})->Args({0, 4000})->Args({1, 20})->Args({1, 4000});
    b->Iterations(4000)->UseManualTime()->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_LoopbackPing)->Apply(PingCases);
BENCHMARK(BM_StartToFirstPing)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DevicePing)->Apply(PingCases);
BENCHMARK(BM_DeviceStartToFirstPing)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
