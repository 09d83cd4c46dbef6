// The screen and system settings, headless: the screen size from the device
// root's setting, the work area and WM_SETTINGCHANGE, DS_CENTER, the desktop
// window, window properties and the owner process of a window.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Dialog.h"
#include "platform/DeviceFs.h"
#include "platform/Registry.h"
#include "platform/Screen.h"

namespace {

class Screen : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/screen-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        root_ = dir;
        plat::fs::SetDeviceRoot(root_);
        plat::screen::ReloadScreenSize();
    }
    void TearDown() override {
        SystemParametersInfo(SPI_SETWORKAREA, 0, nullptr, 0);
        plat::fs::SetDeviceRoot("");
        plat::screen::ReloadScreenSize();
        std::filesystem::remove_all(root_);
    }
    static void SetSize(DWORD w, DWORD h) {
        plat::registry::SetDword(HKEY_LOCAL_MACHINE, u"Software\\Orvade\\Screen", u"Width", w);
        plat::registry::SetDword(HKEY_LOCAL_MACHINE, u"Software\\Orvade\\Screen", u"Height", h);
        plat::screen::ReloadScreenSize();
    }
    // A top-level window that keeps the wParam of its last WM_SETTINGCHANGE.
    static HWND MakeWatcher() {
        WNDCLASS wc{};
        wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_SETTINGCHANGE) SetWindowLongPtr(h, GWLP_USERDATA, LONG_PTR(w));
            return DefWindowProc(h, m, w, l);
        };
        wc.lpszClassName = u"SettingWatcher";
        RegisterClass(&wc);  // once; later calls fail and change nothing
        return CreateWindowEx(0, u"SettingWatcher", u"", WS_POPUP, 0, 0, 10, 10, 0, 0, nullptr, nullptr);
    }
    std::string root_;
};

TEST_F(Screen, SizeComesFromTheDeviceRootWithAHandheldDefault) {
    struct Case {
        DWORD w, h;
        int wantW, wantH;
    };
    const Case cases[] = {{0, 0, 240, 320}, {480, 640, 480, 640}, {10, 640, 240, 320}, {480, 99999, 240, 320}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        if (c.w) SetSize(c.w, c.h);
        EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), c.wantW);
        EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), c.wantH);
        EXPECT_EQ(GetDeviceCaps(nullptr, HORZRES), c.wantW);
        EXPECT_EQ(GetDeviceCaps(nullptr, VERTRES), c.wantH);
        RECT r{};
        ASSERT_TRUE(GetWindowRect(GetDesktopWindow(), &r));
        EXPECT_EQ(r.right, c.wantW);
        EXPECT_EQ(r.bottom, c.wantH);
        ASSERT_TRUE(SystemParametersInfo(SPI_GETWORKAREA, 0, &r, 0));
        EXPECT_EQ(r.right, c.wantW);
        EXPECT_EQ(r.bottom, c.wantH);
    }
    EXPECT_GT(GetSystemMetrics(SM_CXVSCROLL), 0);
    EXPECT_EQ(GetSystemMetrics(-5), 0);
}

INT_PTR CALLBACK_Quiet(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG ? TRUE : FALSE; }

TEST_F(Screen, CentredDialogWithoutOwnerOpensInTheWorkArea) {
    static const plat::res::Dialog kDialog{1, WS_POPUP | DS_CENTER, u"Hosts", u"Tahoma", 8, 0, 0, 160, 104, nullptr, 0};
    const HWND dlg = CreateDialogIndirectParam(nullptr, &kDialog, 0, CALLBACK_Quiet, 0);
    ASSERT_NE(dlg, 0u);
    RECT r{};
    GetWindowRect(dlg, &r);
    EXPECT_GE(r.left, 0);
    EXPECT_GE(r.top, 0);
    EXPECT_EQ(r.left, (240 - (r.right - r.left)) / 2);
    EXPECT_EQ(r.top, (320 - (r.bottom - r.top)) / 2);
    DestroyWindow(dlg);
}

TEST_F(Screen, SettingTheWorkAreaTellsTheTopLevelWindows) {
    UINT seen = 0;
    const HWND top = MakeWatcher();
    const RECT work{0, 26, 240, 294};
    ASSERT_TRUE(SystemParametersInfo(SPI_SETWORKAREA, 0, const_cast<RECT*>(&work), 0));
    MSG m;
    while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
    seen = UINT(GetWindowLongPtr(top, GWLP_USERDATA));
    EXPECT_EQ(seen, SPI_SETWORKAREA);
    RECT r{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &r, 0);
    EXPECT_EQ(r.top, 26);
    EXPECT_EQ(r.bottom, 294);
    EXPECT_EQ(GetSystemMetrics(SM_CYFULLSCREEN), 268);
    const RECT empty{10, 10, 10, 10};
    EXPECT_FALSE(SystemParametersInfo(SPI_SETWORKAREA, 0, const_cast<RECT*>(&empty), 0));
    DestroyWindow(top);
}

TEST_F(Screen, PropertiesAndOwnerOfAWindow) {
    const HWND hwnd = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    int a = 0, b = 0;
    EXPECT_TRUE(SetProp(hwnd, u"Owner", &a));
    EXPECT_EQ(GetProp(hwnd, u"OWNER"), &a);  // names without regard to case
    EXPECT_TRUE(SetProp(hwnd, u"owner", &b));
    EXPECT_EQ(GetProp(hwnd, u"Owner"), &b);
    EXPECT_EQ(RemoveProp(hwnd, u"Owner"), &b);
    EXPECT_EQ(GetProp(hwnd, u"Owner"), nullptr);
    EXPECT_FALSE(SetProp(0, u"x", &a));
    DWORD pid = 0;
    EXPECT_EQ(GetWindowThreadProcessId(hwnd, &pid), plat::window::GetWindowThreadId(hwnd));
    EXPECT_EQ(pid, DWORD(getpid()));
    SetProp(hwnd, u"Gone", &a);
    DestroyWindow(hwnd);
    EXPECT_EQ(GetProp(hwnd, u"Gone"), nullptr);
    EXPECT_EQ(GetWindowThreadProcessId(hwnd, &pid), 0u);
    EXPECT_EQ(pid, 0u);
}

}  // namespace

namespace {

TEST_F(Screen, InputPanelStateIsReadWrittenAndAnnounced) {
    const HWND top = MakeWatcher();
    SIPINFO info{};
    EXPECT_FALSE(SipGetInfo(&info));  // no size given
    info.cbSize = sizeof info;
    ASSERT_TRUE(SipGetInfo(&info));
    EXPECT_EQ(info.fdwFlags & SIPF_ON, 0u);  // hidden at first
    EXPECT_EQ(info.rcSipRect.bottom, 320);
    EXPECT_EQ(info.rcVisibleDesktop.bottom, 320);
    info.fdwFlags = SIPF_ON | SIPF_DOCKED;
    ASSERT_TRUE(SipSetInfo(&info));
    MSG m;
    while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
    EXPECT_EQ(GetWindowLongPtr(top, GWLP_USERDATA), LONG_PTR(SPI_SETSIPINFO));
    SIPINFO now{};
    now.cbSize = sizeof now;
    ASSERT_TRUE(SipGetInfo(&now));
    EXPECT_EQ(now.fdwFlags, SIPF_ON | SIPF_DOCKED);
    EXPECT_EQ(now.rcVisibleDesktop.bottom, now.rcSipRect.top);  // the shown panel covers the bottom
    now.fdwFlags = SIPF_OFF;
    SipSetInfo(&now);
    DestroyWindow(top);
}

}  // namespace
