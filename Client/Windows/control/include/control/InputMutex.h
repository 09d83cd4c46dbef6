// The control's input mutex: recursive, so an input call that arrives through
// a message pump inside a handler on the owning thread passes through, and
// robust, so a thread that ended while holding it leaves it abandoned rather
// than locked for ever. It is taken with every packet: free, it costs one
// atomic exchange each way; a thread that finds it held sleeps on it and
// looks every 10 ms whether the holder still lives.
#pragma once

#include <linux/futex.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>

class CInputMutex {
public:
    enum class Wait { Acquired, Abandoned, Failed };

    CInputMutex() = default;
    CInputMutex(const CInputMutex&) = delete;
    CInputMutex& operator=(const CInputMutex&) = delete;

    // Without time-out. An abandoned mutex is made usable again and given
    // back at once: the caller delivers nothing and does not hold it.
    Wait Enter() {
        const pid_t me = ThisThread();
        if (m_owner.load(std::memory_order_relaxed) == me) {
            ++m_depth;
            return Wait::Acquired;
        }
        for (;;) {
            pid_t holder = 0;
            if (m_owner.compare_exchange_strong(holder, me, std::memory_order_acquire)) {
                m_depth = 1;
                return Wait::Acquired;
            }
            if (!Lives(holder)) {
                if (!m_owner.compare_exchange_strong(holder, 0, std::memory_order_acq_rel)) continue;
                Wake();
                return Wait::Abandoned;
            }
            m_waiters.fetch_add(1);
            const timespec look{0, 10'000'000};
            syscall(SYS_futex, Word(), FUTEX_WAIT_PRIVATE, holder, &look, nullptr, 0);
            m_waiters.fetch_sub(1);
        }
    }
    void Leave() {
        if (--m_depth > 0) return;
        m_owner.store(0);
        if (m_waiters.load() > 0) Wake();
    }

private:
    static_assert(sizeof(std::atomic<pid_t>) == sizeof(int), "the futex word is the owner");

    // The kernel's id of the calling thread, asked once per thread (a
    // plain thread-local: no guard to look at with every packet).
    static pid_t ThisThread() {
        thread_local pid_t id = 0;
        if (id == 0) id = pid_t(syscall(SYS_gettid));
        return id;
    }
    static bool Lives(pid_t thread) { return syscall(SYS_tgkill, getpid(), thread, 0) == 0 || errno != ESRCH; }
    int* Word() { return reinterpret_cast<int*>(&m_owner); }
    void Wake() { syscall(SYS_futex, Word(), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0); }

    std::atomic<pid_t> m_owner{0};  // 0: free
    int m_depth = 0;                // the owner's nesting
    std::atomic<int> m_waiters{0};
};
