#include "platform/DeviceFs.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <utility>

#include "Fd.h"
#include "NameIndex.h"
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

using names::DeviceName;
using names::Fold;

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t x = Fold(a[i]), y = Fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
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

// Opens one name of a folder, never through a link and never above the
// folder: openat2 refuses any link on the way where the kernel has it, and a
// single name with O_NOFOLLOW does the same where it has not.
int OpenBeneath(int dir, const char* name, int flags, mode_t mode = 0) {
    static std::atomic<bool> noOpenat2{false};
    flags |= O_NOFOLLOW | O_CLOEXEC;
    if (!noOpenat2.load(std::memory_order_relaxed)) {
        struct open_how how{};
        how.flags = static_cast<uint64_t>(flags);
        how.mode = (flags & (O_CREAT | O_TMPFILE)) ? mode : 0;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        long fd = syscall(SYS_openat2, dir, name, &how, sizeof how);
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
        noOpenat2.store(true, std::memory_order_relaxed);
    }
    return openat(dir, name, flags, mode);
}

Fd OpenDirectoryIn(int dir, const std::string& name) {
    return Fd(OpenBeneath(dir, name.c_str(), O_RDONLY | O_DIRECTORY));
}

bool StatAt(int dir, const std::string& name, struct stat* st) {
    return fstatat(dir, name.empty() ? "" : name.c_str(), st, name.empty() ? AT_EMPTY_PATH : AT_SYMLINK_NOFOLLOW) == 0;
}

// The machine name in dir for a device name: the exact name when it exists,
// else the byte-wise smallest that matches when case is ignored (from the
// folder's index), else the name as given.
std::string MatchName(int dir, std::u16string_view name, const std::string& exact) {
    struct stat st;
    if (StatAt(dir, exact, &st)) return exact;
    return names::Smallest(dir, name).value_or(exact);
}

// Where a device path lies: the opened folder that holds it and its machine
// name there. The device root itself has no name (name is empty, dir is the root).
struct Location {
    Fd dir;
    std::string name;
    std::string hostPath;  // never opened here
    bool IsRoot() const { return name.empty(); }
};

std::string RootPath() { return DeviceRoot(); }

// Checks the form of a device path and splits it into machine names.
std::optional<std::vector<std::pair<std::u16string_view, std::string>>> SplitPath(std::u16string_view devicePath) {
    if (devicePath.empty() || devicePath[0] != u'\\' || !IsSafePath(devicePath)) return std::nullopt;
    std::vector<std::pair<std::u16string_view, std::string>> parts;
    for (auto part : Components(devicePath)) {
        std::string name = WideToUtf8(part);
        if (Utf8ToWide(name) != part) return std::nullopt;  // lone surrogates
        parts.emplace_back(part, std::move(name));
    }
    return parts;
}

// With pathOnly, a missing folder on the way ends the walk: the rest of the
// names are taken as given and the location has no handle.
std::optional<Location> Locate(std::u16string_view devicePath, bool pathOnly = false) {
    auto parts = SplitPath(devicePath);
    if (!parts) return std::nullopt;
    std::string root = RootPath();
    if (!MakeDirectories(root)) return std::nullopt;
    Location loc{Fd(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)), {}, root};
    if (!loc.dir) return std::nullopt;
    for (size_t i = 0; i < parts->size(); ++i) {
        const auto& [wide, exact] = (*parts)[i];
        std::string name = MatchName(loc.dir.get(), wide, exact);
        loc.hostPath += "/" + name;
        if (i + 1 == parts->size()) {
            loc.name = std::move(name);
            break;
        }
        // A folder on the way: a link or a file there ends the path.
        Fd next = OpenDirectoryIn(loc.dir.get(), name);
        if (!next && pathOnly && errno == ENOENT) {
            for (size_t j = i + 1; j < parts->size(); ++j) loc.hostPath += "/" + (*parts)[j].second;
            loc.dir.reset();
            return loc;
        }
        if (!next) return std::nullopt;
        loc.dir = std::move(next);
    }
    return loc;
}

// A location that may be changed: never the device root.
std::optional<Location> LocateEntry(std::u16string_view devicePath) {
    auto loc = Locate(devicePath);
    if (!loc || loc->IsRoot()) return std::nullopt;
    return loc;
}

// The folder a device path names, opened; nothing for a file, a link or a missing name.
Fd OpenFolder(std::u16string_view devicePath) {
    auto loc = Locate(devicePath);
    if (!loc) return {};
    if (loc->IsRoot()) return std::move(loc->dir);
    return OpenDirectoryIn(loc->dir.get(), loc->name);
}

// The program folder, or with andAbove a folder that holds it too.
bool IsProgramFolder(std::u16string_view devicePath, bool andAbove = false) {
    std::u16string program = ProgramFolder();
    auto a = Components(devicePath), b = Components(program);
    return (a.size() == b.size() || (andAbove && a.size() < b.size())) &&
           std::equal(a.begin(), a.end(), b.begin(), [](auto x, auto y) { return CompareNoCase(x, y) == 0; });
}

bool FillData(int dir, const std::string& name, std::u16string deviceName, FindData* fd) {
    struct statx sx;
    const int flags = name.empty() ? AT_EMPTY_PATH : AT_SYMLINK_NOFOLLOW;
    if (statx(dir, name.c_str(), flags, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
    fd->name = std::move(deviceName);
    fd->isDirectory = S_ISDIR(sx.stx_mode);
    fd->size = fd->isDirectory ? 0 : sx.stx_size;
    auto ft = [](const statx_timestamp& t) { return plat::clock::UnixToFileTime(t.tv_sec, t.tv_nsec); };
    fd->lastAccessTime = ft(sx.stx_atime);
    fd->lastWriteTime = ft(sx.stx_mtime);
    fd->creationTime = (sx.stx_mask & STATX_BTIME) ? ft(sx.stx_btime) : fd->lastWriteTime;
    return true;
}

bool IsDirectoryAt(int dir, const std::string& name) {
    struct stat st;
    return StatAt(dir, name, &st) && S_ISDIR(st.st_mode);
}

// The calls that change a folder's names, told to its index.
bool Unlink(int dir, const std::string& name, int flags = 0) {
    names::Change change(dir);
    if (unlinkat(dir, name.c_str(), flags) != 0) return false;
    change.Done({name}, {});
    return true;
}

bool Rename(int from, const std::string& oldName, int to, const std::string& newName, unsigned flags = 0) {
    names::Change out(from), in(to);
    const int r = flags ? renameat2(from, oldName.c_str(), to, newName.c_str(), flags)
                        : renameat(from, oldName.c_str(), to, newName.c_str());
    if (r != 0) return false;
    // Renaming a name onto another link of the same file changes nothing.
    struct stat st;
    if (fstatat(from, oldName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        in.Done({}, {newName});
    } else if (out.SameFolder(in)) {
        out.Done({oldName}, {newName});
    } else {
        out.Done({oldName}, {});
        in.Done({}, {newName});
    }
    return true;
}

bool MakeDirectoryAt(int dir, const std::string& name) {
    names::Change change(dir);
    if (mkdirat(dir, name.c_str(), 0777) != 0) return false;
    change.Done({}, {name});
    return true;
}

// The folder goes with everything in it: its index too.
bool RemoveDirectoryAt(int dir, const std::string& name) {
    names::Forget(dir, name);
    return Unlink(dir, name, AT_REMOVEDIR);
}

// Everything in the opened folder, depth first. A folder is entered only
// through a handle opened without following links, so a link swapped in for
// it is deleted as a link, never followed.
void EmptyFolder(int dir) {
    std::vector<std::string> entries;
    names::ForEachEntry(dir, [&](const char* name, unsigned char) { entries.emplace_back(name); });
    for (const auto& name : entries) {
        if (Fd sub = OpenDirectoryIn(dir, name)) {
            EmptyFolder(sub.get());
            RemoveDirectoryAt(dir, name);
        } else {
            Unlink(dir, name);
        }
    }
}

bool WriteAll(int fd, const char* p, size_t n) {
    // Large contents go in writes of 256 KiB: the page cache takes one
    // write of many MiB in large folios, which costs several times more
    // when memory has been given back to the system meanwhile.
    constexpr size_t kWritePiece = size_t(256) << 10;
    while (n > 0) {
        ssize_t w = write(fd, p, std::min(n, kWritePiece));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = ENOSPC;
            return false;
        }
        p += w;
        n -= size_t(w);
    }
    return true;
}

// Opens a regular file only: a FIFO, a device or a link is refused, and
// opening never blocks.
Fd OpenRegularAt(int dir, const std::string& name, int flags, mode_t mode = 0666) {
    struct stat st;
    // A file this may create is told to the folder's index.
    std::optional<names::Change> change;
    if ((flags & O_CREAT) && ((flags & O_EXCL) || !StatAt(dir, name, &st))) change.emplace(dir);
    Fd fd(OpenBeneath(dir, name.c_str(), flags | O_NONBLOCK, mode));
    if (fd && change) change->Done({}, {name});
    if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// The name CreateTempAt gives: ".~", 12 hex digits, ".tmp".
bool IsTempName(std::string_view name) {
    constexpr size_t kDigits = 12;
    if (name.size() != 2 + kDigits + 4 || !name.starts_with(".~") || !name.ends_with(".tmp")) return false;
    return std::all_of(name.begin() + 2, name.begin() + 2 + kDigits,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Every process that writes through temporary files holds the device root
// shared (flock on the folder, released by the kernel when the process
// dies); a sweep takes it alone, so it never takes a file a live writer is
// still filling.
struct RootHold {
    std::mutex mutex;
    std::string root;
    Fd fd;
};

RootHold& Hold() {
    static RootHold hold;
    return hold;
}

// The hold's folder, for the current root; under the hold's mutex.
int HeldRoot(RootHold& hold) {
    const std::string root = DeviceRoot();
    if (hold.root != root || !hold.fd) {
        hold.fd.reset(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        hold.root = root;
        if (hold.fd) flock(hold.fd.get(), LOCK_SH);
    }
    return hold.fd.get();
}

void HoldRootShared() {
    RootHold& hold = Hold();
    std::lock_guard<std::mutex> lock(hold.mutex);
    HeldRoot(hold);
}

// Temporary files of ours below the folder, never through a link.
int SweepFolder(int dir, int depth) {
    std::vector<std::pair<std::string, unsigned char>> entries;
    names::ForEachEntry(dir, [&](const char* name, unsigned char type) { entries.emplace_back(name, type); });
    int removed = 0;
    for (const auto& [name, type] : entries) {
        struct stat st;
        if (IsTempName(name)) {
            if (StatAt(dir, name, &st) && S_ISREG(st.st_mode) && Unlink(dir, name)) ++removed;
        } else if (depth > 0 && (type == DT_DIR || type == DT_UNKNOWN)) {
            if (Fd sub = OpenDirectoryIn(dir, name)) removed += SweepFolder(sub.get(), depth - 1);
        }
    }
    return removed;
}

// A new, empty file of a name no one uses, beside the file it will replace.
Fd CreateTempAt(int dir, std::string* name) {
    HoldRootShared();
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t r = 0;
        if (getrandom(&r, sizeof r, 0) != sizeof r) r = uint64_t(getpid()) * 2654435761u + uint64_t(attempt);
        char text[32];
        snprintf(text, sizeof text, ".~%012llx.tmp", static_cast<unsigned long long>(r & 0xFFFFFFFFFFFFull));
        names::Change change(dir);
        Fd fd(OpenBeneath(dir, text, O_RDWR | O_CREAT | O_EXCL, 0666));
        if (fd) {
            change.Done({}, {text});
            *name = text;
            return fd;
        }
        if (errno != EEXIST) return {};
    }
    return {};
}

// Copies the bytes of one open file to another, and the times.
bool CopyContent(int in, int out) {
    char buf[65536];
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        if (!WriteAll(out, buf, size_t(n))) return false;
    }
    struct stat src;
    if (fstat(in, &src) != 0) return false;
    const struct timespec times[2] = {src.st_atim, src.st_mtim};
    futimens(out, times);
    return true;
}

// A folder's names on disk: after a rename into it, a power cut can no
// longer take the new name away. A file system that cannot sync a folder
// keeps its names by other means; that is no failure.
void SyncFolder(int dir) { fsync(dir); }

// Writes a new file beside the destination, then renames it over it in one
// step: the old file stays whole until the new one is complete.
template <typename Fill>
bool ReplaceWith(const Location& dst, Fill&& fill) {
    struct stat st;
    if (StatAt(dst.dir.get(), dst.name, &st) && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return false;
    std::string temp;
    Fd out = CreateTempAt(dst.dir.get(), &temp);
    if (!out) return false;
    // On disk before the rename, so the name never points at a file not yet written.
    bool ok = fill(out.get()) && fdatasync(out.get()) == 0;
    if (close(out.release()) != 0) ok = false;
    if (ok) ok = Rename(dst.dir.get(), temp, dst.dir.get(), dst.name);
    if (ok) SyncFolder(dst.dir.get());
    if (!ok) Unlink(dst.dir.get(), temp);
    return ok;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

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

// open(2) flags for an fopen mode; nothing for a mode fopen would refuse.
std::optional<int> OpenFlags(const char* mode) {
    int flags;
    switch (mode[0]) {
        case 'r': flags = 0; break;
        case 'w': flags = O_CREAT | O_TRUNC; break;
        case 'a': flags = O_CREAT | O_APPEND; break;
        default: return std::nullopt;
    }
    bool plus = strchr(mode, '+') != nullptr;
    flags |= plus ? O_RDWR : (mode[0] == 'r' ? O_RDONLY : O_WRONLY);
    if (strchr(mode, 'x')) flags |= O_EXCL;
    return flags;
}

}  // namespace

namespace {

// The root as given, made absolute against the folder the program started
// in: every program it starts runs in the root, where a relative root would
// name a folder inside it.
std::string Absolute(const std::string& directory) {
    if (directory.empty() || directory[0] == '/') return directory;
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(directory, error);
    return error ? directory : path.string();
}

}  // namespace

void SetDeviceRoot(const std::string& hostDirectory) {
    Config& c = Cfg();
    std::lock_guard lock(c.mutex);
    c.root = Absolute(StripTrailingSlashes(hostDirectory));
}

std::string DeviceRoot() {
    {
        Config& c = Cfg();
        std::lock_guard lock(c.mutex);
        if (!c.root.empty()) return c.root;
    }
    if (const char* env = getenv("ORVADE_DEVICE_ROOT"); env && *env) return Absolute(StripTrailingSlashes(env));
    return HomeDirectory() + "/.local/share/orvade/device";
}

void SetProgramFolder(const std::u16string& devicePath) {
    Config& c = Cfg();
    std::lock_guard lock(c.mutex);
    c.programDevice = devicePath.empty() ? std::u16string(kDefaultProgramFolder) : devicePath;
}

std::u16string ProgramFolder() {
    Config& c = Cfg();
    std::lock_guard lock(c.mutex);
    return c.programDevice;
}

std::u16string TempFolder() {
    const std::u16string temp = u"\\Temp";
    CreateDirectory(temp);
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

bool IsValidFilePath(std::u16string_view devicePath) {
    auto parts = SplitPath(devicePath);
    return parts && !parts->empty() && devicePath.back() != u'\\';
}

bool IsWithin(std::u16string_view devicePath, std::u16string_view folder) {
    const auto a = Components(devicePath), b = Components(folder);
    return a.size() >= b.size() &&
           std::equal(b.begin(), b.end(), a.begin(), [](auto x, auto y) { return CompareNoCase(x, y) == 0; });
}

std::optional<std::string> ToHostPath(std::u16string_view devicePath) {
    auto loc = Locate(devicePath, true);
    if (!loc) return std::nullopt;
    return loc->hostPath;
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

namespace {

// FindFiles, and with types only FindNames.
std::vector<FindData> Find(std::u16string_view devicePattern, bool details) {
    std::vector<FindData> found;
    size_t slash = devicePattern.rfind(u'\\');
    if (slash == std::u16string_view::npos) return found;
    std::u16string_view spec = devicePattern.substr(slash + 1);
    if (!IsSafeName(spec)) return found;
    Fd dir = OpenFolder(slash == 0 ? u"\\" : devicePattern.substr(0, slash));
    if (!dir) return found;
    auto add = [&](const std::string& entry, unsigned char type) {
        // An unfinished write is no file yet.
        if (IsTempName(entry)) return;
        auto name = DeviceName(entry);
        if (!name || !WildcardMatch(spec, *name)) return;
        FindData fd;
        if (details) {
            if (!FillData(dir.get(), entry, *name, &fd)) return;
        } else {
            // The listing's type where it gives one; a link is a file.
            struct stat st;
            if (type == DT_UNKNOWN && !StatAt(dir.get(), entry, &st)) return;
            fd.isDirectory = type == DT_UNKNOWN ? S_ISDIR(st.st_mode) : type == DT_DIR;
            fd.name = std::move(*name);
        }
        found.push_back(std::move(fd));
    };
    if (spec.find_first_of(u"*?") == std::u16string_view::npos && spec.back() != u'.') {
        // One name: the entries of it in every case come from the folder's index.
        for (const std::string& entry : names::Matches(dir.get(), spec)) add(entry, DT_UNKNOWN);
    } else {
        names::ForEachEntry(dir.get(), [&](const char* entry, unsigned char type) { add(entry, type); });
    }
    // By the folded names, computed once, then by the names themselves.
    std::vector<std::pair<std::u16string, size_t>> order;
    order.reserve(found.size());
    for (size_t k = 0; k < found.size(); ++k) {
        std::u16string folded = found[k].name;
        for (char16_t& c : folded) c = Fold(c);
        order.emplace_back(std::move(folded), k);
    }
    std::sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : found[a.second].name < found[b.second].name;
    });
    std::vector<FindData> sorted;
    sorted.reserve(found.size());
    for (const auto& [folded, k] : order) sorted.push_back(std::move(found[k]));
    return sorted;
}

}  // namespace

std::vector<FindData> FindFiles(std::u16string_view devicePattern) { return Find(devicePattern, true); }

std::vector<FindData> FindNames(std::u16string_view devicePattern) { return Find(devicePattern, false); }

std::optional<FindData> GetFileData(std::u16string_view devicePath) {
    auto loc = Locate(devicePath);
    if (!loc) return std::nullopt;
    FindData fd;
    // The stored name; the root has none.
    if (!FillData(loc->dir.get(), loc->name, Utf8ToWide(loc->name), &fd)) return std::nullopt;
    return fd;
}

bool Exists(std::u16string_view devicePath) {
    auto loc = Locate(devicePath);
    struct stat st;
    return loc && StatAt(loc->dir.get(), loc->name, &st);
}

bool IsDirectory(std::u16string_view devicePath) {
    auto loc = Locate(devicePath);
    return loc && IsDirectoryAt(loc->dir.get(), loc->name);
}

bool CreateDirectory(std::u16string_view devicePath) {
    auto loc = LocateEntry(devicePath);
    return loc && MakeDirectoryAt(loc->dir.get(), loc->name);
}

bool RemoveDirectory(std::u16string_view devicePath) {
    auto loc = LocateEntry(devicePath);
    // unlinkat refuses a link or a file here: it removes empty directories only.
    return loc && !IsProgramFolder(devicePath) && RemoveDirectoryAt(loc->dir.get(), loc->name);
}

bool RemoveTree(std::u16string_view devicePath) {
    auto loc = LocateEntry(devicePath);
    // Removing a folder above the program folder would remove it as well.
    if (!loc || IsProgramFolder(devicePath, true)) return false;
    Fd dir = OpenDirectoryIn(loc->dir.get(), loc->name);
    if (!dir) return false;
    EmptyFolder(dir.get());
    return RemoveDirectoryAt(loc->dir.get(), loc->name);
}

bool DeleteFile(std::u16string_view devicePath) {
    auto loc = LocateEntry(devicePath);
    struct stat st;
    // unlinkat without AT_REMOVEDIR never removes a directory swapped in meanwhile.
    return loc && StatAt(loc->dir.get(), loc->name, &st) && !S_ISDIR(st.st_mode) && Unlink(loc->dir.get(), loc->name);
}

bool MoveFile(std::u16string_view from, std::u16string_view to) {
    auto src = LocateEntry(from);
    auto dst = LocateEntry(to);
    struct stat st, srcDir, dstDir;
    if (!src || !dst || !StatAt(src->dir.get(), src->name, &st)) return false;
    if (fstat(src->dir.get(), &srcDir) == 0 && fstat(dst->dir.get(), &dstDir) == 0 && SameFile(srcDir, dstDir) &&
        dst->name == src->name) {
        // The same entry under another case: rename it to the name as given.
        dst->name = WideToUtf8(Components(to).back());
        if (dst->name == src->name) return true;
    }
    const int from_ = src->dir.get(), to_ = dst->dir.get();
    if (Rename(from_, src->name, to_, dst->name, RENAME_NOREPLACE)) return true;
    if (errno == EINVAL || errno == ENOSYS) {  // no RENAME_NOREPLACE on this file system
        struct stat existing;
        if (StatAt(to_, dst->name, &existing)) return false;
        if (Rename(from_, src->name, to_, dst->name)) return true;
    }
    // A file moves to another file system by copy and delete.
    if (errno != EXDEV || !S_ISREG(st.st_mode)) return false;
    Fd in = OpenRegularAt(from_, src->name, O_RDONLY);
    Fd out = OpenRegularAt(to_, dst->name, O_WRONLY | O_CREAT | O_EXCL, st.st_mode & 0777);
    if (!in || !out) return false;
    bool ok = CopyContent(in.get(), out.get());
    if (close(out.release()) != 0) ok = false;
    if (ok && Unlink(from_, src->name)) return true;
    Unlink(to_, dst->name);
    return false;
}

bool ReplaceFile(std::u16string_view from, std::u16string_view to) {
    auto src = LocateEntry(from);
    auto dst = LocateEntry(to);
    struct stat st, old;
    if (!src || !dst || !StatAt(src->dir.get(), src->name, &st) || S_ISDIR(st.st_mode)) return false;
    if (StatAt(dst->dir.get(), dst->name, &old) && S_ISDIR(old.st_mode)) return false;
    // On disk before the rename, as WriteFile's content is: the name never
    // points at a file not yet written, even after a power loss.
    Fd data = OpenRegularAt(src->dir.get(), src->name, O_RDONLY);
    if (data && fdatasync(data.get()) != 0) return false;
    if (!Rename(src->dir.get(), src->name, dst->dir.get(), dst->name)) return false;
    SyncFolder(dst->dir.get());
    struct stat srcDir, dstDir;
    if (fstat(src->dir.get(), &srcDir) == 0 && fstat(dst->dir.get(), &dstDir) == 0 && !SameFile(srcDir, dstDir))
        SyncFolder(src->dir.get());
    return true;
}

bool CopyFile(std::u16string_view from, std::u16string_view to, bool failIfExists) {
    auto src = LocateEntry(from);
    auto dst = LocateEntry(to);
    if (!src || !dst) return false;
    Fd in = OpenRegularAt(src->dir.get(), src->name, O_RDONLY);
    struct stat st, existing;
    if (!in || fstat(in.get(), &st) != 0) return false;
    // Copying a file onto itself would lose it.
    if (StatAt(dst->dir.get(), dst->name, &existing) && SameFile(existing, st)) return false;
    if (!failIfExists)
        return ReplaceWith(*dst, [&](int out) { return fchmod(out, st.st_mode & 0777) == 0 && CopyContent(in.get(), out); });
    Fd out = OpenRegularAt(dst->dir.get(), dst->name, O_WRONLY | O_CREAT | O_EXCL, st.st_mode & 0777);
    if (!out) return false;
    bool ok = CopyContent(in.get(), out.get());
    if (close(out.release()) != 0) ok = false;
    if (!ok) Unlink(dst->dir.get(), dst->name);
    return ok;
}

FILE* OpenFile(std::u16string_view devicePath, const char* mode) {
    if (!mode) return nullptr;
    auto flags = OpenFlags(mode);
    auto loc = LocateEntry(devicePath);
    if (!flags || !loc) return nullptr;
    Fd fd = OpenRegularAt(loc->dir.get(), loc->name, *flags);
    if (!fd) return nullptr;
    std::string fdMode(mode);
    fdMode.erase(std::remove(fdMode.begin(), fdMode.end(), 'x'), fdMode.end());
    FILE* f = fdopen(fd.get(), fdMode.c_str());
    if (f) fd.release();
    return f;
}

bool WriteFile(std::u16string_view devicePath, const void* data, size_t size) {
    auto loc = LocateEntry(devicePath);
    if (!loc) return false;
    return ReplaceWith(*loc, [&](int out) { return WriteAll(out, static_cast<const char*>(data), data ? size : 0); });
}

int SweepTempFiles() {
    constexpr int kDepth = 64;
    RootHold& hold = Hold();
    std::lock_guard<std::mutex> lock(hold.mutex);
    const int root = HeldRoot(hold);
    if (root < 0 || flock(root, LOCK_EX | LOCK_NB) != 0) return -1;
    const int removed = SweepFolder(root, kDepth);
    flock(root, LOCK_SH);
    return removed;
}

bool SyncHostFolder(const std::string& hostFolder) {
    Fd dir(open(hostFolder.empty() ? "." : hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return false;
    SyncFolder(dir.get());
    return true;
}

std::optional<std::u16string> CreateTempFile(std::u16string_view deviceFolder) {
    Fd dir = OpenFolder(deviceFolder);
    std::string name;
    if (!dir || !CreateTempAt(dir.get(), &name)) return std::nullopt;
    std::u16string path(deviceFolder);
    if (path.empty() || path.back() != u'\\') path += u'\\';
    return path + Utf8ToWide(name);
}

bool GetDiskFreeSpace(std::u16string_view devicePath, uint64_t* freeBytes, uint64_t* totalBytes,
                      uint64_t* totalFreeBytes) {
    auto loc = Locate(devicePath);
    if (!loc) return false;
    Fd entry = loc->IsRoot() ? std::move(loc->dir) : Fd(OpenBeneath(loc->dir.get(), loc->name.c_str(), O_PATH));
    struct statvfs vfs;
    if (!entry || fstatvfs(entry.get(), &vfs) != 0) return false;
    if (freeBytes) *freeBytes = uint64_t(vfs.f_bavail) * vfs.f_frsize;
    if (totalBytes) *totalBytes = uint64_t(vfs.f_blocks) * vfs.f_frsize;
    if (totalFreeBytes) *totalFreeBytes = uint64_t(vfs.f_bfree) * vfs.f_frsize;
    return true;
}

bool SetFileTimes(std::u16string_view devicePath, const FILETIME* lastAccess, const FILETIME* lastWrite) {
    auto loc = Locate(devicePath);
    if (!loc) return false;
    const struct timespec times[2] = {ToTimespec(lastAccess), ToTimespec(lastWrite)};
    if (loc->IsRoot()) return futimens(loc->dir.get(), times) == 0;
    return utimensat(loc->dir.get(), loc->name.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

std::vector<InstalledName> InstalledNames(std::u16string_view folder) {
    std::vector<InstalledName> names;
    std::u16string base(folder);
    if (base.empty() || base.back() != u'\\') base += u'\\';
    FILE* file = OpenFile(base + kInstallList, "rb");
    if (!file) return names;
    std::string bytes;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
    std::fclose(file);
    const std::u16string text = plat::text::Utf8ToWide(bytes);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find(u'\n', at);
        if (end == std::u16string::npos) end = text.size();
        std::u16string_view line = std::u16string_view(text).substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
        const bool isFolder = !line.empty() && line.back() == u'\\';
        if (isFolder) line.remove_suffix(1);
        // Names relative to the folder; one that leaves it names nothing.
        if (line.empty() || line[0] == u'\\' || !IsSafePath(line)) continue;
        names.push_back({base + std::u16string(line), isFolder});
    }
    return names;
}

}  // namespace plat::fs
