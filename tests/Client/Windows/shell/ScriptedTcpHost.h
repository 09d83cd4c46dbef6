// A host on 127.0.0.1 for the socket tests: it listens on a port of its
// own, accepts, reads, writes and closes when the test says so. Every wait
// is bounded and ends as soon as its answer is there.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace shelltest {

class ScriptedTcpHost {
public:
    // backlog 0 with the queue filled (FillBacklog) leaves later connects
    // waiting for an answer that never comes.
    explicit ScriptedTcpHost(int backlog = 8) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = Loopback(0);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, backlog);
        socklen_t size = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
    }
    ~ScriptedTcpHost() {
        for (int fd : m_fillers) ::close(fd);
        for (int fd : m_clients) ::close(fd);
        ::close(m_listener);
    }
    ScriptedTcpHost(const ScriptedTcpHost&) = delete;
    ScriptedTcpHost& operator=(const ScriptedTcpHost&) = delete;

    int Port() const { return m_port; }

    static sockaddr_in Loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(uint16_t(port));
        return address;
    }

    // A port where nothing listens (bound and closed at once).
    static int ClosedPort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = Loopback(0);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        ::close(fd);
        return ntohs(address.sin_port);
    }

    // Connects from here until the listener's queue takes no more; true
    // when a connect was left waiting.
    bool FillBacklog() {
        for (int i = 0; i < 16; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in address = Loopback(m_port);
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_fillers.push_back(fd);
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 300) == 0) return true;
        }
        return false;
    }

    // The next connection, or -1 after the time-out.
    int Accept(int timeoutMs = 10000) {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) return -1;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) m_clients.push_back(fd);
        return fd;
    }

    static void Write(int fd, const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return;
            done += size_t(n);
        }
    }

    // What one recv gives once something is there; empty after the time-out
    // or at the end of the connection.
    static std::string ReadSome(int fd, int timeoutMs = 10000) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1) return {};
        char buffer[65536];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        return n > 0 ? std::string(buffer, size_t(n)) : std::string();
    }

    // Exactly count bytes, or fewer when the time runs out or the
    // connection ends.
    static std::string ReadExactly(int fd, size_t count, int timeoutMs = 10000) {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0) break;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, int(left)) != 1) break;
            char buffer[65536];
            const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, count - out.size()), MSG_DONTWAIT);
            if (n == 0) break;
            if (n > 0) out.append(buffer, size_t(n));
        }
        return out;
    }

    // True when the peer has closed (a recv gives 0) within the time.
    static bool SeesEnd(int fd, int timeoutMs = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0) return false;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, int(left)) != 1) return false;
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
        }
    }

    void CloseClient(int fd) {
        for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
            if (*it == fd) {
                m_clients.erase(it);
                break;
            }
        }
        ::close(fd);
    }

    // Closes a connection with a reset instead of an orderly end.
    void ResetClient(int fd) {
        const linger hard{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        CloseClient(fd);
    }

private:
    int m_listener = -1;
    int m_port = 0;
    std::vector<int> m_clients;
    std::vector<int> m_fillers;
};

}  // namespace shelltest
