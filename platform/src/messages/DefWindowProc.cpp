// The default window procedure.
#include <algorithm>

#include "WindowModel.h"
#include "platform/Gdi.h"
#include "platform/Window.h"

using namespace plat::detail;
using namespace plat::window;

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
    case WM_MOUSEACTIVATE: {
        // The parent decides first; a window that never activates says so.
        DWORD ex = 0;
        HWND parent = 0;
        {
            std::lock_guard lock(state().mutex);
            const Window* w = findWindow(hwnd);
            if (!w) return MA_NOACTIVATE;
            parent = w->parent;
            const Window* top = w;
            while (top && top->parent) top = findWindow(top->parent);
            ex = top ? top->exStyle : 0;
        }
        if (parent)
            if (const LRESULT r = call(parent, WM_MOUSEACTIVATE, wParam, lParam)) return r;
        return (ex & WS_EX_NOACTIVATE) ? MA_NOACTIVATE : MA_ACTIVATE;
    }
    case WM_NCHITTEST: {
        RECT r;
        if (!GetWindowRect(hwnd, &r)) return HTNOWHERE;
        const LONG x = SHORT(LOWORD(lParam)), y = SHORT(HIWORD(lParam));
        return x >= r.left && x < r.right && y >= r.top && y < r.bottom ? HTCLIENT : HTNOWHERE;
    }
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
