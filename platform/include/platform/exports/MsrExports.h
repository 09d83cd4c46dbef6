// The magnetic-stripe library's export set (an "EXTENTIONS" library of kind
// 0x200); it reports card data to the control window with WM_USER+3.
#pragma once

#include "platform/exports/ExtentionExports.h"

#define ORVADE_MSR_EXPORTS(X)                          \
    X(void, EnableMSR, (int reserved, int on))         \
    X(void, EnableTrack, (int track, int on))          \
    X(BOOL, DeactivateSession, (DWORD value))

ORVADE_DECLARE_EXPORTS(ORVADE_MSR_EXPORTS)
