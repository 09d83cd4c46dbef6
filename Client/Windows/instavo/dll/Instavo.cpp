// "Instavo.dll": the client's setup library. The installer calls its hooks
// while it installs or removes the client; at the end of an installation it
// adds the install folder's fonts, records the folder, writes the start-up
// entry that runs Corvel at cold boot and adds the launcher entry; at
// removal it takes the fonts and the start-up entry away. No hook reports a
// failure: each step goes on whatever the one before did.
#include <string>

#include "instavo/Registration.h"
#include "platform/DeviceFs.h"
#include "platform/Gdi.h"
#include "platform/exports/SetupExports.h"

namespace {

std::u16string join(std::u16string_view folder, std::u16string_view name) {
    return std::u16string(folder) + u"\\" + std::u16string(name);
}

// The "*.fnt" files of the folder, by device path.
std::vector<std::u16string> fontsOf(std::u16string_view folder) {
    std::vector<std::u16string> fonts;
    for (const plat::fs::FindData& f : plat::fs::FindNames(join(folder, u"*.fnt")))
        if (!f.isDirectory) fonts.push_back(join(folder, f.name));
    return fonts;
}

}  // namespace

ORVADE_EXPORT DWORD Install_Init(HWND, BOOL, BOOL, const char16_t*) { return kSetupContinue; }

ORVADE_EXPORT DWORD Install_Exit(HWND, const char16_t* installDir, WORD, WORD, WORD, WORD, WORD) {
    try {
        if (!installDir) return kSetupContinue;
        const std::u16string folder(installDir);
        for (const std::u16string& font : fontsOf(folder)) AddFontResource(font.c_str());
        instavo::SetInstallDir(folder);
        instavo::WriteStartupEntry(folder);
        instavo::AddLauncherEntry(join(folder, u"Launchwick.exe"));
    } catch (...) {
    }
    return kSetupContinue;
}

ORVADE_EXPORT DWORD Uninstall_Init(HWND, const char16_t* installDir) {
    try {
        if (installDir)
            for (const std::u16string& font : fontsOf(installDir)) RemoveFontResource(font.c_str());
        instavo::RemoveStartupEntry();
    } catch (...) {
    }
    return kSetupContinue;
}

ORVADE_EXPORT DWORD Uninstall_Exit(HWND) { return kSetupContinue; }
