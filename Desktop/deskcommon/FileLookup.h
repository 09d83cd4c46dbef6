// Files named by users of the desktop programs come from a system whose file
// names ignore case: an existing file is found whatever the case of its name.
#pragma once

#include <string>

namespace deskcommon {

// The existing path that equals path without regard to case, component by
// component (an exact match wins); path unchanged when there is none.
std::string FindFileNoCase(const std::string& path);

// Writes bytes to path through a temporary file in the same folder that is
// renamed over it once complete; false (and the old file untouched) on failure.
bool ReplaceFile(const std::string& path, const std::string& bytes);

}  // namespace deskcommon
