// Geometry, z-order and visibility: where a window stands, which sibling it
// stands above, and whether it is shown.
#include <algorithm>
#include <utility>

#include "WindowModel.h"
#include "platform/Screen.h"
#include "platform/Window.h"

using namespace plat::detail;
using namespace plat::window;

namespace plat::detail {

std::vector<HWND>* siblingsOf(const Window& w) {
    if (w.messageOnly) return nullptr;
    if (w.parent) {
        Window* p = findWindow(w.parent);
        return p ? &p->children : nullptr;
    }
    return &state().topLevels;
}

namespace {

// Owned windows stand above their owner: hwnd no lower than its owner, and
// the windows it owns (and theirs) moved just above it, in their order, when
// they stand in the same band (top-most or not). Lock held.
template <class TopMost>
void keepOwnedAbove(std::vector<HWND>& list, HWND hwnd, const TopMost& topmost) {
    const Window* w = findWindow(hwnd);
    if (!w) return;
    auto me = std::find(list.begin(), list.end(), hwnd);
    const auto owner = std::find(list.begin(), list.end(), w->ownerWnd);
    if (w->ownerWnd && owner != list.end() && owner < me && topmost(w->ownerWnd) == topmost(hwnd)) {
        list.erase(me);
        me = list.insert(std::find(list.begin(), list.end(), w->ownerWnd), hwnd);
    }
    std::vector<HWND> owned;
    for (HWND h : list) {
        const Window* o = findWindow(h);
        if (o && o->ownerWnd == hwnd && topmost(h) == topmost(hwnd)) owned.push_back(h);
    }
    for (HWND o : owned) std::erase(list, o);
    list.insert(std::find(list.begin(), list.end(), hwnd), owned.begin(), owned.end());
    for (HWND o : owned) keepOwnedAbove(list, o, topmost);
}

}  // namespace

void placeInZ(std::vector<HWND>& list, HWND hwnd, HWND after) {
    std::erase(list, hwnd);
    const auto topmost = [](HWND h) {
        const Window* w = findWindow(h);
        return w && !w->parent && (w->exStyle & WS_EX_TOPMOST);
    };
    const bool mine = topmost(hwnd);
    // The band the window may stand in.
    auto first = list.begin();
    if (!mine) first = std::find_if_not(list.begin(), list.end(), topmost);
    auto last = mine ? std::find_if_not(list.begin(), list.end(), topmost) : list.end();
    auto at = first;
    if (after == HWND_BOTTOM) {
        at = last;
    } else if (after != HWND_TOP && after != HWND_TOPMOST && after != HWND_NOTOPMOST) {
        auto it = std::find(list.begin(), list.end(), after);
        if (it != list.end()) at = std::clamp(it + 1, first, last);
    }
    list.insert(at, hwnd);
    if (&list == &state().topLevels) keepOwnedAbove(list, hwnd, topmost);
}

RECT clientOf(const Window& w) { return RECT{0, 0, w.rect.right - w.rect.left, w.rect.bottom - w.rect.top}; }

POINT screenOrigin(HWND hwnd) {
    POINT p{0, 0};
    for (const Window* w = findWindow(hwnd); w; w = findWindow(w->parent)) {
        p.x += w->rect.left;
        p.y += w->rect.top;
        if (!w->parent) break;
    }
    return p;
}

bool visibleLocked(HWND hwnd) {
    const Window* w = findWindow(hwnd);
    if (!w || w->messageOnly) return false;
    for (; w; w = findWindow(w->parent)) {
        if (!(w->style & WS_VISIBLE)) return false;
        if (!w->parent) break;
    }
    return true;
}

}  // namespace plat::detail

// ---- geometry ----

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    WINDOWPOS pos{hwnd, insertAfter, x, y, cx, cy, flags};
    {
        std::lock_guard lock(state().mutex);
        const Window* w = findWindow(hwnd);
        if (!w || w->messageOnly) return FALSE;
        if (flags & SWP_NOMOVE) {
            pos.x = w->rect.left;
            pos.y = w->rect.top;
        }
        if (flags & SWP_NOSIZE) {
            pos.cx = w->rect.right - w->rect.left;
            pos.cy = w->rect.bottom - w->rect.top;
        }
    }
    call(hwnd, WM_WINDOWPOSCHANGING, 0, LPARAM(&pos));
    pos.cx = std::max(pos.cx, 0);
    pos.cy = std::max(pos.cy, 0);
    unsigned changed = 0;
    bool showing = false;
    {
        std::lock_guard lock(state().mutex);
        Window* w = findWindow(hwnd);
        if (!w) return FALSE;
        const RECT r{pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
        const bool resized = r.right - r.left != w->rect.right - w->rect.left || r.bottom - r.top != w->rect.bottom - w->rect.top;
        if (r.left != w->rect.left || r.top != w->rect.top || resized) changed |= kWindowGeometry;
        w->rect = r;
        if (!(pos.flags & SWP_NOZORDER)) {
            if (!w->parent) {
                if (insertAfter == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
                if (insertAfter == HWND_NOTOPMOST) w->exStyle &= ~WS_EX_TOPMOST;
            }
            if (auto* sib = siblingsOf(*w)) placeInZ(*sib, hwnd, insertAfter);
            changed |= kWindowZOrder;
        }
        if ((pos.flags & SWP_SHOWWINDOW) && !(w->style & WS_VISIBLE)) {
            w->style |= WS_VISIBLE;
            changed |= kWindowShown;
            showing = true;
        }
        if ((pos.flags & SWP_HIDEWINDOW) && (w->style & WS_VISIBLE)) {
            w->style &= ~WS_VISIBLE;
            changed |= kWindowShown;
        }
        if ((resized && !(pos.flags & SWP_NOREDRAW)) || showing) markDirty(*w, hwnd, nullptr, true);
    }
    // Everything newly visible below the window needs painting too.
    if (showing) {
        std::vector<HWND> stack{hwnd};
        std::lock_guard lock(state().mutex);
        while (!stack.empty()) {
            Window* x = findWindow(stack.back());
            stack.pop_back();
            if (!x) continue;
            for (HWND c : x->children) {
                Window* cw = findWindow(c);
                if (cw && (cw->style & WS_VISIBLE)) {
                    markDirty(*cw, c, nullptr, true);
                    stack.push_back(c);
                }
            }
        }
    }
    if (changed) notify(hwnd, changed);
    call(hwnd, WM_WINDOWPOSCHANGED, 0, LPARAM(&pos));
    // Without SWP_NOACTIVATE a shown top-level window of this thread is activated.
    bool activate = false;
    if (!(flags & SWP_NOACTIVATE)) {
        std::lock_guard lock(state().mutex);
        const Window* w = findWindow(hwnd);
        activate = w && !w->parent && ownedByMe(*w) && !(w->exStyle & WS_EX_NOACTIVATE) && visibleLocked(hwnd) &&
                   w->owner->active != hwnd && !(w->style & WS_DISABLED);
    }
    if (activate) SetActiveWindow(hwnd);
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(hwnd, 0, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    if (!rect) return FALSE;
    if (hwnd == kDesktopHandle) return GetClientRect(hwnd, rect);
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    const POINT o = screenOrigin(hwnd);
    *rect = RECT{o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    if (!rect) return FALSE;
    if (hwnd == kDesktopHandle) {
        const SIZE screen = plat::screen::ScreenSize();
        *rect = RECT{0, 0, screen.cx, screen.cy};
        return TRUE;
    }
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    *rect = clientOf(*w);
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
    if (!point) return FALSE;
    std::lock_guard lock(state().mutex);
    if (!findWindow(hwnd)) return FALSE;
    const POINT o = screenOrigin(hwnd);
    point->x += o.x;
    point->y += o.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
    if (!point) return FALSE;
    std::lock_guard lock(state().mutex);
    if (!findWindow(hwnd)) return FALSE;
    const POINT o = screenOrigin(hwnd);
    point->x -= o.x;
    point->y -= o.y;
    return TRUE;
}

BOOL BringWindowToTop(HWND hwnd) { return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

// ---- visibility and state ----

BOOL ShowWindow(HWND hwnd, int cmd) {
    bool was, child, mine, never;
    {
        std::lock_guard lock(state().mutex);
        const Window* w = findWindow(hwnd);
        if (!w) {
            LRESULT shown = FALSE;  // another program's window: its owner thread shows it
            return remoteCall(RemoteOp::kShow, hwnd, 0, WPARAM(cmd), 0, &shown) ? TRUE : FALSE;
        }
        if (w->messageOnly) return FALSE;
        was = (w->style & WS_VISIBLE) != 0;
        child = w->parent != 0;
        mine = ownedByMe(*w);
        never = (w->exStyle & WS_EX_NOACTIVATE) != 0;
    }
    const bool show = cmd != SW_HIDE;
    if (show != was) {
        call(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        if (!show) {
            // The focus leaves a window that disappears.
            HWND focus = GetFocus();
            bool inside;
            {
                std::lock_guard lock(state().mutex);
                inside = focus && isDescendant(hwnd, focus);
            }
            if (inside) SetFocus(child ? GetParent(hwnd) : 0);
        }
        SetWindowPos(hwnd, 0, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    }
    const bool activate = !never && cmd != SW_HIDE && cmd != SW_SHOWNOACTIVATE && cmd != SW_SHOWNA && cmd != SW_MINIMIZE &&
                          cmd != SW_SHOWMINIMIZED;
    if (show && activate && !child && mine) SetActiveWindow(hwnd);
    if (!show && !child && mine && GetActiveWindow() == hwnd) {
        const HWND owner = GetWindow(hwnd, GW_OWNER);
        if (owner && IsWindowVisible(owner)) SetActiveWindow(owner);
    }
    return was ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    return visibleLocked(hwnd) ? TRUE : FALSE;
}
