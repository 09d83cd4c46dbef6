// The installer as a library the launcher loads only when it installs:
// libarchive and what it needs are then no part of every start.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "Installer.h"
#include "InstallerLibrary.h"

extern "C" __attribute__((visibility("default"))) int orvade_install_package(const char* packageHostPath,
                                                                             const char16_t* folder, char* message,
                                                                             size_t messageSize) {
    if (!packageHostPath || !folder) return 0;
    const installer::Outcome outcome = installer::Install(packageHostPath, folder);
    if (message && messageSize > 0) {
        const size_t n = std::min(outcome.message.size(), messageSize - 1);
        std::memcpy(message, outcome.message.data(), n);
        message[n] = 0;
    }
    return outcome.ok ? 1 : 0;
}
