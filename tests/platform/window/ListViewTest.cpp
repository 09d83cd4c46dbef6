// The list view, headless: items, columns and sub-items, one selection with
// LVN_ITEMCHANGED whoever changes it, deletion notices, taps and keys.
#include <gtest/gtest.h>

#include <vector>

#include "platform/Input.h"
#include "platform/ListView.h"

namespace {

struct Notice {
    UINT code;
    int item;
    UINT newState, oldState;
    LPARAM param;
};

struct Host {
    HWND hwnd = 0, list = 0;
    std::vector<Notice> notices;
    LRESULT deleteAllAnswer = FALSE;
    explicit Host(DWORD view) {
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = u"ListViewHost";
        RegisterClass(&wc);
        hwnd = CreateWindowEx(0, u"ListViewHost", u"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 200, 0, 0, nullptr, nullptr);
        SetForegroundWindow(hwnd);
        plat::window::SetWindowProcedure(hwnd, [this](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == WM_NOTIFY) {
                const auto* nm = reinterpret_cast<const NMLISTVIEW*>(l);
                EXPECT_EQ(nm->hdr.hwndFrom, list);
                EXPECT_EQ(nm->hdr.idFrom, 175u);
                notices.push_back({nm->hdr.code, nm->iItem, nm->uNewState, nm->uOldState, nm->lParam});
                return nm->hdr.code == LVN_DELETEALLITEMS ? deleteAllAnswer : 0;
            }
            return DefWindowProc(h, msg, w, l);
        });
        list = CreateWindowEx(0, WC_LISTVIEW, u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | view, 0, 0, 240, 200, hwnd, HMENU(175),
                              nullptr, nullptr);
    }
    ~Host() { DestroyWindow(hwnd); }
    int Add(const char16_t* text, int image, LPARAM param) {
        LVITEM item{LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM, int(SendMessage(list, LVM_GETITEMCOUNT, 0, 0)), 0, 0, 0,
                    const_cast<char16_t*>(text), 0, image, param};
        return int(SendMessage(list, LVM_INSERTITEM, 0, LPARAM(&item)));
    }
    std::vector<UINT> Codes() const {
        std::vector<UINT> out;
        for (const Notice& n : notices) out.push_back(n.code);
        return out;
    }
};

void Pump() {
    MSG m;
    while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
}

}  // namespace

TEST(ListView, ReportViewItemsColumnsAndOneSelectionToldThroughWmNotify) {
    Host host(LVS_REPORT);
    int at = 0;
    for (auto [text, width] : {std::pair{u"Host", 90}, {u"Address", 80}, {u"Port", 50}}) {
        LVCOLUMN c{LVCF_TEXT | LVCF_WIDTH | LVCF_FMT, LVCFMT_LEFT, width, const_cast<char16_t*>(text), 0, at};
        EXPECT_EQ(SendMessage(host.list, LVM_INSERTCOLUMN, WPARAM(at), LPARAM(&c)), at);
        ++at;
    }
    EXPECT_EQ(host.Add(u"Add New", 0, 0), 0);
    EXPECT_EQ(host.Add(u"Depot", 2, 1001), 1);
    LVITEM sub{LVIF_TEXT, 1, 1, 0, 0, const_cast<char16_t*>(u"10.0.0.7"), 0, 0, 0};
    EXPECT_TRUE(SendMessage(host.list, LVM_SETITEM, 0, LPARAM(&sub)));
    char16_t buf[32];
    LVITEM get{LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM, 1, 1, 0, 0, buf, 32, -1, 0};
    EXPECT_TRUE(SendMessage(host.list, LVM_GETITEM, 0, LPARAM(&get)));
    EXPECT_EQ(std::u16string(buf), u"10.0.0.7");
    EXPECT_EQ(get.iImage, 2);
    EXPECT_EQ(get.lParam, 1001);
    EXPECT_EQ(SendMessage(host.list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED), -1);

    // The program selects: LVN_ITEMCHANGED all the same.
    LVITEM state{0, 0, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED, nullptr, 0, 0, 0};
    SendMessage(host.list, LVM_SETITEMSTATE, 1, LPARAM(&state));
    ASSERT_EQ(host.notices.size(), 1u);
    EXPECT_EQ(host.notices[0].code, LVN_ITEMCHANGED);
    EXPECT_EQ(host.notices[0].item, 1);
    EXPECT_EQ(host.notices[0].newState, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(host.notices[0].param, 1001);
    EXPECT_EQ(SendMessage(host.list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED), 1);

    // A tap on the first row (below the header): one loses, one gains, then NM_CLICK.
    host.notices.clear();
    plat::input::InjectMouse(WM_LBUTTONDOWN, POINT{20, 18 + 9}, MK_LBUTTON);
    plat::input::InjectMouse(WM_LBUTTONUP, POINT{20, 18 + 9}, 0);
    Pump();
    EXPECT_EQ(host.Codes(), (std::vector<UINT>{LVN_ITEMCHANGED, LVN_ITEMCHANGED, NM_CLICK}));
    EXPECT_EQ(host.notices[0].item, 1);
    EXPECT_EQ(host.notices[0].newState, 0u);
    EXPECT_EQ(host.notices[1].item, 0);
    EXPECT_EQ(SendMessage(host.list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED), 0);
    host.notices.clear();
    SendMessage(host.list, WM_KEYDOWN, VK_DOWN, 0);
    SendMessage(host.list, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(host.Codes(), (std::vector<UINT>{LVN_ITEMCHANGED, LVN_ITEMCHANGED, NM_RETURN}));
    EXPECT_EQ(host.notices[2].item, 1);
}

TEST(ListView, DestroyingTheListTellsTheParentOfEachItem) {
    // Whatever the parent keeps in the items' data is freed when the list
    // goes with its window, not only when the items are deleted.
    Host host(LVS_REPORT);
    for (int i = 0; i < 2; ++i) host.Add(u"x", 0, 200 + i);
    host.notices.clear();
    DestroyWindow(host.list);
    EXPECT_EQ(host.Codes(), (std::vector<UINT>{LVN_DELETEALLITEMS, LVN_DELETEITEM, LVN_DELETEITEM}));
    ASSERT_EQ(host.notices.size(), 3u);
    EXPECT_EQ(host.notices[1].param, 200);
    EXPECT_EQ(host.notices[2].param, 201);
}

TEST(ListView, DeletionTellsTheParentOfEachItemUnlessItDeclines) {
    Host host(LVS_ICON | LVS_AUTOARRANGE);
    for (int i = 0; i < 3; ++i) host.Add(u"x", 2, 100 + i);
    EXPECT_TRUE(SendMessage(host.list, LVM_DELETEITEM, 1, 0));
    ASSERT_EQ(host.notices.size(), 1u);
    EXPECT_EQ(host.notices[0].code, LVN_DELETEITEM);
    EXPECT_EQ(host.notices[0].param, 101);  // the item's number, for its owner to free
    host.notices.clear();
    SendMessage(host.list, LVM_DELETEALLITEMS, 0, 0);
    EXPECT_EQ(host.Codes(), (std::vector<UINT>{LVN_DELETEALLITEMS, LVN_DELETEITEM, LVN_DELETEITEM}));
    EXPECT_EQ(host.notices[2].param, 102);
    EXPECT_EQ(SendMessage(host.list, LVM_GETITEMCOUNT, 0, 0), 0);
    host.Add(u"y", 0, 7);
    host.notices.clear();
    host.deleteAllAnswer = TRUE;
    SendMessage(host.list, LVM_DELETEALLITEMS, 0, 0);
    EXPECT_EQ(host.Codes(), (std::vector<UINT>{LVN_DELETEALLITEMS}));
    // Icon view: a grid of 76-pixel cells, three to a row of 240.
    for (int i = 0; i < 5; ++i) host.Add(u"z", 0, i);
    host.notices.clear();
    plat::input::InjectMouse(WM_LBUTTONDOWN, POINT{76 + 30, 58 + 20}, MK_LBUTTON);
    plat::input::InjectMouse(WM_LBUTTONUP, POINT{76 + 30, 58 + 20}, 0);
    Pump();
    EXPECT_EQ(SendMessage(host.list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED), 4);
}
