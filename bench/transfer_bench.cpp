// Files of 64 MiB through the headless session tool and through the device
// program (Launchwick), as real processes over 127.0.0.1 in framing mode 1,
// set against a plain C program (loopback-file) that moves the same bytes
// over a loopback socket, in the same harness, tool and baseline taking turns:
//  - RETRIEVEFILE: the request, and every byte of the reply received.
//    Baseline: the file's bytes read and sent. Goal: ratio <= 3.
//  - STOREFILE: the whole packet sent and its answer received. Baseline: the
//    bytes received into a new file, synced and renamed. Goal: ratio <= 3.
//  - The program's memory during each: its peak over its resting value
//    ("peak MiB", goal <= 1.5 x the file + 16 MiB) and 2 s after
//    ("after 2s MiB", goal <= 16).
// And the size of the client's package (goal <= 12 MiB).
// The harness and the programs share one CPU, as on the handheld.
#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <thread>

#include "BenchProcess.h"

namespace {

using namespace benchhost;

// A whole packet within the framer's limit, its command and name included.
constexpr size_t kFileBytes = 64 * 1024 * 1024 - 64;
constexpr double kFileMiB = static_cast<double>(kFileBytes) / (1024.0 * 1024.0);

const Bytes& Content() {
    static const Bytes content = [] {
        Bytes c(kFileBytes);
        for (size_t i = 0; i < c.size(); ++i) c[i] = static_cast<uint8_t>(i * 7 + i / 251);
        return c;
    }();
    return content;
}

void WriteContent(const std::string& path) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(Content().data()), static_cast<std::streamsize>(kFileBytes));
}

Bytes Command(const std::string& head, const Bytes& content = {}) {
    Bytes payload(head.begin(), head.end());
    payload.insert(payload.end(), content.begin(), content.end());
    return payload;
}

// A size in MiB from a process's status ("VmRSS:", "VmHWM:"); -1 when absent.
double StatusMiB(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(key.size())) / 1024.0;
    return -1;
}

// The peak from here on is measured afresh.
void ResetPeak(pid_t pid) { std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5"; }

std::vector<std::string> FileArgs(const Listener& host, const std::string& file) {
    return {LOOPBACK_FILE_PATH, "127.0.0.1", host.Port(), file, std::to_string(kFileBytes)};
}

// Where the program's device root puts "\big.bin" and "\stored.bin".
std::string ToolRoot() { return DeviceRoot(); }
std::string DeviceRootOfProgram() { return DeviceProgramRoot(); }

struct Memory {
    std::vector<double> peak, after;
};

template <std::vector<std::string> (*Program)(const Listener&), std::string (*Root)(), bool kStore>
void TransferNextToBaseline(benchmark::State& state) {
    const OneCpu oneCpu;  // before the children start: they keep it
    Listener host;
    if (!host.Ok()) return state.SkipWithError("cannot listen on 127.0.0.1");
    WriteContent(Root() + "/big.bin");
    const std::string plain = DeviceRoot() + "/plain.bin";
    WriteContent(plain);

    Child programProcess(Program(host));
    Socket program(programProcess.Started() ? host.Accept() : -1);
    Child baselineProcess(FileArgs(host, plain));
    Socket baseline(baselineProcess.Started() ? host.Accept() : -1);
    if (program.Fd() < 0 || baseline.Fd() < 0) return state.SkipWithError("the program or the baseline did not connect");
    if (!(SendAll(program.Fd(), AskForMode1()) && ReceivePacket(program.Fd(), 0)))
        return state.SkipWithError("the program did not answer the switch to mode 1");

    const Bytes request = kStore ? Frame(1, Command("H\xFD\\stored.bin\xFD", Content()))
                                 : Frame(1, Command("G\xFD\\big.bin"));
    const Bytes expected = kStore ? Frame(1, Command("H\xFD" "1")) : Frame(1, Command("G\xFD", Content()));
    Bytes reply;
    // Once on a small file, so what any use allocates first is there before the resting value.
    const Bytes small = Frame(1, Command(kStore ? "H\xFD\\small.bin\xFD" "x" : "G\xFD\\small.bin"));
    std::ofstream(Root() + "/small.bin") << "x";
    if (RoundTrip(program.Fd(), small, kStore ? expected.size() : Frame(1, Command("G\xFDx")).size(), reply) < 0)
        return state.SkipWithError("the program did not answer a small file");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const pid_t pid = programProcess.Pid();
    const double resting = StatusMiB(pid, "VmRSS:");

    Memory memory;
    const Bytes ask = {static_cast<uint8_t>(kStore ? 'H' : 'G')};
    Samples samples = Alternate(state, [&](bool ofProgram) -> int64_t {
        if (!ofProgram) {
            const int64_t start = NowNs();
            if (!SendAll(baseline.Fd(), ask)) return -1;
            if (kStore && !SendAll(baseline.Fd(), Content())) return -1;
            if (!ReceiveCount(baseline.Fd(), kStore ? 1 : kFileBytes, reply)) return -1;
            return NowNs() - start;
        }
        ResetPeak(pid);
        const int64_t elapsed = RoundTrip(program.Fd(), request, expected.size(), reply);
        if (elapsed < 0 || reply != expected) return -1;
        memory.peak.push_back(StatusMiB(pid, "VmHWM:") - resting);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        memory.after.push_back(StatusMiB(pid, "VmRSS:") - resting);
        return elapsed;
    });
    if (samples.tool.empty()) return;
    const double peak = *std::max_element(memory.peak.begin(), memory.peak.end());
    const double after = *std::max_element(memory.after.begin(), memory.after.end());
    const double peakGoal = 1.5 * kFileMiB + 16;
    Report(state, samples, 3);
    state.counters["resting MiB"] = resting;
    state.counters["peak MiB"] = peak;
    state.counters["after 2s MiB"] = after;
    char label[160];
    std::snprintf(label, sizeof label, "time goal <= 3 %s; peak goal <= %.0f %s; after goal <= 16 %s",
                  state.counters["ratio"] <= 3 ? "met" : "MISSED", peakGoal, peak <= peakGoal ? "met" : "MISSED",
                  after <= 16 ? "met" : "MISSED");
    state.SetLabel(label);
    state.SetBytesProcessed(static_cast<int64_t>(samples.tool.size() * kFileBytes));
}

void BM_ToolRetrieveFile(benchmark::State& state) { TransferNextToBaseline<&ToolArgs, &ToolRoot, false>(state); }
void BM_ToolStoreFile(benchmark::State& state) { TransferNextToBaseline<&ToolArgs, &ToolRoot, true>(state); }
void BM_DeviceRetrieveFile(benchmark::State& state) {
    TransferNextToBaseline<&DeviceArgs, &DeviceRootOfProgram, false>(state);
}
void BM_DeviceStoreFile(benchmark::State& state) {
    TransferNextToBaseline<&DeviceArgs, &DeviceRootOfProgram, true>(state);
}

void BM_PackageSize(benchmark::State& state) {
    struct stat st{};
    for (auto _ : state) {
        if (stat(ORVADE_PACKAGE_PATH, &st) != 0) return state.SkipWithError("the package is missing");
    }
    const double mib = static_cast<double>(st.st_size) / (1024.0 * 1024.0);
    state.counters["MiB"] = mib;
    state.SetLabel(mib <= 12 ? "goal <= 12 MiB met" : "goal <= 12 MiB MISSED");
}

}  // namespace

BENCHMARK(BM_ToolRetrieveFile)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToolStoreFile)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceRetrieveFile)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceStoreFile)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackageSize)->Iterations(1);

BENCHMARK_MAIN();
