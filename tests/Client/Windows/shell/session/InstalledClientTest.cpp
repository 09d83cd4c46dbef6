// The device program on a device root its first start installed the client's
// package into: the component libraries run from the program folder, and the
// shell's input panel shows the soft keyboard, whose taps type into the
// shell's dialogs.
#include <fstream>

#include "platform/InputPanel.h"
#include "platform/Registry.h"
#include "tests/Client/Windows/shell/session/DeviceProgram.h"

using namespace sessiontest;

namespace {

std::u16string ServerOf(const std::u16string& clsid) {
    std::u16string path;
    plat::registry::GetString(HKEY_CLASSES_ROOT, (u"CLSID\\" + clsid + u"\\InprocServer32").c_str(), nullptr, &path);
    return path;
}

RECT RectOf(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

}  // namespace

TEST_F(DeviceProgramTest, TheInstalledClientRunsFromItsProgramFolderAndShowsTheSoftKeyboard) {
    const auto folder = m_root / "Program Files" / "Orvade Client";
    for (const char* file : {"Install.lst", "Panthos.dll", "Ravelcore.dll", "Tapryn.dll", "Quillmar.kbb", "Ext/Halvane.dll"})
        EXPECT_TRUE(std::filesystem::exists(folder / file)) << file;
    // The installation's hooks ran: the install folder is recorded.
    std::u16string installDir;
    EXPECT_TRUE(plat::registry::GetString(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir",
                                          &installDir));
    EXPECT_EQ(installDir, u"\\Program Files\\Orvade Client");
    // A second preparation of the same root installs nothing again, and
    // removes what writes cut short by a kill left behind.
    const auto listed = std::filesystem::last_write_time(folder / "Install.lst");
    for (const auto& left : {folder / ".~00000000000a.tmp", m_root / "Temp" / ".~00000000000b.tmp"}) {
        std::ofstream(left) << "cut short";
        ASSERT_TRUE(std::filesystem::exists(left));
    }
    ASSERT_TRUE(launchwick::PrepareDevice(ModuleHostDirectory(reinterpret_cast<const void*>(&WaitFor))));
    EXPECT_EQ(std::filesystem::last_write_time(folder / "Install.lst"), listed);
    EXPECT_FALSE(std::filesystem::exists(folder / ".~00000000000a.tmp"));
    EXPECT_FALSE(std::filesystem::exists(m_root / "Temp" / ".~00000000000b.tmp"));

    Configure("Autodiscovery=0\n");
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        EXPECT_EQ(ServerOf(u"{A44D8698-221B-11D4-8EB1-00105AE378D3}"), u"\\Program Files\\Orvade Client\\Tapryn.dll");
        EXPECT_EQ(ServerOf(u"{2D7E3F9C-C753-45DC-AFFE-35DA6A0354F5}"), u"\\Program Files\\Orvade Client\\Ravelcore.dll");
        const LONG height = RectOf(MainWindow()).bottom - RectOf(MainWindow()).top;

        PostMessage(MainWindow(), WM_USER + 6, 1, 0);
        ASSERT_TRUE(WaitFor([] {
            const HWND panel = plat::sip::PanelWindow();
            return panel && IsWindowVisible(panel) && GetDlgItem(panel, 10) != 0;
        }));
        const RECT keyboard = RectOf(GetDlgItem(plat::sip::PanelWindow(), 10));
        EXPECT_EQ(keyboard.bottom - keyboard.top, 80);
        // The docked panel takes the bottom of the screen from the shell.
        EXPECT_TRUE(WaitFor([&] { return RectOf(MainWindow()).bottom - RectOf(MainWindow()).top == height - 80; }));
        EXPECT_EQ(GetForegroundWindow(), MainWindow());

        // Typed into the host dialog's field through the keyboard's taps.
        ASSERT_TRUE(WaitFor([] { return ListItems().size() == 1; }));
        RECT list;
        GetWindowRect(HostList(), &list);
        const POINT addNew{list.left + 38, list.top + 20};
        for (UINT msg : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
            plat::input::InjectMouse(msg, addNew, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON);
        HWND dialog = 0;
        ASSERT_TRUE(WaitFor([&] { return (dialog = FindWindow(nullptr, u"Host")) != 0; }));
        HWND field = 0;
        ASSERT_TRUE(WaitFor([&] { return (field = plat::window::GetThreadFocus(dialog)) != 0; }));
        const RECT panel = RectOf(plat::sip::PanelWindow());
        for (const POINT key : {POINT{4, 5}, POINT{28, 5}}) {  // "q", "w"
            const POINT at{panel.left + key.x, panel.top + key.y};
            plat::input::InjectMouse(WM_LBUTTONDOWN, at, MK_LBUTTON);
            plat::input::InjectMouse(WM_LBUTTONUP, at, 0);
        }
        EXPECT_TRUE(WaitFor([&] { return plat::window::GetWindowString(field).find(u"qw") != std::u16string::npos; }));
        EXPECT_EQ(plat::window::GetThreadFocus(dialog), field);
        PostMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(WaitFor([] { return FindWindow(nullptr, u"Host") == 0; }));

        PostMessage(MainWindow(), WM_USER + 6, 0, 0);
        EXPECT_TRUE(WaitFor([] { return !IsWindowVisible(plat::sip::PanelWindow()); }));
        EXPECT_TRUE(WaitFor([&] { return RectOf(MainWindow()).bottom - RectOf(MainWindow()).top == height; }));
    });
    EXPECT_EQ(m_code, 0);
    EXPECT_TRUE(m_boxes.Seen().empty());
    EXPECT_EQ(plat::sip::PanelWindow(), 0u);  // closed with the shell
}
