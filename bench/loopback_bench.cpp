// The headless session tool as a real process over 127.0.0.1, set against a
// plain C echo program (loopback-echo) in the same harness:
//  - Ping round trips of 20 and 4000 bytes in framing modes 0 and 1,
//    alternating tool and echo request by request. A Ping's reply is its
//    request's payload framed the same way, so the echo writes back exactly
//    the bytes the tool replies. Goal: median tool / median echo <= 1.15.
//    The harness and both programs share one CPU, as on the handheld.
//  - Start of the process to its first Ping reply, next to the echo program
//    started, connected and echoing the same Ping. Goal: ratio <= 2.
//  - The same through the device program (Launchwick: socket, shell,
//    control, core; offscreen, discovery off), goal 1.3; and its start to the
//    first Ping answered next to a minimal Qt Widgets program that shows a
//    window and echoes (qt-echo), goal 2.
// Every child is killed and reaped however a run ends; nothing leaves loopback.
#include <benchmark/benchmark.h>

#include "BenchProcess.h"

namespace {

using namespace benchhost;

// Ping round trips, tool and echo request by request; the benchmark's time is the tool's.
template <std::vector<std::string> (*Program)(const Listener&)>
void PingNextToEcho(benchmark::State& state, double goal) {
    const int mode = static_cast<int>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    const OneCpu oneCpu;  // before the children start: they keep it
    Listener host;
    if (!host.Ok()) return state.SkipWithError("cannot listen on 127.0.0.1");
    Child toolProcess(Program(host));
    Socket tool(toolProcess.Started() ? host.Accept() : -1);
    Child echoProcess(EchoArgs(host));
    Socket echo(echoProcess.Started() ? host.Accept() : -1);
    if (tool.Fd() < 0 || echo.Fd() < 0) return state.SkipWithError("the tool or the echo did not connect");
    if (mode == 1 && !(SendAll(tool.Fd(), benchhost::AskForMode1()) && ReceivePacket(tool.Fd(), 0)))
        return state.SkipWithError("the tool did not answer the switch to mode 1");

    const Bytes request = Frame(mode, Ping(size));
    Bytes reply;
    for (int fd : {tool.Fd(), echo.Fd()}) {
        if (RoundTrip(fd, request, request.size(), reply) < 0 || reply != request)
            return state.SkipWithError("a Ping was not answered with its own bytes");
    }
    for (int i = 0; i < 200; ++i) {  // warm-up
        RoundTrip(tool.Fd(), request, request.size(), reply);
        RoundTrip(echo.Fd(), request, request.size(), reply);
    }
    Samples samples = Alternate(state, [&](bool ofTool) {
        return RoundTrip(ofTool ? tool.Fd() : echo.Fd(), request, request.size(), reply);
    });
    state.SetBytesProcessed(static_cast<int64_t>(samples.tool.size()) * size);
    Report(state, samples, goal);
}

void BM_LoopbackPing(benchmark::State& state) { PingNextToEcho<&ToolArgs>(state, 1.15); }
// The whole device program: socket, shell, control and core.
void BM_DevicePing(benchmark::State& state) { PingNextToEcho<&DeviceArgs>(state, 1.3); }

// Start of a process to its answer to the host's first Ping; the process is
// then let go (host closes, it exits) outside the measured time.
int64_t StartToFirstPing(const Listener& host, const std::vector<std::string>& args, const Bytes& ping) {
    Bytes reply;
    const int64_t start = NowNs();
    Child child(args);
    Socket link(child.Started() ? host.Accept() : -1);
    if (link.Fd() < 0 || RoundTrip(link.Fd(), ping, ping.size(), reply) < 0 || reply != ping) return -1;
    const int64_t elapsed = NowNs() - start;
    SendAll(link.Fd(), Frame(0, {'9', 0xFD}));  // Disconnect: the session ends without a box
    link.Close();
    return child.Reap(kWaitMs) ? elapsed : -1;
}

template <std::vector<std::string> (*Program)(const Listener&), std::vector<std::string> (*Baseline)(const Listener&),
          int Goal>
void StartNextToBaseline(benchmark::State& state) {
    Listener host;
    if (!host.Ok()) return state.SkipWithError("cannot listen on 127.0.0.1");
    const Bytes ping = Frame(0, Ping(20));
    const auto tool = Program(host), echo = Baseline(host);
    for (int i = 0; i < 3; ++i) {  // warm-up; the first start also makes the session folder
        StartToFirstPing(host, tool, ping);
        StartToFirstPing(host, echo, ping);
    }
    Samples samples = Alternate(state, [&](bool ofTool) { return StartToFirstPing(host, ofTool ? tool : echo, ping); });
    Report(state, samples, Goal);
}

void BM_StartToFirstPing(benchmark::State& state) { StartNextToBaseline<&ToolArgs, &EchoArgs, 2>(state); }
void BM_DeviceStartToFirstPing(benchmark::State& state) { StartNextToBaseline<&DeviceArgs, &QtEchoArgs, 2>(state); }

}  // namespace

// 20 and 4000 bytes in both framing modes.
void PingCases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"mode", "bytes"})->Args({0, 20})->Args({0, 4000})->Args({1, 20})->Args({1, 4000});
    b->Iterations(4000)->UseManualTime()->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_LoopbackPing)->Apply(PingCases);
BENCHMARK(BM_StartToFirstPing)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DevicePing)->Apply(PingCases);
BENCHMARK(BM_DeviceStartToFirstPing)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
