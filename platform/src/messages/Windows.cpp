// The window model: classes, the tree, text, geometry, visibility, input
// state and painting. Procedures are always called with the lock released;
// see State.h for the discipline.
#include <algorithm>
#include <cstring>
#include <utility>

#include "State.h"
#include "platform/Controls.h"
#include "platform/Gdi.h"
#include "platform/Window.h"

using namespace plat::detail;
using namespace plat::window;
using plat::gdi::DeviceContext;

namespace {

constexpr size_t kMaxWindows = 16384;
constexpr int kDefaultWidth = 320;
constexpr int kDefaultHeight = 240;

std::mutex g_backendMutex;
std::shared_ptr<WindowBackend> g_backend;  // guarded by g_backendMutex

std::u16string fold(std::u16string_view name) {
    std::u16string out(name);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    return out;
}

void notify(HWND hwnd, unsigned what) {
    if (const auto backend = GetWindowBackend()) backend->Notify(hwnd, what);
}

Proc procOf(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    return w ? w->proc : nullptr;
}

Proc wrap(WNDPROC proc) {
    return std::make_shared<const WindowProc>([proc](HWND h, UINT m, WPARAM w, LPARAM l) { return proc(h, m, w, l); });
}

bool ownedByMe(const Window& w) { return w.owner == myQueue(); }

// The sibling list a window lives in. Lock held.
std::vector<HWND>* siblingsOf(const Window& w) {
    if (w.messageOnly) return nullptr;
    if (w.parent) {
        Window* p = findWindow(w.parent);
        return p ? &p->children : nullptr;
    }
    return &state().topLevels;
}

// Puts hwnd into its sibling list after `after` (HWND_TOP, HWND_BOTTOM or a
// sibling); top-most top-level windows stay above the others. Lock held.
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
}

bool isDescendant(HWND ancestor, HWND hwnd) {  // lock held; a window counts as its own
    for (const Window* w = findWindow(hwnd); w; w = findWindow(w->parent)) {
        if (hwnd == ancestor) return true;
        hwnd = w->parent;
    }
    return false;
}

RECT clientOf(const Window& w) { return RECT{0, 0, w.rect.right - w.rect.left, w.rect.bottom - w.rect.top}; }

POINT screenOrigin(HWND hwnd) {  // lock held
    POINT p{0, 0};
    for (const Window* w = findWindow(hwnd); w; w = findWindow(w->parent)) {
        p.x += w->rect.left;
        p.y += w->rect.top;
        if (!w->parent) break;
    }
    return p;
}

LRESULT call(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return SendMessage(hwnd, msg, wParam, lParam); }

}  // namespace

namespace plat::detail {

bool visibleLocked(HWND hwnd) {
    const Window* w = findWindow(hwnd);
    if (!w || w->messageOnly) return false;
    for (; w; w = findWindow(w->parent)) {
        if (!(w->style & WS_VISIBLE)) return false;
        if (!w->parent) break;
    }
    return true;
}

void markDirty(Window& w, HWND hwnd, const RECT* r, bool erase) {
    const RECT client = clientOf(w);
    RECT area = client;
    if (r && !IntersectRect(&area, r, &client)) return;
    if (w.hasUpdate)
        UnionRect(&w.update, &w.update, &area);
    else
        w.update = area;
    w.hasUpdate = true;
    w.erase = w.erase || erase;
    if (std::find(w.owner->dirty.begin(), w.owner->dirty.end(), hwnd) == w.owner->dirty.end()) {
        w.owner->dirty.push_back(hwnd);
        w.owner->wake();
    }
}

}  // namespace plat::detail

void plat::window::SetWindowBackend(std::shared_ptr<WindowBackend> backend) {
    std::lock_guard lock(g_backendMutex);
    g_backend = std::move(backend);
}

std::shared_ptr<WindowBackend> plat::window::GetWindowBackend() {
    std::lock_guard lock(g_backendMutex);
    return g_backend;
}

// ---- classes ----

ATOM RegisterClass(const WNDCLASS* wc) {
    if (!wc || !wc->lpfnWndProc || !wc->lpszClassName || !*wc->lpszClassName) return 0;
    if (wc->cbWndExtra < 0 || wc->cbClsExtra < 0 || wc->cbWndExtra > 1024) return 0;
    static ATOM nextAtom = 0xC000;
    auto cls = std::make_shared<WindowClass>();
    cls->name = wc->lpszClassName;
    cls->style = wc->style;
    cls->proc = wc->lpfnWndProc;
    cls->clsExtra = wc->cbClsExtra;
    cls->wndExtra = wc->cbWndExtra;
    cls->background = wc->hbrBackground;
    cls->cursor = wc->hCursor;
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!s.classes.emplace(fold(cls->name), std::move(cls)).second) return 0;
    return nextAtom == 0xFFFF ? nextAtom : nextAtom++;
}

BOOL UnregisterClass(const char16_t* className, HINSTANCE) {
    if (!className) return FALSE;
    State& s = state();
    std::shared_ptr<const WindowClass> gone;  // released after the lock
    std::lock_guard lock(s.mutex);
    auto it = s.classes.find(fold(className));
    if (it == s.classes.end()) return FALSE;
    for (const auto& [h, w] : s.windows)
        if (w.cls == it->second) return FALSE;
    gone = std::move(it->second);
    s.classes.erase(it);
    return TRUE;
}

BOOL GetClassInfo(HINSTANCE, const char16_t* className, WNDCLASS* wc) {
    if (!className) return FALSE;
    RegisterStandardControls();
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.classes.find(fold(className));
    if (it == s.classes.end()) return FALSE;
    if (wc) {
        const WindowClass& c = *it->second;
        *wc = WNDCLASS{c.style, c.proc, c.clsExtra, c.wndExtra, nullptr, 0, c.cursor, c.background, nullptr, nullptr};
        wc->lpszClassName = className;
    }
    return TRUE;
}

int GetClassName(HWND hwnd, char16_t* buffer, int maxCount) {
    if (!buffer || maxCount <= 0) return 0;
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    if (!w || !w->cls) {
        buffer[0] = 0;
        return 0;
    }
    const size_t n = std::min(w->cls->name.size(), size_t(maxCount - 1));
    std::copy_n(w->cls->name.data(), n, buffer);
    buffer[n] = 0;
    return int(n);
}

// ---- creation and destruction ----

HWND CreateMessageWindow(WindowProc proc) {
    const std::shared_ptr<Queue>& q = myQueue();
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (!proc || s.windows.size() >= kMaxWindows) return 0;
    // Handles count up and wrap, skipping live ones, so a destroyed handle is
    // not handed out again for a long time.
    while (s.nextHandle <= HWND_BOTTOM || s.nextHandle >= HWND_NOTOPMOST || s.windows.count(s.nextHandle)) ++s.nextHandle;
    const HWND hwnd = s.nextHandle++;
    Window w;
    w.owner = q;
    w.proc = std::make_shared<const WindowProc>(std::move(proc));
    w.messageOnly = true;
    s.windows.emplace(hwnd, std::move(w));
    return hwnd;
}

HWND CreateWindowEx(DWORD exStyle, const char16_t* className, const char16_t* windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
    if (!className) return 0;
    RegisterStandardControls();
    const std::shared_ptr<Queue>& q = myQueue();
    State& s = state();
    HWND hwnd;
    {
        std::lock_guard lock(s.mutex);
        auto it = s.classes.find(fold(className));
        if (it == s.classes.end() || s.windows.size() >= kMaxWindows) return 0;
        Window* p = parent ? findWindow(parent) : nullptr;
        if (parent && (!p || p->destroying || p->messageOnly)) return 0;
        if ((style & WS_CHILD) && !p) return 0;
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) {
            width = kDefaultWidth;
            height = kDefaultHeight;
        }
        while (s.nextHandle <= HWND_BOTTOM || s.nextHandle >= HWND_NOTOPMOST || s.windows.count(s.nextHandle))
            ++s.nextHandle;
        hwnd = s.nextHandle++;
        Window w;
        w.owner = q;
        w.cls = it->second;
        w.wndproc = it->second->proc;
        w.proc = wrap(w.wndproc);
        w.style = style & ~WS_VISIBLE;  // shown below, after creation
        w.exStyle = exStyle;
        if (style & WS_CHILD) {
            w.parent = parent;
            w.id = LONG_PTR(menu);
        } else {
            HWND top = parent;
            for (const Window* x = p; x && x->parent; x = findWindow(top)) top = x->parent;
            w.ownerWnd = top;
        }
        w.extra.assign(size_t(it->second->wndExtra), 0);
        w.rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
        w.text = windowName ? windowName : u"";
        auto& slot = s.windows.emplace(hwnd, std::move(w)).first->second;
        if (slot.parent)
            placeInZ(p->children, hwnd, HWND_BOTTOM);
        else
            placeInZ(s.topLevels, hwnd, HWND_TOP);
    }
    notify(hwnd, kWindowCreated);
    CREATESTRUCT cs{param, instance, menu, parent, height, width, y, x, LONG(style), windowName, className, exStyle};
    if (!call(hwnd, WM_NCCREATE, 0, LPARAM(&cs)) || call(hwnd, WM_CREATE, 0, LPARAM(&cs)) == -1) {
        DestroyWindow(hwnd);
        return 0;
    }
    if (!IsWindow(hwnd)) return 0;
    call(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
    call(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
    if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : 0;
}

namespace {

// Frees one window whose WM_DESTROY and children are done. The procedure
// goes to the graveyard.
void freeWindow(HWND hwnd, Graveyard& graves) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.windows.find(hwnd);
    if (it == s.windows.end()) return;
    Window& w = it->second;
    if (auto* sib = siblingsOf(w)) std::erase(*sib, hwnd);
    Queue& q = *w.owner;
    std::erase_if(q.posted, [&](const MSG& m) { return m.hwnd == hwnd; });
    std::erase_if(q.timers, [&](const Timer& t) { return t.hwnd == hwnd; });
    std::erase(q.dirty, hwnd);
    if (q.focus == hwnd) q.focus = 0;
    if (q.active == hwnd) q.active = 0;
    if (q.capture == hwnd) q.capture = 0;
    if (s.foreground == hwnd) s.foreground = 0;
    graves.procs.push_back(std::move(w.proc));
    s.windows.erase(it);
    ++s.generation;
}

void destroyTree(HWND hwnd, Graveyard& graves) {
    call(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        std::lock_guard lock(state().mutex);
        if (const Window* w = findWindow(hwnd)) children = w->children;
    }
    for (HWND c : children) destroyTree(c, graves);
    call(hwnd, WM_NCDESTROY, 0, 0);
    freeWindow(hwnd, graves);
    notify(hwnd, kWindowDestroyed);
}

}  // namespace

BOOL DestroyWindow(HWND hwnd) {
    const std::shared_ptr<Queue>& q = myQueue();
    State& s = state();
    std::vector<HWND> owned;
    HWND parent = 0;
    bool hadFocus = false, wasActive = false;
    HWND ownerWnd = 0;
    {
        std::lock_guard lock(s.mutex);
        Window* w = findWindow(hwnd);
        if (!w || w->owner != q || w->destroying) return FALSE;
        // Mark the whole tree so nothing new is created under it.
        std::vector<HWND> stack{hwnd};
        while (!stack.empty()) {
            Window* x = findWindow(stack.back());
            stack.pop_back();
            if (!x) continue;
            x->destroying = true;
            stack.insert(stack.end(), x->children.begin(), x->children.end());
        }
        for (const auto& [h, other] : s.windows)
            if (other.ownerWnd == hwnd && other.owner == q && !other.destroying) owned.push_back(h);
        parent = w->parent;
        ownerWnd = w->ownerWnd;
        hadFocus = q->focus && isDescendant(hwnd, q->focus);
        wasActive = q->active == hwnd;
        if (q->capture && isDescendant(hwnd, q->capture)) q->capture = 0;
    }
    Graveyard graves;  // released last, with no lock held
    for (HWND o : owned) DestroyWindow(o);
    if (hadFocus) SetFocus(parent);
    if (wasActive) {
        {
            std::lock_guard lock(s.mutex);
            q->active = 0;
            if (s.foreground == hwnd) s.foreground = 0;
        }
        call(hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
        if (ownerWnd && IsWindowVisible(ownerWnd)) SetActiveWindow(ownerWnd);
    }
    destroyTree(hwnd, graves);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    return findWindow(hwnd) ? TRUE : FALSE;
}

LRESULT CallWindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Proc proc = procOf(hwnd);
    return proc ? callProc(proc, hwnd, msg, wParam, lParam) : 0;
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

WindowProc plat::window::SetWindowProcedure(HWND hwnd, WindowProc proc) {
    if (!proc) return nullptr;
    Proc old;  // released after the lock
    auto fresh = std::make_shared<const WindowProc>(std::move(proc));
    {
        std::lock_guard lock(state().mutex);
        Window* w = findWindow(hwnd);
        if (!w) return nullptr;
        old = std::exchange(w->proc, std::move(fresh));
        w->wndproc = nullptr;
        ++state().generation;
    }
    return old ? *old : nullptr;
}

// ---- tree ----

HWND GetParent(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    return w ? (w->parent ? w->parent : w->ownerWnd) : 0;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    if (flags == GA_PARENT) return w ? w->parent : 0;
    while (w && w->parent) {
        hwnd = w->parent;
        w = findWindow(hwnd);
    }
    return w ? hwnd : 0;
}

HWND GetWindow(HWND hwnd, UINT cmd) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    if (!w) return 0;
    if (cmd == GW_OWNER) return w->ownerWnd;
    if (cmd == GW_CHILD) return w->children.empty() ? 0 : w->children.front();
    const std::vector<HWND>* sib = siblingsOf(*w);
    if (!sib || sib->empty()) return 0;
    auto it = std::find(sib->begin(), sib->end(), hwnd);
    switch (cmd) {
    case GW_HWNDFIRST: return sib->front();
    case GW_HWNDLAST: return sib->back();
    case GW_HWNDNEXT: return it != sib->end() && it + 1 != sib->end() ? *(it + 1) : 0;
    case GW_HWNDPREV: return it != sib->end() && it != sib->begin() ? *(it - 1) : 0;
    default: return 0;
    }
}

HWND GetTopWindow(HWND hwnd) {
    if (hwnd) return GetWindow(hwnd, GW_CHILD);
    std::lock_guard lock(state().mutex);
    return state().topLevels.empty() ? 0 : state().topLevels.front();
}

BOOL IsChild(HWND parent, HWND hwnd) {
    std::lock_guard lock(state().mutex);
    return parent != hwnd && isDescendant(parent, hwnd) ? TRUE : FALSE;
}

HWND GetDlgItem(HWND dialog, int id) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(dialog);
    if (!w) return 0;
    for (HWND c : w->children)
        if (const Window* cw = findWindow(c); cw && cw->id == id) return c;
    return 0;
}

int GetDlgCtrlID(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    return w && w->parent ? int(w->id) : 0;
}

HWND FindWindow(const char16_t* className, const char16_t* windowName) {
    const std::u16string cls = className ? fold(className) : std::u16string();
    std::lock_guard lock(state().mutex);
    for (HWND h : state().topLevels) {
        const Window* w = findWindow(h);
        if (!w || w->destroying) continue;
        if (className && (!w->cls || fold(w->cls->name) != cls)) continue;
        if (windowName && w->text != windowName) continue;
        return h;
    }
    return 0;
}

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

BOOL plat::window::RunOnWindowThread(HWND hwnd, std::function<void()> task) {
    std::lock_guard lock(state().mutex);
    Window* w = findWindow(hwnd);
    if (!w || !task || w->owner->dead) return FALSE;
    runOnOwnerLocked(*w->owner, std::move(task));
    return TRUE;
}

BOOL plat::window::IsMessageOnlyWindow(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    return w && w->messageOnly ? TRUE : FALSE;
}

DWORD plat::window::GetWindowThreadId(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    return w ? w->owner->threadId : 0;
}

// ---- text and slots ----

BOOL SetWindowText(HWND hwnd, const char16_t* text) {
    return IsWindow(hwnd) && call(hwnd, WM_SETTEXT, 0, LPARAM(text ? text : u"")) ? TRUE : FALSE;
}

int GetWindowText(HWND hwnd, char16_t* buffer, int maxCount) {
    if (!buffer || maxCount <= 0) return 0;
    buffer[0] = 0;
    return int(call(hwnd, WM_GETTEXT, WPARAM(maxCount), LPARAM(buffer)));
}

int GetWindowTextLength(HWND hwnd) { return int(call(hwnd, WM_GETTEXTLENGTH, 0, 0)); }

std::u16string plat::window::GetWindowString(HWND hwnd) {
    std::u16string text(size_t(std::max(GetWindowTextLength(hwnd), 0)) + 1, u'\0');
    text.resize(size_t(std::max(GetWindowText(hwnd, text.data(), int(text.size())), 0)));
    return text;
}

LONG_PTR GetWindowLongPtr(HWND hwnd, int index) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    if (!w) return 0;
    switch (index) {
    case GWL_STYLE: return LONG_PTR(w->style);
    case GWL_EXSTYLE: return LONG_PTR(w->exStyle);
    case GWLP_ID: return w->id;
    case GWLP_USERDATA: return w->userData;
    case GWLP_WNDPROC: return LONG_PTR(w->wndproc);
    case GWLP_HWNDPARENT: return LONG_PTR(w->parent ? w->parent : w->ownerWnd);
    default:
        if (index < 0 || size_t(index) + sizeof(LONG_PTR) > w->extra.size()) return 0;
        LONG_PTR v;
        std::memcpy(&v, w->extra.data() + index, sizeof v);
        return v;
    }
}

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
    Proc old;  // released after the lock
    LONG_PTR previous = 0;
    unsigned changed = 0;
    {
        std::lock_guard lock(state().mutex);
        Window* w = findWindow(hwnd);
        if (!w) return 0;
        switch (index) {
        case GWL_STYLE:
            previous = LONG_PTR(w->style);
            w->style = DWORD(value);
            changed = kWindowShown;
            break;
        case GWL_EXSTYLE:
            previous = LONG_PTR(w->exStyle);
            w->exStyle = DWORD(value);
            break;
        case GWLP_ID: previous = std::exchange(w->id, value); break;
        case GWLP_USERDATA: previous = std::exchange(w->userData, value); break;
        case GWLP_WNDPROC:
            if (!value) return 0;
            previous = LONG_PTR(w->wndproc);
            w->wndproc = WNDPROC(value);
            old = std::exchange(w->proc, wrap(w->wndproc));
            ++state().generation;
            break;
        default:
            if (index < 0 || size_t(index) + sizeof(LONG_PTR) > w->extra.size()) return 0;
            std::memcpy(&previous, w->extra.data() + index, sizeof previous);
            std::memcpy(w->extra.data() + index, &value, sizeof value);
            break;
        }
    }
    if (changed) notify(hwnd, changed);
    return previous;
}

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
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(hwnd, 0, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    if (!rect) return FALSE;
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    const POINT o = screenOrigin(hwnd);
    *rect = RECT{o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    if (!rect) return FALSE;
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
    bool was, child, mine;
    {
        std::lock_guard lock(state().mutex);
        const Window* w = findWindow(hwnd);
        if (!w || w->messageOnly) return FALSE;
        was = (w->style & WS_VISIBLE) != 0;
        child = w->parent != 0;
        mine = ownedByMe(*w);
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
    const bool activate = cmd != SW_HIDE && cmd != SW_SHOWNOACTIVATE && cmd != SW_SHOWNA && cmd != SW_MINIMIZE &&
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

HWND SetActiveWindow(HWND hwnd) {
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
    if (old && IsWindow(old)) call(old, WM_ACTIVATE, WA_INACTIVE, LPARAM(hwnd));
    if (hwnd) call(hwnd, WM_ACTIVATE, WA_ACTIVE, LPARAM(old));
    if (hwnd) notify(hwnd, kWindowFocus);
    return old;
}

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

// ---- painting ----

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    std::lock_guard lock(state().mutex);
    Window* w = findWindow(hwnd);
    if (!w || w->messageOnly) return FALSE;
    markDirty(*w, hwnd, rect, erase != FALSE);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
    std::lock_guard lock(state().mutex);
    Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    // One rectangle cannot hold a hole: validating part of it keeps all of it.
    if (!rect || (rect->left <= w->update.left && rect->top <= w->update.top && rect->right >= w->update.right &&
                  rect->bottom >= w->update.bottom)) {
        w->hasUpdate = false;
        w->erase = false;
        w->update = RECT{};
        std::erase(w->owner->dirty, hwnd);
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL) {
    std::lock_guard lock(state().mutex);
    const Window* w = findWindow(hwnd);
    if (!w) return FALSE;
    if (rect) *rect = w->hasUpdate ? w->update : RECT{};
    return w->hasUpdate ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hwnd) {
    bool paint;
    {
        std::lock_guard lock(state().mutex);
        const Window* w = findWindow(hwnd);
        if (!w) return FALSE;
        paint = w->hasUpdate && visibleLocked(hwnd);
    }
    if (paint) call(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

namespace {

// A context that keeps state and draws nothing: windows without a backend.
class NullContext final : public DeviceContext {
public:
    void Fill(const RECT&, COLORREF) override {}
    void Line(POINT, POINT, COLORREF, int) override {}
    void Text(const RECT&, std::u16string_view, UINT, const LOGFONT&, COLORREF, const COLORREF*) override {}
    SIZE Measure(std::u16string_view, const LOGFONT&) override { return SIZE{0, 0}; }
};

}  // namespace

HDC GetDC(HWND hwnd) {
    if (!IsWindow(hwnd)) return nullptr;
    const auto backend = GetWindowBackend();
    HDC dc = backend ? backend->CreateDC(hwnd) : nullptr;
    return dc ? dc : new NullContext;
}

int ReleaseDC(HWND hwnd, HDC dc) {
    if (!dc) return 0;
    delete dc;  // a backend's context publishes what it drew as it goes
    notify(hwnd, kWindowPresent);
    return 1;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    if (!ps) return nullptr;
    bool erase;
    {
        std::lock_guard lock(state().mutex);
        Window* w = findWindow(hwnd);
        if (!w) return nullptr;
        ps->rcPaint = w->hasUpdate ? w->update : RECT{};
        erase = w->erase;
        w->hasUpdate = false;
        w->erase = false;
        w->update = RECT{};
        std::erase(w->owner->dirty, hwnd);
    }
    ps->hdc = GetDC(hwnd);
    ps->fErase = erase && !call(hwnd, WM_ERASEBKGND, WPARAM(ps->hdc), 0) ? TRUE : FALSE;
    return ps->hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (!ps) return FALSE;
    ReleaseDC(hwnd, ps->hdc);
    return TRUE;
}

// ---- cursor ----

HCURSOR LoadCursor(HINSTANCE, HCURSOR id) { return id; }

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR old;
    {
        std::lock_guard lock(state().mutex);
        old = std::exchange(state().cursor, cursor);
    }
    if (old != cursor) notify(0, kWindowCursor);
    return old;
}

HCURSOR GetCursor() {
    std::lock_guard lock(state().mutex);
    return state().cursor;
}

// ---- the default procedure ----

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_NCCREATE: {
        const auto* cs = reinterpret_cast<const CREATESTRUCT*>(lParam);
        if (cs && cs->lpszName) {
            std::lock_guard lock(state().mutex);
            if (Window* w = findWindow(hwnd)) w->text = cs->lpszName;
        }
        return TRUE;
    }
    case WM_SETTEXT: {
        {
            std::lock_guard lock(state().mutex);
            Window* w = findWindow(hwnd);
            if (!w) return FALSE;
            w->text = lParam ? reinterpret_cast<const char16_t*>(lParam) : u"";
        }
        notify(hwnd, kWindowText);
        return TRUE;
    }
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<char16_t*>(lParam);
        if (!buffer || wParam == 0) return 0;
        std::lock_guard lock(state().mutex);
        const Window* w = findWindow(hwnd);
        if (!w) return 0;
        const size_t n = std::min(w->text.size(), size_t(wParam) - 1);
        std::copy_n(w->text.data(), n, buffer);
        buffer[n] = 0;
        return LRESULT(n);
    }
    case WM_GETTEXTLENGTH: {
        std::lock_guard lock(state().mutex);
        const Window* w = findWindow(hwnd);
        return w ? LRESULT(w->text.size()) : 0;
    }
    case WM_SETFONT: {
        {
            std::lock_guard lock(state().mutex);
            if (Window* w = findWindow(hwnd)) w->font = HFONT(wParam);
        }
        if (LOWORD(lParam)) InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }
    case WM_GETFONT: {
        std::lock_guard lock(state().mutex);
        const Window* w = findWindow(hwnd);
        return w ? LRESULT(w->font) : 0;
    }
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_ERASEBKGND: {
        HBRUSH brush = 0;
        {
            std::lock_guard lock(state().mutex);
            const Window* w = findWindow(hwnd);
            if (w && w->cls) brush = w->cls->background;
        }
        if (!brush) return 0;
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(HDC(wParam), &r, brush);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
            const HWND focus = GetFocus();
            bool inside;
            {
                std::lock_guard lock(state().mutex);
                inside = focus && isDescendant(hwnd, focus);
            }
            if (!inside) SetFocus(hwnd);
        }
        return 0;
    case WM_WINDOWPOSCHANGED: {
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
        if (!pos) return 0;
        if (!(pos->flags & SWP_NOSIZE)) call(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(pos->cx, pos->cy));
        if (!(pos->flags & SWP_NOMOVE)) call(hwnd, WM_MOVE, 0, MAKELPARAM(pos->x, pos->y));
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORMSGBOX:
        SetTextColor(HDC(wParam), GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(HDC(wParam), GetSysColor(COLOR_BTNFACE));
        return LRESULT(GetSysColorBrush(COLOR_BTNFACE));
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        SetTextColor(HDC(wParam), GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(HDC(wParam), GetSysColor(COLOR_WINDOW));
        return LRESULT(GetSysColorBrush(COLOR_WINDOW));
    case WM_MOUSEACTIVATE: return 1;  // MA_ACTIVATE
    case WM_SETCURSOR: {
        HCURSOR cursor = 0;
        {
            std::lock_guard lock(state().mutex);
            const Window* w = findWindow(hwnd);
            if (w && w->cls) cursor = w->cls->cursor;
        }
        if (cursor) SetCursor(cursor);
        return cursor ? TRUE : FALSE;
    }
    default: return 0;
    }
}
