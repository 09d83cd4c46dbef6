#include "shell/CeSock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/support/MessagePump.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/MsgBox.h"
#include "platform/Text.h"
#include "shell/SettingsStore.h"
#include "shell/ShellUtil.h"

namespace {
constexpr size_t kReceiveSize = 8192;
}

CCeSock::CCeSock(HWND owner) : m_owner(owner), m_receive(kReceiveSize) {}

CCeSock::~CCeSock() {
    if (m_socket >= 0) Close();
}

bool CCeSock::QueryAssociation() {
    BOOL associated = 1;
    if (m_owner) SendMessage(m_owner, WM_QUERY_ASSOCIATION, 0, LPARAM(&associated));
    return associated != 0;
}

int CCeSock::Create(const char16_t* host, int32_t port) {
    std::u16string text(host ? host : u"");
    if (text.size() > kMaxHost) text.resize(kMaxHost);
    if (!text.empty() && !(text[0] >= u'0' && text[0] <= u'9')) {
        const std::string name = plat::text::WideToUtf8(text);
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        text.clear();
        if (getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0 && found) {
            char dotted[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, dotted, sizeof dotted);
            text = plat::text::Utf8ToWide(dotted);
            freeaddrinfo(found);
        }
    }
    std::fill(std::begin(m_host), std::end(m_host), 0);
    std::copy(text.begin(), text.end(), m_host);
    m_port = port;
    return Connect();
}

int CCeSock::Connect() {
    m_connected = false;
    if (!QueryAssociation()) {
        const char16_t* message = m_store ? m_store->GetString(SETTING_NOT_ASSOCIATED_MESSAGE) : nullptr;
        const std::u16string text = message ? std::u16string(message) : LoadResourceText(6059, 200);
        MessageBox(m_owner, text.c_str(), LoadResourceText(6, 100).c_str(), MB_OK);
        return 0;
    }
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_socket < 0) {
        ShellLog(LOG_TRACE, "Creating sock failed , Last Error %x", errno);
        return 0;
    }
    const int one = 1;
    setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(m_port));
    if (inet_pton(AF_INET, plat::text::WideToUtf8(m_host).c_str(), &address.sin_addr) != 1) {
        ShellLog(LOG_TRACE, "CCeSock::Create - inet_addr failed , Last Error %x", EINVAL);
        return 0;
    }
    ShellLog(LOG_TRACE, "CCeSock::Create - connect");
    int error = 0;
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (attempt > 0) Sleep(250);
        if (::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return 1;
        error = errno;
        if (error == EINPROGRESS) return 1;
        if (error != ECONNREFUSED && error != EHOSTUNREACH && error != ETIMEDOUT) break;
    }
    ::close(m_socket);
    m_socket = -1;
    ShellLog(LOG_TRACE, "CCeSock::Create - connect failed , Last Error %x", error);
    return 0;
}

int CCeSock::WaitForConnection() {
    if (m_socket < 0) return 0;
    PumpMessages();
    ShellLog(LOG_TRACE, "CCeSock::Create - Entering Connection Loop");
    for (int remaining = int(kConnectWaitMs); remaining >= 1; remaining -= 30) {
        if (PumpMessages()) break;
        Poll();
        if (m_connected || m_socket < 0) break;
        Sleep(30);
    }
    if (m_connected) {
        ShellLog(LOG_TRACE, "CCeSock::Create - Connection Established");
        return 1;
    }
    ShowResourceMessage(m_owner, 41, 6, MB_OK | MB_ICONEXCLAMATION);
    if (m_socket >= 0) ::close(m_socket);
    m_socket = -1;
    return 0;
}

void CCeSock::Poll() {
    if (m_socket < 0) return;
    if (m_connected) {
        Send(nullptr, 0);
        if (m_socket >= 0) OnReadable();
    } else {
        CheckConnect();
    }
}

void CCeSock::CheckConnect() {
    pollfd p{m_socket, POLLOUT, 0};
    if (::poll(&p, 1, 0) <= 0) return;
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0 || (p.revents & (POLLERR | POLLHUP))) {
        Close();
        return;
    }
    m_connected = true;
    SendMessage(m_owner, WM_SOCKET_NOTIFY, WPARAM(m_socket), FD_CONNECT);
}

void CCeSock::OnReadable() {
    if (m_unread + 1 >= m_receive.size()) return;
    const ssize_t n = ::recv(m_socket, m_receive.data() + m_unread, m_receive.size() - m_unread - 1, 0);
    if (n > 0) {
        m_unread += size_t(n);
        NotifyRead();
    } else if (n == 0 || errno == ECONNRESET) {
        NotifyClose();
        Close();
    }
}

void CCeSock::NotifyRead() { SendMessage(m_owner, WM_SOCKET_NOTIFY, WPARAM(m_socket), FD_READ); }
void CCeSock::NotifyClose() { SendMessage(m_owner, WM_SOCKET_NOTIFY, 0, FD_CLOSE); }

int CCeSock::Read(void* buffer, int length) {
    const size_t n = std::min(size_t(std::max(length, 0)), m_unread);
    std::memcpy(buffer, m_receive.data(), n);
    std::memmove(m_receive.data(), m_receive.data() + n, m_unread - n);
    m_unread -= n;
    return int(n);
}

int CCeSock::RawSend(const uint8_t* data, size_t length) {
    const ssize_t n = ::send(m_socket, data, length, MSG_NOSIGNAL);
    if (n >= 0) return int(n);
    return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
}

int CCeSock::Send(const void* data, int length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (!m_blocked.empty() && bytes) {
        m_blocked.insert(m_blocked.end(), bytes, bytes + std::max(length, 0));
        return 0;
    }
    if (m_socket < 0) return -1;
    if (!m_blocked.empty()) {
        const int n = RawSend(m_blocked.data(), m_blocked.size());
        if (n > 0) m_blocked.erase(m_blocked.begin(), m_blocked.begin() + n);
        return n;
    }
    if (!bytes || length <= 0) return 0;
    const int n = RawSend(bytes, size_t(length));
    if (n >= 0 && n < length) m_blocked.assign(bytes + n, bytes + length);
    return n;
}

void CCeSock::Close() {
    if (m_socket >= 0) {
        ::shutdown(m_socket, SHUT_RDWR);
        ::close(m_socket);
    }
    m_socket = -1;
    m_connected = false;
    m_blocked.clear();
    m_unread = 0;
    m_port = 0;
}

const char16_t* CCeSock::GetLocalAddress() {
    std::fill(std::begin(m_localAddress), std::end(m_localAddress), 0);
    if (m_socket < 0) return m_localAddress;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &length) != 0) return m_localAddress;
    const auto* b = reinterpret_cast<const uint8_t*>(&local.sin_addr);
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
    for (int i = 0; text[i]; ++i) m_localAddress[i] = char16_t(text[i]);
    return m_localAddress;
}
