// The widgets' windows on the platform's window layer. CWidgetWindows is the
// IWidgetWindows that makes them: one window per widget type, chosen from the
// table of WidgetWindowTypes.h. A widget of a standard class (BUTTON, EDIT...)
// is that control subclassed; one of the client's own classes is a window
// of that class. Either way the type's procedure sees every message first
// and ends in WidgetWindowProc, the tail every widget window shares: the
// private widget messages, focus, colours, fonts and clean-up.
//
// Everything runs on the thread that owns the control window; focus, capture
// and the tab order are the window layer's, so they work the same headless
// and shown.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/widgets/Widget.h"
#include "core/widgets/WidgetWindows.h"
#include "platform/Message.h"
#include "platform/Window.h"

// Window property names every widget window carries.
constexpr const char16_t* kWidgetPropObject = u"OVW_OBJ";  // the CWidget
constexpr const char16_t* kWidgetPropFont = u"OVW_FONT";   // the font the widget made
constexpr const char16_t* kWidgetPropBrush = u"OVW_BRUSH"; // its background brush
constexpr const char16_t* kWidgetPropJunk = u"OVW_JUNK";   // per-type state (WidgetJunk)

// Per-type state of a window (an image, a stroke list...): owned by the
// window, deleted when it goes.
class WidgetJunk {
public:
    virtual ~WidgetJunk() = default;
};

// One widget window as its procedures see it.
class CWidgetWindow {
public:
    CWidgetWindow(CWidget& widget, HWND hwnd, WindowProc base) : m_widget(widget), m_hwnd(hwnd), m_base(std::move(base)) {}
    CWidget& Widget() const { return m_widget; }
    IWidgetHost& Host() const { return *m_widget.GetHost(); }
    HWND Handle() const { return m_hwnd; }
    // The standard class's own procedure, or DefWindowProc for the client's classes.
    LRESULT CallBase(UINT message, WPARAM wParam, LPARAM lParam);
    void SetBase(WindowProc base) { m_base = std::move(base); }
    WidgetJunk* Junk() const { return m_junk.get(); }
    void SetJunk(std::unique_ptr<WidgetJunk> junk);
    // The widget's brush (made on first use) with the device context set to
    // its colours: the answer to the WM_CTLCOLOR* messages.
    HBRUSH ColorBrush(HDC dc);
    // Makes the widget's font and gives it to the window (WM_SETFONT).
    void SetFont(bool redraw);
    // Deletes the font and the brush and forgets the properties (WM_DESTROY).
    void Release();

private:
    CWidget& m_widget;
    HWND m_hwnd;
    WindowProc m_base;
    std::unique_ptr<WidgetJunk> m_junk;
    HFONT m_font = 0;
    HBRUSH m_brush = 0;
};

// A type's window procedure: every message comes here first; what it does
// not take goes on to WidgetWindowProc.
using WidgetProc = LRESULT (*)(CWidgetWindow& window, UINT message, WPARAM wParam, LPARAM lParam);

// The shared tail: WIDGET_MSG_* (show, enable, focus, label, activate),
// WM_SETFOCUS (the manager's focused widget), the colour messages and
// WM_DESTROY; everything else goes to the base procedure.
LRESULT WidgetWindowProc(CWidgetWindow& window, UINT message, WPARAM wParam, LPARAM lParam);

// Subclasses a window with a type's procedure for a widget (the radio
// buttons of a group are subclassed this way too); the window gets the
// "OVW_OBJ" property. Returns the window's state, owned by the window. A
// window of an own class (ownClass) gets DefWindowProc as its base.
CWidgetWindow* SubclassWidgetWindow(CWidget& widget, HWND hwnd, WidgetProc proc, bool ownClass = false);
// The widget whose window (or radio button) this is; null for none.
CWidget* WidgetOfWindow(HWND hwnd);

// Keys the focusable simple types share: Tab and Shift+Tab, and the arrows
// (Up and Left backward, Down and Right forward) move the focus. True when
// the key was one of them (consumed).
bool WidgetTabKey(CWidgetWindow& window, WPARAM key, bool arrows);
bool ShiftDown();

class CWidgetWindows : public IWidgetWindows {
public:
    // Computes the type's default size (stored in the widget), its style and
    // class, creates the window as a child of owner, subclasses it, sends
    // WIDGET_MSG_INIT and sets the font. rect is recomputed from the stored
    // geometry once the defaults are in.
    HWND Create(CWidget& widget, HWND owner, const WidgetRect& rect, uint32_t style) override;
};
