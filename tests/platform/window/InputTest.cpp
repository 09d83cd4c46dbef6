// Device input routed by the layer, headless: the hit test of a tap (z-order,
// WM_NCHITTEST, hidden and disabled windows), activation on a tap
// (WM_MOUSEACTIVATE, WS_EX_NOACTIVATE), keys typed ahead and read later,
// injected keys, and Sleep.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "platform/Controls.h"
#include "platform/Dialog.h"
#include "platform/Input.h"
#include "platform/Window.h"

namespace {

struct Tap {
    HWND hwnd;
    UINT msg;
    int x;
    int y;
};

std::vector<Tap> g_taps;
std::vector<UINT> g_activations;  // WM_ACTIVATE wParam of the windows, in order
std::u16string g_typed[2];        // WM_CHAR of the two fields
HWND g_fields[2];
LRESULT g_hitTest = HTCLIENT;     // what "Pane" windows answer
LRESULT g_mouseActivate = 0;      // 0: DefWindowProc's answer

LRESULT CALLBACK_Pane(HWND h, UINT msg, WPARAM w, LPARAM l) {
    switch (msg) {
    case WM_NCHITTEST:
        if (GetWindowLongPtr(h, GWLP_USERDATA)) return g_hitTest;
        break;
    case WM_MOUSEACTIVATE:
        if (g_mouseActivate) return g_mouseActivate;
        break;
    case WM_ACTIVATE: g_activations.push_back(UINT(LOWORD(w))); break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK: g_taps.push_back({h, msg, GET_X_LPARAM(l), GET_Y_LPARAM(l)}); return 0;
    case WM_CHAR:
        for (int i = 0; i < 2; ++i)
            if (h == g_fields[i] && w != u'\t') g_typed[i] += char16_t(w);
        return 0;
    case WM_KEYDOWN:
        // A field moves the focus on Tab, as a dialog would.
        if (w == VK_TAB && (h == g_fields[0] || h == g_fields[1])) SetFocus(h == g_fields[0] ? g_fields[1] : g_fields[0]);
        return 0;
    default: break;
    }
    return DefWindowProc(h, msg, w, l);
}

void Pump() {
    MSG m;
    while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
}

class Input : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASS wc{};
        wc.lpfnWndProc = CALLBACK_Pane;
        wc.lpszClassName = u"Pane";
        RegisterClass(&wc);
    }
    void SetUp() override {
        g_taps.clear();
        g_activations.clear();
        g_typed[0].clear();
        g_typed[1].clear();
        g_hitTest = HTCLIENT;
        g_mouseActivate = 0;
    }
    void TearDown() override {
        for (HWND h : made_)
            if (IsWindow(h)) DestroyWindow(h);
        Pump();
    }
    HWND Make(DWORD style, int x, int y, int w, int h, HWND parent = 0, DWORD ex = 0) {
        const HWND hwnd = CreateWindowEx(ex, u"Pane", u"", style | WS_VISIBLE, x, y, w, h, parent, 0, nullptr, nullptr);
        if (!parent) made_.push_back(hwnd);
        return hwnd;
    }
    static void TapAt(int x, int y) {
        plat::input::InjectMouse(WM_LBUTTONDOWN, POINT{x, y}, MK_LBUTTON);
        plat::input::InjectMouse(WM_LBUTTONUP, POINT{x, y}, 0);
        Pump();
    }
    std::vector<HWND> made_;
};

TEST_F(Input, TapGoesToTheTopmostShownEnabledWindowInZOrder) {
    const HWND top = Make(WS_POPUP, 100, 100, 200, 200);
    // Created first is on top: a and b overlap at (150..160, 110..120).
    const HWND a = Make(WS_CHILD, 10, 10, 60, 20, top);
    const HWND b = Make(WS_CHILD, 50, 10, 60, 20, top);
    TapAt(155, 115);
    ASSERT_EQ(g_taps.size(), 2u);
    EXPECT_EQ(g_taps[0].hwnd, a);
    EXPECT_EQ(g_taps[0].x, 45);  // a's client coordinates
    EXPECT_EQ(g_taps[0].y, 5);
    // Raising b brings it above a.
    SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    g_taps.clear();
    TapAt(155, 115);
    ASSERT_FALSE(g_taps.empty());
    EXPECT_EQ(g_taps[0].hwnd, b);
    EXPECT_EQ(g_taps[0].x, 5);
    // Hidden and disabled windows are skipped: the tap reaches what is below.
    ShowWindow(b, SW_HIDE);
    EnableWindow(a, FALSE);
    g_taps.clear();
    TapAt(155, 115);
    ASSERT_FALSE(g_taps.empty());
    EXPECT_EQ(g_taps[0].hwnd, top);
    EXPECT_EQ(g_taps[0].x, 55);
}

TEST_F(Input, HitTestTransparentPassesTheTapToTheSiblingBelow) {
    const HWND top = Make(WS_POPUP, 0, 0, 200, 200);
    const HWND frame = Make(WS_CHILD, 10, 10, 150, 150, top);  // on top, like a group box
    const HWND inside = Make(WS_CHILD, 20, 20, 50, 20, top);
    SetWindowLongPtr(frame, GWLP_USERDATA, 1);
    g_hitTest = HTTRANSPARENT;
    TapAt(30, 35);
    ASSERT_FALSE(g_taps.empty());
    EXPECT_EQ(g_taps[0].hwnd, inside);
    EXPECT_EQ(WindowFromPoint(POINT{30, 35}), frame);  // before any hit test
}

TEST_F(Input, GroupBoxPassesTapsToTheRadioButtonsInside) {
    const HWND dlg = Make(WS_POPUP, 0, 0, 200, 200);
    const HWND group = CreateWindowEx(0, u"Button", u"Mode", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 5, 5, 180, 100, dlg,
                                      HMENU(10), nullptr, nullptr);
    const HWND radio = CreateWindowEx(0, u"Button", u"Fast", WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON, 15, 25, 100,
                                      16, dlg, HMENU(11), nullptr, nullptr);
    ASSERT_TRUE(group && radio);
    TapAt(30, 30);
    EXPECT_EQ(SendMessage(radio, BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(Input, TapOnADisabledTopLevelWindowIsDropped) {
    const HWND owner = Make(WS_POPUP, 0, 0, 100, 100);
    EnableWindow(owner, FALSE);
    TapAt(10, 10);
    EXPECT_TRUE(g_taps.empty());
}

TEST_F(Input, MouseActivateDecidesActivationAndDelivery) {
    struct Case {
        LRESULT answer;
        DWORD ex;
        bool activates;
        bool delivered;
    };
    const Case cases[] = {
        {0, 0, true, true},                        // DefWindowProc: MA_ACTIVATE
        {MA_ACTIVATEANDEAT, 0, true, false},
        {MA_NOACTIVATE, 0, false, true},
        {MA_NOACTIVATEANDEAT, 0, false, false},
        {0, WS_EX_NOACTIVATE, false, true},        // a soft keyboard's window
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "answer " << c.answer << " ex " << c.ex);
        const HWND first = Make(WS_POPUP, 0, 0, 50, 50);
        const HWND other = Make(WS_POPUP, 100, 0, 50, 50, 0, c.ex);
        const HWND child = Make(WS_CHILD, 5, 5, 20, 20, other);
        SetActiveWindow(first);
        g_taps.clear();
        g_activations.clear();
        g_mouseActivate = c.answer;
        plat::input::InjectMouse(WM_LBUTTONDOWN, POINT{110, 10}, MK_LBUTTON);
        Pump();
        EXPECT_EQ(GetActiveWindow() == other, c.activates);
        if (c.activates) {
            // The old window goes inactive first, the new one is click-activated.
            ASSERT_EQ(g_activations.size(), 2u);
            EXPECT_EQ(g_activations[0], WA_INACTIVE);
            EXPECT_EQ(g_activations[1], WA_CLICKACTIVE);
            EXPECT_EQ(GetTopWindow(0), other);
        }
        EXPECT_EQ(!g_taps.empty() && g_taps[0].hwnd == child, c.delivered);
        // Once active, a tap needs no activation and is delivered.
        g_mouseActivate = MA_NOACTIVATEANDEAT;
        if (c.activates) {
            g_taps.clear();
            TapAt(110, 10);
            EXPECT_FALSE(g_taps.empty());
        }
        DestroyWindow(other);
        DestroyWindow(first);
    }
}

// The top-level windows among `of`, top first.
std::vector<HWND> zOrder(std::initializer_list<HWND> of) {
    std::vector<HWND> out;
    for (HWND h = GetTopWindow(0); h; h = GetWindow(h, GW_HWNDNEXT))
        if (std::find(of.begin(), of.end(), h) != of.end()) out.push_back(h);
    return out;
}

TEST_F(Input, OwnedWindowsStayAboveTheirOwner) {
    const HWND owner = Make(WS_POPUP, 0, 0, 50, 50);
    const HWND owned = Make(WS_POPUP, 0, 0, 10, 10, owner);
    made_.push_back(owned);
    const HWND other = Make(WS_POPUP, 60, 0, 50, 50);
    EXPECT_EQ(zOrder({owner, owned, other}), (std::vector<HWND>{other, owned, owner}));
    constexpr UINT kOnly = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    SetWindowPos(owner, HWND_TOP, 0, 0, 0, 0, kOnly);  // its owned window comes along, above it
    EXPECT_EQ(zOrder({owner, owned, other}), (std::vector<HWND>{owned, owner, other}));
    SetWindowPos(owned, HWND_BOTTOM, 0, 0, 0, 0, kOnly);  // no lower than its owner
    EXPECT_EQ(zOrder({owner, owned, other}), (std::vector<HWND>{owned, owner, other}));
    SetWindowPos(owner, other, 0, 0, 0, 0, kOnly);  // after a window
    EXPECT_EQ(zOrder({owner, owned, other}), (std::vector<HWND>{other, owned, owner}));
}

TEST_F(Input, TopMostAtAnyTimeAndActivationBySetWindowPos) {
    const HWND a = Make(WS_POPUP, 0, 0, 50, 50);
    const HWND b = Make(WS_POPUP, 0, 0, 50, 50);
    SetActiveWindow(b);
    SetWindowPos(a, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_TRUE(GetWindowLongPtr(a, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetActiveWindow(), b);  // SWP_NOACTIVATE
    SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(zOrder({a, b}), (std::vector<HWND>{a, b}));  // a top-most stays above
    SetWindowPos(a, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_FALSE(GetWindowLongPtr(a, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetActiveWindow(), a);  // activated without SWP_NOACTIVATE
    SetWindowPos(a, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(zOrder({a, b}), (std::vector<HWND>{b, a}));
}

TEST_F(Input, ShowWithoutActivation) {
    const HWND first = Make(WS_POPUP, 0, 0, 50, 50);
    SetActiveWindow(first);
    const HWND quiet = CreateWindowEx(0, u"Pane", u"", WS_POPUP, 0, 0, 10, 10, 0, 0, nullptr, nullptr);
    made_.push_back(quiet);
    ShowWindow(quiet, SW_SHOWNOACTIVATE);
    EXPECT_EQ(GetActiveWindow(), first);
    const HWND never = CreateWindowEx(WS_EX_NOACTIVATE, u"Pane", u"", WS_POPUP, 0, 0, 10, 10, 0, 0, nullptr, nullptr);
    made_.push_back(never);
    ShowWindow(never, SW_SHOW);
    EXPECT_EQ(GetActiveWindow(), first);
}

TEST_F(Input, KeysTypedAheadGoToTheFocusWhenTheyAreRead) {
    const HWND top = Make(WS_POPUP, 0, 0, 100, 100);
    g_fields[0] = Make(WS_CHILD, 0, 0, 50, 20, top);
    g_fields[1] = Make(WS_CHILD, 0, 30, 50, 20, top);
    SetForegroundWindow(top);
    SetFocus(g_fields[0]);
    // Tab, a, b typed before the program reads its queue.
    for (BYTE vk : {BYTE(VK_TAB), BYTE('A'), BYTE('B')}) {
        keybd_event(vk, 0, 0, 0);
        keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
    }
    Pump();
    EXPECT_EQ(g_typed[0], u"");
    EXPECT_EQ(g_typed[1], u"ab");
    EXPECT_EQ(GetFocus(), g_fields[1]);
}

TEST_F(Input, InjectedKeysTypeLikeTheKeyboard) {
    const HWND top = Make(WS_POPUP, 0, 0, 100, 100);
    const HWND edit = CreateWindowEx(0, u"Edit", u"", WS_CHILD | WS_VISIBLE, 0, 0, 80, 20, top, HMENU(1), nullptr, nullptr);
    SetForegroundWindow(top);
    SetFocus(edit);
    keybd_event(VK_SHIFT, 0, 0, 0);
    EXPECT_TRUE(GetAsyncKeyState(VK_SHIFT) & 0x8000);
    EXPECT_FALSE(GetKeyState(VK_SHIFT) & 0x8000);  // not read yet
    keybd_event('H', 0, 0, 0);
    keybd_event('H', 0, KEYEVENTF_KEYUP, 0);
    keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    keybd_event('I', 0, KEYEVENTF_SILENT, 0);
    keybd_event('I', 0, KEYEVENTF_KEYUP | KEYEVENTF_SILENT, 0);
    EXPECT_FALSE(GetAsyncKeyState(VK_SHIFT) & 0x8000);
    Pump();
    EXPECT_EQ(plat::window::GetWindowString(edit), u"Hi");
}

TEST_F(Input, ExtendedKeysCarryTheExtendedBit) {
    const HWND top = Make(WS_POPUP, 0, 0, 100, 100);
    SetForegroundWindow(top);
    SetFocus(top);
    keybd_event(VK_LEFT, 0x4B, KEYEVENTF_EXTENDEDKEY, 0);
    MSG m{};
    ASSERT_TRUE(PeekMessage(&m, 0, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
    EXPECT_EQ(m.hwnd, top);
    EXPECT_EQ(m.wParam, WPARAM(VK_LEFT));
    EXPECT_TRUE(m.lParam & (LPARAM(1) << 24));
    EXPECT_EQ((m.lParam >> 16) & 0xFF, 0x4B);
    keybd_event(VK_LEFT, 0x4B, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
    ASSERT_TRUE(PeekMessage(&m, 0, WM_KEYUP, WM_KEYUP, PM_REMOVE));
    EXPECT_TRUE(m.lParam & (LPARAM(1) << 31));
}

TEST_F(Input, SleepRunsNoProcedureOfTheSleepingThread) {
    const HWND top = Make(WS_POPUP, 0, 0, 100, 100);
    int ran = 0;
    const HWND target = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_USER) ++ran;
        return 0;
    });
    std::thread sender([&] { SendMessage(target, WM_USER, 0, 0); });
    PostMessage(target, WM_USER, 0, 0);
    Sleep(30);
    EXPECT_EQ(ran, 0);
    while (ran < 2 && WaitMessageTimeout(1000)) Pump();
    sender.join();
    EXPECT_EQ(ran, 2);
    DestroyWindow(target);
    (void)top;
}

}  // namespace
