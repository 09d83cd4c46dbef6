// The device side of the benchmarks that go through the session core: a
// control window that takes the reply segments, and a started core on the
// run's own device root.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

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

}  // namespace benchhost
