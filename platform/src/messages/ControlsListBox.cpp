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

UINT ownerDrawOf(HWND h) { return (styleOf(h) & LBS_OWNERDRAWFIXED) ? ODT_LISTBOX : 0; }

// The user picks a row: selected, scrolled into view, announced with LBS_NOTIFY.
void choose(HWND h, ItemList& list, int index, bool notify) {
    userSelects(h, list, index, notify, LBN_SELCHANGE);
    const int before = list.top;
    list.showSelection(listLayoutOf(h, list).visible);
    if (list.top != before) InvalidateRect(h, nullptr, TRUE);
}

void scrollTo(HWND h, ItemList& list, int top) {
    const int before = list.top;
    list.top = top;
    list.clampTop(listLayoutOf(h, list).visible);
    if (list.top != before) InvalidateRect(h, nullptr, TRUE);
}

LRESULT listProc(HWND h, ListState& s, UINT msg, WPARAM w, LPARAM l) {
    const DWORD style = styleOf(h);
    bool handled;
    const LRESULT r = s.list.handle(msg, w, l, (style & LBS_SORT) != 0, &handled);
    if (handled) {
        if (msg == LB_SETCURSEL || msg == LB_SELECTSTRING) s.list.showSelection(listLayoutOf(h, s.list).visible);
        if (msg == LB_SETTOPINDEX || msg == LB_DELETESTRING) s.list.clampTop(listLayoutOf(h, s.list).visible);
        if (msg != LB_GETCURSEL && msg != LB_GETTEXT && msg != LB_GETTEXTLEN && msg != LB_GETCOUNT)
            InvalidateRect(h, nullptr, TRUE);
        return r;
    }
    const bool notify = (style & LBS_NOTIFY) != 0;
    switch (msg) {
    case WM_CREATE:
        if (const UINT od = ownerDrawOf(h)) measureItems(h, s.list, od);
        return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case LB_ITEMFROMPOINT: {
        const ListLayout v = listLayoutOf(h, s.list);
        const POINT p{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
        const int row = s.list.top + int(p.y - v.rows.top) / s.list.itemHeight;
        const bool outside = !PtInRect(&v.rows, p) || row >= s.list.count();
        return MAKELPARAM(std::clamp(row, 0, std::max(0, s.list.count() - 1)), outside ? 1 : 0);
    }
    case WM_LBUTTONDOWN: {
        SetFocus(h);
        const ListLayout v = listLayoutOf(h, s.list);
        const POINT p{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
        if (PtInRect(&v.bar, p)) {
            scrollTo(h, s.list, scrolledTop(s.list, v, p));
            return 0;
        }
        const int row = s.list.top + int(p.y - v.rows.top) / s.list.itemHeight;
        if (row < s.list.count()) choose(h, s.list, row, notify);
        return 0;
    }
    case WM_LBUTTONDBLCLK:
        if (notify) notifyParent(h, LBN_DBLCLK);
        return 0;
    case WM_VSCROLL: {
        const int page = listLayoutOf(h, s.list).visible;
        switch (LOWORD(w)) {
        case SB_LINEUP: scrollTo(h, s.list, s.list.top - 1); break;
        case SB_LINEDOWN: scrollTo(h, s.list, s.list.top + 1); break;
        case SB_PAGEUP: scrollTo(h, s.list, s.list.top - page); break;
        case SB_PAGEDOWN: scrollTo(h, s.list, s.list.top + page); break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: scrollTo(h, s.list, HIWORD(w)); break;
        case SB_TOP: scrollTo(h, s.list, 0); break;
        case SB_BOTTOM: scrollTo(h, s.list, s.list.count()); break;
        default: break;
        }
        return 0;
    }
    case WM_KEYDOWN: {
        const int page = listLayoutOf(h, s.list).visible;
        switch (w) {
        case VK_UP: choose(h, s.list, s.list.selected - 1, notify); break;
        case VK_DOWN: choose(h, s.list, s.list.selected + 1, notify); break;
        case VK_PRIOR: choose(h, s.list, s.list.selected - page + 1, notify); break;
        case VK_NEXT: choose(h, s.list, std::max(s.list.selected, 0) + page - 1, notify); break;
        case VK_HOME: choose(h, s.list, 0, notify); break;
        case VK_END: choose(h, s.list, s.list.count() - 1, notify); break;
        default: break;
        }
        return 0;
    }
    case WM_SETFONT: {
        const LRESULT done = DefWindowProc(h, msg, w, l);
        // Rows as tall as the font's lines, so a large font does not run
        // into the next row; owner-drawn rows keep what their owner measured.
        if (!ownerDrawOf(h)) {
            s.list.itemHeight = std::max(kItemHeight, lineHeightOf(h));
            s.list.clampTop(listLayoutOf(h, s.list).visible);
            if (LOWORD(l)) InvalidateRect(h, nullptr, TRUE);
        }
        return done;
    }
    case WM_SIZE:
        s.list.clampTop(listLayoutOf(h, s.list).visible);
        return DefWindowProc(h, msg, w, l);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (notify) notifyParent(h, msg == WM_SETFOCUS ? LBN_SETFOCUS : LBN_KILLFOCUS);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_PAINT:
        paint(h, WM_CTLCOLORLISTBOX, [&](HDC dc, RECT r) {
            if (style & WS_BORDER) frame(dc, r, RGB(0, 0, 0));
            drawRows(dc, s.list, listLayoutOf(h, s.list), h, ownerDrawOf(h), GetFocus() == h);
        });
        return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

}  // namespace

LRESULT listBoxClassProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return withState<ListState>(h, msg, w, l, listProc); }

}  // namespace plat::detail::controls
