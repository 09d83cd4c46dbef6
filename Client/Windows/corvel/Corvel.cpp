// Corvel: what the start-up entry runs at cold boot. A cold boot can lose
// the registry while the installed files stay: the component libraries of
// Corvel's own folder are registered again and the install folder value
// rewritten unless the client still counts as registered, and the launcher
// entry and the shortcuts are made again when the start-menu shortcut is
// missing. Nothing is shown; a step that fails is skipped.
#include <string>

#include "instavo/Registration.h"
#include "platform/Com.h"
#include "platform/DeviceFs.h"
#include "platform/Library.h"
#include "platform/Registry.h"
#include "platform/Shortcut.h"
#include "platform/Text.h"

namespace {

// The shell object: created in the probe only to see that it can be.
constexpr CLSID CLSID_OVCShellObj = plat::com::Guid("CE35680B-55DD-4ACE-AF47-3B5EF3AC1D35");
constexpr IID IID_IOVCShellObj = plat::com::Guid("D5044A02-E80A-48DE-8AD4-AABE14C07C57");

// Registered in this order; those missing from the folder are skipped.
constexpr const char16_t* kLibraries[] = {u"ovc_vm.dll",    u"Beaconet.dll",      u"OVCExtWidgets.dll",
                                          u"Ravelcore.dll", u"Panthos.dll",       u"OVCWidgetCtrl.dll",
                                          u"Tapryn.dll"};
constexpr char16_t kShortcutName[] = u"\\Quillmar Orvade.lnk";
constexpr char16_t kDesktopShortcut[] = u"\\Windows\\Desktop\\Quillmar Orvade.lnk";

// The device path this program was started by (its first argument, as the
// device starts programs), up to its last '\'; a program started otherwise
// counts as one of the program folder.
std::u16string ownFolder(const char* argv0) {
    const std::u16string path = argv0 ? plat::text::Utf8ToWide(argv0) : std::u16string();
    const size_t slash = path.rfind(u'\\');
    if (path.empty() || path[0] != u'\\' || slash == 0 || slash == std::u16string::npos) return plat::fs::ProgramFolder();
    return path.substr(0, slash);
}

bool registered() {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, instavo::kInstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    IUnknown* shell = nullptr;
    const bool made =
        SUCCEEDED(CoCreateInstance(CLSID_OVCShellObj, nullptr, CLSCTX_INPROC_SERVER, IID_IOVCShellObj,
                                   reinterpret_cast<void**>(&shell))) &&
        shell;
    if (shell) shell->Release();
    RegCloseKey(key);
    return made;
}

void registerLibraries(const std::u16string& folder) {
    for (const char16_t* name : kLibraries) {
        const std::u16string path = folder + u"\\" + name;
        if (!plat::fs::Exists(path)) continue;
        HMODULE module = LoadLibrary(path);
        if (!module) continue;
        if (auto registerServer = GetProc<HRESULT (*)()>(module, "DllRegisterServer")) registerServer();
        FreeLibrary(module);
    }
}

void restoreShortcuts(const std::u16string& folder) {
    char16_t startMenu[260] = {};
    if (!SHGetSpecialFolderPath(0, startMenu, CSIDL_STARTMENU, TRUE)) return;
    const std::u16string shortcut = std::u16string(startMenu) + kShortcutName;
    if (plat::fs::Exists(shortcut)) return;
    const std::u16string launcher = folder + u"\\Launchwick.exe";
    instavo::AddLauncherEntry(launcher);
    const std::u16string target = u"\"" + launcher + u"\"";
    SHCreateShortcut(shortcut.c_str(), target.c_str());
    char16_t desktop[260] = {};
    SHGetSpecialFolderPath(0, desktop, CSIDL_DESKTOPDIRECTORY, TRUE);
    SHCreateShortcut(kDesktopShortcut, target.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const std::u16string folder = ownFolder(argc > 0 ? argv[0] : nullptr);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (!registered()) {
        registerLibraries(folder);
        instavo::SetInstallDir(folder);
    }
    restoreShortcuts(folder);
    CoUninitialize();
    return 0;
}
