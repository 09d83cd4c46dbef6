#include "platform/Library.h"

#include <dirent.h>
#include <fcntl.h>
#include <dlfcn.h>
#include <link.h>
#include <strings.h>
#include <unistd.h>
#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <set>
#include <mutex>
#include <cstdlib>
#include <string>

#include "platform/DeviceFs.h"
#include "platform/Text.h"

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The entry of a machine directory named like `name` without regard to
// (ASCII) case, the exact name first; empty when there is none.
std::string FindInDirectory(const std::string& directory, const std::string& name) {
    if (directory.empty()) return {};
    const std::string exact = directory + "/" + name;
    if (IsRegularFile(exact)) return exact;
    DIR* dir = opendir(directory.c_str());
    if (!dir) return {};
    std::string found;
    while (dirent* entry = readdir(dir)) {
        if (strcasecmp(entry->d_name, name.c_str()) != 0) continue;
        const std::string candidate = directory + "/" + entry->d_name;
        if (IsRegularFile(candidate) && (found.empty() || candidate < found)) found = candidate;
    }
    closedir(dir);
    return found;
}

HMODULE Open(const std::string& path) {
    if (path.empty() || !IsRegularFile(path)) {
        t_lastError = ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    t_lastError = handle ? ERROR_SUCCESS : ERROR_BAD_EXE_FORMAT;
    return handle;
}

// Libraries of the device file system load through the file they opened
// (a regular file, never through a link), so nothing swapped in at the path
// meanwhile is loaded instead. The loader knows such a library by the name
// "/proc/self/fd/N", so each keeps its descriptor open while it is loaded:
// no other library can then get that name.
struct DeviceLoads {
    std::mutex mutex;
    std::multimap<HMODULE, int> descriptors;
    std::map<HMODULE, std::u16string> paths;  // the device path each was first loaded from
};

DeviceLoads& Loads() {
    static DeviceLoads loads;
    return loads;
}

HMODULE OpenDevice(std::u16string_view devicePath) {
    FILE* file = plat::fs::OpenFile(devicePath, "rb");
    if (!file) {
        t_lastError = ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    const int fd = fcntl(fileno(file), F_DUPFD_CLOEXEC, 0);
    std::fclose(file);
    if (fd < 0) {
        t_lastError = ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    DeviceLoads& loads = Loads();
    std::lock_guard lock(loads.mutex);
    // The same file already loaded is loaded again by the name it has, and
    // the new descriptor closes at once (a second name would outlive it and
    // a later descriptor of that number would load this library instead).
    struct stat opened;
    if (fstat(fd, &opened) == 0) {
        for (const auto& [loaded, held] : loads.descriptors) {
            struct stat st;
            if (fstat(held, &st) != 0 || st.st_dev != opened.st_dev || st.st_ino != opened.st_ino) continue;
            void* again = dlopen(("/proc/self/fd/" + std::to_string(held)).c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!again) continue;
            close(fd);
            t_lastError = ERROR_SUCCESS;
            return again;
        }
    }
    void* handle = dlopen(("/proc/self/fd/" + std::to_string(fd)).c_str(), RTLD_NOW | RTLD_LOCAL);
    t_lastError = handle ? ERROR_SUCCESS : ERROR_BAD_EXE_FORMAT;
    if (handle) {
        loads.descriptors.emplace(handle, fd);
        loads.paths[handle] = std::u16string(devicePath);  // a handle of a library gone before may come again
    } else
        close(fd);
    return handle;
}

// The names of the libraries loaded now. The loader's list only: it runs
// no library's code and takes no reference.
std::set<std::string> LoadedNames() {
    std::set<std::string> names;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            if (info->dlpi_name && *info->dlpi_name) static_cast<std::set<std::string>*>(out)->insert(info->dlpi_name);
            return 0;
        },
        &names);
    return names;
}

// After a dlclose: the descriptors of the libraries that are gone close.
// Not only this one's: a library freed while another unloads (from its
// destructors) goes only when that outer unload ends, after its own free
// returned.
void ReleaseDevice() {
    DeviceLoads& loads = Loads();
    std::lock_guard lock(loads.mutex);
    const std::set<std::string> loaded = LoadedNames();
    for (auto it = loads.descriptors.begin(); it != loads.descriptors.end();) {
        if (loaded.contains("/proc/self/fd/" + std::to_string(it->second))) {
            ++it;
            continue;
        }
        close(it->second);
        const HMODULE gone = it->first;
        it = loads.descriptors.erase(it);
        if (!loads.descriptors.contains(gone)) loads.paths.erase(gone);
    }
}

bool EndsInDll(std::u16string_view name) {
    if (name.size() < 5) return false;  // a name before the suffix
    const std::u16string_view end = name.substr(name.size() - 4);
    return end[0] == u'.' && (end[1] | 0x20) == u'd' && (end[2] | 0x20) == u'l' && (end[3] | 0x20) == u'l';
}

const void* SymbolBase(const void* address) {
    Dl_info info{};
    return dladdr(address, &info) ? info.dli_fbase : nullptr;
}

const void* LibraryBase(HMODULE module) {
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map) return nullptr;
    return SymbolBase(map->l_ld);
}

// The folder "vendor" beside the platform library.
std::string VendorDirectory() {
    const std::string platform = ModuleHostDirectory(reinterpret_cast<const void*>(&LoadLibrary));
    return platform.empty() ? std::string() : platform + "/vendor";
}

}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

std::string ModuleHostDirectory(const void* address) {
    Dl_info info{};
    if (!address || !dladdr(address, &info) || !info.dli_fname || !*info.dli_fname) return {};
    std::string path = info.dli_fname;
    if (path.find('/') == std::string::npos) {
        // The main program reports its name only.
        char buf[4096];
        const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0) return {};
        path.assign(buf, static_cast<size_t>(n));
    }
    // A library of the device file system was loaded through its open file:
    // it has no machine folder of its own.
    if (path.starts_with("/proc/self/fd/")) return {};
    const size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

HMODULE LoadLibrary(std::u16string_view name) {
    // Only a file named as a library loads: a host's other files never run.
    if (!EndsInDll(name)) {
        t_lastError = ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    if (name.find(u'\\') != std::u16string_view::npos) return OpenDevice(name);
    // A bare name: no '/' may smuggle a machine path in.
    const std::string file = plat::text::WideToUtf8(name);
    if (file.find('/') != std::string::npos || file == "." || file == "..") {
        t_lastError = ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    std::u16string inProgram = plat::fs::ProgramFolder();
    if (inProgram.empty() || inProgram.back() != u'\\') inProgram += u'\\';
    HMODULE module = OpenDevice(inProgram + std::u16string(name));
    if (module || t_lastError == ERROR_BAD_EXE_FORMAT) return module;
    // The installed files beside the caller, out of any host's reach.
    module = Open(FindInDirectory(ModuleHostDirectory(__builtin_return_address(0)), file));
    if (module || t_lastError == ERROR_BAD_EXE_FORMAT) return module;
    // The device vendor's libraries, installed with the platform.
    return Open(FindInDirectory(VendorDirectory(), file));
}

BOOL FreeLibrary(HMODULE module) {
    if (!module) {
        t_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    const bool closed = dlclose(module) == 0;
    ReleaseDevice();
    return closed ? TRUE : FALSE;
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
    if (!module || !name) {
        t_lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    // dlsym also searches the library's dependencies (the C library, the
    // platform): only the library's own exports count.
    void* symbol = dlsym(module, name);
    if (symbol && LibraryBase(module) != SymbolBase(symbol)) symbol = nullptr;
    if (!symbol) t_lastError = ERROR_PROC_NOT_FOUND;
    return reinterpret_cast<FARPROC>(symbol);
}

std::vector<std::u16string> FindLibraries(std::u16string_view deviceFolder) {
    std::u16string pattern(deviceFolder);
    if (pattern.empty() || pattern.back() != u'\\') pattern += u'\\';
    pattern += u"*.dll";
    std::vector<std::u16string> names;
    for (const plat::fs::FindData& entry : plat::fs::FindFiles(pattern)) {
        if (!entry.isDirectory) names.push_back(entry.name);
    }
    return names;
}

void* LocalAlloc(size_t bytes) { return calloc(1, bytes ? bytes : 1); }
void LocalFree(void* block) { free(block); }

namespace plat::loader {

std::u16string ModuleDevicePath(HMODULE module) {
    DeviceLoads& loads = Loads();
    std::lock_guard lock(loads.mutex);
    auto it = loads.paths.find(module);
    return it == loads.paths.end() ? std::u16string() : it->second;
}

HMODULE ModuleOf(const void* address) {
    Dl_info info{};
    if (!address || !dladdr(address, &info) || !info.dli_fname) return nullptr;
    void* module = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (module) dlclose(module);  // the handle only, no reference
    return module;
}

}  // namespace plat::loader
