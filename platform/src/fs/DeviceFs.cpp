#include "platform/DeviceFs.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QChar>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/Text.h"

namespace plat::fs {

using text::Utf8ToWide;
using text::WideToUtf8;

namespace {

constexpr char16_t kDefaultProgramFolder[] = u"\\Program Files\\Orvade Client";

struct Config {
    std::mutex mutex;
    std::string root;  // empty: environment or default
    std::u16string programDevice = kDefaultProgramFolder;
    std::string programHost;  // empty: the executable's directory
};

Config& Cfg() {
    static Config config;
    return config;
}

std::string StripTrailingSlashes(std::string s) {
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string HomeDirectory() {
    if (const char* home = getenv("HOME"); home && *home) return home;
    struct passwd pw, *found = nullptr;
    char buf[4096];
    if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "/tmp";
}

std::string ExecutableDirectory() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, size_t(n));
    size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

char16_t Fold(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    if (c >= 0xD800 && c < 0xE000) return c;
    char32_t folded = QChar::toCaseFolded(char32_t(c));
    return folded > 0xFFFF ? c : char16_t(folded);
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t x = Fold(a[i]), y = Fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The device name of a machine name; nothing when the name is not valid
// UTF-8 (it could not be named back).
std::optional<std::u16string> DeviceName(const char* hostName) {
    std::u16string wide = Utf8ToWide(hostName);
    if (WideToUtf8(wide) != hostName) return std::nullopt;
    return wide;
}

std::vector<std::u16string_view> Components(std::u16string_view path) {
    std::vector<std::u16string_view> parts;
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find(u'\\', i);
        if (j == std::u16string_view::npos) j = path.size();
        if (j > i) parts.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    return parts;
}

bool MakeDirectories(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(path.substr(0, slash))) return false;
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

// The entry of dir whose name matches name when case is ignored; the
// byte-wise smallest when several do.
std::optional<std::string> FindNoCase(const std::string& dir, std::u16string_view name) {
    DIR* d = opendir(dir.c_str());
    if (!d) return std::nullopt;
    std::optional<std::string> best;
    while (dirent* e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        auto wide = DeviceName(e->d_name);
        if (wide && CompareNoCase(*wide, name) == 0 && (!best || *best > e->d_name)) best = e->d_name;
    }
    closedir(d);
    return best;
}

struct Resolved {
    std::string host;
    bool isBase = false;  // the device root or the program folder itself
};

std::optional<Resolved> Resolve(std::u16string_view devicePath) {
    if (devicePath.empty() || devicePath[0] != u'\\' || !IsSafePath(devicePath)) return std::nullopt;
    std::vector<std::u16string_view> parts = Components(devicePath);

    std::string base;
    bool mounted = false;
    {
        Config& c = Cfg();
        std::lock_guard lock(c.mutex);
        std::vector<std::u16string_view> mount = Components(c.programDevice);
        mounted = !mount.empty() && parts.size() >= mount.size() &&
                       std::equal(mount.begin(), mount.end(), parts.begin(),
                                  [](auto a, auto b) { return CompareNoCase(a, b) == 0; });
        if (mounted) {
            base = c.programHost.empty() ? ExecutableDirectory() : c.programHost;
            parts.erase(parts.begin(), parts.begin() + ptrdiff_t(mount.size()));
        } else {
            base = c.root;
        }
    }
    if (base.empty()) base = DeviceRoot();
    if (!mounted && !MakeDirectories(base)) return std::nullopt;

    Resolved r{base, parts.empty()};
    bool existing = true;
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string name = WideToUtf8(parts[i]);
        if (Utf8ToWide(name) != parts[i]) return std::nullopt;  // lone surrogates
        std::string path = r.host + "/" + name;
        struct stat st;
        if (existing && lstat(path.c_str(), &st) != 0) {
            if (auto match = FindNoCase(r.host, parts[i])) {
                path = r.host + "/" + *match;
                lstat(path.c_str(), &st);
            } else {
                existing = false;
            }
        }
        // A link is a file: never pass through it.
        if (existing && i + 1 < parts.size() && S_ISLNK(st.st_mode)) return std::nullopt;
        r.host = std::move(path);
    }
    return r;
}

// The path of an entry that may be changed: never the root or the program folder.
std::optional<std::string> ResolveEntry(std::u16string_view devicePath) {
    auto r = Resolve(devicePath);
    if (!r || r->isBase) return std::nullopt;
    return r->host;
}

bool FillData(const std::string& host, std::u16string name, FindData* fd) {
    struct statx sx;
    if (statx(AT_FDCWD, host.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return false;
    fd->name = std::move(name);
    fd->isDirectory = S_ISDIR(sx.stx_mode);
    fd->size = fd->isDirectory ? 0 : sx.stx_size;
    auto ft = [](const statx_timestamp& t) { return plat::clock::UnixToFileTime(t.tv_sec, t.tv_nsec); };
    fd->lastAccessTime = ft(sx.stx_atime);
    fd->lastWriteTime = ft(sx.stx_mtime);
    fd->creationTime = (sx.stx_mask & STATX_BTIME) ? ft(sx.stx_btime) : fd->lastWriteTime;
    return true;
}

bool IsRealDirectory(const std::string& host) {
    struct stat st;
    return lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveHostTree(const std::string& dir) {
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
            std::string path = dir + "/" + e->d_name;
            if (IsRealDirectory(path))
                RemoveHostTree(path);
            else
                unlink(path.c_str());
        }
        closedir(d);
    }
    return rmdir(dir.c_str()) == 0;
}

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

bool CopyHostFile(const std::string& from, const std::string& to, bool failIfExists) {
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat src, dst;
    bool ok = fstat(in, &src) == 0 && S_ISREG(src.st_mode);
    // Copying a file onto itself would truncate it first.
    if (ok && stat(to.c_str(), &dst) == 0 && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) ok = false;
    int out = -1;
    if (ok) {
        int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
        out = open(to.c_str(), flags, src.st_mode & 0777);
        ok = out >= 0;
    }
    char buf[65536];
    while (ok) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = WriteAll(out, buf, size_t(n));
    }
    if (ok) {
        const struct timespec times[2] = {src.st_atim, src.st_mtim};
        futimens(out, times);
    }
    if (out >= 0 && close(out) != 0) ok = false;
    if (out >= 0 && !ok) unlink(to.c_str());
    close(in);
    return ok;
}

struct timespec ToTimespec(const FILETIME* ft) {
    struct timespec ts{};
    if (!ft) {
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    int64_t s = 0, ns = 0;
    plat::clock::FileTimeToUnix(*ft, &s, &ns);
    ts.tv_sec = time_t(s);
    ts.tv_nsec = long(ns);
    return ts;
}

}  // namespace

void SetDeviceRoot(const std::string& hostDirectory) {
    Config& c = Cfg();
    std::lock_guard lock(c.mutex);
    c.root = StripTrailingSlashes(hostDirectory);
}

std::string DeviceRoot() {
    {
        Config& c = Cfg();
        std::lock_guard lock(c.mutex);
        if (!c.root.empty()) return c.root;
    }
    if (const char* env = getenv("ORVADE_DEVICE_ROOT"); env && *env) return StripTrailingSlashes(env);
    return HomeDirectory() + "/.local/share/orvade/device";
}

void SetProgramFolder(const std::u16string& devicePath) {
    Config& c = Cfg();
    std::lock_guard lock(c.mutex);
    c.programDevice = devicePath.empty() ? std::u16string(kDefaultProgramFolder) : devicePath;
}

void SetProgramFolder(const std::u16string& devicePath, const std::string& hostDirectory) {
    Config& c = Cfg();
    std::lock_guard lock(c.mutex);
    c.programDevice = devicePath.empty() ? std::u16string(kDefaultProgramFolder) : devicePath;
    c.programHost = StripTrailingSlashes(hostDirectory);
}

std::u16string ProgramFolder() {
    Config& c = Cfg();
    std::lock_guard lock(c.mutex);
    return c.programDevice;
}

std::string ProgramHostDirectory() {
    Config& c = Cfg();
    std::lock_guard lock(c.mutex);
    return c.programHost.empty() ? ExecutableDirectory() : c.programHost;
}

std::u16string TempFolder() {
    const std::u16string temp = u"\\Temp";
    if (auto host = ToHostPath(temp)) mkdir(host->c_str(), 0777);
    return temp;
}

bool IsSafePath(std::u16string_view devicePath) {
    if (devicePath.find_first_of(std::u16string_view(u"/\0", 2)) != std::u16string_view::npos) return false;
    for (auto part : Components(devicePath))
        if (part == u"." || part == u"..") return false;
    return true;
}

bool IsSafeName(std::u16string_view name) {
    return !name.empty() && name.find(u'\\') == std::u16string_view::npos && IsSafePath(name);
}

std::optional<std::string> ToHostPath(std::u16string_view devicePath) {
    auto r = Resolve(devicePath);
    if (!r) return std::nullopt;
    return r->host;
}

namespace {
bool Glob(std::u16string_view p, std::u16string_view n) {
    size_t pi = 0, ni = 0, star = std::u16string_view::npos, mark = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == u'*') {
            star = pi++;
            mark = ni;
        } else if (pi < p.size() && (p[pi] == u'?' || Fold(p[pi]) == Fold(n[ni]))) {
            ++pi;
            ++ni;
        } else if (star != std::u16string_view::npos) {
            pi = star + 1;
            ni = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*') ++pi;
    return pi == p.size();
}
}  // namespace

bool WildcardMatch(std::u16string_view pattern, std::u16string_view name) {
    if (pattern.empty() || name.empty()) return false;
    if (pattern.size() >= 2 && pattern.ends_with(u".*") && Glob(pattern.substr(0, pattern.size() - 2), name))
        return true;
    if (pattern.size() >= 2 && pattern.back() == u'.') {
        std::u16string_view stem = pattern.substr(0, pattern.size() - 1);
        auto dots = [](std::u16string_view s) { return std::count(s.begin(), s.end(), u'.'); };
        if (dots(name) <= dots(stem) && Glob(stem, name)) return true;
    }
    return Glob(pattern, name);
}

std::vector<FindData> FindFiles(std::u16string_view devicePattern) {
    std::vector<FindData> found;
    size_t slash = devicePattern.rfind(u'\\');
    if (slash == std::u16string_view::npos) return found;
    std::u16string_view spec = devicePattern.substr(slash + 1);
    if (!IsSafeName(spec)) return found;
    auto dir = ToHostPath(slash == 0 ? u"\\" : devicePattern.substr(0, slash));
    if (!dir || !IsRealDirectory(*dir)) return found;
    DIR* d = opendir(dir->c_str());
    if (!d) return found;
    while (dirent* e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        auto name = DeviceName(e->d_name);
        FindData fd;
        if (name && WildcardMatch(spec, *name) && FillData(*dir + "/" + e->d_name, *name, &fd))
            found.push_back(std::move(fd));
    }
    closedir(d);
    std::sort(found.begin(), found.end(), [](const FindData& a, const FindData& b) {
        int c = CompareNoCase(a.name, b.name);
        return c != 0 ? c < 0 : a.name < b.name;
    });
    return found;
}

std::optional<FindData> GetFileData(std::u16string_view devicePath) {
    auto r = Resolve(devicePath);
    if (!r) return std::nullopt;
    // The stored name; the root has none, the program folder its device name.
    auto parts = Components(devicePath);
    std::u16string name;
    if (!r->isBase)
        name = Utf8ToWide(r->host.substr(r->host.rfind('/') + 1));
    else if (!parts.empty())
        name = parts.back();
    FindData fd;
    if (!FillData(r->host, std::move(name), &fd)) return std::nullopt;
    return fd;
}

bool Exists(std::u16string_view devicePath) {
    struct stat st;
    auto host = ToHostPath(devicePath);
    return host && lstat(host->c_str(), &st) == 0;
}

bool IsDirectory(std::u16string_view devicePath) {
    auto host = ToHostPath(devicePath);
    return host && IsRealDirectory(*host);
}

bool CreateDirectory(std::u16string_view devicePath) {
    auto host = ResolveEntry(devicePath);
    return host && mkdir(host->c_str(), 0777) == 0;
}

bool RemoveDirectory(std::u16string_view devicePath) {
    auto host = ResolveEntry(devicePath);
    return host && IsRealDirectory(*host) && rmdir(host->c_str()) == 0;
}

bool RemoveTree(std::u16string_view devicePath) {
    auto host = ResolveEntry(devicePath);
    return host && IsRealDirectory(*host) && RemoveHostTree(*host);
}

bool DeleteFile(std::u16string_view devicePath) {
    auto host = ResolveEntry(devicePath);
    struct stat st;
    return host && lstat(host->c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && unlink(host->c_str()) == 0;
}

bool MoveFile(std::u16string_view from, std::u16string_view to) {
    auto src = ResolveEntry(from);
    auto dst = ResolveEntry(to);
    struct stat st;
    if (!src || !dst || lstat(src->c_str(), &st) != 0) return false;
    if (*dst == *src) {
        // The same entry under another case: rename it to the name as given.
        std::u16string_view last = Components(to).back();
        *dst = dst->substr(0, dst->rfind('/') + 1) + WideToUtf8(last);
        if (*dst == *src) return true;
    }
    if (renameat2(AT_FDCWD, src->c_str(), AT_FDCWD, dst->c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EINVAL || errno == ENOSYS) {  // no RENAME_NOREPLACE on this file system
        struct stat existing;
        if (lstat(dst->c_str(), &existing) == 0) return false;
        if (rename(src->c_str(), dst->c_str()) == 0) return true;
    }
    // A file moves to another file system by copy and delete.
    if (errno != EXDEV || !S_ISREG(st.st_mode) || !CopyHostFile(*src, *dst, true)) return false;
    if (unlink(src->c_str()) == 0) return true;
    unlink(dst->c_str());
    return false;
}

bool ReplaceFile(std::u16string_view from, std::u16string_view to) {
    auto src = ResolveEntry(from);
    auto dst = ResolveEntry(to);
    struct stat st, old;
    if (!src || !dst || lstat(src->c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (lstat(dst->c_str(), &old) == 0 && S_ISDIR(old.st_mode)) return false;
    return rename(src->c_str(), dst->c_str()) == 0;
}

bool CopyFile(std::u16string_view from, std::u16string_view to, bool failIfExists) {
    auto src = ResolveEntry(from);
    auto dst = ResolveEntry(to);
    return src && dst && CopyHostFile(*src, *dst, failIfExists);
}

FILE* OpenFile(std::u16string_view devicePath, const char* mode) {
    auto host = ResolveEntry(devicePath);
    if (!host || !mode) return nullptr;
    return fopen(host->c_str(), (std::string(mode) + "e").c_str());
}

bool GetDiskFreeSpace(std::u16string_view devicePath, uint64_t* freeBytes, uint64_t* totalBytes) {
    auto host = ToHostPath(devicePath);
    struct statvfs vfs;
    if (!host || statvfs(host->c_str(), &vfs) != 0) return false;
    if (freeBytes) *freeBytes = uint64_t(vfs.f_bavail) * vfs.f_frsize;
    if (totalBytes) *totalBytes = uint64_t(vfs.f_blocks) * vfs.f_frsize;
    return true;
}

bool SetFileTimes(std::u16string_view devicePath, const FILETIME* lastAccess, const FILETIME* lastWrite) {
    auto host = ToHostPath(devicePath);
    if (!host) return false;
    const struct timespec times[2] = {ToTimespec(lastAccess), ToTimespec(lastWrite)};
    return utimensat(AT_FDCWD, host->c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace plat::fs
