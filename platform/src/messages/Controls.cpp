// The standard controls as window classes of the layer: BUTTON, STATIC, EDIT,
// LISTBOX, COMBOBOX and the progress bar. They keep their state in the model
// (a C++ object behind their first extra slot), answer their Windows
// messages, draw through the window's drawing context (QPainter when Qt is
// attached) and ask their parent for colours with WM_CTLCOLOR*. A control
// tells its parent with WM_COMMAND only when the user acts (input, BM_CLICK),
// never when its owner changes it by message.
#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/Controls.h"
#include "platform/Gdi.h"
#include "platform/Window.h"

namespace {

constexpr int kItemHeight = 16;
constexpr size_t kDefaultEditLimit = 30000;

// ---- shared helpers ----

template <typename T>
T* stateOf(HWND hwnd) {
    return reinterpret_cast<T*>(GetWindowLongPtr(hwnd, 0));
}

template <typename T>
LRESULT withState(HWND hwnd, UINT msg, WPARAM w, LPARAM l, LRESULT (*handle)(HWND, T&, UINT, WPARAM, LPARAM)) {
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

DWORD styleOf(HWND hwnd) { return DWORD(GetWindowLongPtr(hwnd, GWL_STYLE)); }

void notifyParent(HWND hwnd, UINT code) {
    const HWND parent = GetParent(hwnd);
    if (parent) SendMessage(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code), LPARAM(hwnd));
}

// Paints the control: background from the parent's WM_CTLCOLOR* answer (the
// default colours when the parent has none), then draw.
template <typename Draw>
// interior false: only what draw fills is painted (a group box lets the
// controls below show through).
void paint(HWND hwnd, UINT ctlColor, Draw draw, bool interior = true) {
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

void frame(HDC dc, const RECT& r, COLORREF c) {
    const HGDIOBJ oldPen = SelectObject(dc, CreatePen(PS_SOLID, 1, c));
    const HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
}

std::u16string folded(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    return out;
}

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; }
char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

LRESULT copyText(const std::u16string& text, WPARAM max, LPARAM buffer) {
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
UINT listOpOf(UINT cb) {
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

// ---- BUTTON ----

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
            RECT box{r.left + 1, mid - 6, r.left + 13, mid + 6};
            FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
            frame(dc, box, RGB(0, 0, 0));
            if (s.check != BST_UNCHECKED) {
                RECT mark = box;
                InflateRect(&mark, -3, -3);
                FillRect(dc, &mark, s.check == BST_CHECKED ? CreateSolidBrush(RGB(0, 0, 0)) : GetSysColorBrush(COLOR_GRAYTEXT));
            }
            RECT label{r.left + 18, r.top, r.right, r.bottom};
            DrawText(dc, text.c_str(), -1, &label, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        }, type != BS_GROUPBOX);
        return 0;
    }
    default: return DefWindowProc(h, msg, w, l);
    }
}

// ---- STATIC ----

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
            if (type == SS_BITMAP || type == SS_ICON) return;  // the image is drawn by its owner's backend
            if (type == SS_BLACKRECT) {
                FillRect(dc, &r, CreateSolidBrush(RGB(0, 0, 0)));
                return;
            }
            const UINT align = type == SS_CENTER ? DT_CENTER : type == SS_RIGHT ? DT_RIGHT : DT_LEFT;
            const std::u16string text = plat::window::GetWindowString(h);
            DrawText(dc, text.c_str(), -1, &r, align | (type == SS_LEFTNOWORDWRAP ? DT_SINGLELINE : DT_WORDBREAK));
        });
        return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

// ---- EDIT ----

struct EditState {
    std::u16string text;
    size_t selStart = 0;
    size_t selEnd = 0;  // the caret
    size_t limit = kDefaultEditLimit;
    char16_t password = u'*';
    bool modified = false;
};

std::u16string cased(HWND h, std::u16string_view in) {
    std::u16string out(in);
    const DWORD style = styleOf(h);
    if (style & ES_UPPERCASE) std::transform(out.begin(), out.end(), out.begin(), upper);
    if (style & ES_LOWERCASE) std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

// Replaces the selection with text, cut to the limit. False when nothing of
// it fitted.
bool replaceSelection(EditState& s, std::u16string_view text) {
    const size_t a = std::min(s.selStart, s.selEnd), b = std::max(s.selStart, s.selEnd);
    const size_t room = s.limit - std::min(s.limit, s.text.size() - (b - a));
    const std::u16string_view put = text.substr(0, room);
    s.text.replace(a, b - a, put);
    s.selStart = s.selEnd = a + put.size();
    return put.size() == text.size();
}

LRESULT editProc(HWND h, EditState& s, UINT msg, WPARAM w, LPARAM l) {
    const DWORD style = styleOf(h);
    const auto changed = [&](bool byUser) {
        s.modified = s.modified || byUser;
        InvalidateRect(h, nullptr, TRUE);
        if (byUser) notifyParent(h, EN_CHANGE);
    };
    switch (msg) {
    case WM_NCCREATE: {
        const auto* cs = reinterpret_cast<const CREATESTRUCT*>(l);
        if (cs && cs->lpszName) s.text = cased(h, cs->lpszName);
        return DefWindowProc(h, msg, w, l);
    }
    case WM_SETTEXT:
        s.text = cased(h, l ? reinterpret_cast<const char16_t*>(l) : u"");
        s.selStart = s.selEnd = 0;
        s.modified = false;
        changed(false);
        return TRUE;
    case WM_GETTEXT: return copyText(s.text, w, l);
    case WM_GETTEXTLENGTH: return LRESULT(s.text.size());
    case EM_GETSEL:
        if (w) *reinterpret_cast<DWORD*>(w) = DWORD(std::min(s.selStart, s.selEnd));
        if (l) *reinterpret_cast<DWORD*>(l) = DWORD(std::max(s.selStart, s.selEnd));
        return LRESULT(MAKELPARAM(int(std::min(s.selStart, s.selEnd)), int(std::max(s.selStart, s.selEnd))));
    case EM_SETSEL: {
        const auto clamp = [&](LONG_PTR v) { return v < 0 ? s.text.size() : std::min(size_t(v), s.text.size()); };
        if (LONG_PTR(w) == -1) {
            s.selStart = s.selEnd;  // no selection
        } else {
            s.selStart = clamp(LONG_PTR(w));
            s.selEnd = clamp(LONG_PTR(l));
        }
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    }
    case EM_REPLACESEL:
        replaceSelection(s, cased(h, l ? reinterpret_cast<const char16_t*>(l) : u""));
        changed(false);
        return 0;
    case EM_LIMITTEXT:
        s.limit = w ? size_t(w) : size_t(0x7FFFFFFE);
        return 0;
    case EM_GETLIMITTEXT: return LRESULT(s.limit);
    case EM_SETPASSWORDCHAR:
        s.password = char16_t(w);
        SetWindowLongPtr(h, GWL_STYLE, LONG_PTR(w ? (style | ES_PASSWORD) : (style & ~ES_PASSWORD)));
        InvalidateRect(h, nullptr, TRUE);
        return 0;
    case EM_GETPASSWORDCHAR: return (style & ES_PASSWORD) ? s.password : 0;
    case EM_SETREADONLY:
        SetWindowLongPtr(h, GWL_STYLE, LONG_PTR(w ? (style | ES_READONLY) : (style & ~ES_READONLY)));
        InvalidateRect(h, nullptr, TRUE);
        return TRUE;
    case EM_GETMODIFY: return s.modified ? TRUE : FALSE;
    case EM_SETMODIFY: s.modified = w != 0; return 0;
    case EM_GETLINECOUNT: return LRESULT(1 + std::count(s.text.begin(), s.text.end(), u'\n'));
    case WM_GETDLGCODE: {
        LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
        if (style & ES_MULTILINE) code |= DLGC_WANTALLKEYS;
        return code;
    }
    case WM_CHAR: {
        if (style & ES_READONLY) return 0;
        const char16_t c = char16_t(w);
        if (c == 8) {  // backspace
            if (s.selStart == s.selEnd && s.selEnd > 0) s.selStart = s.selEnd - 1;
            if (s.selStart == s.selEnd) return 0;
            replaceSelection(s, u"");
            changed(true);
            return 0;
        }
        std::u16string put;
        if (c == u'\r' && (style & ES_MULTILINE)) put = u"\r\n";
        else if (c >= 0x20) put = cased(h, std::u16string(1, c));
        if (put.empty()) return 0;
        if ((style & ES_NUMBER) && !(c >= u'0' && c <= u'9')) return 0;  // refused, as Windows does
        if (!replaceSelection(s, put)) {
            notifyParent(h, EN_MAXTEXT);
            return 0;
        }
        changed(true);
        return 0;
    }
    case WM_KEYDOWN:
        switch (w) {
        case VK_LEFT: s.selStart = s.selEnd = s.selEnd > 0 ? s.selEnd - 1 : 0; break;
        case VK_RIGHT: s.selStart = s.selEnd = std::min(s.selEnd + 1, s.text.size()); break;
        case VK_HOME: s.selStart = s.selEnd = 0; break;
        case VK_END: s.selStart = s.selEnd = s.text.size(); break;
        case VK_DELETE:
            if (style & ES_READONLY) return 0;
            if (s.selStart == s.selEnd && s.selEnd < s.text.size()) s.selStart = s.selEnd + 1;
            if (s.selStart == s.selEnd) return 0;
            replaceSelection(s, u"");
            changed(true);
            return 0;
        default: return 0;
        }
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_LBUTTONDOWN: SetFocus(h); return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(h, nullptr, FALSE);
        notifyParent(h, msg == WM_SETFOCUS ? EN_SETFOCUS : EN_KILLFOCUS);
        return 0;
    case WM_PAINT: {
        const bool readOnly = (style & ES_READONLY) || !IsWindowEnabled(h);
        paint(h, readOnly ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT, [&](HDC dc, RECT r) {
            if (style & WS_BORDER) frame(dc, r, RGB(0, 0, 0));
            InflateRect(&r, -2, -1);
            const std::u16string shown = (style & ES_PASSWORD) ? std::u16string(s.text.size(), s.password) : s.text;
            const UINT align = (style & ES_CENTER) ? DT_CENTER : (style & ES_RIGHT) ? DT_RIGHT : DT_LEFT;
            DrawText(dc, shown.c_str(), -1, &r, align | ((style & ES_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER));
            if (GetFocus() == h && !(style & ES_MULTILINE)) {
                SIZE before{};
                GetTextExtentPoint32(dc, shown.c_str(), int(std::min(s.selEnd, shown.size())), &before);
                MoveToEx(dc, r.left + before.cx, r.top + 1, nullptr);
                LineTo(dc, r.left + before.cx, r.bottom - 1);
            }
        });
        return 0;
    }
    default: return DefWindowProc(h, msg, w, l);
    }
}

// ---- LISTBOX ----

struct ListState {
    ItemList list;
};

void userSelects(HWND h, ItemList& list, int index, bool notify, UINT code) {
    if (list.items.empty()) return;
    index = std::clamp(index, 0, int(list.items.size()) - 1);
    if (index == list.selected) return;
    list.selected = index;
    InvalidateRect(h, nullptr, TRUE);
    if (notify) notifyParent(h, code);
}

LRESULT listProc(HWND h, ListState& s, UINT msg, WPARAM w, LPARAM l) {
    const DWORD style = styleOf(h);
    bool handled;
    const LRESULT r = s.list.handle(msg, w, l, (style & LBS_SORT) != 0, &handled);
    if (handled) {
        if (msg != LB_GETCURSEL && msg != LB_GETTEXT && msg != LB_GETTEXTLEN && msg != LB_GETCOUNT)
            InvalidateRect(h, nullptr, TRUE);
        return r;
    }
    const bool notify = (style & LBS_NOTIFY) != 0;
    switch (msg) {
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN:
        SetFocus(h);
        userSelects(h, s.list, s.list.top + GET_Y_LPARAM(l) / kItemHeight, notify, LBN_SELCHANGE);
        return 0;
    case WM_LBUTTONDBLCLK:
        if (notify) notifyParent(h, LBN_DBLCLK);
        return 0;
    case WM_KEYDOWN:
        switch (w) {
        case VK_UP: userSelects(h, s.list, s.list.selected - 1, notify, LBN_SELCHANGE); break;
        case VK_DOWN: userSelects(h, s.list, s.list.selected + 1, notify, LBN_SELCHANGE); break;
        case VK_HOME: userSelects(h, s.list, 0, notify, LBN_SELCHANGE); break;
        case VK_END: userSelects(h, s.list, int(s.list.items.size()) - 1, notify, LBN_SELCHANGE); break;
        default: break;
        }
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (notify) notifyParent(h, msg == WM_SETFOCUS ? LBN_SETFOCUS : LBN_KILLFOCUS);
        InvalidateRect(h, nullptr, FALSE);
        return 0;
    case WM_PAINT:
        paint(h, WM_CTLCOLORLISTBOX, [&](HDC dc, RECT r) {
            if (style & WS_BORDER) frame(dc, r, RGB(0, 0, 0));
            for (size_t i = size_t(std::max(s.list.top, 0)); i < s.list.items.size(); ++i) {
                RECT row{r.left + 1, r.top + LONG(i - size_t(s.list.top)) * kItemHeight, r.right - 1, 0};
                row.bottom = row.top + kItemHeight;
                if (row.top >= r.bottom) break;
                const COLORREF text = int(i) == s.list.selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : dc->state.textColor;
                if (int(i) == s.list.selected) FillRect(dc, &row, GetSysColorBrush(COLOR_HIGHLIGHT));
                const COLORREF old = SetTextColor(dc, text);
                DrawText(dc, s.list.items[i].text.c_str(), -1, &row, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
                SetTextColor(dc, old);
            }
        });
        return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

// ---- COMBOBOX ----

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

// ---- progress bar ----

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

template <typename T, LRESULT (*Handle)(HWND, T&, UINT, WPARAM, LPARAM)>
LRESULT classProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    return withState<T>(h, msg, w, l, Handle);
}

}  // namespace

void plat::window::RegisterStandardControls() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct Def {
            const char16_t* name;
            WNDPROC proc;
            UINT style;
        };
        const Def defs[] = {
            {WC_BUTTON, classProc<ButtonState, buttonProc>, CS_DBLCLKS},
            {WC_STATIC, classProc<StaticState, staticProc>, 0},
            {WC_EDIT, classProc<EditState, editProc>, CS_DBLCLKS},
            {WC_LISTBOX, classProc<ListState, listProc>, CS_DBLCLKS},
            {WC_COMBOBOX, classProc<ComboState, comboProc>, CS_DBLCLKS},
            {PROGRESS_CLASS, classProc<ProgressState, progressProc>, 0},
        };
        for (const Def& d : defs) {
            WNDCLASS wc{};
            wc.style = d.style | CS_GLOBALCLASS;
            wc.lpfnWndProc = d.proc;
            wc.cbWndExtra = sizeof(LONG_PTR);
            wc.hCursor = IDC_ARROW;
            wc.lpszClassName = d.name;
            RegisterClass(&wc);
        }
    });
}
