// The host list view as the main window makes it (list 175, the three
// columns, the six icons of the resource library at 32 and 16 pixels) under
// a parent that frees each item's record when the item is deleted.
#pragma once

#include <gtest/gtest.h>

#include "platform/ImageList.h"
#include "platform/ListView.h"
#include "platform/Message.h"
#include "platform/WinConst.h"
#include "shell/HostList.h"
#include "shell/ShellUtil.h"

namespace shelltest {

struct HostListView {
    HWND parent = 0, list = 0;
    HIMAGELIST large = 0, small = 0;
    int freed = 0;  // records freed on LVN_DELETEITEM

    HostListView(DWORD view, int width, int height) {
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = u"HostListParent";
        RegisterClass(&wc);
        parent = CreateWindowEx(0, u"HostListParent", u"", WS_POPUP | WS_VISIBLE, 0, 0, width, height, 0, 0, nullptr,
                                nullptr);
        plat::window::SetWindowProcedure(parent, [this](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(l)->code == LVN_DELETEITEM) {
                auto* record = reinterpret_cast<CHostEntry*>(reinterpret_cast<const NMLISTVIEW*>(l)->lParam);
                if (record) ++freed;
                delete record;
                return 0;
            }
            return DefWindowProc(h, msg, w, l);
        });
        list = CreateWindowEx(0x200, WC_LISTVIEW, u"", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | view, 0, 0, width,
                              height, parent, HMENU(175), nullptr, nullptr);
        int at = 0;
        for (auto [text, cx] : {std::pair{u"Host", 90}, {u"Address", 80}, {u"Port", 50}}) {
            LVCOLUMN c{LVCF_FMT | LVCF_WIDTH | LVCF_TEXT, LVCFMT_LEFT, cx, const_cast<char16_t*>(text), 0, at};
            SendMessage(list, LVM_INSERTCOLUMN, WPARAM(at++), LPARAM(&c));
        }
        large = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 6, 0);
        small = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 6, 0);
        for (UINT id : {175u, 173u, 172u, 171u, 6003u, 180u}) {
            for (auto [images, side] : {std::pair{large, 32}, {small, 16}}) {
                const HICON icon =
                    HICON(LoadImage(GetShellResources(), MAKEINTRESOURCE(id), IMAGE_ICON, side, side, LR_DEFAULTCOLOR));
                EXPECT_NE(icon, 0u) << id;
                ImageList_AddIcon(images, icon);
                DestroyIcon(icon);
            }
        }
        SendMessage(list, LVM_SETIMAGELIST, LVSIL_NORMAL, LPARAM(large));
        SendMessage(list, LVM_SETIMAGELIST, LVSIL_SMALL, LPARAM(small));
    }
    ~HostListView() {
        // The layer's list view sends no deletion notices when it is destroyed.
        SendMessage(list, LVM_DELETEALLITEMS, 0, 0);
        DestroyWindow(parent);
        ImageList_Destroy(large);
        ImageList_Destroy(small);
    }
    // The "Add New" item: image 0, no record.
    void AddNew() {
        LVITEM item{LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE, 0, 0, 0, 0, const_cast<char16_t*>(u"Add New"), 0,
                    0, 0};
        SendMessage(list, LVM_INSERTITEM, 0, LPARAM(&item));
    }
    // The template the host list is filled with.
    static LVITEM Template() { return LVITEM{LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE, 0, 0, 0, 0, nullptr, 0, 0, 0}; }
    int Count() const { return int(SendMessage(list, LVM_GETITEMCOUNT, 0, 0)); }
    std::u16string Text(int item, int column) const {
        char16_t buf[128] = {};
        LVITEM get{LVIF_TEXT, item, column, 0, 0, buf, 128, 0, 0};
        SendMessage(list, LVM_GETITEM, 0, LPARAM(&get));
        return buf;
    }
    LVITEM Item(int item) const {
        LVITEM get{LVIF_IMAGE | LVIF_PARAM | LVIF_STATE, item, 0, 0, LVIS_SELECTED | LVIS_FOCUSED, nullptr, 0, -1, 0};
        EXPECT_TRUE(SendMessage(list, LVM_GETITEM, 0, LPARAM(&get))) << item;
        return get;
    }
};

}  // namespace shelltest
