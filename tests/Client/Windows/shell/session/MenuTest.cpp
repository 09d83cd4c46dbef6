// The main window's menu bar as the settings and the session shape it.
#include "shell/Panthos.h"
#include "tests/Client/Windows/shell/session/DeviceProgram.h"

using namespace sessiontest;

TEST_F(DeviceProgramTest, WithoutExitAndHostEditingTheMenuAndListOfferNeither) {
    Configure("Autodiscovery=0\nExitMenu=0\nAllowHostEdit=0\n");
    Write("Program Files/Orvade Client/Hosts.cfg", "[OID=1]\nHost=127.0.0.1\nDescription=Dock\nPort=1000\n");
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        ASSERT_TRUE(WaitFor([] { return ListItems().size() == 1; }));
        EXPECT_EQ(ListItems(), std::vector<std::u16string>{u"Dock"});
        EXPECT_EQ(MenuState(40027), UINT(-1));  // no Exit item
        // Selecting the host of the hosts file leaves Properties grey.
        OnShell([] {
            LVITEM state{};
            state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessage(HostList(), LVM_SETITEMSTATE, 0, LPARAM(&state));
        });
        EXPECT_TRUE(MenuState(32770) & MF_GRAYED);
        // The Exit command does nothing: no question, the shell goes on.
        SendMessage(MainWindow(), WM_COMMAND, 40027, 0);
        EXPECT_TRUE(OnShell([] { return IsWindowVisible(MainWindow()) != 0; }));
        EXPECT_TRUE(m_boxes.Seen().empty());
    });
    EXPECT_EQ(m_code, 0);
}

TEST_F(DeviceProgramTest, DisconnectAsksFirstAndTheViewItemsAreGreyDuringTheSession) {
    ScriptedHost host;
    Configure(AutoLaunch(host.Port()));
    Run([&] {
        ASSERT_TRUE(host.Accept());
        ASSERT_TRUE(host.Send(Frame0("A\xFDx")));
        EXPECT_EQ(host.ReadPacket(), "A\xFDx");
        for (UINT view : {40107u, 40108u, 40109u, 40110u}) EXPECT_TRUE(MenuState(view) & MF_GRAYED) << view;
        EXPECT_FALSE(MenuState(42001) & MF_GRAYED);
        ASSERT_TRUE(host.Send(Frame0("3\xFD\x1B[2;3HHello from the host")));
        ASSERT_TRUE(host.Send(Frame0("A\xFDz")));
        EXPECT_EQ(host.ReadPacket(), "A\xFDz");
        const QImage shot = OnShell([] {
            UpdateWindow(MainWindow());
            plat::qt::SyncWidgets();
            return plat::qt::RenderWindow(MainWindow());
        });
        if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) shot.save(QString(dir) + "/session.png");
        // No: the session goes on.
        m_boxes.Script(IDNO);
        PostMessage(MainWindow(), WM_COMMAND, 42001, 0);
        ASSERT_TRUE(WaitFor([&] { return m_boxes.Seen().size() == 1; }));
        ASSERT_TRUE(host.Send(Frame0("A\xFDy")));
        EXPECT_EQ(host.ReadPacket(), "A\xFDy");
        EXPECT_TRUE(OnShell([] { return IsWindowVisible(ControlHost()) != 0; }));
        // Yes: back to the host list, the connection closed.
        m_boxes.Script(IDYES);
        PostMessage(MainWindow(), WM_COMMAND, 42001, 0);
        EXPECT_TRUE(host.WaitClosed());
        EXPECT_TRUE(WaitFor([] { return OnShell([] { return IsWindowVisible(HostList()) != 0; }); }));
        for (UINT view : {40107u, 40108u, 40109u, 40110u}) EXPECT_FALSE(MenuState(view) & MF_GRAYED) << view;
        EXPECT_TRUE(MenuState(42001) & MF_GRAYED);
    });
    ASSERT_EQ(m_boxes.Seen().size(), 2u);
    EXPECT_EQ(m_boxes.Seen()[0].text, u"Do you want to disconnect from the host?");
    EXPECT_EQ(m_code, 0);
}

TEST_F(DeviceProgramTest, DoubleTappingAddNewOpensTheHostDialogForANewHost) {
    Configure("Autodiscovery=0\n");
    QImage shot;
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        ASSERT_TRUE(WaitFor([] { return ListItems().size() == 1; }));
        DoubleTapIcon(0);
        HWND dialog = 0;
        ASSERT_TRUE(WaitFor([&] { return (dialog = FindWindow(nullptr, u"Host")) != 0; }));
        shot = OnShell([dialog] {
            plat::qt::SyncWidgets();
            return plat::qt::RenderWindow(dialog);
        });
        PostMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(WaitFor([] { return FindWindow(nullptr, u"Host") == 0; }));
        // The new host is in the hosts file and the list.
        EXPECT_TRUE(WaitFor([] { return ListItems().size() == 2; }));
    });
    EXPECT_FALSE(shot.isNull());
    if (const char* dir = std::getenv("ORVADE_RENDER_DIR")) shot.save(QString(dir) + "/host-dialog.png");
    EXPECT_EQ(m_code, 0);
}

TEST_F(DeviceProgramTest, ASecondShellObjectBringsTheFirstForwardAndLeavesNothingBehind) {
    Configure("");  // discovery on: the second object must not start a thread
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        std::thread second([] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            IOVCShellObj* shell = nullptr;
            ASSERT_EQ(CoCreateInstance(CLSID_OVCShellObj, nullptr, CLSCTX_ALL, IOVCShellObj::kIID,
                                       reinterpret_cast<void**>(&shell)),
                      S_OK);
            // A connection asked of the second start is refused aloud.
            setenv("ORVADE_CONNECT", "127.0.0.1:5010", 1);
            testing::internal::CaptureStderr();
            EXPECT_EQ(shell->Load(nullptr), 1);
            const std::string said = testing::internal::GetCapturedStderr();
            unsetenv("ORVADE_CONNECT");
            EXPECT_NE(said.find("--connect 127.0.0.1:5010 was not used"), std::string::npos) << said;
            // Its splash went with the early return: this thread has no window left.
            EXPECT_EQ(FindWindow(u"STATIC", u""), HWND(0));
            shell->Release();
            CoUninitialize();
        });
        second.join();
        EXPECT_TRUE(OnShell([] { return IsWindowVisible(MainWindow()) != 0; }));

    });
    EXPECT_EQ(m_code, 0);
}

TEST_F(DeviceProgramTest, TheInputPanelShortensTheMainWindowWhileItIsShown) {
    Configure("Autodiscovery=0\n");
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        RECT before, shown, after;
        GetWindowRect(MainWindow(), &before);
        // As the control asks when a field wants the soft keyboard.
        SendMessage(MainWindow(), WM_USER + 6, 1, 0);
        EXPECT_TRUE(WaitFor([&] {
            GetWindowRect(MainWindow(), &shown);
            return shown.bottom - shown.top < before.bottom - before.top;
        }));
        SendMessage(MainWindow(), WM_USER + 6, 0, 0);
        EXPECT_TRUE(WaitFor([&] {
            GetWindowRect(MainWindow(), &after);
            return after.bottom - after.top == before.bottom - before.top;
        }));
    });
    EXPECT_EQ(m_code, 0);
}

TEST_F(DeviceProgramTest, AboutShowsASheetWithTheShellsOwnPage) {
    Configure("Autodiscovery=0\n");
    Run([&] {
        ASSERT_TRUE(WaitForMainWindow());
        PostMessage(MainWindow(), WM_COMMAND, 40083, 0);
        HWND sheet = 0;
        ASSERT_TRUE(WaitFor([&] { return (sheet = FindWindow(nullptr, u"About")) != 0; }));
        PostMessage(sheet, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(WaitFor([] { return FindWindow(nullptr, u"About") == 0; }));
    });
    EXPECT_EQ(m_code, 0);
}
