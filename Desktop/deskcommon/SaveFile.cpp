#include "deskcommon/SaveFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/DeviceFs.h"

namespace deskcommon {

namespace fs = std::filesystem;

namespace {

// As many links as the system itself follows before it gives up.
constexpr int kMaxLinks = 40;

// A save's temporary file of the target: "." name "." and mkstemp's six
// letters or digits.
bool IsTempOf(const std::string& entry, const std::string& prefix) {
    constexpr size_t kLetters = 6;
    if (entry.size() != prefix.size() + kLetters || entry.compare(0, prefix.size(), prefix) != 0) return false;
    return std::all_of(entry.begin() + static_cast<std::ptrdiff_t>(prefix.size()), entry.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

// Removes the temporary files of the target's earlier saves that were cut
// short (the program killed): ours, regular files, and held by no save under
// way (every save holds its file locked until it commits or discards it).
void RemoveStaleTemps(const fs::path& folder, const std::string& prefix) {
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return;
    const int dir = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        if (!IsTempOf(e->d_name, prefix)) continue;
        const int fd = ::openat(dir, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(dir, e->d_name, 0);
        ::close(fd);
    }
    ::closedir(d);
}

}  // namespace

bool FollowLinks(const std::string& path, std::string& target, int& error) {
    std::string at = path;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = at;
            return true;
        }
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        ssize_t n = ::readlink(at.c_str(), link.data(), link.size());
        if (n < 0) {
            error = errno;
            return false;
        }
        link.resize(static_cast<size_t>(n));
        fs::path next(link);
        at = next.is_absolute() ? link : (fs::path(at).parent_path() / next).string();
    }
    error = ELOOP;
    return false;
}

CSaveFile::~CSaveFile() {
    Discard();
}

bool CSaveFile::Fail(int code) {
    m_errno = code;
    m_error = std::strerror(code);
    Discard();
    errno = code;
    return false;
}

bool CSaveFile::Open(const std::string& path) {
    Discard();
    m_error.clear();
    m_errno = 0;
    int error = 0;
    if (path.empty())
        return Fail(ENOENT);
    if (!FollowLinks(path, m_target, error))
        return Fail(error);
    struct stat old {};
    bool exists = ::stat(m_target.c_str(), &old) == 0;
    if (exists) {
        if (S_ISDIR(old.st_mode))
            return Fail(EISDIR);
        if (!S_ISREG(old.st_mode))
            return Fail(EINVAL);
        // A file without write permission is read-only to everyone, the
        // administrator included, who would otherwise replace it unasked.
        if (::access(m_target.c_str(), W_OK) != 0)
            return Fail(errno);
        if ((old.st_mode & 0222) == 0)
            return Fail(EACCES);
    }
    fs::path target(m_target);
    const std::string prefix = "." + target.filename().string() + ".";
    RemoveStaleTemps(target.parent_path(), prefix);
    m_temp = (target.has_parent_path() ? target.parent_path() / "" : fs::path()).string() + prefix + "XXXXXX";
    m_fd = ::mkstemp(m_temp.data());
    if (m_fd < 0) {
        int code = errno;
        m_temp.clear();
        return Fail(code);
    }
    // Held while the save is under way: another save's clean-up leaves it.
    ::flock(m_fd, LOCK_EX);
    // The old file's permissions (with its owner and group when we may set
    // them), or those of a newly created file rather than mkstemp's 0600.
    mode_t mode;
    if (exists) {
        mode = old.st_mode & 07777;
        // Where neither can be kept the file becomes ours, as a new one.
        bool kept = ::fchown(m_fd, old.st_uid, old.st_gid) == 0 ||
                    ::fchown(m_fd, static_cast<uid_t>(-1), old.st_gid) == 0;
        (void)kept;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(m_fd, mode) != 0)
        return Fail(errno);
    return true;
}

bool CSaveFile::Write(const void* bytes, size_t count) {
    if (m_fd < 0)
        return Fail(EBADF);
    const char* p = static_cast<const char*>(bytes);
    while (count > 0) {
        ssize_t n = ::write(m_fd, p, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Fail(n < 0 ? errno : EIO);
        p += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

bool CSaveFile::Commit() {
    if (m_fd < 0)
        return Fail(EBADF);
    if (::fsync(m_fd) != 0)
        return Fail(errno);
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return Fail(errno);
    if (std::rename(m_temp.c_str(), m_target.c_str()) != 0)
        return Fail(errno);
    m_temp.clear();
    // The new name on disk too; a folder that cannot be synced is no failure
    // of the save.
    plat::fs::SyncHostFolder(fs::path(m_target).parent_path().string());
    return true;
}

void CSaveFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

}  // namespace deskcommon
