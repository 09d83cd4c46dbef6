// The property-sheet page record that extension libraries fill for the
// client's property sheet, and the page exports both extension families share.
#pragma once

#include "platform/exports/ExportSet.h"

// The caller sets dwSize to the literal 40 (the page record's size as the
// libraries know it) and, for configuration pages, lParam; the library fills
// the rest. A record whose dwSize is 0 is an unused slot: the sheet skips it.
struct PROPSHEETPAGE {
    DWORD dwSize;
    DWORD dwFlags;
    HMODULE hInstance;
    uintptr_t pszTemplate;  // dialog template number in hInstance
    void* pfnDlgProc;
    LPARAM lParam;
};
constexpr DWORD kPropSheetPageSize = 40;

#define ORVADE_PAGE_EXPORTS(X)                                 \
    X(int, GetPropSheetCount, (void))                          \
    X(BOOL, GetPropSheet, (int index, PROPSHEETPAGE* page))    \
    X(BOOL, GetAboutPropSheet, (PROPSHEETPAGE* page))

ORVADE_DECLARE_EXPORTS(ORVADE_PAGE_EXPORTS)
