// STATIC: text, black rectangle, image.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ControlsCommon.h"

namespace plat::detail::controls {
namespace {

struct StaticState {
    HGDIOBJ image = 0;
};

LRESULT staticProc(HWND h, StaticState& s, UINT msg, WPARAM w, LPARAM l) {
    switch (msg) {
    case STM_SETIMAGE: {
        const HGDIOBJ old = std::exchange(s.image, HGDIOBJ(l));
        InvalidateRect(h, nullptr, TRUE);
        return LRESULT(old);
    }
    case STM_GETIMAGE: return LRESULT(s.image);
    case WM_GETDLGCODE: return DLGC_STATIC;
    case WM_LBUTTONDOWN:
        if (styleOf(h) & SS_NOTIFY) notifyParent(h, STN_CLICKED);
        return 0;
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProc(h, msg, w, l);
        InvalidateRect(h, nullptr, TRUE);
        return r;
    }
    case WM_PAINT:
        paint(h, WM_CTLCOLORSTATIC, [&](HDC dc, RECT r) {
            const DWORD type = styleOf(h) & SS_TYPEMASK;
            if (type == SS_BITMAP) {
                // At the top left, or centred with SS_CENTERIMAGE.
                const SIZE size = plat::gdi::GetBitmapSize(HBITMAP(s.image));
                const bool centre = (styleOf(h) & SS_CENTERIMAGE) != 0;
                plat::gdi::DrawBitmap(dc, centre ? int(r.right - size.cx) / 2 : 0, centre ? int(r.bottom - size.cy) / 2 : 0, HBITMAP(s.image));
                return;
            }
            if (type == SS_ICON) return;
            if (type == SS_BLACKRECT) {
                FillRect(dc, &r, HBRUSH(GetStockObject(BLACK_BRUSH)));
                return;
            }
            const UINT align = type == SS_CENTER ? DT_CENTER : type == SS_RIGHT ? DT_RIGHT : DT_LEFT;
            const std::u16string text = plat::window::GetWindowString(h);
            // A window lower than one line of its font: the empty leading
            // above the letters is what is cut, not their bottoms.
            SIZE line{};
            GetTextExtentPoint32(dc, u"Ag", 2, &line);
            if (line.cy > r.bottom - r.top) {
                TEXTMETRIC tm{};
                GetTextMetrics(dc, &tm);
                r.top -= std::clamp<LONG>(tm.tmInternalLeading, 0, line.cy - (r.bottom - r.top));
            }
            DrawText(dc, text.c_str(), -1, &r, align | (type == SS_LEFTNOWORDWRAP ? DT_SINGLELINE : DT_WORDBREAK));
        });
        return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

}  // namespace

LRESULT staticClassProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return withState<StaticState>(h, msg, w, l, staticProc); }

}  // namespace plat::detail::controls
