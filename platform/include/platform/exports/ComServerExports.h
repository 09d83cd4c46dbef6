// The four exports of an in-process server (platform/ComServer.h defines
// them for a library from its class table).
#pragma once

#include "platform/Com.h"
#include "platform/exports/ExportSet.h"

#define ORVADE_COM_SERVER_EXPORTS(X)                                              \
    X(HRESULT, DllGetClassObject, (REFCLSID clsid, REFIID riid, void** object)) \
    X(HRESULT, DllCanUnloadNow, (void))                                         \
    X(HRESULT, DllRegisterServer, (void))                                       \
    X(HRESULT, DllUnregisterServer, (void))

ORVADE_DECLARE_EXPORTS(ORVADE_COM_SERVER_EXPORTS)
