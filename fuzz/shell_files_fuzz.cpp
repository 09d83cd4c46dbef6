// The shell's files: the first byte picks the reader, the rest is the file.
// 0: a key=value configuration, laid over a settings store; 1: "Hosts.cfg",
// read, rewritten and read again, which must give the same records; 2: a
// skin's "Config.xml", whose texts must stay within their bounds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzDir.h"
#include "platform/DeviceFs.h"
#include "shell/ExternalConfig.h"
#include "shell/HostList.h"
#include "shell/SettingsStore.h"
#include "shell/ShellUtil.h"
#include "shell/Skin.h"

namespace {

class Environment {
public:
    Environment() : m_root("fuzz-shell") {
        plat::fs::SetDeviceRoot(m_root.Path().string());
        plat::fs::CreateDirectory(u"\\Program Files");
        plat::fs::CreateDirectory(plat::fs::ProgramFolder());
        SetFolder(u"OVC", nullptr, plat::fs::ProgramFolder().c_str());
        LoadResourceDll();
    }
    void Put(const std::u16string& path, const uint8_t* data, size_t size) {
        if (!plat::fs::WriteFile(path, data, size)) std::abort();
    }

private:
    FuzzDir m_root;
};

bool Same(const std::vector<CHostEntry>& a, const std::vector<CHostEntry>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].GetOID() != b[i].GetOID() || a[i].GetPort() != b[i].GetPort() ||
            std::u16string_view(a[i].GetHost()) != b[i].GetHost() ||
            std::u16string_view(a[i].GetDescription()) != b[i].GetDescription())
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Environment env;
    if (size == 0) return 0;
    const uint8_t kind = data[0] % 3;
    ++data;
    --size;
    if (kind == 0) {
        const std::u16string path = plat::fs::ProgramFolder() + u"\\fuzz.cfg";
        env.Put(path, data, size);
        ExternalConfigLoader loader;
        loader.Load(path);
        CSettingsStore store(u"");
        loader.Apply(store);
    } else if (kind == 1) {
        CHostListFile hosts;
        env.Put(hosts.GetPath(), data, size);
        std::vector<CHostEntry> before, after;
        if (!hosts.ReadAll(before)) std::abort();
        // A rewrite of an OID no record has keeps every record as it was read,
        // unless a text holds a line end the shell's lines cannot carry.
        bool plain = true;
        for (const CHostEntry& r : before)
            for (std::u16string_view t : {std::u16string_view(r.GetHost()), std::u16string_view(r.GetDescription())})
                plain = plain && t.find_first_of(u"\r\n[") == std::u16string_view::npos &&
                        (t.empty() || (t.front() != u' ' && t.front() != u'\t'));
        int32_t unused = 1;
        while (std::any_of(before.begin(), before.end(), [&](const CHostEntry& r) { return r.GetOID() == unused; }))
            ++unused;
        if (!hosts.Update(unused, u"", u"", 0)) std::abort();
        if (!hosts.ReadAll(after)) std::abort();
        if (plain && !Same(before, after)) std::abort();
    } else {
        const std::u16string path = plat::fs::ProgramFolder() + u"\\Config.xml";
        env.Put(path, data, size);
        CSkin skin;
        const int result = LoadSkin(path.c_str(), &skin);
        if (result != 0 && result != 2 && result != 1359) std::abort();
        for (const std::u16string* t : {&skin.title, &skin.skinImage, &skin.mappingImage, &skin.downImage})
            if (t->size() > CSkin::kTextMax) std::abort();
    }
    return 0;
}
