#include "instavo/Registration.h"

#include <algorithm>
#include <string>

#include "platform/DeviceFs.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace {

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; }

bool sameText(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) {
               return lower(x) == lower(y);
           });
}

bool startsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && sameText(text.substr(0, prefix.size()), prefix);
}

// The leading decimal digits of the text, 0 when there are none.
long leadingNumber(std::u16string_view text) {
    long n = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') break;
        n = n * 10 + (c - u'0');
    }
    return n;
}

// The Description of an entry, read into 260 bytes at most: a longer one
// matches nothing.
bool describesUs(HKEY programs, const std::u16string& name) {
    HKEY entry = nullptr;
    if (RegOpenKeyEx(programs, name.c_str(), 0, KEY_READ, &entry) != ERROR_SUCCESS) return false;
    char16_t text[130] = {};
    DWORD type = 0, size = sizeof(text);
    const bool read = RegQueryValueEx(entry, u"Description", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
                      ERROR_SUCCESS;
    RegCloseKey(entry);
    if (!read || type != REG_SZ) return false;
    std::u16string_view value(text, std::min<size_t>(size / sizeof(char16_t), std::size(text)));
    if (const size_t end = value.find(u'\0'); end != std::u16string_view::npos) value = value.substr(0, end);
    return sameText(value, instavo::kProductTitle);
}

std::u16string entryName(HKEY programs) {
    long largest = 0;
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD length = 256;
        if (RegEnumKeyEx(programs, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::u16string key(name, length);
        if (key.size() < 4 || key.size() > 10 || !startsWith(key, u"Prog")) continue;
        if (describesUs(programs, key)) return key;
        largest = std::max(largest, leadingNumber(std::u16string_view(key).substr(4)));
    }
    const std::string number = std::to_string(largest + 1);
    return u"Prog" + std::u16string(number.begin(), number.end());
}

HKEY openPrograms() {
    HKEY programs = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, instavo::kLauncherKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &programs,
                       &disposition) != ERROR_SUCCESS)
        return nullptr;
    return programs;
}

}  // namespace

namespace instavo {

bool SetInstallDir(std::u16string_view folder) {
    return plat::registry::SetString(HKEY_LOCAL_MACHINE, kInstallKey, kInstallDirValue, folder);
}

bool WriteStartupEntry(std::u16string_view folder) {
    if (!startsWith(folder, u"\\application") && !startsWith(folder, u"\\mmc card")) return false;
    // The platform's start-up folder, made when this device root has none yet.
    const std::u16string_view entry(kStartupEntry);
    const std::u16string_view startup = entry.substr(0, entry.rfind(u'\\'));
    if (!plat::fs::CreateDirectories(startup)) return false;
    const std::string line = plat::text::WideToBytes(CP_ACP, std::u16string(folder) + u"\\Corvel.exe\r\n");
    return plat::fs::WriteFile(entry, line.data(), line.size());
}

bool RemoveStartupEntry() { return plat::fs::Exists(kStartupEntry) && plat::fs::DeleteFile(kStartupEntry); }

bool AddLauncherEntry(std::u16string_view programPath) {
    HKEY programs = openPrograms();
    if (!programs) return false;
    const std::u16string name = entryName(programs);
    // The key with both values in one transaction: an entry cut short would
    // lack the description by which the next installation finds it again.
    const auto text = [&](const char16_t* value, std::u16string_view t) {
        const std::u16string terminated(t);
        const auto* bytes = reinterpret_cast<const uint8_t*>(terminated.c_str());
        return plat::registry::Setting{name, value, REG_SZ, {bytes, bytes + (terminated.size() + 1) * sizeof(char16_t)}};
    };
    const bool ok =
        plat::registry::SetValues(programs, {text(u"Name", programPath), text(u"Description", kProductTitle)}) ==
        ERROR_SUCCESS;
    RegCloseKey(programs);
    return ok;
}

}  // namespace instavo
