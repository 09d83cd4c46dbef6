#include "deskcommon/FileLookup.h"

#include <strings.h>

#include <filesystem>
#include <system_error>

#include "deskcommon/SaveFile.h"

namespace deskcommon {

namespace fs = std::filesystem;

std::string FindFileNoCase(const std::string& path) {
    std::error_code ec;
    if (path.empty() || fs::exists(fs::symlink_status(path, ec)))
        return path;
    fs::path in(path);
    fs::path out = in.root_path();
    for (const fs::path& part : in.relative_path()) {
        fs::path exact = out.empty() ? part : out / part;
        if (fs::exists(fs::symlink_status(exact, ec))) {
            out = exact;
            continue;
        }
        fs::path found;
        fs::path dir = out.empty() ? fs::path(".") : out;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            if (strcasecmp(it->path().filename().c_str(), part.c_str()) == 0) {
                found = it->path().filename();
                break;
            }
        }
        if (found.empty())
            return path;
        out = out.empty() ? found : out / found;
    }
    return out.string();
}

bool ReplaceFile(const std::string& path, const std::string& bytes) {
    CSaveFile file;
    return file.Open(path) && file.Write(bytes.data(), bytes.size()) && file.Commit();
}

}  // namespace deskcommon
