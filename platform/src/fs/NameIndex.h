// The names of a folder by their case-folded form, so that a name given in
// another case, or one that is missing, is answered without reading the
// folder. One index per folder, kept for the process (a few folders, the
// least recently used go first) and guarded by one lock.
//
// An index is trusted while the folder's change time (and identity) is the
// one it was read at; any other change time reads the folder again. Changes
// made through this layer are applied to the index in place, so a folder
// filled one file at a time is read once: the change time is taken just
// before and just after the one call that changes the entry, and an index
// that was not current just before is dropped instead. A change by another
// program during that call is taken with ours. Kernels whose file systems
// stamp changes with the coarse clock (before 6.13) can give two changes in
// one clock tick the same change time: there a name that another program
// makes in the tick of our own last change is seen once the folder changes
// again.
//
// The index only maps names to names of the same folder; opening them keeps
// the no-follow rules of the caller.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat::fs::names {

// Calls f(name, type) for every entry of the opened folder but "." and "..",
// on a fresh open of it (the handle's own position is left alone); type is
// the listing's d_type (DT_UNKNOWN where the file system does not say).
template <typename F>
void ForEachEntry(int dir, F&& f) {
    int own = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0) return;
    DIR* d = fdopendir(own);
    if (!d) {
        close(own);
        return;
    }
    while (dirent* e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        f(static_cast<const char*>(e->d_name), e->d_type);
    }
    closedir(d);
}

// One UTF-16 unit folded for comparing without regard to case.
char16_t Fold(char16_t c);
// The device name of a machine name; nothing when the name is not valid
// UTF-8 (it could not be named back).
std::optional<std::u16string> DeviceName(std::string_view machineName);

// Every machine name in the opened folder that matches the device name
// without regard to case, in no order.
std::vector<std::string> Matches(int dir, std::u16string_view name);
// The byte-wise smallest of them.
std::optional<std::string> Smallest(int dir, std::u16string_view name);

// One change of names in a folder by this layer: taken before the call that
// makes it, told what the call changed once it succeeded. A failed call is
// simply not told.
class Change {
public:
    explicit Change(int dir);
    void Done(std::initializer_list<std::string_view> removed, std::initializer_list<std::string_view> added);
    // Both folders of a rename are the same folder.
    bool SameFolder(const Change& other) const;

private:
    int m_dir;
    bool m_known;
    struct stat m_before;
};

// The folder is about to be removed: its index goes.
void Forget(int dir, std::string_view subfolder);

}  // namespace plat::fs::names
