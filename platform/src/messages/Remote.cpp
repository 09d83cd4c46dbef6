// Windows of the other processes of one device root: each process that makes
// windows owns a slot, an abstract Unix socket named after the device root
// and the slot number, and its window handles carry the slot in their top
// byte. A small request names one operation on one window (find, post, send
// with integer arguments, show, bring to the front, exists); a listener
// thread of the owning process carries it out with the ordinary calls. A
// process that ends takes its socket, and so its windows, with it. Only
// processes of the same user are answered.
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bitset>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <chrono>
#include <string>
#include <thread>

#include "WindowModel.h"
#include "platform/DeviceFs.h"

using namespace plat::detail;

namespace {

constexpr int kSlots = 254;       // 1..254; the top byte 255 is the desktop's
constexpr size_t kNameMax = 260;  // class and title, with the terminator
constexpr int kMaxBusy = 32;      // requests carried out at once

enum Op : uint32_t { kFind = 1, kPost, kSend, kShow, kForeground, kExists, kOwner };

struct Request {
    uint32_t op;
    uint32_t hwnd;
    uint32_t msg;
    uint32_t flags;  // kFind: 1 class given, 2 title given
    uint64_t wParam;
    int64_t lParam;
    char16_t cls[kNameMax];
    char16_t title[kNameMax];
};

struct Reply {
    int64_t result;
};

int g_listenFd = -1;

// The start of the socket names of the device root's slots.
std::string slotPrefix(const std::string& root) {
    uint64_t h = 1469598103934665603ull;  // FNV-1a of the root's path
    for (unsigned char c : root) h = (h ^ c) * 1099511628211ull;
    char name[64];
    std::snprintf(name, sizeof name, "orvade-windows-%016llx-", static_cast<unsigned long long>(h));
    return name;
}

// The socket name of a slot of the device root, in the abstract namespace.
socklen_t slotAddress(const std::string& root, int slot, sockaddr_un* addr) {
    char name[80];
    const int n = std::snprintf(name, sizeof name, "%s%d", slotPrefix(root).c_str(), slot);
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    std::memcpy(addr->sun_path + 1, name, size_t(n));  // sun_path[0] == 0: abstract
    return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(n));
}

int bindSlot() {
    const std::string root = plat::fs::DeviceRoot();
    for (int slot = 1; slot <= kSlots; ++slot) {
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (fd < 0) return 0;
        sockaddr_un addr;
        const socklen_t len = slotAddress(root, slot, &addr);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 && ::listen(fd, 16) == 0) {
            g_listenFd = fd;
            return slot;
        }
        ::close(fd);
    }
    return 0;  // no slot: the windows stay visible to this process only
}

int slotOf(HWND hwnd) { return int(hwnd >> 24); }

bool sameUser(int fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::getuid();
}

void setTimeout(int fd, int option, int seconds) {
    timeval tv{seconds, 0};
    ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

// One request to the process of a slot; false when it is not there.
bool ask(int slot, const Request& request, Reply* reply) {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr;
    const socklen_t len = slotAddress(plat::fs::DeviceRoot(), slot, &addr);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 && sameUser(fd);
    // A send waits for its answer as long as it takes; the rest do not hang.
    if (ok && request.op != kSend) setTimeout(fd, SO_RCVTIMEO, 5);
    ok = ok && ::send(fd, &request, sizeof request, MSG_NOSIGNAL) == ssize_t(sizeof request);
    ok = ok && ::recv(fd, reply, sizeof *reply, 0) == ssize_t(sizeof *reply);
    ::close(fd);
    return ok;
}

// The slots of the device root that some process holds, from the kernel's
// list of Unix sockets; all of them when the list cannot be read. A find
// that misses then asks the few processes there are instead of trying every
// slot's name.
std::bitset<kSlots + 1> boundSlots() {
    std::bitset<kSlots + 1> bound;
    std::FILE* list = std::fopen("/proc/net/unix", "re");
    if (!list) return bound.set();
    const std::string name = "@" + slotPrefix(plat::fs::DeviceRoot());
    char line[512];
    while (std::fgets(line, sizeof line, list)) {
        const char* at = std::strstr(line, name.c_str());
        if (!at) continue;
        const char* digits = at + name.size();
        int slot = 0;
        for (; *digits >= '0' && *digits <= '9' && slot <= kSlots; ++digits) slot = slot * 10 + (*digits - '0');
        if (slot >= 1 && slot <= kSlots && (*digits == '\n' || *digits == 0)) bound.set(size_t(slot));
    }
    const bool failed = std::ferror(list) != 0;
    std::fclose(list);
    return failed ? bound.set() : bound;
}

void copyName(char16_t (&to)[kNameMax], const char16_t* from) {
    size_t n = 0;
    if (from)
        for (; n + 1 < kNameMax && from[n]; ++n) to[n] = from[n];
    to[n] = 0;
}

// Messages whose parameters are plain numbers, as another program may send
// them: a pointer from another program means nothing here, so the system
// messages that carry one (WM_SETTEXT, WM_GETTEXT...) are refused; from
// WM_USER on the numbers are the programs' own business, as on Windows.
bool integersOnly(UINT msg, LPARAM lParam) {
    if (msg >= WM_USER) return true;
    switch (msg) {
    case WM_NULL:
    case WM_CLOSE:
    case WM_ACTIVATE:
    case WM_ACTIVATEAPP:
    case WM_ENABLE:
    case WM_SHOWWINDOW:
    case WM_COMMAND:
    case WM_SYSCOMMAND:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_HOTKEY: return true;
    case WM_SETTINGCHANGE: return lParam == 0;  // its lParam may name a section
    default: return false;
    }
}

bool mine(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    return w && !w->messageOnly;
}

LRESULT carryOut(Request& r) {
    r.cls[kNameMax - 1] = r.title[kNameMax - 1] = 0;  // whatever came, the names end
    const HWND hwnd = r.hwnd;
    switch (r.op) {
    case kFind: return LRESULT(findTopLevel((r.flags & 1) ? r.cls : nullptr, (r.flags & 2) ? r.title : nullptr));
    case kPost:
        if (!mine(hwnd) || !integersOnly(r.msg, LPARAM(r.lParam))) return FALSE;
        return PostMessage(hwnd, r.msg, WPARAM(r.wParam), LPARAM(r.lParam));
    case kSend:
        if (!mine(hwnd) || !integersOnly(r.msg, LPARAM(r.lParam))) return 0;
        return SendMessage(hwnd, r.msg, WPARAM(r.wParam), LPARAM(r.lParam));
    case kShow: {
        if (!mine(hwnd)) return FALSE;
        const int cmd = int(r.wParam);
        return plat::window::RunOnWindowThread(hwnd, [hwnd, cmd] { ShowWindow(hwnd, cmd); });
    }
    case kForeground: return mine(hwnd) ? SetForegroundWindow(hwnd) : FALSE;
    case kExists: return mine(hwnd) ? TRUE : FALSE;
    case kOwner: {
        // The process in the high half, the thread in the low one.
        if (!mine(hwnd)) return 0;
        return LRESULT((uint64_t(DWORD(::getpid())) << 32) | plat::window::GetWindowThreadId(hwnd));
    }
    default: return 0;
    }
}

void serveRequests() {
    for (;;) {
        const int fd = ::accept4(g_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        Request r;
        setTimeout(fd, SO_RCVTIMEO, 5);
        if (sameUser(fd) && ::recv(fd, &r, sizeof r, 0) == ssize_t(sizeof r)) {
            // A send may take long: it is answered from a thread of its own,
            // so finds and posts from other programs are not held up; a few
            // at a time, so a flood of requests cannot make threads without end.
            static std::atomic<int> busy{0};
            if (busy.fetch_add(1) < kMaxBusy) {
                std::thread([fd, r]() mutable {
                    const Reply reply{carryOut(r)};
                    ::send(fd, &reply, sizeof reply, MSG_NOSIGNAL);
                    ::close(fd);
                    --busy;
                }).detach();
                continue;
            }
            --busy;
        }
        ::close(fd);
    }
}

}  // namespace

namespace plat::detail {

int processSlot() {
    static const int slot = bindSlot();
    return slot;
}

void startRemoteListener() {
    static std::once_flag once;
    if (processSlot() == 0) return;
    std::call_once(once, [] { std::thread(serveRequests).detach(); });
}

bool isRemote(HWND hwnd) {
    const int slot = slotOf(hwnd);
    return slot >= 1 && slot <= kSlots && slot != processSlot();
}

HWND newHandleLocked() {
    State& s = state();
    const HWND base = HWND(processSlot()) << 24;
    // Each program counts from its own random start, so a handle kept after
    // its program ended hardly ever names a window of the next program that
    // takes the slot.
    static bool seeded = false;
    if (!seeded && base) {
        seeded = true;
        // getrandom: std::random_device asks the processor first, which a
        // virtual machine makes slow for every program's start.
        uint32_t start = 0;
        if (getrandom(&start, sizeof start, GRND_NONBLOCK) != ssize_t(sizeof start))
            start = uint32_t(std::chrono::steady_clock::now().time_since_epoch().count() ^ getpid());
        s.nextHandle = HWND(start) & 0xFFFFFFu;
    }
    for (;;) {
        const HWND low = s.nextHandle++ & 0xFFFFFFu;
        const HWND hwnd = base | low;
        if (low <= HWND_BOTTOM || hwnd >= kDesktopHandle || s.windows.count(hwnd)) continue;
        return hwnd;
    }
}

HWND remoteFind(const char16_t* className, const char16_t* windowName) {
    Request r{};
    r.op = kFind;
    r.flags = (className ? 1u : 0u) | (windowName ? 2u : 0u);
    copyName(r.cls, className);
    copyName(r.title, windowName);
    const std::bitset<kSlots + 1> bound = boundSlots();
    for (int slot = 1; slot <= kSlots; ++slot) {
        if (slot == processSlot() || !bound[size_t(slot)]) continue;
        Reply reply{};
        if (ask(slot, r, &reply) && reply.result && slotOf(HWND(reply.result)) == slot) return HWND(reply.result);
    }
    return 0;
}

bool remoteCall(RemoteOp op, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (!isRemote(hwnd)) return false;
    Request r{};
    r.op = op == RemoteOp::kPost ? kPost : op == RemoteOp::kSend ? kSend : op == RemoteOp::kShow ? kShow
         : op == RemoteOp::kForeground ? kForeground : op == RemoteOp::kOwner ? kOwner : kExists;
    r.hwnd = hwnd;
    r.msg = msg;
    r.wParam = uint64_t(wParam);
    r.lParam = int64_t(lParam);
    Reply reply{};
    if (!ask(slotOf(hwnd), r, &reply)) return false;
    *result = LRESULT(reply.result);
    return true;
}

}  // namespace plat::detail
