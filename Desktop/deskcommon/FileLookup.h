// Files named by users of the desktop programs come from a system whose file
// names ignore case: an existing file is found whatever the case of its name.
#pragma once

#include <string>

namespace deskcommon {

// The existing path that equals path without regard to case, component by
// component (an exact match wins); path unchanged when there is none.
std::string FindFileNoCase(const std::string& path);

// Writes bytes to the file path names, by the rules of CSaveFile (links
// followed, a file the user may not write refused, permissions kept, the old
// content whole until the new one is complete); false with errno telling
// why.
bool ReplaceFile(const std::string& path, const std::string& bytes);

}  // namespace deskcommon
