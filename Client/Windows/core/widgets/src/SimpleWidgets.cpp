// The simple widget windows: buttons, hot spots, check boxes, arrow buttons,
// static texts, edit fields and progress bars.
#include <algorithm>
#include <climits>
#include <string>

#include "core/widgets/WidgetWindowTypes.h"
#include "platform/Controls.h"
#include "platform/Gdi.h"
#include "platform/Sound.h"

namespace {

constexpr uint32_t kOptionRight = 0x2;
constexpr uint32_t kOptionCenter = 0x4;
constexpr uint32_t kEditNumber = 0x100;
constexpr uint32_t kEditPassword = 0x8000;
constexpr uint32_t kEditNoInputDevices = 0x20000;
constexpr uint32_t kEditRefuseTyping = 0x40000;
constexpr uint32_t kEditPassword2 = 0x80000;
constexpr uint32_t kEditUpperCase = 0x400000;
constexpr uint32_t kEditMultiLinePixels = 0x2000000;
constexpr uint32_t kEditLimit = 0x4000000;
constexpr uint32_t kEditLowerCase = 0x8000000;
constexpr COLORREF kGrey = 0xC0C0C0;

uint32_t Options(const CWidgetWindow& w) { return w.Widget().Fields().options; }

DWORD ButtonAlignment(uint32_t options) {
    if (options & kOptionRight) return BS_RIGHT;
    if (options & kOptionCenter) return BS_CENTER;
    return BS_LEFT;
}

int64_t LabelLength(const CWidget& widget) { return static_cast<int64_t>(widget.Fields().label.str().size()); }

// The simple focusable types: the focus turns the input devices off; Tab and
// the arrows move it.
bool SimpleFocusMessage(CWidgetWindow& w, UINT message, WPARAM wParam) {
    if (message == WM_SETFOCUS) w.Host().SetInputDevices(false);
    return message == WM_KEYDOWN && WidgetTabKey(w, wParam, true);
}

// The control window hands a widget's own notifications on to it.
bool IsClick(const CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && static_cast<HWND>(lParam) == w.Handle();
}

}  // namespace

int32_t WidgetLeadingNumber(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    int64_t v = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) v = std::min<int64_t>(v * 10 + (text[i] - u'0'), INT32_MAX);
    return static_cast<int32_t>(negative ? -v : v);
}

// ---- Buttons (1, 4)

void PrepareButton(WidgetCreation& c) {
    c.className = WC_BUTTON;
    c.setFont = true;
    c.DefaultSize(LabelLength(c.widget) + 1, 1);
    c.style |= WS_TABSTOP | WS_GROUP | ButtonAlignment(c.widget.Fields().options);
}

LRESULT ButtonWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (SimpleFocusMessage(w, message, wParam)) return 0;
    if (IsClick(w, message, wParam, lParam)) {
        w.Widget().SendEvent(w.Widget().Fields().label.str(), 0);
        return 0;
    }
    return WidgetWindowProc(w, message, wParam, lParam);
}

// ---- Hot spot (2)

void PrepareHotspot(WidgetCreation& c) {
    c.ownClass = true;
    c.className = u"OV_WIDGET_HOTSPOT_CLASS";
    c.windowName = u"HOTSPOT";
    c.style &= ~WS_VISIBLE;
}

LRESULT HotspotWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WIDGET_MSG_SHOW) return 0;  // never visible
    if (message == WM_LBUTTONDOWN) {
        CWidget& widget = w.Widget();
        const WidgetFields& f = widget.Fields();
        if (f.dataText[0]) {
            widget.SendEvent(*f.dataText[0], 0);
            return 0;
        }
        // The tap in the client coordinates of the window that received it (wParam).
        POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (f.flags & WIDGET_FLAG_TAP_RELATIVE) {
            const HWND receiver = static_cast<HWND>(wParam);
            RECT mine{};
            if (receiver) ClientToScreen(receiver, &p);
            GetWindowRect(w.Handle(), &mine);
            p.x -= mine.left;
            p.y -= mine.top;
        }
        uint32_t x = static_cast<uint32_t>(p.x), y = static_cast<uint32_t>(p.y);
        if (f.flags & WIDGET_FLAG_TAP_IN_CELLS) {
            const uint32_t cw = static_cast<uint32_t>(std::max(1, w.Host().GetCellWidth()));
            const uint32_t ch = static_cast<uint32_t>(std::max(1, w.Host().GetCellHeight()));
            x /= cw, y /= ch;
        }
        const std::string text = std::to_string(x) + "," + std::to_string(y);
        widget.SendEvent(std::u16string(text.begin(), text.end()), 0);
        return 0;
    }
    return WidgetWindowProc(w, message, wParam, lParam);
}

// ---- Check box (6)

void PrepareCheckBox(WidgetCreation& c) {
    const WidgetFields& f = c.widget.Fields();
    c.className = WC_BUTTON;
    c.setFont = true;
    c.DefaultSize(LabelLength(c.widget) + 2, 1);
    c.style |= WS_TABSTOP | WS_GROUP | BS_MULTILINE | ButtonAlignment(f.options);
    if ((f.windowStyle & 0xF) == 0) c.style |= (f.value && f.value->starts_with(u'2')) ? BS_AUTO3STATE : BS_AUTOCHECKBOX;
}

void CheckBoxCreated(CWidgetWindow& w, const WidgetCreation&) {
    const auto& value = w.Widget().Fields().value;
    const WPARAM state = value && value->starts_with(u'2') ? BST_INDETERMINATE
                         : value && value->starts_with(u'1') ? BST_CHECKED
                                                             : BST_UNCHECKED;
    SendMessage(w.Handle(), BM_SETCHECK, state, 0);
}

LRESULT CheckBoxWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (SimpleFocusMessage(w, message, wParam)) return 0;
    if (IsClick(w, message, wParam, lParam)) {
        const LRESULT state = SendMessage(w.Handle(), BM_GETCHECK, 0, 0);
        if (state == BST_CHECKED) {
            w.Widget().SendEvent(u"1", 1);
        } else if (state == BST_INDETERMINATE) {
            w.Widget().SendEvent(u"2", 2);
        } else {
            w.Widget().SendEvent(u"0", 0);
        }
        return 0;
    }
    if (message == WIDGET_MSG_SET_LABEL && lParam) {
        const std::u16string_view label(reinterpret_cast<const char16_t*>(lParam));
        if (label == u"0" || label == u"1" || label == u"2") {
            SendMessage(w.Handle(), BM_SETCHECK, static_cast<WPARAM>(label[0] - u'0'), 0);
            return 0;
        }
    }
    return WidgetWindowProc(w, message, wParam, lParam);
}

// ---- Arrow button (7)

void PrepareArrow(WidgetCreation& c) {
    c.className = WC_BUTTON;
    c.setFont = true;
    c.DefaultSize(1, 1);
    c.style |= WS_TABSTOP | WS_GROUP | BS_OWNERDRAW;
}

namespace {

void DrawArrow(CWidgetWindow& w, const DRAWITEMSTRUCT& item) {
    const WidgetFields& f = w.Widget().Fields();
    const RECT& r = item.rcItem;
    const char16_t kind = f.label.empty() ? u'1' : f.label.str()[0];
    POINT p[4];
    switch (kind) {
    case u'1': p[0] = {r.left, r.bottom / 2}, p[1] = {r.right, r.top}, p[2] = {r.right, r.bottom}; break;
    case u'2': p[0] = {r.left, r.top}, p[1] = {r.right, r.bottom / 2}, p[2] = {r.left, r.bottom}; break;
    case u'3': p[0] = {r.right / 2, r.top}, p[1] = {r.right, r.bottom}, p[2] = {r.left, r.bottom}; break;
    default: p[0] = {r.left, r.top}, p[1] = {r.right, r.top}, p[2] = {r.right / 2, r.bottom}; break;
    }
    p[3] = p[0];
    const COLORREF back = f.backColor == WIDGET_SYSTEM_COLOR ? RGB(255, 255, 255) : f.backColor;
    COLORREF arrow = f.textColor == WIDGET_SYSTEM_COLOR ? RGB(0, 0, 0) : f.textColor;
    if (item.itemState & ODS_DISABLED) arrow = kGrey;
    if (item.itemState & ODS_SELECTED) arrow = back;
    const HDC dc = item.hDC;
    const HGDIOBJ pen = CreatePen(PS_SOLID, 1, (item.itemState & ODS_FOCUS) ? kGrey : back);
    const HGDIOBJ oldPen = SelectObject(dc, pen);
    const HGDIOBJ oldBrush = SelectObject(dc, CreateSolidBrush(back));
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    DeleteObject(SelectObject(dc, CreateSolidBrush(arrow)));
    Polygon(dc, p, 4);
    DeleteObject(SelectObject(dc, oldBrush));
    DeleteObject(SelectObject(dc, oldPen));
}

}  // namespace

LRESULT DrawnButtonWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (SimpleFocusMessage(w, message, wParam)) return 0;
    if (IsClick(w, message, wParam, lParam)) {
        w.Widget().SendEvent(w.Widget().Fields().label.str(), 0);
        return 0;
    }
    if (message == WM_DRAWITEM && lParam) {
        DrawArrow(w, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    }
    if (message == WIDGET_MSG_SET_LABEL) {
        InvalidateRect(w.Handle(), nullptr, TRUE);
        return 0;
    }
    return WidgetWindowProc(w, message, wParam, lParam);
}

// ---- Static text (8)

void PrepareStatic(WidgetCreation& c) {
    const uint32_t options = c.widget.Fields().options;
    c.className = WC_STATIC;
    c.setFont = true;
    c.DefaultSize(LabelLength(c.widget) + 1, 1);
    c.style |= SS_NOPREFIX | ((options & kOptionRight) ? SS_RIGHT : (options & kOptionCenter) ? SS_CENTER : 0);
}

LRESULT StaticWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    return WidgetWindowProc(w, message, wParam, lParam);
}

// ---- Edit field (10)

void PrepareEdit(WidgetCreation& c) {
    const WidgetFields& f = c.widget.Fields();
    c.className = WC_EDIT;
    c.setFont = true;
    c.windowName = f.value ? f.value->c_str() : u"";
    if (f.value) c.DefaultWidth(static_cast<int64_t>(f.value->size()) + 1);
    c.DefaultHeight(1);
    const uint32_t o = f.options;
    DWORD style = WS_BORDER | WS_TABSTOP | WS_GROUP;
    const bool multiLine = (f.mode == WIDGET_MODE_CELLS && f.height > 1) ||
                           (f.mode == WIDGET_MODE_PIXELS && (o & kEditMultiLinePixels));
    style |= multiLine ? (WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL) : ES_AUTOHSCROLL;
    if (o & kOptionRight) {
        style |= ES_RIGHT;
    } else if (o & kOptionCenter) {
        style |= ES_CENTER;
    }
    if (o & (kEditPassword | kEditPassword2)) style |= ES_PASSWORD;
    if (o & kEditUpperCase) style |= ES_UPPERCASE;
    if (o & kEditLowerCase) style |= ES_LOWERCASE;
    if (o & kEditNumber) style |= ES_NUMBER;
    if (f.flags & WIDGET_FLAG_WANT_RETURN) style |= ES_WANTRETURN;
    c.style |= style;
}

void EditCreated(CWidgetWindow& w, const WidgetCreation&) {
    const WidgetFields& f = w.Widget().Fields();
    if (!(f.options & kEditLimit) || !f.itemData || f.itemData->empty()) return;
    // The limit is the second sub-field of the item data's first field.
    std::unique_ptr<CPacket> packet =
        w.Host().NewPacket(f.itemData->data(), static_cast<int32_t>(f.itemData->size()));
    if (!packet) return;
    if (!WidgetNextPiece(*packet, PKT_END_SUBFIELD)) return;
    SendMessage(w.Handle(), EM_LIMITTEXT, static_cast<WPARAM>(std::max(0, packet->GetInt(0))), 0);
}

namespace {

bool WantsReturn(const CWidgetWindow& w) {
    return (w.Widget().Fields().flags & WIDGET_FLAG_WANT_RETURN) && (GetWindowLongPtr(w.Handle(), GWL_STYLE) & ES_MULTILINE);
}

// Commits the field: its text becomes the label and goes to the host, unless
// it is what the field holds already (the label, or the initial value while
// no label was set) and the commit is not forced.
void Commit(CWidgetWindow& w, bool force) {
    CWidget& widget = w.Widget();
    const std::u16string text = plat::window::GetWindowString(w.Handle());
    const WidgetFields& f = widget.Fields();
    const std::u16string& held = f.label.empty() && f.value ? *f.value : f.label.str();
    if (!force && text == held) return;
    widget.MutableFields().label = text;
    widget.SendEvent(text, 0);
}

void EditDeviceData(CWidgetWindow& w, const DeviceDataRecord& record) {
    CWidget& widget = w.Widget();
    size_t n = 0;
    const size_t most = record.text && record.length > 0 ? static_cast<size_t>(record.length) : 0;
    while (n < most && record.text[n]) ++n;
    const std::u16string text(record.text ? record.text : u"", n);
    widget.MutableFields().label = text;
    SetWindowText(w.Handle(), text.c_str());
    if (widget.GetHost()->CanSendEvents()) {
        if (std::unique_ptr<CPacketBuffer> writer = w.Host().NewEventWriter(static_cast<int32_t>(n * 4 + 50))) {
            writer->AppendByte('8').EndField();
            writer->AppendWide(text.c_str()).EndField();
            writer->AppendULong(widget.GetId()).EndSubField();
            writer->AppendULong(static_cast<uint32_t>(record.kind));
            w.Host().SendEvent(*writer);
        }
    }
    w.Host().MoveFocus(&widget, false);
}

}  // namespace

LRESULT EditWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = w.Handle();
    const uint32_t options = Options(w);
    switch (message) {
    case WM_CHAR:
        if (wParam == VK_RETURN && WantsReturn(w)) break;
        if (wParam == VK_RETURN || wParam == VK_TAB) return 0;
        if (options & kEditRefuseTyping) {
            MessageBeep(0xFFFFFFFF);
            return 0;
        }
        break;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN && !WantsReturn(w)) {
            SendMessage(hwnd, WIDGET_MSG_COMMIT, 1, 0);
            w.Host().MoveFocus(&w.Widget(), false);
            return 0;
        }
        if (wParam == VK_TAB) {
            SendMessage(hwnd, WIDGET_MSG_COMMIT, 0, 0);
            w.Host().MoveFocus(&w.Widget(), ShiftDown());
            return 0;
        }
        break;
    case WM_KILLFOCUS: SendMessage(hwnd, WIDGET_MSG_COMMIT, 0, 0); break;
    case WIDGET_MSG_COMMIT: Commit(w, wParam != 0); return 0;
    case WIDGET_MSG_SET_FOCUS:
        ::SetFocus(hwnd);
        SendMessage(hwnd, EM_SETSEL, 0, -1);
        return 0;
    case WIDGET_MSG_ACTIVATE:
        SendMessage(hwnd, EM_SETSEL, 0, -1);
        w.Host().SetInputDevices(!(options & kEditNoInputDevices));
        return 0;
    case WM_KEYUP:
    case WM_LBUTTONUP: {
        const LRESULT result = WidgetWindowProc(w, message, wParam, lParam);
        if (!(options & kEditNoInputDevices) && IsWindow(hwnd)) {
            const int length = GetWindowTextLength(hwnd);
            const LRESULT sel = SendMessage(hwnd, EM_GETSEL, 0, 0);
            const bool all = LOWORD(static_cast<uintptr_t>(sel)) == 0 && HIWORD(static_cast<uintptr_t>(sel)) == length;
            w.Host().SetInputDevices(length == 0 || all);
        }
        return result;
    }
    case WIDGET_MSG_DEVICE_DATA:
        if (!lParam) return 0;
        EditDeviceData(w, *reinterpret_cast<const DeviceDataRecord*>(lParam));
        return 1;
    default: break;
    }
    return WidgetWindowProc(w, message, wParam, lParam);
}

// ---- Progress bar (15)

void PrepareProgress(WidgetCreation& c) {
    c.className = PROGRESS_CLASS;
    c.DefaultSize(10, 1);
}

LRESULT ProgressWidgetProc(CWidgetWindow& w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WIDGET_MSG_INIT || message == WIDGET_MSG_SET_LABEL) {
        SendMessage(w.Handle(), PBM_SETPOS, static_cast<WPARAM>(WidgetLeadingNumber(w.Widget().Fields().label.str())), 0);
        return 0;
    }
    return WidgetWindowProc(w, message, wParam, lParam);
}
