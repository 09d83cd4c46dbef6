// The entry of liborvade_installer.so (see InstallerLibrary.cpp): installs a
// package into a device folder; 1 on success, else 0 with what went wrong
// in message (always terminated).
#pragma once

#include <cstddef>

inline constexpr char kInstallerLibrary[] = "liborvade_installer.so";
inline constexpr char kInstallEntry[] = "orvade_install_package";
using InstallPackageFn = int (*)(const char* packageHostPath, const char16_t* folder, char* message,
                                 size_t messageSize);
