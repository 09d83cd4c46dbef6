// Installation packages: a tar (plain or gzip-compressed) or zip archive of
// the files of one install folder, read with libarchive. A package is
// untrusted until it has been read whole: every entry must be a regular file
// or a folder named relative to the install folder ('/' or '\' between
// names, "." names ignored), with no absolute name, no drive, no ".." and
// no link of either kind. A package with one entry that breaks the rules is
// refused as a whole, before anything is written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace installer {

enum class PackageError {
    None,
    Open,          // the file cannot be opened
    Format,        // not a tar or zip archive, or broken
    AbsoluteName,  // begins with '/' or '\', or names a drive
    ParentName,    // a ".." name
    BadName,       // empty, not UTF-8, or a name the device cannot hold
    Link,          // a symbolic or hard link
    NotAFile,      // a device, a pipe, a socket
};
// For messages.
const char* ErrorText(PackageError error);

struct PackageEntry {
    std::u16string name;  // relative, names joined by '\'
    bool directory = false;
    bool executable = false;  // a file with an execute bit in the package
    uint64_t size = 0;
};

struct PackageContents {
    PackageError error = PackageError::None;
    std::string badEntry;  // the entry's name as the package has it
    std::vector<PackageEntry> entries;  // in package order; empty on error
};

// The entry's name relative to the install folder; an error for one that
// breaks the rules. The empty name is the folder itself (".", "./").
PackageError RelativeName(std::string_view packageName, std::u16string* relative);

// Reads the package file (a machine path) whole, checking every entry.
PackageContents ReadPackage(const std::string& hostPath);
// The same for a package in memory.
PackageContents ReadPackageBytes(const void* data, size_t size);

// Reads the package again and hands each entry with a reader of its bytes
// (read(buffer, size) answers the bytes read, 0 at the end, -1 on error).
// Stops at the first entry for which visit answers false. False when the
// package cannot be read.
using ReadBytes = std::function<long(void* buffer, size_t size)>;
bool ExtractPackage(const std::string& hostPath,
                    const std::function<bool(const PackageEntry& entry, const ReadBytes& read)>& visit);

}  // namespace installer
