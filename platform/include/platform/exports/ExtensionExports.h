// The base export set of the libraries of the "EXT2" folder (scanner,
// printer, network). "GetTelnetExtensionType" is the probe: the type index.
#pragma once

#include "platform/exports/PropertyPages.h"

constexpr int EXTENSION_SCANNER = 0;
constexpr int EXTENSION_PRINTER = 1;
constexpr int EXTENSION_NETWORK = 3;
constexpr int EXTENSION_TYPE_COUNT = 8;

struct ExtensionInfo {
    uint32_t version;
    uint32_t kind;
    char16_t name[64];
};

#define ORVADE_EXTENSION_EXPORTS(X)            \
    X(int, GetTelnetExtensionType, (void))     \
    X(BOOL, GetExtensionInfo, (ExtensionInfo * record))

ORVADE_DECLARE_EXPORTS(ORVADE_EXTENSION_EXPORTS)
