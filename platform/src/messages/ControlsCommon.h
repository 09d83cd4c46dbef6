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
// controls below show through).
inline void paint(HWND hwnd, UINT ctlColor, Draw draw, bool interior = true) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (const HFONT font = HFONT(SendMessage(hwnd, WM_GETFONT, 0, 0))) SelectObject(dc, font);
    const HWND parent = GetParent(hwnd);
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
    const HGDIOBJ oldPen = SelectObject(dc, CreatePen(PS_SOLID, 1, c));
    const HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
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
        case LB_GETITEMHEIGHT: return kItemHeight;
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

// The class procedures, one per control file.
LRESULT buttonClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT staticClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT editClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT listBoxClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT comboBoxClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);
LRESULT progressClassProc(HWND h, UINT msg, WPARAM w, LPARAM l);

}  // namespace plat::detail::controls
