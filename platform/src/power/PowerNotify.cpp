#include <time.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/Power.h"
#include "platform/Registry.h"  // ERROR_ACCESS_DENIED

namespace {

struct Queue {
    DWORD maxMessages = 0;
    DWORD maxBytes = 0;
    bool read = false;
    std::deque<std::vector<BYTE>> messages;
};

struct Request {
    uintptr_t queue = 0;
    DWORD flags = 0;
};

struct NotifyState {
    std::mutex mutex;
    std::function<int64_t()> source;
    uint64_t generation = 0;  // a sample taken from a replaced source is dropped
    std::optional<int64_t> baseline;
    uintptr_t next = 0x7000;  // queues and requests share the numbers
    std::map<uintptr_t, Queue> queues;
    std::map<uintptr_t, Request> requests;
};

NotifyState& State() {
    static NotifyState state;
    return state;
}

int64_t Ns(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The boot clock counts time suspended, the monotonic one does not. The two
// reads are not one instant: the boot clock is read between two monotonic
// reads and the tightest of a few brackets is taken.
int64_t MachineSuspendedMs() {
    int64_t best = 0, span = INT64_MAX;
    for (int i = 0; i < 3 && span > 100000; ++i) {
        const int64_t before = Ns(CLOCK_MONOTONIC);
        const int64_t boot = Ns(CLOCK_BOOTTIME);
        const int64_t after = Ns(CLOCK_MONOTONIC);
        if (after - before < span) {
            span = after - before;
            best = boot - before - span / 2;
        }
    }
    return best / 1000000;
}

void Post(Queue& queue, DWORD message) {
    if (queue.maxBytes < kPowerBroadcastBytes) return;
    if (queue.maxMessages && queue.messages.size() >= queue.maxMessages) return;
    const DWORD fields[3] = {message, 0, 0};
    std::vector<BYTE> bytes(kPowerBroadcastBytes);
    memcpy(bytes.data(), fields, kPowerBroadcastBytes);
    queue.messages.push_back(std::move(bytes));
}

// Samples the suspended time (outside the lock: a test's source is its
// code) and posts a resume to every request for one when it grew.
void CheckForResume() {
    NotifyState& s = State();
    std::function<int64_t()> source;
    uint64_t generation;
    {
        std::lock_guard lock(s.mutex);
        source = s.source;
        generation = s.generation;
    }
    const int64_t sample = source ? source() : MachineSuspendedMs();
    std::lock_guard lock(s.mutex);
    if (generation != s.generation) return;
    // Time suspended only grows: a smaller sample was taken before one
    // applied already (another thread) or within the reads' jitter.
    if (!s.baseline) {
        s.baseline = sample;
        return;
    }
    if (sample - *s.baseline < plat::power::kResumeGapMs) return;
    s.baseline = sample;
    for (const auto& [id, request] : s.requests) {
        if (!(request.flags & PBT_RESUME)) continue;
        auto queue = s.queues.find(request.queue);
        if (queue != s.queues.end()) Post(queue->second, PBT_RESUME);
    }
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

HANDLE CreateMsgQueue(const char16_t* name, const MSGQUEUEOPTIONS* options) {
    if (!options || options->dwSize != sizeof(MSGQUEUEOPTIONS)) return Fail(ERROR_INVALID_PARAMETER), nullptr;
    if (name && *name) return Fail(ERROR_NOT_SUPPORTED), nullptr;
    NotifyState& s = State();
    std::lock_guard lock(s.mutex);
    const uintptr_t id = s.next += 4;
    Queue& queue = s.queues[id];
    queue.maxMessages = options->dwMaxMessages;
    queue.maxBytes = options->cbMaxMessage;
    queue.read = options->bReadAccess != FALSE;
    return reinterpret_cast<HANDLE>(id);
}

BOOL ReadMsgQueue(HANDLE queue, void* buffer, DWORD bufferBytes, DWORD* bytesRead, DWORD timeoutMs, DWORD* flags) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    NotifyState& s = State();
    for (;;) {
        CheckForResume();
        {
            std::lock_guard lock(s.mutex);
            auto found = s.queues.find(reinterpret_cast<uintptr_t>(queue));
            if (found == s.queues.end()) return Fail(ERROR_INVALID_HANDLE);
            if (!found->second.read) return Fail(ERROR_ACCESS_DENIED);
            std::deque<std::vector<BYTE>>& messages = found->second.messages;
            if (!messages.empty()) {
                const std::vector<BYTE>& message = messages.front();
                if (!buffer || bufferBytes < message.size()) return Fail(ERROR_INSUFFICIENT_BUFFER);
                memcpy(buffer, message.data(), message.size());
                if (bytesRead) *bytesRead = DWORD(message.size());
                if (flags) *flags = 0;
                messages.pop_front();
                return TRUE;
            }
        }
        const auto now = Clock::now();
        if (timeoutMs != 0xFFFFFFFF && now >= deadline) return Fail(ERROR_TIMEOUT);
        // Nothing wakes a waiter: it samples again in short slices.
        auto slice = std::chrono::milliseconds(50);
        if (timeoutMs != 0xFFFFFFFF && deadline - now < slice)
            slice = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) + std::chrono::milliseconds(1);
        std::this_thread::sleep_for(slice);
    }
}

BOOL CloseMsgQueue(HANDLE queue) {
    NotifyState& s = State();
    std::lock_guard lock(s.mutex);
    return s.queues.erase(reinterpret_cast<uintptr_t>(queue)) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

HANDLE RequestPowerNotifications(HANDLE queue, DWORD flags) {
    // A resume from before the request is not the new request's.
    CheckForResume();
    NotifyState& s = State();
    std::lock_guard lock(s.mutex);
    if (!s.queues.count(reinterpret_cast<uintptr_t>(queue))) return Fail(ERROR_INVALID_HANDLE), nullptr;
    const uintptr_t id = s.next += 4;
    s.requests[id] = Request{reinterpret_cast<uintptr_t>(queue), flags};
    return reinterpret_cast<HANDLE>(id);
}

BOOL StopPowerNotifications(HANDLE notification) {
    NotifyState& s = State();
    std::lock_guard lock(s.mutex);
    return s.requests.erase(reinterpret_cast<uintptr_t>(notification)) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

void plat::power::SetSuspendedTimeSource(std::function<int64_t()> source) {
    NotifyState& s = State();
    std::lock_guard lock(s.mutex);
    s.source = std::move(source);
    s.baseline.reset();
    ++s.generation;
}
