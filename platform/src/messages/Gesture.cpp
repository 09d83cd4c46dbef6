// Tap-and-hold: waits on the thread's queue, reading the stylus's state from
// the layer's asynchronous key table (set as input enters, before the window
// reads it), so a lift ends the wait without taking its message.
#include "platform/Gesture.h"

#include <algorithm>
#include <cstdlib>

#include "platform/Clock.h"
#include "platform/Input.h"
#include "platform/Message.h"

namespace {

constexpr UINT kMouseFirst = WM_MOUSEMOVE;
constexpr UINT kMouseLast = 0x020E;


}  // namespace

DWORD plat::input::RecognizeTapAndHold(SHRGINFO* info) {
    if (!info || info->cbSize < sizeof(SHRGINFO) || !IsWindow(info->hwndClient)) return 0;
    const HWND hwnd = info->hwndClient;
    const DWORD hold = (info->dwFlags & SHRG_LONGDELAY) ? plat::input::kLongTapAndHoldMs : plat::input::kTapAndHoldMs;
    POINT down = info->ptDown;
    ClientToScreen(hwnd, &down);
    const DWORD start = GetTickCount();
    for (;;) {
        if (!(GetAsyncKeyState(VK_LBUTTON) & 0x8000)) return 0;  // lifted
        MSG m;
        // Moves are looked at and dropped; a move away ends the gesture.
        while (PeekMessage(&m, 0, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE)) {
            POINT p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
            if (m.hwnd) ClientToScreen(m.hwnd, &p);
            if (std::abs(p.x - down.x) > plat::input::kTapAndHoldSlop || std::abs(p.y - down.y) > plat::input::kTapAndHoldSlop)
                return 0;
        }
        // Another button is another gesture: left queued for the window.
        if (PeekMessage(&m, 0, kMouseFirst, kMouseLast, PM_NOREMOVE)) return 0;
        // What is not input runs meanwhile, as in any modal loop.
        bool quit = false;
        while (PeekMessage(&m, 0, 0, kMouseFirst - 1, PM_REMOVE) || PeekMessage(&m, 0, kMouseLast + 1, UINT(-1), PM_REMOVE)) {
            if (m.message == WM_QUIT) {
                PostQuitMessage(int(m.wParam));
                quit = true;
                break;
            }
            DispatchMessage(&m);
        }
        if (quit || !IsWindow(hwnd)) return 0;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= hold) break;
        // A test's tick does not pass while we wait: look again in slices.
        WaitMessageTimeout(plat::clock::IsTickSourceReplaced() ? 5 : int(hold - elapsed));
    }
    if (info->dwFlags & SHRG_RETURNCMD) return GN_CONTEXTMENU;
    const HWND target = (info->dwFlags & SHRG_NOTIFYPARENT) && GetParent(hwnd) ? GetParent(hwnd) : hwnd;
    SendMessage(target, WM_CONTEXTMENU, WPARAM(hwnd), MAKELPARAM(down.x, down.y));
    return GN_CONTEXTMENU;
}
