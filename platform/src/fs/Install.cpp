// Folders and execute bits for what an installation unpacks. See DeviceFs.h.
#include <sys/stat.h>

#include <cstdio>

#include "platform/DeviceFs.h"

bool plat::fs::SetExecutable(std::u16string_view devicePath, bool executable) {
    // Opened through the layer: a regular file reached through no link.
    FILE* f = OpenFile(devicePath, "rb");
    if (!f) return false;
    const bool ok = ::fchmod(fileno(f), executable ? 0755 : 0644) == 0;
    std::fclose(f);
    return ok;
}

bool plat::fs::CreateDirectories(std::u16string_view devicePath) {
    if (devicePath.empty() || devicePath[0] != u'\\') return false;
    for (size_t at = devicePath.find(u'\\', 1);; at = devicePath.find(u'\\', at + 1)) {
        const std::u16string_view part = devicePath.substr(0, at);
        if (!IsDirectory(part) && !CreateDirectory(part)) return false;
        if (at == std::u16string_view::npos) return true;
    }
}
