// EDIT: single and multi-line text with a selection and a limit.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ControlsCommon.h"

namespace plat::detail::controls {
namespace {

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

}  // namespace

LRESULT editClassProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return withState<EditState>(h, msg, w, l, editProc); }

}  // namespace plat::detail::controls
