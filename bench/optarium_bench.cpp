// The settings editor's files at size: a catalog of 5,000 options and a
// settings file of 2,000 keys, loaded and saved, next to reading and writing
// the same bytes plainly (through the same replace-when-complete write); a
// settings file of 100,000 keys opened, next to reading it plainly; and the
// scope test of a 480 KB expression, next to a plain scan of its bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "deskcommon/FileLookup.h"
#include "settingseditor/Document.h"

using namespace settingseditor;

namespace {

constexpr int kOptions = 5000;
constexpr int kKeys = 2000;
constexpr int kSections = 50;
constexpr int kManyKeys = 100000;
constexpr size_t kHostileScope = 480 * 1024;

std::string Section(int i) {
    return "Section" + std::to_string(i % kSections);
}

struct Files {
    std::filesystem::path dir;
    std::string catalog, settings, many;
    CommandLineInfo info;

    Files() {
        dir = std::filesystem::temp_directory_path() / ("optarium-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        catalog = (dir / "optarium.dat").string();
        settings = (dir / "settings.cfg").string();
        OptionList list;
        for (int i = 0; i < kOptions; ++i) {
            auto o = std::make_unique<CItemType>();
            o->section = Section(i);
            o->key = "Key" + std::to_string(i);
            o->name = "Option number " + std::to_string(i);
            o->treePath = "Folder" + std::to_string(i % 20) + "\\Sub" + std::to_string(i % 7);
            o->prompt = "Enter the value:";
            o->order = i;
            o->defaultValue = "0";
            o->valueList = {"Off=0", "On=1"};
            o->help.bytes = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Help for option " + std::to_string(i) +
                            " with some words about what it does.\\par\n}";
            list.push_back(std::move(o));
        }
        StoreCatalog(catalog, list);
        std::string text;
        for (int s = 0; s < kSections; ++s) {
            text += "[" + Section(s) + "]\r\n";
            for (int i = s; i < kKeys; i += kSections)
                text += "Key" + std::to_string(i) + "=value " + std::to_string(i) + " ; note\r\n";
        }
        std::ofstream(settings, std::ios::binary) << text;
        // The catalog's keys among many it does not know, in few sections.
        many = (dir / "many.cfg").string();
        text.clear();
        for (int i = 0; i < kManyKeys; ++i) {
            if (i % (kManyKeys / kSections) == 0)
                text += "[" + Section(i / (kManyKeys / kSections)) + "]\r\n";
            text += (i % 20 == 0 ? "Key" : "Unknown") + std::to_string(i) + "=value " + std::to_string(i) + "\r\n";
        }
        std::ofstream(many, std::ios::binary) << text;
        info.catalogPath = catalog;
    }
    ~Files() { std::filesystem::remove_all(dir); }
};

Files& TheFiles() {
    static Files files;
    return files;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void BM_CatalogLoad(benchmark::State& state) {
    for (auto _ : state) {
        OptionList list;
        LoadCatalog(TheFiles().catalog, list);
        benchmark::DoNotOptimize(list.data());
    }
}
BENCHMARK(BM_CatalogLoad)->Unit(benchmark::kMillisecond);

void BM_CatalogSave(benchmark::State& state) {
    OptionList list;
    LoadCatalog(TheFiles().catalog, list);
    for (auto _ : state)
        StoreCatalog(TheFiles().catalog, list);
}
BENCHMARK(BM_CatalogSave)->Unit(benchmark::kMillisecond);

// The saved catalog's bytes written plainly: the goal is a save within ten
// times this.
void BM_CatalogPlainWrite(benchmark::State& state) {
    const std::string bytes = ReadAll(TheFiles().catalog);
    const std::string out = (TheFiles().dir / "plain-catalog.dat").string();
    for (auto _ : state)
        deskcommon::ReplaceFile(out, bytes);
}
BENCHMARK(BM_CatalogPlainWrite)->Unit(benchmark::kMillisecond);

// The two in turn under the same disk load: the median save next to the
// median plain write of its bytes, with the goal.
void BM_CatalogSaveGoal(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    OptionList list;
    LoadCatalog(TheFiles().catalog, list);
    const std::string saved = (TheFiles().dir / "goal.dat").string();
    const std::string plain = (TheFiles().dir / "goal-plain.dat").string();
    StoreCatalog(saved, list);
    const std::string bytes = ReadAll(saved);
    std::vector<double> saves, writes;
    for (auto _ : state) {
        auto start = Clock::now();
        StoreCatalog(saved, list);
        saves.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        start = Clock::now();
        deskcommon::ReplaceFile(plain, bytes);
        writes.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    const double save = median(saves), write = median(writes), ratio = write > 0 ? save / write : 0;
    state.counters["save ms"] = save * 1e3;
    state.counters["plain ms"] = write * 1e3;
    state.counters["ratio"] = ratio;
    state.SetLabel(ratio <= 10 ? "save / plain write goal <= 10 met" : "save / plain write goal <= 10 MISSED");
}
BENCHMARK(BM_CatalogSaveGoal)->Unit(benchmark::kMillisecond)->Iterations(30);

// Opening loads the catalog too, then merges every setting.
void BM_SettingsOpen(benchmark::State& state) {
    COptariumDoc doc(TheFiles().info, TheFiles().dir.string());
    for (auto _ : state)
        doc.OnOpenDocument(TheFiles().settings);
}
BENCHMARK(BM_SettingsOpen)->Unit(benchmark::kMillisecond);

void BM_SettingsSave(benchmark::State& state) {
    COptariumDoc doc(TheFiles().info, TheFiles().dir.string());
    doc.OnOpenDocument(TheFiles().settings);
    const std::string out = (TheFiles().dir / "out.cfg").string();
    for (auto _ : state)
        doc.OnSaveDocument(out);
}
BENCHMARK(BM_SettingsSave)->Unit(benchmark::kMillisecond);

void BM_ManyKeysOpen(benchmark::State& state) {
    COptariumDoc doc(TheFiles().info, TheFiles().dir.string());
    for (auto _ : state)
        doc.OnOpenDocument(TheFiles().many);
}
BENCHMARK(BM_ManyKeysOpen)->Unit(benchmark::kMillisecond);

void BM_ManyKeysPlainRead(benchmark::State& state) {
    for (auto _ : state) {
        std::string a = ReadAll(TheFiles().many);
        benchmark::DoNotOptimize(a.data());
    }
}
BENCHMARK(BM_ManyKeysPlainRead)->Unit(benchmark::kMillisecond);

std::string HostileScope() {
    std::string scope;
    while (scope.size() < kHostileScope)
        scope += "RADIO&";
    return scope + "GLOBAL";
}

void BM_ScopeHostile(benchmark::State& state) {
    const std::string scope = HostileScope();
    const std::vector<std::string> words{"RADIO", "GLOBAL"};
    for (auto _ : state)
        benchmark::DoNotOptimize(ScopeHolds(scope, words));
}
BENCHMARK(BM_ScopeHostile)->Unit(benchmark::kMicrosecond);

void BM_ScopePlainScan(benchmark::State& state) {
    const std::string scope = HostileScope();
    for (auto _ : state)
        benchmark::DoNotOptimize(std::count(scope.begin(), scope.end(), '&'));
}
BENCHMARK(BM_ScopePlainScan)->Unit(benchmark::kMicrosecond);

// The same bytes, read and written plainly.
void BM_PlainReadBoth(benchmark::State& state) {
    for (auto _ : state) {
        std::string a = ReadAll(TheFiles().catalog), b = ReadAll(TheFiles().settings);
        benchmark::DoNotOptimize(a.data());
        benchmark::DoNotOptimize(b.data());
    }
}
BENCHMARK(BM_PlainReadBoth)->Unit(benchmark::kMillisecond);

void BM_PlainWriteBoth(benchmark::State& state) {
    const std::string a = ReadAll(TheFiles().catalog), b = ReadAll(TheFiles().settings);
    const std::string outA = (TheFiles().dir / "plain.dat").string(), outB = (TheFiles().dir / "plain.cfg").string();
    for (auto _ : state) {
        deskcommon::ReplaceFile(outA, a);
        deskcommon::ReplaceFile(outB, b);
    }
}
BENCHMARK(BM_PlainWriteBoth)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
