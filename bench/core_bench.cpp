// Host-command round trips through the session core (framed bytes in, reply
// segments out through the control window), next to the framer alone on the
// same bytes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/session/ClientCore.h"
#include "BenchHost.h"
#include "BenchSession.h"
#include "common/PacketFramer.h"
#include "platform/DeviceFs.h"
#include "platform/Message.h"

namespace {

using benchhost::Bytes;
using benchhost::Collect;
using benchhost::Frame;
using benchhost::Ping;
using benchhost::Session;

using benchhost::Report;

// Ping through the core: framed request in, framed echo out.
void BM_CorePing(benchmark::State& state) { benchhost::CorePing(state); }

// GETEVENT answered at once from the queue: a key is queued, then asked for.
void BM_CoreGetEventFromQueue(benchmark::State& state) {
    Session session;
    const Bytes wire = Frame(0, {'1', 0xFD, '0'});
    const size_t before = session.Segments();
    for (auto _ : state) {
        session.Core().OnKeyDown(112, 0);  // F1, queued while the host waits for nothing
        session.Receive(wire);
    }
    if (session.Segments() - before != static_cast<size_t>(state.iterations())) state.SkipWithError("not one reply per GETEVENT");
    Report(state, 3);
}

// The framer alone on the same traffic: the request parsed, the echo framed.
void BM_FramerPingOnly(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    const Bytes wire = Frame(mode, Ping(size));
    Bytes sink;
    CPacketFramer framer(&Collect, &sink, 0);
    framer.SetMode(mode);
    CPacketBuffer writer(mode, 0xFF, 4096, 0);
    for (auto _ : state) {
        int32_t pos = 0;
        CPacket* packet = framer.Parse(wire.data(), pos, static_cast<int32_t>(wire.size()));
        writer.Reset();
        writer.AppendBytes(packet->GetData(), packet->GetLength());
        framer.Send(writer);
        sink.clear();
    }
    Report(state, size);
}

// WIDGETACTION: one packet that adds 100 widgets (after removing the last
// run's), then one that asks for every widget's record.
std::vector<Bytes> WidgetPackets() {
    auto text = [](Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); };
    Bytes adds = {'w', 0xFD, '0', 0xFD, '2', 0xFD, 0xFE};
    for (int i = 1; i <= 100; ++i) {
        text(adds, "1\xFD" "1\xFD" + std::to_string(i) + "\xFD" "2\xFC" + std::to_string(i % 16) +
                       "\xFC" "1\xFC" "8\xFC" "1\xFD\xFC" "0\xFC-1\xFC" "Button " + std::to_string(i) +
                       "\xFD" "3\xFD\xFD\xFD\xFDname" + std::to_string(i) + "\xFD" + std::to_string(i));
        if (i < 100) adds.push_back(0xFE);
    }
    return {Frame(0, adds), Frame(0, {'w', 0xFD, '0', 0xFD, '9', 0xFD})};
}

void BM_CoreWidgets100(benchmark::State& state) {
    Session session;
    const std::vector<Bytes> packets = WidgetPackets();
    const size_t before = session.Segments();
    for (auto _ : state) {
        for (const Bytes& wire : packets) session.Receive(wire);
    }
    if (session.Segments() == before) state.SkipWithError("the core sent no reply");
    state.counters["reply bytes/run"] =
        static_cast<double>(session.ReplyBytes()) / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
}

// The framer alone on the same bytes.
void BM_FramerWidgets100Parse(benchmark::State& state) {
    const std::vector<Bytes> packets = WidgetPackets();
    CPacketFramer framer(&Collect, nullptr, 0);
    for (auto _ : state) {
        for (const Bytes& wire : packets) {
            int32_t pos = 0;
            CPacket* packet = framer.Parse(wire.data(), pos, static_cast<int32_t>(wire.size()));  // the framer's own
            benchmark::DoNotOptimize(packet);
        }
    }
}

}  // namespace

BENCHMARK(BM_CoreWidgets100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FramerWidgets100Parse)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CorePing)->ArgNames({"mode", "bytes"})->Args({0, 20})->Args({0, 4000})->Args({1, 20})->Args({1, 4000});
BENCHMARK(BM_FramerPingOnly)->ArgNames({"mode", "bytes"})->Args({0, 20})->Args({0, 4000})->Args({1, 20})->Args({1, 4000});
BENCHMARK(BM_CoreGetEventFromQueue);

BENCHMARK_MAIN();
