// The network library's export set (an "EXT2" library of type 3).
// "Initialize" must exist and answer non-zero for the library to be bound.
// The adapter queries take an adapter number (the caller passes 0).
#pragma once

#include "platform/exports/ExtensionExports.h"

#define ORVADE_NETWORK_EXPORTS(X)                                                                   \
    X(BOOL, Initialize, (void))                                                                     \
    X(int, GetAdapterStatus, (int adapter))                                                         \
    X(int, GetAdapterSignalQuality, (int adapter))                                                  \
    X(int, GetAdapterSignalStrength, (int adapter))                                                 \
    X(BOOL, GetAdapterESSID, (int adapter, char16_t** essid))                                       \
    X(int, GetMACAddr, (BYTE * mac, int length))                                                    \
    X(int, PingAddress, (uint32_t address, DWORD timeoutMs, DWORD* roundTrip, const void* data, WORD size))

// The library's own shutdown is the scanner set's "Shutdown" (same signature).
ORVADE_DECLARE_EXPORTS(ORVADE_NETWORK_EXPORTS)
