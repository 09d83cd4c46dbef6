#include <gtest/gtest.h>

#include <QImage>

#include "../ShellFixture.h"
#include "platform/Message.h"
#include "platform/QtHost.h"
#include "platform/WinConst.h"
#include "shell/HostDlg.h"
#include "tests/control/QtApplication.h"

namespace {

class ShotHostDlg : public CHostDlg {
public:
    QImage shot;
    INT_PTR OnMessage(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) override {
        const INT_PTR result = CHostDlg::OnMessage(dialog, msg, wParam, lParam);
        // The dialog fills its edits from a message it posts itself and
        // shows once its queue runs dry: the shot waits until it is up.
        if (msg == WM_APP) SetTimer(dialog, 1, 1);
        if (msg == WM_TIMER && IsWindowVisible(dialog)) {
            KillTimer(dialog, 1);
            UpdateWindow(dialog);
            for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
                UpdateWindow(child);
            plat::qt::SyncWidgets();
            shot = plat::qt::RenderWindow(dialog);
            PostMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        }
        return result;
    }
};

class HostDlgRenderTest : public shelltest::ShellTest {
protected:
    void SetUp() override {
        displaytest::EnsureApplication();
        ShellTest::SetUp();
    }
};

TEST_F(HostDlgRenderTest, TheDialogShowsTheHostInItsEdits) {
    CHostListFile().Add(u"depot.example", u"Depot", 2001);
    ShotHostDlg dlg;
    dlg.SetDescription(u"Depot");
    dlg.Run(0);
    ASSERT_FALSE(dlg.shot.isNull());
    dlg.shot.save("/tmp/shell-host-dialog.png");
    // The dialog is 142 by 92 dialog units of an 8-point font: 213 by 150
    // pixels of client area.
    EXPECT_GE(dlg.shot.width(), 213);
    EXPECT_GE(dlg.shot.height(), 149);
    // Each edit shows its text: ink inside the edits' rectangles.
    const QRect description(84, 7, 120, 18), host(84, 33, 120, 18), port(84, 59, 60, 18);
    for (QRect r : {description, host, port})
        EXPECT_GT(displaytest::InkPixels(dlg.shot, r, dlg.shot.pixelColor(r.topLeft())), 10) << r.y();
}

}  // namespace
