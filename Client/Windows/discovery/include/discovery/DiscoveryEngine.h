// The discovery protocol: a UDP broadcast request, the hosts' answers on a
// TCP listener, and the port query of one host. Plain C++ over POSIX
// sockets; the discovery object of "Beaconet.dll" wraps it. All work runs on
// the calling thread; a host answer is handed to the caller's function on
// that thread with no lock held.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace discovery {

// What one answer says about one host.
struct HostAnswer {
    std::u16string appName;
    std::u16string address;  // the answering peer, dotted
    uint16_t port = 0;       // 0 in a list answer
    uint16_t version = 0;    // 1 host answer, 2 list answer
    uint16_t type = 0;       // kTypeDefault | kTypeToken
};

// The answer's flag byte was '0' or missing.
constexpr uint16_t kTypeDefault = 4;
// The answer named exactly the token that was asked for.
constexpr uint16_t kTypeToken = 8;

// The protocol's time limits, in milliseconds (tests shorten them).
struct Timing {
    uint32_t firstExchangeMs = 10000;
    uint32_t secondExchangeMs = 5000;
    uint32_t portQueryMs = 5000;
    // The longest single wait, so the stop flag is seen at least this often;
    // also the most one connection may take.
    uint32_t waitSliceMs = 1000;
    // How long a port query waits for a run it stopped.
    uint32_t stopWaitMs = 5000;
};

class CDiscoveryEngine {
public:
    static constexpr uint16_t kAnswerPort = 903;
    static constexpr uint16_t kFirstRequestPort = 902;
    static constexpr uint16_t kSecondRequestPort = 905;
    // A run reports at most this many hosts; answers past them are dropped.
    static constexpr int kMaxHosts = 256;
    // An application name is cut to the host record's name field.
    static constexpr int kMaxNameChars = 100;
    // Bytes read from one connection at most; an answer is a few dozen.
    static constexpr int32_t kMaxConnectionBytes = 64 * 1024;

    using HostCallback = std::function<void(const HostAnswer&)>;

    explicit CDiscoveryEngine(Timing timing = {}) : m_timing(timing) {}
    CDiscoveryEngine(const CDiscoveryEngine&) = delete;
    CDiscoveryEngine& operator=(const CDiscoveryEngine&) = delete;

    // One discovery run. autoDiscoveryPort 0 runs the first exchange (902)
    // then the second (905); 902 only the first; another port only the
    // second, to that port. onHost is called for every host answer.
    void Discover(std::u16string_view token, uint16_t autoDiscoveryPort, const HostCallback& onHost);

    // Asks the host at address (dotted) for the port of appName; the port
    // when that host answered, else nothing. A run in progress that holds the
    // answer port is stopped first.
    std::optional<uint16_t> QueryPort(std::u16string_view appName, std::u16string_view address,
                                      uint16_t autoDiscoveryPort);

    bool IsRunning() const;
    // Stops a run in progress on another thread and waits for its end (at
    // most the stop wait); false when no run was going.
    bool StopRun() { return StopRunAndWait(); }

private:
    enum class Outcome { kGoOn, kEndRun };

    void BeginRun();
    void EndRun();
    bool StopRequested() const;
    // Sets the stop flag while a run is running and waits for its end; the
    // flag is cleared again after the wait. False when no run was stopped.
    bool StopRunAndWait();

    // Takes the connections of one exchange, one at a time, until its time
    // is up, the stop flag is seen (when watched) or the function ends it.
    template <class OnConnection>
    Outcome TakeConnections(int listener, uint32_t limitMs, bool watchStop, const OnConnection& onConnection);
    Outcome FirstExchange(int listener, std::u16string_view token, const HostCallback& onHost, int& reported);
    Outcome SecondExchange(int listener, uint16_t port, const HostCallback& onHost, int& reported);

    Timing m_timing;
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_running = false;
    bool m_stop = false;
};

}  // namespace discovery
