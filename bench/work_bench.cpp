// The work and memory one host packet causes, for the worst packet of each
// command family (display, widgets, files, INI, barcode) at 16 MiB and at
// the 64 MiB packet limit: milliseconds and peak resident memory per MiB of
// packet. Goals: the peak at most 8 MiB per MiB of packet, and the time per
// MiB at 64 MiB at most 1.5 times the time per MiB at 16 MiB (linear work).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "BenchHost.h"
#include "BenchSession.h"

namespace {

using benchhost::Bytes;
using benchhost::Session;
using Clock = std::chrono::steady_clock;

constexpr size_t kMiB = 1u << 20;

// VmRSS or VmHWM of this process, in MiB.
double StatusMiB(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(std::string(key).size())) / 1024.0;
    }
    return 0;
}

// Resets the peak resident size to the current one.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

void Append(Bytes& to, std::initializer_list<Bytes> parts) {
    for (const Bytes& p : parts) to.insert(to.end(), p.begin(), p.end());
}

const Bytes FD{0xFD}, FC{0xFC}, FB{0xFB}, FE{0xFE};

// The worst packet of a family, of about `size` bytes.
using Maker = std::function<Bytes(size_t size)>;

struct Family {
    const char* name;
    Maker make;
    // Run once on the session before the packet (widgets to label, say).
    std::function<void(Session&)> prepare;
};

Bytes Filler(size_t size, uint8_t byte) { return Bytes(size, byte); }

const Family kFamilies[] = {
    // Display: a print of text and escapes, every character wide on the screen.
    {"display RfPrint", [](size_t n) { return Join({Text("3"), FD, Filler(n, 'x')}); }, nullptr},
    {"display RfPrint2", [](size_t n) { return Join({Text("("), FD, Filler(n, 'y'), FD, Text("0"), FD, Text("0"), FD,
                                                       Text("21"), FD, Text("16"), FD, Text("0"), FD, Text("1")}); },
     nullptr},
    // Widgets: one label given to every one of 1000 widgets, and a stream of definitions.
    {"widgets SETLABEL all",
     [](size_t n) { return Join({Text("w"), FD, Text("0"), FD, Text("4"), FD, FD, FD, FC, FC, FC, Filler(n, 'l')}); },
     [](Session& s) {
         Bytes stream = Join({Text("w"), FD});
         for (int i = 1; i <= 1000; ++i)
             Append(stream, {i > 1 ? FE : Bytes{}, Text("1"), FD, Text("1"), FD, Text(std::to_string(i))});
         s.Receive(benchhost::Frame(1, stream));
     }},
    {"widgets ADD stream",
     [](size_t n) {
         Bytes stream = Join({Text("w"), FD});
         const Bytes record = Join({Text("1"), FD, Text("1"), FD, FD, FD, FC, FC, FC, Text("label"), FE});
         while (stream.size() + record.size() < n) Append(stream, {record});
         return stream;
     },
     nullptr},
    // Files: a whole file stored, and a chunk of a transfer.
    {"files STOREFILE", [](size_t n) { return Join({Text("H"), FD, Text("big.bin"), FD, Filler(n, 'f')}); }, nullptr},
    // INI: a value written to a file.
    {"ini SetIniString", [](size_t n) { return Join({Text("\""), FD, Text("big.ini"), FD, Text("S"), FD, Text("k"), FD,
                                                       Filler(n, 'v')}); },
     nullptr},
    // Barcode: a decoder set-up of many items.
    {"barcode SETDECODERS",
     [](size_t n) {
         Bytes names, rest;
         while (names.size() + 4 * rest.size() < n) {
             Append(names, {FB, Text("CODE_39")});
             Append(rest, {FB, Text("1")});
         }
         return Join({Text("E"), FD, names, FC, rest, FC, rest, FC, rest, FC, rest, FC, Text("0")});
     },
     nullptr},
};

struct Measure {
    double msPerMiB = 0;
    double peakPerMiB = 0;
};

Measure Run(const Family& family, size_t size) {
    Session session;
    session.SetMode(1);
    if (family.prepare) family.prepare(session);
    const Bytes wire = benchhost::Frame(1, family.make(size));
    const double mib = static_cast<double>(wire.size()) / kMiB;
    const double before = StatusMiB("VmRSS:");
    ResetPeak();
    const auto start = Clock::now();
    session.Receive(wire);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double peak = StatusMiB("VmHWM:") - before;
    return {seconds * 1000 / mib, peak / mib};
}

void BM_WorstPacket(benchmark::State& state) {
    const Family& family = kFamilies[state.range(0)];
    Measure small, large;
    for (auto _ : state) {
        small = Run(family, 16 * kMiB);
        large = Run(family, 64 * kMiB - 4096);
    }
    state.counters["ms_per_MiB_16"] = small.msPerMiB;
    state.counters["ms_per_MiB_64"] = large.msPerMiB;
    state.counters["peak_MiB_per_MiB"] = std::max(small.peakPerMiB, large.peakPerMiB);
    const double growth = small.msPerMiB > 0 ? large.msPerMiB / small.msPerMiB : 0;
    state.counters["time_growth"] = growth;
    char label[160];
    std::snprintf(label, sizeof label, "%s: peak <= 8/MiB %s, time growth <= 1.5 %s", family.name,
                  std::max(small.peakPerMiB, large.peakPerMiB) <= 8 ? "met" : "MISSED",
                  growth <= 1.5 ? "met" : "MISSED");
    state.SetLabel(label);
}

BENCHMARK(BM_WorstPacket)->DenseRange(0, static_cast<int>(std::size(kFamilies)) - 1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
