// The list view ("SysListView32"): items with a label, sub-item texts,
// an image index and a number of the program's, in the large-icon view
// (LVS_ICON: a grid of 32-pixel images with their labels), the report view
// (LVS_REPORT: a header of columns and one row per item), or the small-icon
// and list views (rows with 16-pixel images). One item at a time is
// selected (LVS_SINGLESEL is how the layer always behaves).
//
// The parent hears through WM_NOTIFY (an NMLISTVIEW): LVN_ITEMCHANGED when
// an item's state changes, by the user or the program, as on Windows;
// LVN_DELETEITEM for each item deleted (LVN_DELETEALLITEMS first when all
// go); NM_CLICK, NM_DBLCLK and NM_RETURN as the user taps and presses Enter.
#pragma once

#include "platform/ImageList.h"
#include "platform/Window.h"

constexpr const char16_t* WC_LISTVIEW = u"SysListView32";

constexpr DWORD LVS_ICON = 0x0000;
constexpr DWORD LVS_REPORT = 0x0001;
constexpr DWORD LVS_SMALLICON = 0x0002;
constexpr DWORD LVS_LIST = 0x0003;
constexpr DWORD LVS_TYPEMASK = 0x0003;
constexpr DWORD LVS_SINGLESEL = 0x0004;
constexpr DWORD LVS_SHOWSELALWAYS = 0x0008;
constexpr DWORD LVS_AUTOARRANGE = 0x0100;
constexpr DWORD LVS_NOCOLUMNHEADER = 0x4000;

constexpr UINT LVM_FIRST = 0x1000;
constexpr UINT LVM_SETIMAGELIST = LVM_FIRST + 3;
constexpr UINT LVM_GETITEMCOUNT = LVM_FIRST + 4;
constexpr UINT LVM_DELETEITEM = LVM_FIRST + 8;
constexpr UINT LVM_DELETEALLITEMS = LVM_FIRST + 9;
constexpr UINT LVM_GETNEXTITEM = LVM_FIRST + 12;
constexpr UINT LVM_ENSUREVISIBLE = LVM_FIRST + 19;
constexpr UINT LVM_GETTOPINDEX = LVM_FIRST + 39;
constexpr UINT LVM_SETITEMSTATE = LVM_FIRST + 43;
constexpr UINT LVM_GETITEMSTATE = LVM_FIRST + 44;
constexpr UINT LVM_GETITEM = LVM_FIRST + 75;
constexpr UINT LVM_SETITEM = LVM_FIRST + 76;
constexpr UINT LVM_INSERTITEM = LVM_FIRST + 77;
constexpr UINT LVM_INSERTCOLUMN = LVM_FIRST + 97;
constexpr UINT LVM_GETITEMTEXT = LVM_FIRST + 115;
constexpr UINT LVM_SETITEMTEXT = LVM_FIRST + 116;

constexpr int LVSIL_NORMAL = 0;
constexpr int LVSIL_SMALL = 1;

constexpr UINT LVIF_TEXT = 0x0001;
constexpr UINT LVIF_IMAGE = 0x0002;
constexpr UINT LVIF_PARAM = 0x0004;
constexpr UINT LVIF_STATE = 0x0008;

constexpr UINT LVIS_FOCUSED = 0x0001;
constexpr UINT LVIS_SELECTED = 0x0002;

constexpr UINT LVNI_ALL = 0x0000;
constexpr UINT LVNI_FOCUSED = 0x0001;
constexpr UINT LVNI_SELECTED = 0x0002;

constexpr UINT LVCF_FMT = 0x0001;
constexpr UINT LVCF_WIDTH = 0x0002;
constexpr UINT LVCF_TEXT = 0x0004;
constexpr int LVCFMT_LEFT = 0x0000;

// Notification codes: negative numbers as unsigned.
constexpr UINT NM_CLICK = UINT(-2);
constexpr UINT NM_DBLCLK = UINT(-3);
constexpr UINT NM_RETURN = UINT(-4);
constexpr UINT LVN_FIRST = UINT(-100);
constexpr UINT LVN_ITEMCHANGED = LVN_FIRST - 1;
constexpr UINT LVN_DELETEITEM = LVN_FIRST - 3;
constexpr UINT LVN_DELETEALLITEMS = LVN_FIRST - 4;

struct LVITEM {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    char16_t* pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
};

struct LVCOLUMN {
    UINT mask;
    int fmt;
    int cx;
    char16_t* pszText;
    int cchTextMax;
    int iSubItem;
};

struct NMLISTVIEW {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    UINT uNewState;
    UINT uOldState;
    UINT uChanged;
    POINT ptAction;
    LPARAM lParam;
};
