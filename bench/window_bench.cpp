// The message layer with Qt running on the GUI thread: posted-message
// throughput and a cross-thread SendMessage round trip to the GUI thread,
// next to a plain condition-variable ping-pong between the same two threads.
// Each batch of 1000 is timed by hand (manual time), so the three compare.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/QtHost.h"

namespace {

constexpr int kBatch = 1000;
constexpr UINT kDone = WM_USER + 100;

using Clock = std::chrono::steady_clock;

// A worker thread that runs one job at a time for the GUI thread.
class Worker {
public:
    Worker() : m_thread([this] { run(); }) {}
    ~Worker() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }
    void Start(std::function<void()> job) {
        {
            std::lock_guard lock(m_mutex);
            m_job = std::move(job);
        }
        m_cv.notify_all();
    }

private:
    void run() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(m_mutex);
                m_cv.wait(lock, [&] { return m_stop || m_job; });
                if (m_stop) return;
                job = std::move(m_job);
                m_job = nullptr;
            }
            job();
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::function<void()> m_job;
    bool m_stop = false;
    std::thread m_thread;
};

struct Gui {
    HWND window = 0;
    long received = 0;
    Gui() {
        window = CreateMessageWindow([this](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
            if (msg == WM_USER) ++received;
            return 1;
        });
    }
    ~Gui() { DestroyWindow(window); }
    // Serves the GUI queue (Qt included) until the worker posts kDone.
    double ServeUntilDone() {
        MSG m;
        while (GetMessage(&m, 0, 0, 0) > 0) {
            if (m.message == kDone) return double(m.lParam) / 1e9;
            DispatchMessage(&m);
        }
        return 0;
    }
};

void PostedToGuiThread(benchmark::State& state) {
    Gui gui;
    Worker worker;
    for (auto _ : state) {
        // Timed on the GUI thread, from the start to taking the last one.
        const auto start = Clock::now();
        worker.Start([&] {
            for (int i = 0; i < kBatch; ++i) PostMessage(gui.window, WM_USER, WPARAM(i), 0);
            PostMessage(gui.window, kDone, 0, 0);
        });
        gui.ServeUntilDone();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void SendToGuiThreadRoundTrip(benchmark::State& state) {
    Gui gui;
    Worker worker;
    for (auto _ : state) {
        worker.Start([&] {
            const auto start = Clock::now();
            for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(SendMessage(gui.window, WM_USER, 0, 0));
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
            PostMessage(gui.window, kDone, 0, LPARAM(ns));
        });
        state.SetIterationTime(gui.ServeUntilDone());
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

// The same two threads handing a turn back and forth with a condition
// variable: the floor a cross-thread send can be held against.
void ConditionVariablePingPong(benchmark::State& state) {
    Worker worker;
    std::mutex mutex;
    std::condition_variable cv;
    int turn = 0;  // odd: the GUI thread's
    for (auto _ : state) {
        double seconds = 0;
        bool finished = false;
        turn = 0;
        worker.Start([&] {
            const auto start = Clock::now();
            for (int i = 0; i < kBatch; ++i) {
                std::unique_lock lock(mutex);
                turn = 2 * i + 1;
                cv.notify_all();
                cv.wait(lock, [&] { return turn == 2 * i + 2; });
            }
            std::lock_guard lock(mutex);
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            finished = true;
            cv.notify_all();
        });
        std::unique_lock lock(mutex);
        for (int i = 0; i < kBatch; ++i) {
            cv.wait(lock, [&] { return turn == 2 * i + 1; });
            turn = 2 * i + 2;
            cv.notify_all();
        }
        cv.wait(lock, [&] { return finished; });
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

BENCHMARK(PostedToGuiThread)->UseManualTime();
BENCHMARK(SendToGuiThreadRoundTrip)->UseManualTime();
BENCHMARK(ConditionVariablePingPong)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // QT_QPA_PLATFORM=offscreen runs it without a display
    plat::qt::AttachQtEventLoop();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    plat::qt::DetachQtEventLoop();
    return 0;
}
