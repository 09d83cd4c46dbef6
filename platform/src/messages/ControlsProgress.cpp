// "msctls_progress32": range, position, step.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ControlsCommon.h"

namespace plat::detail::controls {
namespace {

struct ProgressState {
    int low = 0;
    int high = 100;
    int pos = 0;
    int step = 10;
};

LRESULT progressProc(HWND h, ProgressState& s, UINT msg, WPARAM w, LPARAM l) {
    const auto setPos = [&](int p) {
        const int old = std::exchange(s.pos, std::clamp(p, s.low, std::max(s.low, s.high)));
        InvalidateRect(h, nullptr, TRUE);
        return LRESULT(old);
    };
    switch (msg) {
    case PBM_SETRANGE: {
        const LRESULT old = MAKELPARAM(s.low, s.high);
        s.low = LOWORD(uintptr_t(l));
        s.high = HIWORD(uintptr_t(l));
        setPos(s.pos);
        return old;
    }
    case PBM_SETRANGE32: {
        const LRESULT old = MAKELPARAM(s.low, s.high);
        s.low = int(LONG_PTR(w));
        s.high = int(l);
        setPos(s.pos);
        return old;
    }
    case PBM_GETRANGE: return w ? s.low : s.high;
    case PBM_SETPOS: return setPos(int(LONG_PTR(w)));
    case PBM_GETPOS: return s.pos;
    case PBM_DELTAPOS: return setPos(s.pos + int(LONG_PTR(w)));
    case PBM_SETSTEP: return LRESULT(std::exchange(s.step, int(LONG_PTR(w))));
    case PBM_STEPIT: {
        int next = s.pos + s.step;
        if (next > s.high) next = s.low + (next - s.high);  // wraps as Windows does
        return setPos(next);
    }
    case WM_PAINT:
        paint(h, WM_CTLCOLORSTATIC, [&](HDC dc, RECT r) {
            frame(dc, r, RGB(0, 0, 0));
            const int span = std::max(1, s.high - s.low);
            RECT bar{r.left + 1, r.top + 1, r.left + 1 + LONG(int64_t(r.right - r.left - 2) * (s.pos - s.low) / span), r.bottom - 1};
            FillRect(dc, &bar, GetSysColorBrush(COLOR_HIGHLIGHT));
        });
        return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

}  // namespace

LRESULT progressClassProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return withState<ProgressState>(h, msg, w, l, progressProc); }

}  // namespace plat::detail::controls
