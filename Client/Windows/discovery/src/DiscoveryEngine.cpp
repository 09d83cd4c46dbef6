#include "discovery/DiscoveryEngine.h"

#include "discovery/Answers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <vector>

#include "common/PacketFramer.h"
#include "platform/Clock.h"
#include "platform/Text.h"

namespace discovery {
namespace {

constexpr int32_t kMessageCapacity = 100;
constexpr int32_t kChunk = 512;
// Room for every host a run takes: a crowd answering at once would
// otherwise see its connections refused and retried seconds later.
constexpr int kBacklog = CDiscoveryEngine::kMaxHosts;
// The device's acknowledgement of a list answer: the framed payload 'H' 0xFD '1'.
constexpr uint8_t kListAck[] = {0x02, 0x03, 0x03, 'H', 0xFD, '1', 0x17};

class CFd {
public:
    explicit CFd(int fd = -1) : m_fd(fd) {}
    ~CFd() { Close(); }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    void Close() { Reset(-1); }
    void Reset(int fd) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Both directions shut down, then closed.
    void ShutAndClose() {
        if (m_fd >= 0) ::shutdown(m_fd, SHUT_RDWR);
        Close();
    }

private:
    int m_fd;
};

uint32_t Elapsed(DWORD since) { return static_cast<uint32_t>(GetTickCount() - since); }

// 1 readable, 0 time-out, -1 error.
int WaitReadable(int fd, uint32_t ms) {
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, static_cast<int>(std::min<uint32_t>(ms, 0x7FFFFFFF)));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        return r == 0 ? 0 : 1;
    }
}

// The listener of the answers on every local address; -1 with errno set.
int OpenListener() {
    CFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) return -1;
    const int on = 1;
    const linger noLinger{0, 0};
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = htons(CDiscoveryEngine::kAnswerPort);
    if (::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger) != 0 ||
        ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0 ||
        ::listen(fd.Get(), kBacklog) != 0) {
        const int error = errno;
        fd.Close();
        errno = error;
        return -1;
    }
    return fd.Release();
}

// The framer's segments of one message, each to go out as one datagram.
void CollectSegment(void* context, int pieceCount, const uint8_t* const* pieces, const int32_t* lengths) {
    auto& segments = *static_cast<std::vector<std::vector<uint8_t>>*>(context);
    std::vector<uint8_t>& segment = segments.emplace_back();
    for (int i = 0; i < pieceCount; ++i) segment.insert(segment.end(), pieces[i], pieces[i] + lengths[i]);
}

// The run's framer and message: mode 0, delimiter 0xFF, the default code page.
struct Codec {
    std::vector<std::vector<uint8_t>> segments;
    CPacketFramer framer{&CollectSegment, &segments, CP_ACP};
    std::unique_ptr<CPacketBuffer> message = framer.NewWriter(kMessageCapacity);
};

// Broadcasts the message, one fresh socket for it; nothing is retried.
void Broadcast(Codec& codec, uint16_t port) {
    codec.segments.clear();
    codec.framer.Send(*codec.message);
    CFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) return;
    const int on = 1;
    if (::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    to.sin_port = htons(port);
    for (const auto& segment : codec.segments)
        ::sendto(fd.Get(), segment.data(), segment.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
}

std::u16string Dotted(const sockaddr_in& peer) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    return plat::text::Utf8ToWide(text);
}

// A port as unsigned 16-bit decimal text; absent or out of range reads as 0.
uint16_t ReadPort(const CPacket& packet) {
    const int32_t value = packet.GetLong(0);
    return value >= 0 && value <= 0xFFFF ? static_cast<uint16_t>(value) : 0;
}

std::u16string ReadName(const CPacket& packet) {
    char16_t name[CDiscoveryEngine::kMaxNameChars + 1];
    packet.GetWide(name, CDiscoveryEngine::kMaxNameChars + 1);
    return name;
}

// What to do after one packet of a connection.
enum class After { kNextPacket, kDropChunk, kEndConnection };

struct Accepted {
    CFd fd;
    sockaddr_in peer{};
};

// Waits for one connection for at most ms; false on time-out, with error set
// when the wait itself failed.
bool AcceptOne(int listener, uint32_t ms, Accepted& out, bool& error) {
    error = false;
    const int r = WaitReadable(listener, ms);
    if (r < 0) error = true;
    if (r <= 0) return false;
    socklen_t size = sizeof out.peer;
    const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&out.peer), &size, SOCK_CLOEXEC);
    if (fd < 0) return false;
    out.fd.Reset(fd);
    return true;
}

// Reads one accepted connection until the host closes it, its time is up
// (one wait slice, and never past the exchange's end), the stop flag is set
// or it has sent more than an answer can hold. The framer starts afresh for
// each connection, so a truncated answer cannot garble the next one.
template <class OnPacket, class Stopped>
void ReadConnection(int fd, CPacketFramer& framer, uint32_t budgetMs, const Stopped& stopped,
                    const OnPacket& onPacket) {
    framer.Reset();
    const DWORD start = GetTickCount();
    uint8_t chunk[kChunk];
    int32_t total = 0;
    for (;;) {
        const uint32_t used = Elapsed(start);
        if (used >= budgetMs || stopped()) return;
        if (WaitReadable(fd, budgetMs - used) <= 0) return;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return;
        total += static_cast<int32_t>(n);
        if (total > CDiscoveryEngine::kMaxConnectionBytes) return;
        int32_t position = 0;
        while (position < n) {
            CPacket* packet = framer.Parse(chunk, position, static_cast<int32_t>(n));
            if (!packet) break;
            const After after = onPacket(*packet);
            if (after == After::kEndConnection) return;
            if (after == After::kDropChunk) break;
        }
    }
}

}  // namespace

void ReadHostAnswer(CPacket& packet, std::u16string_view token, HostAnswer& answer) {
    answer.version = 1;
    answer.type = 0;
    // Whatever precedes the first record separator is the host's own.
    packet.NextRecord();
    answer.appName = ReadName(packet);
    packet.NextField();
    answer.port = ReadPort(packet);
    packet.NextField();
    const int flag = packet.PeekByte(-1);
    if (flag == '0' || flag < 0) answer.type |= kTypeDefault;
    if (answer.appName == token) answer.type |= kTypeToken;
}

bool ReadListAnswer(CPacket& packet, int room, std::vector<std::u16string>& names) {
    if (packet.PeekByte(-1) != 'H') return false;
    for (int i = 0; i < 5; ++i) packet.NextRecord();
    while (int(names.size()) < room && packet.BytesLeft() > 0 && packet.GetFieldLength() > 0) {
        names.push_back(ReadName(packet));
        packet.NextField();
    }
    return true;
}

std::optional<uint16_t> ReadPortAnswer(CPacket& packet) {
    packet.NextField();
    if (packet.GetFieldLength() <= 0) return std::nullopt;
    packet.NextField();
    packet.NextField();
    return ReadPort(packet);
}

bool CDiscoveryEngine::IsRunning() const {
    std::lock_guard lock(m_mutex);
    return m_running;
}

void CDiscoveryEngine::BeginRun() {
    std::lock_guard lock(m_mutex);
    m_running = true;
}

void CDiscoveryEngine::EndRun() {
    {
        std::lock_guard lock(m_mutex);
        m_running = false;
        m_stop = false;
    }
    m_ended.notify_all();
}

bool CDiscoveryEngine::StopRequested() const {
    std::lock_guard lock(m_mutex);
    return m_stop;
}

bool CDiscoveryEngine::StopRunAndWait() {
    std::unique_lock lock(m_mutex);
    if (!m_running) return false;
    m_stop = true;
    const bool ended =
        m_ended.wait_for(lock, std::chrono::milliseconds(m_timing.stopWaitMs), [this] { return !m_running; });
    m_stop = false;
    return ended;
}

void CDiscoveryEngine::Discover(std::u16string_view token, uint16_t autoDiscoveryPort, const HostCallback& onHost) {
    BeginRun();
    const bool wantFirst = autoDiscoveryPort == kFirstRequestPort || autoDiscoveryPort == 0;
    const bool wantSecond = autoDiscoveryPort != kFirstRequestPort;
    CFd listener(OpenListener());
    int reported = 0;
    if (listener.Valid()) {
        Outcome outcome = Outcome::kGoOn;
        if (wantFirst) outcome = FirstExchange(listener.Get(), token, onHost, reported);
        if (outcome == Outcome::kGoOn && wantSecond)
            SecondExchange(listener.Get(), autoDiscoveryPort ? autoDiscoveryPort : kSecondRequestPort, onHost,
                           reported);
    }
    listener.Close();
    EndRun();
}

template <class OnConnection>
CDiscoveryEngine::Outcome CDiscoveryEngine::TakeConnections(int listener, uint32_t limitMs, bool watchStop,
                                                            const OnConnection& onConnection) {
    const DWORD start = GetTickCount();
    while (Elapsed(start) < limitMs) {
        if (watchStop && StopRequested()) return Outcome::kEndRun;
        Accepted conn;
        bool error;
        if (!AcceptOne(listener, std::min(limitMs - Elapsed(start), m_timing.waitSliceMs), conn, error)) {
            if (error) return Outcome::kEndRun;
            continue;
        }
        // One connection gets one slice at most, never past the exchange's end.
        const uint32_t budget = std::min(m_timing.waitSliceMs, limitMs - std::min(limitMs, Elapsed(start)));
        const Outcome outcome = onConnection(conn, budget);
        conn.fd.ShutAndClose();
        if (outcome == Outcome::kEndRun) return outcome;
    }
    return Outcome::kGoOn;
}

CDiscoveryEngine::Outcome CDiscoveryEngine::FirstExchange(int listener, std::u16string_view token,
                                                          const HostCallback& onHost, int& reported) {
    Codec codec;
    if (!codec.message) return Outcome::kEndRun;
    codec.message->AppendByte('D').EndField().AppendWide(std::u16string(token).c_str());
    Broadcast(codec, kFirstRequestPort);
    const auto stopped = [this] { return StopRequested(); };
    return TakeConnections(listener, m_timing.firstExchangeMs, true, [&](Accepted& conn, uint32_t budget) {
        uint16_t lastType = 0;
        ReadConnection(conn.fd.Get(), codec.framer, budget, stopped, [&](CPacket& packet) {
            if (reported >= kMaxHosts) return After::kEndConnection;
            HostAnswer answer;
            ReadHostAnswer(packet, token, answer);
            answer.address = Dotted(conn.peer);
            lastType = answer.type;
            ++reported;
            onHost(answer);
            return After::kNextPacket;
        });
        const bool found = (lastType & (kTypeDefault | kTypeToken)) == (kTypeDefault | kTypeToken);
        return found || reported >= kMaxHosts ? Outcome::kEndRun : Outcome::kGoOn;
    });
}

CDiscoveryEngine::Outcome CDiscoveryEngine::SecondExchange(int listener, uint16_t port, const HostCallback& onHost,
                                                           int& reported) {
    Codec codec;
    if (!codec.message) return Outcome::kEndRun;
    codec.message->AppendByte('D').EndField().AppendString("*").EndField().AppendString("1");
    Broadcast(codec, port);
    const auto stopped = [this] { return StopRequested(); };
    return TakeConnections(listener, m_timing.secondExchangeMs, true, [&](Accepted& conn, uint32_t budget) {
        ReadConnection(conn.fd.Get(), codec.framer, budget, stopped, [&](CPacket& packet) {
            std::vector<std::u16string> names;
            // Anything but a list answer drops the rest of its chunk.
            if (!ReadListAnswer(packet, kMaxHosts - reported, names)) return After::kDropChunk;
            HostAnswer answer;
            answer.version = 2;
            answer.address = Dotted(conn.peer);
            for (auto& name : names) {
                answer.appName = std::move(name);
                ++reported;
                onHost(answer);
            }
            ::send(conn.fd.Get(), kListAck, sizeof kListAck, MSG_NOSIGNAL);
            return reported >= kMaxHosts ? After::kEndConnection : After::kNextPacket;
        });
        return reported >= kMaxHosts ? Outcome::kEndRun : Outcome::kGoOn;
    });
}

std::optional<uint16_t> CDiscoveryEngine::QueryPort(std::u16string_view appName, std::u16string_view address,
                                                    uint16_t autoDiscoveryPort) {
    in_addr target{};
    if (::inet_pton(AF_INET, plat::text::WideToUtf8(address).c_str(), &target) != 1) return std::nullopt;
    CFd listener(OpenListener());
    if (!listener.Valid() && errno == EADDRINUSE && StopRunAndWait()) listener.Reset(OpenListener());
    if (!listener.Valid()) return std::nullopt;

    Codec codec;
    if (!codec.message) return std::nullopt;
    codec.message->AppendByte('D').EndField().AppendWide(std::u16string(appName).c_str()).EndField().AppendString(
        "0");
    Broadcast(codec, autoDiscoveryPort ? autoDiscoveryPort : kSecondRequestPort);
    const auto never = [] { return false; };
    std::optional<uint16_t> port;
    TakeConnections(listener.Get(), m_timing.portQueryMs, false, [&](Accepted& conn, uint32_t budget) {
        // Only the host that was asked may answer.
        if (conn.peer.sin_addr.s_addr != target.s_addr) return Outcome::kGoOn;
        ReadConnection(conn.fd.Get(), codec.framer, budget, never, [&](CPacket& packet) {
            port = ReadPortAnswer(packet);
            return port ? After::kEndConnection : After::kNextPacket;
        });
        return port ? Outcome::kEndRun : Outcome::kGoOn;
    });
    return port;
}

}  // namespace discovery
