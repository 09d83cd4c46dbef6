// The command bar: its menu bar's pop-ups laid out from the left, drawn with
// their texts, opened by taps. See CommandBar.h.
#include "platform/CommandBar.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Gdi.h"

namespace {

constexpr int kMenuSlot = 0;

HMENU menuOf(HWND bar) { return HMENU(GetWindowLongPtr(bar, kMenuSlot)); }

// The text as shown: the & that marks a key letter dropped ("&&" is one &).
std::u16string shown(const std::u16string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) ++i;
        out.push_back(text[i]);
    }
    return out;
}

// Each pop-up's rectangle in the bar's client area, with its shown text.
std::vector<std::pair<RECT, std::u16string>> layout(HWND bar, HDC dc) {
    std::vector<std::pair<RECT, std::u16string>> out;
    const HMENU menu = menuOf(bar);
    const int count = menu ? GetMenuItemCount(menu) : 0;
    int x = 2;
    for (int i = 0; i < count; ++i) {
        std::u16string text = shown(plat::menu::ItemText(menu, UINT(i)));
        SIZE size{0, 0};
        if (dc) GetTextExtentPoint32(dc, text.c_str(), int(text.size()), &size);
        if (size.cx <= 0) size.cx = LONG(6 * text.size());
        const int w = int(size.cx) + 12;
        out.push_back({RECT{x, 2, x + w, kCommandBarHeight - 2}, std::move(text)});
        x += w;
    }
    return out;
}

LRESULT barProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        const HDC dc = BeginPaint(h, &ps);
        RECT all;
        GetClientRect(h, &all);
        FillRect(dc, &all, HBRUSH(COLOR_BTNFACE + 1));
        SetBkMode(dc, TRANSPARENT);
        const HMENU menu = menuOf(h);
        const auto items = layout(h, dc);
        for (size_t i = 0; i < items.size(); ++i) {
            RECT r = items[i].first;
            const bool grey = GetMenuState(menu, UINT(i), MF_BYPOSITION) & MF_GRAYED;
            SetTextColor(dc, grey ? GetSysColor(COLOR_GRAYTEXT) : RGB(0, 0, 0));
            DrawText(dc, items[i].second.c_str(), int(items[i].second.size()), &r,
                     DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
        // The line between the bar and what it stands over.
        MoveToEx(dc, 0, all.bottom - 1, nullptr);
        LineTo(dc, all.right, all.bottom - 1);
        EndPaint(h, &ps);
        return 0;
    }
    case WM_LBUTTONDOWN: {
        const HMENU menu = menuOf(h);
        const POINT at{short(LOWORD(l)), short(HIWORD(l))};
        const HDC dc = GetDC(h);
        const auto items = layout(h, dc);
        ReleaseDC(h, dc);
        for (size_t i = 0; i < items.size(); ++i) {
            if (!PtInRect(&items[i].first, at)) continue;
            const HMENU sub = GetSubMenu(menu, int(i));
            if (!sub || (GetMenuState(menu, UINT(i), MF_BYPOSITION) & MF_GRAYED)) return 0;
            POINT below{items[i].first.left, kCommandBarHeight};
            ClientToScreen(h, &below);
            TrackPopupMenuEx(sub, TPM_LEFTALIGN | TPM_TOPALIGN, below.x, below.y, GetParent(h), nullptr);
            return 0;
        }
        return 0;
    }
    case WM_DESTROY:
        if (const HMENU menu = menuOf(h)) DestroyMenu(menu);
        SetWindowLongPtr(h, kMenuSlot, 0);
        return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

}  // namespace

HWND CommandBar_Create(HINSTANCE instance, HWND parent, int id) {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASS wc{};
        wc.lpfnWndProc = barProc;
        wc.cbWndExtra = int(sizeof(LONG_PTR));
        wc.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
        wc.lpszClassName = WC_COMMANDBAR;
        RegisterClass(&wc);
    });
    if (!parent) return 0;
    RECT r{};
    GetClientRect(parent, &r);
    return CreateWindowEx(0, WC_COMMANDBAR, u"", WS_CHILD | WS_VISIBLE, 0, 0, r.right - r.left, kCommandBarHeight,
                          parent, HMENU(UINT_PTR(id)), instance, nullptr);
}

BOOL CommandBar_InsertMenubar(HWND bar, HINSTANCE module, WORD menuId, WORD) {
    if (!IsWindow(bar)) return FALSE;
    const HMENU menu = LoadMenu(module, menuId);
    if (!menu) return FALSE;
    if (const HMENU old = menuOf(bar)) DestroyMenu(old);
    SetWindowLongPtr(bar, kMenuSlot, LONG_PTR(menu));
    InvalidateRect(bar, nullptr, TRUE);
    return TRUE;
}

HMENU CommandBar_GetMenu(HWND bar, WORD) { return IsWindow(bar) ? menuOf(bar) : 0; }

BOOL CommandBar_DrawMenuBar(HWND bar, WORD) { return IsWindow(bar) && InvalidateRect(bar, nullptr, TRUE); }

int CommandBar_Height(HWND bar) {
    RECT r{};
    return GetWindowRect(bar, &r) ? int(r.bottom - r.top) : 0;
}

BOOL CommandBar_Show(HWND bar, BOOL show) { return IsWindow(bar) && (ShowWindow(bar, show ? SW_SHOW : SW_HIDE), TRUE); }
