// Device file system: every path the programs handle is a device path with
// '\' separators ("\Temp\a.txt"). It is mapped to the machine's file system
// only here, under the device root directory.
//
// - The device root: SetDeviceRoot, else $ORVADE_DEVICE_ROOT, else
//   ~/.local/share/orvade/device (created on first use).
// - Existing names are found without regard to case; new names are created as given.
// - Enumeration is sorted by name (case-insensitively) and uses Windows
//   wildcard rules ('*', '?', "*.*" matches every name).
// - Recursive operations never follow symbolic links.
// - "." and ".." components are refused: no path leaves the device root.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace plat::fs {

void SetDeviceRoot(const std::string& hostDirectory);
std::string DeviceRoot();

// The device folder of the running program (a folder under the device root
// that holds its libraries), overridable for tests.
void SetProgramFolder(const std::u16string& devicePath);
std::u16string ProgramFolder();
// The temporary folder, "\Temp", created on first use.
std::u16string TempFolder();

// True when no component of the path is "." or "..", and it holds no '/' or NUL.
bool IsSafePath(std::u16string_view devicePath);
// A single name a host gave: safe, not empty, no '\'.
bool IsSafeName(std::u16string_view name);

// The machine path for a device path: existing components are matched
// without regard to case, the rest are used as given. Nothing for an unsafe path.
std::optional<std::string> ToHostPath(std::u16string_view devicePath);

bool WildcardMatch(std::u16string_view pattern, std::u16string_view name);

struct FindData {
    std::u16string name;
    bool isDirectory = false;
    uint64_t size = 0;
    FILETIME creationTime{};
    FILETIME lastAccessTime{};
    FILETIME lastWriteTime{};
};
// Entries of the pattern's folder whose names match its last component
// ("\Data\*.txt"), sorted by name; "." and ".." never appear. Symbolic links
// are reported as files and never entered.
std::vector<FindData> FindFiles(std::u16string_view devicePattern);
std::optional<FindData> GetFileData(std::u16string_view devicePath);

bool Exists(std::u16string_view devicePath);
bool IsDirectory(std::u16string_view devicePath);
bool CreateDirectory(std::u16string_view devicePath);
bool RemoveDirectory(std::u16string_view devicePath);  // empty directories only
bool DeleteFile(std::u16string_view devicePath);
bool MoveFile(std::u16string_view from, std::u16string_view to);
bool CopyFile(std::u16string_view from, std::u16string_view to, bool failIfExists);

// stdio on a device path ("rb", "wb", "ab", "r+b"...); null when it cannot be opened.
FILE* OpenFile(std::u16string_view devicePath, const char* mode);

// Free and total bytes of the file system that holds the path.
bool GetDiskFreeSpace(std::u16string_view devicePath, uint64_t* freeBytes, uint64_t* totalBytes);
// Access and last-write times (a null pointer leaves that time); creation
// times cannot be set here.
bool SetFileTimes(std::u16string_view devicePath, const FILETIME* lastAccess, const FILETIME* lastWrite);

}  // namespace plat::fs
