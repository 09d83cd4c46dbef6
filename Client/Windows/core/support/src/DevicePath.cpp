#include "core/support/DevicePath.h"

void SplitPath(std::u16string_view path, std::u16string* drive, std::u16string* directory, std::u16string* name,
               std::u16string* extension) {
    size_t colon = path.find(u':');
    size_t start = colon == std::u16string_view::npos ? 0 : colon + 1;
    size_t slash = path.rfind(u'\\');
    size_t nameStart = (slash == std::u16string_view::npos || slash < start) ? start : slash + 1;
    // A dot in a directory name is no extension.
    size_t dot = path.rfind(u'.');
    if (dot != std::u16string_view::npos && dot < nameStart) dot = std::u16string_view::npos;
    size_t nameEnd = dot == std::u16string_view::npos ? path.size() : dot;
    if (drive) drive->assign(path.substr(0, start));
    if (directory) directory->assign(path.substr(start, nameStart - start));
    if (name) name->assign(path.substr(nameStart, nameEnd - nameStart));
    if (extension) extension->assign(dot == std::u16string_view::npos ? std::u16string_view() : path.substr(dot));
}

std::u16string_view SearchFolderOf(std::u16string_view path) {
    size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash + 1);
}

std::u16string_view SearchPatternOf(std::u16string_view path) { return path.substr(SearchFolderOf(path).size()); }

namespace FileUtil {

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
    if (!name.empty() && name[0] == u'\\') return std::u16string(name);
    std::u16string out(folder);
    if (!out.empty() && out.back() != u'\\') out += u'\\';
    out += name;
    return out;
}

}  // namespace FileUtil
