// Installation packages: whatever the bytes, a package that is read has only
// relative names that stay inside the install folder, and a refused one
// lists nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "Package.h"
#include "platform/DeviceFs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const installer::PackageContents contents = installer::ReadPackageBytes(data, size);
    if (contents.error != installer::PackageError::None && !contents.entries.empty()) std::abort();
    for (const installer::PackageEntry& e : contents.entries) {
        if (e.name.empty() || e.name.front() == u'\\' || e.name.back() == u'\\') std::abort();
        if (!plat::fs::IsValidFilePath(u"\\Folder\\" + e.name)) std::abort();
        if (e.name.find(u':') != std::u16string::npos) std::abort();
        if (e.directory && e.executable) std::abort();
    }
    return 0;
}
