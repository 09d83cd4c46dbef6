#include "Launchwick.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <iterator>
#include <vector>

#include "Installer.h"
#include "InstallerLibrary.h"
#include "platform/Com.h"
#include "platform/DeviceFs.h"
#include "platform/Input.h"
#include "platform/Library.h"
#include "platform/MsgBox.h"
#include "platform/Text.h"
#include "shell/Panthos.h"

namespace launchwick {

namespace {

constexpr int kComInits = 5;
// The client's installation package, beside the installed programs.
constexpr char kPackage[] = "OrvadeClient.tar";
constexpr DWORD kAutoDelayMs = 10000;
constexpr const char16_t* kRegistered[] = {u"Tapryn.dll", u"Beaconet.dll", u"Ravelcore.dll", u"Panthos.dll"};

bool IsAuto(std::u16string_view line) {
    constexpr std::u16string_view kAuto = u"auto";
    if (line.size() != kAuto.size()) return false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char16_t c = (line[i] >= u'A' && line[i] <= u'Z') ? char16_t(line[i] + 32) : line[i];
        if (c != kAuto[i]) return false;
    }
    return true;
}

// Loaded by bare name, as the system's search order finds it; a library that
// is missing or lacks the export is passed over. The library stays loaded
// for the caller to free: the shell's objects are created from them next,
// and loading one a second time costs the start.
__attribute__((noinline)) HMODULE RegisterLibrary(const char16_t* name) {
    HMODULE module = LoadLibrary(name);
    if (!module) return nullptr;
    using RegisterFn = HRESULT (*)();
    if (auto reg = GetProc<RegisterFn>(module, "DllRegisterServer")) reg();
    return module;
}

}  // namespace

int Run(std::u16string_view commandLine) {
    if (IsAuto(commandLine)) Sleep(kAutoDelayMs);
    for (int i = 0; i < kComInits; ++i) CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    BSTR path = SysAllocString(u"\\windows\\start menu\\vorn.xml");
    std::vector<HMODULE> registered;
    for (const char16_t* name : kRegistered) registered.push_back(RegisterLibrary(name));
    IOVCShellObj* shell = nullptr;
    const HRESULT created = CoCreateInstance(CLSID_OVCShellObj, nullptr, CLSCTX_ALL, IOVCShellObj::kIID,
                                             reinterpret_cast<void**>(&shell));
    if (FAILED(created) || !shell) {
        MessageBox(0, u"Unable to start.", u"OVC Error", MB_OK);
    } else {
        shell->Load(path);
    }
    if (shell) shell->Release();
    // Held while the shell runs: it creates the control and the discovery
    // object from these libraries, which would otherwise be unloaded and
    // loaded again.
    for (HMODULE module : registered)
        if (module) FreeLibrary(module);
    for (int i = 0; i < kComInits; ++i) CoUninitialize();
    SysFreeString(path);
    return 0;
}

namespace {

bool CopyIn(const std::string& installDir, const char* name, const std::u16string& deviceFolder) {
    const std::u16string target = deviceFolder + u"\\" + plat::text::Utf8ToWide(name);
    if (plat::fs::Exists(target)) return true;
    std::ifstream in(installDir + "/" + name, std::ios::binary);
    if (!in) return true;  // not built here: nothing to install
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return plat::fs::WriteFile(target, bytes.data(), bytes.size());
}

bool EnsureFolder(const std::u16string& folder) {
    return plat::fs::IsDirectory(folder) || plat::fs::CreateDirectory(folder);
}

// Without the package (a build that did not make it): the files the device
// program needs in its folder, each only where it is missing.
bool CopyInstalledFiles(const std::string& installDir, const std::u16string& program) {
    if (!plat::fs::CreateDirectories(program)) return false;
    bool ok = true;
    ok &= CopyIn(installDir, "orvaderes.dll", program);
    ok &= CopyIn(installDir, "optarium.dat", program);
    ok &= CopyIn(installDir, "Quillmar.kbb", program);
    const std::u16string ext2 = program + u"\\EXT2";
    const std::u16string ext = program + u"\\Ext";
    ok &= EnsureFolder(ext2) && EnsureFolder(ext);
    for (const char* name : {"Lectrum.dll", "Network.dll", "Pelmora.dll", "Pelmorad.dll"})
        ok &= CopyIn(installDir, name, ext2);
    ok &= CopyIn(installDir, "Halvane.dll", ext);
    return ok;
}

// The package is installed on the first start, and again whenever it is
// newer than the installation (a new build).
bool NeedsInstalling(const std::string& package, const std::u16string& program) {
    const std::optional<std::string> list = plat::fs::ToHostPath(program + u"\\" + installer::kInstalledList);
    struct stat installed {};
    struct stat made {};
    if (!list || ::lstat(list->c_str(), &installed) != 0 || !S_ISREG(installed.st_mode)) return true;
    if (::stat(package.c_str(), &made) != 0) return false;
    return made.st_mtim.tv_sec > installed.st_mtim.tv_sec ||
           (made.st_mtim.tv_sec == installed.st_mtim.tv_sec && made.st_mtim.tv_nsec > installed.st_mtim.tv_nsec);
}

// The installer library beside the launcher, loaded for this installation
// only. Its failure to load is reported like a failed installation.
bool InstallPackage(const std::string& installDir, const std::string& package, const std::u16string& program) {
    const std::string path = installDir + "/" + kInstallerLibrary;
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto install = library ? reinterpret_cast<InstallPackageFn>(dlsym(library, kInstallEntry)) : nullptr;
    if (!install) {
        std::fprintf(stderr, "Launchwick: cannot load the installer %s: %s\n", path.c_str(), dlerror());
        if (library) dlclose(library);
        return false;
    }
    char message[512] = {};
    const bool ok = install(package.c_str(), program.c_str(), message, sizeof message) != 0;
    if (!ok) std::fprintf(stderr, "Launchwick: %s\n", message);
    dlclose(library);
    return ok;
}

}  // namespace

bool PrepareDevice(const std::string& installDir) {
    // What writes cut short by a kill or a power cut left, when no other
    // program writes here.
    plat::fs::SweepTempFiles();
    const std::u16string program = plat::fs::ProgramFolder();
    bool ok = true;
    const std::string package = installDir + "/" + kPackage;
    if (std::filesystem::is_regular_file(package)) {
        if (NeedsInstalling(package, program)) ok = InstallPackage(installDir, package, program);
    } else {
        ok = CopyInstalledFiles(installDir, program);
    }
    const std::u16string hosts = program + u"\\Hosts.cfg";
    if (plat::fs::IsDirectory(program) && !plat::fs::Exists(hosts)) ok &= plat::fs::WriteFile(hosts, "", 0);
    return ok;
}

}  // namespace launchwick
