#include "ScriptedHost.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace discoveryhost {
namespace {

const std::string kField = "\xFD";
const std::string kRecord = "\xFE";

int BindUdp(uint16_t port, std::string* error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    // Several hosts on one machine all hear the broadcast.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        *error = "UDP port " + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

// The fields of a request payload between 0xFD separators.
std::vector<std::string> Fields(const std::vector<uint8_t>& payload) {
    std::vector<std::string> fields(1);
    for (uint8_t b : payload) {
        if (b == 0xFD)
            fields.emplace_back();
        else
            fields.back().push_back(static_cast<char>(b));
    }
    return fields;
}

// The payload of one framed mode-0 datagram; false when it is not one.
bool Unframe(const uint8_t* data, size_t size, std::vector<uint8_t>& payload) {
    if (size < 4 || data[0] != 0x02 || data[2] != 0x03 || size_t(data[1]) + 4 != size || data[1] == 0) return false;
    payload.clear();
    for (size_t i = 0; i < data[1]; ++i) payload.push_back(data[3 + i]);
    return true;
}

bool SendAll(int fd, const std::vector<uint8_t>& bytes, size_t count) {
    size_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::send(fd, bytes.data() + sent, count - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += size_t(n);
    }
    return true;
}

}  // namespace

std::vector<uint8_t> Frame(const std::string& payload) {
    std::vector<uint8_t> out;
    for (size_t offset = 0; offset < payload.size() || offset == 0;) {
        const size_t chunk = std::min<size_t>(100, payload.size() - offset);
        out.push_back(0x02);
        out.push_back(static_cast<uint8_t>(chunk));
        out.push_back(0x03);
        out.insert(out.end(), payload.begin() + long(offset), payload.begin() + long(offset + chunk));
        offset += chunk;
        out.push_back(offset >= payload.size() ? 0x17 : 0x03);
        if (chunk == 0) break;
    }
    return out;
}

bool CScriptedHost::Start(std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    for (uint16_t port : {m_script.firstRequestPort, m_script.secondRequestPort}) {
        if (!port) continue;
        const int fd = BindUdp(port, error);
        if (fd < 0) {
            Stop();
            return false;
        }
        m_udp.push_back(fd);
    }
    if (::pipe2(m_wake, O_CLOEXEC) != 0) {
        *error = std::string("pipe: ") + std::strerror(errno);
        Stop();
        return false;
    }
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CScriptedHost::Stop() {
    if (m_wake[1] >= 0) {
        const char b = 0;
        (void)!::write(m_wake[1], &b, 1);
    }
    if (m_thread.joinable()) m_thread.join();
    for (int fd : m_held) {
        // A held connection the device has closed reads to its end.
        char b[64];
        ssize_t n;
        while ((n = ::recv(fd, b, sizeof b, MSG_DONTWAIT)) > 0) {
        }
        if (n == 0) ++m_closedByDevice;
        ::close(fd);
    }
    m_held.clear();
    for (int fd : m_udp) ::close(fd);
    m_udp.clear();
    for (int& fd : m_wake) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void CScriptedHost::Run() {
    std::vector<pollfd> polls;
    polls.push_back({m_wake[0], POLLIN, 0});
    for (int fd : m_udp) polls.push_back({fd, POLLIN, 0});
    std::vector<uint8_t> payload;
    for (;;) {
        if (::poll(polls.data(), polls.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (polls[0].revents) return;
        for (size_t i = 1; i < polls.size(); ++i) {
            if (!polls[i].revents) continue;
            uint8_t datagram[2048];
            sockaddr_in from{};
            socklen_t size = sizeof from;
            const ssize_t n = ::recvfrom(polls[i].fd, datagram, sizeof datagram, 0,
                                         reinterpret_cast<sockaddr*>(&from), &size);
            if (n <= 0) continue;
            if (!Unframe(datagram, size_t(n), payload)) continue;
            ++m_requests;
            const bool second = m_udp[i - 1] != m_udp.front() || !m_script.firstRequestPort;
            Answer(payload, from.sin_addr.s_addr, second);
        }
    }
}

void CScriptedHost::Answer(const std::vector<uint8_t>& request, uint32_t from, bool second) {
    const std::vector<std::string> fields = Fields(request);
    if (fields.empty() || fields[0] != "D") return;
    const bool listRequest = second && fields.size() >= 3 && fields[2] == "1";
    const bool portRequest = second && fields.size() >= 3 && fields[2] == "0";
    if (second && !listRequest && !portRequest) return;
    if (portRequest) {
        bool known = false;
        for (const auto& name : m_script.names) known = known || (fields.size() > 1 && name == fields[1]);
        if (!known) return;
    }
    if (m_script.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(m_script.delayMs));

    std::vector<int> open;
    for (int copy = 0; copy < m_script.copies; ++copy) {
        const std::string suffix = m_script.copies > 1 ? "-" + std::to_string(copy) : "";
        std::string payload;
        if (listRequest) {
            payload = "H" + kRecord + "0" + kRecord + "0" + kRecord + "0" + kRecord + "0" + kRecord;
            for (const auto& name : m_script.names) payload += name + suffix + kField;
        } else if (portRequest) {
            payload = "A" + kField + fields[1] + kField + "0" + kField + std::to_string(m_script.port);
        }
        std::vector<uint8_t> bytes;
        if (!listRequest && !portRequest) {
            // A host answer a packet a name.
            for (const auto& name : m_script.names) {
                std::string one = "A" + kRecord + name + suffix + kField + std::to_string(m_script.port) + kField;
                if (m_script.flag) one += m_script.flag;
                const std::vector<uint8_t> framed = Frame(one);
                bytes.insert(bytes.end(), framed.begin(), framed.end());
            }
        } else {
            bytes = Frame(payload);
        }

        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, m_script.address.c_str(), &local.sin_addr);
        sockaddr_in device{};
        device.sin_family = AF_INET;
        device.sin_addr.s_addr = from;
        device.sin_port = htons(m_script.answerPort);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
            ::connect(fd, reinterpret_cast<const sockaddr*>(&device), sizeof device) != 0) {
            ::close(fd);
            continue;
        }
        switch (m_script.style) {
            case AnswerStyle::kWhole: SendAll(fd, bytes, bytes.size()); break;
            case AnswerStyle::kTruncated: SendAll(fd, bytes, bytes.size() / 2); break;
            case AnswerStyle::kHold: SendAll(fd, bytes, bytes.size()); break;
            case AnswerStyle::kSilent: break;
        }
        open.push_back(fd);
    }
    for (int fd : open) {
        if (m_script.style == AnswerStyle::kHold || m_script.style == AnswerStyle::kSilent) {
            m_held.push_back(fd);
            continue;
        }
        if (listRequest && m_script.style == AnswerStyle::kWhole) WaitForAck(fd);
        ::close(fd);
    }
}

void CScriptedHost::WaitForAck(int fd) {
    // The device acknowledges a list answer with seven framed bytes.
    uint8_t ack[7];
    size_t got = 0;
    while (got < sizeof ack) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) return;
        const ssize_t n = ::recv(fd, ack + got, sizeof ack - got, 0);
        if (n <= 0) return;
        got += size_t(n);
    }
    static const uint8_t kAck[] = {0x02, 0x03, 0x03, 'H', 0xFD, '1', 0x17};
    if (std::memcmp(ack, kAck, sizeof ack) == 0) ++m_acks;
}

}  // namespace discoveryhost
