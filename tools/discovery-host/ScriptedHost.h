// A host as discovery sees it: it listens for the device's broadcast
// requests and answers each over TCP from its own address, as the script
// says. Used by the discovery tests and by discovery-host, to try discovery
// by hand.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace discoveryhost {

enum class AnswerStyle {
    kWhole,      // the answer, then the connection closes
    kTruncated,  // half of the answer's bytes, then the connection closes
    kHold,       // the answer, and the connection stays open until Stop
    kSilent,     // nothing, and the connection stays open until Stop
};

struct HostScript {
    std::string address = "127.0.0.1";  // the address the answers come from
    uint16_t port = 1000;               // the port a host answer and a port answer give
    std::vector<std::string> names{"HOST"};
    char flag = '0';                     // a host answer's flag byte; 0 leaves it out
    uint16_t firstRequestPort = 902;     // 0: no host answers
    uint16_t secondRequestPort = 905;    // 0: no list or port answers
    uint16_t answerPort = 903;
    AnswerStyle style = AnswerStyle::kWhole;
    // Connections opened at once for one request, each with the answer
    // (names get "-N" when there are more than one).
    int copies = 1;
    int delayMs = 0;  // before answering
};

class CScriptedHost {
public:
    explicit CScriptedHost(HostScript script) : m_script(std::move(script)) {}
    ~CScriptedHost() { Stop(); }
    CScriptedHost(const CScriptedHost&) = delete;
    CScriptedHost& operator=(const CScriptedHost&) = delete;

    // Binds the request ports and starts answering; false with the reason.
    bool Start(std::string* error);
    void Stop();

    int Requests() const { return m_requests; }
    // List acknowledgements the device sent back.
    int Acks() const { return m_acks; }
    // Held connections that the device closed.
    int ClosedByDevice() const { return m_closedByDevice; }

private:
    void Run();
    void Answer(const std::vector<uint8_t>& request, uint32_t from, bool second);
    void WaitForAck(int fd);

    HostScript m_script;
    std::vector<int> m_udp;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    std::vector<int> m_held;
    std::atomic<int> m_requests{0};
    std::atomic<int> m_acks{0};
    std::atomic<int> m_closedByDevice{0};
};

// The framed bytes of one mode-0 packet.
std::vector<uint8_t> Frame(const std::string& payload);

}  // namespace discoveryhost
