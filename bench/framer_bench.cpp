// Framer throughput in both modes, next to a memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "common/PacketFramer.h"

namespace {

struct Sink {
    size_t bytes = 0;
    static void Callback(void* ctx, int count, const uint8_t* const*, const int32_t* lengths) {
        auto* s = static_cast<Sink*>(ctx);
        for (int i = 0; i < count; ++i) s->bytes += static_cast<size_t>(lengths[i]);
    }
};

// The wire bytes of 64 packets of the given payload size, as the device frames them.
std::vector<uint8_t> Wire(int mode, int size) {
    std::vector<uint8_t> wire;
    struct Out { std::vector<uint8_t>* w; } out{&wire};
    auto cb = [](void* ctx, int count, const uint8_t* const* pieces, const int32_t* lengths) {
        auto* o = static_cast<Out*>(ctx);
        for (int i = 0; i < count; ++i) o->w->insert(o->w->end(), pieces[i], pieces[i] + lengths[i]);
    };
    CPacketFramer f(cb, &out, 0);
    f.SetMode(mode);
    CPacketBuffer w(mode, 0xFF, size + 1, 0);
    std::vector<uint8_t> payload(static_cast<size_t>(size), 'a');
    w.AppendBytes(payload.data(), size);
    for (int i = 0; i < 64; ++i) f.Send(w);
    return wire;
}

void BM_Receive(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    std::vector<uint8_t> wire = Wire(mode, size);
    CPacketFramer f(nullptr, nullptr, 0);
    f.SetMode(mode);
    for (auto _ : state) {
        int32_t pos = 0;
        while (pos < static_cast<int32_t>(wire.size())) {
            std::unique_ptr<CPacket> p(f.Parse(wire.data(), pos, static_cast<int32_t>(wire.size())));
            benchmark::DoNotOptimize(p.get());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 64 * size);
}

void BM_Send(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    const int size = static_cast<int>(state.range(1));
    Sink sink;
    CPacketFramer f(&Sink::Callback, &sink, 0);
    f.SetMode(mode);
    CPacketBuffer w(mode, 0xFF, size + 1, 0);
    std::vector<uint8_t> payload(static_cast<size_t>(size), 'a');
    w.AppendBytes(payload.data(), size);
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i) f.Send(w);
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 64 * size);
}

// The reference: copying the same payload bytes.
void BM_Memcpy(benchmark::State& state) {
    const int size = static_cast<int>(state.range(1));
    std::vector<uint8_t> src(static_cast<size_t>(size) * 64, 'a'), dst(src.size());
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i)
            std::memcpy(dst.data() + i * size, src.data() + i * size, static_cast<size_t>(size));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 64 * size);
}

// One 64 MiB mode-1 packet (4096-byte segments, as a host sends a large
// STOREFILE) fed in 20480-byte reads, as a socket hands them out.
constexpr int kLargePacket = CPacketFramer::kMaxPacket;
constexpr int kReadSize = 20480;

void BM_ReceiveLargePacket(benchmark::State& state) {
    static const std::vector<uint8_t> wire = [] {
        std::vector<uint8_t> w;
        struct Out { std::vector<uint8_t>* w; } out{&w};
        CPacketFramer f([](void* ctx, int count, const uint8_t* const* pieces, const int32_t* lengths) {
            auto* o = static_cast<Out*>(ctx);
            for (int i = 0; i < count; ++i) o->w->insert(o->w->end(), pieces[i], pieces[i] + lengths[i]);
        }, &out, 0);
        f.SetMode(1);
        CPacketBuffer writer(1, 0xFF, kLargePacket + 1, 0);
        std::vector<uint8_t> payload(kLargePacket, 'a');
        writer.AppendBytes(payload.data(), kLargePacket);
        f.Send(writer);
        return w;
    }();
    for (auto _ : state) {
        // A fresh framer each time: the growth from one step is what is measured.
        CPacketFramer f(nullptr, nullptr, 0);
        f.SetMode(1);
        const int32_t total = static_cast<int32_t>(wire.size());
        for (int32_t at = 0; at < total; at += kReadSize) {
            const int32_t end = std::min(total, at + kReadSize);
            int32_t pos = 0;
            while (pos < end - at) {
                std::unique_ptr<CPacket> p(f.Parse(wire.data() + at, pos, end - at));
                benchmark::DoNotOptimize(p.get());
            }
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kLargePacket);
}

void BM_MemcpyLargePacket(benchmark::State& state) {
    std::vector<uint8_t> src(kLargePacket, 'a');
    for (auto _ : state) {
        std::vector<uint8_t> dst(kLargePacket);
        for (int at = 0; at < kLargePacket; at += kReadSize)
            std::memcpy(dst.data() + at, src.data() + at, static_cast<size_t>(std::min(kReadSize, kLargePacket - at)));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kLargePacket);
}

BENCHMARK(BM_MemcpyLargePacket)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiveLargePacket)->Unit(benchmark::kMillisecond);

#define FRAMER_ARGS ->ArgNames({"mode", "bytes"})->Args({0, 20})->Args({0, 4096})->Args({1, 20})->Args({1, 4096})
BENCHMARK(BM_Memcpy) FRAMER_ARGS;
BENCHMARK(BM_Receive) FRAMER_ARGS;
BENCHMARK(BM_Send) FRAMER_ARGS;

}  // namespace

BENCHMARK_MAIN();
