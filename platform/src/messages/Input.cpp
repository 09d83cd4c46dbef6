// Device input: where taps and keys enter the layer, and how a thread's
// queue finds the window a tap belongs to when it reads it. See Input.h.
#include "platform/Input.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "WindowModel.h"
#include "platform/Clock.h"

using namespace plat::detail;

namespace {

constexpr size_t kMaxInput = 10000;

// The device's key state, as the keys went down and up.
std::array<std::atomic<uint8_t>, 256> g_asyncKeys{};

thread_local std::function<void(int)> t_sleepHook;

bool isButtonDown(UINT msg) { return msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_LBUTTONDBLCLK; }

bool containsPoint(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

// Shown, not a message window and not going: a window a tap can see. Lock held.
bool tappable(const Window& w) { return !w.messageOnly && !w.destroying && (w.style & WS_VISIBLE); }

// The top-level window under a point, from `from` on (top first). Lock held.
HWND topLevelAt(POINT p, size_t from = 0) {
    const auto& tops = state().topLevels;
    for (size_t i = from; i < tops.size(); ++i) {
        const Window* w = findWindow(tops[i]);
        if (w && tappable(*w) && containsPoint(w->rect, p)) return tops[i];
    }
    return 0;
}

void noteAsync(UINT vk, bool down) {
    g_asyncKeys[vk & 0xFF] = down ? 0x80 : 0;
    const auto generic = [](UINT left, UINT right, UINT both) {
        g_asyncKeys[both] = (g_asyncKeys[left] | g_asyncKeys[right]) & 0x80 ? 0x80 : 0;
    };
    if (vk == VK_LSHIFT || vk == VK_RSHIFT) generic(VK_LSHIFT, VK_RSHIFT, VK_SHIFT);
    if (vk == VK_LCONTROL || vk == VK_RCONTROL) generic(VK_LCONTROL, VK_RCONTROL, VK_CONTROL);
    if (vk == VK_LMENU || vk == VK_RMENU) generic(VK_LMENU, VK_RMENU, VK_MENU);
}

bool asyncDown(UINT vk) { return (g_asyncKeys[vk & 0xFF] & 0x80) != 0; }

// What a key types with the shift and control keys as they are, as the
// keyboard layout of a handheld's US keys has it.
std::u16string charsOf(UINT vk) {
    const bool shift = asyncDown(VK_SHIFT), control = asyncDown(VK_CONTROL);
    if (vk >= 'A' && vk <= 'Z') {
        if (control) return std::u16string(1, char16_t(vk - 'A' + 1));
        return std::u16string(1, char16_t(shift ? vk : vk - 'A' + 'a'));
    }
    if (vk >= '0' && vk <= '9') {
        static const char16_t shifted[] = u")!@#$%^&*(";
        return std::u16string(1, shift ? shifted[vk - '0'] : char16_t(vk));
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return std::u16string(1, char16_t(u'0' + (vk - VK_NUMPAD0)));
    switch (vk) {
    case VK_SPACE: return u" ";
    case VK_RETURN: return u"\r";
    case VK_BACK: return u"\b";
    case VK_TAB: return u"\t";
    case VK_ESCAPE: return u"\x1b";
    case VK_MULTIPLY: return u"*";
    case VK_ADD: return u"+";
    case VK_SUBTRACT: return u"-";
    case VK_DECIMAL: return u".";
    case VK_DIVIDE: return u"/";
    case VK_OEM_PLUS: return shift ? u"+" : u"=";
    case VK_OEM_MINUS: return shift ? u"_" : u"-";
    case VK_OEM_PERIOD: return shift ? u">" : u".";
    case VK_OEM_COMMA: return shift ? u"<" : u",";
    case VK_OEM_1: return shift ? u":" : u";";
    case VK_OEM_2: return shift ? u"?" : u"/";
    case VK_OEM_3: return shift ? u"~" : u"`";
    case VK_OEM_4: return shift ? u"{" : u"[";
    case VK_OEM_5: return shift ? u"|" : u"\\";
    case VK_OEM_6: return shift ? u"}" : u"]";
    case VK_OEM_7: return shift ? u"\"" : u"'";
    default: return u"";
    }
}

bool enqueue(Queue& q, InputEvent e) {
    if (q.dead || q.input.size() >= kMaxInput) return false;
    // A stylus dragging makes many moves: an unread one is only overtaken.
    if (e.msg.message == WM_MOUSEMOVE && !q.input.empty()) {
        InputEvent& last = q.input.back();
        if (last.msg.message == WM_MOUSEMOVE && !last.routed && last.msg.wParam == e.msg.wParam) {
            last = std::move(e);
            q.wake();
            return true;
        }
    }
    q.input.push_back(std::move(e));
    q.wake();
    return true;
}

struct Snapshot {
    bool exists = false;
    bool mine = false;
    bool enabled = false;
    std::vector<HWND> children;
};

Snapshot look(HWND hwnd) {
    std::lock_guard lock(state().mutex);
    Snapshot s;
    if (const Window* w = findWindow(hwnd); w && tappable(*w)) {
        s.exists = true;
        s.mine = w->owner == myQueue();
        s.enabled = !(w->style & WS_DISABLED);
        s.children = w->children;
    }
    return s;
}

// The window under `screen` in the tree of hwnd (which contains the point),
// asked from the top down; 0 when the tree lets the tap pass through. Lock
// not held: WM_NCHITTEST runs the windows' procedures. Windows of another
// thread are not asked (that thread may be busy): they take the tap.
HWND hitTree(HWND hwnd, POINT screen, int depth = 0) {
    const Snapshot s = look(hwnd);
    if (!s.exists || depth > 64) return 0;
    if (s.mine && SendMessage(hwnd, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y)) == HTTRANSPARENT) return 0;
    for (HWND c : s.children) {
        RECT r;
        if (!GetWindowRect(c, &r) || !containsPoint(r, screen)) continue;
        const Snapshot cs = look(c);
        if (!cs.exists || !cs.enabled) continue;
        if (const HWND hit = hitTree(c, screen, depth + 1)) return hit;
    }
    return hwnd;
}

// Finds the window of one tap and what the thread makes of it; false when
// the tap is dropped (or handed to another thread's queue). Lock not held.
bool routeTap(const std::shared_ptr<Queue>& me, InputEvent& e) {
    HWND target = 0;
    HWND capture;
    {
        std::lock_guard lock(state().mutex);
        capture = me->capture && findWindow(me->capture) ? me->capture : 0;
    }
    if (capture) {
        target = capture;
    } else {
        HWND top = e.msg.hwnd;
        {
            // Queued for a capture that has gone since: the window under the point.
            std::lock_guard lock(state().mutex);
            const Window* w = findWindow(top);
            if (!w || w->parent) top = topLevelAt(e.screen);
        }
        for (;;) {
            const Snapshot s = look(top);
            RECT r;
            if (!s.exists || !GetWindowRect(top, &r) || !containsPoint(r, e.screen)) return false;
            if (!s.enabled) return false;  // a disabled window takes no tap and lets none through
            if (!s.mine) {
                // Passed through to another thread's window: its thread finds the rest.
                std::lock_guard lock(state().mutex);
                Window* w = findWindow(top);
                if (!w) return false;
                InputEvent moved = e;
                moved.msg.hwnd = top;
                enqueue(*w->owner, std::move(moved));
                return false;
            }
            target = hitTree(top, e.screen);
            if (target) break;
            std::lock_guard lock(state().mutex);
            const auto& tops = state().topLevels;
            const auto it = std::find(tops.begin(), tops.end(), top);
            top = it == tops.end() ? 0 : topLevelAt(e.screen, size_t(it - tops.begin()) + 1);
            if (!top) return false;
        }
    }
    UINT msg = e.msg.message;
    {
        std::lock_guard lock(state().mutex);
        const Window* w = findWindow(target);
        if (!w) return false;
        if (msg == WM_LBUTTONDBLCLK && !(w->cls && (w->cls->style & CS_DBLCLKS))) msg = WM_LBUTTONDOWN;
    }
    if (!capture && isButtonDown(msg)) {
        const HWND top = GetAncestor(target, GA_ROOT);
        if (top && GetActiveWindow() != top) {
            const LRESULT how = SendMessage(target, WM_MOUSEACTIVATE, WPARAM(top), MAKELPARAM(HTCLIENT, msg));
            if (how == MA_ACTIVATE || how == MA_ACTIVATEANDEAT) activateWindow(top, WA_CLICKACTIVE);
            if (how == MA_ACTIVATEANDEAT || how == MA_NOACTIVATEANDEAT) return false;
            if (!IsWindow(target)) return false;
        }
    }
    POINT client = e.screen;
    ScreenToClient(target, &client);
    e.msg.hwnd = target;
    e.msg.message = msg;
    e.msg.lParam = MAKELPARAM(client.x, client.y);
    e.routed = true;
    return true;
}

}  // namespace

namespace plat::detail {

void routeInput(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Queue>& q) {
    for (;;) {
        auto it = std::find_if(q->input.begin(), q->input.end(), [](const InputEvent& e) { return e.msg.hwnd && !e.routed; });
        if (it == q->input.end()) return;
        const size_t at = size_t(it - q->input.begin());
        InputEvent e = std::move(*it);
        q->input.erase(it);
        lock.unlock();
        const bool keep = routeTap(q, e);
        lock.lock();
        if (keep) q->input.insert(q->input.begin() + std::min(at, q->input.size()), std::move(e));
    }
}

}  // namespace plat::detail

BOOL plat::input::InjectMouse(UINT message, POINT screen, WPARAM keys) {
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) noteAsync(VK_LBUTTON, true);
    if (message == WM_LBUTTONUP) noteAsync(VK_LBUTTON, false);
    if (message == WM_RBUTTONDOWN) noteAsync(VK_RBUTTON, true);
    if (message == WM_RBUTTONUP) noteAsync(VK_RBUTTON, false);
    std::lock_guard lock(state().mutex);
    InputEvent e{MSG{0, message, keys, 0, GetTickCount()}, screen, false, {}};
    // The capture of the thread in front takes every tap.
    if (const Window* f = findWindow(state().foreground); f && f->owner->capture && findWindow(f->owner->capture)) {
        e.msg.hwnd = f->owner->capture;
        return enqueue(*f->owner, std::move(e)) ? TRUE : FALSE;
    }
    const HWND top = topLevelAt(screen);
    const Window* w = findWindow(top);
    if (!w) return FALSE;
    e.msg.hwnd = top;
    return enqueue(*w->owner, std::move(e)) ? TRUE : FALSE;
}

BOOL plat::input::InjectKey(UINT virtualKey, bool down, LPARAM keyData, std::u16string_view text) {
    noteAsync(virtualKey, down);
    const bool alt = asyncDown(VK_MENU) || (keyData & (LPARAM(1) << 29));
    const UINT msg = down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
    if (alt) keyData |= LPARAM(1) << 29;
    std::lock_guard lock(state().mutex);
    const Window* f = findWindow(state().foreground);
    if (!f) return FALSE;
    InputEvent e{MSG{0, msg, WPARAM(virtualKey), keyData, GetTickCount()}, {}, false,
                 down ? std::u16string(text) : std::u16string()};
    return enqueue(*f->owner, std::move(e)) ? TRUE : FALSE;
}

void keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, UINT_PTR) {
    const bool down = !(flags & KEYEVENTF_KEYUP);
    const bool wasDown = asyncDown(virtualKey);
    LPARAM data = LPARAM(1) | (LPARAM(scanCode) << 16);
    if (flags & KEYEVENTF_EXTENDEDKEY) data |= LPARAM(1) << 24;
    if (!down) data |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
    else if (wasDown) data |= LPARAM(1) << 30;
    // The characters depend on the modifiers as they are before this key.
    const std::u16string text = down ? charsOf(virtualKey) : std::u16string();
    plat::input::InjectKey(virtualKey, down, data, text);
}

SHORT GetAsyncKeyState(int virtualKey) {
    return virtualKey >= 0 && virtualKey < 256 && asyncDown(UINT(virtualKey)) ? SHORT(0x8000) : 0;
}

HWND WindowFromPoint(POINT point) {
    HWND hwnd;
    {
        std::lock_guard lock(state().mutex);
        hwnd = topLevelAt(point);
    }
    while (hwnd) {
        const Snapshot s = look(hwnd);
        HWND next = 0;
        for (HWND c : s.children) {
            RECT r;
            const Snapshot cs = look(c);
            if (cs.exists && cs.enabled && GetWindowRect(c, &r) && containsPoint(r, point)) {
                next = c;
                break;
            }
        }
        if (!next) break;
        hwnd = next;
    }
    return hwnd;
}

void plat::input::SetSleepHook(std::function<void(int ms)> hook) { t_sleepHook = std::move(hook); }

void Sleep(DWORD milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    if (!t_sleepHook) {
        std::this_thread::sleep_until(end);
        return;
    }
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        const auto hook = t_sleepHook;  // it may replace itself
        if (!hook) {
            std::this_thread::sleep_until(end);
            return;
        }
        hook(int(std::chrono::ceil<std::chrono::milliseconds>(end - now).count()));
    }
}
