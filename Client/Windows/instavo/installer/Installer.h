// Installs a package into a folder of the device root and removes it again,
// calling the hooks of the package's setup library as the device's own
// installer does: Install_Init before the files are written, Install_Exit
// after (with the counts of folders and files that failed), Uninstall_Init
// before the files go and Uninstall_Exit after. The setup library runs from
// a copy in the device's temporary folder, loaded through the device file
// system like every library.
//
// The installed files are listed in "Install.lst" of the install folder (one
// relative name a line, folders ending in '\'), which removal reads: only
// those files go, and folders the installation made only when they are empty.
// The list is written last, after Install_Exit, and only when every file and
// folder was written: a folder with its list is installed whole.
#pragma once

#include <string>
#include <string_view>

#include "Package.h"
#include "platform/DeviceFs.h"

namespace installer {

inline constexpr const char16_t* kInstalledList = plat::fs::kInstallList;
inline constexpr char16_t kDefaultSetupLibrary[] = u"Instavo.dll";

struct Outcome {
    bool ok = false;
    std::string message;  // what went wrong, for the user
    int failedFolders = 0;
    int failedFiles = 0;
};

// folder: a device path. setupLibrary: the file of the package, at its top,
// whose hooks are called; none when the package has no such file.
Outcome Install(const std::string& packageHostPath, std::u16string_view folder,
                std::u16string_view setupLibrary = kDefaultSetupLibrary);
Outcome Uninstall(std::u16string_view folder, std::u16string_view setupLibrary = kDefaultSetupLibrary);

}  // namespace installer
