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
    int scrollX = 0;          // pixels of the lines hidden at the left
    int firstLine = 0;        // multi-line: the first line shown
    bool followCaret = true;  // the next paint scrolls the caret into view
};

// The lines of the text: [start, end) without their line break.
struct Line {
    size_t start, end;
};

std::vector<Line> hardLinesOf(const std::u16string& t, bool multi) {
    std::vector<Line> out;
    if (!multi) return {Line{0, t.size()}};
    size_t start = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] != u'\n') continue;
        out.push_back(Line{start, i > start && t[i - 1] == u'\r' ? i - 1 : i});
        start = i + 1;
    }
    out.push_back(Line{start, t.size()});
    return out;
}

size_t lineOf(const std::vector<Line>& lines, size_t pos) {
    // Where a broken line ends the next begins: the position is the next's.
    for (size_t i = 0; i < lines.size(); ++i)
        if (pos < lines[i].end || (pos == lines[i].end && (i + 1 == lines.size() || lines[i + 1].start != pos))) return i;
    return lines.size() - 1;
}

// How the edit lies: the text area, the bar of a WS_VSCROLL multi-line
// edit, the line height and how many lines fit.
struct EditLayout {
    RECT text{};
    ListLayout bar;
    int lineHeight = kItemHeight;
    int visible = 1;
};

int widthOf(HDC dc, std::u16string_view s) {
    SIZE size{};
    GetTextExtentPoint32(dc, s.data(), int(s.size()), &size);
    return int(size.cx);
}

EditLayout editLayout(HWND h, HDC dc, size_t lineCount) {
    EditLayout e;
    RECT r;
    GetClientRect(h, &r);
    const DWORD style = styleOf(h);
    SIZE size{};
    GetTextExtentPoint32(dc, u"Ag", 2, &size);
    if (size.cy > 0) e.lineHeight = int(size.cy);
    ItemList lines;  // only its count and height, for the bar's layout
    lines.items.resize(lineCount);
    lines.itemHeight = e.lineHeight;
    e.bar = listLayout(lines, r, (style & WS_BORDER) != 0, (style & ES_MULTILINE) && (style & WS_VSCROLL));
    e.text = e.bar.rows;
    InflateRect(&e.text, -2, -1);
    if (!(style & ES_MULTILINE) && e.lineHeight > e.text.bottom - e.text.top) {
        // A line taller than the field: what is cut is the empty leading
        // above the letters, and the letters themselves sit centred, so a
        // large font is not cut off at the bottom.
        TEXTMETRIC tm{};
        GetTextMetrics(dc, &tm);
        const LONG leading = std::clamp<LONG>(tm.tmInternalLeading, 0, e.lineHeight - 1);
        const LONG room = e.bar.rows.bottom - e.bar.rows.top;
        e.text.top = e.bar.rows.top + (room - (e.lineHeight - leading)) / 2 - leading;
        e.text.bottom = e.text.top + e.lineHeight;
    }
    e.visible = std::max(1, int(e.text.bottom - e.text.top) / e.lineHeight);
    return e;
}

// The lines as shown: a multi-line edit without ES_AUTOHSCROLL also breaks
// a line that is wider than the edit, after the last space that fits (or
// within a word too long for a line). Each line keeps its trailing spaces,
// so every position of the text lies on a line.
std::vector<Line> linesOf(HWND h, HDC dc, const std::u16string& t) {
    const DWORD style = styleOf(h);
    std::vector<Line> hard = hardLinesOf(t, (style & ES_MULTILINE) != 0);
    if (!(style & ES_MULTILINE) || (style & ES_AUTOHSCROLL)) return hard;
    const EditLayout e = editLayout(h, dc, 0);
    const int width = int(e.text.right - e.text.left);
    if (width <= 0) return hard;
    std::vector<Line> out;
    const std::u16string_view all(t);
    for (const Line& line : hard) {
        size_t pos = line.start;
        while (widthOf(dc, all.substr(pos, line.end - pos)) > width) {
            // The longest start of the rest that fits; a character is at
            // least a pixel wide, so no more than width + 1 are tried.
            size_t lo = pos + 1, hi = std::min(line.end, pos + size_t(width) + 1);
            while (lo < hi) {
                const size_t mid = (lo + hi + 1) / 2;
                if (widthOf(dc, all.substr(pos, mid - pos)) <= width) lo = mid;
                else hi = mid - 1;
            }
            size_t cut = lo;
            if (cut < line.end && all[cut] == u' ') {
                while (cut < line.end && all[cut] == u' ') ++cut;
            } else {
                const size_t space = all.substr(pos, lo - pos).find_last_of(u' ');
                if (space != std::u16string_view::npos) cut = pos + space + 1;
            }
            if (cut >= line.end) break;
            out.push_back(Line{pos, cut});
            pos = cut;
        }
        out.push_back(Line{pos, line.end});
    }
    return out;
}

std::vector<Line> linesOf(HWND h, const std::u16string& t) {
    HDC dc = GetDC(h);
    if (const HFONT font = HFONT(SendMessage(h, WM_GETFONT, 0, 0))) SelectObject(dc, font);
    std::vector<Line> lines = linesOf(h, dc, t);
    ReleaseDC(h, dc);
    return lines;
}

// What the edit shows: the password character in place of each character.
std::u16string shownText(HWND h, const EditState& s) {
    return (styleOf(h) & ES_PASSWORD) ? std::u16string(s.text.size(), s.password) : s.text;
}

// Scrolls the least that shows the caret: lines up and down, a quarter of
// the width left and right.
void scrollToCaret(EditState& s, const EditLayout& e, HDC dc, const std::u16string& shown, const std::vector<Line>& lines) {
    const int line = int(lineOf(lines, s.selEnd));
    if (line < s.firstLine) s.firstLine = line;
    if (line >= s.firstLine + e.visible) s.firstLine = line - e.visible + 1;
    const Line& l = lines[size_t(line)];
    const int x = widthOf(dc, std::u16string_view(shown).substr(l.start, s.selEnd - l.start));
    const int width = std::max(1, int(e.text.right - e.text.left));
    if (x < s.scrollX) s.scrollX = std::max(0, x - width / 4);
    if (x >= s.scrollX + width) s.scrollX = x - width + width / 4;
}

// The character position nearest a point of the client area.
size_t positionAt(HWND h, const EditState& s, POINT p) {
    HDC dc = GetDC(h);
    if (const HFONT font = HFONT(SendMessage(h, WM_GETFONT, 0, 0))) SelectObject(dc, font);
    const std::u16string shown = shownText(h, s);
    const auto lines = linesOf(h, dc, shown);
    const EditLayout e = editLayout(h, dc, lines.size());
    const int row = std::clamp(s.firstLine + int(p.y - e.text.top) / e.lineHeight, 0, int(lines.size()) - 1);
    const Line& l = lines[size_t(row)];
    const int x = int(p.x - e.text.left) + s.scrollX;
    size_t best = l.start;
    for (size_t i = l.start; i <= l.end; ++i) {
        const int w = widthOf(dc, std::u16string_view(shown).substr(l.start, i - l.start));
        if (w > x) {
            if (i == l.start) break;  // left of the text: its start
            const int before = widthOf(dc, std::u16string_view(shown).substr(l.start, i - 1 - l.start));
            best = (x - before) * 2 < (w - before) ? i - 1 : i;
            break;
        }
        best = i;
    }
    ReleaseDC(h, dc);
    return best;
}

// The caret to the same column of the line above or below.
size_t verticalMove(HWND h, const EditState& s, int by) {
    const auto lines = linesOf(h, s.text);
    const size_t line = lineOf(lines, s.selEnd);
    const int to = int(line) + by;
    if (to < 0 || to >= int(lines.size())) return s.selEnd;
    const size_t column = s.selEnd - lines[line].start;
    const Line& target = lines[size_t(to)];
    return std::min(target.start + column, target.end);
}

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
        s.followCaret = true;
        InvalidateRect(h, nullptr, TRUE);
        if (byUser) notifyParent(h, EN_CHANGE);
    };
    const auto moved = [&] {
        s.followCaret = true;
        InvalidateRect(h, nullptr, FALSE);
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
        s.scrollX = s.firstLine = 0;
        changed(false);
        notifyParent(h, EN_CHANGE);  // a new text is announced, whoever sets it
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
        moved();
        return 0;
    }
    case EM_SCROLLCARET: moved(); return TRUE;
    case EM_GETFIRSTVISIBLELINE: return (style & ES_MULTILINE) ? s.firstLine : 0;
    case EM_LINESCROLL:
        if (!(style & ES_MULTILINE)) return FALSE;
        s.firstLine = std::clamp(s.firstLine + int(LONG_PTR(l)), 0, int(linesOf(h, s.text).size()) - 1);
        s.followCaret = false;
        InvalidateRect(h, nullptr, TRUE);
        return TRUE;
    case EM_LINEINDEX: {
        const auto lines = linesOf(h, s.text);
        const size_t line = LONG_PTR(w) < 0 ? lineOf(lines, s.selEnd) : size_t(w);
        return line < lines.size() ? LRESULT(lines[line].start) : -1;
    }
    case EM_LINEFROMCHAR:
        return LRESULT(lineOf(linesOf(h, s.text), LONG_PTR(w) < 0 ? s.selEnd : std::min(size_t(w), s.text.size())));
    case WM_VSCROLL: {
        if (!(style & ES_MULTILINE)) return 0;
        HDC dc = GetDC(h);
        const int lines = int(linesOf(h, s.text).size());
        const int page = editLayout(h, dc, size_t(lines)).visible;
        ReleaseDC(h, dc);
        int to = s.firstLine;
        switch (LOWORD(w)) {
        case SB_LINEUP: --to; break;
        case SB_LINEDOWN: ++to; break;
        case SB_PAGEUP: to -= page; break;
        case SB_PAGEDOWN: to += page; break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: to = HIWORD(w); break;
        case SB_TOP: to = 0; break;
        case SB_BOTTOM: to = lines; break;
        default: break;
        }
        s.firstLine = std::clamp(to, 0, std::max(0, lines - page));
        s.followCaret = false;
        InvalidateRect(h, nullptr, TRUE);
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
    case EM_GETLINECOUNT:
        if (style & ES_MULTILINE) return LRESULT(linesOf(h, s.text).size());
        return LRESULT(1 + std::count(s.text.begin(), s.text.end(), u'\n'));
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
        case VK_UP:
        case VK_DOWN:
            if (!(style & ES_MULTILINE)) return 0;
            s.selStart = s.selEnd = verticalMove(h, s, w == VK_UP ? -1 : 1);
            break;
        case VK_DELETE:
            if (style & ES_READONLY) return 0;
            if (s.selStart == s.selEnd && s.selEnd < s.text.size()) s.selStart = s.selEnd + 1;
            if (s.selStart == s.selEnd) return 0;
            replaceSelection(s, u"");
            changed(true);
            return 0;
        default: return 0;
        }
        moved();
        return 0;
    case WM_LBUTTONDOWN: {
        SetFocus(h);
        const POINT p{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
        if (style & ES_MULTILINE) {
            HDC dc = GetDC(h);
            const int lines = int(linesOf(h, s.text).size());
            const EditLayout e = editLayout(h, dc, size_t(lines));
            ReleaseDC(h, dc);
            if (PtInRect(&e.bar.bar, p)) {
                ItemList shape;
                shape.items.resize(size_t(lines));
                shape.top = s.firstLine;
                SendMessage(h, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, std::max(0, scrolledTop(shape, e.bar, p))), 0);
                return 0;
            }
        }
        s.selStart = s.selEnd = positionAt(h, s, p);
        moved();
        return 0;
    }
    case WM_LBUTTONDBLCLK: {
        // A double tap selects the word under it (the run of non-blanks).
        SetFocus(h);
        const size_t at = positionAt(h, s, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)});
        const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
        size_t start = at, end = at;
        while (start > 0 && !blank(s.text[start - 1])) --start;
        while (end < s.text.size() && !blank(s.text[end])) ++end;
        s.selStart = start;
        s.selEnd = end;
        moved();
        return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(h, nullptr, FALSE);
        notifyParent(h, msg == WM_SETFOCUS ? EN_SETFOCUS : EN_KILLFOCUS);
        return 0;
    case WM_PAINT: {
        const bool readOnly = (style & ES_READONLY) || !IsWindowEnabled(h);
        paint(h, readOnly ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT, [&](HDC dc, RECT r) {
            const bool multi = (style & ES_MULTILINE) != 0;
            const std::u16string shown = shownText(h, s);
            const auto lines = linesOf(h, dc, shown);
            const EditLayout e = editLayout(h, dc, lines.size());
            if (std::exchange(s.followCaret, false)) scrollToCaret(s, e, dc, shown, lines);
            if (multi && !(style & ES_AUTOHSCROLL)) s.scrollX = 0;  // its lines are broken to fit
            const bool focused = GetFocus() == h;
            const size_t a = std::min(s.selStart, s.selEnd), b = std::max(s.selStart, s.selEnd);
            const int width = int(e.text.right - e.text.left);
            const COLORREF textColour = dc->state.textColor;
            for (int row = 0; row < e.visible && s.firstLine + row < int(lines.size()); ++row) {
                const Line& line = lines[size_t(s.firstLine + row)];
                const std::u16string_view text = std::u16string_view(shown).substr(line.start, line.end - line.start);
                const LONG top = e.text.top + LONG(row) * e.lineHeight;
                // Single-line text that fits keeps its alignment.
                int x0 = -s.scrollX;
                if (!multi && s.scrollX == 0) {
                    const int free = width - widthOf(dc, text);
                    if (free > 0) x0 = (style & ES_CENTER) ? free / 2 : (style & ES_RIGHT) ? free : 0;
                }
                const auto xAt = [&](size_t pos) { return int(e.text.left) + x0 + widthOf(dc, text.substr(0, pos - line.start)); };
                const auto piece = [&](size_t from, size_t to, bool selected) {
                    if (to <= from) return;
                    RECT box{xAt(from), top, xAt(to), top + e.lineHeight};
                    if (selected) {
                        RECT fill = box;
                        IntersectRect(&fill, &fill, &e.text);
                        FillRect(dc, &fill, GetSysColorBrush(COLOR_HIGHLIGHT));
                    }
                    SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : textColour);
                    box.right = std::max(box.right, e.text.right);
                    DrawText(dc, shown.c_str() + from, int(to - from), &box, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
                };
                // The selection shows while the edit has the focus.
                const size_t sa = focused ? std::clamp(a, line.start, line.end) : line.end;
                const size_t sb = focused ? std::clamp(b, line.start, line.end) : line.end;
                piece(line.start, sa, false);
                piece(sa, sb, true);
                piece(sb, line.end, false);
                if (focused && lineOf(lines, s.selEnd) == size_t(s.firstLine + row)) {
                    const int x = xAt(s.selEnd);
                    if (x >= e.text.left - 1 && x <= e.text.right) {
                        MoveToEx(dc, x, top, nullptr);
                        LineTo(dc, x, top + e.lineHeight);
                    }
                }
            }
            SetTextColor(dc, textColour);
            // Text scrolled off the left may have run into the margin: the
            // frame and margins go on last.
            if (s.scrollX > 0) {
                const UINT ask = readOnly ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
                HBRUSH back = HBRUSH(SendMessage(GetParent(h), ask, WPARAM(dc), LPARAM(h)));
                if (!back) back = HBRUSH(DefWindowProc(h, ask, WPARAM(dc), LPARAM(h)));
                const RECT margin{r.left, r.top, e.text.left, r.bottom};
                FillRect(dc, &margin, back);
            }
            if (style & WS_BORDER) frame(dc, r, RGB(0, 0, 0));
            if (multi) drawScrollBar(dc, e.bar, int(lines.size()), s.firstLine);
        });
        return 0;
    }
    default: return DefWindowProc(h, msg, w, l);
    }
}

}  // namespace

LRESULT editClassProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return withState<EditState>(h, msg, w, l, editProc); }

}  // namespace plat::detail::controls
