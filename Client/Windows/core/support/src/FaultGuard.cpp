#include "core/support/FaultGuard.h"

#include <csetjmp>
#include <csignal>
#include <iterator>

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

thread_local sigjmp_buf* t_escape = nullptr;

void OnFault(int signal) {
    if (t_escape) siglongjmp(*t_escape, signal);
    // A fault of another thread while the guard's handlers are set: die of it.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

bool RunGuarded(void (*call)(void* context), void* context) {
    struct sigaction guard {};
    guard.sa_handler = OnFault;
    sigemptyset(&guard.sa_mask);
    guard.sa_flags = SA_NODEFER;
    struct sigaction saved[std::size(kSignals)];
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &guard, &saved[i]);

    sigjmp_buf escape;
    sigjmp_buf* outer = t_escape;
    volatile bool completed = false;
    if (sigsetjmp(escape, 1) == 0) {
        t_escape = &escape;
        call(context);
        completed = true;
    }
    t_escape = outer;
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &saved[i], nullptr);
    return completed;
}
