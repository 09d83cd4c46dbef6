// The process-wide window handles of the shell: its main window and the
// client control's host window. The user-interface thread sets them at
// start-up; the socket, the connecting window's thread and the handlers
// read them (0 before they exist).
#pragma once

#include "platform/WinTypes.h"

HWND GetShellMainWindow();
void SetShellMainWindow(HWND hwnd);
HWND GetShellControlWindow();
void SetShellControlWindow(HWND hwnd);
