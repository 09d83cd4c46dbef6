// The backend of the window layer and the one event loop of the GUI thread:
// the layer's changes reach the widgets (Widgets.h), our queue and Qt's loop
// serve each other. See QtHost.h for the design.
#include "platform/QtHost.h"

#include <algorithm>
#include <chrono>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <QEventLoop>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSocketNotifier>
#include <QThread>
#include <QWidget>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Input.h"
#include "platform/Message.h"

#include "Drawing.h"
#include "MessageBoxes.h"
#include "Surfaces.h"
#include "Widgets.h"

namespace {

using namespace plat::window;
using namespace plat::qt::detail;

// ---- the backend and the event loop ----

struct Host {
    QObject* gui = nullptr;  // lives on the GUI thread; queued calls go through it
    Widgets widgets;
    QSocketNotifier* wakeNotifier = nullptr;
    QSocketNotifier* timerNotifier = nullptr;
    int timerFd = -1;
    // When the timer descriptor fires; max: disarmed. Arming it again for the
    // same moment is skipped, so a round trip makes no timer system call.
    std::chrono::steady_clock::time_point armedFor = std::chrono::steady_clock::time_point::max();
    bool inWait = false;
    int waitLevel = 0;
    bool asleep = false;       // in Sleep: Qt runs, our queue is not served
    int syncing = 0;           // inside flush
    bool wokeAsleep = false;   // something arrived meanwhile

    // Descriptors watched for the program's sockets (PostWhenReadable,
    // PostWhenWritable): a notifier each way, enabled while its watch is armed.
    struct Side {
        QSocketNotifier* notifier = nullptr;
        HWND hwnd = 0;
        UINT msg = 0;
        // Posts when ready. The notifier stays enabled after it posted
        // (enabling and disabling it wakes glib's loop each time) and is
        // disabled only when it fires again unarmed.
        bool armed = false;
    };
    struct Watch {
        Side read, write;
    };
    std::unordered_map<int, Watch> watches;

    FontCache fonts;    // GUI thread only
    ShapeCache shapes;  // GUI thread only

    std::mutex pendingMutex;
    std::unordered_map<HWND, unsigned> pending;  // guarded by pendingMutex
    bool flushScheduled = false;                 // guarded by pendingMutex
};

Host* g_host = nullptr;  // GUI thread; set while attached

void flush() {
    if (!g_host) return;
    std::unordered_map<HWND, unsigned> work;
    {
        std::lock_guard lock(g_host->pendingMutex);
        work.swap(g_host->pending);
        g_host->flushScheduled = false;
    }
    // Parents before children: lower handles first is not enough, so make
    // sure each widget's parent exists (ensure does) and apply in any order.
    ++g_host->syncing;
    g_host->widgets.BeginBatch();
    for (const auto& [h, what] : work) g_host->widgets.Sync(h, what);
    g_host->widgets.EndBatch();
    --g_host->syncing;
}

class QtBackend final : public WindowBackend {
public:
    void Notify(HWND hwnd, unsigned what) override {
        Host* host = g_host;
        if (!host) return;
        bool schedule;
        {
            std::lock_guard lock(host->pendingMutex);
            host->pending[hwnd] |= what;
            schedule = !std::exchange(host->flushScheduled, true);
        }
        if (schedule) QMetaObject::invokeMethod(host->gui, &flush, Qt::QueuedConnection);
    }
    HDC CreateDC(HWND hwnd) override { return NewContext(hwnd); }
};

void armTimer(int ms) {
    if (!g_host || g_host->timerFd < 0) return;
    using Clock = std::chrono::steady_clock;
    const auto when = ms < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(ms);
    const auto armed = g_host->armedFor;
    if (ms < 0 ? armed == Clock::time_point::max()
               : armed != Clock::time_point::max() && ms > 0 && when >= armed && when - armed < std::chrono::milliseconds(1))
        return;
    g_host->armedFor = when;
    itimerspec spec{};
    if (ms == 0) spec.it_value.tv_nsec = 1;  // due now
    else if (ms > 0) {
        spec.it_value.tv_sec = ms / 1000;
        spec.it_value.tv_nsec = long(ms % 1000) * 1000000L;
    }
    timerfd_settime(g_host->timerFd, 0, &spec, nullptr);  // ms < 0: disarmed
}

// While a Qt loop runs instead of our GetMessage, serve our queue as a
// Windows modal loop would. WM_QUIT stays queued for our own loop.
bool insideOurWait();

void serve() {
    if (!g_host || g_host->asleep || insideOurWait()) return;
    plat::messages::HandleSentMessages();
    MSG m;
    for (int n = 0; n < 1000; ++n) {
        if (!PeekMessage(&m, 0, 0, 0, PM_NOREMOVE) || m.message == WM_QUIT) break;
        if (!PeekMessage(&m, 0, 0, 0, PM_REMOVE)) break;
        DispatchMessage(&m);
        if (n == 999 && g_host) QMetaObject::invokeMethod(g_host->gui, &serve, Qt::QueuedConnection);  // let Qt breathe
    }
    const int next = plat::messages::NextMessageTimeoutMs();
    armTimer(next > 0 ? next : -1);
}

bool insideOurWait() {
    return g_host && g_host->inWait && QThread::currentThread()->loopLevel() == g_host->waitLevel;
}

void onWake() {
    plat::messages::DrainQueueWakeFd();
    if (g_host && g_host->asleep) g_host->wokeAsleep = true;
    serve();
}

void onTimer() {
    if (!g_host) return;
    uint64_t expirations;
    [[maybe_unused]] const ssize_t n = ::read(g_host->timerFd, &expirations, sizeof expirations);
    g_host->armedFor = std::chrono::steady_clock::time_point::max();  // a one-shot: spent
    serve();
}

// Sleep on the GUI thread: Qt keeps showing and painting the windows of
// other threads and takes input for the layer, but nothing of this thread's
// queue runs; what arrived is served once the program is back in a loop.
void sleepHook(int ms) {
    if (!g_host) return;
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    const bool saved = std::exchange(g_host->asleep, true);
    for (auto now = Clock::now(); g_host && now < end; now = Clock::now()) {
        armTimer(std::max(1, int(std::chrono::ceil<std::chrono::milliseconds>(end - now).count())));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    if (!g_host) return;
    g_host->asleep = saved;
    if (saved) return;
    const int next = plat::messages::NextMessageTimeoutMs();
    armTimer(next >= 0 ? next : -1);
    if (std::exchange(g_host->wokeAsleep, false) || next == 0)
        QMetaObject::invokeMethod(g_host->gui, &serve, Qt::QueuedConnection);
}

// SendMessage from the GUI thread to a busy thread: Qt keeps showing the
// windows of the other threads; nothing of this thread's queue runs.
// Not while the widgets are being brought up to date: they read windows of
// other threads, and Qt's events must not change them underneath.
bool sendWaitHook() {
    if (!g_host || g_host->syncing) return false;
    const bool saved = std::exchange(g_host->asleep, true);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (g_host) g_host->asleep = saved;
    return true;
}

void waitHook(int maxWaitMs) {
    if (!g_host) return;
    armTimer(maxWaitMs);
    const bool savedWait = std::exchange(g_host->inWait, true);
    const int savedLevel = std::exchange(g_host->waitLevel, QThread::currentThread()->loopLevel());
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (!g_host) return;
    g_host->inWait = savedWait;
    g_host->waitLevel = savedLevel;
}

// A socket's readiness as a posted message, once per arming: the notifier
// only posts; the program's own loop runs what the message asks for.
bool watchSocket(int fd, bool write, HWND hwnd, UINT msg) {
    if (!g_host) return false;
    Host::Side& side = write ? g_host->watches[fd].write : g_host->watches[fd].read;
    side.hwnd = hwnd;
    side.msg = msg;
    if (!side.notifier) {
        side.notifier = new QSocketNotifier(fd, write ? QSocketNotifier::Write : QSocketNotifier::Read, g_host->gui);
        QObject::connect(side.notifier, &QSocketNotifier::activated, g_host->gui, [fd, write] {
            if (!g_host) return;
            const auto it = g_host->watches.find(fd);
            if (it == g_host->watches.end()) return;
            Host::Side& s = write ? it->second.write : it->second.read;
            if (!std::exchange(s.armed, false)) {
                s.notifier->setEnabled(false);
                return;
            }
            PostMessage(s.hwnd, s.msg, WPARAM(fd), 0);
        });
    }
    side.armed = true;
    if (!side.notifier->isEnabled()) side.notifier->setEnabled(true);
    return true;
}

// Before a paint or a timer: what the armed watches have ready now is posted
// at once, as their notifiers would when the loop next looks.
void postReady() {
    if (!g_host || g_host->watches.empty()) return;
    std::vector<pollfd> armed;
    for (const auto& [fd, w] : g_host->watches) {
        const short events = short((w.read.armed ? POLLIN : 0) | (w.write.armed ? POLLOUT : 0));
        if (events) armed.push_back(pollfd{fd, events, 0});
    }
    if (armed.empty() || ::poll(armed.data(), armed.size(), 0) <= 0) return;
    for (const pollfd& p : armed) {
        const bool failed = (p.revents & (POLLHUP | POLLERR)) != 0;
        for (const bool write : {false, true}) {
            if (!failed && !(p.revents & (write ? POLLOUT : POLLIN))) continue;
            const auto it = g_host->watches.find(p.fd);
            if (it == g_host->watches.end()) break;
            Host::Side& side = write ? it->second.write : it->second.read;
            if (std::exchange(side.armed, false)) PostMessage(side.hwnd, side.msg, WPARAM(p.fd), 0);
        }
    }
}

void stopWatching(int fd) {
    if (!g_host) return;
    const auto it = g_host->watches.find(fd);
    if (it == g_host->watches.end()) return;
    delete it->second.read.notifier;
    delete it->second.write.notifier;
    g_host->watches.erase(it);
}

}  // namespace

FontCache* plat::qt::detail::guiFonts() {
    Host* host = g_host;
    return host && QThread::currentThread() == host->gui->thread() ? &host->fonts : nullptr;
}

ShapeCache* plat::qt::detail::guiShapes() {
    Host* host = g_host;
    return host && QThread::currentThread() == host->gui->thread() ? &host->shapes : nullptr;
}

QObject* plat::qt::detail::GuiObject() { return g_host ? g_host->gui : nullptr; }

QWidget* plat::qt::detail::DeviceScreen() { return g_host ? g_host->widgets.Screen() : nullptr; }

void plat::qt::AttachQtEventLoop() {
    if (g_host || !QCoreApplication::instance()) return;
    g_host = new Host;
    g_host->gui = new QObject;
    const int wakeFd = plat::messages::GetQueueWakeFd();
    g_host->wakeNotifier = new QSocketNotifier(wakeFd, QSocketNotifier::Read, g_host->gui);
    QObject::connect(g_host->wakeNotifier, &QSocketNotifier::activated, g_host->gui, [] { onWake(); });
    g_host->timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (g_host->timerFd >= 0) {
        g_host->timerNotifier = new QSocketNotifier(g_host->timerFd, QSocketNotifier::Read, g_host->gui);
        QObject::connect(g_host->timerNotifier, &QSocketNotifier::activated, g_host->gui, [] { onTimer(); });
    }
    plat::messages::SetMessageWaitHook(&waitHook);
    plat::input::SetSleepHook(&sleepHook);
    plat::messages::SetSendWaitHook(&sendWaitHook);
    plat::messages::SetWaitReturnsHook(&insideOurWait);
    plat::messages::SetSocketWatcher(&watchSocket, &stopWatching);
    plat::messages::SetReadyCheck(&postReady);
    SetWindowBackend(std::make_shared<QtBackend>());
    // A presenter installed before (a test's) stays.
    if (plat::msgbox::IPresenter* theirs = plat::msgbox::SetPresenter(&DevicePresenter())) plat::msgbox::SetPresenter(theirs);
    // Windows that exist already get their widgets.
    for (HWND h = GetTopWindow(0); h; h = GetWindow(h, GW_HWNDNEXT)) {
        std::vector<HWND> stack{h};
        while (!stack.empty()) {
            const HWND x = stack.back();
            stack.pop_back();
            g_host->widgets.Sync(x, kWindowCreated);
            for (HWND c = GetWindow(x, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) stack.push_back(c);
        }
    }
    const int next = plat::messages::NextMessageTimeoutMs();
    armTimer(next >= 0 ? next : -1);
}

void plat::qt::DetachQtEventLoop() {
    if (!g_host) return;
    SetWindowBackend(nullptr);
    plat::messages::SetMessageWaitHook(nullptr);
    plat::input::SetSleepHook(nullptr);
    plat::messages::SetSendWaitHook(nullptr);
    plat::messages::SetWaitReturnsHook(nullptr);
    plat::messages::SetSocketWatcher(nullptr, nullptr);
    plat::messages::SetReadyCheck(nullptr);
    plat::msgbox::IPresenter* current = plat::msgbox::SetPresenter(nullptr);
    if (current != &DevicePresenter()) plat::msgbox::SetPresenter(current);
    Host* host = std::exchange(g_host, nullptr);
    host->widgets.Clear();
    delete host->gui;  // the notifiers with it
    if (host->timerFd >= 0) ::close(host->timerFd);
    surfaces().Clear();
    delete host;
}

QWidget* plat::qt::WidgetOf(HWND hwnd) { return g_host ? g_host->widgets.WidgetOf(hwnd) : nullptr; }

void plat::qt::SyncWidgets() { flush(); }

QImage plat::qt::RenderWindow(HWND hwnd) {
    flush();
    if (!g_host || !hwnd || !IsWindow(hwnd) || IsMessageOnlyWindow(hwnd)) return QImage();
    if (!GetAncestor(hwnd, GA_PARENT)) {
        QWidget* w = g_host->widgets.Find(hwnd);
        return w ? w->grab().toImage() : QImage();
    }
    // A child as its top-level window draws it, on clear pixels.
    RECT r{};
    GetWindowRect(hwnd, &r);
    const QRect box(0, 0, r.right - r.left, r.bottom - r.top);
    if (box.isEmpty()) return QImage();
    QImage image(box.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    drawSurface(p, hwnd, QPoint(0, 0), box);
    drawChildren(p, hwnd, QPoint(r.left, r.top), box);
    p.end();
    return image;
}
