// The window-message layer. One lock guards the window table and every queue;
// each queue has its own condition variable on that lock, so a wake-up can
// never slip between a thread's last look at its queue and its wait.
#include "platform/Message.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Clock.h"

// The queues of the message layer: posting, sending, timers, waiting, and
// the wake descriptor an outside event loop watches. The shared state and its
// lock discipline are in State.h.
#include <linux/futex.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>

#include <algorithm>
#include <chrono>
#include <optional>

#include "State.h"
#include "platform/Clock.h"
#include "platform/Message.h"

namespace plat::detail {

State& state() {
    static State* s = new State;
    return *s;
}

Window* findWindow(HWND hwnd) {
    State& s = state();
    if (hwnd && hwnd == s.lastFound) return s.lastWindow;
    auto it = s.windows.find(hwnd);
    if (it == s.windows.end()) return nullptr;
    s.lastFound = hwnd;
    s.lastWindow = &it->second;
    return s.lastWindow;
}

// The queue whose thread is inside its wait hook, and whether what runs
// there now goes straight back to that wait (which then looks at the queue).
thread_local const Queue* t_hookQueue = nullptr;
thread_local bool (*t_waitReturns)() = nullptr;

void Queue::wake() {
    ++events;
    cv.notify_all();
    sendSignal.Bump();
    if (t_hookQueue == this && t_waitReturns && t_waitReturns()) return;  // its own post: looked at next
    if (wakeFd >= 0 && !fdSignalled) {
        fdSignalled = true;
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
    }
}

void wakeLocked(Queue& q) { q.wake(); }

void SendSignal::Bump() {
    value.fetch_add(1, std::memory_order_acq_rel);
    if (sleepers.load(std::memory_order_acquire))
        ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&value), FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr, nullptr, 0);
}

void SendSignal::Wait(uint32_t seen) {
    sleepers.fetch_add(1, std::memory_order_acq_rel);
    if (value.load(std::memory_order_acquire) == seen)
        ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&value), FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0);
    sleepers.fetch_sub(1, std::memory_order_acq_rel);
}

void runOnOwnerLocked(Queue& q, std::function<void()> task) {
    if (q.dead) return;
    auto sm = std::make_shared<SentMessage>();
    sm->task = std::move(task);
    q.sent.push_back(std::move(sm));
    q.wake();
}

}  // namespace plat::detail

using namespace plat::detail;

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxPosted = 10000;
constexpr UINT kMinTimerMs = 10;
constexpr auto kDrivenTickSlice = std::chrono::milliseconds(5);  // re-check a driven tick this often
constexpr auto kHookSlice = std::chrono::milliseconds(10);       // latency of a post while in a hook without a wake fd

void finishSent(SentMessage& sm, LRESULT result) {
    sm.result = result;
    sm.done = true;
    if (sm.sender) sm.sender->wake();
}

// Ends the thread's part in the layer: its windows go, senders waiting on it
// get 0 instead of waiting forever. The windows' procedures are released
// after the lock.
void retireQueue(const std::shared_ptr<Queue>& q) {
    State& s = state();
    Graveyard graves;
    std::vector<HWND> gone;
    std::deque<std::shared_ptr<SentMessage>> dropped;
    {
        std::lock_guard lock(s.mutex);
        q->dead = true;
        for (auto& sm : q->sent) finishSent(*sm, 0);
        dropped.swap(q->sent);  // tasks may capture caller state: released after the lock
        q->posted.clear();
        q->input.clear();
        q->timers.clear();
        q->dirty.clear();
        for (auto it = s.windows.begin(); it != s.windows.end();) {
            if (it->second.owner != q) {
                ++it;
                continue;
            }
            const HWND hwnd = it->first;
            graves.procs.push_back(std::move(it->second.proc));
            if (Window* p = findWindow(it->second.parent)) std::erase(p->children, hwnd);
            std::erase(s.topLevels, hwnd);
            if (s.foreground == hwnd) s.foreground = 0;
            gone.push_back(hwnd);
            it = s.eraseWindow(it);
        }
        ++s.generation;
        if (q->wakeFd >= 0) {
            ::close(q->wakeFd);
            q->wakeFd = -1;
        }
    }
    if (const auto backend = plat::window::GetWindowBackend())
        for (HWND h : gone) backend->Notify(h, plat::window::kWindowDestroyed);
}

DWORD nextThreadId() {
    static std::atomic<DWORD> next{1};
    return next++;
}

struct QueueHolder {
    std::shared_ptr<Queue> queue = [] {
        auto q = std::make_shared<Queue>();
        q->threadId = nextThreadId();
        return q;
    }();
    ~QueueHolder() { retireQueue(queue); }
};

thread_local std::function<void(int)> t_waitHook;
thread_local std::function<bool()> t_sendWaitHook;
thread_local std::function<bool(int, bool, HWND, UINT)> t_watchSocket;
thread_local std::function<void(int)> t_stopWatching;
thread_local void (*t_readyCheck)() = nullptr;
thread_local bool t_madeOwed = false;  // the check's notice came before a made message

thread_local plat::messages::BeforeMessages t_beforeMessages;

// Once: the hook is cleared before it runs, so it may set itself again.
void runBeforeMessages() {
    plat::messages::BeforeMessages& before = t_beforeMessages;
    if (!before.hook) return;
    const plat::messages::BeforeMessages run = before;
    before = {};
    run.hook(run.context);
}

}  // namespace

const std::shared_ptr<Queue>& plat::detail::myQueue() {
    thread_local QueueHolder holder;
    return holder.queue;
}

namespace {
void reportException(const char* what) { std::fprintf(stderr, "window layer: exception stopped: %s\n", what); }
}  // namespace

LRESULT plat::detail::callProc(const Proc& proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        return (*proc)(hwnd, msg, wParam, lParam);
    } catch (const std::exception& e) {
        reportException(e.what());
    } catch (...) {
        reportException("unknown");
    }
    return 0;
}

void plat::detail::runTask(const std::function<void()>& task) {
    try {
        task();
    } catch (const std::exception& e) {
        reportException(e.what());
    } catch (...) {
        reportException("unknown");
    }
}

namespace {

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
        LRESULT result = 0;
        if (sm->task)
            runTask(sm->task);
        else if (proc)
            result = callProc(proc, sm->hwnd, sm->message, sm->wParam, sm->lParam);
        proc.reset();  // a procedure replaced meanwhile ends here, outside the lock
        sm->task = nullptr;
        lock.lock();
        // The sender is woken after the lock is released, so it does not
        // wake only to wait for the lock this thread still holds.
        std::shared_ptr<Queue> sender = std::move(sm->sender);
        finishSent(*sm, result);
        if (sender) {
            if (sender->wakeFd >= 0) sender->wake();  // it may be waiting in an outside loop
            lock.unlock();
            sender->sendSignal.Bump();
            lock.lock();
        }
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
// The thread's key state follows the key messages it takes from its queue.
thread_local std::array<uint8_t, 256> t_keys{};

void noteKey(const MSG& m) {
    const bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
    if (!down && m.message != WM_KEYUP && m.message != WM_SYSKEYUP) return;
    const size_t vk = m.wParam & 0xFF;
    t_keys[vk] = down ? 0x80 : 0;
    // Either shift, control or Alt key counts as the generic one.
    const auto generic = [&](size_t left, size_t right, size_t both) {
        if (vk == left || vk == right) t_keys[both] = (t_keys[left] | t_keys[right]) & 0x80 ? 0x80 : t_keys[both];
    };
    generic(VK_LSHIFT, VK_RSHIFT, VK_SHIFT);
    generic(VK_LCONTROL, VK_RCONTROL, VK_CONTROL);
    generic(VK_LMENU, VK_RMENU, VK_MENU);
}

// Posted messages and device input, in their order.
bool fetchQueued(Queue& q, MSG* out, HWND hwnd, UINT msgMin, UINT msgMax, bool remove) {
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        if (!matches(*it, hwnd, msgMin, msgMax)) continue;
        *out = *it;
        if (remove) {
            q.posted.erase(it);
            noteKey(*out);
        }
        return true;
    }
    // Device input: a key goes to the focus as it is now; taps were routed.
    for (auto it = q.input.begin(); it != q.input.end();) {
        MSG m = it->msg;
        if (it->msg.hwnd == 0) {
            m.hwnd = q.focus ? q.focus : q.active;
            if (!m.hwnd || !findWindow(m.hwnd)) {
                it = q.input.erase(it);  // nobody can take it
                continue;
            }
        } else if (!it->routed) {
            break;  // its window is not known yet: what follows waits for it
        }
        if (!matches(m, hwnd, msgMin, msgMax)) {
            ++it;
            continue;
        }
        *out = m;
        if (remove) {
            const UINT charMsg = m.message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
            for (char16_t c : it->text) q.posted.push_back(MSG{m.hwnd, charMsg, WPARAM(c), m.lParam, m.time});
            q.input.erase(it);
            noteKey(*out);
        }
        return true;
    }
    return false;
}

// What is made when nothing is queued: WM_QUIT, WM_PAINT, WM_TIMER.
bool fetchMade(Queue& q, MSG* out, HWND hwnd, UINT msgMin, UINT msgMax, bool remove) {
    if (!q.quit && q.timers.empty() && q.dirty.empty()) return false;
    const DWORD now = GetTickCount();
    if (q.quit) {
        *out = MSG{0, WM_QUIT, WPARAM(q.quitCode), 0, now};
        if (remove) q.quit = false;
        return true;
    }
    // WM_PAINT stays until the window is validated; hidden windows wait.
    for (HWND h : q.dirty) {
        const MSG m{h, WM_PAINT, 0, 0, now};
        if (visibleLocked(h) && matches(m, hwnd, msgMin, msgMax)) {
            *out = m;
            return true;
        }
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

// The next message, as fetch; before a made one, the outside loop posts what
// its watched descriptors have ready (once per call: lock is given up meanwhile).
bool fetchAfterReadyCheck(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Queue>& me, MSG* out, HWND hwnd,
                          UINT msgMin, UINT msgMax, bool remove, bool& checked) {
    if (fetchQueued(*me, out, hwnd, msgMin, msgMax, remove)) return true;
    // A notice the check put first leaves the next made message its turn: a
    // host that sends without pause does not hold off paints and timers.
    if (!checked && t_readyCheck && !t_madeOwed) {
        MSG probe;
        if (!fetchMade(*me, &probe, hwnd, msgMin, msgMax, false)) return false;
        checked = true;
        const auto check = t_readyCheck;
        lock.unlock();
        check();
        lock.lock();
        routeInput(lock, me);
        if (fetchQueued(*me, out, hwnd, msgMin, msgMax, remove)) {
            if (remove) t_madeOwed = true;
            return true;
        }
    }
    if (!fetchMade(*me, out, hwnd, msgMin, msgMax, remove)) return false;
    if (remove) t_madeOwed = false;
    return true;
}

bool paintPending(const Queue& q) {
    return std::any_of(q.dirty.begin(), q.dirty.end(), [](HWND h) { return visibleLocked(h); });
}

bool anyPending(Queue& q) {
    if (!q.posted.empty() || !q.input.empty() || q.quit || paintPending(q)) return true;
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
        // With a wake descriptor the hook returns when it is readable; the
        // hook's loop then only sleeps as long as our timers allow.
        if (q.wakeFd < 0) end = std::min(end, now + kHookSlice);
        int ms = -1;
        if (end != Clock::time_point::max())
            ms = int(std::chrono::ceil<std::chrono::milliseconds>(std::max(end - now, Clock::duration::zero())).count());
        const auto hook = t_waitHook;  // the hook may replace itself
        const Queue* const outer = std::exchange(t_hookQueue, &q);
        lock.unlock();
        hook(ms);
        lock.lock();
        t_hookQueue = outer;
        if (q.wakeFd >= 0) return;  // the caller re-checks; the hook did the waiting
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

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const std::shared_ptr<Queue>& me = myQueue();
    std::unique_lock lock(state().mutex);
    const Window* w = findWindow(hwnd);
    if (!w) {
        lock.unlock();
        LRESULT result = 0;
        return remoteCall(RemoteOp::kSend, hwnd, msg, wParam, lParam, &result) ? result : 0;
    }
    if (w->owner->dead) return 0;
    if (w->owner == me) {
        const Proc proc = w->proc;
        lock.unlock();
        return callProc(proc, hwnd, msg, wParam, lParam);
    }
    auto sm = std::make_shared<SentMessage>();
    sm->hwnd = hwnd;
    sm->message = msg;
    sm->wParam = wParam;
    sm->lParam = lParam;
    sm->sender = me;
    w->owner->sent.push_back(sm);
    w->owner->wake();
    // While waiting, answer what others send to this thread: two threads
    // sending to each other must not deadlock.
    bool displayed = false;
    for (;;) {
        if (sm->done) {
            // What arrived while the display ran is the outside loop's to serve.
            if (displayed && (!me->sent.empty() || anyPending(*me))) me->wake();
            return sm->result;
        }
        if (handleSent(lock, *me)) continue;
        const uint32_t seen = me->sendSignal.value.load(std::memory_order_acquire);
        if (sm->done || !me->sent.empty()) continue;
        if (t_sendWaitHook && me->wakeFd >= 0) {
            // A thread that shows windows keeps showing them while it waits.
            const auto hook = t_sendWaitHook;
            lock.unlock();
            const bool waited = hook();
            lock.lock();
            displayed = displayed || waited;
            if (waited) continue;
            if (sm->done || !me->sent.empty() || me->sendSignal.value.load(std::memory_order_acquire) != seen) continue;
        }
        lock.unlock();
        me->sendSignal.Wait(seen);
        // The answer needs no lock: it was written before done was set.
        if (sm->done.load(std::memory_order_acquire)) return sm->result;
        lock.lock();
    }
}

LRESULT plat::messages::WindowSender::Send(UINT msg, WPARAM wParam, LPARAM lParam) {
    const Queue* me = myQueue().get();
    if (m_proc && m_owner == me && state().generation.load(std::memory_order_acquire) == m_generation)
        return (*m_proc)(m_hwnd, msg, wParam, lParam);
    m_proc.reset();
    {
        std::lock_guard lock(state().mutex);
        const Window* w = findWindow(m_hwnd);
        if (w && w->owner.get() == me && !w->owner->dead) {
            m_proc = w->proc;
            m_owner = me;
            m_generation = state().generation.load(std::memory_order_relaxed);
        }
    }
    // Another thread's window, or none: the ordinary path.
    return m_proc ? (*m_proc)(m_hwnd, msg, wParam, lParam) : SendMessage(m_hwnd, msg, wParam, lParam);
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const MSG m{hwnd, msg, wParam, lParam, GetTickCount()};
    if (hwnd == 0) {
        const std::shared_ptr<Queue>& me = myQueue();
        std::lock_guard lock(state().mutex);
        return post(*me, m) ? TRUE : FALSE;
    }
    {
        std::lock_guard lock(state().mutex);
        if (const Window* w = findWindow(hwnd)) return post(*w->owner, m) ? TRUE : FALSE;
    }
    LRESULT posted = FALSE;
    return remoteCall(RemoteOp::kPost, hwnd, msg, wParam, lParam, &posted) && posted ? TRUE : FALSE;
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
    runBeforeMessages();
    const std::shared_ptr<Queue>& me = myQueue();
    std::unique_lock lock(state().mutex);
    handleSent(lock, *me);
    if (!msg) return FALSE;
    routeInput(lock, me);
    bool checked = false;
    return fetchAfterReadyCheck(lock, me, msg, hwnd, msgMin, msgMax, (removeFlags & PM_REMOVE) != 0, checked) ? TRUE
                                                                                                             : FALSE;
}

BOOL GetMessage(MSG* msg, HWND hwnd, UINT msgMin, UINT msgMax) {
    runBeforeMessages();
    const std::shared_ptr<Queue>& me = myQueue();
    std::unique_lock lock(state().mutex);
    bool checked = false;
    for (;;) {
        const Window* w = hwnd ? findWindow(hwnd) : nullptr;
        if (!msg || (hwnd && (!w || w->owner != me))) return -1;
        handleSent(lock, *me);
        routeInput(lock, me);
        if (fetchAfterReadyCheck(lock, me, msg, hwnd, msgMin, msgMax, true, checked))
            return msg->message == WM_QUIT ? FALSE : TRUE;
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
    runBeforeMessages();
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

plat::messages::BeforeMessages& plat::messages::ThreadBeforeMessages() { return t_beforeMessages; }

void plat::messages::SetMessageWaitHook(std::function<void(int maxWaitMs)> hook) { t_waitHook = std::move(hook); }

void plat::messages::SetSendWaitHook(std::function<bool()> hook) { t_sendWaitHook = std::move(hook); }

void plat::messages::SetWaitReturnsHook(bool (*returns)()) { t_waitReturns = returns; }

namespace {

BOOL WatchSocket(int fd, bool write, HWND hwnd, UINT msg) {
    if (fd < 0 || !t_watchSocket) return FALSE;
    const auto watch = t_watchSocket;  // the watcher may replace itself
    return watch(fd, write, hwnd, msg) ? TRUE : FALSE;
}

}  // namespace

BOOL plat::messages::PostWhenReadable(int fd, HWND hwnd, UINT msg) { return WatchSocket(fd, false, hwnd, msg); }

BOOL plat::messages::PostWhenWritable(int fd, HWND hwnd, UINT msg) { return WatchSocket(fd, true, hwnd, msg); }

void plat::messages::StopWatching(int fd) {
    if (fd < 0 || !t_stopWatching) return;
    const auto stop = t_stopWatching;
    stop(fd);
}

void plat::messages::SetReadyCheck(void (*check)()) { t_readyCheck = check; }

void plat::messages::SetSocketWatcher(std::function<bool(int, bool, HWND, UINT)> watch,
                                      std::function<void(int)> stop) {
    t_watchSocket = std::move(watch);
    t_stopWatching = std::move(stop);
}

int plat::messages::GetQueueWakeFd() {
    const std::shared_ptr<Queue>& me = myQueue();
    std::lock_guard lock(state().mutex);
    if (me->wakeFd < 0) {
        me->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        me->fdSignalled = false;
        if (me->wakeFd >= 0) me->wake();  // whatever is already queued is seen at once
    }
    return me->wakeFd;
}

void plat::messages::DrainQueueWakeFd() {
    const std::shared_ptr<Queue>& me = myQueue();
    std::lock_guard lock(state().mutex);
    if (me->wakeFd < 0) return;
    // One read takes the whole count of an eventfd.
    uint64_t count;
    [[maybe_unused]] const ssize_t n = ::read(me->wakeFd, &count, sizeof count);
    me->fdSignalled = false;
}

int plat::messages::NextMessageTimeoutMs() {
    const std::shared_ptr<Queue>& me = myQueue();
    std::lock_guard lock(state().mutex);
    if (!me->sent.empty() || anyPending(*me)) return 0;
    const auto wait = timerWait(*me);
    return wait ? int(wait->count()) : -1;
}

BOOL plat::messages::HandleSentMessages() {
    const std::shared_ptr<Queue>& me = myQueue();
    std::unique_lock lock(state().mutex);
    return handleSent(lock, *me) ? TRUE : FALSE;
}

SHORT GetKeyState(int virtualKey) { return virtualKey >= 0 && virtualKey < 256 && (t_keys[size_t(virtualKey)] & 0x80) ? SHORT(0x8000) : 0; }
