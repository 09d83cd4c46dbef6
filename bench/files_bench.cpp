// The device file system and the file commands as folders and transfers grow:
//  - In a folder of 20,000 files, a look-up of a missing name and of a name
//    in another case next to one of the exact name, interleaved. Goal: each
//    median at most 3 times the exact one.
//  - A folder of 20,000 files filled one STOREFILE at a time through the
//    session core, next to the same files written plainly (a new file
//    beside the name, written, synced and renamed over it, as the device
//    does where names need no matching), and the last thousand stores next
//    to the first thousand. Goal: at most 2 times the plain writes.
//  - What stays resident after a 64 MiB STOREFILE and a GETFILE of the same
//    file. Goal: at most 16 MiB more than before.
//  - COUNTFILES of a folder of 50,000 files (the listing without sizes and
//    times), next to a plain readdir of it that counts its files.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchHost.h"
#include "BenchSession.h"
#include "core/session/HostFormats.h"
#include "platform/DeviceFs.h"

namespace {

using benchhost::Bytes;
using benchhost::Session;
using Clock = std::chrono::steady_clock;

constexpr int kFiles = 20000;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

void Goal(benchmark::State& state, const char* what, double value, double goal) {
    char label[96];
    std::snprintf(label, sizeof label, "%s goal <= %.0f %s", what, goal, value <= goal ? "met" : "MISSED");
    state.SetLabel(label);
}

std::string FileName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%05d.dat", i);
    return name;
}

// A folder of the device root with that many small files, made plainly.
std::string MakeFolder(const std::string& name, int files) {
    const std::string dir = benchhost::DeviceRoot() + "/" + name;
    mkdir(dir.c_str(), 0777);
    for (int i = 0; i < files; ++i) {
        int fd = open((dir + "/" + FileName(i)).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd >= 0) close(fd);
    }
    return dir;
}

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

void BM_LookupIn20000Files(benchmark::State& state) {
    plat::fs::SetDeviceRoot(benchhost::DeviceRoot());
    MakeFolder("Look", kFiles);
    std::vector<double> exact, miss, otherCase;
    int i = 0;
    auto time = [](const std::u16string& path, bool expected, std::vector<double>& into) {
        const auto start = Clock::now();
        const bool found = plat::fs::Exists(path);
        into.push_back(Seconds(start));
        return found == expected;
    };
    // The first miss lists the folder once.
    const auto first = Clock::now();
    plat::fs::Exists(u"\\Look\\none.dat");
    const double firstMiss = Seconds(first);
    for (auto _ : state) {
        i = (i + 7919) % kFiles;
        std::string upper = FileName(i);
        std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return char(std::toupper(c)); });
        const auto start = Clock::now();
        bool ok = time(u"\\Look\\" + Wide(FileName(i)), true, exact) &&
                  time(u"\\Look\\" + Wide("n" + FileName(i)), false, miss) &&
                  time(u"\\Look\\" + Wide(upper), true, otherCase);
        state.SetIterationTime(Seconds(start));
        if (!ok) return state.SkipWithError("a look-up found the wrong thing");
    }
    const double e = Median(exact);
    state.counters["exact us"] = e * 1e6;
    state.counters["miss us"] = Median(miss) * 1e6;
    state.counters["other case us"] = Median(otherCase) * 1e6;
    state.counters["first miss us"] = firstMiss * 1e6;
    const double worst = e > 0 ? std::max(Median(miss), Median(otherCase)) / e : 0;
    state.counters["ratio"] = worst;
    Goal(state, "miss and other case / exact", worst, 3);
}

// A STOREFILE packet in framing mode 0: 'H', FD, the name, FD, the content.
Bytes StorePacket(const std::string& name, const std::string& content) {
    Bytes payload = {'H', 0xFD};
    payload.insert(payload.end(), name.begin(), name.end());
    payload.push_back(0xFD);
    payload.insert(payload.end(), content.begin(), content.end());
    return benchhost::Frame(0, payload);
}

// What a device whose names need no matching does for one store.
bool PlainStore(int dir, const std::string& name, const std::string& content) {
    const std::string temp = ".~" + name + ".tmp";
    int fd = openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return false;
    bool ok = write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()) && fdatasync(fd) == 0;
    ok = close(fd) == 0 && ok;
    return ok && renameat(dir, temp.c_str(), dir, name.c_str()) == 0;
}

// The two fills go file by file in turn, so both see the same disk.
void BM_FillFolder20000(benchmark::State& state) {
    const std::string content(100, 'c');
    int run = 0;
    double core = 0, plain = 0, firstThousand = 0, lastThousand = 0;
    for (auto _ : state) {
        ++run;
        Session session;
        const std::string folder = "Fill" + std::to_string(run);
        mkdir((benchhost::DeviceRoot() + "/" + folder).c_str(), 0777);
        const std::string plainDir = benchhost::DeviceRoot() + "/Plain" + std::to_string(run);
        mkdir(plainDir.c_str(), 0777);
        int dir = open(plainDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        std::vector<Bytes> packets;
        packets.reserve(kFiles);
        for (int i = 0; i < kFiles; ++i) packets.push_back(StorePacket("\\" + folder + "\\" + FileName(i), content));
        bool ok = dir >= 0;
        double coreRun = 0, plainRun = 0;
        for (int i = 0; i < kFiles && ok; ++i) {
            auto start = Clock::now();
            session.Receive(packets[i]);
            const double one = Seconds(start);
            coreRun += one;
            if (i < 1000) firstThousand += one;
            if (i >= kFiles - 1000) lastThousand += one;
            start = Clock::now();
            ok = PlainStore(dir, FileName(i), content);
            plainRun += Seconds(start);
        }
        if (dir >= 0) close(dir);
        core += coreRun;
        plain += plainRun;
        state.SetIterationTime(coreRun + plainRun);
        if (!ok) return state.SkipWithError("a plain write failed");
        if (!plat::fs::Exists(Wide("\\" + folder + "\\" + FileName(kFiles - 1))))
            return state.SkipWithError("STOREFILE did not store");
    }
    state.counters["core s"] = core / run;
    state.counters["plain s"] = plain / run;
    state.counters["last/first 1000"] = firstThousand > 0 ? lastThousand / firstThousand : 0;
    const double ratio = plain > 0 ? core / plain : 0;
    state.counters["ratio"] = ratio;
    Goal(state, "core / plain", ratio, 2);
}

void BM_CountFiles50000(benchmark::State& state) {
    plat::fs::SetDeviceRoot(benchhost::DeviceRoot());
    const std::string dir = MakeFolder("Count", 50000);
    std::vector<double> listing, plain;
    for (auto _ : state) {
        auto start = Clock::now();
        const int32_t counted = FileUtil::ListDirectory(u"\\Count", u"*.*", nullptr, false, false);
        listing.push_back(Seconds(start));
        start = Clock::now();
        int32_t files = 0;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d)) files += e->d_type != DT_DIR;
            closedir(d);
        }
        plain.push_back(Seconds(start));
        state.SetIterationTime(listing.back() + plain.back());
        if (counted != 50000 || files != 50000) return state.SkipWithError("a count is wrong");
    }
    state.counters["COUNTFILES ms"] = Median(listing) * 1e3;
    state.counters["readdir ms"] = Median(plain) * 1e3;
    state.counters["ratio"] = Median(plain) > 0 ? Median(listing) / Median(plain) : 0;
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

BENCHMARK(BM_LookupIn20000Files)->Iterations(3000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillFolder20000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountFiles50000)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransferMemory64MiB)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
