// The worked session of docs/PROTOCOL.md played against the device program
// with a start-up connection: the host on 127.0.0.1, the user's keys and
// taps injected as a user's.
#include "tests/Client/Windows/shell/session/DeviceProgram.h"
#include "platform/Controls.h"
#include "tests/tools/WorkedSession.h"

using namespace sessiontest;
using workedsession::Step;

namespace {

// The widget window of the given id among the main window's descendants.
HWND WidgetWindow(HWND parent, int id) {
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char16_t cls[32] = {};
        GetClassName(child, cls, 32);
        if (GetDlgCtrlID(child) == id && std::u16string(cls) == WC_BUTTON) return child;
        if (HWND inner = WidgetWindow(child, id)) return inner;
    }
    return 0;
}

void PressKey(UINT vk, std::u16string_view text) {
    plat::input::InjectKey(vk, true, 1, text);
    plat::input::InjectKey(vk, false, LPARAM(0xC0000001), u"");
}

}  // namespace

TEST_F(DeviceProgramTest, AnswersTheWorkedSessionAsTheProtocolDocumentShows) {
    const workedsession::Session session = workedsession::Read(PROTOCOL_DOC);
    ASSERT_TRUE(session.error.empty()) << session.error;
    ScriptedHost host;
    Configure(AutoLaunch(host.Port()) + "ExitAfterSession=1\n");
    Run([&] {
        ASSERT_TRUE(host.Accept());
        for (const Step& s : session.steps) {
            switch (s.kind) {
            case Step::Send:
                ASSERT_TRUE(host.Send(workedsession::Frame(s.mode, s.bytes)));
                break;
            case Step::Expect: {
                const std::string payload = host.ReadPacket(s.mode);
                EXPECT_TRUE(workedsession::Matches(s.bytes, payload))
                    << "expected " << workedsession::Hex(s.bytes) << "\n     got " << workedsession::Hex(payload);
                break;
            }
            case Step::UserText:
                // What the host sent is handled first, as a user reads the screen before typing.
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                for (char c : s.bytes) PressKey(UINT(toupper(static_cast<unsigned char>(c))), std::u16string(1, char16_t(c)));
                break;
            case Step::UserKey:
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                PressKey(UINT(s.number), s.number == VK_RETURN ? u"\r" : u"");
                break;
            case Step::UserTap: {
                HWND widget = 0;
                ASSERT_TRUE(WaitFor([&] { return (widget = OnShell([&] { return WidgetWindow(MainWindow(), s.number); })) != 0; }));
                const RECT r = OnShell([&] {
                    RECT rect{};
                    GetWindowRect(widget, &rect);
                    return rect;
                });
                const POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
                plat::input::InjectMouse(WM_LBUTTONDOWN, at, MK_LBUTTON);
                plat::input::InjectMouse(WM_LBUTTONUP, at, 0);
                break;
            }
            }
        }
        // The session ends with the Disconnect, and the program with it.
        EXPECT_TRUE(host.WaitClosed());
        EXPECT_TRUE(WaitFor([] { return MainWindow() == 0; }));
    });
    EXPECT_EQ(m_code, 0);
    // The stored file lies in the folder of the start-up connection.
    EXPECT_TRUE(std::filesystem::is_regular_file(m_root / "Program Files/Orvade Client/AutoL/DATA/NOTE.TXT"));
    EXPECT_TRUE(m_boxes.Seen().empty());
}
