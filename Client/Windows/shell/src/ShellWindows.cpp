#include "shell/ShellWindows.h"

#include <atomic>

namespace {
std::atomic<HWND> g_mainWindow{0};
std::atomic<HWND> g_controlWindow{0};
}  // namespace

HWND GetShellMainWindow() { return g_mainWindow.load(); }
void SetShellMainWindow(HWND hwnd) { g_mainWindow.store(hwnd); }
HWND GetShellControlWindow() { return g_controlWindow.load(); }
void SetShellControlWindow(HWND hwnd) { g_controlWindow.store(hwnd); }
