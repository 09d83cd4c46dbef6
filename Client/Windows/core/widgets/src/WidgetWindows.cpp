#include "core/widgets/WidgetWindows.h"

#include "platform/Window.h"

void IWidgetWindows::Destroy(HWND window) { ::DestroyWindow(window); }
bool IWidgetWindows::IsVisible(HWND window) { return ::IsWindowVisible(window); }
bool IWidgetWindows::IsEnabled(HWND window) { return ::IsWindowEnabled(window); }
HWND IWidgetWindows::GetFocus() { return ::GetFocus(); }

void IWidgetWindows::GetClientSize(HWND owner, int32_t* width, int32_t* height) {
    RECT r{};
    if (!::GetClientRect(owner, &r)) r = {};
    *width = r.right - r.left;
    *height = r.bottom - r.top;
}

bool IWidgetWindows::GetScreenRect(HWND window, WidgetRect* rect) {
    RECT r{};
    if (!::GetWindowRect(window, &r)) return false;
    *rect = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    return true;
}

void IWidgetWindows::ClientToScreen(HWND window, int32_t* x, int32_t* y) {
    POINT p{*x, *y};
    if (::ClientToScreen(window, &p)) *x = p.x, *y = p.y;
}
