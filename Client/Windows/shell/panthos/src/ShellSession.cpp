#include "panthos/ShellSession.h"

#include <utility>

#include "core/hooks/CoreMessages.h"
#include "platform/Message.h"
#include "shell/ShellUtil.h"

namespace {

constexpr int kReadSize = 20480;

}  // namespace

CShellSession::CShellSession(HWND window, CSettingsStore* settings, Input input)
    : m_window(window), m_input(std::move(input)), m_socket(std::make_unique<CCeSock>(window)) {
    m_socket->SetSettingsStore(settings);
}

CShellSession::~CShellSession() { Unwatch(); }

CShellSession::Opened CShellSession::Open(const char16_t* host, int32_t port) {
    m_active = true;
    if (!m_socket->Create(host, port)) {
        End();
        return Opened::NotCreated;
    }
    if (!m_socket->WaitForConnection()) {
        End();
        return Opened::NotConnected;
    }
    return Opened::Connected;
}

void CShellSession::End() {
    if (!m_active) return;
    m_active = false;
    Close();
}

void CShellSession::Poll() {
    m_writeWatched = false;
    m_socket->Poll();
    Watch();
}

void CShellSession::Send(const void* data, int size) {
    if (!m_active || !data || size <= 0) return;
    m_socket->Send(data, size);
    if (!m_writeWatched && m_socket->IsWaitingForRoom()) Watch();
}

void CShellSession::OnRead() {
    ShellLog(LOG_TRACE, "OnSocketNotify:FD_READ");
    // Not zeroed: Read fills what it returns, and a packet's 20 KiB of
    // zeros would cost more than the packet.
    auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kReadSize);
    const int n = m_socket->Read(buffer.get(), kReadSize);
    // A command may wait inside this input with its own message loop, which
    // runs no timer: the connection is watched meanwhile, so the host's
    // close ends the wait.
    Watch();
    if (n > 0 && m_input) m_input(n, buffer.get());
}

std::u16string CShellSession::OnConnected() {
    ShellLog(LOG_TRACE, "OnSocketNotify:FD_CONNECT");
    Watch();
    return m_socket->GetLocalAddress();
}

bool CShellSession::OnClosed() {
    ShellLog(LOG_TRACE, "OnSocketNotify:FD_CLOSE");
    Unwatch();  // the socket closes it when this returns
    if (!m_active) return false;
    Close();
    return true;
}

void CShellSession::Watch() {
    const int fd = m_socket->IsConnected() ? m_socket->GetSocketHandle() : -1;
    if (fd != m_watched) Unwatch();
    // Replies that wait go as soon as the socket takes more, not at the next tick.
    if (fd >= 0 && m_socket->IsWaitingForRoom() && plat::messages::PostWhenWritable(fd, m_window, WM_SOCKET_WRITABLE)) {
        m_watched = fd;
        m_writeWatched = true;
    }
    // While the socket reads nothing (its answers wait for the host), the
    // connection stays readable: watching it would wake the loop without end.
    if (fd < 0 || m_socket->IsReadingPaused()) return;
    if (plat::messages::PostWhenReadable(fd, m_window, WM_SOCKET_READABLE)) m_watched = fd;
}

void CShellSession::Unwatch() {
    if (m_watched >= 0) plat::messages::StopWatching(m_watched);
    m_watched = -1;
    m_writeWatched = false;
}

void CShellSession::Close() {
    Unwatch();
    m_socket->Close();
}
