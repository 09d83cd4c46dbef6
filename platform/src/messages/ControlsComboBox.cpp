// COMBOBOX: the shared item list with an edit field or a fixed text.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ControlsCommon.h"

namespace plat::detail::controls {
namespace {

struct ComboState {
    ItemList list;
    std::u16string edit;  // CBS_DROPDOWN: the edit field
    bool dropped = false;
};

bool hasEdit(HWND h) { return (styleOf(h) & 0x3) != CBS_DROPDOWNLIST; }

LRESULT comboProc(HWND h, ComboState& s, UINT msg, WPARAM w, LPARAM l) {
    const DWORD style = styleOf(h);
    if (const UINT op = listOpOf(msg)) {
        bool handled;
        const LRESULT r = s.list.handle(op, w, l, (style & CBS_SORT) != 0, &handled);
        if ((op == LB_SETCURSEL || op == LB_SELECTSTRING) && s.list.selected >= 0)
            s.edit = s.list.items[size_t(s.list.selected)].text;
        if (op == LB_RESETCONTENT) s.edit.clear();
        InvalidateRect(h, nullptr, TRUE);
        return r;
    }
    const auto userSelect = [&](int index) {
        const int before = s.list.selected;
        userSelects(h, s.list, index, false, 0);
        if (s.list.selected != before) {
            s.edit = s.list.items[size_t(s.list.selected)].text;
            notifyParent(h, CBN_SELCHANGE);
        }
    };
    const auto drop = [&](bool down) {
        if (s.dropped == down) return;
        s.dropped = down;
        notifyParent(h, down ? CBN_DROPDOWN : CBN_CLOSEUP);
        InvalidateRect(h, nullptr, TRUE);
    };
    switch (msg) {
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
    case CB_SHOWDROPDOWN: drop(w != 0); return TRUE;
    case CB_GETDROPPEDSTATE: return s.dropped ? TRUE : FALSE;
    case CB_LIMITTEXT: return TRUE;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS | (s.dropped ? DLGC_WANTALLKEYS : 0);
    case WM_LBUTTONDOWN:
        SetFocus(h);
        drop(!s.dropped);
        return 0;
    case WM_KEYDOWN:
        switch (w) {
        case VK_UP: userSelect(s.list.selected - 1); break;
        case VK_DOWN: userSelect(s.list.selected + 1); break;
        case VK_F4: drop(!s.dropped); break;
        case VK_RETURN:
        case VK_ESCAPE: drop(false); break;
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
        if (msg == WM_KILLFOCUS) drop(false);
        notifyParent(h, msg == WM_SETFOCUS ? CBN_SETFOCUS : CBN_KILLFOCUS);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_PAINT:
        paint(h, WM_CTLCOLOREDIT, [&](HDC dc, RECT r) {
            frame(dc, r, RGB(0, 0, 0));
            RECT text{r.left + 3, r.top, r.right - 16, std::min<LONG>(r.bottom, r.top + 20)};
            DrawText(dc, s.edit.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
            RECT arrow{r.right - 15, r.top + 1, r.right - 1, std::min<LONG>(r.bottom, r.top + 20) - 1};
            FillRect(dc, &arrow, GetSysColorBrush(COLOR_BTNFACE));
            if (s.dropped) {
                for (size_t i = 0; i < s.list.items.size(); ++i) {
                    RECT row{r.left + 1, text.bottom + LONG(i) * kItemHeight, r.right - 1, 0};
                    row.bottom = row.top + kItemHeight;
                    if (row.top >= r.bottom) break;
                    if (int(i) == s.list.selected) FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
                    DrawText(dc, s.list.items[i].text.c_str(), -1, &row, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
                }
            }
        });
        return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

}  // namespace

LRESULT comboBoxClassProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return withState<ComboState>(h, msg, w, l, comboProc); }

}  // namespace plat::detail::controls
