// The window-message layer. One lock guards the window table and every queue;
// each queue has its own condition variable on that lock, so a wake-up can
// never slip between a thread's last look at its queue and its wait.
#include "platform/Message.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/Clock.h"

namespace {

using Clock = std::chrono::steady_clock;
using Proc = std::shared_ptr<const WindowProc>;

constexpr size_t kMaxWindows = 16384;
constexpr size_t kMaxPosted = 10000;
constexpr UINT kMinTimerMs = 10;
constexpr auto kDrivenTickSlice = std::chrono::milliseconds(5);  // re-check a driven tick this often
constexpr auto kHookSlice = std::chrono::milliseconds(10);       // latency of a post while in the hook

struct Queue;

struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<Queue> sender;
};

struct Timer {
    HWND hwnd;
    UINT id;
    UINT elapse;
    DWORD start;
};

struct Queue {
    std::condition_variable cv;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::vector<Timer> timers;
    bool quit = false;
    int quitCode = 0;
    bool dead = false;  // the owner thread has ended
    uint64_t events = 0;  // bumped on everything that may end a wait

    void wake() {
        ++events;
        cv.notify_all();
    }
};

struct Window {
    std::shared_ptr<Queue> owner;
    Proc proc;
    bool destroying = false;
};

struct State {
    std::mutex mutex;
    std::unordered_map<HWND, Window> windows;
    HWND nextHandle = 1;
};

// Never destroyed: threads may still use it while the process exits.
State& state() {
    static State* s = new State;
    return *s;
}

void finishSent(SentMessage& sm, LRESULT result) {
    sm.result = result;
    sm.done = true;
    sm.sender->wake();
}

// Ends the thread's part in the layer: its windows go, senders waiting on it
// get 0 instead of waiting forever.
void retireQueue(const std::shared_ptr<Queue>& q) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    q->dead = true;
    for (auto& sm : q->sent) finishSent(*sm, 0);
    q->sent.clear();
    q->posted.clear();
    q->timers.clear();
    std::erase_if(s.windows, [&](const auto& entry) { return entry.second.owner == q; });
}

struct QueueHolder {
    std::shared_ptr<Queue> queue = std::make_shared<Queue>();
    ~QueueHolder() { retireQueue(queue); }
};

const std::shared_ptr<Queue>& myQueue() {
    thread_local QueueHolder holder;
    return holder.queue;
}

thread_local std::function<void(int)> t_waitHook;

Window* findWindow(HWND hwnd) {
    auto it = state().windows.find(hwnd);
    return it == state().windows.end() ? nullptr : &it->second;
}

Proc procOf(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    return w ? w->proc : nullptr;
}

// Runs the messages other threads sent to this one; the lock is released
// around each procedure call. True when any was handled.
bool handleSent(std::unique_lock<std::mutex>& lock, Queue& q) {
    bool any = false;
    while (!q.sent.empty()) {
        std::shared_ptr<SentMessage> sm = q.sent.front();
        q.sent.pop_front();
        const Window* w = findWindow(sm->hwnd);
        Proc proc = w ? w->proc : nullptr;
        lock.unlock();
        const LRESULT result = proc ? (*proc)(sm->hwnd, sm->message, sm->wParam, sm->lParam) : 0;
        lock.lock();
        finishSent(*sm, result);
        any = true;
    }
    return any;
}

bool matches(const MSG& m, HWND hwnd, UINT msgMin, UINT msgMax) {
    if (hwnd != 0 && m.hwnd != hwnd) return false;
    return (msgMin == 0 && msgMax == 0) || (m.message >= msgMin && m.message <= msgMax);
}

bool timerDue(const Timer& t, DWORD now) { return DWORD(now - t.start) >= t.elapse; }

// Takes the next message by priority: posted messages in order, then WM_QUIT
// (whatever the filter), then due timers. Lock held.
bool fetch(Queue& q, MSG* out, HWND hwnd, UINT msgMin, UINT msgMax, bool remove) {
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        if (!matches(*it, hwnd, msgMin, msgMax)) continue;
        *out = *it;
        if (remove) q.posted.erase(it);
        return true;
    }
    if (!q.quit && q.timers.empty()) return false;
    const DWORD now = GetTickCount();
    if (q.quit) {
        *out = MSG{0, WM_QUIT, WPARAM(q.quitCode), 0, now};
        if (remove) q.quit = false;
        return true;
    }
    for (Timer& t : q.timers) {
        const MSG m{t.hwnd, WM_TIMER, t.id, 0, now};
        if (!timerDue(t, now) || !matches(m, hwnd, msgMin, msgMax)) continue;
        *out = m;
        if (remove) t.start = now;  // the next period starts when this one is taken
        return true;
    }
    return false;
}

bool anyPending(Queue& q) {
    if (!q.posted.empty() || q.quit) return true;
    const DWORD now = GetTickCount();
    return std::any_of(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return timerDue(t, now); });
}

// How long the queue's timers let a waiting thread sleep; none when no timer
// can end the wait. Timers already due are either taken by the caller or
// filtered out of its view. A driven tick says nothing about real time, so it
// is re-checked in short slices.
std::optional<std::chrono::milliseconds> timerWait(const Queue& q) {
    if (q.timers.empty()) return std::nullopt;
    if (plat::clock::IsTickSourceReplaced()) return kDrivenTickSlice;
    std::optional<std::chrono::milliseconds> wait;
    const DWORD tick = GetTickCount();
    for (const Timer& t : q.timers) {
        if (timerDue(t, tick)) continue;
        const std::chrono::milliseconds left(t.elapse - DWORD(tick - t.start));
        wait = wait ? std::min(*wait, left) : left;
    }
    return wait;
}

// One blocking step: returns when the queue may have changed, a timer may be
// due, or the deadline passed. Callers re-check and loop. On a thread with a
// wait hook the hook gets the time first (at most one slice, so a post from
// another thread is seen soon even when the hook blocks).
void waitStep(std::unique_lock<std::mutex>& lock, Queue& q, std::optional<Clock::time_point> deadline) {
    const uint64_t seen = q.events;
    const auto now = Clock::now();
    auto end = deadline.value_or(Clock::time_point::max());
    if (const auto wait = timerWait(q)) end = std::min(end, now + *wait);
    if (t_waitHook) {
        end = std::min(end, now + kHookSlice);
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(end - now, Clock::duration::zero()));
        const auto hook = t_waitHook;  // the hook may replace itself
        lock.unlock();
        hook(int(ms.count()));
        lock.lock();
    }
    const auto changed = [&] { return q.events != seen; };
    if (end == Clock::time_point::max())
        q.cv.wait(lock, changed);
    else
        q.cv.wait_until(lock, end, changed);
}

bool post(Queue& q, const MSG& m) {
    if (q.dead || q.posted.size() >= kMaxPosted) return false;
    q.posted.push_back(m);
    q.wake();
    return true;
}

// The queue whose timers a handle's timers live in: the window's owner, or
// the calling thread for thread timers (hwnd 0). Lock held.
Queue* timerQueue(HWND hwnd) {
    if (hwnd == 0) return myQueue().get();
    const Window* w = findWindow(hwnd);
    return w && !w->destroying ? w->owner.get() : nullptr;
}

}  // namespace

HWND CreateMessageWindow(WindowProc proc) {
    const std::shared_ptr<Queue>& q = myQueue();
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!proc || s.windows.size() >= kMaxWindows) return 0;
    // Handles count up and wrap, skipping live ones, so a destroyed handle is
    // not handed out again for a long time.
    while (s.nextHandle == 0 || s.windows.count(s.nextHandle)) ++s.nextHandle;
    const HWND hwnd = s.nextHandle++;
    s.windows.emplace(hwnd, Window{q, std::make_shared<const WindowProc>(std::move(proc))});
    return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
    const std::shared_ptr<Queue>& q = myQueue();
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        Window* w = findWindow(hwnd);
        if (!w || w->owner != q || w->destroying) return FALSE;
        w->destroying = true;
    }
    CallWindowProcedure(hwnd, WM_DESTROY, 0, 0);
    std::lock_guard lock(s.mutex);
    s.windows.erase(hwnd);
    std::erase_if(q->posted, [&](const MSG& m) { return m.hwnd == hwnd; });
    std::erase_if(q->timers, [&](const Timer& t) { return t.hwnd == hwnd; });
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    return findWindow(hwnd) ? TRUE : FALSE;
}

LRESULT CallWindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const Proc proc = procOf(hwnd);
    return proc ? (*proc)(hwnd, msg, wParam, lParam) : 0;
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const std::shared_ptr<Queue>& me = myQueue();
    std::unique_lock lock(state().mutex);
    const Window* w = findWindow(hwnd);
    if (!w || w->owner->dead) return 0;
    if (w->owner == me) {
        const Proc proc = w->proc;
        lock.unlock();
        return (*proc)(hwnd, msg, wParam, lParam);
    }
    auto sm = std::make_shared<SentMessage>(SentMessage{hwnd, msg, wParam, lParam, 0, false, me});
    w->owner->sent.push_back(sm);
    w->owner->wake();
    // While waiting, answer what others send to this thread: two threads
    // sending to each other must not deadlock.
    while (!sm->done) {
        if (!handleSent(lock, *me)) me->cv.wait(lock, [&] { return sm->done || !me->sent.empty(); });
    }
    return sm->result;
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const MSG m{hwnd, msg, wParam, lParam, GetTickCount()};
    if (hwnd == 0) {
        const std::shared_ptr<Queue>& me = myQueue();
        std::lock_guard lock(state().mutex);
        return post(*me, m) ? TRUE : FALSE;
    }
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    return w && post(*w->owner, m) ? TRUE : FALSE;
}

void PostQuitMessage(int exitCode) {
    const std::shared_ptr<Queue>& me = myQueue();
    std::lock_guard lock(state().mutex);
    me->quit = true;
    me->quitCode = exitCode;
    me->wake();
}

UINT SetTimer(HWND hwnd, UINT id, UINT elapseMs) {
    const DWORD now = GetTickCount();
    std::lock_guard lock(state().mutex);
    Queue* q = timerQueue(hwnd);
    if (!q) return 0;
    const auto same = [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; };
    if (id == 0) {
        id = 1;
        while (std::any_of(q->timers.begin(), q->timers.end(), same)) ++id;
    }
    const Timer timer{hwnd, id, std::max(elapseMs, kMinTimerMs), now};
    auto it = std::find_if(q->timers.begin(), q->timers.end(), same);
    if (it != q->timers.end())
        *it = timer;
    else
        q->timers.push_back(timer);
    q->wake();  // a waiting owner recomputes how long it may sleep
    return id;
}

BOOL KillTimer(HWND hwnd, UINT id) {
    std::lock_guard lock(state().mutex);
    Queue* q = timerQueue(hwnd);
    return q && std::erase_if(q->timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; }) ? TRUE : FALSE;
}

BOOL PeekMessage(MSG* msg, HWND hwnd, UINT msgMin, UINT msgMax, UINT removeFlags) {
    const std::shared_ptr<Queue>& me = myQueue();
    std::unique_lock lock(state().mutex);
    handleSent(lock, *me);
    if (!msg) return FALSE;
    return fetch(*me, msg, hwnd, msgMin, msgMax, (removeFlags & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL GetMessage(MSG* msg, HWND hwnd, UINT msgMin, UINT msgMax) {
    const std::shared_ptr<Queue>& me = myQueue();
    std::unique_lock lock(state().mutex);
    for (;;) {
        const Window* w = hwnd ? findWindow(hwnd) : nullptr;
        if (!msg || (hwnd && (!w || w->owner != me))) return -1;
        handleSent(lock, *me);
        if (fetch(*me, msg, hwnd, msgMin, msgMax, true)) return msg->message == WM_QUIT ? FALSE : TRUE;
        waitStep(lock, *me, std::nullopt);
    }
}

// Keyboard input is translated into WM_CHAR where it enters the layer, so
// there is nothing left to do here.
BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessage(const MSG* msg) {
    if (!msg || msg->hwnd == 0) return 0;
    return CallWindowProcedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WaitMessageTimeout(int timeoutMs) {
    const std::shared_ptr<Queue>& me = myQueue();
    std::optional<Clock::time_point> deadline;
    if (timeoutMs >= 0) deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(state().mutex);
    for (;;) {
        if (handleSent(lock, *me) || anyPending(*me)) return TRUE;
        if (deadline && Clock::now() >= *deadline) return FALSE;
        waitStep(lock, *me, deadline);
    }
}

void plat::messages::SetMessageWaitHook(std::function<void(int maxWaitMs)> hook) { t_waitHook = std::move(hook); }
