// Device input: taps and keys enter the layer here, whoever produced them
// (the Qt backend, an injected key, a test), and the layer routes them.
//
// - A tap is given in screen coordinates. It goes to the queue of the thread
//   that owns the top-level window under it (hidden windows skipped, top-most
//   first), or of the thread whose capture is set. When that thread reads
//   it, the layer finds the window under the point from the top down: each
//   visible, enabled window containing it is asked WM_NCHITTEST, and one that
//   answers HTTRANSPARENT passes the point on to the sibling below; a tap on
//   a disabled top-level window is dropped. A button going down on a window
//   whose top-level window is not active first sends WM_MOUSEACTIVATE: the
//   answer (MA_ACTIVATE, MA_NOACTIVATE and their ...ANDEAT forms) decides
//   whether the window is activated (WM_ACTIVATE with WA_CLICKACTIVE) and
//   whether the tap is delivered. DefWindowProc asks the parent first and
//   answers MA_NOACTIVATE for a WS_EX_NOACTIVATE window.
// - A key goes to the queue of the thread that owns the foreground window.
//   Its window is the focus of that thread when the thread reads the key
//   (the active window when nothing has the focus); a key nobody can take is
//   dropped. The characters a key types follow it as WM_CHAR to the same
//   window, as TranslateMessage would post them.
// - Input is read after posted messages and before WM_QUIT, paint and timers.
#pragma once

#include <functional>
#include <string_view>

#include "platform/Window.h"

// A key going down or (KEYEVENTF_KEYUP) up, as if typed: it enters the same
// queue as the keyboard. KEYEVENTF_EXTENDEDKEY sets the extended bit of the
// key messages; KEYEVENTF_SILENT makes no key click. The characters come from
// the key and the shift and control keys' state.
void keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, UINT_PTR extraInfo);
// The key's state as the device has it now (not as the queue was read): the
// high bit set while the key is down.
SHORT GetAsyncKeyState(int virtualKey);
// The window a tap at this screen point would first be offered to, before
// any WM_NCHITTEST: visible, enabled, top-most in z-order.
HWND WindowFromPoint(POINT point);
// Waits without serving the calling thread's queue: none of its window
// procedures runs meanwhile. On a thread that shows windows (the Qt GUI
// thread) the display hook keeps other threads' windows shown and taking
// input while it sleeps.
void Sleep(DWORD milliseconds);

namespace plat::input {

// A tap, stylus move or button release at screen coordinates (WM_LBUTTONDOWN,
// WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTON*, WM_MOUSEMOVE); keys is the
// MK_ mask. WM_LBUTTONDBLCLK becomes WM_LBUTTONDOWN for a window whose class
// lacks CS_DBLCLKS. FALSE when no window takes it.
BOOL InjectMouse(UINT message, POINT screen, WPARAM keys);
// A key from the keyboard: the virtual key, its lParam bits (repeat count,
// scan code, extended, Alt, previous state, transition) and, going down, the
// characters it types. Alt held makes WM_SYSKEY* and WM_SYSCHAR.
BOOL InjectKey(UINT virtualKey, bool down, LPARAM keyData, std::u16string_view text);

// The hook Sleep calls on this thread instead of sleeping, with the
// milliseconds left; it returns when they are up or earlier (Sleep calls it
// again). It must not serve this thread's queue. Null removes it.
void SetSleepHook(std::function<void(int ms)> hook);

}  // namespace plat::input
