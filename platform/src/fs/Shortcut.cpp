// Special folders and shortcut files. See Shortcut.h.
#include "platform/Shortcut.h"

#include <cstdio>
#include <string>

#include "platform/DeviceFs.h"
#include "platform/Text.h"

namespace {

// A shortcut is one short line: anything longer is no shortcut.
constexpr size_t kMaxShortcutBytes = 4096;

const char16_t* folderOf(int folder) {
    switch (folder) {
        case CSIDL_STARTMENU: return u"\\Windows\\Start Menu";
        case CSIDL_DESKTOPDIRECTORY: return u"\\Windows\\Desktop";
        default: return nullptr;
    }
}

}  // namespace

BOOL SHGetSpecialFolderPath(HWND, char16_t* path, int folder, BOOL create) {
    const char16_t* device = folderOf(folder);
    if (!path || !device) return FALSE;
    const std::u16string_view text(device);
    if (create ? !plat::fs::CreateDirectories(text) : !plat::fs::IsDirectory(text)) return FALSE;
    text.copy(path, text.size());
    path[text.size()] = u'\0';
    return TRUE;
}

BOOL SHCreateShortcut(const char16_t* shortcut, const char16_t* target) {
    if (!shortcut || !target) return FALSE;
    const std::u16string_view t(target);
    const std::string line = std::to_string(t.size()) + "#" + plat::text::WideToBytes(CP_ACP, t);
    return plat::fs::WriteFile(shortcut, line.data(), line.size()) ? TRUE : FALSE;
}

BOOL SHGetShortcutTarget(const char16_t* shortcut, char16_t* target, int size) {
    if (!shortcut || !target || size <= 0) return FALSE;
    FILE* f = plat::fs::OpenFile(shortcut, "rb");
    if (!f) return FALSE;
    std::string bytes(kMaxShortcutBytes + 1, '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    if (bytes.size() > kMaxShortcutBytes) return FALSE;
    const size_t hash = bytes.find('#');
    if (hash == 0 || hash == std::string::npos || bytes.find_first_not_of("0123456789") != hash) return FALSE;
    std::string rest = bytes.substr(hash + 1);
    rest.resize(std::min(rest.find_first_of("\r\n"), rest.size()));
    const std::u16string text = plat::text::BytesToWide(CP_ACP, rest);
    if (text.size() + 1 > size_t(size)) return FALSE;
    text.copy(target, text.size());
    target[text.size()] = u'\0';
    return TRUE;
}
