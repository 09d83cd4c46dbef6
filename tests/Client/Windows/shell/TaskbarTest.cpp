#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "platform/Registry.h"
#include "platform/WinConst.h"
#include "shell/Taskbar.h"

namespace {

using shelltest::ShellTest;

class TaskbarTest : public ShellTest {
protected:
    void InstallLibrary() {
        std::filesystem::create_directories(Host("\\Windows"));
        std::filesystem::copy_file(std::string(FIXTURE_DIR) + "/FakeTaskbar.dll", Host("\\Windows\\OVTBApi.dll"));
    }
    struct Counts {
        int registers, unregisters, sets, notifies;
    };
    static Counts CallsOf(HMODULE library) {
        Counts c{};
        GetProc<void (*)(int*, int*, int*, int*)>(library, "Calls")(&c.registers, &c.unregisters, &c.sets,
                                                                     &c.notifies);
        return c;
    }
    HWND Window(const char16_t* className) {
        WNDCLASS wc{};
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = className;
        RegisterClass(&wc);
        return CreateWindow(className, u"", WS_POPUP | WS_VISIBLE, 0, 300, 240, 20, 0, 0, nullptr, nullptr);
    }
};

TEST_F(TaskbarTest, WithTheLibraryTheStateGoesThroughIt) {
    InstallLibrary();
    HWND main = Window(u"MainWindow");
    {
        CTaskbar taskbar;
        ASSERT_TRUE(taskbar.HasLibrary());
        HMODULE library = LoadLibrary(u"\\Windows\\OVTBApi.dll");
        EXPECT_EQ(taskbar.HasTaskbarApi(), 0);
        EXPECT_EQ(taskbar.RegisterWindow(0), 0);
        EXPECT_EQ(taskbar.RegisterWindow(main), 1);
        EXPECT_EQ(taskbar.RegisterWindow(main), 1);
        EXPECT_EQ(CallsOf(library).registers, 1);  // the same window once
        EXPECT_EQ(taskbar.HasTaskbarApi(), 1);
        EXPECT_EQ(taskbar.IsTaskbarVisible(), 1);
        EXPECT_EQ(taskbar.ShowTaskbar(kTaskbarHidden), 1);
        EXPECT_EQ(taskbar.IsTaskbarVisible(), 0);
        EXPECT_EQ(taskbar.IsStateNotZero(), 1);
        EXPECT_EQ(taskbar.NotifyIcon(0, nullptr, TRUE), 0);  // hidden: no icon
        taskbar.ShowTaskbar(1);
        EXPECT_EQ(taskbar.IsStateOne(), 1);
        EXPECT_EQ(taskbar.NotifyIcon(0, nullptr, FALSE), 1);
        EXPECT_EQ(CallsOf(library).sets, 2);
        FreeLibrary(library);
    }
    DestroyWindow(main);
}

TEST_F(TaskbarTest, WithoutTheLibraryTheTaskbarWindowsServe) {
    CTaskbar taskbar;
    EXPECT_FALSE(taskbar.HasLibrary());
    HWND main = Window(u"MainWindow");
    EXPECT_EQ(taskbar.RegisterWindow(main), 0);
    // Neither taskbar window.
    EXPECT_EQ(taskbar.ShowTaskbar(kTaskbarHidden), 1);
    EXPECT_EQ(taskbar.IsTaskbarVisible(), 0);
    RECT r{};
    EXPECT_EQ(taskbar.GetTaskbarRect(&r), 0);
    HWND bar = Window(u"HHTaskBar");
    EXPECT_EQ(taskbar.IsTaskbarVisible(), 1);
    taskbar.ShowTaskbar(kTaskbarHidden);
    EXPECT_FALSE(IsWindowVisible(bar));
    EXPECT_EQ(taskbar.IsTaskbarVisible(), 0);
    taskbar.ShowTaskbar(0);
    EXPECT_TRUE(IsWindowVisible(bar));
    ASSERT_EQ(taskbar.GetTaskbarRect(&r), 1);
    EXPECT_EQ(r.top, 300);
    DestroyWindow(bar);
    DestroyWindow(main);
}

class HardwareKeysTest : public ShellTest {
protected:
    const std::u16string kKeys = u"SOFTWARE\\Microsoft\\Shell\\Keys";
    void Key(const std::u16string& sub, const std::u16string& name, const std::u16string& binding) {
        const std::u16string path = kKeys + u"\\" + sub;
        ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, path.c_str(), u"name", name));
        if (!binding.empty()) {
            ASSERT_TRUE(plat::registry::SetString(HKEY_LOCAL_MACHINE, path.c_str(), u"", binding));
        }
    }
    std::u16string Value(const std::u16string& sub, const char16_t* value) {
        std::u16string text;
        plat::registry::GetString(HKEY_LOCAL_MACHINE, (kKeys + u"\\" + sub).c_str(), value, &text);
        return text;
    }
    void TearDown() override {
        CloseHardwareKeys();
        ShellTest::TearDown();
    }
};

TEST_F(HardwareKeysTest, FunctionKeyBindingsMoveAsideAndBack) {
    Key(u"40C1", u"F1", u"\\Windows\\calc.exe");
    Key(u"40C2", u"F12", u"\\Windows\\notes.exe");
    Key(u"40C3", u"F13", u"\\Windows\\other.exe");
    Key(u"40C4", u"f1", u"\\Windows\\lower.exe");
    ASSERT_EQ(OpenHardwareKeys(), 0);
    BackupHardwareKeys(1);
    EXPECT_EQ(Value(u"40C1", u"tnbackup"), u"\\Windows\\calc.exe");
    EXPECT_EQ(Value(u"40C1", u""), u"");
    EXPECT_EQ(Value(u"40C2", u"tnbackup"), u"\\Windows\\notes.exe");
    EXPECT_EQ(Value(u"40C3", u""), u"\\Windows\\other.exe");  // not F1 to F12
    EXPECT_EQ(Value(u"40C4", u""), u"\\Windows\\lower.exe");  // names compare with case
    // A second move keeps the first backup.
    Key(u"40C1", u"F1", u"\\Windows\\new.exe");
    BackupHardwareKeys(1);
    EXPECT_EQ(Value(u"40C1", u"tnbackup"), u"\\Windows\\calc.exe");
    BackupHardwareKeys(0);
    EXPECT_EQ(Value(u"40C1", u""), u"\\Windows\\calc.exe");
    EXPECT_EQ(Value(u"40C1", u"tnbackup"), u"");
    EXPECT_EQ(Value(u"40C2", u""), u"\\Windows\\notes.exe");
    // Putting back with nothing moved changes nothing.
    BackupHardwareKeys(0);
    EXPECT_EQ(Value(u"40C2", u""), u"\\Windows\\notes.exe");
}

TEST_F(HardwareKeysTest, WithoutTheGameInputLibraryNothingMoves) {
    const std::string junk = "not a library";
    ASSERT_TRUE(plat::fs::WriteFile(plat::fs::ProgramFolder() + u"\\GX.DLL", junk.data(), junk.size()));
    Key(u"40C1", u"F1", u"\\Windows\\calc.exe");
    EXPECT_EQ(OpenHardwareKeys(), -1);
    BackupHardwareKeys(1);
    EXPECT_EQ(Value(u"40C1", u""), u"\\Windows\\calc.exe");
}

}  // namespace
