// The main window part: each of its messages reaches the shell by name, the
// child that had the focus when the window went inactive gets it back with
// the window's focus, and the docked input panel sizes the window.
#include "panthos/ShellMainWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/hooks/CoreMessages.h"
#include "platform/InputPanel.h"
#include "platform/Screen.h"
#include "platform/Text.h"
#include "platform/WinConst.h"
#include "shell/CeSock.h"
#include "tests/Client/Windows/shell/ShellFixture.h"

namespace {

struct RecordingEvents : IShellWindowEvents {
    std::vector<std::string> seen;
    HWND created = 0;
    void Created(HWND window) override {
        created = window;
        seen.push_back("created");
    }
    void Command(UINT id) override { seen.push_back("command " + std::to_string(id)); }
    void Timer() override { seen.push_back("timer"); }
    void SocketNotify(LPARAM event) override { seen.push_back("socket " + std::to_string(event)); }
    void SocketReadable() override { seen.push_back("readable"); }
    LRESULT Notify(const NMHDR* header) override {
        seen.push_back("notify " + std::to_string(header ? header->code : 0));
        return 7;
    }
    void EditHost(std::unique_ptr<CHostEntry> record) override {
        seen.push_back(record ? "edit " + plat::text::WideToUtf8(record->GetDescription()) : "edit new");
    }
    void RefreshHosts() override { seen.push_back("refresh"); }
    void Closed() override { seen.push_back("closed"); }
    void Activated(bool active) override { seen.push_back(active ? "active" : "inactive"); }
    void QueryAssociation(LONG* associated) override {
        seen.push_back("association");
        *associated = 0;
    }
    void InputPanelDocked(bool up) override { seen.push_back(up ? "panel up" : "panel down"); }
    std::vector<std::string> Take() { return std::exchange(seen, {}); }
};

class ShellMainWindowTest : public shelltest::ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        window_ = main_.Create(RECT{0, 0, 240, 300}, u"Shell");
        ASSERT_NE(window_, HWND(0));
        ASSERT_EQ(events_.created, window_);
        EXPECT_EQ(events_.Take(), std::vector<std::string>{"created"});
    }
    void TearDown() override {
        main_.Destroy();
        CShellMainWindow::Unregister();
        ShellTest::TearDown();
    }
    // The panel's new state; its change is posted to the top-level windows.
    static void SetPanel(DWORD flags) {
        SIPINFO sip{};
        sip.cbSize = sizeof sip;
        ASSERT_TRUE(SipGetInfo(&sip));
        sip.fdwFlags = flags;
        ASSERT_TRUE(SipSetInfo(&sip));
        MSG msg;
        while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    }
    int WindowHeight() const {
        RECT r{};
        GetWindowRect(window_, &r);
        return r.bottom - r.top;
    }

    RecordingEvents events_;
    CShellMainWindow main_{events_};
    HWND window_ = 0;
};

TEST_F(ShellMainWindowTest, EachMessageReachesTheShellByName) {
    NMHDR header{window_, 3, NM_DBLCLK};
    struct Case {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
        LRESULT result;
        std::vector<std::string> seen;
    };
    const Case cases[] = {
        {WM_COMMAND, MAKEWPARAM(42001, 1), 0, 0, {"command 42001"}},  // the id alone
        {WM_TIMER, 1, 0, 0, {"timer"}},
        {WM_SOCKET_NOTIFY, 0, FD_CLOSE, 0, {"socket 32"}},
        {WM_SOCKET_READABLE, 0, 0, 0, {"readable"}},
        {WM_REFRESH_HOSTS, 0, 0, 0, {"refresh"}},
        {WM_NOTIFY, 3, LPARAM(&header), 7, {"notify " + std::to_string(NM_DBLCLK)}},
        {WM_EDIT_HOST, 0, 0, 0, {"edit new"}},
        {WM_QUERY_ASSOCIATION, 0, 0, 0, {}},  // nowhere to answer
        {WM_ERASEBKGND, 0, 0, 1, {}},        // the skin covers the window
        {WM_RBUTTONDOWN, 0, 0, 0, {}},        // no context menu
        {WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5), 0, {}},  // no skin: nothing to tap
        {WM_ACTIVATE, WA_ACTIVE, 0, 0, {"active"}},
        {WM_CLOSE, 0, 0, 0, {"closed"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.msg);
        EXPECT_EQ(SendMessage(window_, c.msg, c.wParam, c.lParam), c.result);
        EXPECT_EQ(events_.Take(), c.seen);
    }
    EXPECT_TRUE(IsWindow(window_));  // closing is the shell's to do

    // The host to edit is handed over, and the shell owns it from then on.
    auto* record = new CHostEntry;
    record->SetDescription(u"Stores");
    SendMessage(window_, WM_EDIT_HOST, 0, LPARAM(record));
    EXPECT_EQ(events_.Take(), std::vector<std::string>{"edit Stores"});

    LONG associated = 1;
    SendMessage(window_, WM_QUERY_ASSOCIATION, 0, LPARAM(&associated));
    EXPECT_EQ(events_.Take(), std::vector<std::string>{"association"});
    EXPECT_EQ(associated, 0);
}

TEST_F(ShellMainWindowTest, TheChildFocusedAtDeactivationGetsTheFocusBack) {
    HWND first = CreateWindowEx(0, u"STATIC", u"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, window_, 0, nullptr, nullptr);
    HWND second = CreateWindowEx(0, u"STATIC", u"", WS_CHILD | WS_VISIBLE, 0, 20, 10, 10, window_, 0, nullptr, nullptr);
    SetFocus(second);
    SendMessage(window_, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(events_.Take().back(), "inactive");
    SetFocus(first);
    SendMessage(window_, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(GetFocus(), second);

    // A child that went meanwhile is not asked to take the focus.
    SendMessage(window_, WM_ACTIVATE, WA_INACTIVE, 0);
    DestroyWindow(second);
    SetFocus(first);
    SendMessage(window_, WM_SETFOCUS, 0, 0);
    EXPECT_EQ(GetFocus(), first);
    DestroyWindow(first);
}

TEST_F(ShellMainWindowTest, TheDockedInputPanelShortensTheWindowToTheSkinAboveIt) {
    // Without a skin there is no size to keep.
    SetPanel(SIPF_ON | SIPF_DOCKED);
    EXPECT_EQ(WindowHeight(), 300);
    SetPanel(SIPF_DOCKED);
    events_.Take();

    CSkinWindow skin(window_);
    skin.Skin().skin = RECT{0, 0, 240, 320};
    main_.SetSkin(&skin);
    SIPINFO sip{};
    sip.cbSize = sizeof sip;
    ASSERT_TRUE(SipGetInfo(&sip));
    const int panel = sip.rcSipRect.bottom - sip.rcSipRect.top;
    ASSERT_GT(panel, 0);

    SetPanel(SIPF_ON | SIPF_DOCKED);
    EXPECT_EQ(events_.Take(), std::vector<std::string>{"panel up"});
    EXPECT_EQ(WindowHeight(), 320 - panel);
    SetPanel(SIPF_DOCKED);
    EXPECT_EQ(events_.Take(), std::vector<std::string>{"panel down"});
    EXPECT_EQ(WindowHeight(), 320);

    // The core's message shows and hides the panel (no input method is registered).
    SetPanel(SIPF_DOCKED);
    EXPECT_TRUE(SendMessage(window_, WM_SHELL_INPUT_PANEL, 1, 0));
    ASSERT_TRUE(SipGetInfo(&sip));
    EXPECT_TRUE(sip.fdwFlags & SIPF_ON);
    EXPECT_TRUE(SendMessage(window_, WM_SHELL_INPUT_PANEL, 0, 0));
    ASSERT_TRUE(SipGetInfo(&sip));
    EXPECT_FALSE(sip.fdwFlags & SIPF_ON);
    SetPanel(SIPF_DOCKED);
    main_.SetSkin(nullptr);
    plat::sip::ClosePanel();
}

}  // namespace
