// The file commands as transfers grow: what stays resident after a 64 MiB
// STOREFILE and a GETFILE of the same file. Goal: at most 16 MiB more than
// before.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchHost.h"
#include "BenchSession.h"

namespace {

using benchhost::Bytes;
using benchhost::Session;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void Goal(benchmark::State& state, const char* what, double value, double goal) {
    char label[96];
    std::snprintf(label, sizeof label, "%s goal <= %.0f %s", what, goal, value <= goal ? "met" : "MISSED");
    state.SetLabel(label);
}

double ResidentMiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A packet in mode-1 segments, written straight into one buffer.
Bytes FrameMode1(const Bytes& head, size_t filler) {
    const size_t total = head.size() + filler;
    Bytes wire;
    wire.reserve(total + total / 4096 * 8 + 16);
    for (size_t at = 0; at < total;) {
        const size_t chunk = std::min<size_t>(4096, total - at);
        const std::string digits = std::to_string(chunk);
        wire.push_back(0x02);
        wire.insert(wire.end(), digits.begin(), digits.end());
        wire.push_back(0x03);
        for (size_t k = at; k < at + chunk; ++k) wire.push_back(k < head.size() ? head[k] : uint8_t('0' + k % 10));
        at += chunk;
        wire.push_back(at == total ? 0x17 : 0x03);
    }
    return wire;
}

void BM_TransferMemory64MiB(benchmark::State& state) {
    const size_t fileSize = 64 * 1024 * 1024 - 64;  // a whole packet within the framer's limit
    double more = 0;
    for (auto _ : state) {
        Session session;
        session.SetMode(1);
        const Bytes name = {'H', 0xFD, '\\', 'b', 'i', 'g', '.', 'b', 'i', 'n', 0xFD};
        // Everything once on a small file, so what the first use allocates is there before.
        session.Receive(FrameMode1(name, 10));
        auto ask = [&](const std::string& fields) {
            Bytes payload = {'g', 0xFD};
            payload.insert(payload.end(), fields.begin(), fields.end());
            session.Receive(FrameMode1(payload, 0));
        };
        auto getFile = [&](size_t size) {
            ask("\\big.bin");
            for (size_t sent = 0; sent < size; sent += 4096) ask("1\xFD" "4096");
            ask("1");
        };
        getFile(10);
        const Bytes wire = FrameMode1(name, fileSize);
        const double before = ResidentMiB();
        const auto start = Clock::now();
        const size_t segments = session.Segments();
        session.Receive(wire);
        getFile(fileSize);
        state.SetIterationTime(Seconds(start));
        more = ResidentMiB() - before;
        if (session.Segments() - segments < fileSize / 4096) return state.SkipWithError("the file did not come back");
    }
    state.counters["MiB more at rest"] = more;
    Goal(state, "MiB more", more, 16);
}

}  // namespace

BENCHMARK(BM_TransferMemory64MiB)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
