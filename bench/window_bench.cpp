// The message layer with Qt running on the GUI thread: posted-message
// throughput and a cross-thread SendMessage round trip to the GUI thread,
// next to a plain condition-variable ping-pong between the same two threads
// and to Qt's own postEvent and BlockingQueuedConnection round trip. Each
// batch of 1000 is timed by hand (manual time), so they compare; the two
// "...VsQt" benchmarks time ours and Qt's in turn and report the ratio
// (goals: a send at most 1.3 times Qt's round trip, posting below Qt's).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
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

// Qt's own: a worker posts kBatch events to an object of the GUI thread,
// which runs a Qt loop until it has taken the last one.
class Counter final : public QObject {
public:
    static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + 1);
    long seen = 0;
    long until = 0;
    QEventLoop* loop = nullptr;
    bool event(QEvent* e) override {
        if (e->type() != kType) return QObject::event(e);
        if (++seen == until && loop) loop->quit();
        return true;
    }
};

double qtPostBatch(Worker& worker, Counter& counter) {
    QEventLoop loop;
    counter.loop = &loop;
    counter.until = counter.seen + kBatch;
    const auto start = Clock::now();
    worker.Start([&] {
        for (int i = 0; i < kBatch; ++i) QCoreApplication::postEvent(&counter, new QEvent(Counter::kType));
    });
    loop.exec();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double qtBlockingBatch(Worker& worker, QObject& target) {
    QEventLoop loop;
    double seconds = 0;
    worker.Start([&] {
        const auto start = Clock::now();
        for (int i = 0; i < kBatch; ++i) QMetaObject::invokeMethod(&target, [] {}, Qt::BlockingQueuedConnection);
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    return seconds;
}

double layerPostBatch(Worker& worker, Gui& gui) {
    const auto start = Clock::now();
    worker.Start([&] {
        for (int i = 0; i < kBatch; ++i) PostMessage(gui.window, WM_USER, WPARAM(i), 0);
        PostMessage(gui.window, kDone, 0, 0);
    });
    gui.ServeUntilDone();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double layerSendBatch(Worker& worker, Gui& gui) {
    worker.Start([&] {
        const auto start = Clock::now();
        for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(SendMessage(gui.window, WM_USER, 0, 0));
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        PostMessage(gui.window, kDone, 0, LPARAM(ns));
    });
    return gui.ServeUntilDone();
}

void QtPostEvent(benchmark::State& state) {
    Worker worker;
    Counter counter;
    for (auto _ : state) state.SetIterationTime(qtPostBatch(worker, counter));
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void QtBlockingQueuedRoundTrip(benchmark::State& state) {
    Worker worker;
    QObject target;
    for (auto _ : state) state.SetIterationTime(qtBlockingBatch(worker, target));
    state.SetItemsProcessed(state.iterations() * kBatch);
}

// Ours and Qt's in turn, in the same run, a few batches of each at a time
// (each settles into its own rhythm): the ratio is ours over Qt's.
constexpr int kRun = 8;

// Runs kRun batches of ours, then kRun of Qt's, per iteration.
template <class Ours, class Theirs>
void inTurn(benchmark::State& state, Ours ours, Theirs theirs) {
    double a = 0, b = 0;
    for (auto _ : state) {
        double batch = 0;
        for (int i = 0; i < kRun; ++i) batch += ours();
        for (int i = 0; i < kRun; ++i) b += theirs();
        a += batch;
        state.SetIterationTime(batch / kRun);
    }
    state.counters["ratio"] = b > 0 ? a / b : 0;
}

void PostVsQtPostEvent(benchmark::State& state) {
    Gui gui;
    Worker worker;
    Counter counter;
    inTurn(state, [&] { return layerPostBatch(worker, gui); }, [&] { return qtPostBatch(worker, counter); });
}

void SendVsQtBlockingQueued(benchmark::State& state) {
    Gui gui;
    Worker worker;
    QObject target;
    inTurn(state, [&] { return layerSendBatch(worker, gui); }, [&] { return qtBlockingBatch(worker, target); });
}

BENCHMARK(PostedToGuiThread)->UseManualTime();
BENCHMARK(QtPostEvent)->UseManualTime();
BENCHMARK(PostVsQtPostEvent)->UseManualTime();
BENCHMARK(QtBlockingQueuedRoundTrip)->UseManualTime();
BENCHMARK(SendVsQtBlockingQueued)->UseManualTime();
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
