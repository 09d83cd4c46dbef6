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
#include <new>
#include <string>
#include <utility>

#include "common/PacketFramer.h"
#include "core/support/MessagePump.h"
#include "platform/Input.h"
#include "platform/MsgBox.h"
#include "platform/Sound.h"
#include "platform/Text.h"
#include "shell/ConnectingWnd.h"
#include "shell/SettingsStore.h"
#include "shell/ShellUtil.h"

namespace {

// 8192 bytes: two pages here. The receive buffer keeps one byte free.
constexpr size_t kReceiveSize = 8192;
constexpr int kConnectAttempts = 20;
constexpr DWORD kConnectRetryMs = 250;
constexpr int kWaitStepMs = 30;
// How long a connect may take before the connecting window is shown.
constexpr int kQuietConnectMs = 20;
constexpr DWORD kClosePauseMs = 100;
constexpr int kLocalAddressTries = 4;
constexpr DWORD kLocalAddressRetryMs = 250;
constexpr size_t kResolveBytes = 128;
constexpr size_t kAddressBytes = 260;
// A full receive buffer is announced and read again at once, this many
// times per tick at most, so a large packet does not wait a tick per 8 KiB.
constexpr int kReadsPerPoll = 8;
// While this much waits to be sent (a host that does not read, or the radio
// gone), nothing more is read: the host's data stays in its own buffers
// instead of growing ours without end.
constexpr size_t kPauseReadingAt = size_t(1) << 20;
// Past this much unsent (or one reply, when a reply is larger) the send
// waits for the host, so a packet of many large answers to a host that does
// not read holds at most this much, not every answer.
constexpr size_t kUnsentBound = size_t(16) << 20;
// A wait for the host lasts until this much is left, so a long reply of
// small segments waits a few times rather than once for each segment.
constexpr size_t kUnsentResume = kUnsentBound / 2;
// Replies gathered during a read, or behind blocked data, go out at a
// packet's end or at this size.
constexpr size_t kBatchLimit = CSendQueue::kBlockSize;
// The blocks of waiting data one send offers the socket: more than it takes.
constexpr int kBlocksPerSend = 64;
// What Close reads and drops of a connection that still delivers.
constexpr int kCloseDrainReads = 16;

constexpr UINT kCaptionConnection = 6;
constexpr UINT kTextUnableToConnect = 41;
constexpr UINT kTextNotAssociatedWait = 6058;
constexpr UINT kTextNotAssociated = 6059;

// The text of a setting when the store has one, else the resource string.
std::u16string SettingOrResource(const CSettingsStore* store, int setting, UINT textId, int maxChars) {
    if (store && store->HasValue(setting)) {
        if (const char16_t* text = store->GetString(setting)) {
            std::u16string value(text);
            if (value.size() > size_t(maxChars - 1)) value.resize(size_t(maxChars - 1));
            return value;
        }
    }
    return LoadResourceText(textId, maxChars);
}

// Multibyte text of the system code page, at most maxBytes - 1 bytes.
std::string ToMultiByte(const char16_t* text, size_t maxBytes) {
    std::string bytes = plat::text::WideToBytes(CP_ACP, text, plat::text::WideLen(text));
    if (bytes.size() > maxBytes - 1) bytes.resize(maxBytes - 1);
    return bytes;
}

void CopyText(char16_t* to, size_t capacity, std::u16string_view text) {
    const size_t n = std::min(text.size(), capacity - 1);
    std::char_traits<char16_t>::copy(to, text.data(), n);
    to[n] = 0;
}

}  // namespace

CCeSock::CCeSock(HWND owner) : m_owner(owner), m_receive(kReceiveSize) {}

CCeSock::~CCeSock() {
    if (m_socket >= 0) Close();
    CloseConnectingWnd();
}

int CCeSock::Create(const char16_t* host, int port) {
    // A second connection never leaves the first one's descriptor behind.
    if (m_socket >= 0) Close();
    ResolveHost(host);
    m_port = port;
    return Connect();
}

void CCeSock::ResolveHost(const char16_t* host) {
    CopyText(m_hostText, kTextChars, host ? std::u16string_view(host) : std::u16string_view());
    if (m_hostText[0] >= u'0' && m_hostText[0] <= u'9') return;
    const std::string name = ToMultiByte(m_hostText, kResolveBytes);
    m_hostText[0] = 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (name.empty() || ::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) return;
    char dotted[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    if (::inet_ntop(AF_INET, &address->sin_addr, dotted, sizeof dotted))
        CopyText(m_hostText, kTextChars, plat::text::BytesToWide(CP_ACP, dotted));
    ::freeaddrinfo(found);
}

BOOL CCeSock::QueryAssociation() const {
    BOOL associated = 1;
    SendMessage(m_owner, WM_QUERY_ASSOCIATION, 0, LPARAM(&associated));
    return associated;
}

void CCeSock::PlayErrorSound() const {
    const char16_t* program = GetFolder(u"OVC", nullptr);
    const char16_t* sounds = GetFolder(u"SOUNDS", nullptr);
    std::u16string path = program ? program : u"";
    path += u"\\";
    path += sounds ? sounds : u"";
    path += u"\\ERROR.WAV";
    PlaySound(path.c_str(), nullptr, SND_ASYNC | SND_FILENAME);
}

int CCeSock::OpenSocket() {
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0) return 0;
    const linger off{0, 0};
    ::setsockopt(m_socket, SOL_SOCKET, SO_LINGER, &off, sizeof off);
    // Each write is a whole answer (or what waited): it leaves at once
    // instead of waiting for the host to acknowledge the one before.
    const int on = 1;
    ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return 1;
}

int CCeSock::Connect() {
    m_connected = false;
    m_connectPending = false;
    if (!QueryAssociation()) {
        PlayErrorSound();
        const std::u16string text =
            SettingOrResource(m_settings, SETTING_NOT_ASSOCIATED_MESSAGE, kTextNotAssociated, 200);
        const std::u16string caption = LoadResourceText(kCaptionConnection, 100);
        MessageBox(m_owner, text.c_str(), caption.c_str(), MB_OK);
        return 0;
    }
    m_notAssociated = false;
    ++m_generation;
    m_failure = 0;
    if (!OpenSocket()) {
        m_failure = errno;
        ShellLog(5, "Creating sock failed , Last Error %x", unsigned(errno));
        return 0;
    }
    const std::string host = ToMultiByte(m_hostText, kAddressBytes);
    const in_addr_t address = ::inet_addr(host.c_str());
    if (address == INADDR_NONE) {
        m_failure = kUnknownName;  // a name the look-up did not turn into an address
        ShellLog(5, "CCeSock::Create - inet_addr failed , Last Error %x", unsigned(EINVAL));
        return 0;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = address;
    peer.sin_port = htons(uint16_t(m_port & 0xFFFF));
    ShellLog(5, "CCeSock::Create - connect");

    int error = 0;
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        if (attempt > 0) {
            Sleep(kConnectRetryMs);
            // A socket whose connect failed cannot be connected again.
            ::close(m_socket);
            if (!OpenSocket()) {
                error = errno;
                break;
            }
        }
        const int flags = ::fcntl(m_socket, F_GETFL);
        ::fcntl(m_socket, F_SETFL, flags | O_NONBLOCK);
        if (::connect(m_socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) {
            m_connectPending = true;
            return 1;
        }
        error = errno;
        if (error == EINPROGRESS || error == EINTR) {  // goes on in the background
            m_connectPending = true;
            return 1;
        }
        if (error != EHOSTUNREACH && error != ECONNREFUSED && error != ETIMEDOUT) break;
    }
    if (m_socket >= 0) ::close(m_socket);
    m_socket = -1;
    m_failure = error;
    ShellLog(5, "CCeSock::Create - connect failed , Last Error %x", unsigned(error));
    return 0;
}

void CCeSock::AwaitConnectOutcome(int ms) const {
    pollfd p{m_socket, POLLOUT, 0};
    ::poll(&p, 1, ms);  // interrupted: the wait below goes on
}

int CCeSock::WaitForConnection() {
    if (m_socket < 0) return 0;
    CloseConnectingWnd();
    bool quit = false;
    bool cancelled = false;
    // A host on this machine or close by answers before the window would
    // be seen: such a connect shows none.
    AwaitConnectOutcome(kQuietConnectMs);
    Poll();
    if (!m_connected && m_socket >= 0) {
        m_connectingWnd = std::make_unique<CConnectingWnd>(m_hostText, nullptr, TRUE);
        quit = PumpMessages() == 1;
        ShellLog(5, "CCeSock::Create - Entering Connection Loop");
        for (int remaining = m_connectWaitMs - kQuietConnectMs; !quit && remaining >= 1; remaining -= kWaitStepMs) {
            if (PumpMessages() == 1) {
                quit = true;
                break;
            }
            Poll();
            if (m_connected || m_socket < 0) break;
            // Not a wait on the socket: the sleep keeps the window drawn and its taps coming.
            Sleep(kWaitStepMs);
            if (m_connectingWnd && m_connectingWnd->IsCancelled()) {
                cancelled = true;
                break;
            }
        }
        CloseConnectingWnd();
    }
    if (m_connected) {
        ShellLog(5, "CCeSock::Create - Connection Established");
        return 1;
    }
    // Neither a cancel nor the program quitting is a failure to report.
    if (!cancelled && !quit) {
        if (m_failure == 0) m_failure = ETIMEDOUT;  // still pending when the wait ran out
        ShowConnectFailure(m_owner);
    }
    if (m_socket >= 0) Close();
    return 0;
}

void CCeSock::ShowConnectFailure(HWND owner) const {
    std::u16string text = LoadResourceText(kTextUnableToConnect, 200);
    std::u16string reason;
    switch (m_failure) {
    case 0: break;
    case kUnknownName: reason = u"The host name is not known."; break;
    case ECONNREFUSED: reason = u"The host refused the connection."; break;
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN: reason = u"The host cannot be reached."; break;
    case ETIMEDOUT: reason = u"The host did not answer."; break;
    default: reason = plat::text::BytesToWide(CP_ACP, std::strerror(m_failure)) + u"."; break;
    }
    if (!reason.empty()) text += u"\n" + reason;
    const std::u16string caption = LoadResourceText(kCaptionConnection, 100);
    MessageBox(owner, text.c_str(), caption.c_str(), MB_ICONEXCLAMATION);
}

void CCeSock::Poll() {
    if (m_socket < 0) return;
    if (!m_connected) {
        CheckConnect();
        return;
    }
    Send(nullptr, 0);
    // A handler of FD_READ that waits in a loop of its own may let the timer
    // in again: the read in progress is not entered twice.
    if (m_socket >= 0 && m_connected) {
        if (!m_reading) OnReadable();
        else ReadAhead();
    }
}

void CCeSock::ReadAhead() {
    // What waits is taken, so the connection does not stay readable and wake
    // the handler's loop without end; it is handed on after the read in
    // progress. A full buffer is not read: a recv of 0 bytes would look like
    // a close.
    const size_t space = m_receive.size() - m_unread - 1;
    if (space > 0) {
        ssize_t n;
        do {
            n = ::recv(m_socket, m_receive.data() + m_unread, space, MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        if (n > 0) {
            m_unread += size_t(n);
            m_readAhead = true;
        }
        if (n == 0 || (n < 0 && errno == ECONNRESET)) {
            EndWithTheHost();
            return;
        }
    }
    // The host going away is seen, so the wait ends with the session.
    if (HostHungUp()) EndWithTheHost();
}

bool CCeSock::HostHungUp() const {
    // POLLRDHUP tells the host's close while bytes it sent before still wait.
    pollfd p{m_socket, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

void CCeSock::EndWithTheHost() {
    // A box the handler shows polls again: the close is announced once.
    if (m_announcingClose) return;
    const uint64_t generation = m_generation;
    m_announcingClose = true;
    NotifyClose();
    m_announcingClose = false;
    if (m_generation == generation) Close();
}

void CCeSock::CheckConnect() {
    if (!m_connectPending) return;
    pollfd p{m_socket, POLLOUT, 0};
    if (::poll(&p, 1, 0) <= 0) return;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
    if (error != 0 || ((p.revents & POLLERR) && !(p.revents & POLLOUT))) {
        m_failure = error != 0 ? error : ECONNREFUSED;
        ShellLog(5, "CCeSock::CheckConnect - connect failed , Last Error %x", unsigned(error));
        Close();
        return;
    }
    if (p.revents & POLLOUT) {
        m_connectPending = false;
        m_connected = true;
        SendMessage(m_owner, WM_SOCKET_NOTIFY, WPARAM(m_socket), FD_CONNECT);
    }
}

BOOL CCeSock::IsReadingPaused() const {
    return Unsent() >= kPauseReadingAt || m_unread + 1 >= m_receive.size() ? TRUE : FALSE;
}

void CCeSock::OnReadable() {
    if (Unsent() >= kPauseReadingAt) return;
    m_reading = true;
    const uint64_t generation = m_generation;
    for (int read = 0; read < kReadsPerPoll; ++read) {
        const size_t space = m_receive.size() - m_unread - 1;
        ssize_t n = 0;
        // Bytes read ahead while a handler of the last announcement waited
        // are announced before the socket is read again.
        if (!std::exchange(m_readAhead, false)) {
            // A full buffer is not read: a recv of 0 bytes would look like a close.
            if (space == 0) break;
            do {
                n = ::recv(m_socket, m_receive.data() + m_unread, space, MSG_DONTWAIT);
            } while (n < 0 && errno == EINTR);
            if (n <= 0) {
                if (n == 0 || errno == ECONNRESET) EndWithTheHost();
                break;
            }
            m_unread += size_t(n);
        }
        // The replies made meanwhile are gathered and leave one write a
        // packet (Send), the rest when the announcement returns.
        NotifyRead();
        if (m_generation != generation || m_socket < 0) break;
        FlushBatch();
        if (m_generation != generation || m_socket < 0) break;
        if (!m_readAhead && size_t(n) < space) break;
    }
    m_reading = false;
}

void CCeSock::NotifyRead() { SendMessage(m_owner, WM_SOCKET_NOTIFY, WPARAM(m_socket), FD_READ); }

void CCeSock::NotifyClose() { SendMessage(m_owner, WM_SOCKET_NOTIFY, 0, FD_CLOSE); }

int CCeSock::Read(void* buffer, int length) {
    if (!buffer || length <= 0) return 0;
    const size_t count = std::min(size_t(length), m_unread);
    std::memcpy(buffer, m_receive.data(), count);
    std::memmove(m_receive.data(), m_receive.data() + count, m_unread - count);
    m_unread -= count;
    return int(count);
}

int CCeSock::SendNow(const uint8_t* data, size_t length) {
    if (m_socket < 0) return -1;
    for (;;) {
        const ssize_t n = ::send(m_socket, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return int(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) return 0;
        ShellLog(5, "CCeSock::Send - send failed , Last Error %x", unsigned(errno));
        return -1;
    }
}

int CCeSock::FlushBlocked() {
    if (m_socket < 0) return -1;
    iovec pieces[kBlocksPerSend];
    msghdr message{};
    message.msg_iov = pieces;
    message.msg_iovlen = size_t(m_unsent.Gather(pieces, kBlocksPerSend));
    ssize_t n;
    do {
        n = ::sendmsg(m_socket, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    // Whatever went, nothing waiting is gathered any more: it has been offered.
    m_gathered = 0;
    m_full = true;
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) return 0;
        ShellLog(5, "CCeSock::Send - send failed , Last Error %x", unsigned(errno));
        DropBlocked();
        return -1;
    }
    // What went out is dropped a block at a time, never moved.
    m_unsent.Consume(size_t(n));
    m_full = !m_unsent.Empty();
    return int(n);
}

void CCeSock::DropBlocked() {
    m_unsent.Clear();
    m_gathered = 0;
    m_full = false;
}

int CCeSock::FlushBatch() {
    if (m_gathered == 0) return 0;
    // One question for the whole write, however many segments it holds.
    if (!QueryAssociation()) {
        HoldWithoutRadio(nullptr, 0);
        return 0;
    }
    return FlushBlocked();
}

void CCeSock::HoldWithoutRadio(const uint8_t* bytes, int length) {
    ShellLog(5, "CCeSock::Send - Entering Not Associated Mode");
    m_notAssociated = true;
    // Gathered replies go first: they wait where they are, for the radio
    // rather than for room in the socket.
    m_gathered = 0;
    m_full = false;
    if (bytes && length > 0) m_unsent.Append(bytes, size_t(length));
    const std::u16string text =
        SettingOrResource(m_settings, SETTING_NOT_ASSOCIATED_TEXT, kTextNotAssociatedWait, int(kTextChars));
    CloseConnectingWnd();
    m_connectingWnd = std::make_unique<CConnectingWnd>(nullptr, text.c_str(), TRUE);
    PlayErrorSound();
}

int CCeSock::FlushWaiting() {
    // Nothing held back: only gathered replies can go, and they ask for themselves.
    if (Blocked() == 0 && !m_notAssociated) return std::max(FlushBatch(), 0);
    const BOOL associated = QueryAssociation();
    if (associated && Unsent() > 0) {
        if (m_notAssociated) {
            ShellLog(5, "CCeSock::Send - Association Regained Sending (%d) bytes", int(Unsent()));
            CloseConnectingWnd();
            m_notAssociated = false;
        }
        return FlushBlocked();
    }
    if (m_notAssociated && !associated && m_connectingWnd && m_connectingWnd->IsCancelled()) {
        ShellLog(5, "CeSock::Send - Associated Mode Cancelled");
        CloseConnectingWnd();
        PostMessage(m_owner, WM_COMMAND, ID_SESSION_ENDED, 0);
        return -1;
    }
    // Held back for the radio: the next tick asks again, however much room
    // the socket has.
    if (!associated) m_full = false;
    return 0;
}

int CCeSock::Send(const void* data, int length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    // A loop inside a handler that runs the timer sends what was gathered.
    if (!bytes || length <= 0) return FlushWaiting();
    const int result = SendData(bytes, length);
    if (Unsent() > kUnsentBound) WaitForHost();
    return result;
}

void CCeSock::PumpWhileWaiting() {
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_NOREMOVE)) {
        if (msg.message == WM_QUIT) return;  // left queued for the main loop
        if (!PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) return;
        if (msg.message == WM_QUIT) {
            PostQuitMessage(int(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
}

void CCeSock::WaitForHost() {
    // A timer's reply made while waiting joins the queue without a wait of its own.
    if (m_waitingForHost) return;
    m_waitingForHost = true;
    const uint64_t generation = m_generation;
    DWORD progress = GetTickCount();
    ShellLog(5, "CCeSock::Send - Waiting for the host to read (%d bytes)", int(Unsent()));
    while (m_socket >= 0 && m_generation == generation && Unsent() > kUnsentResume) {
        pollfd p{m_socket, POLLOUT, 0};
        ::poll(&p, 1, kWaitStepMs);
        // The screen is painted and its timers run meanwhile; the timer's
        // poll reads nothing, since so much waits.
        PumpWhileWaiting();
        MSG quit;
        if (PeekMessage(&quit, 0, WM_QUIT, WM_QUIT, PM_NOREMOVE)) break;
        if (m_socket < 0 || m_generation != generation) break;
        const size_t before = Unsent();
        if (FlushWaiting() < 0) break;
        if (Unsent() < before || m_notAssociated) {
            progress = GetTickCount();
        } else if (GetTickCount() - progress >= m_stallLimitMs) {
            // A host that takes nothing for so long is gone: the session ends
            // as when it closes.
            ShellLog(5, "CCeSock::Send - the host read nothing for %u ms", unsigned(m_stallLimitMs));
            EndWithTheHost();
            break;
        }
    }
    m_waitingForHost = false;
}

int CCeSock::SendData(const uint8_t* bytes, int length) {
    // Nothing is kept for a connection that is gone.
    if (m_socket < 0) return -1;

    if (Unsent() > 0 || m_reading) {
        // Behind what waits, or gathered during a read: the radio is asked
        // when they are written, not for each segment.
        const size_t waiting = Unsent();
        if (!m_reading) ShellLog(5, "CCeSock::Send - Appending Blocked Data (%d)", length);
        try {
            m_unsent.Append(bytes, size_t(length));
        } catch (const std::bad_alloc&) {
            ShellLog(1, "CCeSock::Send - no memory for %d bytes", length);
            return 0;
        }
        // Without the radio they wait behind the waiting window.
        if (m_notAssociated) return 0;
        m_gathered += size_t(length);
        // A whole packet never waits for the rest of the read: a handler
        // may wait for the user before it answers again. A long reply goes
        // as it is made rather than whole at its end, and behind blocked
        // data as the socket takes more.
        if (bytes[length - 1] != FRAME_ETB && m_gathered < kBatchLimit) return m_reading ? length : 0;
        const int sent = FlushBatch();
        if (sent < 0) return -1;
        if (m_notAssociated) return 0;
        if (m_reading) return length;
        // Of the bytes of this call, those that went out.
        return int(std::clamp<int64_t>(int64_t(sent) - int64_t(waiting), 0, length));
    }
    if (!QueryAssociation()) {
        HoldWithoutRadio(bytes, length);
        return 0;
    }
    // Sent from where the bytes are; only what the socket does not take is copied.
    const int sent = SendNow(bytes, size_t(length));
    if (sent >= 0 && sent < length) {
        m_unsent.Append(bytes + sent, size_t(length - sent));
        m_full = true;
    }
    return sent;
}

void CCeSock::Close() {
    if (m_socket >= 0) {
        ::shutdown(m_socket, SHUT_RDWR);
        Sleep(kClosePauseMs);
        uint8_t drop[4096];
        for (int i = 0; i < kCloseDrainReads; ++i) {
            if (::recv(m_socket, drop, sizeof drop, MSG_DONTWAIT) <= 0) break;
        }
        ::close(m_socket);
    }
    m_socket = -1;
    m_connected = false;
    m_connectPending = false;
    m_unread = 0;
    m_readAhead = false;
    DropBlocked();
    CloseConnectingWnd();
    m_port = 0;
    ++m_generation;
}

void CCeSock::CloseConnectingWnd() {
    if (!m_connectingWnd) return;
    m_connectingWnd->Close();
    m_connectingWnd.reset();
}

const char16_t* CCeSock::GetLocalAddress() {
    m_localAddress[0] = 0;
    if (m_socket < 0) return m_localAddress;
    for (int attempt = 0; attempt < kLocalAddressTries; ++attempt) {
        sockaddr_in local{};
        socklen_t size = sizeof local;
        if (::getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &size) != 0) break;
        const auto* b = reinterpret_cast<const uint8_t*>(&local.sin_addr.s_addr);
        if (b[0] != 0 || b[1] != 0) {
            char dotted[16];
            std::snprintf(dotted, sizeof dotted, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
            CopyText(m_localAddress, sizeof m_localAddress / sizeof m_localAddress[0],
                     plat::text::BytesToWide(CP_ACP, dotted));
            break;
        }
        Sleep(kLocalAddressRetryMs);
    }
    return m_localAddress;
}
