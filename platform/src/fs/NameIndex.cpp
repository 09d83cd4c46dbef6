#include "NameIndex.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include <time.h>

#include "platform/Text.h"
#include "../text/Unicode.h"

namespace plat::fs::names {

namespace {

constexpr size_t kMaxFolders = 32;
// Names kept over all folders; a folder with more is read each time it is asked.
constexpr size_t kMaxNames = 200000;

std::u16string FoldAll(std::u16string_view s) {
    std::u16string folded(s);
    for (char16_t& c : folded) c = Fold(c);
    return folded;
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameIdentity(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// True once a change made now would get a later change time than one stamped
// at t: file systems stamp with the coarse clock, those that keep whole
// seconds (no nanoseconds) to two of them.
bool AfterTick(const struct timespec& t) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    if (t.tv_nsec == 0) return now.tv_sec >= t.tv_sec + 2;
    return now.tv_sec > t.tv_sec || (now.tv_sec == t.tv_sec && now.tv_nsec > t.tv_nsec);
}

struct Folder {
    struct stat id{};  // identity and the change time the names are current for
    std::unordered_map<std::u16string, std::vector<std::string>> names;  // folded device name: machine names
    size_t count = 0;
    uint64_t used = 0;
    // Read in the clock tick of its change time: a change later in that tick
    // keeps the change time, so the folder is read again once the tick is over.
    bool racy = false;

    // Both keep the count; a name already there, or not there, changes nothing.
    void Add(std::string_view machine) {
        auto wide = DeviceName(machine);
        if (!wide) return;
        auto& same = names[FoldAll(*wide)];
        if (std::find(same.begin(), same.end(), machine) != same.end()) return;
        same.emplace_back(machine);
        ++count;
    }
    void Remove(std::string_view machine) {
        auto wide = DeviceName(machine);
        if (!wide) return;
        auto it = names.find(FoldAll(*wide));
        if (it == names.end()) return;
        auto at = std::find(it->second.begin(), it->second.end(), machine);
        if (at == it->second.end()) return;
        it->second.erase(at);
        if (it->second.empty()) names.erase(it);
        --count;
    }
    const std::vector<std::string>* Find(std::u16string_view name) const {
        auto it = names.find(FoldAll(name));
        return it == names.end() ? nullptr : &it->second;
    }
};

std::unique_ptr<Folder> Read(int dir, const struct stat& st) {
    auto folder = std::make_unique<Folder>();
    folder->id = st;
    folder->racy = !AfterTick(st.st_ctim);
    ForEachEntry(dir, [&](const char* name, unsigned char) { folder->Add(name); });
    return folder;
}

struct Cache {
    std::mutex mutex;
    std::vector<std::unique_ptr<Folder>> folders;
    size_t names = 0;
    uint64_t clock = 0;
    // Changes told so far: a folder read while one was told may have missed
    // it under a change time that did not move, so that reading is not kept.
    uint64_t changes = 0;

    Folder* Find(const struct stat& st) {
        for (auto& f : folders)
            if (SameIdentity(f->id, st)) return f.get();
        return nullptr;
    }
    void Erase(const Folder* folder) {
        auto it = std::find_if(folders.begin(), folders.end(), [&](auto& f) { return f.get() == folder; });
        if (it == folders.end()) return;
        names -= (*it)->count;
        folders.erase(it);
    }
    // Keeps the fresh index, then drops the least recently used ones over the bounds.
    void Install(std::unique_ptr<Folder> fresh) {
        if (Folder* old = Find(fresh->id)) Erase(old);
        if (fresh->count > kMaxNames) return;
        fresh->used = ++clock;
        names += fresh->count;
        folders.push_back(std::move(fresh));
        while (folders.size() > kMaxFolders || names > kMaxNames) {
            auto oldest = std::min_element(folders.begin(), folders.end(),
                                           [](auto& a, auto& b) { return a->used < b->used; });
            Erase(oldest->get());
        }
    }
};

// Never destroyed: files are still named while other objects go at exit.
Cache& TheCache() {
    static Cache* cache = new Cache;
    return *cache;
}

// f(folder) on the folder's index, current as of the folder's change time.
template <typename F>
auto WithIndex(int dir, F&& f) {
    struct stat st;
    if (fstat(dir, &st) != 0) {
        struct stat none{};
        return f(*Read(dir, none));
    }
    Cache& cache = TheCache();
    uint64_t changes;
    {
        std::lock_guard lock(cache.mutex);
        changes = cache.changes;
        Folder* folder = cache.Find(st);
        if (folder && SameTime(folder->id.st_ctim, st.st_ctim) && !(folder->racy && AfterTick(st.st_ctim))) {
            folder->used = ++cache.clock;
            return f(*folder);
        }
    }
    // Read without the lock. A change through this layer meanwhile keeps the
    // reading from being kept; one by another program gives a later change
    // time, or falls in the tick of this one (racy).
    std::unique_ptr<Folder> fresh = Read(dir, st);
    auto result = f(*fresh);
    std::lock_guard lock(cache.mutex);
    if (cache.changes == changes) cache.Install(std::move(fresh));
    return result;
}

}  // namespace

char16_t Fold(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    if (c >= 0xD800 && c < 0xE000) return c;
    char32_t folded = plat::text::unicode::Get().caseFold(char32_t(c));
    return folded > 0xFFFF ? c : char16_t(folded);
}

std::optional<std::u16string> DeviceName(std::string_view machineName) {
    if (std::all_of(machineName.begin(), machineName.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::u16string(machineName.begin(), machineName.end());
    std::u16string wide = text::Utf8ToWide(machineName);
    if (text::WideToUtf8(wide) != machineName) return std::nullopt;
    return wide;
}

std::vector<std::string> Matches(int dir, std::u16string_view name) {
    return WithIndex(dir, [&](const Folder& folder) {
        const auto* found = folder.Find(name);
        return found ? *found : std::vector<std::string>{};
    });
}

std::optional<std::string> Smallest(int dir, std::u16string_view name) {
    return WithIndex(dir, [&](const Folder& folder) -> std::optional<std::string> {
        const auto* found = folder.Find(name);
        if (!found || found->empty()) return std::nullopt;
        return *std::min_element(found->begin(), found->end());
    });
}

Change::Change(int dir) : m_dir(dir), m_known(fstat(dir, &m_before) == 0) {}

bool Change::SameFolder(const Change& other) const {
    return m_known && other.m_known && SameIdentity(m_before, other.m_before);
}

void Change::Done(std::initializer_list<std::string_view> removed, std::initializer_list<std::string_view> added) {
    struct stat after;
    const bool known = m_known && fstat(m_dir, &after) == 0 && SameIdentity(after, m_before);
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    ++cache.changes;
    Folder* folder = m_known ? cache.Find(m_before) : nullptr;
    if (!folder) return;
    // Not current just before the change: what else changed is not known.
    if (!known || !SameTime(folder->id.st_ctim, m_before.st_ctim)) return cache.Erase(folder);
    cache.names -= folder->count;
    for (auto name : removed) folder->Remove(name);
    for (auto name : added) folder->Add(name);
    cache.names += folder->count;
    folder->id = after;
    if (cache.names > kMaxNames) cache.Erase(folder);
}

void Forget(int dir, std::string_view subfolder) {
    struct stat st;
    if (fstatat(dir, std::string(subfolder).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    if (Folder* folder = cache.Find(st)) cache.Erase(folder);
}

}  // namespace plat::fs::names
