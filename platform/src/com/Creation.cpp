// GUID text, creation of objects from the registry through the loader, and
// self-registration.
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "platform/Com.h"
#include "platform/DeviceFs.h"
#include "platform/Library.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/exports/ComServerExports.h"

namespace {

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool ReadHex(std::u16string_view t, size_t from, size_t digits, uint32_t* value) {
    uint32_t v = 0;
    for (size_t i = from; i < from + digits; ++i) {
        const int d = HexDigit(t[i]);
        if (d < 0) return false;
        v = v * 16 + uint32_t(d);
    }
    *value = v;
    return true;
}

// Servers this process loaded, each with one reference of the loader.
struct Servers {
    std::mutex mutex;
    std::map<std::u16string, HMODULE> byPath;
};

Servers& LoadedServers() {
    static Servers servers;
    return servers;
}

thread_local int t_initialised = 0;

std::u16string ClsidKey(REFCLSID clsid) { return u"CLSID\\" + plat::com::GuidToString(clsid); }

void DeleteKey(const std::u16string& key) { RegDeleteKey(HKEY_CLASSES_ROOT, key.c_str()); }

// The keys and values of one registration, written together.
class Registration {
public:
    void Default(std::u16string key, std::u16string_view text) {
        m_settings.push_back(plat::registry::StringSetting(std::move(key), text));
    }
    void Key(std::u16string key) {
        m_settings.push_back(plat::registry::Setting{std::move(key), u"", REG_NONE, {}, true});
    }
    // A ProgID key: its description, CLSID and, for the version-independent
    // one, CurVer.
    void ProgId(const std::u16string& progId, const plat::com::ClassRegistration& entry, const char16_t* curVer) {
        Default(progId, entry.description ? entry.description : u"");
        Default(progId + u"\\CLSID", plat::com::GuidToString(entry.clsid));
        if (curVer) Default(progId + u"\\CurVer", curVer);
    }
    bool Write() const { return plat::registry::SetValues(HKEY_CLASSES_ROOT, m_settings) == ERROR_SUCCESS; }

private:
    std::vector<plat::registry::Setting> m_settings;
};

}  // namespace

namespace plat::com {

std::u16string GuidToString(REFGUID g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return std::u16string(text, text + 38);
}

bool GuidFromString(std::u16string_view t, GUID* guid) {
    if (!guid || t.size() != 38 || t[0] != u'{' || t[37] != u'}' || t[9] != u'-' || t[14] != u'-' ||
        t[19] != u'-' || t[24] != u'-')
        return false;
    GUID g{};
    uint32_t v;
    if (!ReadHex(t, 1, 8, &g.Data1)) return false;
    if (!ReadHex(t, 10, 4, &v)) return false;
    g.Data2 = uint16_t(v);
    if (!ReadHex(t, 15, 4, &v)) return false;
    g.Data3 = uint16_t(v);
    for (int i = 0; i < 2; ++i) {
        if (!ReadHex(t, 20 + 2 * size_t(i), 2, &v)) return false;
        g.Data4[i] = uint8_t(v);
    }
    for (int i = 0; i < 6; ++i) {
        if (!ReadHex(t, 25 + 2 * size_t(i), 2, &v)) return false;
        g.Data4[2 + i] = uint8_t(v);
    }
    *guid = g;
    return true;
}

HRESULT CreateByName(std::u16string_view name, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    const std::u16string text(name);
    CLSID clsid;
    const HRESULT hr = CLSIDFromString(text.c_str(), &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, object);
}

HRESULT RegisterServerClass(const ClassRegistration& entry, std::u16string_view modulePath) {
    const std::u16string key = ClsidKey(entry.clsid);
    const std::u16string path(modulePath);
    Registration writes;
    writes.Default(key, entry.description ? entry.description : u"");
    if (entry.progId) {
        writes.ProgId(entry.progId, entry, nullptr);
        writes.Default(key + u"\\ProgID", entry.progId);
    }
    if (entry.versionIndependentProgId) {
        writes.ProgId(entry.versionIndependentProgId, entry, entry.progId);
        writes.Default(key + u"\\VersionIndependentProgID", entry.versionIndependentProgId);
    }
    writes.Default(key + u"\\InprocServer32", path);
    if (entry.programmable) writes.Key(key + u"\\Programmable");
    if (entry.control) {
        writes.Key(key + u"\\Control");
        writes.Key(key + u"\\Insertable");
        writes.Default(key + u"\\MiscStatus", u"0");
        if (entry.miscStatus1) writes.Default(key + u"\\MiscStatus\\1", entry.miscStatus1);
    }
    if (entry.toolboxBitmap)
        writes.Default(key + u"\\ToolboxBitmap32",
                       path + u", " + text::Utf8ToWide(std::to_string(entry.toolboxBitmap)));
    if (entry.typeLib) writes.Default(key + u"\\TypeLib", GuidToString(*entry.typeLib));
    if (entry.version) writes.Default(key + u"\\Version", entry.version);
    return writes.Write() ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterServerClass(const ClassRegistration& entry) {
    // A ProgID that now names another class is someone else's.
    auto ours = [&](const char16_t* progId) {
        std::u16string clsid;
        return progId && plat::registry::GetString(HKEY_CLASSES_ROOT, (std::u16string(progId) + u"\\CLSID").c_str(),
                                                   nullptr, &clsid) &&
               clsid == GuidToString(entry.clsid);
    };
    if (ours(entry.progId)) DeleteKey(entry.progId);
    if (ours(entry.versionIndependentProgId)) DeleteKey(entry.versionIndependentProgId);
    DeleteKey(ClsidKey(entry.clsid));
    return S_OK;
}

HRESULT RegisterTypeLibrary(const TypeLibRegistration& lib, std::u16string_view modulePath) {
    const std::u16string key =
        u"TypeLib\\" + GuidToString(lib.libid) + u"\\" + std::u16string(lib.version ? lib.version : u"1.0");
    Registration writes;
    writes.Default(key, lib.helpString ? lib.helpString : u"");
    writes.Default(key + u"\\0\\win32", std::u16string(modulePath));
    writes.Default(key + u"\\FLAGS", u"0");
    return writes.Write() ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT UnregisterTypeLibrary(const TypeLibRegistration& lib) {
    const std::u16string libKey = u"TypeLib\\" + GuidToString(lib.libid);
    DeleteKey(libKey + u"\\" + std::u16string(lib.version ? lib.version : u"1.0"));
    // The library's key goes with its last version.
    HKEY h = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, libKey.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS) {
        DWORD subKeys = 0;
        RegQueryInfoKey(h, &subKeys, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(h);
        if (subKeys == 0) DeleteKey(libKey);
    }
    return S_OK;
}

std::u16string ModulePath(const void* address) {
    Dl_info info{};
    if (!address || !dladdr(address, &info) || !info.dli_fname || !*info.dli_fname) return {};
    std::string machine = info.dli_fname;
    if (machine.starts_with("/proc/self/fd/")) {
        // Loaded from the device root through its open file: that file's name.
        char buf[4096];
        const ssize_t n = readlink(machine.c_str(), buf, sizeof buf - 1);
        if (n <= 0) return {};
        machine.assign(buf, size_t(n));
        std::string root = plat::fs::DeviceRoot();
        char real[4096];
        if (realpath(root.c_str(), real)) root = real;
        while (root.size() > 1 && root.back() == '/') root.pop_back();
        if (machine.size() > root.size() && machine.compare(0, root.size(), root) == 0 && machine[root.size()] == '/') {
            std::string device = machine.substr(root.size());
            for (char& c : device)
                if (c == '/') c = '\\';
            return text::Utf8ToWide(device);
        }
    }
    const size_t slash = machine.rfind('/');
    return text::Utf8ToWide(slash == std::string::npos ? machine : machine.substr(slash + 1));
}

}  // namespace plat::com

HRESULT CoInitialize(void*) { return CoInitializeEx(nullptr, COINIT_MULTITHREADED); }

HRESULT CoInitializeEx(void*, DWORD) { return t_initialised++ ? S_FALSE : S_OK; }

void CoUninitialize() {
    if (t_initialised > 0) --t_initialised;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (!progId || !clsid) return E_INVALIDARG;
    std::u16string key(progId);
    for (int hop = 0; hop < 2; ++hop) {
        std::u16string text;
        if (plat::registry::GetString(HKEY_CLASSES_ROOT, (key + u"\\CLSID").c_str(), nullptr, &text))
            return plat::com::GuidFromString(text, clsid) ? S_OK : CO_E_CLASSSTRING;
        std::u16string curVer;
        if (!plat::registry::GetString(HKEY_CLASSES_ROOT, (key + u"\\CurVer").c_str(), nullptr, &curVer) ||
            curVer.empty())
            break;
        key = curVer;
    }
    return CO_E_CLASSSTRING;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    if (!text || !clsid) return E_INVALIDARG;
    if (text[0] == u'{') return plat::com::GuidFromString(text, clsid) ? S_OK : CO_E_CLASSSTRING;
    return CLSIDFromProgID(text, clsid);
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size) {
    const std::u16string text = plat::com::GuidToString(guid);
    if (!buffer || size < int(text.size()) + 1) return 0;
    text.copy(buffer, text.size());
    buffer[text.size()] = 0;
    return int(text.size()) + 1;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void*, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    std::u16string path;
    if (!plat::registry::GetString(HKEY_CLASSES_ROOT, (ClsidKey(clsid) + u"\\InprocServer32").c_str(), nullptr,
                                   &path) ||
        path.empty())
        return REGDB_E_CLASSNOTREG;
    HMODULE module = LoadLibrary(path);
    if (!module) return CO_E_DLLNOTFOUND;
    auto getClassObject = GetProc<DllGetClassObject_fn>(module, "DllGetClassObject");
    if (!getClassObject) {
        FreeLibrary(module);
        return CO_E_ERRORINDLL;
    }
    {
        // Keep one load per server; the loader counts the others.
        Servers& servers = LoadedServers();
        std::lock_guard lock(servers.mutex);
        auto [it, fresh] = servers.byPath.emplace(path, module);
        if (!fresh) {
            if (it->second == module)
                FreeLibrary(module);
            else
                it->second = module;  // the old handle went unnoticed; keep the one we hold
        }
    }
    return getClassObject(clsid, riid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    if (!factory) return E_UNEXPECTED;
    hr = factory->CreateInstance(outer, riid, object);
    factory->Release();
    return hr;
}

void CoFreeUnusedLibraries() {
    std::map<std::u16string, HMODULE> loaded;
    {
        Servers& servers = LoadedServers();
        std::lock_guard lock(servers.mutex);
        loaded = servers.byPath;
    }
    // Asked outside the lock: DllCanUnloadNow is the server's code.
    for (const auto& [path, module] : loaded) {
        auto canUnload = GetProc<DllCanUnloadNow_fn>(module, "DllCanUnloadNow");
        if (!canUnload || canUnload() != S_OK) continue;
        bool ours = false;
        {
            Servers& servers = LoadedServers();
            std::lock_guard lock(servers.mutex);
            auto it = servers.byPath.find(path);
            if (it != servers.byPath.end() && it->second == module) {
                servers.byPath.erase(it);
                ours = true;
            }
        }
        if (ours) FreeLibrary(module);
    }
}
