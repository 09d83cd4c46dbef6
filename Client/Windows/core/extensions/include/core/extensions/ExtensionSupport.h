// Small pieces the extension wrappers share.
#pragma once

#include <string>
#include <string_view>

// Calls the bound export when the library has it, else answers the fixed value.
#define CALL_OR(fn, missing, ...) ((fn) ? (fn)(__VA_ARGS__) : (missing))

// folder + "\" + name (no doubled separator).
inline std::u16string JoinFolder(std::u16string_view folder, std::u16string_view name) {
    std::u16string path(folder);
    if (!path.empty() && path.back() != u'\\') path += u'\\';
    path += name;
    return path;
}
