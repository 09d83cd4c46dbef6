// The default window layer answers from the platform's windows: a layer that
// only creates windows gets visibility, enabling, focus and geometry from them.
#include "platform/Window.h"
#include "WidgetFixture.h"

namespace widgettest {
namespace {

// Child windows of a plain class whose procedure does what the shared widget
// procedure does for show, enable and focus.
LRESULT CALLBACK_WidgetWindow(HWND h, UINT msg, WPARAM w, LPARAM l) {
    switch (msg) {
    case WIDGET_MSG_SHOW: ShowWindow(h, w ? SW_SHOW : SW_HIDE); return 0;
    case WIDGET_MSG_ENABLE: EnableWindow(h, w != 0); return 0;
    case WIDGET_MSG_SET_FOCUS: SetFocus(h); return 0;
    default: return DefWindowProc(h, msg, w, l);
    }
}

struct CreatingWindows : IWidgetWindows {
    HWND Create(CWidget& widget, HWND owner, const WidgetRect& r, uint32_t style) override {
        return CreateWindowEx(0, u"WidgetTestWindow", u"", style, r.x, r.y, r.width, r.height, owner,
                              HMENU(widget.GetId()), nullptr, nullptr);
    }
};

class PlatformWindowsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASS wc{};
        wc.lpfnWndProc = CALLBACK_WidgetWindow;
        wc.lpszClassName = u"WidgetTestWindow";
        RegisterClass(&wc);
    }
    void SetUp() override {
        m_owner = CreateWindowEx(0, u"WidgetTestWindow", u"owner", WS_VISIBLE, 100, 50, 400, 300, 0, 0, nullptr, nullptr);
        ASSERT_NE(m_owner, 0u);
        m_manager.SetOwnerWindow(m_owner);
        m_manager.SetWindowLayer(&m_windows);
    }
    void TearDown() override {
        m_manager.RemoveAll();
        DestroyWindow(m_owner);
    }
    void Stream(const Bytes& records) {
        PacketOver p(records);
        m_manager.ProcessWidgetStream(p.packet, nullptr);
    }
    HWND m_owner = 0;
    CreatingWindows m_windows;
    CWidgetManager m_manager;
};

TEST_F(PlatformWindowsTest, QueriesComeFromThePlatformWindows) {
    Stream(Definition(1, "1", {"3" + FC + "0" + FC + "0" + FC + "50" + FC + "10", "", "", "", "", "", "", "1"}) + FE +
           Definition(2, "2", {"1" + FC + "20" + FC + "40" + FC + "30" + FC + "30"}));
    CWidget* button = m_manager.FindById(1);
    ASSERT_NE(button->GetWindow(), 0u);
    // Percent of the owner's client area.
    RECT r{};
    GetWindowRect(button->GetWindow(), &r);
    EXPECT_EQ(r.right - r.left, 200);
    EXPECT_EQ(r.bottom - r.top, 30);
    EXPECT_TRUE(button->CanTakeFocus());
    Stream(Action(1, 3, "1"));  // HIDE
    EXPECT_FALSE(IsWindowVisible(button->GetWindow()));
    EXPECT_FALSE(button->CanTakeFocus());
    Stream(Action(1, 4, "1"));  // SHOW
    EXPECT_TRUE(button->CanTakeFocus());
    m_manager.MoveFocus(nullptr, false);
    EXPECT_EQ(GetFocus(), button->GetWindow());

    // A tap in the owner's client coordinates reaches the hot spot under it.
    bool handled = false;
    const LPARAM inside = (45 << 16) | 45, outside = (45 << 16) | 75;
    m_manager.RouteMessage(m_owner, WM_LBUTTONDOWN, 0, inside, &handled);
    EXPECT_TRUE(handled);
    m_manager.RouteMessage(m_owner, WM_LBUTTONDOWN, 0, outside, &handled);
    EXPECT_FALSE(handled);
}

}  // namespace
}  // namespace widgettest
