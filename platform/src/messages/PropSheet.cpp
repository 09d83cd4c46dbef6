// Property sheets on the dialog manager: the sheet is a modal dialog whose
// procedure lays out the tab strip, the page area and the buttons, and makes
// each page a child dialog when it is first shown. See PropSheet.h.
#include "platform/PropSheet.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Controls.h"
#include "platform/Gdi.h"
#include "platform/Screen.h"

namespace {

constexpr int kTabHeight = 20;
constexpr int kMargin = 4;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 20;

struct Page {
    PROPSHEETPAGE record;
    plat::res::Dialog childTemplate;
    std::u16string title;
    SIZE size;  // pixels
    HWND window = 0;
    RECT tab{};
};

struct Sheet {
    std::vector<Page> pages;
    UINT start = 0;
    int current = -1;
    RECT area{};  // the pages' rectangle in the sheet's client area
};

Sheet* sheetOf(HWND h) { return reinterpret_cast<Sheet*>(GetWindowLongPtr(h, DWLP_USER)); }

// The template's size in pixels, by the dialog units of its own font.
SIZE pixelSize(const plat::res::Dialog& t) {
    const int bx = t.fontSize > 0 ? std::max(1, t.fontSize * 3 / 4) : 6;
    const int by = t.fontSize > 0 ? std::max(1, t.fontSize * 13 / 8) : 13;
    return SIZE{t.cx * bx / 4, t.cy * by / 8};
}

LONG_PTR notify(HWND sheet, const Page& page, UINT code, LPARAM param) {
    PSHNOTIFY n{{sheet, 0, code}, param};
    return LONG_PTR(SendMessage(page.window, WM_NOTIFY, 0, LPARAM(&n)));
}

bool makePage(HWND sheet, Page& p) {
    if (p.window) return true;
    p.window = CreateDialogIndirectParam(p.record.hInstance, &p.childTemplate, sheet,
                                         reinterpret_cast<DLGPROC>(p.record.pfnDlgProc), LPARAM(&p.record));
    if (!p.window) return false;
    Sheet* s = sheetOf(sheet);
    // Before the buttons: Tab goes through the page, then OK and Cancel.
    SetWindowPos(p.window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    MoveWindow(p.window, s->area.left, s->area.top, s->area.right - s->area.left, s->area.bottom - s->area.top, FALSE);
    return true;
}

bool select(HWND sheet, int index) {
    Sheet* s = sheetOf(sheet);
    if (!s || index < 0 || index >= int(s->pages.size())) return false;
    if (index == s->current) return true;
    if (s->current >= 0 && notify(sheet, s->pages[size_t(s->current)], PSN_KILLACTIVE, 0)) return false;
    Page& next = s->pages[size_t(index)];
    if (!makePage(sheet, next)) return false;
    notify(sheet, next, PSN_SETACTIVE, 0);
    if (s->current >= 0) ShowWindow(s->pages[size_t(s->current)].window, SW_HIDE);
    s->current = index;
    ShowWindow(next.window, SW_SHOW);
    const HWND first = GetNextDlgTabItem(next.window, 0, FALSE);
    if (first) SetFocus(first);
    RECT strip{0, 0, s->area.right + kMargin, kTabHeight};
    InvalidateRect(sheet, &strip, TRUE);
    return true;
}

void ok(HWND sheet) {
    Sheet* s = sheetOf(sheet);
    if (s->current >= 0 && notify(sheet, s->pages[size_t(s->current)], PSN_KILLACTIVE, 0)) return;
    for (size_t i = 0; i < s->pages.size(); ++i) {
        if (!s->pages[i].window) continue;
        const LONG_PTR answer = notify(sheet, s->pages[i], PSN_APPLY, TRUE);
        if (answer == PSNRET_INVALID) {
            select(sheet, int(i));
            return;
        }
        if (answer == PSNRET_INVALID_NOCHANGEPAGE) return;
    }
    EndDialog(sheet, 1);
}

void cancel(HWND sheet) {
    Sheet* s = sheetOf(sheet);
    for (const Page& p : s->pages)
        if (p.window) notify(sheet, p, PSN_RESET, 0);
    EndDialog(sheet, 0);
}

void layout(HWND sheet, Sheet& s) {
    LONG w = 0, h = 0;
    for (const Page& p : s.pages) {
        w = std::max(w, p.size.cx);
        h = std::max(h, p.size.cy);
    }
    // The tabs: each as wide as its caption, side by side.
    const HFONT font = HFONT(SendMessage(sheet, WM_GETFONT, 0, 0));
    const HDC dc = GetDC(sheet);
    const HGDIOBJ old = font ? SelectObject(dc, font) : 0;
    int x = kMargin;
    for (Page& p : s.pages) {
        SIZE text{0, 0};
        GetTextExtentPoint32(dc, p.title.c_str(), int(p.title.size()), &text);
        if (text.cx <= 0) text.cx = LONG(6 * p.title.size());
        const int tw = std::max(40, int(text.cx) + 12);
        p.tab = RECT{x, 2, x + tw, kTabHeight};
        x += tw;
    }
    if (old) SelectObject(dc, old);
    ReleaseDC(sheet, dc);
    w = std::max<LONG>(w, std::max(x - kMargin, 2 * kButtonWidth + kMargin));
    s.area = RECT{kMargin, kTabHeight, kMargin + w, kTabHeight + h};
    const int clientW = int(w) + 2 * kMargin;
    const int clientH = kTabHeight + int(h) + 2 * kMargin + kButtonHeight;
    const int by = kTabHeight + int(h) + kMargin;
    const std::pair<int, const char16_t*> buttons[] = {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
    int bx = clientW - kMargin - 2 * kButtonWidth - kMargin;
    for (const auto& [id, text] : buttons) {
        const HWND b = CreateWindowEx(0, WC_BUTTON, text,
                                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | (id == IDOK ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                                      bx, by, kButtonWidth, kButtonHeight, sheet, HMENU(UINT_PTR(id)), nullptr, nullptr);
        if (font) SendMessage(b, WM_SETFONT, WPARAM(font), 0);
        bx += kButtonWidth + kMargin;
    }
    SendMessage(sheet, DM_SETDEFID, IDOK, 0);
    // The window around that client area, centred in the work area.
    RECT outer{}, inner{};
    GetWindowRect(sheet, &outer);
    GetClientRect(sheet, &inner);
    const int fw = clientW + (outer.right - outer.left) - (inner.right - inner.left);
    const int fh = clientH + (outer.bottom - outer.top) - (inner.bottom - inner.top);
    RECT work{0, 0, 0, 0};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(sheet, 0, work.left + std::max(0, int((work.right - work.left) - fw) / 2),
                 work.top + std::max(0, int((work.bottom - work.top) - fh) / 2), fw, fh, SWP_NOZORDER | SWP_NOACTIVATE);
}

void paintTabs(HWND sheet, const Sheet& s) {
    PAINTSTRUCT ps;
    const HDC dc = BeginPaint(sheet, &ps);
    const HFONT sheetFont = HFONT(SendMessage(sheet, WM_GETFONT, 0, 0));
    const HGDIOBJ font = sheetFont ? SelectObject(dc, sheetFont) : 0;
    SetBkMode(dc, TRANSPARENT);
    // The line under the strip that the page shown breaks.
    MoveToEx(dc, kMargin, kTabHeight - 1, nullptr);
    LineTo(dc, s.area.right, kTabHeight - 1);
    for (size_t i = 0; i < s.pages.size(); ++i) {
        const Page& p = s.pages[i];
        RECT r = p.tab;
        const bool shown = int(i) == s.current;
        if (!shown) r.top += 2;
        const HGDIOBJ brush = SelectObject(dc, GetStockObject(shown ? WHITE_BRUSH : LTGRAY_BRUSH));
        Rectangle(dc, r.left, r.top, r.right, r.bottom);
        SelectObject(dc, brush);
        if (shown) {
            const HGDIOBJ pen = SelectObject(dc, GetStockObject(WHITE_PEN));
            MoveToEx(dc, r.left + 1, r.bottom - 1, nullptr);
            LineTo(dc, r.right - 1, r.bottom - 1);
            SelectObject(dc, pen);
        }
        DrawText(dc, p.title.c_str(), int(p.title.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    if (font) SelectObject(dc, font);
    EndPaint(sheet, &ps);
}

INT_PTR answer(HWND sheet, LONG_PTR result) {
    SetWindowLongPtr(sheet, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR sheetProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    Sheet* s = sheetOf(h);
    switch (msg) {
    case WM_INITDIALOG:
        s = reinterpret_cast<Sheet*>(l);
        SetWindowLongPtr(h, DWLP_USER, LONG_PTR(s));
        layout(h, *s);
        if (!select(h, int(s->start)) && !select(h, 0)) EndDialog(h, -1);
        return FALSE;  // the page shown has the focus
    case WM_COMMAND:
        if (!s) return FALSE;
        if (LOWORD(w) == IDOK) ok(h);
        else if (LOWORD(w) == IDCANCEL) cancel(h);
        return TRUE;
    case WM_LBUTTONDOWN: {
        if (!s) return FALSE;
        const POINT at{short(LOWORD(l)), short(HIWORD(l))};
        for (size_t i = 0; i < s->pages.size(); ++i)
            if (PtInRect(&s->pages[i].tab, at)) select(h, int(i));
        return TRUE;
    }
    case WM_PAINT:
        if (!s) return FALSE;
        paintTabs(h, *s);
        return TRUE;
    case PSM_SETCURSEL: return s ? answer(h, select(h, int(w))) : FALSE;
    case PSM_CHANGED:
    case PSM_UNCHANGED:  // no Apply button to enable
        return s ? answer(h, 0) : FALSE;
    case PSM_GETCURRENTPAGEHWND:
        return s ? answer(h, s->current >= 0 ? LONG_PTR(s->pages[size_t(s->current)].window) : 0) : FALSE;
    default: return FALSE;
    }
}

}  // namespace

INT_PTR PropertySheet(const PROPSHEETHEADER* header) {
    if (!header || !(header->dwFlags & PSH_PROPSHEETPAGE) || (header->nPages && !header->ppsp)) return -1;
    Sheet sheet;
    for (UINT i = 0; i < header->nPages; ++i) {
        const PROPSHEETPAGE& record = header->ppsp[i];
        const plat::res::Dialog* t =
            record.dwSize ? plat::res::FindDialog(record.hInstance, UINT(record.pszTemplate)) : nullptr;
        if (!t || !record.pfnDlgProc) continue;
        // The start page, or the first page kept after it.
        if (i <= header->nStartPage) sheet.start = UINT(sheet.pages.size());
        Page p{record, *t, t->caption ? t->caption : u"", pixelSize(*t)};
        // Its controls take part in the sheet's tab order.
        p.childTemplate.style = (DWORD(t->style) & ~(WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_CENTER)) | WS_CHILD | DS_CONTROL;
        p.childTemplate.x = p.childTemplate.y = 0;
        sheet.pages.push_back(std::move(p));
    }
    if (sheet.pages.empty()) return -1;
    static const plat::res::Dialog frame{0, WS_POPUP | WS_CAPTION, nullptr, u"MS Sans Serif", 8, 0, 0, 100, 60, nullptr, 0};
    plat::res::Dialog withCaption = frame;
    withCaption.caption = header->pszCaption ? header->pszCaption : u"";
    const INT_PTR result = DialogBoxIndirectParam(header->hInstance, &withCaption, header->hwndParent, sheetProc,
                                                  LPARAM(&sheet));
    return result < 0 ? -1 : result;
}
