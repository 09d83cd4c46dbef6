// COMBOBOX: the shared item list with an edit field or a fixed text.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ControlsCommon.h"
#include "platform/Screen.h"

namespace plat::detail::controls {
namespace {

struct ComboState {
    ItemList list;
    std::u16string edit;  // CBS_DROPDOWN: the edit field
    HWND popup = 0;       // the dropped list, a pop-up window of its own
    int dropHeight = 0;   // the height the window was given: field and list
};

constexpr int kFieldHeight = kItemHeight + 4;  // the combo box's own height
constexpr int kArrowWidth = 15;

bool hasEdit(HWND h) { return (styleOf(h) & 0x3) != CBS_DROPDOWNLIST; }
UINT ownerDrawOf(HWND h) { return (styleOf(h) & CBS_OWNERDRAWFIXED) ? ODT_COMBOBOX : 0; }
int fieldHeight(const ComboState& s) { return std::max(kFieldHeight, s.list.itemHeight + 4); }

ComboState* comboOf(HWND popup) {
    const HWND combo = HWND(GetWindowLongPtr(popup, GWLP_USERDATA));
    return combo && IsWindow(combo) ? stateOf<ComboState>(combo) : nullptr;
}

void userSelect(HWND h, ComboState& s, int index) {
    const int before = s.list.selected;
    userSelects(h, s.list, index, false, 0);
    if (s.list.selected == before) return;
    s.edit = s.list.items[size_t(s.list.selected)].text;
    if (s.popup) {
        s.list.showSelection(listLayoutOf(s.popup, s.list).visible);
        InvalidateRect(s.popup, nullptr, TRUE);
    }
    notifyParent(h, CBN_SELCHANGE);
}

// Opens the list below the field (above it when the screen ends first), as
// tall as the window was made, no taller than its items. The list takes the
// taps (capture) and never the activation; the focus stays on the field.
void dropDown(HWND h, ComboState& s) {
    if (s.popup) return;
    notifyParent(h, CBN_DROPDOWN);
    RECT wr;
    GetWindowRect(h, &wr);
    const int room = std::max(s.list.itemHeight, s.dropHeight - fieldHeight(s) - 2);
    const int rows = std::clamp(s.list.count(), 1, std::max(1, room / s.list.itemHeight));
    const int height = rows * s.list.itemHeight + 2;
    int y = wr.bottom;
    if (y + height > plat::screen::ScreenSize().cy && wr.top - height >= 0) y = wr.top - height;
    const DWORD bar = (styleOf(h) & WS_VSCROLL) || s.list.count() > rows ? WS_VSCROLL : 0;
    s.popup = CreateWindowEx(WS_EX_TOPMOST | WS_EX_NOACTIVATE, kComboListClass, u"", WS_POPUP | WS_BORDER | bar, wr.left, y,
                             wr.right - wr.left, height, GetAncestor(h, GA_ROOT), 0, nullptr, nullptr);
    if (!s.popup) return;
    SetWindowLongPtr(s.popup, GWLP_USERDATA, LONG_PTR(h));
    s.list.showSelection(rows);
    ShowWindow(s.popup, SW_SHOWNOACTIVATE);
    SetCapture(s.popup);
    InvalidateRect(h, nullptr, TRUE);
}

// Closes the list: CBN_SELENDOK when the user chose, CBN_SELENDCANCEL when
// not, then CBN_CLOSEUP.
void closeUp(HWND h, ComboState& s, bool chosen) {
    if (!s.popup) return;
    const HWND popup = std::exchange(s.popup, HWND(0));
    if (GetCapture() == popup) ReleaseCapture();
    DestroyWindow(popup);
    InvalidateRect(h, nullptr, TRUE);
    notifyParent(h, chosen ? CBN_SELENDOK : CBN_SELENDCANCEL);
    notifyParent(h, CBN_CLOSEUP);
}

LRESULT comboProc(HWND h, ComboState& s, UINT msg, WPARAM w, LPARAM l) {
    const DWORD style = styleOf(h);
    if (const UINT op = listOpOf(msg)) {
        bool handled;
        const LRESULT r = s.list.handle(op, w, l, (style & CBS_SORT) != 0, &handled);
        if ((op == LB_SETCURSEL || op == LB_SELECTSTRING) && s.list.selected >= 0)
            s.edit = s.list.items[size_t(s.list.selected)].text;
        if (op == LB_RESETCONTENT) s.edit.clear();
        if (op == LB_SETITEMHEIGHT && r == 0) SetWindowPos(h, 0, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
        InvalidateRect(h, nullptr, TRUE);
        if (s.popup) InvalidateRect(s.popup, nullptr, TRUE);
        return r;
    }
    switch (msg) {
    case WM_SETFONT: {
        const LRESULT done = DefWindowProc(h, msg, w, l);
        // The field and the list's rows follow the font's line height.
        if (!ownerDrawOf(h)) {
            s.list.itemHeight = std::max(kItemHeight, lineHeightOf(h));
            SetWindowPos(h, 0, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
            if (LOWORD(l)) InvalidateRect(h, nullptr, TRUE);
        }
        return done;
    }
    case WM_CREATE: {
        const auto* cs = reinterpret_cast<const CREATESTRUCT*>(l);
        if (const UINT od = ownerDrawOf(h)) measureItems(h, s.list, od);
        // The window is the field alone; the height it was given is the list's.
        s.dropHeight = cs->cy;
        SetWindowPos(h, 0, 0, 0, cs->cx, cs->cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_WINDOWPOSCHANGING: {
        auto* pos = reinterpret_cast<WINDOWPOS*>(l);
        if (!(pos->flags & SWP_NOSIZE) && pos->cy != fieldHeight(s)) s.dropHeight = pos->cy;
        pos->cy = fieldHeight(s);
        return 0;
    }
    case WM_DESTROY: closeUp(h, s, false); return 0;
    case WM_SETTEXT:
        if (!hasEdit(h)) {
            const LRESULT i = s.list.find(WPARAM(-1), l, true);
            if (i < 0) return CB_ERR;
            s.list.selected = int(i);
        }
        s.edit = l ? reinterpret_cast<const char16_t*>(l) : u"";
        InvalidateRect(h, nullptr, TRUE);
        return TRUE;
    case WM_GETTEXT: return copyText(s.edit, w, l);
    case WM_GETTEXTLENGTH: return LRESULT(s.edit.size());
    case CB_SHOWDROPDOWN:
        if (w) dropDown(h, s);
        else closeUp(h, s, false);
        return TRUE;
    case CB_GETDROPPEDSTATE: return s.popup ? TRUE : FALSE;
    case CB_GETDROPPEDCONTROLRECT: {
        auto* out = reinterpret_cast<RECT*>(l);
        if (!out) return CB_ERR;
        GetWindowRect(h, out);
        out->bottom = out->top + std::max(s.dropHeight, fieldHeight(s));
        return CB_OKAY;
    }
    case CB_LIMITTEXT: return TRUE;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS | (s.popup ? DLGC_WANTALLKEYS : 0);
    case WM_LBUTTONDOWN:
        SetFocus(h);
        if (s.popup) closeUp(h, s, false);
        else dropDown(h, s);
        return 0;
    case WM_KEYDOWN:
        switch (w) {
        case VK_UP: userSelect(h, s, s.list.selected - 1); break;
        case VK_DOWN: userSelect(h, s, s.list.selected + 1); break;
        case VK_F4:
            if (s.popup) closeUp(h, s, true);
            else dropDown(h, s);
            break;
        case VK_RETURN: closeUp(h, s, true); break;
        case VK_ESCAPE: closeUp(h, s, false); break;
        default: break;
        }
        return 0;
    case WM_CHAR:
        if (!hasEdit(h)) return 0;
        if (w == 8) {
            if (!s.edit.empty()) s.edit.pop_back();
        } else if (w >= 0x20) {
            s.edit.push_back(char16_t(w));
        } else {
            return 0;
        }
        InvalidateRect(h, nullptr, TRUE);
        notifyParent(h, CBN_EDITCHANGE);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (msg == WM_KILLFOCUS) closeUp(h, s, false);
        notifyParent(h, msg == WM_SETFOCUS ? CBN_SETFOCUS : CBN_KILLFOCUS);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_PAINT:
        paint(h, WM_CTLCOLOREDIT, [&](HDC dc, RECT r) {
            frame(dc, r, RGB(0, 0, 0));
            RECT field{r.left + 1, r.top + 1, r.right - kArrowWidth - 1, r.bottom - 1};
            const bool focused = GetFocus() == h;
            if (const UINT od = ownerDrawOf(h)) {
                const int sel = s.list.selected;
                DRAWITEMSTRUCT di{od, UINT(GetDlgCtrlID(h)), UINT(sel), ODA_DRAWENTIRE,
                                  UINT(ODS_COMBOBOXEDIT | (focused ? ODS_SELECTED | ODS_FOCUS : 0)), h, dc, field,
                                  sel >= 0 ? uintptr_t(s.list.items[size_t(sel)].data) : 0};
                SendMessage(GetParent(h), WM_DRAWITEM, WPARAM(di.CtlID), LPARAM(&di));
            } else {
                // A drop-down list shows its focus as a selected field.
                const bool highlight = focused && !hasEdit(h) && !s.popup;
                if (highlight) FillRect(dc, &field, GetSysColorBrush(COLOR_HIGHLIGHT));
                const COLORREF old = highlight ? SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT)) : dc->state.textColor;
                RECT text = field;
                text.left += 2;
                DrawText(dc, s.edit.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
                SetTextColor(dc, old);
            }
            RECT button{r.right - kArrowWidth - 1, r.top + 1, r.right - 1, r.bottom - 1};
            FillRect(dc, &button, GetSysColorBrush(COLOR_BTNFACE));
            MoveToEx(dc, button.left, button.top, nullptr);
            LineTo(dc, button.left, button.bottom);
            const HGDIOBJ oldPen = SelectObject(dc, CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
            arrow(dc, button, false);
            SelectObject(dc, oldPen);
        });
        return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

// ---- the dropped list ----

// A tap on a row chooses it and closes the list; a tap outside closes it
// unchosen; the bar scrolls.
LRESULT popupProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    ComboState* s = comboOf(h);
    const HWND combo = HWND(GetWindowLongPtr(h, GWLP_USERDATA));
    if (!s) return DefWindowProc(h, msg, w, l);
    switch (msg) {
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_LBUTTONDOWN: {
        const ListLayout v = listLayoutOf(h, s->list);
        const POINT p{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
        RECT client;
        GetClientRect(h, &client);
        if (!PtInRect(&client, p)) {
            closeUp(combo, *s, false);
        } else if (PtInRect(&v.bar, p)) {
            s->list.top = scrolledTop(s->list, v, p);
            s->list.clampTop(v.visible);
            InvalidateRect(h, nullptr, TRUE);
        } else {
            const int row = s->list.top + int(p.y - v.rows.top) / s->list.itemHeight;
            if (row < s->list.count()) {
                userSelect(combo, *s, row);
                closeUp(combo, *s, true);
            }
        }
        return 0;
    }
    case WM_PAINT:
        paint(h, WM_CTLCOLORLISTBOX, [&](HDC dc, RECT r) {
            frame(dc, r, RGB(0, 0, 0));
            drawRows(dc, s->list, listLayoutOf(h, s->list), combo, ownerDrawOf(combo), true);
        }, true, combo);
        return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

}  // namespace

LRESULT comboBoxClassProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return withState<ComboState>(h, msg, w, l, comboProc); }

LRESULT comboListClassProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return popupProc(h, msg, w, l); }

}  // namespace plat::detail::controls
