// Property sheets: one modal window holding the pages that PROPSHEETPAGE
// records describe (each a dialog template of its library and its dialog
// procedure), a tab strip along the top with each page's caption, and OK and
// Cancel buttons.
//
// - Unused records (dwSize 0) and pages whose template cannot be found are
//   left out; with no page left nothing is shown and the answer is -1.
// - A page's window is made the first time it is shown, as a child dialog of
//   the sheet (the template's popup, caption and visible styles dropped,
//   DS_CONTROL added); its WM_INITDIALOG gets the sheet's copy of the page
//   record as lParam.
// - Pages hear WM_NOTIFY with a PSHNOTIFY and answer through DWLP_MSGRESULT:
//   PSN_KILLACTIVE before the page is left (TRUE keeps it), PSN_SETACTIVE when
//   it is shown; on OK (a tap, or Enter unless the focused control wants it)
//   PSN_KILLACTIVE to the page shown, then PSN_APPLY (lParam TRUE) to every
//   page made: PSNRET_INVALID shows that page and keeps the sheet open,
//   PSNRET_INVALID_NOCHANGEPAGE keeps it open on the page shown. Cancel (a
//   tap, Escape, or closing the sheet) sends PSN_RESET to every page made.
// - Tab and Shift+Tab go through the shown page's tab stops, then OK and
//   Cancel.
// - A tap on a tab shows its page. PSM_SETCURSEL (wParam the index) does the
//   same for the program (TRUE when it is shown); PSM_GETCURRENTPAGEHWND
//   answers the page shown; PSM_CHANGED and PSM_UNCHANGED are taken (the
//   sheet has no Apply button for them to enable).
// - PropertySheet answers 1 after OK and 0 after Cancel.
#pragma once

#include "platform/Dialog.h"
#include "platform/exports/PropertyPages.h"

constexpr DWORD PSH_PROPSHEETPAGE = 0x0008;

struct PROPSHEETHEADER {
    DWORD dwSize;
    DWORD dwFlags;
    HWND hwndParent;
    HINSTANCE hInstance;
    const char16_t* pszCaption;
    UINT nPages;
    UINT nStartPage;
    PROPSHEETPAGE* ppsp;
};

constexpr UINT PSN_FIRST = 0u - 200u;
constexpr UINT PSN_SETACTIVE = PSN_FIRST - 0;
constexpr UINT PSN_KILLACTIVE = PSN_FIRST - 1;
constexpr UINT PSN_APPLY = PSN_FIRST - 2;
constexpr UINT PSN_RESET = PSN_FIRST - 3;

constexpr LONG_PTR PSNRET_NOERROR = 0;
constexpr LONG_PTR PSNRET_INVALID = 1;
constexpr LONG_PTR PSNRET_INVALID_NOCHANGEPAGE = 2;

constexpr UINT PSM_SETCURSEL = WM_USER + 101;
constexpr UINT PSM_CHANGED = WM_USER + 104;
constexpr UINT PSM_UNCHANGED = WM_USER + 109;
constexpr UINT PSM_GETCURRENTPAGEHWND = WM_USER + 118;

struct PSHNOTIFY {
    NMHDR hdr;
    LPARAM lParam;
};

INT_PTR PropertySheet(const PROPSHEETHEADER* header);
