// What the file and device commands tell the host, in the host's formats:
// file listings and battery numbers.
#pragma once

#include <cstdint>
#include <string_view>

class CPacketBuffer;

namespace FileUtil {

// Lists files of folder\pattern into the writer (name, with details
// FC size FC local date YYYYMMDD FC local time HHMMSS, then FD) and
// recurses into every subdirectory with the same pattern. With
// subfoldersOnly the folder's own files are left out. The writer may be
// null (counting only). Returns the number of files listed.
int32_t ListDirectory(std::u16string_view folder, std::u16string_view pattern, CPacketBuffer* writer,
                      bool subfoldersOnly, bool details);

// Main battery: 0 high or charging, 1 low or critical, 2 none or unknown.
// Backup battery: 1 high or charging, 0 low or critical, 2 none or unknown.
// Other flag values leave an output as it was; both 0 when the status cannot
// be read; nothing happens when an output is null.
void GetPowerStatus(int32_t* mainBattery, int32_t* backupBattery);

// Byte counts as the host reads them: a signed 32-bit field, so anything
// above 2 GiB shows as 0x7FFFFFFF, never as a negative number.
int32_t ClampByteCount(uint64_t bytes);
// Available physical memory in bytes, clamped as above.
int32_t FreeMemory();

}  // namespace FileUtil
