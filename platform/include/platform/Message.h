// Window messages: our own message layer, plain C++, Windows semantics and
// message numbers (the host sends and reads them).
//
// - A window is a handle from a table with a procedure; it belongs to the
//   thread that created it.
// - Every thread has its own queue. PostMessage works from any thread.
//   SendMessage calls the procedure directly on the owner thread (re-entrant)
//   and blocks across threads until the owner thread has handled it (the
//   owner handles sent messages whenever it waits in or peeks its queue).
// - Timers are produced by the queue as WM_TIMER when they are due (by
//   GetTickCount of Clock.h), so a pump that drops WM_TIMER drops them.
// - A queue hands out posted messages in order, then device input
//   (Input.h), then WM_QUIT, then WM_PAINT (Window.h), then due timers.
// - When a thread ends, its windows go and senders waiting on it get 0.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/WinConst.h"
#include "platform/WinTypes.h"

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
};

using WindowProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// Creates a message-only window (no class, never shown, not found by
// FindWindow) owned by the calling thread; 0 when the table is full.
HWND CreateMessageWindow(WindowProc proc);
// Removes the window and its children (Window.h gives the order of
// WM_DESTROY and WM_NCDESTROY); their queued messages and timers go with
// them. Owner thread only. The procedure and its captures are released after
// the layer's lock is, so they may call the layer.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
// Calls the window's procedure as a message would.
LRESULT CallWindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// 0 when the window does not exist.
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// FALSE when the window does not exist or its queue is full (10000
// messages). A hwnd of 0 posts to the calling thread's queue (a thread
// message).
BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

// Timer ids are per window; setting an existing id restarts it. Returns the id, 0 on failure.
// hwnd 0 makes a timer of the calling thread (WM_TIMER with hwnd 0); id 0
// picks an unused id. Periods below 10 ms count as 10 ms. A timer is due when
// its period has passed since it was set or its last WM_TIMER was removed.
UINT SetTimer(HWND hwnd, UINT id, UINT elapseMs);
BOOL KillTimer(HWND hwnd, UINT id);

// hwnd 0: any message of the thread; min = max = 0: any message number.
// WM_QUIT is returned whatever the filter. Sent messages from other threads
// are handled first.
BOOL PeekMessage(MSG* msg, HWND hwnd, UINT msgMin, UINT msgMax, UINT removeFlags);
// Waits; FALSE when the message is WM_QUIT, -1 on an invalid window or one
// of another thread.
BOOL GetMessage(MSG* msg, HWND hwnd, UINT msgMin, UINT msgMax);
// Whoever turns input into messages posts WM_CHAR along with the key
// messages, so this does nothing and returns FALSE.
BOOL TranslateMessage(const MSG* msg);
// Calls the window's procedure (WM_TIMER: wParam is the timer id); 0 for a
// thread message.
LRESULT DispatchMessage(const MSG* msg);
// Waits until the calling thread's queue has a message (or a sent message was
// handled, or a timer is due), at most timeoutMs (-1: forever). TRUE when
// something arrived or was already waiting.
BOOL WaitMessageTimeout(int timeoutMs);
// The key's state as the calling thread's key messages left it: the high bit
// set while it is down (as taken from the queue).
SHORT GetKeyState(int virtualKey);

namespace plat::messages {

// A window that one caller sends many messages to from the thread that owns
// it (the session core to its control window). Send is SendMessage; the
// window's procedure is looked up once and kept while no window has gone and
// no procedure has changed since, so the common send takes neither the
// layer's lock nor its table lookup.
class WindowSender {
public:
    explicit WindowSender(HWND hwnd = 0) : m_hwnd(hwnd) {}
    HWND Handle() const { return m_hwnd; }
    LRESULT Send(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    HWND m_hwnd;
    std::shared_ptr<const WindowProc> m_proc;
    const void* m_owner = nullptr;  // the owner's queue when m_proc was taken
    uint64_t m_generation = 0;
};

// Called once, on this thread, the next time it looks at its messages
// (PeekMessage, GetMessage, WaitMessageTimeout), before anything is taken:
// a window that puts off showing a change until a call returns brings it up
// to date before a message could show it. Per thread; a null hook is none.
// The slot is cleared before its hook runs. The calling thread's slot stays
// where it is while the thread lives, so a window may keep its address and
// set it with two stores.
struct BeforeMessages {
    void (*hook)(void* context) = nullptr;
    void* context = nullptr;
};
BeforeMessages& ThreadBeforeMessages();

// On the GUI thread: called while the thread waits for messages, with the
// longest time it may take (-1: no limit), so Qt can process its own events.
// Null removes it. Set per thread. When the thread has a wake descriptor
// (below), the hook must return once that descriptor is readable; without
// one the time given is at most 10 ms, so a message posted from another
// thread is picked up within that even when the hook blocks.
void SetMessageWaitHook(std::function<void(int maxWaitMs)> hook);
// On the thread of a wait hook: answers whether what runs now returns to
// that hook's wait with nothing in between (no loop of its own), so the
// wait looks at the queue right after. Messages the thread posts to itself
// then leave its wake descriptor alone. Null (the default): always false.
void SetWaitReturnsHook(bool (*returns)());

// On a thread with a wake descriptor (the GUI thread): called while the
// thread waits for the answer to a message it sent to another thread, so the
// display keeps running. It must return once the wake descriptor is readable
// (the answer makes it so) and must not serve the queue; it answers false
// when it cannot run now, and the thread then simply waits. Set per thread.
void SetSendWaitHook(std::function<bool()> hook);

// Asynchronous selection of a socket, as the platform's sockets offer it:
// once fd is readable (data, the peer's close or an error) msg is posted to
// hwnd with the descriptor as wParam, and the watch ends; calling again arms
// it again. The calling thread's own wait watches the descriptor, so only a
// thread whose wait runs an outside event loop (the GUI thread under Qt) can
// watch: FALSE elsewhere, and the caller keeps polling. A watched descriptor
// is unwatched before it is closed.
BOOL PostWhenReadable(int fd, HWND hwnd, UINT msg);
// The same once fd takes more bytes (or has failed): a sender whose bytes
// wait for the peer sends on at once, not at its next timer. Armed apart
// from a read watch on the same descriptor.
BOOL PostWhenWritable(int fd, HWND hwnd, UINT msg);
// Ends both watches of fd.
void StopWatching(int fd);
// For the outside event loop: how it arms a watch (for writing when write
// is true) and ends both on its thread. Null functions remove them. Set per
// thread.
void SetSocketWatcher(std::function<bool(int fd, bool write, HWND hwnd, UINT msg)> watch,
                      std::function<void(int fd)> stop);
// For the outside event loop: called (outside the layer's lock) before this
// thread's GetMessage or PeekMessage takes a WM_PAINT, WM_TIMER or WM_QUIT,
// to post what watched descriptors have ready now. The notice of a socket
// that was readable before the paint was asked for then comes first, as a
// posted message does. Null removes it. Set per thread.
void SetReadyCheck(void (*check)());

// An eventfd of the calling thread's queue, readable whenever something may
// have arrived (a post, a send, a new timer, a quit); created on the first
// call and closed when the thread ends. The reader drains it with
// DrainQueueWakeFd, then looks at the queue.
int GetQueueWakeFd();
void DrainQueueWakeFd();
// For an event loop that serves the queue: 0 when the calling thread has a
// message to fetch or a sent message waiting, else the milliseconds until
// its next timer is due, -1 when nothing is scheduled.
int NextMessageTimeoutMs();
// Handles the messages other threads sent to the calling thread (as
// PeekMessage does first). TRUE when any was handled.
BOOL HandleSentMessages();
}  // namespace plat::messages
