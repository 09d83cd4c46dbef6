#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "platform/Message.h"
#include "platform/Text.h"
#include "platform/WinConst.h"
#include "shell/SettingsStore.h"

namespace {

using shelltest::ShellTest;

class ShellUtilTest : public ShellTest {};

TEST_F(ShellUtilTest, ProcessTextsComeFromTheResourceLibrary) {
    EXPECT_EQ(GetRegistryRoot(), u"Software\\Quillmar\\OVC v1.0");
    EXPECT_EQ(GetGlobalConfigUrl(), u"Ravelcore.cfg");
    EXPECT_EQ(GetProgramFolderText(), plat::fs::ProgramFolder());
    ASSERT_NE(GetShellLog(), nullptr);
    EXPECT_EQ(GetShellLog()->GetLevel(), 0u);  // off until the settings say
    FreeResourceDll();
    EXPECT_EQ(GetShellLog(), nullptr);
    EXPECT_TRUE(GetRegistryRoot().empty());
    ASSERT_EQ(LoadResourceDll(), 1);
}

TEST_F(ShellUtilTest, FolderTableMatchesNameOrExtensionWithoutCase) {
    struct Case {
        const char16_t* name;
        const char16_t* extension;
        const char16_t* folder;  // null: none
    } cases[] = {
        {u"def_skin", nullptr, u"Skins\\Default"},
        {nullptr, u".OVA", u"Programs"},        // the first record with that extension
        {u"SOUNDS", u"", u"Sounds"},            // an empty extension is not given
        {u"SCRIPTS", u".ova", u"Programs"},     // the extension matches first
        {u"nothing", nullptr, nullptr},
        {nullptr, nullptr, nullptr},
        {u"", u"", nullptr},
    };
    for (const Case& c : cases) {
        const char16_t* folder = GetFolder(c.name, c.extension);
        if (!c.folder) {
            EXPECT_EQ(folder, nullptr);
        } else {
            ASSERT_NE(folder, nullptr);
            EXPECT_EQ(std::u16string(folder), c.folder);
        }
    }
    EXPECT_EQ(SetFolder(u"skins", nullptr, u"Other"), 1);
    EXPECT_EQ(std::u16string(GetFolder(u"SKINS", nullptr)), u"Other");
    EXPECT_EQ(SetFolder(u"SKINS", nullptr, nullptr), 0);
    EXPECT_EQ(SetFolder(u"nothing", nullptr, u"x"), 0);
    // A folder is kept to the table's 259 characters.
    EXPECT_EQ(SetFolder(u"SKINS", nullptr, std::u16string(400, u'a').c_str()), 1);
    EXPECT_EQ(std::u16string(GetFolder(u"SKINS", nullptr)).size(), 259u);
}

TEST_F(ShellUtilTest, TrimSpacesInPlace) {
    const struct {
        std::u16string in, out;
    } cases[] = {{u"  a b \t\r\n", u"a b"}, {u"    ", u""}, {u"abc", u"abc"}, {u"", u""}, {u"\tx", u"x"}};
    for (const auto& c : cases) {
        std::u16string buffer = c.in;
        buffer.push_back(0);
        EXPECT_EQ(std::u16string(TrimSpaces(buffer.data())), c.out);
        EXPECT_EQ(TrimSpaces(c.in), c.out);
    }
    EXPECT_EQ(TrimSpaces(static_cast<char16_t*>(nullptr)), nullptr);
}

TEST_F(ShellUtilTest, MessagesComeFromResourceTexts) {
    Answer({IDNO});
    EXPECT_EQ(AskYesNo(0, 38, 39), IDNO);
    EXPECT_EQ(ShowResourceMessage(0, 41, 6, MB_OK | MB_ICONEXCLAMATION), IDOK);
    const auto seen = Boxes();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, u"Do you want to delete this host?");
    EXPECT_EQ(seen[0].caption, u"Delete Host");
    EXPECT_EQ(seen[0].style, UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(seen[1].caption, u"Connection");
}

TEST_F(ShellUtilTest, ColourDepthFollowsTheLowColourSetting) {
    EXPECT_GT(GetDisplayColorDepth(), 2);
    Put(ProgramFile("Ravelcore.cfg"), "[Ravelcore]\r\nLowColorDisplay=yes\r\n");
    EXPECT_EQ(GetDisplayColorDepth(), 2);
}

struct Window {
    HWND hwnd;
    explicit Window(DWORD style, HWND parent, RECT r)
        : hwnd(CreateWindow(u"STATIC", u"", style, r.left, r.top, r.right - r.left, r.bottom - r.top, parent, 0,
                            nullptr, nullptr)) {}
    ~Window() { DestroyWindow(hwnd); }
    RECT Rect() const {
        RECT r{};
        GetWindowRect(hwnd, &r);
        return r;
    }
};

TEST_F(ShellUtilTest, CenterWindowKeepsTheWindowInItsArea) {
    Window owner(WS_POPUP | WS_VISIBLE, 0, {20, 40, 220, 240});
    // Centred on a visible owner.
    Window box(WS_POPUP, owner.hwnd, {0, 0, 100, 50});
    ASSERT_TRUE(CenterWindow(box.hwnd, 0));
    EXPECT_EQ(box.Rect().left, 70);
    EXPECT_EQ(box.Rect().top, 115);
    // On a hidden owner: the screen.
    ShowWindow(owner.hwnd, SW_HIDE);
    ASSERT_TRUE(CenterWindow(box.hwnd, 0));
    EXPECT_EQ(box.Rect().left, 70);
    EXPECT_EQ(box.Rect().top, 135);
    // Larger than the reference near the edge: moved back onto the screen.
    Window corner(WS_POPUP | WS_VISIBLE, 0, {200, 300, 240, 320});
    Window wide(WS_POPUP, corner.hwnd, {0, 0, 200, 100});
    ASSERT_TRUE(CenterWindow(wide.hwnd, 0));
    EXPECT_EQ(wide.Rect().left, 40);
    EXPECT_EQ(wide.Rect().top, 220);
    // A child centres in its parent's client area.
    Window child(WS_CHILD, owner.hwnd, {0, 0, 40, 20});
    ASSERT_TRUE(CenterWindow(child.hwnd, 0));
    RECT r = child.Rect();
    POINT p{r.left, r.top};
    ScreenToClient(owner.hwnd, &p);
    EXPECT_EQ(p.x, 80);
    EXPECT_EQ(p.y, 90);
}

TEST(ShellResourcesMissing, WithoutTheLibraryTheStopBoxShows) {
    // A program folder that holds a file of that name which is no library,
    // looked for first, makes the load fail.
    char pattern[] = "/tmp/shell-nores-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    plat::fs::SetDeviceRoot(pattern);
    plat::fs::CreateDirectory(u"\\Program Files");
    plat::fs::CreateDirectory(plat::fs::ProgramFolder());
    const std::string junk = "not a library";
    ASSERT_TRUE(plat::fs::WriteFile(plat::fs::ProgramFolder() + u"\\orvaderes.dll", junk.data(), junk.size()));
    plat::msgbox::ScriptedAnswerer boxes;
    plat::msgbox::SetPresenter(&boxes);
    EXPECT_EQ(LoadResourceDll(), 0);
    plat::msgbox::SetPresenter(nullptr);
    ASSERT_EQ(boxes.Seen().size(), 1u);
    EXPECT_EQ(boxes.Seen()[0].text, u"Missing Critical component-001");
    EXPECT_EQ(boxes.Seen()[0].style, UINT(MB_OK | MB_ICONSTOP));
    plat::fs::SetDeviceRoot("");
    std::filesystem::remove_all(pattern);
}

}  // namespace

namespace {

TEST_F(ShellUtilTest, TheLogFollowsTheLoggingSettingsOnceLoaded) {
    CSettingsStore store(u"");
    ApplyLogSettings(store);
    EXPECT_EQ(GetShellLog()->GetLevel(), 0u);  // logging is off by default
    store.SetInt(SETTING_ENABLE_LOGGING, 1);
    store.SetString(SETTING_LOG_FILE_NAME, u"\\Temp\\shell.log");
    ApplyLogSettings(store);
    EXPECT_EQ(GetShellLog()->GetLevel(), 5u);
    EXPECT_EQ(GetShellLog()->GetPath(), u"\\Temp\\shell.log");
    ShellLog(LOG_TRACE, "LoadExternalConfigs: Load Config (%s)", "Ravelcore.cfg");
    EXPECT_NE(Get("\\Temp\\shell.log").find("LoadExternalConfigs: Load Config (Ravelcore.cfg)"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(ShellUtilTest, AboutPageFillsItsTextsAndEndsOnOkOrCancel) {
    HWND sheet = CreateWindow(u"STATIC", u"", WS_POPUP, 0, 0, 200, 150, 0, 0, nullptr, nullptr);
    HWND page = CreateDialogParam(GetShellResources(), 6029, sheet, AboutDlgProc, 0);
    ASSERT_NE(page, 0u);
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    EXPECT_EQ(plat::window::GetWindowString(GetDlgItem(page, 1020)), u"Orvade Client version.5.4.1.01");
    EXPECT_EQ(plat::window::GetWindowString(GetDlgItem(page, 1041)), u"Windows CE");
    EXPECT_FALSE(plat::window::GetWindowString(GetDlgItem(page, 1035)).empty());
    EXPECT_EQ(AboutDlgProc(page, WM_COMMAND, 1234, 0), FALSE);
    EXPECT_EQ(AboutDlgProc(page, WM_COMMAND, IDOK, 0), TRUE);
    DestroyWindow(sheet);
}

}  // namespace
