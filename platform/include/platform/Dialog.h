// Dialogs from templates described as data (plat::res::Dialog: controls with
// class, id, style, text and geometry in dialog units), modeless and modal,
// and the dialog manager's keyboard handling.
//
// - A dialog is a window of the class "#32770" whose procedure runs the
//   DLGPROC first: it answers TRUE when it handled a message (the result then
//   comes from DWLP_MSGRESULT, except for WM_INITDIALOG and WM_CTLCOLOR*,
//   whose result is the DLGPROC's own), FALSE for the default handling.
// - Dialog units: a dialog's font of n points gives base units of
//   (3n/4, 13n/8) pixels (8 points: 6 by 13); x and widths are in quarters,
//   y and heights in eighths of them.
// - WM_INITDIALOG gets the first tab stop as wParam; answering TRUE gives it
//   the focus (an edit gets its text selected).
// - DialogBox disables the owner, runs its own GetMessage loop with
//   IsDialogMessage until EndDialog, then enables the owner, destroys the
//   dialog and returns the result (-1 when the dialog could not be made). A
//   WM_QUIT ends the loop and is posted again for the caller's loop.
// - IsDialogMessage: Tab and Shift+Tab move the focus between WS_TABSTOP
//   controls in z-order (creation order), arrows within a WS_GROUP group
//   (auto radio buttons are clicked), Enter presses the default button (or
//   the focused push button, else IDOK) and Escape IDCANCEL, each unless the
//   focused control asks for the key through WM_GETDLGCODE. A shown child
//   with WS_EX_CONTROLPARENT (a template with DS_CONTROL gets it) lends its
//   controls to the tab order in its place.
#pragma once

#include "platform/Resources.h"
#include "platform/Window.h"

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

constexpr const char16_t* WC_DIALOG = u"#32770";
constexpr int DWLP_DLGPROC = int(sizeof(LONG_PTR));
constexpr int DWLP_USER = int(2 * sizeof(LONG_PTR));

HWND CreateDialogIndirectParam(HINSTANCE instance, const plat::res::Dialog* dialog, HWND parent, DLGPROC proc,
                               LPARAM init);
INT_PTR DialogBoxIndirectParam(HINSTANCE instance, const plat::res::Dialog* dialog, HWND parent, DLGPROC proc,
                               LPARAM init);
// Templates of a resource library, by number.
HWND CreateDialogParam(HMODULE module, UINT id, HWND parent, DLGPROC proc, LPARAM init);
INT_PTR DialogBoxParam(HMODULE module, UINT id, HWND parent, DLGPROC proc, LPARAM init);
inline HWND CreateDialog(HMODULE module, UINT id, HWND parent, DLGPROC proc) {
    return CreateDialogParam(module, id, parent, proc, 0);
}
inline INT_PTR DialogBox(HMODULE module, UINT id, HWND parent, DLGPROC proc) {
    return DialogBoxParam(module, id, parent, proc, 0);
}

// Ends a modal dialog (its loop returns result) or hides a modeless one.
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL IsDialogMessage(HWND dialog, MSG* msg);
LRESULT DefDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous);
BOOL MapDialogRect(HWND dialog, RECT* rect);

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL SetDlgItemText(HWND dialog, int id, const char16_t* text);
UINT GetDlgItemText(HWND dialog, int id, char16_t* buffer, int maxCount);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
// *translated (when given) is FALSE when the text is not a number.
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
