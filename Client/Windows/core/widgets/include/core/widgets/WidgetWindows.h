// The window layer as the widgets see it. The manager creates and asks about
// widget windows only through this interface; messages go to the windows with
// the message layer's SendMessage. The defaults create no window (widgets are
// model objects without a display) and answer the queries from the
// platform's window layer, so a layer that creates windows overrides Create.
#pragma once

#include <cstdint>

#include "core/widgets/Widget.h"
#include "platform/WinTypes.h"

class IWidgetWindows {
public:
    virtual ~IWidgetWindows() = default;
    // A window for the widget, child of owner, at rect (pixels of the
    // owner's client area) with the base style; 0 when none was made. The
    // window gets WIDGET_MSG_INIT and its font from the layer.
    virtual HWND Create(CWidget& /*widget*/, HWND /*owner*/, const WidgetRect& /*rect*/, uint32_t /*style*/) {
        return 0;
    }
    virtual void Destroy(HWND window);
    virtual bool IsVisible(HWND window);
    virtual bool IsEnabled(HWND window);
    // The window that has the keyboard focus; 0 when none.
    virtual HWND GetFocus();
    // The owner's client size in pixels.
    virtual void GetClientSize(HWND owner, int32_t* width, int32_t* height);
    // The window's rectangle in screen coordinates; false when unknown.
    virtual bool GetScreenRect(HWND window, WidgetRect* rect);
    // A point of a window's client area in screen coordinates.
    virtual void ClientToScreen(HWND window, int32_t* x, int32_t* y);
};
