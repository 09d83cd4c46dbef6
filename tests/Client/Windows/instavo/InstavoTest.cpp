// The client's setup library "Instavo.dll" called as the installer calls it,
// then the installer, the start-up runner and Corvel run as programs on a
// temporary device root with the client's own package.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/DeviceFs.h"
#include "platform/Gdi.h"
#include "platform/Library.h"
#include "platform/Registry.h"
#include "platform/exports/SetupExports.h"
#include "tests/Client/Windows/instavo/PackageWriter.h"
#include "tests/core/support/DeviceRoot.h"
#include "tests/platform/com/ServerCalls.h"

extern char** environ;

namespace {

const std::u16string kPrograms = u"Software\\Tarvex\\Launcher\\Default\\Programs";
const std::u16string kTaprynKey = u"CLSID\\{A44D8698-221B-11D4-8EB1-00105AE378D3}";

std::u16string Text(HKEY root, const std::u16string& key, const char16_t* name) {
    std::u16string text;
    return plat::registry::GetString(root, key.c_str(), name, &text) ? text : u"<none>";
}

// A file of the device root, found as the device finds names (without regard to case).
std::string DeviceGet(const std::u16string& path) {
    FILE* f = plat::fs::OpenFile(path, "rb");
    if (!f) return "<none>";
    std::string bytes;
    char buffer[512];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}

bool KeyExists(HKEY root, const std::u16string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyEx(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

// Runs a program to its end, with more variables in its environment; its
// exit status, -1 when it did not end normally.
int RunProgram(const std::vector<std::string>& args, const std::string& folder = {},
               const std::vector<std::string>& variables = {}) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    for (const std::string& v : variables) env.push_back(const_cast<char*>(v.c_str()));
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class InstavoTest : public DeviceRootTest {
protected:
    void SetUp() override {
        DeviceRootTest::SetUp();
        m_module = LoadLibrary(u"Instavo.dll");
        ASSERT_TRUE(m_module);
        m_hooks.Bind(m_module);
        ASSERT_TRUE(m_hooks.Install_Init && m_hooks.Install_Exit && m_hooks.Uninstall_Init && m_hooks.Uninstall_Exit);
    }
    void TearDown() override {
        if (m_module) FreeLibrary(m_module);
        DeviceRootTest::TearDown();
    }
    void SetLauncherEntry(const std::u16string& name, const std::u16string& description) {
        ASSERT_TRUE(plat::registry::SetString(HKEY_CURRENT_USER, (kPrograms + u"\\" + name).c_str(), u"Description",
                                              description));
        ASSERT_TRUE(plat::registry::SetString(HKEY_CURRENT_USER, (kPrograms + u"\\" + name).c_str(), u"Name", u"x.exe"));
    }
    std::vector<std::u16string> LauncherEntries() {
        std::vector<std::u16string> names;
        HKEY key = nullptr;
        if (RegOpenKeyEx(HKEY_CURRENT_USER, kPrograms.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
        for (DWORD i = 0;; ++i) {
            char16_t name[64];
            DWORD length = 64;
            if (RegEnumKeyEx(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            names.emplace_back(name, length);
        }
        RegCloseKey(key);
        return names;
    }

    HMODULE m_module = nullptr;
    SetupExports m_hooks;
};

TEST_F(InstavoTest, InstallExitRecordsTheFolderFontsStartUpAndLauncherEntryAndRemovalUndoesThem) {
    Put("\\Application\\Client\\Tahoma.fnt", "font");
    Put("\\Application\\Client\\Bold.FNT", "font");
    Put("\\Application\\Client\\readme.txt", "text");
    EXPECT_EQ(m_hooks.Install_Init(0, TRUE, FALSE, u"\\Application\\Client"), 0u);
    EXPECT_EQ(m_hooks.Install_Exit(0, u"\\Application\\Client", 0, 0, 0, 0, 0), 0u);

    std::vector<std::u16string> fonts = plat::gdi::FontResources();
    std::sort(fonts.begin(), fonts.end());
    EXPECT_EQ(fonts, (std::vector<std::u16string>{u"\\Application\\Client\\Bold.FNT", u"\\Application\\Client\\Tahoma.fnt"}));
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir"), u"\\Application\\Client");
    EXPECT_EQ(Get("\\Application\\startup\\Corvel.run"), "\\Application\\Client\\Corvel.exe\r\n");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kPrograms + u"\\Prog1", u"Name"), u"\\Application\\Client\\Launchwick.exe");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kPrograms + u"\\Prog1", u"Description"), u"Quillmar Orvade");

    // Installed again: the same entry, no second one.
    EXPECT_EQ(m_hooks.Install_Exit(0, u"\\Application\\Client", 0, 0, 0, 0, 0), 0u);
    EXPECT_EQ(LauncherEntries(), std::vector<std::u16string>{u"Prog1"});

    EXPECT_EQ(m_hooks.Uninstall_Init(0, u"\\Application\\Client"), 0u);
    EXPECT_EQ(m_hooks.Uninstall_Exit(0), 0u);
    // Added twice, removed once: one count of each is left.
    EXPECT_EQ(plat::gdi::FontResources().size(), 2u);
    EXPECT_EQ(m_hooks.Uninstall_Init(0, u"\\Application\\Client"), 0u);
    EXPECT_TRUE(plat::gdi::FontResources().empty());
    EXPECT_FALSE(HostExists("\\Application\\startup\\Corvel.run"));
}

TEST_F(InstavoTest, TheStartUpEntryOnlyForFoldersThatOutliveAColdBoot) {
    struct Case {
        const char16_t* folder;
        const char* line;  // null: no entry
    };
    const Case cases[] = {
        {u"\\Program Files\\Client", nullptr},
        {u"\\MMC Card\\Client", "\\MMC Card\\Client\\Corvel.exe\r\n"},
        {u"\\APPLICATION\\Orvade", "\\APPLICATION\\Orvade\\Corvel.exe\r\n"},
        {u"\\Applications", "\\Applications\\Corvel.exe\r\n"},  // the test is on the prefix only
    };
    for (const Case& c : cases) {
        plat::fs::DeleteFile(u"\\application\\startup\\Corvel.run");
        m_hooks.Install_Exit(0, c.folder, 0, 0, 0, 0, 0);
        EXPECT_EQ(DeviceGet(u"\\application\\startup\\Corvel.run"), c.line ? c.line : "<none>");
        EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir"), c.folder);
    }
}

TEST_F(InstavoTest, TheLauncherEntryTakesTheNextNumberOrReusesItsOwn) {
    SetLauncherEntry(u"Prog1", u"Scanner Demo");
    SetLauncherEntry(u"Prog7", u"Terminal");
    SetLauncherEntry(u"Program", u"Counts as 0");
    SetLauncherEntry(u"Programs12345", u"Eleven characters: skipped");
    m_hooks.Install_Exit(0, u"\\Program Files\\Client", 0, 0, 0, 0, 0);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kPrograms + u"\\Prog8", u"Description"), u"Quillmar Orvade");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kPrograms + u"\\Prog1", u"Description"), u"Scanner Demo");

    ASSERT_EQ(RegDeleteKey(HKEY_CURRENT_USER, kPrograms.c_str()), ERROR_SUCCESS);
    SetLauncherEntry(u"Prog1", u"Scanner Demo");
    SetLauncherEntry(u"Prog3", u"QUILLMAR ORVADE");
    m_hooks.Install_Exit(0, u"\\Program Files\\Client", 0, 0, 0, 0, 0);
    EXPECT_EQ(LauncherEntries(), (std::vector<std::u16string>{u"Prog1", u"Prog3"}));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kPrograms + u"\\Prog3", u"Name"), u"\\Program Files\\Client\\Launchwick.exe");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kPrograms + u"\\Prog3", u"Description"), u"Quillmar Orvade");
}

// The programs on a device root of their own, as a device runs them.
class DeviceProgramsTest : public DeviceRootTest {
protected:
    int Install(const std::string& package, const std::string& folder, bool uninstall = false) {
        std::vector<std::string> args{ORVADE_INSTALL_PATH, "--device-root", root_.string(), "--folder", folder};
        if (uninstall)
            args.push_back("--uninstall");
        else
            args.push_back(package);
        return RunProgram(args);
    }
    // A package beside the root with the setup library, the launcher and
    // more entries; empty when it cannot be written.
    std::string SetupPackage(std::vector<instavotest::Entry> entries) const {
        std::ifstream library(INSTAVO_PATH, std::ios::binary);
        std::stringstream bytes;
        bytes << library.rdbuf();
        const std::string package = (root_.parent_path() / (root_.filename().string() + ".tar")).string();
        entries.insert(entries.begin(), instavotest::Entry{"Instavo.dll", bytes.str(), AE_IFREG, 0755});
        entries.push_back(instavotest::Entry{"Launchwick.exe", "#!/bin/sh\n", AE_IFREG, 0755});
        return instavotest::WritePackage(package, entries) ? package : std::string();
    }
    int ColdBoot() { return RunProgram({ORVADE_STARTUP_PATH, "--device-root", root_.string(), "--timeout", "300"}); }
};

// Started with the root named relative to the folder it starts in: the
// programs the runner starts (each in the root) find the same root.
TEST_F(DeviceProgramsTest, AColdBootOnARelativeRootWritesIntoThatRoot) {
    ASSERT_EQ(Install(ORVADE_PACKAGE, "\\Application\\Client"), 0);
    ASSERT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, u"Software\\Quillmar"), ERROR_SUCCESS);
    const std::string name = root_.filename().string();
    ASSERT_EQ(RunProgram({ORVADE_STARTUP_PATH, "--device-root", name, "--timeout", "300"}, root_.parent_path().string()), 0);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir"), u"\\Application\\Client");
    EXPECT_TRUE(HostExists("\\Windows\\Start Menu\\Quillmar Orvade.lnk"));
    EXPECT_FALSE(std::filesystem::exists(root_ / name));
}

TEST_F(DeviceProgramsTest, InstallAndUninstallAPackageWithItsSetupLibrary) {
    const std::string package = SetupPackage({instavotest::Entry{"fonts.fnt", "font"}});
    ASSERT_FALSE(package.empty());
    ASSERT_EQ(Install(package, "\\Application\\Client"), 0);
    std::filesystem::remove(package);
    EXPECT_EQ(plat::gdi::FontResources(), std::vector<std::u16string>{u"\\Application\\Client\\fonts.fnt"});
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir"), u"\\Application\\Client");
    EXPECT_EQ(Get("\\Application\\startup\\Corvel.run"), "\\Application\\Client\\Corvel.exe\r\n");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kPrograms + u"\\Prog1", u"Name"), u"\\Application\\Client\\Launchwick.exe");
    // The setup library ran from a copy that is gone again.
    EXPECT_TRUE(std::filesystem::is_empty(root_ / "Temp"));

    ASSERT_EQ(Install("", "\\Application\\Client", true), 0);
    EXPECT_TRUE(plat::gdi::FontResources().empty());
    EXPECT_FALSE(HostExists("\\Application\\startup\\Corvel.run"));
    EXPECT_FALSE(HostExists("\\Application\\Client"));
    EXPECT_EQ(Install("", "\\Application\\Client", true), 1);  // nothing installed now
}

TEST_F(DeviceProgramsTest, AColdBootRegistersTheClientAndRestoresWhatWasLost) {
    ASSERT_EQ(Install(ORVADE_PACKAGE, "\\Application\\Client"), 0);
    EXPECT_TRUE(HostExists("\\Application\\Client\\Corvel.exe"));
    EXPECT_TRUE(HostExists("\\Application\\Client\\EXT2\\Lectrum.dll"));
    EXPECT_TRUE(HostExists("\\Application\\Client\\vendor\\TVSCAN32.dll"));
    EXPECT_TRUE(HostExists("\\Application\\Client\\Quillmar.kbb"));

    // The first cold boot: Corvel registers the libraries of its folder and makes the shortcuts.
    ASSERT_EQ(ColdBoot(), 0);
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, kTaprynKey + u"\\InProcServer32", nullptr), u"\\Application\\Client\\Tapryn.dll");
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"Ravelcore.OVC\\CLSID", nullptr), u"{2D7E3F9C-C753-45DC-AFFE-35DA6A0354F5}");
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"Beaconet.OVC36_40\\CLSID", nullptr).size(), 38u);
    const std::string shortcut = "36#\"\\Application\\Client\\Launchwick.exe\"";
    EXPECT_EQ(Get("\\Windows\\Start Menu\\Quillmar Orvade.lnk"), shortcut);
    EXPECT_EQ(Get("\\Windows\\Desktop\\Quillmar Orvade.lnk"), shortcut);

    // The registry kept: the client counts as registered (the install
    // folder's key opens and the shell object is made), so nothing is
    // registered again.
    ASSERT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, kTaprynKey.c_str()), ERROR_SUCCESS);
    ASSERT_EQ(ColdBoot(), 0);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kTaprynKey));

    // Lost: the client's keys with the install folder value, Tapryn's class,
    // both shortcuts and the launcher entry.
    ASSERT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, u"Software\\Quillmar"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKey(HKEY_CURRENT_USER, kPrograms.c_str()), ERROR_SUCCESS);
    std::filesystem::remove(Host("\\Windows\\Start Menu\\Quillmar Orvade.lnk"));
    std::filesystem::remove(Host("\\Windows\\Desktop\\Quillmar Orvade.lnk"));
    ASSERT_EQ(ColdBoot(), 0);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir"), u"\\Application\\Client");
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, kTaprynKey + u"\\InProcServer32", nullptr), u"\\Application\\Client\\Tapryn.dll");
    EXPECT_EQ(Get("\\Windows\\Start Menu\\Quillmar Orvade.lnk"), shortcut);
    EXPECT_EQ(Get("\\Windows\\Desktop\\Quillmar Orvade.lnk"), shortcut);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kPrograms + u"\\Prog1", u"Name"), u"\\Application\\Client\\Launchwick.exe");

    // With the start-menu shortcut there, the rest is left as it is.
    ASSERT_EQ(RegDeleteKey(HKEY_CURRENT_USER, kPrograms.c_str()), ERROR_SUCCESS);
    std::filesystem::remove(Host("\\Windows\\Desktop\\Quillmar Orvade.lnk"));
    ASSERT_EQ(ColdBoot(), 0);
    EXPECT_FALSE(HostExists("\\Windows\\Desktop\\Quillmar Orvade.lnk"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kPrograms));
}

// Killed before each of its renames and syncs in turn, an installation
// leaves its list only when it is whole: the hooks' registrations are there.
// An installation without its list is made again at the next start, which
// completes it.
TEST_F(DeviceProgramsTest, AnInstallationKilledAtAnyWriteIsListedOnlyWhenWhole) {
    const std::string package =
        SetupPackage({instavotest::Entry{"Data/", "", AE_IFDIR, 0755}, instavotest::Entry{"Data/a.txt", "a"}});
    ASSERT_FALSE(package.empty());
    const auto registered = [] {
        return Text(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir") == u"\\Application\\Client" &&
               Text(HKEY_CURRENT_USER, kPrograms + u"\\Prog1", u"Name") == u"\\Application\\Client\\Launchwick.exe" &&
               Text(HKEY_CURRENT_USER, kPrograms + u"\\Prog1", u"Description") == u"Quillmar Orvade";
    };
    int status = -1;
    for (int n = 1; status != 0 && n < 500; ++n) {
        const std::filesystem::path root = root_ / ("kill" + std::to_string(n));
        const auto install = [&](const std::vector<std::string>& variables) {
            return RunProgram({ORVADE_INSTALL_PATH, "--device-root", root.string(), "--folder", "\\Application\\Client",
                               package},
                              {}, variables);
        };
        status = install({"LD_PRELOAD=" ORVADE_KILL_AT_WRITE_PATH, "ORVADE_KILL_AT=" + std::to_string(n)});
        plat::fs::SetDeviceRoot(root.string());
        const bool listed = plat::fs::Exists(u"\\Application\\Client\\Install.lst");
        EXPECT_TRUE(!listed || registered()) << "killed before write " << n;
        if (!listed) {
            EXPECT_NE(status, 0) << n;
            plat::fs::SetDeviceRoot(root_.string());
            EXPECT_EQ(install({}), 0) << n;  // the next start's installation
            plat::fs::SetDeviceRoot(root.string());
            EXPECT_TRUE(plat::fs::Exists(u"\\Application\\Client\\Install.lst")) << n;
            EXPECT_TRUE(registered()) << "after a kill before write " << n;
        }
        plat::fs::SetDeviceRoot(root_.string());
        std::filesystem::remove_all(root);
    }
    EXPECT_EQ(status, 0);  // the last run had fewer write points than its number
    std::filesystem::remove(package);
}

// The cold boot runs what installations write: a program an installation
// list names, without arguments; an install folder with blanks in its name
// is one program, as the entry holds it unquoted.
TEST_F(DeviceProgramsTest, AColdBootRunsOnlyWhatAnInstallationWrote) {
    ASSERT_EQ(Install(ORVADE_PACKAGE, "\\MMC Card\\Orvade Client"), 0);
    EXPECT_EQ(Get("\\application\\startup\\Corvel.run"), "\\MMC Card\\Orvade Client\\Corvel.exe\r\n");
    Put("\\Temp\\planted.exe", "#!/bin/sh\ntouch planted\n");
    std::filesystem::permissions(Host("\\Temp\\planted.exe"), std::filesystem::perms::owner_all);
    Put("\\application\\startup\\a.run", "\\Temp\\planted.exe\r\n");
    Put("\\application\\startup\\b.run", "\"\\MMC Card\\Orvade Client\\Corvel.exe\" --with arguments\r\n");
    Put("\\application\\startup\\c.run", "\\MMC Card\\Orvade Client\\Launchwick.exe --device-root /\r\n");
    ASSERT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, u"Software\\Quillmar"), ERROR_SUCCESS);
    EXPECT_EQ(ColdBoot(), 1);
    EXPECT_FALSE(HostExists("\\planted"));
    // Corvel ran once: from its entry, not from the one with arguments.
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir"), u"\\MMC Card\\Orvade Client");

    for (const char* entry : {"a.run", "b.run", "c.run"}) std::filesystem::remove(Host("\\application\\startup\\") / entry);
    EXPECT_EQ(ColdBoot(), 0);
}

TEST_F(DeviceProgramsTest, TheStartUpRunnerReportsEntriesItCannotRun) {
    Put("\\Application\\startup\\a.run", "\\Application\\missing.exe\r\n");
    Put("\\Application\\startup\\b.run", "");
    Put("\\Application\\startup\\c.lnk", "12#\"\\nothing\"");
    Put("\\Application\\startup\\notes.txt", "left alone");
    EXPECT_EQ(ColdBoot(), 1);
}

}  // namespace
