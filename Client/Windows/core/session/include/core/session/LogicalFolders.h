// The logical folders: the host names files by a short name and the client
// resolves it through this table, by the name's extension, by a command's
// default folder, or by an explicit "%FOLDER%" form.
#pragma once

#include <optional>
#include <string>
#include <string_view>

class CPacket;

struct LogicalFolder {
    const char16_t* name;   // upper case; empty for the end record
    std::u16string extension;  // with its dot; empty when the folder claims none
    std::u16string path;       // relative or absolute; empty until set
};

// Paths are bounded to this many characters, end mark included, where a
// "%FOLDER%" form is resolved.
constexpr size_t kMaxFolderPath = 260;

// With an extension (non-empty), the path of the first folder claiming it;
// otherwise, with a name, the path of the first folder of that name. Both
// compare without regard to case. The walk stops at the first folder without
// a path, so nothing after an unset folder is found.
std::optional<std::u16string> FindFolder(std::u16string_view name, std::u16string_view extension);

// Sets the path of the folder found as FindFolder finds it (but walking the
// whole table). 1 when found, 0 otherwise or when no path is given (null).
int RegisterFolder(std::u16string_view name, std::u16string_view extension, const char16_t* path);

// Resolves a host file name: fills directory and may rewrite name in place
// (a "%FOLDER%" prefix is taken off). The file is then
// FileUtil::JoinPath(directory, name). defaultFolder may be empty.
void BuildFolderPath(std::u16string& directory, std::u16string& name, std::u16string_view defaultFolder);

// A name the host gives in the packet's current field (a file, a folder, a
// library or a function), of at most kMaxFolderPath - 1 characters. A longer
// one reads as empty, which every command answers as a failure: it is never
// cut down to the name of another file.
std::u16string ReadHostName(CPacket* pkt);

// Restores the table as it is at start (for tests).
void ResetLogicalFolders();
