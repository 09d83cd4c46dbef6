// The host list part under a parent that hands it its item deletions, as
// the main window does.
#include "panthos/HostListView.h"

#include <gtest/gtest.h>

#include "platform/Message.h"
#include "platform/WinConst.h"
#include "tests/Client/Windows/shell/ShellFixture.h"

namespace {

class HostListViewTest : public shelltest::ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = u"HostListViewParent";
        RegisterClass(&wc);
        parent_ = CreateWindowEx(0, u"HostListViewParent", u"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 200, 0, 0, nullptr,
                                 nullptr);
        plat::window::SetWindowProcedure(parent_, [this](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == WM_NOTIFY && view_.OnDeleteItem(reinterpret_cast<const NMHDR*>(l))) ++freed_;
            return DefWindowProc(h, msg, w, l);
        });
        ASSERT_NE(view_.Create(parent_, RECT{0, 24, 240, 200}), HWND(0));
    }
    void TearDown() override {
        view_.Clear();
        DestroyWindow(parent_);
        ShellTest::TearDown();
    }
    int Count() const { return int(SendMessage(view_.Window(), LVM_GETITEMCOUNT, 0, 0)); }
    std::u16string Text(int item, int column) const {
        char16_t buf[128] = {};
        LVITEM get{LVIF_TEXT, item, column, 0, 0, buf, 128, 0, 0};
        SendMessage(view_.Window(), LVM_GETITEM, 0, LPARAM(&get));
        return buf;
    }
    void Select(int item) {
        LVITEM state{};
        state.stateMask = state.state = LVIS_SELECTED;
        SendMessage(view_.Window(), LVM_SETITEMSTATE, WPARAM(item), LPARAM(&state));
    }

    HWND parent_ = 0;
    CHostListView view_;
    int freed_ = 0;  // item deletions the view took
};

TEST_F(HostListViewTest, ARefillShowsAddNewWhenAllowedThenTheHostsFileAndFreesWhatItReplaces) {
    CHostListFile().Add(u"10.0.0.1", u"Alpha", 2000);
    view_.BeginRefill();
    view_.AddPrograms(true);
    view_.EndRefill();
    ASSERT_EQ(Count(), 2);
    EXPECT_EQ(Text(0, 0), u"Add New");
    EXPECT_EQ(Text(1, 0), u"Alpha");
    Select(0);
    EXPECT_EQ(view_.Selected().image, CHostListView::kImageAddNew);
    EXPECT_EQ(view_.Selected().record, nullptr);
    Select(1);
    const CHostListView::Selection alpha = view_.Selected();
    EXPECT_EQ(alpha.index, 1);
    EXPECT_EQ(alpha.image, CHostListView::kImageConfigured);
    ASSERT_NE(alpha.record, nullptr);
    EXPECT_EQ(alpha.record->GetPort(), 2000);

    view_.BeginRefill();
    view_.AddPrograms(false);
    view_.EndRefill();
    EXPECT_EQ(freed_, 2);  // both items went, Alpha's record with its item
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(Text(0, 0), u"Alpha");
    EXPECT_EQ(view_.Selected().index, -1);
}

TEST_F(HostListViewTest, DiscoveredHostsShowWhetherTheyAreKnownWithTheirAddressAndPortAsCopies) {
    std::vector<CHostEntry> hosts(2);
    hosts[0].SetDescription(u"stock");
    hosts[0].SetHost(u"10.0.0.5");
    hosts[0].SetPort(1000);
    hosts[0].SetDiscoveryKey(0x9);  // known
    hosts[1].SetDescription(u"yard");
    hosts[1].SetHost(u"10.0.0.6");
    hosts[1].SetPort(0);
    hosts[1].SetDiscoveryKey(0x2);
    view_.BeginRefill();
    view_.AddDiscovered(hosts);
    view_.EndRefill();
    hosts.clear();
    ASSERT_EQ(Count(), 2);
    const std::vector<std::vector<std::u16string>> rows{{u"stock", u"10.0.0.5", u"1000"}, {u"yard", u"10.0.0.6", u"0"}};
    for (int i = 0; i < 2; ++i)
        for (int column = 0; column < 3; ++column) EXPECT_EQ(Text(i, column), rows[i][column]);
    Select(1);
    EXPECT_EQ(view_.Selected().image, CHostListView::kImageDiscovered);
    EXPECT_EQ(std::u16string(view_.Selected().record->GetDescription()), u"yard");
    Select(0);
    EXPECT_EQ(view_.Selected().image, CHostListView::kImageDiscoveredKnown);
    view_.Clear();
    EXPECT_EQ(freed_, 2);
}

TEST_F(HostListViewTest, TheFourViewsSetTheListStyleAndOthersAreIgnored) {
    const auto type = [&] { return DWORD(GetWindowLongPtr(view_.Window(), GWL_STYLE)) & (LVS_TYPEMASK | LVS_AUTOARRANGE); };
    EXPECT_EQ(type(), DWORD(LVS_ICON | LVS_AUTOARRANGE));
    const DWORD views[] = {LVS_ICON | LVS_AUTOARRANGE, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
    for (int view : {3, 1, 2, 0}) {
        view_.SetView(view);
        EXPECT_EQ(type(), views[view]) << view;
    }
    view_.SetView(3);
    view_.SetView(4);
    view_.SetView(-1);
    EXPECT_EQ(type(), DWORD(LVS_REPORT));
}

}  // namespace
