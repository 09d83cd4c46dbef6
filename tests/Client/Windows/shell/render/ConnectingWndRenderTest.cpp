// The "Connecting To:" window as Qt shows it: drawn by its own thread,
// answered by a tap on Cancel, and shown while the user-interface thread
// waits for a connect.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <chrono>
#include <thread>

#include "../ScriptedTcpHost.h"
#include "../ShellFixture.h"
#include "platform/Input.h"
#include "platform/QtHost.h"
#include "platform/WinConst.h"
#include "shell/CeSock.h"
#include "shell/ConnectingWnd.h"
#include "shell/ShellWindows.h"
#include "tests/control/QtApplication.h"

namespace {

using namespace std::chrono_literals;

class ConnectingWndRenderTest : public shelltest::ShellTest {
protected:
    void SetUp() override {
        displaytest::EnsureApplication();
        ShellTest::SetUp();
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
        wc.lpszClassName = u"ConnectingRenderMain";
        RegisterClass(&wc);
        main_ = CreateWindowEx(0, wc.lpszClassName, u"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, 0, 0, nullptr, nullptr);
        SetShellMainWindow(main_);
    }
    void TearDown() override {
        DestroyWindow(main_);
        SetShellMainWindow(0);
        ShellTest::TearDown();
    }
    // Runs Qt until the condition holds (at most 10 s).
    static bool RunUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            QCoreApplication::processEvents();
            plat::qt::SyncWidgets();
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }
    static void TapCentre(HWND hwnd) {
        RECT r{};
        GetWindowRect(hwnd, &r);
        const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        plat::input::InjectMouse(WM_LBUTTONDOWN, centre, MK_LBUTTON);
        plat::input::InjectMouse(WM_LBUTTONUP, centre, 0);
    }
    HWND main_ = 0;
};

TEST_F(ConnectingWndRenderTest, ShowsTheHostAndACancelButtonThatATapPresses) {
    CConnectingWnd wnd(u"192.168.10.20", nullptr, TRUE);
    QImage shot;
    // Text in the upper half (the host's line) and a button in the lower.
    ASSERT_TRUE(RunUntil([&] {
        const HWND window = wnd.GetWindow();
        if (!window || !GetDlgItem(window, IDCANCEL)) return false;
        shot = plat::qt::RenderWindow(window);
        return !shot.isNull() && displaytest::InkPixels(shot, QRect(10, 10, 180, 40), Qt::white) > 40 &&
               displaytest::InkPixels(shot, QRect(62, 60, 75, 30), Qt::white) > 20;
    }));
    shot.save("/tmp/shell-connecting-window.png");
    EXPECT_EQ(shot.width(), 200);
    EXPECT_EQ(shot.height(), 100);
    TapCentre(GetDlgItem(wnd.GetWindow(), IDCANCEL));
    EXPECT_TRUE(RunUntil([&] { return wnd.IsCancelled() == TRUE; }));
}

TEST_F(ConnectingWndRenderTest, TheWindowIsShownAndTakesTapsWhileTheConnectWaitRuns) {
    shelltest::ScriptedTcpHost host(0);
    if (!host.FillBacklog()) GTEST_SKIP() << "the listener's queue never filled";
    CCeSock sock(main_);
    ASSERT_EQ(sock.Create(u"127.0.0.1", host.Port()), 1);
    // The user: waits for the window's button to be shown, then taps it.
    std::atomic<bool> tapped{false};
    std::thread user([&] {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < end) {
            const HWND window = FindWindow(u"CLDGCN", nullptr);
            const HWND button = window ? GetDlgItem(window, IDCANCEL) : 0;
            if (button && IsWindowVisible(button)) {
                TapCentre(button);
                tapped = true;
                return;
            }
            std::this_thread::sleep_for(5ms);
        }
    });
    EXPECT_EQ(sock.WaitForConnection(), 0);
    user.join();
    EXPECT_TRUE(tapped);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_FALSE(sock.HasSocket());
}

}  // namespace
