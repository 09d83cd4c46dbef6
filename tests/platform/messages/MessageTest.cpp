#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Message.h"
#include "platform/Window.h"

namespace {

struct Call {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    std::thread::id thread;
};

// Drives the tick and cleans the test thread's queue, which outlives each test.
class Messages : public ::testing::Test {
protected:
    void SetUp() override {
        plat::clock::SetTickSource([this] { return tick_.load(); });
    }
    void TearDown() override {
        for (HWND h : windows_) DestroyWindow(h);
        MSG m;
        while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) {
        }
        plat::clock::SetTickSource(nullptr);
    }

    // A window that records every call and answers `result`.
    HWND Recorder(LRESULT result = 0) {
        return Window([this, result](HWND h, UINT msg, WPARAM w, LPARAM) {
            std::lock_guard lock(mutex_);
            calls_.push_back({h, msg, w, std::this_thread::get_id()});
            return result;
        });
    }
    HWND Window(WindowProc proc) {
        const HWND h = CreateMessageWindow(std::move(proc));
        EXPECT_NE(h, 0u);
        windows_.push_back(h);
        return h;
    }
    size_t CallsOf(UINT message) {
        std::lock_guard lock(mutex_);
        size_t n = 0;
        for (const auto& c : calls_) n += c.message == message;
        return n;
    }

    std::atomic<DWORD> tick_{1000};
    std::vector<HWND> windows_;
    std::mutex mutex_;
    std::vector<Call> calls_;
};

// A thread that owns one window and runs a GetMessage loop until WM_QUIT.
class WindowThread {
public:
    explicit WindowThread(WindowProc proc) {
        std::promise<HWND> created;
        auto handle = created.get_future();
        thread_ = std::thread([this, proc = std::move(proc), created = std::move(created)]() mutable {
            created.set_value(CreateMessageWindow(proc));
            MSG m;
            while (GetMessage(&m, 0, 0, 0) > 0) DispatchMessage(&m);
            exitCode_ = int(m.wParam);
        });
        hwnd_ = handle.get();
    }
    ~WindowThread() {
        if (thread_.joinable()) thread_.join();
    }
    HWND hwnd() const { return hwnd_; }
    std::thread::id id() const { return thread_.get_id(); }
    int Join() {
        thread_.join();
        return exitCode_;
    }

private:
    std::thread thread_;
    HWND hwnd_ = 0;
    int exitCode_ = -1;
};

}  // namespace

// What a window put off is brought up to date before its thread looks at
// its messages: the hook runs once, before the first look of each kind, and
// only on the thread that set it.
TEST_F(Messages, TheBeforeMessagesHookRunsOnceBeforeTheThreadLooks) {
    int runs = 0;
    const auto hook = [](void* context) { ++*static_cast<int*>(context); };
    MSG m{};
    plat::messages::ThreadBeforeMessages() = {hook, &runs};
    std::thread([] {
        MSG other{};
        PeekMessage(&other, 0, 0, 0, PM_NOREMOVE);
    }).join();
    EXPECT_EQ(runs, 0);
    PeekMessage(&m, 0, 0, 0, PM_NOREMOVE);
    PeekMessage(&m, 0, 0, 0, PM_NOREMOVE);
    EXPECT_EQ(runs, 1);
    plat::messages::ThreadBeforeMessages() = {hook, &runs};
    WaitMessageTimeout(0);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(plat::messages::ThreadBeforeMessages().hook, nullptr);
    plat::messages::ThreadBeforeMessages() = {hook, &runs};
    PostMessage(0, WM_USER, 0, 0);
    EXPECT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    EXPECT_EQ(runs, 3);
}

TEST_F(Messages, PostFromAnotherThreadWakesGetMessage) {
    const HWND h = Recorder();
    std::thread poster([h] {
        // Once the send has been answered, this thread is inside GetMessage.
        SendMessage(h, WM_USER, 1, 0);
        PostMessage(h, WM_USER + 1, 2, 3);
    });
    MSG m{};
    EXPECT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    poster.join();
    EXPECT_EQ(m.hwnd, h);
    EXPECT_EQ(m.message, WM_USER + 1);
    EXPECT_EQ(m.wParam, 2u);
    EXPECT_EQ(m.lParam, 3);
    EXPECT_EQ(CallsOf(WM_USER), 1u);  // the sent one ran, but was not returned
}

TEST_F(Messages, CrossThreadSendRunsOnOwnerAndReturnsResult) {
    const HWND mine = Recorder(1000);
    std::thread::id ranOn;
    WindowThread worker([mine, &ranOn](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg == WM_USER) {
            ranOn = std::this_thread::get_id();
            return LRESULT(w * 2);
        }
        if (msg == WM_USER + 1) return SendMessage(mine, WM_USER, 0, 0) + 1;  // back to the waiting sender
        if (msg == WM_CLOSE) PostQuitMessage(5);
        return 0;
    });
    EXPECT_EQ(SendMessage(worker.hwnd(), WM_USER, 21, 0), 42);
    EXPECT_EQ(ranOn, worker.id());
    EXPECT_EQ(SendMessage(worker.hwnd(), WM_USER + 1, 0, 0), 1001);
    ASSERT_EQ(CallsOf(WM_USER), 1u);
    EXPECT_EQ(calls_[0].thread, std::this_thread::get_id());

    EXPECT_TRUE(PostMessage(worker.hwnd(), WM_CLOSE, 0, 0));
    EXPECT_EQ(worker.Join(), 5);
    // The thread's windows end with it; a send must not wait for it.
    EXPECT_FALSE(IsWindow(worker.hwnd()));
    EXPECT_EQ(SendMessage(worker.hwnd(), WM_USER, 21, 0), 0);
    EXPECT_FALSE(PostMessage(worker.hwnd(), WM_USER, 0, 0));
}

TEST_F(Messages, SentMessageIsHandledWhileOwnerWaits) {
    std::atomic<bool> handled{false};
    const HWND h = Window([&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg != WM_USER) return 0;
        handled = true;
        return LRESULT(w + 1);
    });
    LRESULT result = 0;
    std::thread sender([&] { result = SendMessage(h, WM_USER, 41, 0); });
    for (int i = 0; i < 100 && !handled; ++i) WaitMessageTimeout(100);  // bounded safety net
    sender.join();
    EXPECT_EQ(result, 42);
    MSG m;
    EXPECT_FALSE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));  // nothing was queued for it
}

TEST_F(Messages, SameThreadSendIsReentrant) {
    int depth = 0, deepest = 0;
    HWND self = 0;
    self = Window([&](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg != WM_USER) return 0;
        deepest = std::max(deepest, ++depth);
        const LRESULT r = w == 0 ? 0 : SendMessage(self, WM_USER, w - 1, 0) + 1;
        --depth;
        return r;
    });
    EXPECT_EQ(SendMessage(self, WM_USER, 5, 0), 5);
    EXPECT_EQ(deepest, 6);
    MSG m;
    EXPECT_FALSE(PeekMessage(&m, 0, 0, 0, PM_NOREMOVE));
}

TEST_F(Messages, TimersAreDueByTheTick) {
    const HWND h = Recorder();
    MSG m{};
    EXPECT_EQ(SetTimer(h, 7, 100), 7u);
    tick_ = 1099;
    EXPECT_FALSE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));
    tick_ = 1100;
    ASSERT_TRUE(PeekMessage(&m, 0, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.hwnd, h);
    EXPECT_EQ(m.message, WM_TIMER);
    EXPECT_EQ(m.wParam, 7u);
    ASSERT_TRUE(PeekMessage(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE));  // still there
    EXPECT_FALSE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));               // next period started
    tick_ = 1199;
    EXPECT_FALSE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));
    tick_ = 1200;
    EXPECT_TRUE(PostMessage(h, WM_USER, 0, 0));
    ASSERT_TRUE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER);  // posted messages come first
    ASSERT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    EXPECT_EQ(m.message, WM_TIMER);
    DispatchMessage(&m);
    EXPECT_EQ(CallsOf(WM_TIMER), 1u);
    EXPECT_EQ(calls_.back().wParam, 7u);

    // Setting it again restarts the period; killing it stops it.
    tick_ = 1250;
    EXPECT_EQ(SetTimer(h, 7, 100), 7u);
    tick_ = 1349;
    EXPECT_FALSE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));
    EXPECT_TRUE(KillTimer(h, 7));
    EXPECT_FALSE(KillTimer(h, 7));
    tick_ = 5000;
    EXPECT_FALSE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));
}

TEST_F(Messages, TimersAcrossTickWrapAndThreadTimers) {
    const HWND h = Recorder();
    MSG m{};
    tick_ = 0xFFFFFFF0;
    EXPECT_EQ(SetTimer(h, 1, 0x20), 1u);
    const UINT threadTimer = SetTimer(0, 0, 0);  // period raised to the minimum
    EXPECT_NE(threadTimer, 0u);
    tick_ = 0xFFFFFFF9;
    EXPECT_FALSE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));
    tick_ = 0xFFFFFFFA;
    ASSERT_TRUE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, 0u);
    EXPECT_EQ(m.wParam, threadTimer);
    EXPECT_TRUE(KillTimer(0, threadTimer));
    tick_ = 0x0F;
    EXPECT_FALSE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));
    tick_ = 0x10;
    ASSERT_TRUE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, h);
    EXPECT_EQ(m.wParam, 1u);
}

TEST_F(Messages, PumpThatDropsTimersNeverDispatchesThem) {
    const HWND h = Recorder();
    SetTimer(h, 1, 10);
    SetTimer(h, 2, 20);
    tick_ = 2000;
    PostMessage(h, WM_USER, 0, 0);
    PostMessage(h, WM_USER, 1, 0);
    PostQuitMessage(0);
    PostMessage(h, WM_USER, 2, 0);
    // Like the pump handlers use while they wait: stop at WM_QUIT and leave it.
    MSG m;
    int dropped = 0;
    while (PeekMessage(&m, 0, 0, 0, PM_NOREMOVE) && m.message != WM_QUIT) {
        PeekMessage(&m, 0, 0, 0, PM_REMOVE);
        if (m.message == WM_TIMER || m.message == WM_SYSTIMER) {
            ++dropped;
            continue;
        }
        TranslateMessage(&m);
        DispatchMessage(&m);
    }
    EXPECT_EQ(CallsOf(WM_USER), 3u);
    EXPECT_EQ(dropped, 0);  // WM_QUIT comes before timers
    EXPECT_EQ(GetMessage(&m, 0, 0, 0), FALSE);
    while (PeekMessage(&m, 0, 0, 0, PM_NOREMOVE)) {
        PeekMessage(&m, 0, 0, 0, PM_REMOVE);
        EXPECT_EQ(m.message, WM_TIMER);
        ++dropped;
    }
    EXPECT_EQ(dropped, 2);
    EXPECT_EQ(CallsOf(WM_TIMER), 0u);
}

TEST_F(Messages, BlockedGetMessageSeesTimerWhenDrivenTickAdvances) {
    // The owner's reads of the driven tick show it re-checking while it waits.
    static thread_local bool onOwner = false;
    std::atomic<int> ownerReads{0};
    plat::clock::SetTickSource([&] {
        if (onOwner) ++ownerReads;
        return tick_.load();
    });
    std::promise<HWND> timerSet;
    auto ready = timerSet.get_future();
    MSG got{};
    std::thread owner([&] {
        onOwner = true;
        const HWND h = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) { return LRESULT(0); });
        SetTimer(h, 3, 50);
        timerSet.set_value(h);
        GetMessage(&got, 0, 0, 0);
        DestroyWindow(h);
    });
    const HWND h = ready.get();
    SendMessage(h, WM_NULL, 0, 0);  // answered from inside GetMessage
    const int seen = ownerReads;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);  // safety net
    while (ownerReads < seen + 2 && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
    EXPECT_GE(ownerReads, seen + 2) << "the waiting owner stopped looking at the tick";
    tick_ += 50;
    if (HasFailure()) PostMessage(h, WM_USER, 0, 0);
    owner.join();
    EXPECT_EQ(got.message, WM_TIMER);
    EXPECT_EQ(got.wParam, 3u);
}

TEST_F(Messages, QuitEndsGetMessageAfterPostedMessages) {
    PostMessage(0, WM_USER, 0, 0);
    PostQuitMessage(3);
    PostMessage(0, WM_USER + 1, 0, 0);
    MSG m{};
    ASSERT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    EXPECT_EQ(m.message, WM_USER);
    ASSERT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    EXPECT_EQ(m.message, WM_USER + 1);
    EXPECT_EQ(m.hwnd, 0u);
    EXPECT_EQ(DispatchMessage(&m), 0);  // a thread message has no procedure
    ASSERT_TRUE(PeekMessage(&m, 0, WM_USER, WM_USER, PM_NOREMOVE));  // whatever the filter
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(GetMessage(&m, 0, WM_USER, WM_USER), FALSE);
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_FALSE(PeekMessage(&m, 0, 0, 0, PM_NOREMOVE));
}

TEST_F(Messages, DestroyedWindowRefusesMessages) {
    const HWND h = Recorder();
    PostMessage(h, WM_USER, 0, 0);
    SetTimer(h, 1, 10);
    std::thread([h] { EXPECT_FALSE(DestroyWindow(h)); }).join();  // owner thread only
    ASSERT_TRUE(DestroyWindow(h));
    EXPECT_EQ(CallsOf(WM_DESTROY), 1u);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_FALSE(DestroyWindow(h));
    EXPECT_FALSE(PostMessage(h, WM_USER, 0, 0));
    EXPECT_EQ(SendMessage(h, WM_USER, 0, 0), 0);
    EXPECT_EQ(SetTimer(h, 2, 10), 0u);
    EXPECT_EQ(CallsOf(WM_USER), 0u);
    tick_ += 100;
    MSG m;
    EXPECT_FALSE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));  // its message and timer went with it
    EXPECT_EQ(GetMessage(&m, h, 0, 0), -1);
    EXPECT_NE(Recorder(), h);  // the handle is not handed out again
}

TEST_F(Messages, FiltersByWindowAndRange) {
    const HWND a = Recorder(), b = Recorder();
    PostMessage(a, WM_USER + 1, 0, 0);
    PostMessage(b, WM_USER + 2, 0, 0);
    PostMessage(a, WM_USER + 3, 0, 0);
    PostMessage(0, WM_USER + 4, 0, 0);
    MSG m{};
    ASSERT_TRUE(PeekMessage(&m, b, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, WM_USER + 2);
    ASSERT_TRUE(PeekMessage(&m, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER + 2);
    EXPECT_FALSE(PeekMessage(&m, b, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessage(&m, 0, WM_USER + 3, WM_USER + 4, PM_REMOVE));
    EXPECT_EQ(m.hwnd, a);
    EXPECT_EQ(m.message, WM_USER + 3);
    EXPECT_FALSE(PeekMessage(&m, a, WM_USER + 2, WM_USER + 4, PM_REMOVE));
    ASSERT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    EXPECT_EQ(m.message, WM_USER + 1);
    ASSERT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    EXPECT_EQ(m.message, WM_USER + 4);
    EXPECT_FALSE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));
}

TEST_F(Messages, WaitMessageTimeoutAndQueueBound) {
    const HWND h = Recorder();
    EXPECT_FALSE(WaitMessageTimeout(0));
    EXPECT_FALSE(WaitMessageTimeout(5));
    SetTimer(h, 1, 100);
    tick_ += 100;
    EXPECT_TRUE(WaitMessageTimeout(0));  // a due timer counts
    KillTimer(h, 1);
    EXPECT_FALSE(WaitMessageTimeout(0));

    int accepted = 0;
    while (PostMessage(h, WM_USER, 0, 0) && accepted < 20000) ++accepted;
    EXPECT_EQ(accepted, 10000);
    EXPECT_TRUE(WaitMessageTimeout(-1));
}

TEST_F(Messages, WaitHookRunsOnWaitingThreadAndPostsStillWake) {
    const HWND h = Recorder();
    std::vector<int> waits;
    bool armed = false;
    std::promise<void> hookCalled;
    std::thread::id hookThread;
    plat::messages::SetMessageWaitHook([&](int maxWaitMs) {
        if (armed) hookCalled.set_value();
        armed = false;
        waits.push_back(maxWaitMs);
        hookThread = std::this_thread::get_id();
    });
    EXPECT_FALSE(WaitMessageTimeout(3));
    ASSERT_FALSE(waits.empty());
    EXPECT_LE(waits.front(), 3);

    // The post comes while the thread waits inside the hook's time.
    armed = true;

    std::thread poster([&] {
        hookCalled.get_future().wait();
        PostMessage(h, WM_USER, 9, 0);
    });
    MSG m{};
    EXPECT_EQ(GetMessage(&m, 0, 0, 0), TRUE);
    poster.join();
    plat::messages::SetMessageWaitHook(nullptr);
    EXPECT_EQ(m.wParam, 9u);
    EXPECT_EQ(hookThread, std::this_thread::get_id());
    for (int w : waits) {
        EXPECT_GE(w, 0);
        EXPECT_LE(w, 10);
    }
}

TEST_F(Messages, RealTickTimerEndsTheWait) {
    plat::clock::SetTickSource(nullptr);
    const HWND h = Recorder();
    SetTimer(h, 4, 10);
    EXPECT_TRUE(WaitMessageTimeout(5000));  // the bound is only a safety net
    MSG m{};
    ASSERT_TRUE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_TIMER);
    EXPECT_EQ(m.wParam, 4u);
}

TEST_F(Messages, WindowSenderFollowsTheWindowAsSendMessageDoes) {
    const HWND h = Window([](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT { return msg == WM_USER ? LRESULT(w + 1) : 0; });
    plat::messages::WindowSender sender(h);
    EXPECT_EQ(sender.Send(WM_USER, 1, 0), 2);
    EXPECT_EQ(sender.Send(WM_USER, 2, 0), 3);  // the kept procedure
    // A new procedure is seen at the next send.
    plat::window::SetWindowProcedure(h, [](HWND, UINT, WPARAM w, LPARAM) -> LRESULT { return LRESULT(w * 10); });
    EXPECT_EQ(sender.Send(WM_USER, 4, 0), 40);
    // Another window going makes no difference; this one going ends the sends.
    DestroyWindow(Recorder());
    EXPECT_EQ(sender.Send(WM_USER, 5, 0), 50);
    DestroyWindow(h);
    EXPECT_EQ(sender.Send(WM_USER, 6, 0), 0);
    EXPECT_EQ(plat::messages::WindowSender(0).Send(WM_USER, 1, 0), 0);

    // Another thread's window: the send runs on its owner, as SendMessage does.
    WindowThread worker([](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_CLOSE) PostQuitMessage(0);
        return msg == WM_USER ? 7 : 0;
    });
    plat::messages::WindowSender remote(worker.hwnd());
    EXPECT_EQ(remote.Send(WM_USER, 0, 0), 7);
    PostMessage(worker.hwnd(), WM_CLOSE, 0, 0);
    worker.Join();
    EXPECT_EQ(remote.Send(WM_USER, 0, 0), 0);
}
