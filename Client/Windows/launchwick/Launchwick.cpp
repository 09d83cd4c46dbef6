#include "Launchwick.h"

#include <fstream>
#include <iterator>
#include <vector>

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
// is missing or lacks the export is passed over.
__attribute__((noinline)) void RegisterLibrary(const char16_t* name) {
    HMODULE module = LoadLibrary(name);
    if (!module) return;
    using RegisterFn = HRESULT (*)();
    if (auto reg = GetProc<RegisterFn>(module, "DllRegisterServer")) reg();
    FreeLibrary(module);
}

}  // namespace

int Run(std::u16string_view commandLine) {
    if (IsAuto(commandLine)) Sleep(kAutoDelayMs);
    for (int i = 0; i < kComInits; ++i) CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    BSTR path = SysAllocString(u"\\windows\\start menu\\vorn.xml");
    for (const char16_t* name : kRegistered) RegisterLibrary(name);
    IOVCShellObj* shell = nullptr;
    if (FAILED(CoCreateInstance(CLSID_OVCShellObj, nullptr, CLSCTX_ALL, IOVCShellObj::kIID,
                                reinterpret_cast<void**>(&shell))) ||
        !shell) {
        MessageBox(0, u"Unable to start.", u"OVC Error", MB_OK);
    } else {
        shell->Load(path);
    }
    if (shell) shell->Release();
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

}  // namespace

bool PrepareDevice(const std::string& installDir) {
    const std::u16string program = plat::fs::ProgramFolder();
    // "\Program Files" first: folders are made one level at a time.
    const size_t last = program.rfind(u'\\');
    if (last != std::u16string::npos && last > 0 && !EnsureFolder(program.substr(0, last))) return false;
    if (!EnsureFolder(program)) return false;
    bool ok = true;
    ok &= CopyIn(installDir, "orvaderes.dll", program);
    ok &= CopyIn(installDir, "optarium.dat", program);
    const std::u16string ext2 = program + u"\\EXT2";
    const std::u16string ext = program + u"\\Ext";
    ok &= EnsureFolder(ext2) && EnsureFolder(ext);
    for (const char* name : {"Lectrum.dll", "Network.dll", "Pelmora.dll", "Pelmorad.dll"})
        ok &= CopyIn(installDir, name, ext2);
    ok &= CopyIn(installDir, "Halvane.dll", ext);
    const std::u16string hosts = program + u"\\Hosts.cfg";
    if (!plat::fs::Exists(hosts)) ok &= plat::fs::WriteFile(hosts, "", 0);
    return ok;
}

}  // namespace launchwick
