// What installation and the cold-boot registration write for the client:
// the install folder value, the start-up entry that runs Corvel at cold boot
// and the entry of the device vendor's program launcher.
#pragma once

#include <string>
#include <string_view>

namespace instavo {

// HKEY_LOCAL_MACHINE, REG_SZ: the install folder as the installer gave it.
inline constexpr char16_t kInstallKey[] = u"Software\\Quillmar\\Orvade Client";
inline constexpr char16_t kInstallDirValue[] = u"InstallDir";
// One line "<folder>\Corvel.exe" CR LF in the default code page.
inline constexpr char16_t kStartupEntry[] = u"\\application\\startup\\Corvel.run";
// HKEY_CURRENT_USER: subkeys "Prog<n>" with "Name" and "Description".
inline constexpr char16_t kLauncherKey[] = u"Software\\Tarvex\\Launcher\\Default\\Programs";
inline constexpr char16_t kProductTitle[] = u"Quillmar Orvade";

bool SetInstallDir(std::u16string_view folder);
// Only for a folder under "\application" or "\mmc card" (without regard to
// case), whose files outlive a cold boot; false otherwise or when the entry
// cannot be written.
bool WriteStartupEntry(std::u16string_view folder);
bool RemoveStartupEntry();
// The launcher entry for the program: the "Prog<n>" subkey whose
// Description is the product title (without regard to case), else a new one
// numbered one past the largest "Prog<n>" there.
bool AddLauncherEntry(std::u16string_view programPath);

}  // namespace instavo
