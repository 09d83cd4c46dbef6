// Scroll bars: the "ScrollBar" control (SB_CTL; SBS_VERT or SBS_HORZ) and
// the scroll information of a window's own bars (SB_VERT, SB_HORZ), which
// the layer keeps but does not draw: bars outside the client area are
// non-client painting, which the device's programs do not use; list boxes
// and edits draw their own.
//
// A tap on a "ScrollBar" control sends WM_VSCROLL or WM_HSCROLL to its parent
// (SB_LINEUP on an arrow, SB_PAGEUP in the track, and so on, the control's
// window in lParam); the parent moves the bar with SetScrollPos or
// SetScrollInfo, as on Windows.
#pragma once

#include "platform/Window.h"

constexpr const char16_t* WC_SCROLLBAR = u"ScrollBar";

constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;
constexpr int SB_CTL = 2;

constexpr DWORD SBS_HORZ = 0x0000;
constexpr DWORD SBS_VERT = 0x0001;

constexpr UINT SIF_RANGE = 0x0001;
constexpr UINT SIF_PAGE = 0x0002;
constexpr UINT SIF_POS = 0x0004;
constexpr UINT SIF_DISABLENOSCROLL = 0x0008;
constexpr UINT SIF_TRACKPOS = 0x0010;
constexpr UINT SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;

struct SCROLLINFO {
    UINT cbSize;
    UINT fMask;
    int nMin;
    int nMax;
    UINT nPage;
    int nPos;
    int nTrackPos;
};

// The new position (clamped to nMin..nMax - nPage + 1).
int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL redraw);
BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info);
int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw);  // the old position
int GetScrollPos(HWND hwnd, int bar);
BOOL SetScrollRange(HWND hwnd, int bar, int minPos, int maxPos, BOOL redraw);
BOOL GetScrollRange(HWND hwnd, int bar, int* minPos, int* maxPos);
