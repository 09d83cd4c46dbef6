// The printer library's export set (an "EXT2" library of type 1). The
// first eight are required: a library without one of them is not bound.
#pragma once

#include "platform/exports/ExtensionExports.h"

#define ORVADE_PRINTER_REQUIRED_EXPORTS(X)                       \
    X(int, PRINTER_Initialize, (HWND window, int reserved))      \
    X(void, PRINTER_Shutdown, (void))                            \
    X(BOOL, PRINTER_Connect, (void))                             \
    X(BOOL, PRINTER_IsConnected, (void))                         \
    X(void, PRINTER_Disconnect, (void))                          \
    X(BOOL, PRINTER_Send, (const BYTE* data, int length))        \
    X(BOOL, PRINTER_SendWakeupString, (void))                    \
    X(BOOL, PRINTER_Flush, (void))

#define ORVADE_PRINTER_OPTIONAL_EXPORTS(X)        \
    X(int, PRINTER_GetGenericError, (void))       \
    X(int, PRINTER_GetDeviceSpecificError, (void))

ORVADE_DECLARE_EXPORTS(ORVADE_PRINTER_REQUIRED_EXPORTS)
ORVADE_DECLARE_EXPORTS(ORVADE_PRINTER_OPTIONAL_EXPORTS)
