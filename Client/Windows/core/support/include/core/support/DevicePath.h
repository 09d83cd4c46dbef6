// Device paths: '\'-separated, no drive letters on this device.
#pragma once

#include <string>
#include <string_view>

// Splits a device path; any output may be null. drive: up to and including
// the first ':'; directory: up to and including the last '\'; extension: from
// the last '.' of the last component; name: the rest of the last component.
void SplitPath(std::u16string_view path, std::u16string* drive, std::u16string* directory,
               std::u16string* name, std::u16string* extension);

// The folder part of a search path, up to and including its last '\', and
// the rest, the name pattern. A ':' is part of a name here.
std::u16string_view SearchFolderOf(std::u16string_view path);
std::u16string_view SearchPatternOf(std::u16string_view path);

namespace FileUtil {

// A name beginning with '\' is taken alone; otherwise folder + '\' (when the
// folder is not empty and does not end with one) + name.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

}  // namespace FileUtil
