// orvade-install: installs a package into a device root, or removes it.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "Installer.h"
#include "platform/DeviceFs.h"
#include "platform/Process.h"
#include "platform/Text.h"

namespace {

constexpr char kUsage[] =
    "usage: orvade-install [--device-root DIR] [--folder PATH] [--setup NAME] PACKAGE\n"
    "       orvade-install [--device-root DIR] [--folder PATH] [--setup NAME] --uninstall\n"
    "\n"
    "Unpacks PACKAGE (a tar, tar.gz or zip archive) into the install folder of the\n"
    "device root and calls the hooks of its setup library, or removes what an\n"
    "installation put there.\n"
    "  --device-root DIR  the device's file system (default: $ORVADE_DEVICE_ROOT,\n"
    "                     else ~/.local/share/orvade/device), made when missing\n"
    "  --folder PATH      the install folder, a device path (default: the program\n"
    "                     folder, \\Program Files\\Orvade Client)\n"
    "  --setup NAME       the package's setup library (default: Instavo.dll; an\n"
    "                     empty name calls no hooks)\n"
    "Exit status: 0 done, 1 failed, 2 bad arguments or a package that is refused.\n";

int usage(const char* problem) {
    if (problem) std::fprintf(stderr, "orvade-install: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string deviceRoot, package;
    std::u16string folder, setup = installer::kDefaultSetupLibrary;
    bool uninstall = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--uninstall") {
            uninstall = true;
        } else if (arg == "--device-root" && hasValue) {
            deviceRoot = argv[++i];
        } else if (arg == "--folder" && hasValue) {
            folder = plat::text::Utf8ToWide(argv[++i]);
        } else if (arg == "--setup" && hasValue) {
            setup = plat::text::Utf8ToWide(argv[++i]);
        } else if (!arg.empty() && arg[0] == '-') {
            return usage(("unknown option or missing value: " + arg).c_str());
        } else if (package.empty()) {
            package = arg;
        } else {
            return usage("more than one package");
        }
    }
    if (uninstall == !package.empty()) return usage(uninstall ? "--uninstall takes no package" : "no package");
    if (!deviceRoot.empty()) plat::fs::SetDeviceRoot(deviceRoot);
    // Started by a program of a device, it stays on that device.
    std::string refused = plat::process::RefusedOutsideRoot(plat::fs::DeviceRoot(), true);
    if (refused.empty() && !uninstall) refused = plat::process::RefusedOutsideRoot(package, false);
    if (!refused.empty()) return usage(refused.c_str());
    std::error_code ec;
    std::filesystem::create_directories(plat::fs::DeviceRoot(), ec);
    if (ec) {
        std::fprintf(stderr, "orvade-install: cannot make the device root %s: %s\n", plat::fs::DeviceRoot().c_str(),
                     ec.message().c_str());
        return 1;
    }
    if (folder.empty()) folder = plat::fs::ProgramFolder();
    if (!plat::fs::IsValidFilePath(folder)) return usage("the install folder must be a device path such as \\Application\\Client");

    const installer::Outcome outcome = uninstall ? installer::Uninstall(folder, setup) : installer::Install(package, folder, setup);
    if (!outcome.ok) {
        std::fprintf(stderr, "orvade-install: %s\n", outcome.message.c_str());
        // A package refused before anything was written is the caller's to fix.
        return !uninstall && outcome.failedFiles == 0 && outcome.failedFolders == 0 &&
                       outcome.message.find(package) == 0
                   ? 2
                   : 1;
    }
    return 0;
}
