// Where the control's window lies on the device's screen: the shell's
// display (its skin's, else the work area) below the shell's menu bar. The
// shell and the headless session tool size the window alike, so a session's
// client size, and the cells fitted to it, are one.
#pragma once

#include "platform/Window.h"

namespace sessionwindow {

constexpr int kMenuBarHeight = 24;

inline RECT BelowMenuBar(const RECT& display) {
    RECT window = display;
    window.top += kMenuBarHeight;
    return window;
}

}  // namespace sessionwindow
