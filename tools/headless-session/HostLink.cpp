#include "HostLink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string ErrorText(int error) { return std::strerror(error); }

// A non-blocking connect to one address, finished within timeoutMs; the
// outcome is read from SO_ERROR. Returns the socket or -1 with errno's text.
int ConnectOne(const addrinfo* ai, int timeoutMs, std::string& reason) {
    int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
        reason = ErrorText(errno);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    int rc = connect(fd, ai->ai_addr, ai->ai_addrlen);
    if (rc < 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        do rc = poll(&p, 1, timeoutMs);
        while (rc < 0 && errno == EINTR);
        if (rc == 0) {
            reason = "timed out";
            close(fd);
            return -1;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        if (rc < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) < 0) soError = errno;
        rc = soError ? -1 : 0;
        errno = soError;
    }
    if (rc < 0) {
        reason = ErrorText(errno);
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // replies go out as they come
    return fd;
}

}  // namespace

HostLink::~HostLink() { Close(); }

bool HostLink::Connect(const std::string& host, uint16_t port, int timeoutMs, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    std::string service = std::to_string(port);
    if (int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &list); rc != 0) {
        error = "cannot resolve '" + host + "': " + gai_strerror(rc);
        return false;
    }
    std::string reason = "no address";
    int fd = -1;
    for (addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) fd = ConnectOne(ai, timeoutMs, reason);
    freeaddrinfo(list);
    if (fd < 0) {
        error = "cannot connect to " + host + ":" + service + ": " + reason;
        return false;
    }
    Close();
    m_readFd = m_writeFd = fd;
    m_socket = true;
    return true;
}

void HostLink::UseStdio() {
    Close();
    m_readFd = STDIN_FILENO;
    m_writeFd = STDOUT_FILENO;
    m_socket = false;
}

long HostLink::Read(uint8_t* buffer, size_t size, std::string& error) {
    if (m_readFd < 0) return 0;
    for (;;) {
        ssize_t n = read(m_readFd, buffer, size);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return -2;
        if (errno == ECONNRESET) return 0;  // a reset ends the session like a close
        error = "cannot read from the host: " + ErrorText(errno);
        return -1;
    }
}

bool HostLink::WriteAll(const uint8_t* data, size_t count, std::string& error) {
    // Closed when the session ended with the host gone: what is left has no one to read it.
    if (m_writeFd < 0) return false;
    while (count > 0) {
        ssize_t n = m_socket ? send(m_writeFd, data, count, MSG_NOSIGNAL) : write(m_writeFd, data, count);
        if (n > 0) {
            data += n;
            count -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Wait until the host takes more; the link going away ends the
            // wait, and so does a host that takes nothing for the stall limit.
            pollfd p{m_writeFd, POLLOUT, 0};
            const int ready = poll(&p, 1, kStallLimitMs);
            if (ready < 0 && errno != EINTR) {
                error = "cannot write to the host: " + ErrorText(errno);
                return false;
            }
            if (ready == 0) {
                error = "the host read nothing for " + std::to_string(kStallLimitMs / 1000) + " s";
                return false;
            }
            continue;
        }
        int cause = n < 0 ? errno : EIO;
        if (cause != EPIPE && cause != ECONNRESET) error = "cannot write to the host: " + ErrorText(cause);
        return false;
    }
    return true;
}

bool HostLink::HungUp() const {
    if (m_readFd < 0) return true;
    // POLLRDHUP tells a socket's half-close with data still queued; a pipe
    // gives POLLHUP once its writer is gone.
    pollfd p{m_readFd, POLLIN | POLLRDHUP, 0};
    if (poll(&p, 1, 0) <= 0) return false;
    return (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

std::string HostLink::LocalAddress() const {
    if (!m_socket || m_readFd < 0) return {};
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getsockname(m_readFd, reinterpret_cast<sockaddr*>(&addr), &len) < 0) return {};
    char text[INET6_ADDRSTRLEN] = {};
    const void* where = addr.ss_family == AF_INET6
                            ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(&addr)->sin6_addr)
                            : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(&addr)->sin_addr);
    return inet_ntop(addr.ss_family, where, text, sizeof text) ? text : "";
}

void HostLink::Close() {
    if (m_socket && m_readFd >= 0) {
        shutdown(m_readFd, SHUT_RDWR);
        close(m_readFd);
    }
    m_readFd = m_writeFd = -1;
    m_socket = false;
}
