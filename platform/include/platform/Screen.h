// The device's screen and system settings: its size, the work area, the
// metrics of the window parts, the desktop window, window properties and the
// owner of a window.
//
// - The screen size is a setting of the device root: the DWORD values
//   "Width" and "Height" of HKEY_LOCAL_MACHINE "Software\Orvade\Screen",
//   read when first needed; 240 x 320 (a handheld's portrait screen) when
//   they are not set or out of range (64 to 4096). The Qt backend shows the
//   screen as one window of that size; top-level windows stand inside it.
// - The work area is the whole screen until SPI_SETWORKAREA sets another
//   (the shell does, around its task bar); setting it sends WM_SETTINGCHANGE
//   with SPI_SETWORKAREA to every top-level window of the process.
// - The desktop window is a fixed handle whose window and client rectangle
//   are the screen; it has no procedure and is never shown.
// - Window properties are per window, names without regard to case; they
//   go with the window.
// - The input panel (the soft keyboard's place) is docked at the bottom of
//   the screen, 80 pixels high, hidden at first; SipSetInfo shows or hides
//   it (SIPF_ON) and sends WM_SETTINGCHANGE with SPI_SETSIPINFO to every
//   top-level window of the process when its state changes.
#pragma once

#include "platform/Window.h"

int GetSystemMetrics(int index);  // 0 for an unknown index
// SPI_GETWORKAREA (pv: RECT*) and SPI_SETWORKAREA (pv: const RECT*, or null
// for the whole screen); FALSE for any other action or a null pointer.
BOOL SystemParametersInfo(UINT action, UINT param, void* pv, UINT winIni);
// HORZRES, VERTRES (the screen), BITSPIXEL (16), PLANES (1), NUMCOLORS (-1),
// LOGPIXELSX and LOGPIXELSY (96); 0 for any other index.
int GetDeviceCaps(HDC dc, int index);
HWND GetDesktopWindow();

BOOL SetProp(HWND hwnd, const char16_t* name, HANDLE data);
HANDLE GetProp(HWND hwnd, const char16_t* name);  // null when not set
HANDLE RemoveProp(HWND hwnd, const char16_t* name);  // the data it held

// The thread id (as GetWindowThreadId) and, in *processId, the process that
// owns the window, this program's or another's of the device root; 0 for no
// window.
DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* processId);

// The input panel's state.
constexpr UINT SPI_SETSIPINFO = 224;
constexpr DWORD SIPF_OFF = 0x00;
constexpr DWORD SIPF_ON = 0x01;
constexpr DWORD SIPF_DOCKED = 0x02;
constexpr DWORD SIPF_LOCKED = 0x04;

struct SIPINFO {
    DWORD cbSize;            // sizeof(SIPINFO)
    DWORD fdwFlags;          // SIPF_*
    RECT rcVisibleDesktop;   // the work area the panel leaves free
    RECT rcSipRect;          // the panel, in screen coordinates
    DWORD dwImDataSize;      // input-method data: none here
    void* pvImData;
};

// FALSE for a null pointer or a wrong cbSize. SipSetInfo takes the flags
// (SIPF_ON, SIPF_DOCKED, SIPF_LOCKED) and the panel rectangle when it is not
// empty; the visible desktop follows from them.
BOOL SipGetInfo(SIPINFO* info);
BOOL SipSetInfo(const SIPINFO* info);

namespace plat::screen {

// The screen size in pixels.
SIZE ScreenSize();
// Reads the setting of the device root again (after the device root or the
// setting changed); the work area becomes the whole screen.
void ReloadScreenSize();

}  // namespace plat::screen
