// The window model, headless: classes, the tree, geometry, painting, focus
// and activation, z-order, and the lock discipline.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Gdi.h"
#include "platform/Window.h"

namespace {

struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool operator==(const Seen& o) const { return hwnd == o.hwnd && msg == o.msg; }
};

std::vector<Seen> g_log;
// Messages the recorder keeps; the others pass unrecorded.
std::vector<UINT> g_watch;
LRESULT g_createResult = 0;

LRESULT CALLBACK_Recorder(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (std::find(g_watch.begin(), g_watch.end(), msg) != g_watch.end()) g_log.push_back({h, msg, w, l});
    if (msg == WM_CREATE) return g_createResult;
    return DefWindowProc(h, msg, w, l);
}

class WindowModel : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASS wc{};
        wc.lpfnWndProc = CALLBACK_Recorder;
        wc.cbWndExtra = 2 * sizeof(LONG_PTR);
        wc.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
        wc.lpszClassName = u"Recorder";
        ASSERT_NE(RegisterClass(&wc), 0);
    }
    void SetUp() override {
        g_log.clear();
        g_watch.clear();
        g_createResult = 0;
    }
    void TearDown() override {
        for (HWND h : made_)
            if (IsWindow(h)) DestroyWindow(h);
        MSG m;
        while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
    }
    HWND Top(DWORD style = 0, int x = 10, int y = 20, int w = 200, int h = 100) {
        const HWND hwnd = CreateWindowEx(0, u"recorder", u"top", style, x, y, w, h, 0, 0, nullptr, nullptr);
        made_.push_back(hwnd);
        return hwnd;
    }
    static HWND Child(HWND parent, int id, DWORD style = WS_VISIBLE, int x = 0, int y = 0) {
        return CreateWindowEx(0, u"Recorder", u"", WS_CHILD | style, x, y, 50, 20, parent, HMENU(id), nullptr, nullptr);
    }
    std::vector<Seen> Log(UINT msg) const {
        std::vector<Seen> out;
        for (const Seen& s : g_log)
            if (s.msg == msg) out.push_back(s);
        return out;
    }
    std::vector<HWND> made_;
};

}  // namespace

TEST_F(WindowModel, TreeIsBuiltAndDestroyedInWindowsOrder) {
    g_watch = {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_DESTROY, WM_NCDESTROY};
    const HWND top = Top();
    ASSERT_NE(top, 0u);
    EXPECT_EQ(g_log, (std::vector<Seen>{{top, WM_NCCREATE}, {top, WM_CREATE}, {top, WM_SIZE}, {top, WM_MOVE}}));
    const HWND a = Child(top, 11), b = Child(top, 12), a1 = Child(a, 21);
    ASSERT_TRUE(a && b && a1);

    EXPECT_EQ(GetParent(a1), a);
    EXPECT_EQ(GetAncestor(a1, GA_ROOT), top);
    EXPECT_EQ(GetWindow(top, GW_CHILD), a);  // creation order is the z-order from the top
    EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
    EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), 0u);
    EXPECT_EQ(GetDlgItem(top, 12), b);
    EXPECT_EQ(GetDlgItem(top, 21), 0u);  // only direct children
    EXPECT_EQ(GetDlgCtrlID(a1), 21);
    EXPECT_TRUE(IsChild(top, a1));
    EXPECT_FALSE(IsChild(a, b));
    EXPECT_EQ(FindWindow(u"RECORDER", nullptr), top);
    EXPECT_EQ(FindWindow(u"Recorder", u"other"), 0u);
    EXPECT_EQ(FindWindow(u"NoSuchClass", nullptr), 0u);

    g_log.clear();
    EXPECT_TRUE(DestroyWindow(top));
    // WM_DESTROY parent first while the children exist; WM_NCDESTROY children first.
    EXPECT_EQ(g_log, (std::vector<Seen>{{top, WM_DESTROY},
                                        {a, WM_DESTROY},
                                        {a1, WM_DESTROY},
                                        {a1, WM_NCDESTROY},
                                        {a, WM_NCDESTROY},
                                        {b, WM_DESTROY},
                                        {b, WM_NCDESTROY},
                                        {top, WM_NCDESTROY}}));
    for (HWND h : {top, a, b, a1}) EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(FindWindow(u"Recorder", nullptr), 0u);
}

TEST_F(WindowModel, CreationFailuresAndOwnedWindows) {
    EXPECT_EQ(CreateWindowEx(0, u"Unknown", u"", 0, 0, 0, 1, 1, 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(Child(0, 1), 0u);  // a child needs a parent
    g_createResult = -1;
    g_watch = {WM_DESTROY};
    EXPECT_EQ(Top(), 0u);
    EXPECT_EQ(Log(WM_DESTROY).size(), 1u);  // the failed window was destroyed
    g_createResult = 0;

    const HWND owner = Top();
    const HWND popup = CreateWindowEx(0, u"Recorder", u"p", WS_POPUP, 0, 0, 10, 10, owner, 0, nullptr, nullptr);
    EXPECT_EQ(GetWindow(popup, GW_OWNER), owner);
    EXPECT_EQ(GetParent(popup), owner);
    g_log.clear();
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(popup));
    ASSERT_EQ(Log(WM_DESTROY).size(), 2u);
    EXPECT_EQ(Log(WM_DESTROY)[0].hwnd, popup);  // owned windows go first
    EXPECT_FALSE(UnregisterClass(u"NoSuchClass", nullptr));
}

TEST_F(WindowModel, TextUserDataAndExtraBytes) {
    const HWND top = Top();
    char16_t buf[4];
    EXPECT_EQ(GetWindowText(top, buf, 4), 3);
    EXPECT_EQ(std::u16string(buf), u"top");
    EXPECT_TRUE(SetWindowText(top, u"Connecting"));
    EXPECT_EQ(GetWindowTextLength(top), 10);
    EXPECT_EQ(GetWindowText(top, buf, 4), 3);  // cut to the buffer, terminated
    EXPECT_EQ(std::u16string(buf), u"Con");
    EXPECT_EQ(plat::window::GetWindowString(top), u"Connecting");

    EXPECT_EQ(SetWindowLongPtr(top, GWLP_USERDATA, 77), 0);
    EXPECT_EQ(GetWindowLongPtr(top, GWLP_USERDATA), 77);
    EXPECT_EQ(SetWindowLongPtr(top, sizeof(LONG_PTR), -5), 0);
    EXPECT_EQ(GetWindowLongPtr(top, sizeof(LONG_PTR)), -5);
    EXPECT_EQ(SetWindowLongPtr(top, 2 * sizeof(LONG_PTR), 1), 0);  // past the extra bytes
    EXPECT_EQ(GetWindowLongPtr(top, GWLP_WNDPROC), LONG_PTR(CALLBACK_Recorder));
    char16_t name[16];
    EXPECT_EQ(GetClassName(top, name, 16), 8);
    EXPECT_EQ(std::u16string(name), u"Recorder");
}

TEST_F(WindowModel, GeometryMovesAndReportsSizes) {
    g_watch = {WM_WINDOWPOSCHANGED, WM_SIZE, WM_MOVE};
    const HWND top = Top(0, 100, 50, 300, 200);
    const HWND child = Child(top, 1, WS_VISIBLE, 10, 20);
    const HWND inner = Child(child, 2, WS_VISIBLE, 3, 4);
    g_log.clear();
    ASSERT_TRUE(MoveWindow(child, 15, 25, 60, 30, TRUE));
    ASSERT_EQ(Log(WM_WINDOWPOSCHANGED).size(), 1u);
    ASSERT_EQ(Log(WM_SIZE).size(), 1u);
    EXPECT_EQ(Log(WM_SIZE)[0].lParam, MAKELPARAM(60, 30));
    EXPECT_EQ(Log(WM_MOVE)[0].lParam, MAKELPARAM(15, 25));

    RECT r;
    GetWindowRect(inner, &r);  // screen coordinates through both parents
    EXPECT_EQ(r.left, 100 + 15 + 3);
    EXPECT_EQ(r.top, 50 + 25 + 4);
    EXPECT_EQ(r.right - r.left, 50);
    GetClientRect(child, &r);
    EXPECT_EQ(r.right, 60);
    EXPECT_EQ(r.bottom, 30);
    POINT p{1, 2};
    ClientToScreen(child, &p);
    EXPECT_EQ(p.x, 116);
    ScreenToClient(child, &p);
    EXPECT_EQ(p.x, 1);
    EXPECT_EQ(p.y, 2);

    g_log.clear();
    SetWindowPos(child, 0, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_TRUE(Log(WM_SIZE).empty());
}

TEST_F(WindowModel, PaintComesWhenTheQueueIsEmptyCoalescedAndOnlyWhenVisible) {
    g_watch = {WM_PAINT, WM_ERASEBKGND};
    const HWND top = Top();  // hidden
    InvalidateRect(top, nullptr, TRUE);
    MSG m;
    EXPECT_FALSE(PeekMessage(&m, top, 0, 0, PM_NOREMOVE));  // no paint for a hidden window

    ShowWindow(top, SW_SHOW);
    ValidateRect(top, nullptr);
    RECT a{1, 1, 5, 5}, b{10, 10, 20, 30};
    InvalidateRect(top, &a, FALSE);
    InvalidateRect(top, &b, TRUE);
    PostMessage(top, WM_USER, 0, 0);
    ASSERT_TRUE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER);  // posted messages first
    ASSERT_TRUE(PeekMessage(&m, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_PAINT);
    RECT u;
    EXPECT_TRUE(GetUpdateRect(top, &u, FALSE));
    EXPECT_EQ(u.left, 1);
    EXPECT_EQ(u.bottom, 30);

    struct Painted {
        RECT rc;
        BOOL erase;
    } painted{};
    WindowProc old = plat::window::SetWindowProcedure(top, [&](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg != WM_PAINT) return old(h, msg, w, l);
        PAINTSTRUCT ps;
        BeginPaint(h, &ps);
        painted = {ps.rcPaint, ps.fErase};
        EndPaint(h, &ps);
        return 0;
    });
    DispatchMessage(&m);
    EXPECT_EQ(painted.rc.right, 20);
    EXPECT_FALSE(painted.erase);  // the class brush erased it
    EXPECT_EQ(Log(WM_ERASEBKGND).size(), 1u);
    EXPECT_FALSE(PeekMessage(&m, 0, 0, 0, PM_NOREMOVE));  // validated: no more WM_PAINT

    InvalidateRect(top, nullptr, FALSE);
    UpdateWindow(top);  // paints at once
    EXPECT_FALSE(GetUpdateRect(top, nullptr, FALSE));
    DestroyWindow(top);  // before the procedure's captures go
}

TEST_F(WindowModel, FocusMovesWithKillAndSetFocusInOrder) {
    g_watch = {WM_SETFOCUS, WM_KILLFOCUS, WM_ACTIVATE};
    const HWND top = Top();
    const HWND a = Child(top, 1), b = Child(top, 2);
    ShowWindow(top, SW_SHOW);
    EXPECT_EQ(GetActiveWindow(), top);
    EXPECT_EQ(GetForegroundWindow(), top);
    EXPECT_EQ(GetFocus(), top);  // activation gives the window the focus
    ASSERT_FALSE(Log(WM_ACTIVATE).empty());
    EXPECT_EQ(LOWORD(Log(WM_ACTIVATE)[0].wParam), WA_ACTIVE);

    g_log.clear();
    EXPECT_EQ(SetFocus(a), top);
    SetFocus(b);
    EXPECT_EQ(g_log, (std::vector<Seen>{{top, WM_KILLFOCUS}, {a, WM_SETFOCUS}, {a, WM_KILLFOCUS}, {b, WM_SETFOCUS}}));
    EXPECT_EQ(g_log[2].wParam, WPARAM(b));  // the window that gets it
    EXPECT_EQ(g_log[3].wParam, WPARAM(a));  // the window that had it

    EnableWindow(b, FALSE);
    EXPECT_EQ(GetFocus(), 0u);  // a disabled window loses it
    EXPECT_FALSE(IsWindowEnabled(b));
    EnableWindow(b, TRUE);
    SetFocus(a);
    ShowWindow(a, SW_HIDE);
    EXPECT_EQ(GetFocus(), top);  // a hidden one gives it to its parent
    SetFocus(b);
    DestroyWindow(b);
    EXPECT_EQ(GetFocus(), top);  // so does a destroyed one

    const HWND c = Child(top, 3);
    SetCapture(c);
    EXPECT_EQ(GetCapture(), c);
    ReleaseCapture();
    EXPECT_EQ(GetCapture(), 0u);
}

TEST_F(WindowModel, ZOrderOfSiblingsAndTopmostWindows) {
    const HWND top = Top();
    const HWND a = Child(top, 1), b = Child(top, 2), c = Child(top, 3);
    BringWindowToTop(c);
    EXPECT_EQ(GetWindow(top, GW_CHILD), c);
    SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(a, GW_HWNDLAST), c);
    SetWindowPos(a, b, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);  // behind b
    EXPECT_EQ(GetWindow(top, GW_CHILD), b);
    EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), a);

    const HWND stay = Top();
    SetWindowPos(stay, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    const HWND later = Top();  // a new window goes below the top-most one
    EXPECT_EQ(GetTopWindow(0), stay);
    EXPECT_EQ(GetWindow(stay, GW_HWNDNEXT), later);
}

TEST_F(WindowModel, CursorAndForegroundOfAnotherThread) {
    const HCURSOR before = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    EXPECT_EQ(GetCursor(), IDC_WAIT);
    SetCursor(before);

    std::promise<HWND> made;
    std::promise<void> done;
    std::thread worker([&] {
        const HWND w = CreateWindowEx(0, u"Recorder", u"worker", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, 0, 0, nullptr, nullptr);
        SetActiveWindow(0);
        made.set_value(w);
        while (GetActiveWindow() != w) WaitMessageTimeout(50);
        done.set_value();
        DestroyWindow(w);
    });
    const HWND w = made.get_future().get();
    EXPECT_TRUE(SetForegroundWindow(w));
    EXPECT_EQ(GetForegroundWindow(), w);
    // The worker's own thread activates it.
    EXPECT_EQ(done.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    worker.join();
}

// State captured by a procedure calls the layer when it is destroyed; that
// must never happen under the layer's lock.
struct CallsTheLayerWhenDestroyed {
    HWND peer;
    ~CallsTheLayerWhenDestroyed() {
        IsWindow(peer);
        PostMessage(peer, WM_USER, 0, 0);
        const HWND h = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        DestroyWindow(h);
    }
};

TEST(WindowLocks, CapturedStateMayCallTheLayerWhenDestroyed) {
    // Detached, so a deadlock fails the test instead of hanging it.
    auto result = std::make_shared<std::promise<bool>>();
    auto run = result->get_future();
    std::thread([result] {
        const HWND peer = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        // Destroyed window.
        auto state = std::make_shared<CallsTheLayerWhenDestroyed>(CallsTheLayerWhenDestroyed{peer});
        HWND h = CreateMessageWindow([state](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        state.reset();
        DestroyWindow(h);
        // Replaced procedure.
        state = std::make_shared<CallsTheLayerWhenDestroyed>(CallsTheLayerWhenDestroyed{peer});
        h = CreateMessageWindow([state](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        state.reset();
        plat::window::SetWindowProcedure(h, [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        // A window that goes with its thread.
        std::thread([peer] {
            auto s = std::make_shared<CallsTheLayerWhenDestroyed>(CallsTheLayerWhenDestroyed{peer});
            CreateMessageWindow([s](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        }).join();
        // A window destroying itself from its own procedure.
        state = std::make_shared<CallsTheLayerWhenDestroyed>(CallsTheLayerWhenDestroyed{peer});
        HWND self = CreateMessageWindow([state](HWND me, UINT msg, WPARAM, LPARAM) -> LRESULT {
            if (msg == WM_CLOSE) DestroyWindow(me);
            return 0;
        });
        state.reset();
        SendMessage(self, WM_CLOSE, 0, 0);
        DestroyWindow(h);
        DestroyWindow(peer);
        result->set_value(!IsWindow(self));
    }).detach();
    ASSERT_EQ(run.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "deadlock";
    EXPECT_TRUE(run.get());
}

namespace {

// A window procedure that throws stops at the message layer: the caller sees
// the failure answer, 0, from every way a message reaches it.
TEST_F(WindowModel, ThrowingProcedureDoesNotCrossTheMessageCalls) {
    const HWND top = Top();
    int calls = 0;
    plat::window::SetWindowProcedure(top, [&calls](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg != WM_USER) return 7;
        ++calls;
        throw std::runtime_error("procedure failed");
    });
    EXPECT_EQ(SendMessage(top, WM_USER, 0, 0), 0);
    EXPECT_EQ(CallWindowProcedure(top, WM_USER, 0, 0), 0);
    MSG m{top, WM_USER, 0, 0, 0};
    EXPECT_EQ(DispatchMessage(&m), 0);
    // From another thread the sender gets its answer and does not hang.
    auto other = std::async(std::launch::async, [top] { return SendMessage(top, WM_USER, 0, 0); });
    while (other.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
        while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) DispatchMessage(&m);
    }
    EXPECT_EQ(other.get(), 0);
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(SendMessage(top, WM_USER + 1, 0, 0), 7);  // the window still answers
}

}  // namespace
