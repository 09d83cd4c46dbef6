// A Ping through the client control as the shell drives it (OVCStreamInput
// in, OVCDataOutEvent out to an event sink), next to the same Ping through
// the bare core in the same run. Goal: the control at most 1.5 times the core.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "BenchHost.h"
#include "BenchSession.h"
#include "control/Ravelcore.h"
#include "platform/Com.h"
#include "platform/ComServer.h"
#include "platform/DeviceFs.h"
#include "platform/Library.h"
#include "platform/Window.h"

namespace {

using benchhost::Bytes;
using benchhost::Frame;
using benchhost::Ping;
using plat::com::CPtr;

// The control hosted by ProgID after registration, with a sink that counts.
class ControlSession {
public:
    ControlSession() {
        plat::fs::SetDeviceRoot(benchhost::DeviceRoot());
        HMODULE module = LoadLibrary(u"Ravelcore.dll");
        if (auto reg = module ? GetProc<HRESULT (*)()>(module, "DllRegisterServer") : nullptr) reg();
        if (module) FreeLibrary(module);
        plat::com::RegisterHostWindowClass();
        m_top = CreateWindowEx(0, u"STATIC", u"bench", 0, 0, 0, 240, 320, 0, 0, nullptr, nullptr);
        m_host = CreateWindowEx(0, plat::com::kHostWindowClass, u"Ravelcore.OVC", WS_CHILD, 0, 0, 240, 294, m_top, 0,
                                nullptr, nullptr);
        CPtr<IUnknown> control;
        if (FAILED(plat::com::GetHostedControl(m_host, control.Out()))) return;
        control.As(&m_data);
        CPtr<IOVC> ovc;
        CPtr<IConnectionPointContainer> container;
        if (FAILED(control.As(&ovc)) || FAILED(ovc.As(&container)) ||
            FAILED(container->FindConnectionPoint(DIID__IOVCEvents, m_point.Out())))
            return;
        ovc->Initialize();
        auto* sink = new plat::com::CDispatchSink(DIID__IOVCEvents, [this](DISPID id, DISPPARAMS* p) {
            if (id == DISPID_OVCDataOutEvent && p && p->cArgs == 2) {
                m_replyBytes += size_t(p->rgvarg[1].lVal);
                ++m_segments;
            }
            return S_OK;
        });
        sink->AddRef();
        m_point->Advise(sink, &m_cookie);
        sink->Release();
    }
    ~ControlSession() {
        if (m_point) m_point->Unadvise(m_cookie);
        m_point.Reset();
        m_data.Reset();
        if (m_top) DestroyWindow(m_top);
    }
    bool Ready() const { return m_data && m_point; }
    void Receive(Bytes& wire) { m_data->OVCStreamInput(int(wire.size()), wire.data()); }
    size_t Segments() const { return m_segments; }

private:
    HWND m_top = 0;
    HWND m_host = 0;
    CPtr<IOVCData> m_data;
    CPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
    size_t m_replyBytes = 0;
    size_t m_segments = 0;
};

using benchhost::Report;

void BM_ControlPing(benchmark::State& state) {
    const int mode = int(state.range(0));
    const int size = int(state.range(1));
    ControlSession session;
    if (!session.Ready()) {
        state.SkipWithError("the control was not created");
        return;
    }
    if (mode == 1) {
        Bytes ask = benchhost::AskForMode1();
        session.Receive(ask);
    }
    Bytes wire = Frame(mode, Ping(size));
    const size_t before = session.Segments();
    for (auto _ : state) session.Receive(wire);
    if (session.Segments() == before) state.SkipWithError("the control sent no reply");
    Report(state, size);
}

// The baseline: the same Ping through the bare core.
void BM_CorePing(benchmark::State& state) { benchhost::CorePing(state); }

// The two side by side in turn, a batch of Pings each, so a shared machine's
// load weighs on both alike: the medians per Ping and their ratio, goal 1.5.
void BM_ControlNextToCore(benchmark::State& state) {
    constexpr int kBatch = 256;
    const int mode = int(state.range(0));
    const int size = int(state.range(1));
    ControlSession control;
    benchhost::Session core;
    if (!control.Ready()) return state.SkipWithError("the control was not created");
    core.SetMode(mode);
    if (mode == 1) {
        Bytes ask = benchhost::AskForMode1();
        control.Receive(ask);
    }
    Bytes wire = Frame(mode, Ping(size));
    const auto batch = [&](bool ofControl) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kBatch; ++i) ofControl ? control.Receive(wire) : core.Receive(wire);
        return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / kBatch;
    };
    for (int i = 0; i < 16; ++i) batch(i % 2 == 0);  // warm-up
    std::vector<double> ofControl, ofCore;
    bool controlFirst = true;
    for (auto _ : state) {
        const double first = batch(controlFirst), second = batch(!controlFirst);
        ofControl.push_back(controlFirst ? first : second);
        ofCore.push_back(controlFirst ? second : first);
        controlFirst = !controlFirst;
        state.SetIterationTime(ofControl.back() * 1e-9);
    }
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    const double controlNs = median(ofControl), coreNs = median(ofCore);
    const double ratio = controlNs / coreNs;
    state.counters["control_ns"] = controlNs;
    state.counters["core_ns"] = coreNs;
    state.counters["ratio"] = ratio;
    state.SetLabel(ratio <= 1.5 ? "goal <= 1.5 met" : "goal <= 1.5 MISSED");
}

}  // namespace

BENCHMARK(BM_CorePing)->ArgNames({"mode", "bytes"})->Args({0, 20})->Args({0, 4000})->Args({1, 20})->Args({1, 4000});
BENCHMARK(BM_ControlPing)->ArgNames({"mode", "bytes"})->Args({0, 20})->Args({0, 4000})->Args({1, 20})->Args({1, 4000});
BENCHMARK(BM_ControlNextToCore)
    ->ArgNames({"mode", "bytes"})
    ->Args({0, 20})
    ->Args({0, 4000})
    ->Args({1, 20})
    ->Args({1, 4000})
    ->Iterations(400)
    ->UseManualTime();
// The control paints with Qt, as in the shell: a GUI application exists.
int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
