// The window tree: classes, creation and destruction, the parent, owner
// and sibling links, text and slots. Procedures are always called with the
// lock released; see State.h for the discipline.
#include <algorithm>
#include <cstring>
#include <utility>

#include "WindowModel.h"
#include "platform/Controls.h"
#include "platform/Window.h"

using namespace plat::detail;
using namespace plat::window;

namespace {

constexpr size_t kMaxWindows = 16384;
constexpr int kDefaultWidth = 320;
constexpr int kDefaultHeight = 240;

std::mutex g_backendMutex;
std::shared_ptr<WindowBackend> g_backend;  // guarded by g_backendMutex
// Whether there is one, read without the lock: without a backend (the
// headless tool) telling it about every change costs nothing.
std::atomic<bool> g_hasBackend{false};

}  // namespace

namespace plat::detail {

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

bool isDescendant(HWND ancestor, HWND hwnd) {
    for (const Window* w = findWindow(hwnd); w; w = findWindow(w->parent)) {
        if (hwnd == ancestor) return true;
        hwnd = w->parent;
    }
    return false;
}

LRESULT call(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return SendMessage(hwnd, msg, wParam, lParam); }

}  // namespace plat::detail

void plat::window::SetWindowBackend(std::shared_ptr<WindowBackend> backend) {
    std::lock_guard lock(g_backendMutex);
    g_backend = std::move(backend);
    g_hasBackend = g_backend != nullptr;
}

std::shared_ptr<WindowBackend> plat::window::GetWindowBackend() {
    if (!g_hasBackend) return nullptr;
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
    const HWND hwnd = newHandleLocked();
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
        hwnd = newHandleLocked();
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
    if (!(style & WS_CHILD)) startRemoteListener();
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
    std::erase_if(q.input, [&](const InputEvent& e) { return e.msg.hwnd == hwnd; });
    std::erase_if(q.timers, [&](const Timer& t) { return t.hwnd == hwnd; });
    std::erase(q.dirty, hwnd);
    if (q.focus == hwnd) q.focus = 0;
    if (q.active == hwnd) q.active = 0;
    if (q.capture == hwnd) q.capture = 0;
    if (s.foreground == hwnd) s.foreground = 0;
    graves.procs.push_back(std::move(w.proc));
    s.eraseWindow(it);
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
    {
        std::lock_guard lock(state().mutex);
        if (findWindow(hwnd)) return TRUE;
    }
    LRESULT exists = FALSE;
    return remoteCall(RemoteOp::kExists, hwnd, 0, 0, 0, &exists) && exists ? TRUE : FALSE;
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

HWND plat::detail::findTopLevel(const char16_t* className, const char16_t* windowName) {
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

HWND FindWindow(const char16_t* className, const char16_t* windowName) {
    // This program's windows first, then the other programs' of the device root.
    const HWND mine = findTopLevel(className, windowName);
    return mine ? mine : remoteFind(className, windowName);
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
            changed = kWindowZOrder;  // top-most or not
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
