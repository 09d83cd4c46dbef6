// The headless session tool run as a child process, and the framing a host
// uses: shared by the tool's tests and the transcript cases.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/PacketFramer.h"

extern char** environ;

namespace tooltest {

using Bytes = std::string;  // wire bytes
constexpr int kWaitMs = 20000;  // bound of every wait; never reached when things work

inline Bytes Cmd(char code, const Bytes& fields = "") { return Bytes(1, code) + "\xFD" + fields; }

// One packet in one segment, as a host frames it.
inline Bytes Frame(int mode, const Bytes& payload) {
    Bytes header = "\x02";
    if (mode == 0) header += static_cast<char>(payload.size());
    else header += std::to_string(payload.size());
    return header + "\x03" + payload + "\x17";
}

inline int64_t NowMs() {
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
inline std::vector<Bytes> Unframe(Bytes wire, int mode = 0) {
    ReplyReader reader;
    reader.SetMode(mode);
    std::vector<Bytes> packets;
    Bytes p;
    while (reader.Next(wire, p)) packets.push_back(p);
    return packets;
}

inline std::vector<Bytes> SubFields(const Bytes& reply) {
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

// The tool as a child process with pipes on its standard streams, but for
// those it is started with closed.
class Tool {
public:
    explicit Tool(const std::vector<std::string>& args, const std::vector<int>& closedStreams = {}) {
        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        for (int fd : closedStreams) posix_spawn_file_actions_addclose(&actions, fd);
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
    pid_t Pid() const { return m_pid; }

    // Reads exactly count bytes of its standard output ("" when they do not come).
    Bytes ReadOut(size_t count) {
        Bytes out;
        const int64_t deadline = NowMs() + kWaitMs;
        while (out.size() < count && NowMs() < deadline) {
            pollfd p{m_out, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buf[4096];
            ssize_t n = read(m_out, buf, std::min(sizeof buf, count - out.size()));
            if (n <= 0) break;
            out.append(buf, static_cast<size_t>(n));
        }
        return out.size() == count ? out : Bytes();
    }

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
inline Finished RunTool(const std::vector<std::string>& args, const Bytes& input = "") {
    Tool tool(args);
    if (!tool.Started()) return {};
    tool.Input(input);
    return tool.Wait();
}

}  // namespace tooltest
