#include <gtest/gtest.h>

#include <QImage>

#include "../HostListView.h"
#include "../ShellFixture.h"
#include "platform/QtHost.h"
#include "tests/control/QtApplication.h"

namespace {

class HostListViewRenderTest : public shelltest::ShellTest {
protected:
    void SetUp() override {
        displaytest::EnsureApplication();
        ShellTest::SetUp();
    }
};

// The pixels of the area that differ from the list's white.
int InkPixels(const QImage& image, QRect area) {
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) != QColor(255, 255, 255)) ++ink;
    return ink;
}

TEST_F(HostListViewRenderTest, LargeIconsShowAddNewAndTheFileHostsWithTheirIcons) {
    CHostListFile hosts;
    hosts.Add(u"depot.example", u"Depot", 2001);
    hosts.Add(u"10.0.0.7", u"Dock", 1000);
    shelltest::HostListView view(LVS_ICON | LVS_AUTOARRANGE, 240, 120);
    view.AddNew();
    ASSERT_EQ(hosts.FillListView(view.list, shelltest::HostListView::Template()), 2);
    UpdateWindow(view.parent);
    UpdateWindow(view.list);
    plat::qt::SyncWidgets();
    const QImage shot = plat::qt::RenderWindow(view.parent).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(shot.isNull());
    shot.save("/tmp/shell-host-list-view.png");
    // Three 76-pixel cells in a row, each an icon over its label.
    for (int cell = 0; cell < 3; ++cell) {
        EXPECT_GT(InkPixels(shot, QRect(cell * 76 + 22, 6, 32, 32)), 100) << cell;  // the icon
        EXPECT_GT(InkPixels(shot, QRect(cell * 76 + 4, 42, 68, 16)), 10) << cell;   // the label
    }
    // "Add New" and a host of the file are drawn from different icons.
    EXPECT_NE(shot.copy(22, 6, 32, 32), shot.copy(76 + 22, 6, 32, 32));
    EXPECT_EQ(shot.copy(76 + 22, 6, 32, 32), shot.copy(2 * 76 + 22, 6, 32, 32));
}

}  // namespace
