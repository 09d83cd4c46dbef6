// What the benchmarks that start programs and play their host share: a
// listening socket on 127.0.0.1, children killed and reaped however a run
// ends, sends and timed reads, the device program's own device root, medians
// of interleaved runs side by side with their ratio, and one CPU for all.
#pragma once

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

namespace benchhost {

constexpr int kWaitMs = 10000;  // bound of every wait; never reached when things work

inline int64_t NowNs() {
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
    pid_t Pid() const { return m_pid; }
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

inline bool SendAll(int fd, const Bytes& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads until count bytes have come; false when they do not come in time.
inline bool ReceiveCount(int fd, size_t count, Bytes& into) {
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
inline int64_t RoundTrip(int fd, const Bytes& request, size_t replyBytes, Bytes& reply) {
    const int64_t start = NowNs();
    if (!SendAll(fd, request) || !ReceiveCount(fd, replyBytes, reply)) return -1;
    return NowNs() - start;
}

// One whole reply packet in the given mode; false when none comes in time.
inline bool ReceivePacket(int fd, int mode) {
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

inline double MedianUs(std::vector<int64_t> ns) {
    if (ns.empty()) return 0;
    std::nth_element(ns.begin(), ns.begin() + static_cast<ptrdiff_t>(ns.size() / 2), ns.end());
    return static_cast<double>(ns[ns.size() / 2]) / 1000.0;
}

inline std::vector<std::string> ToolArgs(const Listener& host) {
    return {HEADLESS_SESSION_PATH, "--connect", "127.0.0.1:" + host.Port(), "--device-root", benchhost::DeviceRoot()};
}

inline std::vector<std::string> EchoArgs(const Listener& host) { return {LOOPBACK_ECHO_PATH, "127.0.0.1", host.Port()}; }

// The device program on a device root of its own, with discovery off (it
// would broadcast) and offscreen.
inline const std::string& DeviceProgramRoot() {
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

inline std::vector<std::string> DeviceArgs(const Listener& host) {
    return {LAUNCHWICK_PATH, "--device-root", DeviceProgramRoot(), "--connect", "127.0.0.1:" + host.Port()};
}

inline std::vector<std::string> QtEchoArgs(const Listener& host) {
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
inline Samples Alternate(benchmark::State& state, Measure measure) {
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
inline void Report(benchmark::State& state, const Samples& samples, double goal) {
    const double toolUs = MedianUs(samples.tool), echoUs = MedianUs(samples.echo);
    const double ratio = echoUs > 0 ? toolUs / echoUs : 0;
    state.counters["tool_median_us"] = toolUs;
    state.counters["echo_median_us"] = echoUs;
    state.counters["ratio"] = ratio;
    char label[64];
    std::snprintf(label, sizeof label, "goal <= %.2f %s", goal, ratio <= goal ? "met" : "MISSED");
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

}  // namespace benchhost
