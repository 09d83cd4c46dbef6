// The hooks of an installation package's setup library, which the installer
// calls while it installs or removes the package. Each answers 0 (continue;
// for the _Exit hooks, done).
#pragma once

#include "platform/exports/ExportSet.h"

#define ORVADE_SETUP_EXPORTS(X)                                                                                   \
    X(DWORD, Install_Init, (HWND parent, BOOL firstCall, BOOL previouslyInstalled, const char16_t* installDir)) \
    X(DWORD, Install_Exit,                                                                                      \
      (HWND parent, const char16_t* installDir, WORD failedDirs, WORD failedFiles, WORD failedRegKeys,          \
       WORD failedRegValues, WORD failedShortcuts))                                                             \
    X(DWORD, Uninstall_Init, (HWND parent, const char16_t* installDir))                                         \
    X(DWORD, Uninstall_Exit, (HWND parent))

ORVADE_DECLARE_EXPORTS(ORVADE_SETUP_EXPORTS)

// Every hook's answer: go on.
constexpr DWORD kSetupContinue = 0;

struct SetupExports {
    ORVADE_EXPORT_TABLE(ORVADE_SETUP_EXPORTS)
};
