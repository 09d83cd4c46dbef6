// The magnetic-stripe library's export set (an "EXTENTIONS" library of kind
// 0x200); it reports card data to the control window with the message its
// session is created with (WM_EXT_MSR_DATA in the core's catalogue).
#pragma once

#include "platform/exports/ExtentionExports.h"

#define ORVADE_MSR_EXPORTS(X)                          \
    X(void, EnableMSR, (int reserved, int on))         \
    X(void, EnableTrack, (int track, int on))          \
    X(BOOL, DeactivateSession, (DWORD value))

ORVADE_DECLARE_EXPORTS(ORVADE_MSR_EXPORTS)
