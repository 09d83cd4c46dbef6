#include "core/widgets/WidgetWindowLayer.h"

#include <algorithm>

#include "core/support/LogFile.h"
#include "core/widgets/WidgetWindowTypes.h"
#include "platform/Gdi.h"
#include "platform/Screen.h"

namespace {

constexpr BYTE kAnsiCharset = 0;
constexpr BYTE kDefaultCharset = 1;

// An own-class window being made: its procedure takes it from the creation
// parameter on WM_NCCREATE.
struct PendingWindow {
    CWidget* widget;
    WidgetProc proc;
    CWidgetWindow* made = nullptr;
};

LRESULT OwnClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCT*>(lParam);
        if (auto* pending = cs ? static_cast<PendingWindow*>(cs->lpCreateParams) : nullptr)
            pending->made = SubclassWidgetWindow(*pending->widget, hwnd, pending->proc, true);
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

void RegisterOwnClass(const char16_t* name) {
    WNDCLASS wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &OwnClassProc;
    wc.lpszClassName = name;
    RegisterClass(&wc);  // a second registration fails and is fine
}

std::u16string ItemListName(CWidget& widget) {
    const auto& data = widget.Fields().itemData;
    if (!data || data->empty() || !widget.GetHost()) return {};
    std::unique_ptr<CPacket> packet = widget.GetHost()->NewPacket(data->data(), static_cast<int32_t>(data->size()));
    return packet ? WidgetFieldText(*packet) : std::u16string();
}

}  // namespace

LRESULT CWidgetWindow::CallBase(UINT message, WPARAM wParam, LPARAM lParam) {
    return m_base ? m_base(m_hwnd, message, wParam, lParam) : DefWindowProc(m_hwnd, message, wParam, lParam);
}

void CWidgetWindow::SetJunk(std::unique_ptr<WidgetJunk> junk) {
    m_junk = std::move(junk);
    if (m_junk) {
        SetProp(m_hwnd, kWidgetPropJunk, m_junk.get());
    } else {
        RemoveProp(m_hwnd, kWidgetPropJunk);
    }
}

HBRUSH CWidgetWindow::ColorBrush(HDC dc) {
    const COLORREF text = m_widget.TextColor(GetSysColor(COLOR_BTNTEXT));
    const COLORREF back = m_widget.BackColor(GetSysColor(COLOR_WINDOW));
    if (dc) {
        SetTextColor(dc, text);
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, back);
    }
    if (!m_brush) {
        m_brush = CreateSolidBrush(back);
        SetProp(m_hwnd, kWidgetPropBrush, reinterpret_cast<HANDLE>(m_brush));
    }
    return m_brush;
}

void CWidgetWindow::SetFont(bool redraw) {
    if (m_font) DeleteObject(m_font), m_font = 0;
    const WidgetFont chosen = m_widget.ChooseFont();
    LOGFONT lf{};
    lf.lfWeight = chosen.weight;
    lf.lfItalic = chosen.italic;
    lf.lfUnderline = chosen.underline;
    lf.lfStrikeOut = chosen.strikeOut;
    lf.lfCharSet = chosen.fixedPitchAnsi ? kAnsiCharset : kDefaultCharset;
    if (chosen.fixedPitchAnsi) lf.lfPitchAndFamily = FIXED_PITCH;
    const size_t n = std::min(chosen.face.size(), std::size(lf.lfFaceName) - 1);
    std::copy_n(chosen.face.data(), n, lf.lfFaceName);
    // Every context of the layer has the screen's resolution: none is made to ask.
    lf.lfHeight = chosen.HeightFor(static_cast<uint32_t>(GetDeviceCaps(0, LOGPIXELSY)));
    m_font = CreateFontIndirect(&lf);
    SetProp(m_hwnd, kWidgetPropFont, reinterpret_cast<HANDLE>(m_font));
    ::SendMessage(m_hwnd, WM_SETFONT, static_cast<WPARAM>(m_font), redraw ? 1 : 0);
}

void CWidgetWindow::Release() {
    if (m_font) DeleteObject(m_font), m_font = 0;
    if (m_brush) DeleteObject(m_brush), m_brush = 0;
    for (const char16_t* name : {kWidgetPropFont, kWidgetPropBrush, kWidgetPropObject}) RemoveProp(m_hwnd, name);
}

CWidgetWindow* SubclassWidgetWindow(CWidget& widget, HWND hwnd, WidgetProc proc, bool ownClass) {
    auto window = std::make_shared<CWidgetWindow>(widget, hwnd, WindowProc{});
    CWidgetWindow* raw = window.get();
    SetProp(hwnd, kWidgetPropObject, &widget);
    WindowProc old = plat::window::SetWindowProcedure(hwnd, [window, proc](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        // Nothing a widget throws leaves its window procedure.
        try {
            return proc(*window, m, w, l);
        } catch (...) {
            LogPrintf(LOG_ERROR, "Widget window: message %u failed", m);
            return 0;
        }
    });
    // An own class's procedure only hands the window over: the rest is DefWindowProc's.
    if (!ownClass) raw->SetBase(std::move(old));
    return raw;
}

CWidget* WidgetOfWindow(HWND hwnd) { return static_cast<CWidget*>(GetProp(hwnd, kWidgetPropObject)); }

bool ShiftDown() { return GetKeyState(VK_SHIFT) < 0; }

bool WidgetTabKey(CWidgetWindow& window, WPARAM key, bool arrows) {
    bool backward;
    if (key == VK_TAB) {
        backward = ShiftDown();
    } else if (arrows && (key == VK_UP || key == VK_LEFT || key == VK_DOWN || key == VK_RIGHT)) {
        backward = key == VK_UP || key == VK_LEFT;
    } else {
        return false;
    }
    window.Host().MoveFocus(&window.Widget(), backward);
    return true;
}

LRESULT WidgetWindowProc(CWidgetWindow& window, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = window.Handle();
    switch (message) {
    case WM_DESTROY:
        window.Release();
        break;
    case WM_NCDESTROY: {
        window.SetJunk(nullptr);
        window.Widget().WindowGone(hwnd);
        break;
    }
    case WM_SETFOCUS:
        if (window.Widget().GetHost()) window.Host().SetFocusedWidget(&window.Widget());
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: return static_cast<LRESULT>(window.ColorBrush(reinterpret_cast<HDC>(wParam)));
    case WIDGET_MSG_INIT: return 0;
    case WIDGET_MSG_SHOW:
        ShowWindow(hwnd, wParam ? SW_SHOW : SW_HIDE);
        return 0;
    case WIDGET_MSG_ENABLE:
        EnableWindow(hwnd, wParam != 0);
        return 0;
    case WIDGET_MSG_SET_FOCUS:
        ::SetFocus(hwnd);
        return 0;
    case WIDGET_MSG_SET_LABEL:
        SetWindowText(hwnd, lParam ? reinterpret_cast<const char16_t*>(lParam) : u"");
        return 0;
    case WIDGET_MSG_COMMIT:
    case WIDGET_MSG_DEVICE_DATA: return 0;
    case WIDGET_MSG_ACTIVATE:
        window.Host().SetInputDevices(false);
        return 0;
    default: break;
    }
    return window.CallBase(message, wParam, lParam);
}

HWND CWidgetWindows::Create(CWidget& widget, HWND owner, const WidgetRect&, uint32_t style) {
    const WidgetWindowType* type = FindWidgetWindowType(widget.GetType());
    if (!type || !widget.GetHost()) return 0;
    WidgetCreation c(widget, owner);
    c.itemList = ItemListName(widget);
    c.style = style;
    type->prepare(c);
    WidgetRect r;
    if (!c.noGeometry) {
        int32_t width = 0, height = 0;
        if (widget.Fields().mode == WIDGET_MODE_PERCENT) GetClientSize(owner, &width, &height);
        r = widget.Placement(width, height, c.extraWidth);
    }
    const std::u16string label = widget.Fields().label.str();
    const char16_t* name = c.windowName ? c.windowName : label.c_str();
    HWND hwnd = 0;
    CWidgetWindow* window = nullptr;
    if (c.ownClass) {
        RegisterOwnClass(c.className);
        PendingWindow pending{&widget, type->proc};
        hwnd = CreateWindowEx(0, c.className, name, c.style, r.x, r.y, r.width, r.height, owner, 0, nullptr, &pending);
        window = hwnd ? pending.made : nullptr;
    } else {
        hwnd = CreateWindowEx(0, c.className, name, c.style, r.x, r.y, r.width, r.height, owner,
                              static_cast<HMENU>(widget.GetId()), nullptr, nullptr);
        if (hwnd) window = SubclassWidgetWindow(widget, hwnd, type->proc);
    }
    if (!hwnd || !window) {
        if (hwnd) DestroyWindow(hwnd);
        return 0;
    }
    widget.AttachWindow(hwnd);
    ::SendMessage(hwnd, WIDGET_MSG_INIT, 0, reinterpret_cast<LPARAM>(&widget));
    if (c.setFont && IsWindow(hwnd)) window->SetFont(false);
    if (type->created && IsWindow(hwnd)) type->created(*window, c);
    return IsWindow(hwnd) ? hwnd : 0;
}
