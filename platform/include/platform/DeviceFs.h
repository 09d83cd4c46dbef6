// Device file system: every path the programs handle is a device path with
// '\' separators ("\Temp\a.txt"). It is mapped to the machine's file system
// only here, under the device root directory, which is a boundary: nothing
// a device path names lies outside it.
//
// - The device root: SetDeviceRoot, else $ORVADE_DEVICE_ROOT (a relative one
//   is taken from the current folder), else
//   ~/.local/share/orvade/device (created when a path is first mapped).
// - Device paths are absolute: a path that does not begin with '\' is refused
//   (maps to nothing, every operation fails). Repeated '\' count as one.
// - Existing names are found without regard to case (per component: the exact
//   name first, else the byte-wise smallest name that matches when case is
//   ignored); new names are created as given. Machine names that are not valid
//   UTF-8 cannot be named by a device path and are never listed. Names in
//   another case come from an index of each folder's names, read again when
//   the folder's change time moves; a name another program makes in the
//   same clock tick as the folder's last change can take until the tick is
//   over to be found (see src/fs/NameIndex.h).
// - Enumeration is sorted by name (case-insensitively, ties by exact name) and
//   uses Windows wildcard rules ('*', '?', "*.*" matches every name).
// - Every operation works on folder handles opened from the device root one
//   name at a time, never through a symbolic link (openat2 with
//   RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS where the kernel has it, else
//   O_NOFOLLOW | O_DIRECTORY per name), so a link swapped in between a check
//   and a use is never followed.
// - Symbolic links inside the device root are files: they are listed as files,
//   never entered (a path that passes through one as a folder maps to
//   nothing), never opened through, and deleting one deletes the link only.
// - Only regular files are opened: a FIFO, a device node or a link is refused.
// - "." and ".." components are refused: no path leaves the device root.
// - The program folder (default "\Program Files\Orvade Client") is an
//   ordinary folder of the device root, never the directory of the running
//   program.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace plat::fs {

// An empty directory restores $ORVADE_DEVICE_ROOT or the default.
void SetDeviceRoot(const std::string& hostDirectory);
std::string DeviceRoot();

// The device path of the program folder; an empty path restores
// "\Program Files\Orvade Client".
void SetProgramFolder(const std::u16string& devicePath);
std::u16string ProgramFolder();
// The temporary folder, "\Temp", created on first use.
std::u16string TempFolder();

// True when no component of the path is "." or "..", and it holds no '/' or NUL.
bool IsSafePath(std::u16string_view devicePath);
// A single name a host gave: safe, not empty, no '\'.
bool IsSafeName(std::u16string_view name);
// A path a file could be created at: absolute, safe, valid UTF-16, and with a
// last name (not the root, not ending in '\'). Nothing is checked on disk.
bool IsValidFilePath(std::u16string_view devicePath);
// Whether a device path is the folder or lies inside it: their names compared
// one by one as the file system matches them (without regard to case, empty
// names between backslashes skipped). Nothing is checked on disk.
bool IsWithin(std::u16string_view devicePath, std::u16string_view folder);

// The list an installation leaves in its install folder ("Install.lst"): one
// name a line relative to the folder, in UTF-8, a folder's ending in '\'.
inline constexpr char16_t kInstallList[] = u"Install.lst";
struct InstalledName {
    std::u16string path;  // a device path
    bool folder;
};
// What an installation in the folder wrote, by its list; nothing without one.
std::vector<InstalledName> InstalledNames(std::u16string_view folder);

// The machine path for a device path, for messages and for the few callers
// that can only open by path (they must refuse a link there themselves, as
// the registry's SQLite does with NOFOLLOW): existing components are matched
// without regard to case, the rest are used as given. Nothing for an unsafe or relative path, or one that passes
// through a symbolic link.
std::optional<std::string> ToHostPath(std::u16string_view devicePath);

// Windows wildcard rules, case-insensitive: '*' any run, '?' one character;
// a pattern ending in ".*" also matches the names its part before ".*"
// matches ("*.*" matches every name, "a.*" matches "a"); a pattern ending in
// '.' matches names without a further extension ("*." matches "readme", not
// "a.txt").
bool WildcardMatch(std::u16string_view pattern, std::u16string_view name);

struct FindData {
    std::u16string name;
    bool isDirectory = false;
    uint64_t size = 0;
    // Linux has no settable creation time: this is the birth time where the
    // file system records one (statx), else the last-write time.
    FILETIME creationTime{};
    FILETIME lastAccessTime{};
    FILETIME lastWriteTime{};
};
// Entries of the pattern's folder whose names match its last component
// ("\Data\*.txt"), sorted by name; "." and ".." never appear. Symbolic links
// are reported as files and never entered.
std::vector<FindData> FindFiles(std::u16string_view devicePattern);
// The same entries with their names and whether they are folders only (sizes
// and times are left zero): the kind comes from the folder's listing, an
// entry is looked at only where the file system does not give it there.
std::vector<FindData> FindNames(std::u16string_view devicePattern);
// The entry itself (its name as stored, in its stored case); a link is a file.
std::optional<FindData> GetFileData(std::u16string_view devicePath);

bool Exists(std::u16string_view devicePath);
bool IsDirectory(std::u16string_view devicePath);  // false for a link to one
bool CreateDirectory(std::u16string_view devicePath);  // the parent must exist
bool RemoveDirectory(std::u16string_view devicePath);  // empty directories only
// The directory and those above it that are missing.
bool CreateDirectories(std::u16string_view devicePath);
// The directory with everything in it, depth first, never following links.
// The device root and the program folder are refused.
bool RemoveTree(std::u16string_view devicePath);
bool DeleteFile(std::u16string_view devicePath);  // files and links, not directories
// Fails when the destination exists (a change of case only is allowed);
// a file moves between file systems by copy and delete.
bool MoveFile(std::u16string_view from, std::u16string_view to);
// Moves an entry onto the destination, replacing an existing file in one step
// (a reader sees the old or the new file, never a part); both must be on one
// file system. Fails for directories. The source's bytes and the new name are
// on disk when it returns, so a power cut leaves the old file or the new.
bool ReplaceFile(std::u16string_view from, std::u16string_view to);
// Copies the bytes and the last-write time of a regular file; never onto the
// source itself. A replaced destination is replaced in one step.
bool CopyFile(std::u16string_view from, std::u16string_view to, bool failIfExists);

// stdio on a regular file of a device path ("rb", "wb", "ab", "r+b", "wbx"...);
// null when it cannot be opened, and for anything but a regular file.
FILE* OpenFile(std::u16string_view devicePath, const char* mode);

// Writes the bytes to a new file beside the path, then gives it the path's
// name in one step: on any failure (a full disk) the old file stays as it was,
// and after a power cut the path holds the old bytes or the new.
bool WriteFile(std::u16string_view devicePath, const void* data, size_t size);
// Gives a regular file the execute bits (mode 0755) or takes them away
// (0644). Only installation calls it, for the programs of a package: nothing
// a host sends does, so a host's files never run.
bool SetExecutable(std::u16string_view devicePath, bool executable);
// Puts the names of a host folder on disk after a rename into it, as
// WriteFile and ReplaceFile do for theirs: without it a power cut can take
// the new name away. The empty path is the current folder; false when the
// folder cannot be opened.
bool SyncHostFolder(const std::string& hostFolder);
// Removes the temporary files that writes cut short (a kill, a power cut)
// left anywhere in the device root: files named as CreateTempFile names
// them, never through a link. Only when no other process that writes here
// runs (each holds the root while it runs): -1 then, else how many went.
// Listings never show these files.
int SweepTempFiles();
// A new empty file, of a name no one uses, in the folder (which must exist):
// its device path. Written, then given its name with ReplaceFile.
std::optional<std::u16string> CreateTempFile(std::u16string_view deviceFolder);

// Free bytes available to this user, total bytes and free bytes in all of the
// file system that holds the path, which must exist; any output may be null.
bool GetDiskFreeSpace(std::u16string_view devicePath, uint64_t* freeBytes, uint64_t* totalBytes,
                      uint64_t* totalFreeBytes = nullptr);
// Access and last-write times (a null pointer leaves that time) of the entry
// itself (a link's own times). Linux has no settable creation time: true
// when the other times were set.
bool SetFileTimes(std::u16string_view devicePath, const FILETIME* lastAccess, const FILETIME* lastWrite);

}  // namespace plat::fs
