// "SysListView32": items in a grid of icons or in rows, one selected at a
// time, told to the parent through WM_NOTIFY.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ControlsCommon.h"
#include "platform/ListView.h"

namespace plat::detail::controls {
namespace {

struct LvItem {
    std::u16string label;
    std::vector<std::u16string> sub;  // sub-items 1..n
    int image = 0;
    LPARAM param = 0;
    UINT state = 0;
};

struct Column {
    std::u16string text;
    int width = 0;
};

struct ListViewState {
    std::vector<LvItem> items;
    std::vector<Column> columns;
    HIMAGELIST normal = 0, small = 0;
    int top = 0;  // the first row (of the grid in the icon view) shown
    bool redraw = true;
};

constexpr int kHeaderHeight = 18;
constexpr int kRowHeight = 18;
constexpr int kCellWidth = 76;
constexpr int kCellHeight = 58;
constexpr int kBigImage = 32;
constexpr int kSmallImage = 16;

DWORD viewOf(HWND h) { return styleOf(h) & LVS_TYPEMASK; }

// Rows and columns of the view in the client area.
struct Grid {
    RECT area{};   // below the header
    int columns = 1;
    int cellWidth = 0;
    int cellHeight = kRowHeight;
    int visibleRows = 1;
};

Grid gridOf(HWND h) {
    Grid g;
    GetClientRect(h, &g.area);
    if (styleOf(h) & WS_BORDER) InflateRect(&g.area, -1, -1);
    const DWORD view = viewOf(h);
    if (view == LVS_REPORT && !(styleOf(h) & LVS_NOCOLUMNHEADER)) g.area.top += kHeaderHeight;
    g.cellWidth = int(g.area.right - g.area.left);
    if (view == LVS_ICON) {
        g.cellWidth = kCellWidth;
        g.cellHeight = kCellHeight;
        g.columns = std::max(1, int(g.area.right - g.area.left) / kCellWidth);
    }
    g.visibleRows = std::max(1, int(g.area.bottom - g.area.top) / g.cellHeight);
    return g;
}

RECT cellOf(const Grid& g, const ListViewState& s, int index) {
    const int row = index / g.columns - s.top, col = index % g.columns;
    const LONG left = g.area.left + col * g.cellWidth, top = g.area.top + row * g.cellHeight;
    return RECT{left, top, left + g.cellWidth, top + g.cellHeight};
}

int hitTest(HWND h, const ListViewState& s, POINT p) {
    const Grid g = gridOf(h);
    if (!PtInRect(&g.area, p)) return -1;
    const int col = int(p.x - g.area.left) / g.cellWidth;
    if (col >= g.columns) return -1;
    const int index = (s.top + int(p.y - g.area.top) / g.cellHeight) * g.columns + col;
    return index < int(s.items.size()) ? index : -1;
}

LRESULT notify(HWND h, UINT code, int item, UINT newState = 0, UINT oldState = 0, UINT changed = 0, LPARAM param = 0) {
    NMLISTVIEW nm{NMHDR{h, UINT_PTR(GetDlgCtrlID(h)), code}, item, 0, newState, oldState, changed, POINT{}, param};
    const HWND parent = GetParent(h);
    return parent ? SendMessage(parent, WM_NOTIFY, WPARAM(nm.hdr.idFrom), LPARAM(&nm)) : 0;
}

void ensureVisible(HWND h, ListViewState& s, int index) {
    if (index < 0 || index >= int(s.items.size())) return;
    const Grid g = gridOf(h);
    const int row = index / g.columns;
    if (row < s.top) s.top = row;
    if (row >= s.top + g.visibleRows) s.top = row - g.visibleRows + 1;
}

// Sets the state bits under mask of one item, telling the parent of a change.
void setState(HWND h, ListViewState& s, int index, UINT state, UINT mask) {
    LvItem& item = s.items[size_t(index)];
    const UINT old = item.state;
    item.state = (item.state & ~mask) | (state & mask);
    if (item.state != old) {
        InvalidateRect(h, nullptr, TRUE);
        notify(h, LVN_ITEMCHANGED, index, item.state, old, LVIF_STATE, item.param);
    }
}

// One selected (and focused) item: the others lose the selection first.
void select(HWND h, ListViewState& s, int index) {
    for (int i = 0; i < int(s.items.size()); ++i)
        if (i != index && (s.items[size_t(i)].state & (LVIS_SELECTED | LVIS_FOCUSED)))
            setState(h, s, i, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (index >= 0) {
        setState(h, s, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ensureVisible(h, s, index);
    }
}

int selectedIndex(const ListViewState& s) {
    for (int i = 0; i < int(s.items.size()); ++i)
        if (s.items[size_t(i)].state & LVIS_SELECTED) return i;
    return -1;
}

std::u16string* textOf(LvItem& item, int sub) {
    if (sub <= 0) return &item.label;
    if (item.sub.size() < size_t(sub)) item.sub.resize(size_t(sub));
    return &item.sub[size_t(sub - 1)];
}

LRESULT copyOut(const std::u16string& text, LVITEM* out) {
    if (!out->pszText || out->cchTextMax <= 0) return 0;
    const size_t n = std::min(text.size(), size_t(out->cchTextMax) - 1);
    std::copy_n(text.data(), n, out->pszText);
    out->pszText[n] = 0;
    return LRESULT(n);
}

void paintView(HWND h, ListViewState& s, HDC dc, RECT r) {
    FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
    const Grid g = gridOf(h);
    const DWORD view = viewOf(h);
    const bool showSelection = GetFocus() == h || (styleOf(h) & LVS_SHOWSELALWAYS);
    if (view == LVS_REPORT && !(styleOf(h) & LVS_NOCOLUMNHEADER)) {
        LONG x = g.area.left;
        for (const Column& c : s.columns) {
            RECT cell{x, g.area.top - kHeaderHeight, x + c.width, g.area.top};
            FillRect(dc, &cell, GetSysColorBrush(COLOR_BTNFACE));
            frame(dc, cell, RGB(128, 128, 128));
            RECT text = cell;
            text.left += 3;
            DrawText(dc, c.text.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            x += c.width;
        }
    }
    for (int i = s.top * g.columns; i < int(s.items.size()); ++i) {
        const RECT cell = cellOf(g, s, i);
        if (cell.top >= g.area.bottom) break;
        const LvItem& item = s.items[size_t(i)];
        const bool selected = (item.state & LVIS_SELECTED) && showSelection;
        const COLORREF text = selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : GetSysColor(COLOR_WINDOWTEXT);
        if (view == LVS_ICON) {
            const int x = int(cell.left + cell.right - kBigImage) / 2;
            if (s.normal) ImageList_Draw(s.normal, item.image, dc, x, int(cell.top) + 2, ILD_TRANSPARENT);
            RECT label{cell.left + 2, cell.top + kBigImage + 4, cell.right - 2, cell.bottom - 1};
            if (selected) FillRect(dc, &label, GetSysColorBrush(COLOR_HIGHLIGHT));
            SetTextColor(dc, text);
            DrawText(dc, item.label.c_str(), -1, &label, DT_CENTER | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
            continue;
        }
        RECT row = cell;
        if (view == LVS_REPORT && !s.columns.empty()) row.right = row.left + s.columns[0].width;
        if (selected) FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
        if (s.small) ImageList_Draw(s.small, item.image, dc, int(row.left) + 1, int(row.top) + 1, ILD_TRANSPARENT);
        SetTextColor(dc, text);
        RECT label{row.left + (s.small ? kSmallImage + 4 : 2), row.top, row.right, row.bottom};
        DrawText(dc, item.label.c_str(), -1, &label, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if (view != LVS_REPORT) continue;
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        LONG x = row.right;
        for (size_t c = 1; c < s.columns.size(); ++c) {
            RECT sub{x + 3, row.top, x + s.columns[c].width, row.bottom};
            if (c - 1 < item.sub.size()) DrawText(dc, item.sub[c - 1].c_str(), -1, &sub, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            x += s.columns[c].width;
        }
    }
    if (styleOf(h) & WS_BORDER) frame(dc, r, RGB(0, 0, 0));
}

void deleteAll(HWND h, ListViewState& s) {
    // The parent may answer TRUE to hear of no item on its own.
    const bool each = !notify(h, LVN_DELETEALLITEMS, -1);
    for (int i = 0; each && i < int(s.items.size()); ++i) notify(h, LVN_DELETEITEM, i, 0, 0, 0, s.items[size_t(i)].param);
    s.items.clear();
    s.top = 0;
}

LRESULT listViewProc(HWND h, ListViewState& s, UINT msg, WPARAM w, LPARAM l) {
    const auto changed = [&] {
        if (s.redraw) InvalidateRect(h, nullptr, TRUE);
    };
    const int count = int(s.items.size());
    switch (msg) {
    case LVM_SETIMAGELIST: {
        HIMAGELIST& slot = int(w) == LVSIL_SMALL ? s.small : s.normal;
        const HIMAGELIST old = std::exchange(slot, HIMAGELIST(l));
        changed();
        return LRESULT(old);
    }
    case LVM_INSERTCOLUMN: {
        const auto* c = reinterpret_cast<const LVCOLUMN*>(l);
        if (!c) return -1;
        const size_t at = std::min(size_t(w), s.columns.size());
        s.columns.insert(s.columns.begin() + std::ptrdiff_t(at),
                         Column{(c->mask & LVCF_TEXT) && c->pszText ? std::u16string(c->pszText) : std::u16string(),
                                (c->mask & LVCF_WIDTH) ? std::max(0, c->cx) : 60});
        changed();
        return LRESULT(at);
    }
    case LVM_INSERTITEM: {
        const auto* in = reinterpret_cast<const LVITEM*>(l);
        if (!in || in->iSubItem != 0) return -1;
        LvItem item;
        if ((in->mask & LVIF_TEXT) && in->pszText) item.label = in->pszText;
        if (in->mask & LVIF_IMAGE) item.image = in->iImage;
        if (in->mask & LVIF_PARAM) item.param = in->lParam;
        const int at = std::clamp(in->iItem, 0, count);
        s.items.insert(s.items.begin() + at, std::move(item));
        if (in->mask & LVIF_STATE) {
            if (in->state & in->stateMask & LVIS_SELECTED) select(h, s, at);
            else setState(h, s, at, in->state, in->stateMask);
        }
        changed();
        return at;
    }
    case LVM_SETITEM:
    case LVM_SETITEMTEXT: {
        auto* in = reinterpret_cast<LVITEM*>(l);
        const int index = msg == LVM_SETITEM ? (in ? in->iItem : -1) : int(w);
        if (!in || index < 0 || index >= count || in->iSubItem < 0 || in->iSubItem > 255) return FALSE;
        LvItem& item = s.items[size_t(index)];
        if ((msg == LVM_SETITEMTEXT || (in->mask & LVIF_TEXT)) && in->pszText) *textOf(item, in->iSubItem) = in->pszText;
        if (msg == LVM_SETITEM && in->iSubItem == 0) {
            if (in->mask & LVIF_IMAGE) item.image = in->iImage;
            if (in->mask & LVIF_PARAM) item.param = in->lParam;
            if (in->mask & LVIF_STATE) setState(h, s, index, in->state, in->stateMask);
        }
        changed();
        return TRUE;
    }
    case LVM_GETITEM: {
        auto* out = reinterpret_cast<LVITEM*>(l);
        if (!out || out->iItem < 0 || out->iItem >= count || out->iSubItem < 0) return FALSE;
        LvItem& item = s.items[size_t(out->iItem)];
        if (out->mask & LVIF_TEXT) copyOut(*textOf(item, out->iSubItem), out);
        if (out->mask & LVIF_IMAGE) out->iImage = item.image;
        if (out->mask & LVIF_PARAM) out->lParam = item.param;
        if (out->mask & LVIF_STATE) out->state = item.state & out->stateMask;
        return TRUE;
    }
    case LVM_GETITEMTEXT: {
        auto* out = reinterpret_cast<LVITEM*>(l);
        if (!out || int(w) < 0 || int(w) >= count || out->iSubItem < 0) return 0;
        return copyOut(*textOf(s.items[w], out->iSubItem), out);
    }
    case LVM_GETITEMCOUNT: return count;
    case LVM_DELETEITEM: {
        if (int(w) < 0 || int(w) >= count) return FALSE;
        notify(h, LVN_DELETEITEM, int(w), 0, 0, 0, s.items[w].param);
        s.items.erase(s.items.begin() + std::ptrdiff_t(w));
        s.top = std::min(s.top, std::max(0, int(s.items.size()) - 1));
        changed();
        return TRUE;
    }
    case LVM_DELETEALLITEMS:
        deleteAll(h, s);
        changed();
        return TRUE;
    case WM_DESTROY:
        // The parent hears of every item going, as with LVM_DELETEALLITEMS,
        // so what it keeps in the items' data is freed with the list.
        deleteAll(h, s);
        return DefWindowProc(h, msg, w, l);
    case LVM_GETNEXTITEM: {
        const UINT want = UINT(l) & (LVNI_SELECTED | LVNI_FOCUSED);
        for (int i = int(LONG_PTR(w)) + 1; i < count; ++i) {
            const UINT st = s.items[size_t(i)].state;
            if (((want & LVNI_SELECTED) && !(st & LVIS_SELECTED)) || ((want & LVNI_FOCUSED) && !(st & LVIS_FOCUSED))) continue;
            return i;
        }
        return -1;
    }
    case LVM_SETITEMSTATE: {
        const auto* in = reinterpret_cast<const LVITEM*>(l);
        if (!in) return FALSE;
        const int index = int(LONG_PTR(w));
        if (index >= count || index < -1) return FALSE;
        if (index >= 0 && (in->state & in->stateMask & LVIS_SELECTED)) {
            select(h, s, index);
            setState(h, s, index, in->state, in->stateMask & ~(LVIS_SELECTED | LVIS_FOCUSED));
        } else {
            for (int i = index < 0 ? 0 : index; i < (index < 0 ? count : index + 1); ++i) setState(h, s, i, in->state, in->stateMask);
        }
        return TRUE;
    }
    case LVM_GETITEMSTATE: return int(w) >= 0 && int(w) < count ? LRESULT(s.items[w].state & UINT(l)) : 0;
    case LVM_ENSUREVISIBLE:
        ensureVisible(h, s, int(w));
        changed();
        return TRUE;
    case LVM_GETTOPINDEX: return s.top * gridOf(h).columns;
    case WM_SETREDRAW:
        s.redraw = w != 0;
        if (s.redraw) InvalidateRect(h, nullptr, TRUE);
        return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_LBUTTONDOWN: {
        SetFocus(h);
        const int index = hitTest(h, s, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)});
        if (index >= 0) select(h, s, index);
        notify(h, NM_CLICK, index);
        return 0;
    }
    case WM_LBUTTONDBLCLK:
        notify(h, NM_DBLCLK, hitTest(h, s, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)}));
        return 0;
    case WM_KEYDOWN: {
        const int at = selectedIndex(s);
        const int columns = gridOf(h).columns;
        int to = at;
        switch (w) {
        case VK_RETURN: notify(h, NM_RETURN, at); return 0;
        case VK_UP: to = at - columns; break;
        case VK_DOWN: to = at < 0 ? 0 : at + columns; break;
        case VK_LEFT: to = at - 1; break;
        case VK_RIGHT: to = at + 1; break;
        case VK_HOME: to = 0; break;
        case VK_END: to = count - 1; break;
        default: return 0;
        }
        if (count > 0 && to != at) select(h, s, std::clamp(to, 0, count - 1));
        return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRect(h, nullptr, TRUE); return 0;
    case WM_PAINT:
        paint(h, WM_CTLCOLORLISTBOX, [&](HDC dc, RECT r) { paintView(h, s, dc, r); });
        return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

}  // namespace

LRESULT listViewClassProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return withState<ListViewState>(h, msg, w, l, listViewProc); }

}  // namespace plat::detail::controls
