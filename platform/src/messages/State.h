// Shared state of the message and window layer (internal). One lock guards
// the window table, the classes and every queue; each queue has its own
// condition variable on that lock, so a wake-up can never slip between a
// thread's last look at its queue and its wait.
//
// Lock discipline: no caller code runs under the lock. Window procedures are
// called with the lock released, and anything that may own caller state (a
// procedure's captures) is moved into a Graveyard and destroyed after the
// lock is released.
#pragma once

#include <atomic>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Window.h"

namespace plat::detail {

struct Queue;
using Proc = std::shared_ptr<const WindowProc>;

// Runs a window procedure or a task sent to this thread. Their exceptions stop
// here: written to standard error, and the message answers 0.
LRESULT callProc(const Proc& proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void runTask(const std::function<void()>& task);

struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    std::atomic<bool> done{false};  // set under the lock; the sender may read it without
    std::shared_ptr<Queue> sender;  // null: nobody waits for the answer
    std::function<void()> task;     // run on the owner thread instead of a procedure
};

struct Timer {
    HWND hwnd;
    UINT id;
    UINT elapse;
    DWORD start;
};

// A tap or a key from the device, waiting in the queue of the thread it was
// routed to. Its window is decided when the thread reads it: a key goes to
// the focus of that moment, a tap to the window the hit test then finds.
struct InputEvent {
    MSG msg;                 // hwnd: the top-level window under a tap; 0 for a key
    POINT screen{};          // taps: where, in screen coordinates
    bool routed = false;     // taps: msg holds the window and client coordinates
    std::u16string text;     // keys going down: the characters they type
};

// What a thread waiting for the answer to its send sleeps on, without the
// lock: a counter bumped on every wake of its queue and on each answer, with
// a futex under it (no spinning, no system call when nobody sleeps).
struct SendSignal {
    std::atomic<uint32_t> value{0};
    std::atomic<uint32_t> sleepers{0};
    void Bump();
    void Wait(uint32_t seen);  // returns once value is no longer seen (or spuriously)
};

struct Queue {
    std::condition_variable cv;
    std::deque<MSG> posted;
    std::deque<InputEvent> input;  // after the posted messages, as Windows reads them
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::vector<Timer> timers;
    std::vector<HWND> dirty;  // windows with an update region, oldest first
    bool quit = false;
    int quitCode = 0;
    bool dead = false;    // the owner thread has ended
    uint64_t events = 0;  // bumped on everything that may end a wait
    // Bumped on every wake and when a message this thread sent is answered:
    // a thread waiting for its send's answer sleeps on it without the lock.
    SendSignal sendSignal;
    int wakeFd = -1;      // eventfd written on every wake, when the thread asked for one
    bool fdSignalled = false;  // written and not yet drained: later wakes need no write
    // The thread's input state.
    HWND focus = 0;
    HWND active = 0;
    HWND capture = 0;
    DWORD threadId = 0;

    void wake();
};

struct WindowClass {
    std::u16string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int clsExtra = 0;
    int wndExtra = 0;
    HBRUSH background = 0;
    HCURSOR cursor = 0;
};

struct Window {
    std::shared_ptr<Queue> owner;
    Proc proc;                  // what messages call
    WNDPROC wndproc = nullptr;  // the plain procedure behind proc, when it is one
    std::shared_ptr<const WindowClass> cls;
    std::u16string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = 0;      // child windows: the parent
    HWND ownerWnd = 0;    // top-level windows: the owner
    std::vector<HWND> children;  // z-order, top first
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    std::vector<uint8_t> extra;
    RECT rect{};          // in the parent's client coordinates (the screen for top-level windows)
    RECT update{};
    bool hasUpdate = false;
    bool erase = false;
    uint64_t repaintAsks = 0;  // every call that asked for a repaint, whatever it added
    bool messageOnly = false;
    bool destroying = false;
    HFONT font = 0;
    std::vector<std::pair<std::u16string, HANDLE>> props;  // SetProp: folded names
};

struct State {
    std::mutex mutex;
    std::unordered_map<HWND, Window> windows;  // erased only through eraseWindow
    // The window findWindow found last: most calls in a row are about one.
    // Elements of the map stay put as it grows; eraseWindow forgets it.
    HWND lastFound = 0;
    Window* lastWindow = nullptr;
    std::unordered_map<HWND, Window>::iterator eraseWindow(std::unordered_map<HWND, Window>::iterator it) {
        if (it->first == lastFound) lastFound = 0;
        return windows.erase(it);
    }
    // Bumped (under the lock) whenever a window goes or its procedure
    // changes, so a plat::messages::WindowSender knows to look it up again.
    std::atomic<uint64_t> generation{0};
    std::vector<HWND> topLevels;  // z-order, top first
    std::unordered_map<std::u16string, std::shared_ptr<const WindowClass>> classes;  // by folded name
    HWND nextHandle = 1;
    HWND foreground = 0;
    std::atomic<HCURSOR> cursor{0};  // set with every busy status: no lock
    
};

// Never destroyed: threads may still use it while the process exits.
State& state();
const std::shared_ptr<Queue>& myQueue();
Window* findWindow(HWND hwnd);  // lock held

// Owns what must be released only after the lock is: procedures and their
// captured state.
struct Graveyard {
    std::vector<Proc> procs;
    std::vector<std::shared_ptr<const WindowClass>> classes;
};

// Notifications for the backend, collected under the lock and delivered after.
struct Changes {
    std::vector<std::pair<HWND, unsigned>> items;
    void add(HWND hwnd, unsigned what) { items.emplace_back(hwnd, what); }
    void deliver();  // lock not held
};

void wakeLocked(Queue& q);
// Runs task on the queue's thread the next time it looks at its queue.
void runOnOwnerLocked(Queue& q, std::function<void()> task);
void markDirty(Window& w, HWND hwnd, const RECT* r, bool erase);  // lock held
bool visibleLocked(HWND hwnd);                                    // lock held
// Finds the windows of the queue's unrouted taps (Input.cpp); the lock is
// released while the windows are asked.
void routeInput(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Queue>& q);

// Windows of other processes of the device root (Remote.cpp). Handles carry
// the owning process's slot in their top byte.
HWND newHandleLocked();     // lock held: a fresh handle of this process
int processSlot();          // 0: none, the windows are this process's only
void startRemoteListener();  // other processes can reach this one's windows
bool isRemote(HWND hwnd);   // a handle of another process's slot
HWND remoteFind(const char16_t* className, const char16_t* windowName);
HWND findTopLevel(const char16_t* className, const char16_t* windowName);  // this process's
enum class RemoteOp { kPost, kSend, kShow, kForeground, kExists, kOwner };
// Integer arguments only; false when the window's process is not there.
bool remoteCall(RemoteOp op, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);

}  // namespace plat::detail
