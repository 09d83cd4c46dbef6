// LISTBOX over the shared item list.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ControlsCommon.h"

namespace plat::detail::controls {
namespace {

struct ListState {
    ItemList list;
};

LRESULT listProc(HWND h, ListState& s, UINT msg, WPARAM w, LPARAM l) {
    const DWORD style = styleOf(h);
    bool handled;
    const LRESULT r = s.list.handle(msg, w, l, (style & LBS_SORT) != 0, &handled);
    if (handled) {
        if (msg != LB_GETCURSEL && msg != LB_GETTEXT && msg != LB_GETTEXTLEN && msg != LB_GETCOUNT)
            InvalidateRect(h, nullptr, TRUE);
        return r;
    }
    const bool notify = (style & LBS_NOTIFY) != 0;
    switch (msg) {
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN:
        SetFocus(h);
        userSelects(h, s.list, s.list.top + GET_Y_LPARAM(l) / kItemHeight, notify, LBN_SELCHANGE);
        return 0;
    case WM_LBUTTONDBLCLK:
        if (notify) notifyParent(h, LBN_DBLCLK);
        return 0;
    case WM_KEYDOWN:
        switch (w) {
        case VK_UP: userSelects(h, s.list, s.list.selected - 1, notify, LBN_SELCHANGE); break;
        case VK_DOWN: userSelects(h, s.list, s.list.selected + 1, notify, LBN_SELCHANGE); break;
        case VK_HOME: userSelects(h, s.list, 0, notify, LBN_SELCHANGE); break;
        case VK_END: userSelects(h, s.list, int(s.list.items.size()) - 1, notify, LBN_SELCHANGE); break;
        default: break;
        }
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (notify) notifyParent(h, msg == WM_SETFOCUS ? LBN_SETFOCUS : LBN_KILLFOCUS);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_PAINT:
        paint(h, WM_CTLCOLORLISTBOX, [&](HDC dc, RECT r) {
            if (style & WS_BORDER) frame(dc, r, RGB(0, 0, 0));
            for (size_t i = size_t(std::max(s.list.top, 0)); i < s.list.items.size(); ++i) {
                RECT row{r.left + 1, r.top + LONG(i - size_t(s.list.top)) * kItemHeight, r.right - 1, 0};
                row.bottom = row.top + kItemHeight;
                if (row.top >= r.bottom) break;
                const COLORREF text = int(i) == s.list.selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : dc->state.textColor;
                if (int(i) == s.list.selected) FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
                const COLORREF old = SetTextColor(dc, text);
                DrawText(dc, s.list.items[i].text.c_str(), -1, &row, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
                SetTextColor(dc, old);
            }
        });
        return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

}  // namespace

LRESULT listBoxClassProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return withState<ListState>(h, msg, w, l, listProc); }

}  // namespace plat::detail::controls
