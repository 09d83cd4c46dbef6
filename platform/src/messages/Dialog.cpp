// Dialogs: creation from templates, the dialog procedure's default handling,
// the modal loop and the dialog manager's keys. See Dialog.h.
#include "platform/Dialog.h"

#include "platform/Screen.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Controls.h"
#include "platform/Gdi.h"

namespace {

// Extra slots of a dialog: DWLP_MSGRESULT, DWLP_DLGPROC, DWLP_USER, then ours.
constexpr int kStateSlot = int(3 * sizeof(LONG_PTR));

struct DialogState {
    bool modal = false;
    bool ended = false;
    INT_PTR result = 0;
    HWND savedFocus = 0;
    HFONT font = 0;
    int baseX = 6;
    int baseY = 13;
    WORD defId = 0;
};

DialogState* stateOf(HWND dlg) { return reinterpret_cast<DialogState*>(GetWindowLongPtr(dlg, kStateSlot)); }

bool returnsDirectly(UINT msg) {
    return msg == WM_INITDIALOG || (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC);
}

DWORD styleOf(HWND h) { return DWORD(GetWindowLongPtr(h, GWL_STYLE)); }

bool canFocus(HWND h) { return (styleOf(h) & (WS_VISIBLE | WS_DISABLED)) == WS_VISIBLE; }

bool isPushButton(HWND h) {
    return SendMessage(h, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
}

void focusControl(HWND h) {
    SetFocus(h);
    if (SendMessage(h, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessage(h, EM_SETSEL, 0, -1);
}

LRESULT dialogWndProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_NCDESTROY) {
        DialogState* s = stateOf(h);
        SetWindowLongPtr(h, kStateSlot, 0);
        if (s && s->font) DeleteObject(s->font);
        delete s;
        return 0;
    }
    if (const auto proc = DLGPROC(GetWindowLongPtr(h, DWLP_DLGPROC))) {
        SetWindowLongPtr(h, DWLP_MSGRESULT, 0);
        const INT_PTR handled = proc(h, msg, w, l);
        if (handled) return returnsDirectly(msg) ? handled : GetWindowLongPtr(h, DWLP_MSGRESULT);
        if (returnsDirectly(msg) && msg != WM_INITDIALOG) return DefWindowProc(h, msg, w, l);
    }
    return DefDlgProc(h, msg, w, l);
}

void registerDialogClass() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASS wc{};
        wc.lpfnWndProc = dialogWndProc;
        wc.cbWndExtra = kStateSlot + int(sizeof(LONG_PTR));
        wc.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
        wc.hCursor = IDC_ARROW;
        wc.lpszClassName = WC_DIALOG;
        RegisterClass(&wc);
    });
}

RECT toPixels(const DialogState& s, int x, int y, int cx, int cy) {
    return RECT{x * s.baseX / 4, y * s.baseY / 8, (x + cx) * s.baseX / 4, (y + cy) * s.baseY / 8};
}

HWND create(HINSTANCE instance, const plat::res::Dialog* t, HWND parent, DLGPROC proc, LPARAM init, bool modal) {
    if (!t) return 0;
    registerDialogClass();
    auto* s = new DialogState;
    s->modal = modal;
    if (t->fontSize > 0) {
        s->baseX = std::max(1, t->fontSize * 3 / 4);
        s->baseY = std::max(1, t->fontSize * 13 / 8);
    }
    if (t->fontName && *t->fontName) {
        LOGFONT lf{};
        lf.lfHeight = -(t->fontSize > 0 ? t->fontSize * 96 / 72 : 11);
        lf.lfWeight = FW_NORMAL;
        std::u16string_view face(t->fontName);
        std::copy_n(face.begin(), std::min<size_t>(face.size(), 31), lf.lfFaceName);
        s->font = CreateFontIndirect(&lf);
    }
    RECT r = toPixels(*s, t->x, t->y, t->cx, t->cy);
    const DWORD style = DWORD(t->style);
    const HWND owner = parent ? GetAncestor(parent, GA_ROOT) : 0;
    if (style & DS_CENTER) {
        // Centred in the work area, whoever owns the dialog.
        RECT around{0, 0, 0, 0};
        SystemParametersInfo(SPI_GETWORKAREA, 0, &around, 0);
        const int w = r.right - r.left, h = r.bottom - r.top;
        r.left = around.left + ((around.right - around.left) - w) / 2;
        r.top = around.top + ((around.bottom - around.top) - h) / 2;
        r.right = r.left + w;
        r.bottom = r.top + h;
    }
    // Made hidden; shown after WM_INITDIALOG.
    const HWND dlg = CreateWindowEx((style & DS_CONTROL) ? WS_EX_CONTROLPARENT : 0, WC_DIALOG, t->caption, style & ~WS_VISIBLE,
                                    r.left, r.top, r.right - r.left, r.bottom - r.top, (style & WS_CHILD) ? parent : owner,
                                    0, instance, nullptr);
    if (!dlg) {
        if (s->font) DeleteObject(s->font);
        delete s;
        return 0;
    }
    SetWindowLongPtr(dlg, kStateSlot, LONG_PTR(s));
    if (s->font) SendMessage(dlg, WM_SETFONT, WPARAM(s->font), 0);
    for (uint32_t i = 0; i < t->itemCount; ++i) {
        const plat::res::DialogItem& item = t->items[i];
        const RECT ir = toPixels(*s, item.x, item.y, item.cx, item.cy);
        const HWND c = CreateWindowEx(0, item.className, item.text ? item.text : u"", item.style | WS_CHILD, ir.left,
                                      ir.top, ir.right - ir.left, ir.bottom - ir.top, dlg, HMENU(item.id), instance, nullptr);
        if (!c) {
            DestroyWindow(dlg);
            return 0;
        }
        if (s->font) SendMessage(c, WM_SETFONT, WPARAM(s->font), 0);
        if (!s->defId && (SendMessage(c, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)) s->defId = item.id;
    }
    SetWindowLongPtr(dlg, DWLP_DLGPROC, LONG_PTR(proc));
    const HWND first = GetNextDlgTabItem(dlg, 0, FALSE);
    if (SendMessage(dlg, WM_INITDIALOG, WPARAM(first), init) && first && IsWindow(first)) focusControl(first);
    if (!IsWindow(dlg)) return 0;
    if (style & WS_VISIBLE) ShowWindow(dlg, SW_SHOW);
    return dlg;
}

bool holdsControls(HWND h) { return (DWORD(GetWindowLongPtr(h, GWL_EXSTYLE)) & WS_EX_CONTROLPARENT) != 0; }

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
    return out;
}

// The controls a dialog's keys move between: its children in z-order, with
// the controls of a shown child that holds controls of its own (a property
// page) in its place.
void collectControls(HWND parent, std::vector<HWND>& out, int depth = 0) {
    for (HWND c : childrenOf(parent)) {
        if (!holdsControls(c) || depth >= 8) out.push_back(c);
        else if (canFocus(c)) collectControls(c, out, depth + 1);
    }
}

std::vector<HWND> controlsOf(HWND dlg) {
    std::vector<HWND> out;
    collectControls(dlg, out);
    return out;
}

// The control of dlg that holds hwnd: its child, or a child of a window
// that holds controls inside it.
HWND controlOf(HWND dlg, HWND hwnd) {
    if (!hwnd || !IsChild(dlg, hwnd)) return 0;
    std::vector<HWND> chain;  // hwnd up to a child of dlg
    for (HWND h = hwnd; h && h != dlg; h = GetAncestor(h, GA_PARENT)) chain.push_back(h);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        if (!holdsControls(*it) || it + 1 == chain.rend()) return *it;
    return 0;
}

void press(HWND dlg, int id) {
    const HWND button = GetDlgItem(dlg, id);
    if (button && !IsWindowEnabled(button)) return;
    SendMessage(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(button));
}

}  // namespace

HWND CreateDialogIndirectParam(HINSTANCE instance, const plat::res::Dialog* dialog, HWND parent, DLGPROC proc, LPARAM init) {
    return create(instance, dialog, parent, proc, init, false);
}

INT_PTR DialogBoxIndirectParam(HINSTANCE instance, const plat::res::Dialog* dialog, HWND parent, DLGPROC proc, LPARAM init) {
    const HWND owner = parent ? GetAncestor(parent, GA_ROOT) : 0;
    const bool disabled = owner && IsWindowEnabled(owner) && !EnableWindow(owner, FALSE);
    const HWND dlg = create(instance, dialog, parent, proc, init, true);
    INT_PTR result = -1;
    if (dlg) {
        // Shown once the queue first runs dry, as messages the dialog posted
        // itself at initialisation (to fill its fields) are served first; the
        // activation then selects the text of the edit that holds the focus.
        bool shown = false;
        DialogState* s = stateOf(dlg);
        MSG m;
        while (IsWindow(dlg) && (s = stateOf(dlg)) && !s->ended) {
            if (!shown && !PeekMessage(&m, 0, 0, 0, PM_NOREMOVE)) {
                shown = true;
                ShowWindow(dlg, SW_SHOW);
                // Active already when its first focus went in: the control
                // that holds the focus takes it again, as activation gives it.
                const HWND focus = GetFocus();
                if (focus && IsChild(dlg, focus)) SendMessage(dlg, WM_NEXTDLGCTL, WPARAM(focus), TRUE);
                continue;
            }
            const BOOL got = GetMessage(&m, 0, 0, 0);
            if (got == 0) {
                PostQuitMessage(int(m.wParam));  // for the caller's loop
                break;
            }
            if (got < 0) break;
            if (!IsDialogMessage(dlg, &m)) {
                TranslateMessage(&m);
                DispatchMessage(&m);
            }
        }
        if (IsWindow(dlg) && (s = stateOf(dlg))) result = s->result;
    }
    if (disabled) EnableWindow(owner, TRUE);
    if (dlg && IsWindow(dlg)) DestroyWindow(dlg);
    if (owner && IsWindowVisible(owner)) SetActiveWindow(owner);
    return result;
}

HWND CreateDialogParam(HMODULE module, UINT id, HWND parent, DLGPROC proc, LPARAM init) {
    return CreateDialogIndirectParam(module, plat::res::FindDialog(module, id), parent, proc, init);
}

INT_PTR DialogBoxParam(HMODULE module, UINT id, HWND parent, DLGPROC proc, LPARAM init) {
    return DialogBoxIndirectParam(module, plat::res::FindDialog(module, id), parent, proc, init);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    DialogState* s = stateOf(dialog);
    if (!s) return FALSE;
    s->ended = true;
    s->result = result;
    ShowWindow(dialog, SW_HIDE);
    PostMessage(dialog, WM_NULL, 0, 0);  // wakes the modal loop
    return TRUE;
}

LRESULT DefDlgProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    DialogState* s = stateOf(h);
    switch (msg) {
    case WM_CLOSE: {
        const HWND cancel = GetDlgItem(h, IDCANCEL);
        if (!cancel || IsWindowEnabled(cancel)) PostMessage(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), LPARAM(cancel));
        return 0;
    }
    case DM_GETDEFID:
        return s && s->defId ? LRESULT(MAKELPARAM(s->defId, int(DC_HASDEFID))) : 0;
    case DM_SETDEFID:
        if (s) s->defId = WORD(w);
        return TRUE;
    case WM_ACTIVATE:
        if (s && LOWORD(w) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(h, focus)) s->savedFocus = focus;
            return 0;
        }
        [[fallthrough]];
    case WM_SETFOCUS: {
        HWND target = s && s->savedFocus && IsWindow(s->savedFocus) ? s->savedFocus : 0;
        if (!target) target = GetNextDlgTabItem(h, 0, FALSE);
        const HWND focus = GetFocus();
        // Activation gives the control that holds the focus the focus again,
        // so an edit's text (set perhaps after the first focus) is selected.
        if (msg == WM_ACTIVATE && focus && IsChild(h, focus)) target = focus;
        if (target && (msg == WM_ACTIVATE || !(focus && IsChild(h, focus)))) focusControl(target);
        return 0;
    }
    case WM_NEXTDLGCTL: {
        const HWND next = LOWORD(l) ? HWND(w) : GetNextDlgTabItem(h, GetFocus(), w != 0);
        if (next) focusControl(next);
        return 0;
    }
    case WM_GETDLGCODE: return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
    std::vector<HWND> all = controlsOf(dialog);
    if (all.empty()) return 0;
    if (previous) std::reverse(all.begin(), all.end());
    const HWND from = controlOf(dialog, control);
    auto start = std::find(all.begin(), all.end(), from);
    const size_t n = all.size();
    const size_t first = start == all.end() ? 0 : size_t(start - all.begin()) + 1;
    for (size_t k = 0; k < n; ++k) {
        const HWND c = all[(first + k) % n];
        if ((styleOf(c) & WS_TABSTOP) && canFocus(c)) return c;
    }
    return from;
}

HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
    // A group stays among the controls of one parent.
    const HWND from = controlOf(dialog, control);
    const std::vector<HWND> all = from ? childrenOf(GetParent(from)) : std::vector<HWND>{};
    auto me = std::find(all.begin(), all.end(), from);
    if (me == all.end()) return 0;
    auto first = me;
    while (first != all.begin() && !(styleOf(*first) & WS_GROUP)) --first;
    auto last = me + 1;
    while (last != all.end() && !(styleOf(*last) & WS_GROUP)) ++last;
    const std::vector<HWND> group(first, last);
    const size_t n = group.size();
    const size_t at = size_t(std::find(group.begin(), group.end(), from) - group.begin());
    for (size_t k = 1; k <= n; ++k) {
        const HWND c = group[previous ? (at + n - k) % n : (at + k) % n];
        if (canFocus(c)) return c;
    }
    return from;
}

BOOL MapDialogRect(HWND dialog, RECT* rect) {
    const DialogState* s = stateOf(dialog);
    if (!s || !rect) return FALSE;
    *rect = toPixels(*s, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    return TRUE;
}

BOOL IsDialogMessage(HWND dialog, MSG* msg) {
    if (!msg || !dialog || !IsWindow(dialog)) return FALSE;
    if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd)) return FALSE;
    const bool key = msg->message == WM_KEYDOWN;
    const bool chr = msg->message == WM_CHAR;
    if (key || chr) {
        const LRESULT code = SendMessage(msg->hwnd, WM_GETDLGCODE, msg->wParam, LPARAM(msg));
        const bool wantsAll = code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE);
        const UINT k = UINT(msg->wParam);
        if (chr) {
            // The characters of the keys the dialog manager took.
            if ((k == u'\t' && !(code & DLGC_WANTTAB) && !wantsAll) || ((k == u'\r' || k == 0x1B) && !wantsAll)) return TRUE;
        } else if (k == VK_TAB && !(code & DLGC_WANTTAB) && !wantsAll) {
            const HWND next = GetNextDlgTabItem(dialog, msg->hwnd, (GetKeyState(VK_SHIFT) & 0x8000) != 0);
            if (next) focusControl(next);
            return TRUE;
        } else if (k == VK_RETURN && !wantsAll) {
            const HWND focus = controlOf(dialog, msg->hwnd);
            if (focus && isPushButton(focus)) {
                press(dialog, GetDlgCtrlID(focus));
            } else {
                const LRESULT def = SendMessage(dialog, DM_GETDEFID, 0, 0);
                press(dialog, HIWORD(uintptr_t(def)) == DC_HASDEFID ? LOWORD(uintptr_t(def)) : IDOK);
            }
            return TRUE;
        } else if (k == VK_ESCAPE && !wantsAll) {
            press(dialog, IDCANCEL);
            return TRUE;
        } else if ((k == VK_LEFT || k == VK_UP || k == VK_RIGHT || k == VK_DOWN) && !(code & DLGC_WANTARROWS)) {
            const HWND next = GetNextDlgGroupItem(dialog, msg->hwnd, k == VK_LEFT || k == VK_UP);
            if (next && next != controlOf(dialog, msg->hwnd)) {
                focusControl(next);
                if (SendMessage(next, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) SendMessage(next, BM_CLICK, 0, 0);
            }
            return TRUE;
        }
    }
    TranslateMessage(msg);
    DispatchMessage(msg);
    return TRUE;
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    const HWND c = GetDlgItem(dialog, id);
    return c ? SendMessage(c, msg, wParam, lParam) : 0;
}

BOOL SetDlgItemText(HWND dialog, int id, const char16_t* text) {
    const HWND c = GetDlgItem(dialog, id);
    return c ? SetWindowText(c, text) : FALSE;
}

UINT GetDlgItemText(HWND dialog, int id, char16_t* buffer, int maxCount) {
    if (buffer && maxCount > 0) buffer[0] = 0;
    const HWND c = GetDlgItem(dialog, id);
    return c ? UINT(GetWindowText(c, buffer, maxCount)) : 0;
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    const std::string digits = isSigned ? std::to_string(int(value)) : std::to_string(value);
    return SetDlgItemText(dialog, id, std::u16string(digits.begin(), digits.end()).c_str());
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    char16_t buffer[32];
    GetDlgItemText(dialog, id, buffer, 32);
    std::string text;
    for (const char16_t* p = buffer; *p; ++p) text.push_back(*p < 0x80 ? char(*p) : '?');
    const size_t begin = text.find_first_not_of(' ');
    const size_t end = text.find_last_not_of(' ');
    text = begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
    char* stop = nullptr;
    errno = 0;
    const long long v = text.empty() ? 0 : std::strtoll(text.c_str(), &stop, 10);
    const bool ok = !text.empty() && stop && *stop == 0 && errno == 0 && (isSigned || text[0] != '-') &&
                    v >= (isSigned ? INT32_MIN : 0) && v <= (isSigned ? INT32_MAX : UINT32_MAX);
    if (translated) *translated = ok ? TRUE : FALSE;
    return ok ? UINT(v) : 0;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    const HWND c = GetDlgItem(dialog, id);
    if (!c) return FALSE;
    SendMessage(c, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) { return UINT(SendDlgItemMessage(dialog, id, BM_GETCHECK, 0, 0)); }
