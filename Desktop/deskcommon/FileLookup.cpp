#include "deskcommon/FileLookup.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

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
    fs::path target(path);
    std::string temp = (target.has_parent_path() ? target.parent_path() / "" : fs::path()).string() + "." +
                       target.filename().string() + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    bool ok = done == bytes.size() && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    // Keep the old file's permissions, or those of a newly created file
    // rather than mkstemp's 0600.
    struct stat old {};
    mode_t mode;
    if (stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    chmod(temp.c_str(), mode);
    if (ok && std::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    unlink(temp.c_str());
    return false;
}

}  // namespace deskcommon
