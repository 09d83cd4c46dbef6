// The standard controls: window classes of the layer that answer their
// Windows messages (WinConst.h: BM_*, EM_*, LB_*, CB_*, PBM_*; styles BS_*,
// SS_*, ES_*, LBS_*, CBS_*). They are registered the first time any window
// is created, so every thread and library can use them by name.
//
// - BUTTON: push, default push, check box, three-state, radio (auto radio
//   buttons clear the others of their WS_GROUP group), group box,
//   owner-draw (WM_DRAWITEM to the parent).
// - STATIC: text (left, centre, right), black rectangle, bitmap (the
//   STM_SETIMAGE bitmap drawn at the top left, centred with SS_CENTERIMAGE;
//   STN_CLICKED with SS_NOTIFY).
// - EDIT: single and multi-line, password, number, read-only, upper and
//   lower case, text limit (EN_MAXTEXT when typing hits it), selection.
// - LISTBOX and COMBOBOX (drop-down with an edit field, drop-down list),
//   sorted or not, with item data, owner-drawn fixed-height items
//   (WM_MEASUREITEM once, WM_DRAWITEM per row shown). A list box with
//   WS_VSCROLL draws its bar once the items overflow; the selection is kept
//   in view and the top index never leaves blank rows. A combo box is the
//   field alone, one line high; the height it is given is its list's, which
//   drops as a top-most pop-up ("ComboLBox") that takes the taps without
//   taking the activation: a tap on a row chooses it (CBN_SELCHANGE,
//   CBN_SELENDOK, CBN_CLOSEUP), a tap elsewhere closes it (CBN_SELENDCANCEL,
//   CBN_CLOSEUP).
// - EDIT scrolls to its caret (sideways, and by lines when multi-line, with a
//   bar for WS_VSCROLL), shows its selection and caret while it has the
//   focus, and sends EN_CHANGE for WM_SETTEXT as Windows does.
// - "msctls_progress32": range, position, step.
// Colours and brushes come from the parent's answer to WM_CTLCOLOR*
// (WM_CTLCOLORBTN for push buttons, WM_CTLCOLORSTATIC for the other buttons,
// statics and read-only edits, WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX); 0 from
// the parent means the default colours. WM_COMMAND notifications go to the
// parent only when the user acts (clicks, keys, BM_CLICK), never when the
// program changes a control by message (but an edit's WM_SETTEXT).
#pragma once

#include "platform/Window.h"

constexpr const char16_t* WC_BUTTON = u"Button";
constexpr const char16_t* WC_STATIC = u"Static";
constexpr const char16_t* WC_EDIT = u"Edit";
constexpr const char16_t* WC_LISTBOX = u"ListBox";
constexpr const char16_t* WC_COMBOBOX = u"ComboBox";
constexpr const char16_t* PROGRESS_CLASS = u"msctls_progress32";

// Owner-draw.
constexpr UINT ODT_LISTBOX = 2;
constexpr UINT ODT_COMBOBOX = 3;
constexpr UINT ODT_BUTTON = 4;
constexpr UINT ODA_DRAWENTIRE = 0x0001;
constexpr UINT ODS_SELECTED = 0x0001;
constexpr UINT ODS_DISABLED = 0x0004;
constexpr UINT ODS_FOCUS = 0x0010;
constexpr UINT ODS_COMBOBOXEDIT = 0x1000;  // the closed combo box's own field

struct DRAWITEMSTRUCT {
    UINT CtlType;
    UINT CtlID;
    UINT itemID;
    UINT itemAction;
    UINT itemState;
    HWND hwndItem;
    HDC hDC;
    RECT rcItem;
    uintptr_t itemData;
};

// WM_MEASUREITEM for LBS_OWNERDRAWFIXED and CBS_OWNERDRAWFIXED: sent once,
// as the control is created; the parent sets itemHeight.
struct MEASUREITEMSTRUCT {
    UINT CtlType;
    UINT CtlID;
    UINT itemID;
    UINT itemWidth;
    UINT itemHeight;
    uintptr_t itemData;
};

namespace plat::window {
// Registers the classes above once per process (CreateWindowEx does it).
void RegisterStandardControls();
}  // namespace plat::window
