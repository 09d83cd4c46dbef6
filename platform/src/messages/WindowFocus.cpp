// Focus, activation, capture, the foreground window and the cursor: the
// input state of each thread.
#include <algorithm>
#include <utility>

#include "WindowModel.h"
#include "platform/Window.h"

using namespace plat::detail;
using namespace plat::window;

// ---- enabled state ----

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    bool wasDisabled;
    {
        std::lock_guard lock(state().mutex);
        Window* w = findWindow(hwnd);
        if (!w) return FALSE;
        wasDisabled = (w->style & WS_DISABLED) != 0;
        if (wasDisabled == !enable) return wasDisabled ? TRUE : FALSE;
        if (enable)
            w->style &= ~WS_DISABLED;
        else
            w->style |= WS_DISABLED;
    }
    if (!enable && GetFocus() == hwnd) SetFocus(0);
    call(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    notify(hwnd, kWindowShown);
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

// ---- input state ----

HWND plat::window::GetThreadFocus(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    return w ? w->owner->focus : 0;
}

HWND plat::window::GetThreadCapture(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    return w ? w->owner->capture : 0;
}

HWND SetFocus(HWND hwnd) {
    const std::shared_ptr<Queue>& q = myQueue();
    HWND top = 0;
    {
        std::lock_guard lock(state().mutex);
        if (hwnd) {
            const Window* w = findWindow(hwnd);
            if (!w || w->owner != q || w->messageOnly || w->destroying) return 0;
            if (q->focus == hwnd) return hwnd;
            top = hwnd;
            while (const Window* x = findWindow(top)) {
                if (!x->parent) break;
                top = x->parent;
            }
        }
    }
    if (top && GetActiveWindow() != top) SetActiveWindow(top);
    HWND old;
    {
        std::lock_guard lock(state().mutex);
        if (hwnd && !findWindow(hwnd)) return 0;
        old = std::exchange(q->focus, hwnd);
    }
    if (old == hwnd) return old;
    if (old && IsWindow(old)) call(old, WM_KILLFOCUS, WPARAM(hwnd), 0);
    if (hwnd && GetFocus() == hwnd) call(hwnd, WM_SETFOCUS, WPARAM(old), 0);
    if (old) notify(old, kWindowFocus);
    if (hwnd) notify(hwnd, kWindowFocus);
    return old;
}

HWND GetFocus() {
    const std::shared_ptr<Queue>& q = myQueue();
    std::lock_guard lock(state().mutex);
    return q->focus;
}

HWND plat::detail::activateWindow(HWND hwnd, WPARAM how) {
    const std::shared_ptr<Queue>& q = myQueue();
    HWND old;
    {
        std::lock_guard lock(state().mutex);
        if (hwnd) {
            const Window* w = findWindow(hwnd);
            if (!w || w->owner != q || w->parent || w->messageOnly) return 0;
        }
        old = q->active;
        if (old == hwnd) return old;
        q->active = hwnd;
        if (hwnd) state().foreground = hwnd;
    }
    // A click raises what it activates.
    if (hwnd && how == WA_CLICKACTIVE) SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (old && IsWindow(old)) call(old, WM_ACTIVATE, WA_INACTIVE, LPARAM(hwnd));
    if (hwnd) call(hwnd, WM_ACTIVATE, how, LPARAM(old));
    if (hwnd) notify(hwnd, kWindowFocus);
    return old;
}

HWND SetActiveWindow(HWND hwnd) { return activateWindow(hwnd, WA_ACTIVE); }

HWND GetActiveWindow() {
    const std::shared_ptr<Queue>& q = myQueue();
    std::lock_guard lock(state().mutex);
    return q->active;
}

HWND SetCapture(HWND hwnd) {
    const std::shared_ptr<Queue>& q = myQueue();
    HWND old;
    {
        std::lock_guard lock(state().mutex);
        const Window* w = findWindow(hwnd);
        if (!w || w->owner != q) return 0;
        old = std::exchange(q->capture, hwnd);
    }
    if (old && old != hwnd) call(old, WM_CAPTURECHANGED, 0, LPARAM(hwnd));
    return old;
}

BOOL ReleaseCapture() {
    const std::shared_ptr<Queue>& q = myQueue();
    HWND old;
    {
        std::lock_guard lock(state().mutex);
        old = std::exchange(q->capture, 0);
    }
    if (old) call(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() {
    const std::shared_ptr<Queue>& q = myQueue();
    std::lock_guard lock(state().mutex);
    return q->capture;
}

BOOL SetForegroundWindow(HWND hwnd) {
    if (LRESULT done = FALSE; remoteCall(RemoteOp::kForeground, hwnd, 0, 0, 0, &done)) return done ? TRUE : FALSE;
    const HWND top = GetAncestor(hwnd, GA_ROOT);
    if (!top) return FALSE;
    {
        std::lock_guard lock(state().mutex);
        Window* w = findWindow(top);
        if (!w || w->messageOnly) return FALSE;
        state().foreground = top;
        if (w->owner != myQueue()) {
            // The owner thread activates it when it next looks at its queue.
            runOnOwnerLocked(*w->owner, [top] { SetActiveWindow(top); });
            return TRUE;
        }
    }
    SetActiveWindow(top);
    BringWindowToTop(top);
    return TRUE;
}

HWND GetForegroundWindow() {
    std::lock_guard lock(state().mutex);
    return state().foreground;
}
// ---- cursor ----

HCURSOR LoadCursor(HINSTANCE, HCURSOR id) { return id; }

HCURSOR SetCursor(HCURSOR cursor) {
    const HCURSOR old = state().cursor.exchange(cursor);
    if (old != cursor) notify(0, kWindowCursor);
    return old;
}

HCURSOR GetCursor() {
    return state().cursor.load();
}
