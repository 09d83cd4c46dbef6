// What the registry's writes cost, next to a plain safe write of a file of
// the same bytes (written beside its name, synced, renamed over it and the
// folder synced: WriteFile), interleaved in one run:
//  - a settings save: the shell's 62 settings under "Defaults", every one of
//    them changed, in one transaction;
//  - the same 62 values set one call at a time, each its own transaction;
//  - a start's registrations that find everything there (nothing written).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchHost.h"
#include "platform/DeviceFs.h"
#include "platform/Registry.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSettings = 62;
constexpr char16_t kDefaults[] = u"Software\\Quillmar\\Orvade Client\\Defaults";

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

std::u16string Name(int n) {
    const std::string name = "Setting" + std::to_string(n);
    return std::u16string(name.begin(), name.end());
}

std::vector<plat::registry::Setting> Settings(DWORD round) {
    std::vector<plat::registry::Setting> settings;
    for (int n = 0; n < kSettings; ++n) {
        const DWORD value = round * 100 + DWORD(n);
        const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
        settings.push_back({kDefaults, Name(n), REG_DWORD, {bytes, bytes + sizeof value}});
    }
    return settings;
}

// The baseline: the settings' bytes as one file, written safely.
bool PlainSave(DWORD round) {
    std::string bytes;
    for (int n = 0; n < kSettings; ++n) bytes += "Setting" + std::to_string(n) + "=" + std::to_string(round * 100 + n) + "\n";
    return plat::fs::WriteFile(u"\\settings.txt", bytes.data(), bytes.size());
}

void Run(benchmark::State& state, bool (*save)(DWORD round)) {
    plat::fs::SetDeviceRoot(benchhost::DeviceRoot());
    std::vector<double> saves, plains;
    DWORD round = 1;
    save(round++);  // the first makes the keys and opens the registry
    for (auto _ : state) {
        const auto a = Clock::now();
        if (!save(round)) return state.SkipWithError("the registry refused a save");
        saves.push_back(Seconds(a));
        const auto b = Clock::now();
        if (!PlainSave(round++)) return state.SkipWithError("cannot write the plain file");
        plains.push_back(Seconds(b));
        state.SetIterationTime(saves.back());
    }
    const double s = Median(saves), p = Median(plains);
    state.counters["save ms"] = s * 1e3;
    state.counters["plain ms"] = p * 1e3;
    state.counters["ratio"] = p > 0 ? s / p : 0;
}

void BM_SettingsSaveInOneTransaction(benchmark::State& state) {
    Run(state, [](DWORD round) { return plat::registry::SetValues(HKEY_LOCAL_MACHINE, Settings(round)) == ERROR_SUCCESS; });
}

void BM_SettingsSaveValueByValue(benchmark::State& state) {
    Run(state, [](DWORD round) {
        for (int n = 0; n < kSettings; ++n)
            if (!plat::registry::SetDword(HKEY_LOCAL_MACHINE, kDefaults, Name(n).c_str(), round * 100 + DWORD(n)))
                return false;
        return true;
    });
}

// A start's registrations: everything is there already, so nothing is written.
void BM_StartRegistrationsUnchanged(benchmark::State& state) {
    Run(state, [](DWORD) { return plat::registry::SetValues(HKEY_LOCAL_MACHINE, Settings(0)) == ERROR_SUCCESS; });
}

}  // namespace

BENCHMARK(BM_SettingsSaveInOneTransaction)->Iterations(60)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SettingsSaveValueByValue)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartRegistrationsUnchanged)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
