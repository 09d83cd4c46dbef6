// BUTTON: push, default push, check boxes, radio buttons, group box, owner-draw.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "ControlsCommon.h"

namespace plat::detail::controls {
namespace {

struct ButtonState {
    WPARAM check = BST_UNCHECKED;
    bool pushed = false;
    bool tracking = false;
};

DWORD buttonType(HWND h) { return styleOf(h) & BS_TYPEMASK; }

bool isRadio(DWORD type) { return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON; }

// Checks an auto radio button and clears the others of its group.
void checkRadioInGroup(HWND hwnd) {
    const HWND parent = GetParent(hwnd);
    std::vector<HWND> siblings;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) siblings.push_back(c);
    auto me = std::find(siblings.begin(), siblings.end(), hwnd);
    if (me == siblings.end()) return;
    auto first = me;
    while (first != siblings.begin() && !(styleOf(*first) & WS_GROUP)) --first;
    auto last = me + 1;
    while (last != siblings.end() && !(styleOf(*last) & WS_GROUP)) ++last;
    for (auto it = first; it != last; ++it) {
        char16_t cls[16];
        GetClassName(*it, cls, 16);
        if (folded(cls) == u"button" && buttonType(*it) == BS_AUTORADIOBUTTON)
            SendMessage(*it, BM_SETCHECK, *it == hwnd ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

// A filled circle with its outline, as a polygon fine enough to look round.
void disc(HDC dc, POINT centre, int radius, COLORREF fill, COLORREF outline) {
    constexpr int kSides = 24;
    POINT points[kSides];
    for (int i = 0; i < kSides; ++i) {
        const double a = 2 * 3.14159265358979 * i / kSides;
        points[i] = POINT{centre.x + LONG(std::lround(radius * std::cos(a))), centre.y + LONG(std::lround(radius * std::sin(a)))};
    }
    const HGDIOBJ brush = CreateSolidBrush(fill);
    const HGDIOBJ pen = CreatePen(PS_SOLID, 1, outline);
    const HGDIOBJ oldBrush = SelectObject(dc, brush);
    const HGDIOBJ oldPen = SelectObject(dc, pen);
    Polygon(dc, points, kSides);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
}

void click(HWND hwnd, ButtonState& s) {
    switch (buttonType(hwnd)) {
    case BS_AUTOCHECKBOX: s.check = s.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED; break;
    case BS_AUTO3STATE: s.check = (s.check + 1) % 3; break;
    case BS_AUTORADIOBUTTON: checkRadioInGroup(hwnd); break;
    default: break;
    }
    InvalidateRect(hwnd, nullptr, TRUE);
    notifyParent(hwnd, BN_CLICKED);
}

LRESULT buttonProc(HWND h, ButtonState& s, UINT msg, WPARAM w, LPARAM l) {
    const DWORD type = buttonType(h);
    switch (msg) {
    case BM_GETCHECK: return LRESULT(s.check);
    case BM_SETCHECK:
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_GROUPBOX) return 0;
        s.check = (type == BS_3STATE || type == BS_AUTO3STATE) ? std::min<WPARAM>(w, BST_INDETERMINATE) : (w ? BST_CHECKED : BST_UNCHECKED);
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    case BM_GETSTATE: return LRESULT(s.check | (s.pushed ? BST_PUSHED : 0) | (GetFocus() == h ? BST_FOCUS : 0));
    case BM_SETSTATE:
        s.pushed = w != 0;
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    case BM_SETSTYLE:
        SetWindowLongPtr(h, GWL_STYLE, LONG_PTR((styleOf(h) & ~0xFFFFu) | (w & 0xFFFF)));
        if (LOWORD(l)) InvalidateRect(h, nullptr, TRUE);
        return 0;
    case BM_CLICK:
        if (IsWindowEnabled(h)) click(h, s);
        return 0;
    case WM_NCHITTEST:
        // A group box frames the controls below it and lets taps through.
        if (type == BS_GROUPBOX) return HTTRANSPARENT;
        return DefWindowProc(h, msg, w, l);
    case WM_GETDLGCODE:
        if (type == BS_GROUPBOX) return DLGC_STATIC;
        if (isRadio(type)) return DLGC_BUTTON | DLGC_RADIOBUTTON;
        if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        return DLGC_BUTTON;
    case WM_LBUTTONDOWN:
        if (type == BS_GROUPBOX) return 0;
        SetFocus(h);
        SetCapture(h);
        s.pushed = s.tracking = true;
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    case WM_LBUTTONUP: {
        if (!s.tracking) return 0;
        s.tracking = s.pushed = false;
        ReleaseCapture();
        RECT r;
        GetClientRect(h, &r);
        if (PtInRect(&r, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)})) click(h, s);
        else InvalidateRect(h, nullptr, TRUE);
        return 0;
    }
    case WM_KEYDOWN:
        if (w == VK_SPACE && type != BS_GROUPBOX) {
            s.pushed = true;
            InvalidateRect(h, nullptr, TRUE);
        }
        return 0;
    case WM_KEYUP:
        if (w == VK_SPACE && s.pushed) {
            s.pushed = false;
            click(h, s);
        }
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (styleOf(h) & BS_NOTIFY) notifyParent(h, msg == WM_SETFOCUS ? BN_SETFOCUS : BN_KILLFOCUS);
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    case WM_ENABLE: InvalidateRect(h, nullptr, TRUE); return 0;
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProc(h, msg, w, l);
        InvalidateRect(h, nullptr, TRUE);
        return r;
    }
    case WM_PAINT: {
        if (type == BS_OWNERDRAW) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            DRAWITEMSTRUCT di{ODT_BUTTON, UINT(GetDlgCtrlID(h)), 0, ODA_DRAWENTIRE,
                              UINT((s.pushed ? ODS_SELECTED : 0) | (GetFocus() == h ? ODS_FOCUS : 0) | (IsWindowEnabled(h) ? 0 : ODS_DISABLED)),
                              h, dc, RECT{}, 0};
            GetClientRect(h, &di.rcItem);
            SendMessage(GetParent(h), WM_DRAWITEM, WPARAM(di.CtlID), LPARAM(&di));
            EndPaint(h, &ps);
            return 0;
        }
        const bool push = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
        const bool focused = GetFocus() == h;
        paint(h, push ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC, [&](HDC dc, RECT r) {
            const std::u16string text = plat::window::GetWindowString(h);
            if (push) {
                frame(dc, r, RGB(0, 0, 0));
                if (type == BS_DEFPUSHBUTTON) {
                    InflateRect(&r, -1, -1);
                    frame(dc, r, RGB(0, 0, 0));
                }
                if (s.pushed) OffsetRect(&r, 1, 1);
                DrawText(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
                if (focused) {
                    InflateRect(&r, -2, -2);
                    focusFrame(dc, r);
                }
                return;
            }
            if (type == BS_GROUPBOX) {
                RECT box{r.left, r.top + 6, r.right, r.bottom};
                frame(dc, box, RGB(128, 128, 128));
                RECT label{r.left + 6, r.top, r.right, r.top + 14};
                SetBkMode(dc, OPAQUE);  // the label covers the frame line
                DrawText(dc, text.c_str(), -1, &label, DT_LEFT | DT_TOP | DT_SINGLELINE);
                return;
            }
            const int mid = (r.top + r.bottom) / 2;
            if (isRadio(type)) {
                // Round, with a dot when chosen.
                disc(dc, POINT{r.left + 7, mid}, 6, GetSysColor(COLOR_WINDOW), RGB(0, 0, 0));
                if (s.check != BST_UNCHECKED) disc(dc, POINT{r.left + 7, mid}, 3, RGB(0, 0, 0), RGB(0, 0, 0));
            } else {
                RECT box{r.left + 1, mid - 6, r.left + 13, mid + 6};
                FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
                frame(dc, box, RGB(0, 0, 0));
                if (s.check != BST_UNCHECKED) {
                    RECT mark = box;
                    InflateRect(&mark, -3, -3);
                    FillRect(dc, &mark, GetSysColorBrush(s.check == BST_CHECKED ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
                }
            }
            RECT label{r.left + 18, r.top, r.right, r.bottom};
            DrawText(dc, text.c_str(), -1, &label, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
            if (focused) {
                // Around the label as far as it shows.
                SIZE size{};
                GetTextExtentPoint32(dc, text.c_str(), int(text.size()), &size);
                RECT ring{label.left - 2, std::max<LONG>(r.top, mid - size.cy / 2 - 1), std::min<LONG>(label.left + size.cx + 2, r.right),
                          std::min<LONG>(r.bottom, mid - size.cy / 2 + size.cy + 1)};
                focusFrame(dc, ring);
            }
        }, type != BS_GROUPBOX);
        return 0;
    }
    default: return DefWindowProc(h, msg, w, l);
    }
}

}  // namespace

LRESULT buttonClassProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return withState<ButtonState>(h, msg, w, l, buttonProc); }

}  // namespace plat::detail::controls
