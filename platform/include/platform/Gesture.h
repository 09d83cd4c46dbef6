// Tap-and-hold as a gesture: what the shell helper library "aygshell.dll"
// (a stand-in in platform/vendor) exports as SHRecognizeGesture, which a
// window calls on WM_LBUTTONDOWN. The stylus must stay down, within a few
// pixels of where it touched, for the hold time; then WM_CONTEXTMENU goes to
// the window (to its parent with SHRG_NOTIFYPARENT; with SHRG_RETURNCMD to
// nobody) with the screen point, and the call answers GN_CONTEXTMENU.
// Lifted or moved first: 0, and the stylus's messages stay queued for the
// window. While it waits, other messages of the thread are dispatched.
#pragma once

#include "platform/Window.h"

struct SHRGINFO {
    DWORD cbSize;
    HWND hwndClient;
    POINT ptDown;  // client coordinates of hwndClient
    DWORD dwFlags;
};

constexpr DWORD SHRG_RETURNCMD = 0x00000001;
constexpr DWORD SHRG_NOTIFYPARENT = 0x00000002;
constexpr DWORD SHRG_LONGDELAY = 0x00000008;
constexpr DWORD SHRG_NOANIMATION = 0x00000010;

constexpr DWORD GN_CONTEXTMENU = 1000;

namespace plat::input {

DWORD RecognizeTapAndHold(SHRGINFO* info);

constexpr DWORD kTapAndHoldMs = 500;
constexpr DWORD kLongTapAndHoldMs = 1000;
constexpr int kTapAndHoldSlop = 5;  // pixels the stylus may wander

}  // namespace plat::input
