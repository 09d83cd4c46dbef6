// The device side of the benchmarks that go through the session core: a
// control window that takes the reply segments, and a started core on the
// run's own device root.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <benchmark/benchmark.h>

#include "BenchHost.h"
#include "core/session/ClientCore.h"
#include "platform/DeviceFs.h"
#include "platform/Message.h"

namespace benchhost {

class Session {
public:
    Session() {
        plat::fs::SetDeviceRoot(benchhost::DeviceRoot());
        m_window = CreateMessageWindow([this](HWND, UINT msg, WPARAM wParam, LPARAM) {
            if (msg == WM_CORE_SEND_SEGMENT) {
                m_replyBytes += wParam;
                ++m_segments;
            }
            return LRESULT(0);
        });
        m_core = std::make_unique<CClientCore>(m_window);
        m_core->Start();
    }
    ~Session() {
        m_core.reset();
        DestroyWindow(m_window);
    }
    void SetMode(int mode) {
        if (mode == 0) return;
        Receive(benchhost::AskForMode1());
    }
    void Receive(const Bytes& wire) { m_core->OnReceive(wire.data(), static_cast<int32_t>(wire.size()), true); }
    CClientCore& Core() { return *m_core; }
    size_t ReplyBytes() const { return m_replyBytes; }
    size_t Segments() const { return m_segments; }

private:
    HWND m_window = 0;
    std::unique_ptr<CClientCore> m_core;
    size_t m_replyBytes = 0;
    size_t m_segments = 0;
};

// Commands per second and payload bytes of a run.
inline void Report(benchmark::State& state, int payloadBytes) {
    state.counters["commands/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * payloadBytes);
}

// Ping through the bare core (mode and payload size from the run's
// arguments): framed request in, framed echo out.
inline void CorePing(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    Session session;
    session.SetMode(mode);
    const Bytes wire = Frame(mode, Ping(size));
    const size_t before = session.Segments();
    for (auto _ : state) session.Receive(wire);
    if (session.Segments() == before) state.SkipWithError("the core sent no reply");
    Report(state, size);
}

}  // namespace benchhost
