// The device's table of added font files. See Gdi.h.
#include <optional>

#include "platform/DeviceFs.h"
#include "platform/Gdi.h"
#include "platform/Registry.h"

namespace {

constexpr char16_t kFontsKey[] = u"Software\\Orvade\\Fonts";

DWORD countOf(const char16_t* file) {
    DWORD count = 0;
    return plat::registry::GetDword(HKEY_LOCAL_MACHINE, kFontsKey, file, &count) ? count : 0;
}

}  // namespace

int AddFontResource(const char16_t* fileName) {
    if (!fileName || !plat::fs::IsValidFilePath(fileName)) return 0;
    const std::optional<plat::fs::FindData> file = plat::fs::GetFileData(fileName);
    if (!file || file->isDirectory) return 0;
    return plat::registry::SetDword(HKEY_LOCAL_MACHINE, kFontsKey, fileName, countOf(fileName) + 1) ? 1 : 0;
}

BOOL RemoveFontResource(const char16_t* fileName) {
    if (!fileName) return FALSE;
    const DWORD count = countOf(fileName);
    if (count == 0) return FALSE;
    if (count > 1) return plat::registry::SetDword(HKEY_LOCAL_MACHINE, kFontsKey, fileName, count - 1) ? TRUE : FALSE;
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return FALSE;
    const bool ok = RegDeleteValue(key, fileName) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok ? TRUE : FALSE;
}

std::vector<std::u16string> plat::gdi::FontResources() {
    std::vector<std::u16string> files;
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return files;
    for (DWORD i = 0;; ++i) {
        char16_t name[1024];
        DWORD length = 1024;
        if (RegEnumValue(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        files.emplace_back(name, length);
    }
    RegCloseKey(key);
    return files;
}
