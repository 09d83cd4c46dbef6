// The "ScrollBar" control and the scroll information of windows' own bars.
#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "ControlsCommon.h"
#include "platform/ScrollBar.h"

namespace plat::detail::controls {
namespace {

struct Info {
    int min = 0, max = 100;
    UINT page = 0;
    int pos = 0;
    int track = 0;

    void clampPos() {
        const int last = std::max(min, max - std::max(int(page) - 1, 0));
        pos = std::clamp(pos, min, last);
    }
};

struct BarState {
    Info info;
};

// A window's own bars, by window and bar; entries of windows that are gone
// are dropped as new ones are made.
struct Bars {
    std::mutex mutex;
    std::unordered_map<HWND, std::pair<Info, Info>> table;  // horizontal, vertical
};

Bars& bars() {
    static Bars* b = new Bars;
    return *b;
}

// Runs f on the bar's information under the right owner; false when there
// is no such bar.
template <typename F>
bool withInfo(HWND hwnd, int bar, F f, bool changes = true) {
    if (!IsWindow(hwnd)) return false;
    if (bar == SB_CTL) {
        char16_t cls[16];
        GetClassName(hwnd, cls, 16);
        if (folded(cls) != u"scrollbar") return false;
        auto* s = stateOf<BarState>(hwnd);
        if (!s) return false;
        f(s->info);
        if (changes) InvalidateRect(hwnd, nullptr, TRUE);
        return true;
    }
    if (bar != SB_HORZ && bar != SB_VERT) return false;
    Bars& b = bars();
    std::lock_guard lock(b.mutex);
    if (!b.table.count(hwnd))
        for (auto it = b.table.begin(); it != b.table.end();) it = IsWindow(it->first) ? std::next(it) : b.table.erase(it);
    auto& pair = b.table[hwnd];
    f(bar == SB_VERT ? pair.second : pair.first);
    return true;
}

bool vertical(HWND h) { return (styleOf(h) & SBS_VERT) != 0; }

// The bar as a list of positions: the thumb's share is the page.
ListLayout layoutOf(HWND h, const Info& info, ItemList* shape) {
    RECT r;
    GetClientRect(h, &r);
    const int range = std::max(1, info.max - info.min + 1);
    shape->items.resize(size_t(range));
    shape->top = info.pos - info.min;
    ListLayout v;
    if (!vertical(h)) r = RECT{r.top, r.left, r.bottom, r.right};  // the same sums, turned
    v.bar = r;
    v.rows = r;
    v.visible = std::max(1, int(info.page));
    return v;
}

LRESULT scrollBarProc(HWND h, BarState& s, UINT msg, WPARAM w, LPARAM l) {
    switch (msg) {
    case WM_LBUTTONDOWN: {
        ItemList shape;
        const ListLayout v = layoutOf(h, s.info, &shape);
        POINT p{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
        if (!vertical(h)) p = POINT{p.y, p.x};
        // Arrows a line, the track a page, the thumb nothing.
        const int side = int(v.bar.right - v.bar.left);
        const RECT thumb = thumbOf(v, shape.count(), shape.top);
        WORD code = SB_ENDSCROLL;
        if (p.y < v.bar.top + side) code = SB_LINEUP;
        else if (p.y >= v.bar.bottom - side) code = SB_LINEDOWN;
        else if (p.y < thumb.top) code = SB_PAGEUP;
        else if (p.y >= thumb.bottom) code = SB_PAGEDOWN;
        if (code != SB_ENDSCROLL)
            SendMessage(GetParent(h), vertical(h) ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(code, 0), LPARAM(h));
        return 0;
    }
    case WM_PAINT:
        paint(h, WM_CTLCOLORSCROLLBAR, [&](HDC dc, RECT r) {
            ItemList shape;
            ListLayout v = layoutOf(h, s.info, &shape);
            if (vertical(h)) {
                drawScrollBar(dc, v, shape.count(), shape.top);
                return;
            }
            // Horizontal: arrow boxes at the ends, the thumb between.
            FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
            const LONG side = r.bottom - r.top;
            frame(dc, RECT{r.left, r.top, r.left + side, r.bottom}, RGB(0, 0, 0));
            frame(dc, RECT{r.right - side, r.top, r.right, r.bottom}, RGB(0, 0, 0));
            const RECT t = thumbOf(v, shape.count(), shape.top);  // in turned coordinates
            RECT thumb{t.top, r.top, t.bottom, r.bottom};
            if (thumb.right > thumb.left) {
                FillRect(dc, &thumb, GetSysColorBrush(COLOR_GRAYTEXT));
                frame(dc, thumb, RGB(0, 0, 0));
            }
        });
        return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

}  // namespace

LRESULT scrollBarClassProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return withState<BarState>(h, msg, w, l, scrollBarProc); }

}  // namespace plat::detail::controls

using plat::detail::controls::Info;
using plat::detail::controls::withInfo;

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* in, BOOL) {
    if (!in) return 0;
    int pos = 0;
    withInfo(hwnd, bar, [&](Info& i) {
        if (in->fMask & SIF_RANGE) {
            i.min = in->nMin;
            i.max = std::max(in->nMin, in->nMax);
        }
        if (in->fMask & SIF_PAGE) i.page = std::min<UINT>(in->nPage, UINT(i.max - i.min + 1));
        if (in->fMask & SIF_POS) i.pos = in->nPos;
        i.clampPos();
        pos = i.pos;
    });
    return pos;
}

BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* out) {
    if (!out) return FALSE;
    return withInfo(hwnd, bar, [&](Info& i) {
        if (out->fMask & SIF_RANGE) {
            out->nMin = i.min;
            out->nMax = i.max;
        }
        if (out->fMask & SIF_PAGE) out->nPage = i.page;
        if (out->fMask & SIF_POS) out->nPos = i.pos;
        if (out->fMask & SIF_TRACKPOS) out->nTrackPos = i.pos;
    }, false) ? TRUE : FALSE;
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL) {
    int old = 0;
    withInfo(hwnd, bar, [&](Info& i) {
        old = i.pos;
        i.pos = pos;
        i.clampPos();
    });
    return old;
}

int GetScrollPos(HWND hwnd, int bar) {
    int pos = 0;
    withInfo(hwnd, bar, [&](Info& i) { pos = i.pos; }, false);
    return pos;
}

BOOL SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL) {
    return withInfo(hwnd, bar, [&](Info& i) {
        i.min = minPos;
        i.max = std::max(minPos, maxPos);
        i.clampPos();
    }) ? TRUE : FALSE;
}

BOOL GetScrollRange(HWND hwnd, int bar, int* minPos, int* maxPos) {
    return withInfo(hwnd, bar, [&](Info& i) {
        if (minPos) *minPos = i.min;
        if (maxPos) *maxPos = i.max;
    }, false) ? TRUE : FALSE;
}
