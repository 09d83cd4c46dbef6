// The maker's taskbar library "\Windows\OVTBApi.dll" as the shell binds it,
// and the settings record exchanged with it (12 bytes).
#pragma once

#include "platform/exports/ExportSet.h"

struct OVTaskbarSettings {
    uint32_t size = sizeof(OVTaskbarSettings);
    uint32_t state = 0;  // 2: hidden
    uint32_t flags = 0;  // 1 when the caller sets the state, 0 when it asks
};
static_assert(sizeof(OVTaskbarSettings) == 12);

#define ORVADE_TASKBAR_EXPORTS(X)                                             \
    X(BOOL, OVRegisterStartupApp, (const char16_t* path))                     \
    X(BOOL, OVUnregisterStartupApp, (const char16_t* path))                   \
    X(BOOL, OVRegisterWindow, (HWND window))                                  \
    X(BOOL, OVUnregisterWindow, (HWND window))                                \
    X(BOOL, OVGetTaskbarSettings, (HWND window, OVTaskbarSettings* settings)) \
    X(BOOL, OVSetTaskbarSettings, (HWND window, OVTaskbarSettings* settings)) \
    X(BOOL, OVRefresh, (void))                                                \
    X(BOOL, OVNotifyIcon, (DWORD message, void* data, BOOL allowSystem))

ORVADE_DECLARE_EXPORTS(ORVADE_TASKBAR_EXPORTS)
