// Tap-and-hold through the shell helper library, loaded by name as the
// control loads it: held long enough it sends WM_CONTEXTMENU; lifted or
// moved first it leaves the stylus's messages to the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/Clock.h"
#include "platform/Gesture.h"
#include "platform/Input.h"
#include "platform/Library.h"

namespace {

using Recognize = DWORD (*)(SHRGINFO*);

class Gesture : public ::testing::Test {
protected:
    void SetUp() override {
        library_ = LoadLibrary(u"aygshell.dll");
        ASSERT_TRUE(library_);
        recognize_ = reinterpret_cast<Recognize>(GetProcAddress(library_, "SHRecognizeGesture"));
        ASSERT_TRUE(recognize_);
        // Each look at the clock is 100 ms later: the hold passes without waiting.
        plat::clock::SetTickSource([this] { return DWORD(tick_ += 100); });
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = u"GestureWindow";
        RegisterClass(&wc);
        parent_ = CreateWindowEx(0, u"GestureWindow", u"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200, 0, 0, nullptr, nullptr);
        child_ = CreateWindowEx(0, u"GestureWindow", u"", WS_CHILD | WS_VISIBLE, 50, 50, 100, 100, parent_, HMENU(1), nullptr, nullptr);
        SetForegroundWindow(parent_);
        for (HWND h : {parent_, child_})
            plat::window::SetWindowProcedure(h, [this](HWND w, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
                if (msg == WM_CONTEXTMENU) menus_.push_back({w, wp, lp});
                return DefWindowProc(w, msg, wp, lp);
            });
    }
    void TearDown() override {
        plat::input::InjectMouse(WM_LBUTTONUP, POINT{0, 0}, 0);
        Drain();
        DestroyWindow(parent_);
        plat::clock::SetTickSource(nullptr);
        FreeLibrary(library_);
    }
    // The stylus goes down on the child at (60, 70) of the screen; the
    // window reads the press and asks about the gesture.
    DWORD Press(DWORD flags, void (*meanwhile)() = nullptr) {
        plat::input::InjectMouse(WM_LBUTTONDOWN, POINT{60, 70}, MK_LBUTTON);
        MSG m;
        EXPECT_TRUE(PeekMessage(&m, 0, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_REMOVE));
        EXPECT_EQ(m.hwnd, child_);
        if (meanwhile) meanwhile();
        SHRGINFO info{sizeof(SHRGINFO), child_, POINT{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)}, flags};
        return recognize_(&info);
    }
    static std::vector<UINT> Drain() {
        std::vector<UINT> left;
        MSG m;
        while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) {
            left.push_back(m.message);
            DispatchMessage(&m);
        }
        return left;
    }
    struct Seen {
        HWND hwnd;
        WPARAM wParam;
        LPARAM lParam;
    };
    HMODULE library_ = nullptr;
    Recognize recognize_ = nullptr;
    std::atomic<DWORD> tick_{0};
    HWND parent_ = 0, child_ = 0;
    std::vector<Seen> menus_;
};

}  // namespace

TEST_F(Gesture, HeldLongEnoughSendsWmContextMenuWithTheScreenPoint) {
    EXPECT_EQ(Press(0), GN_CONTEXTMENU);
    ASSERT_EQ(menus_.size(), 1u);
    EXPECT_EQ(menus_[0].hwnd, child_);
    EXPECT_EQ(HWND(menus_[0].wParam), child_);
    EXPECT_EQ(GET_X_LPARAM(menus_[0].lParam), 60);
    EXPECT_EQ(GET_Y_LPARAM(menus_[0].lParam), 70);
    menus_.clear();
    plat::input::InjectMouse(WM_LBUTTONUP, POINT{60, 70}, 0);
    Drain();
    EXPECT_EQ(Press(SHRG_NOTIFYPARENT), GN_CONTEXTMENU);
    ASSERT_EQ(menus_.size(), 1u);
    EXPECT_EQ(menus_[0].hwnd, parent_);
    EXPECT_EQ(HWND(menus_[0].wParam), child_);
    plat::input::InjectMouse(WM_LBUTTONUP, POINT{60, 70}, 0);
    Drain();
    menus_.clear();
    EXPECT_EQ(Press(SHRG_RETURNCMD | SHRG_LONGDELAY), GN_CONTEXTMENU);
    EXPECT_TRUE(menus_.empty());
}

TEST_F(Gesture, LiftedOrMovedAwayFirstIsNoGestureAndTheStylusMessagesStay) {
    EXPECT_EQ(Press(0, [] { plat::input::InjectMouse(WM_LBUTTONUP, POINT{60, 70}, 0); }), 0u);
    EXPECT_TRUE(menus_.empty());
    const auto left = Drain();
    EXPECT_NE(std::find(left.begin(), left.end(), WM_LBUTTONUP), left.end());

    EXPECT_EQ(Press(0, [] { plat::input::InjectMouse(WM_MOUSEMOVE, POINT{62, 72}, MK_LBUTTON); }), GN_CONTEXTMENU)
        << "a small wander is still a hold";
    plat::input::InjectMouse(WM_LBUTTONUP, POINT{60, 70}, 0);
    Drain();
    menus_.clear();
    EXPECT_EQ(Press(0, [] { plat::input::InjectMouse(WM_MOUSEMOVE, POINT{90, 70}, MK_LBUTTON); }), 0u);
    EXPECT_TRUE(menus_.empty());
    SHRGINFO bad{sizeof(SHRGINFO) - 1, child_, POINT{1, 1}, 0};
    EXPECT_EQ(recognize_(&bad), 0u);
    EXPECT_EQ(recognize_(nullptr), 0u);
}
