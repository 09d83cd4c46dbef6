// Shared parts of the standard controls (internal): the per-window state
// behind the first extra slot, painting with the parent's colours, and the
// item list that LISTBOX and the list of a COMBOBOX both hold. Each control
// lives in its own Controls*.cpp; Controls.cpp registers them.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Controls.h"
#include "platform/Gdi.h"
#include "platform/Window.h"

namespace plat::detail::controls {

constexpr int kItemHeight = 16;
constexpr const char16_t* kComboListClass = u"ComboLBox";
constexpr size_t kDefaultEditLimit = 30000;

// ---- shared helpers ----

template <typename T>
T* stateOf(HWND hwnd) {
    return reinterpret_cast<T*>(GetWindowLongPtr(hwnd, 0));
}

template <typename T>
inline LRESULT withState(HWND hwnd, UINT msg, WPARAM w, LPARAM l, LRESULT (*handle)(HWND, T&, UINT, WPARAM, LPARAM)) {
    if (msg == WM_NCCREATE) SetWindowLongPtr(hwnd, 0, LONG_PTR(new T));
    T* s = stateOf<T>(hwnd);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtr(hwnd, 0, 0);
        delete s;
        return 0;
    }
    if (!s) return DefWindowProc(hwnd, msg, w, l);
    return handle(hwnd, *s, msg, w, l);
}

inline DWORD styleOf(HWND hwnd) { return DWORD(GetWindowLongPtr(hwnd, GWL_STYLE)); }

inline void notifyParent(HWND hwnd, UINT code) {
    const HWND parent = GetParent(hwnd);
    if (parent) SendMessage(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code), LPARAM(hwnd));
}

// Paints the control: background from the parent's WM_CTLCOLOR* answer (the
// default colours when the parent has none), then draw.
template <typename Draw>
// interior false: only what draw fills is painted (a group box lets the
// controls below show through). colours: the window whose parent is asked
// (a combo box's pop-up list asks for the combo box).
inline void paint(HWND hwnd, UINT ctlColor, Draw draw, bool interior = true, HWND colours = 0) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!colours) colours = hwnd;
    if (const HFONT font = HFONT(SendMessage(colours, WM_GETFONT, 0, 0))) SelectObject(dc, font);
    const HWND parent = GetParent(colours);
    HBRUSH brush = parent ? HBRUSH(SendMessage(parent, ctlColor, WPARAM(dc), LPARAM(hwnd))) : 0;
    if (!brush) brush = HBRUSH(DefWindowProc(hwnd, ctlColor, WPARAM(dc), LPARAM(hwnd)));
    RECT r;
    GetClientRect(hwnd, &r);
    if (interior) FillRect(dc, &r, brush);
    SetBkMode(dc, TRANSPARENT);
    if (!IsWindowEnabled(hwnd)) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    draw(dc, r);
    EndPaint(hwnd, &ps);
}

inline void frame(HDC dc, const RECT& r, COLORREF c) {
    const HGDIOBJ pen = CreatePen(PS_SOLID, 1, c);
    const HGDIOBJ oldPen = SelectObject(dc, pen);
    const HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
}

// The height of a line of text in the window's font (0 where nothing measures).
inline int lineHeightOf(HWND hwnd) {
    HDC dc = GetDC(hwnd);
    if (!dc) return 0;
    if (const HFONT font = HFONT(SendMessage(hwnd, WM_GETFONT, 0, 0))) SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32(dc, u"Ag", 2, &size);
    ReleaseDC(hwnd, dc);
    return int(size.cy);
}

// The focus rectangle: a dotted line in the text colour just inside r.
inline void focusFrame(HDC dc, const RECT& r) {
    if (r.right - r.left < 2 || r.bottom - r.top < 2) return;
    const HBRUSH ink = CreateSolidBrush(dc->state.textColor);
    const auto dot = [&](LONG x, LONG y) {
        const RECT d{x, y, x + 1, y + 1};
        FillRect(dc, &d, ink);
    };
    for (LONG x = r.left; x < r.right; x += 2) {
        dot(x, r.top);
        dot(x, r.bottom - 1);
    }
    for (LONG y = r.top; y < r.bottom; y += 2) {
        dot(r.left, y);
        dot(r.right - 1, y);
    }
    DeleteObject(ink);
}

inline std::u16string folded(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    return out;
}

inline char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; }
inline char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

inline LRESULT copyText(const std::u16string& text, WPARAM max, LPARAM buffer) {
    auto* out = reinterpret_cast<char16_t*>(buffer);
    if (!out || max == 0) return 0;
    const size_t n = std::min(text.size(), size_t(max) - 1);
    std::copy_n(text.data(), n, out);
    out[n] = 0;
    return LRESULT(n);
}

// ---- item lists (LISTBOX and the list of a COMBOBOX) ----

struct Item {
    std::u16string text;
    LPARAM data = 0;
};

struct ItemList {
    std::vector<Item> items;
    int selected = -1;
    int top = 0;
    int itemHeight = kItemHeight;

    int count() const { return int(items.size()); }
    // The first row shown, so that no row stays blank below the last item.
    void clampTop(int rows) { top = std::clamp(top, 0, std::max(0, count() - rows)); }
    // Scrolls the least that shows the selection.
    void showSelection(int rows) {
        if (selected >= 0 && selected < top) top = selected;
        if (selected >= top + rows) top = selected - rows + 1;
        clampTop(rows);
    }

    LRESULT add(std::u16string text, bool sorted) {
        size_t at = items.size();
        if (sorted) {
            const std::u16string key = folded(text);
            at = size_t(std::upper_bound(items.begin(), items.end(), key,
                                         [](const std::u16string& k, const Item& i) { return k < folded(i.text); }) -
                        items.begin());
        }
        return insert(LRESULT(at), std::move(text));
    }
    LRESULT insert(LRESULT at, std::u16string text) {
        if (at < 0 || size_t(at) > items.size()) at = LRESULT(items.size());
        items.insert(items.begin() + at, Item{std::move(text), 0});
        if (selected >= at) ++selected;
        return at;
    }
    LRESULT erase(WPARAM at) {
        if (at >= items.size()) return -1;
        items.erase(items.begin() + LONG_PTR(at));
        if (selected == int(at)) selected = -1;
        else if (selected > int(at)) --selected;
        return LRESULT(items.size());
    }
    LRESULT find(WPARAM after, LPARAM text, bool exact) const {
        if (!text || items.empty()) return -1;
        const std::u16string key = folded(reinterpret_cast<const char16_t*>(text));
        const size_t n = items.size();
        const size_t start = after == WPARAM(-1) || after >= n ? 0 : size_t(after) + 1;
        for (size_t k = 0; k < n; ++k) {
            const size_t i = (start + k) % n;
            const std::u16string f = folded(items[i].text);
            if (exact ? f == key : f.compare(0, key.size(), key) == 0) return LRESULT(i);
        }
        return -1;
    }
    // The LB_/CB_ messages they share; `handled` is cleared for the others.
    LRESULT handle(UINT op, WPARAM w, LPARAM l, bool sorted, bool* handled) {
        *handled = true;
        switch (op) {
        case LB_ADDSTRING: return add(l ? reinterpret_cast<const char16_t*>(l) : u"", sorted);
        case LB_INSERTSTRING: return insert(LRESULT(w), l ? reinterpret_cast<const char16_t*>(l) : u"");
        case LB_DELETESTRING: return erase(w);
        case LB_RESETCONTENT:
            items.clear();
            selected = -1;
            top = 0;
            return 0;
        case LB_SETCURSEL:
            if (w == WPARAM(-1)) {
                selected = -1;
                return -1;  // as Windows answers a cleared selection
            }
            if (w >= items.size()) return -1;
            selected = int(w);
            return LRESULT(w);
        case LB_GETCURSEL: return selected;
        case LB_GETTEXT: {
            if (w >= items.size() || !l) return -1;
            const std::u16string& t = items[w].text;
            auto* out = reinterpret_cast<char16_t*>(l);
            std::copy(t.begin(), t.end(), out);
            out[t.size()] = 0;
            return LRESULT(t.size());
        }
        case LB_GETTEXTLEN: return w < items.size() ? LRESULT(items[w].text.size()) : -1;
        case LB_GETCOUNT: return LRESULT(items.size());
        case LB_FINDSTRING: return find(w, l, false);
        case LB_FINDSTRINGEXACT: return find(w, l, true);
        case LB_SELECTSTRING: {
            const LRESULT i = find(w, l, false);
            if (i >= 0) selected = int(i);
            return i;
        }
        case LB_GETITEMDATA: return w < items.size() ? items[w].data : -1;
        case LB_SETITEMDATA:
            if (w >= items.size()) return -1;
            items[w].data = l;
            return 0;
        case LB_GETTOPINDEX: return top;
        case LB_SETTOPINDEX:
            if (w >= items.size() && !items.empty()) return -1;
            top = int(w);
            return 0;
        case LB_GETITEMHEIGHT: return itemHeight;
        case LB_SETITEMHEIGHT:
            if (LOWORD(uintptr_t(l)) == 0 || LOWORD(uintptr_t(l)) > 255) return -1;
            itemHeight = LOWORD(uintptr_t(l));
            return 0;
        default: *handled = false; return 0;
        }
    }
};

// COMBOBOX messages translated to the list messages with the same meaning.
inline UINT listOpOf(UINT cb) {
    switch (cb) {
    case CB_ADDSTRING: return LB_ADDSTRING;
    case CB_INSERTSTRING: return LB_INSERTSTRING;
    case CB_DELETESTRING: return LB_DELETESTRING;
    case CB_RESETCONTENT: return LB_RESETCONTENT;
    case CB_SETCURSEL: return LB_SETCURSEL;
    case CB_GETCURSEL: return LB_GETCURSEL;
    case CB_GETLBTEXT: return LB_GETTEXT;
    case CB_GETLBTEXTLEN: return LB_GETTEXTLEN;
    case CB_GETCOUNT: return LB_GETCOUNT;
    case CB_FINDSTRING: return LB_FINDSTRING;
    case CB_FINDSTRINGEXACT: return LB_FINDSTRINGEXACT;
    case CB_SELECTSTRING: return LB_SELECTSTRING;
    case CB_GETITEMDATA: return LB_GETITEMDATA;
    case CB_SETITEMDATA: return LB_SETITEMDATA;
    case CB_GETITEMHEIGHT: return LB_GETITEMHEIGHT;
    case CB_SETITEMHEIGHT: return LB_SETITEMHEIGHT;
    case CB_GETTOPINDEX: return LB_GETTOPINDEX;
    case CB_SETTOPINDEX: return LB_SETTOPINDEX;
    default: return 0;
    }
}

inline void userSelects(HWND h, ItemList& list, int index, bool notify, UINT code) {
    if (list.items.empty()) return;
    index = std::clamp(index, 0, int(list.items.size()) - 1);
    if (index == list.selected) return;
    list.selected = index;
    InvalidateRect(h, nullptr, TRUE);
    if (notify) notifyParent(h, code);
}

// ---- a list in a rectangle: rows, scroll bar, owner-draw ----

constexpr int kScrollBarWidth = 13;

// Where the rows and the scroll bar of a list lie in its client area.
struct ListLayout {
    RECT rows{};
    RECT bar{};  // empty: no scroll bar
    int visible = 1;  // whole rows that fit, at least one
};

// The bar shows when the window asks for one (WS_VSCROLL) and the items do
// not all fit.
inline ListLayout listLayout(const ItemList& list, RECT client, bool border, bool wantBar) {
    ListLayout v;
    if (border) InflateRect(&client, -1, -1);
    v.rows = client;
    v.visible = std::max(1, int(client.bottom - client.top) / std::max(1, list.itemHeight));
    if (wantBar && list.count() > v.visible) {
        v.bar = RECT{client.right - kScrollBarWidth, client.top, client.right, client.bottom};
        v.rows.right = v.bar.left;
    }
    return v;
}

inline ListLayout listLayoutOf(HWND h, const ItemList& list) {
    RECT r;
    GetClientRect(h, &r);
    const DWORD style = styleOf(h);
    return listLayout(list, r, (style & WS_BORDER) != 0, (style & WS_VSCROLL) != 0);
}

// The track of a vertical bar between its arrow boxes, and the thumb in it.
inline RECT thumbOf(const ListLayout& v, int count, int top) {
    const int side = int(v.bar.right - v.bar.left);
    const LONG trackTop = v.bar.top + side, trackBottom = v.bar.bottom - side;
    const LONG track = std::max<LONG>(0, trackBottom - trackTop);
    const LONG length = std::clamp<LONG>(LONG(int64_t(track) * v.visible / std::max(1, count)), std::min<LONG>(8, track), track);
    const int range = std::max(1, count - v.visible);
    const LONG at = trackTop + LONG(int64_t(track - length) * std::clamp(top, 0, range) / range);
    return RECT{v.bar.left, at, v.bar.right, at + length};
}

// The first row after a tap on the bar: arrows scroll one row, the track a
// page.
inline int scrolledTop(const ItemList& list, const ListLayout& v, POINT p) {
    const int side = int(v.bar.right - v.bar.left);
    const RECT thumb = thumbOf(v, list.count(), list.top);
    if (p.y < v.bar.top + side) return list.top - 1;
    if (p.y >= v.bar.bottom - side) return list.top + 1;
    if (p.y < thumb.top) return list.top - v.visible;
    if (p.y >= thumb.bottom) return list.top + v.visible;
    return list.top;
}

// A small filled triangle pointing up or down, centred in box.
inline void arrow(HDC dc, const RECT& box, bool up) {
    const int cx = int(box.left + box.right) / 2, cy = int(box.top + box.bottom) / 2;
    for (int i = 0; i < 4; ++i) {
        const int y = up ? cy - 2 + i : cy + 1 - i;
        MoveToEx(dc, cx - i, y, nullptr);
        LineTo(dc, cx + i + 1, y);
    }
}

inline void drawScrollBar(HDC dc, const ListLayout& v, int count, int top) {
    if (IsRectEmpty(&v.bar)) return;
    FillRect(dc, &v.bar, GetSysColorBrush(COLOR_BTNFACE));
    const int side = int(v.bar.right - v.bar.left);
    const RECT up{v.bar.left, v.bar.top, v.bar.right, v.bar.top + side};
    const RECT down{v.bar.left, v.bar.bottom - side, v.bar.right, v.bar.bottom};
    frame(dc, up, RGB(0, 0, 0));
    frame(dc, down, RGB(0, 0, 0));
    const HGDIOBJ oldPen = SelectObject(dc, CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
    arrow(dc, up, true);
    arrow(dc, down, false);
    SelectObject(dc, oldPen);
    RECT thumb = thumbOf(v, count, top);
    if (thumb.bottom > thumb.top) {
        FillRect(dc, &thumb, GetSysColorBrush(COLOR_GRAYTEXT));
        frame(dc, thumb, RGB(0, 0, 0));
    }
}

// Draws the rows from the top index. ownerDraw: the ODT_ type of the items,
// drawn by owner's parent with WM_DRAWITEM; 0: the list draws the texts.
inline void drawRows(HDC dc, const ItemList& list, const ListLayout& v, HWND owner, UINT ownerDraw, bool focused) {
    for (int i = std::max(list.top, 0); i < list.count(); ++i) {
        RECT row{v.rows.left, v.rows.top + LONG(i - list.top) * list.itemHeight, v.rows.right, 0};
        row.bottom = row.top + list.itemHeight;
        if (row.top >= v.rows.bottom) break;
        const bool selected = i == list.selected;
        if (ownerDraw) {
            DRAWITEMSTRUCT di{ownerDraw, UINT(GetDlgCtrlID(owner)), UINT(i), ODA_DRAWENTIRE,
                              UINT((selected ? ODS_SELECTED : 0) | (selected && focused ? ODS_FOCUS : 0)), owner, dc, row,
                              uintptr_t(list.items[size_t(i)].data)};
            SendMessage(GetParent(owner), WM_DRAWITEM, WPARAM(di.CtlID), LPARAM(&di));
            continue;
        }
        const COLORREF text = selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : dc->state.textColor;
        if (selected) FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
        const COLORREF old = SetTextColor(dc, text);
        RECT inset = row;
        inset.left += 2;
        DrawText(dc, list.items[size_t(i)].text.c_str(), -1, &inset, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        // A focused list marks its chosen row, or its first row when none is.
        if (focused && (selected || (list.selected < 0 && i == std::max(list.top, 0)))) focusFrame(dc, row);
        SetTextColor(dc, old);
    }
    drawScrollBar(dc, v, list.count(), list.top);
}

// Asks the parent for the height of owner-drawn items (WM_MEASUREITEM).
inline void measureItems(HWND h, ItemList& list, UINT ownerDraw) {
    MEASUREITEMSTRUCT mi{ownerDraw, UINT(GetDlgCtrlID(h)), 0, 0, UINT(list.itemHeight), 0};
    if (const HWND parent = GetParent(h)) SendMessage(parent, WM_MEASUREITEM, WPARAM(mi.CtlID), LPARAM(&mi));
    if (mi.itemHeight > 0 && mi.itemHeight < 256) list.itemHeight = int(mi.itemHeight);
}

// The class procedures, one per control file.
LRESULT buttonClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT staticClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT editClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT listBoxClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT comboListClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);  // a combo box's pop-up list
LRESULT comboBoxClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT progressClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT listViewClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT scrollBarClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);

}  // namespace plat::detail::controls
