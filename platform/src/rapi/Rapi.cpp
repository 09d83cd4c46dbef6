// The remote device interface over a device root folder. A desktop program
// that talks to a device is single-threaded in its use of it, but the state
// is kept under one lock all the same; no call runs out of the layer under
// it.
#include "platform/Rapi.h"

#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "platform/DeviceFs.h"
#include "platform/Library.h"
#include "platform/Process.h"
#include "platform/Text.h"

extern char** environ;

namespace {

struct FileHandle {
    FILE* file = nullptr;
};

// A device program, or the installer program of this machine that stands
// for the device's own package installer (pid).
struct ProcessHandle {
    std::unique_ptr<plat::process::Process> process;
    pid_t pid = -1;
    ~ProcessHandle() {
        if (pid <= 0) return;
        // Not stopped: it is reaped when it ends.
        std::thread([p = pid] {
            int status;
            while (waitpid(p, &status, 0) < 0 && errno == EINTR) {}
        }).detach();
    }
};

struct Rapi {
    std::mutex lock;
    std::string attached;
    bool connected = false;
    int requestTag = 0;   // the event handed out with a pending request
    HRESULT rapiError = S_OK;
    DWORD lastError = ERROR_SUCCESS;
    std::set<FileHandle*> files;
    std::set<ProcessHandle*> processes;
};

Rapi& State() {
    static Rapi rapi;
    return rapi;
}

// Every call below the connection checks it first.
bool Connected() {
    Rapi& r = State();
    std::lock_guard guard(r.lock);
    if (!r.connected) {
        r.lastError = ERROR_NOT_READY;
        r.rapiError = E_FAIL;
    }
    return r.connected;
}

template <typename T>
T Fail(DWORD error, T result) {
    Rapi& r = State();
    std::lock_guard guard(r.lock);
    r.lastError = error;
    return result;
}

// Takes a file handle out of the table when it is ours.
FileHandle* FindFile(HANDLE handle) {
    Rapi& r = State();
    std::lock_guard guard(r.lock);
    auto* f = static_cast<FileHandle*>(handle);
    return r.files.count(f) ? f : nullptr;
}

void CloseAll(Rapi& r) {
    for (FileHandle* f : r.files) {
        std::fclose(f->file);
        delete f;
    }
    r.files.clear();
    for (ProcessHandle* p : r.processes)
        delete p;
    r.processes.clear();
}

bool IsAbsoluteFolderName(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

bool IsDeviceInstaller(const char16_t* path) {
    return path && strcasecmp(plat::text::WideToUtf8(path).c_str(),
                              plat::text::WideToUtf8(plat::rapi::kDeviceInstaller).c_str()) == 0;
}

// The installer program of this machine: $ORVADE_INSTALLER, else
// "orvade-install" beside the running program.
std::string InstallerProgram() {
    if (const char* named = std::getenv("ORVADE_INSTALLER"); named && *named) return named;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "orvade-install";
    std::string path(self, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + "orvade-install";
}

// The device's package installer: the last word of its command line is the
// package, a device file; it is installed into the package's folder. The
// device installer's own options mean nothing to ours and are left out.
pid_t StartInstaller(const std::vector<std::u16string>& words) {
    if (words.empty()) return -1;
    const std::u16string& package = words.back();
    const std::optional<std::string> packageHost = plat::fs::ToHostPath(package);
    const size_t cut = package.rfind(u'\\');
    if (!packageHost || cut == std::u16string::npos) return -1;
    std::vector<std::string> args{InstallerProgram(), "--device-root", plat::fs::DeviceRoot(), "--folder",
                                  plat::text::WideToUtf8(cut == 0 ? u"\\" : package.substr(0, cut)), *packageHost};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, args[0].c_str(), nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

}  // namespace

namespace plat::rapi {

void AttachDevice(const std::string& hostDirectory) {
    Rapi& r = State();
    std::lock_guard guard(r.lock);
    r.attached = hostDirectory;
}

std::string AttachedDevice() {
    Rapi& r = State();
    std::lock_guard guard(r.lock);
    return r.attached;
}

DWORD WaitForInit(RAPIINIT* init, DWORD milliseconds) {
    if (!init) return WAIT_TIMEOUT;
    Rapi& r = State();
    std::string root;
    {
        std::lock_guard guard(r.lock);
        if (r.connected) {
            init->hrRapiInit = S_OK;
            return WAIT_OBJECT_0;
        }
        if (init->heRapiInit != &r.requestTag) return WAIT_TIMEOUT;
        root = r.attached;
    }
    // The device answers once its folder is there: looked for in short
    // slices until the time is up. The folder itself is the user's choice
    // and may be reached through a link; nothing inside it is.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        struct stat st{};
        if (stat(root.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) break;
        if (std::chrono::steady_clock::now() >= end) return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // This process and the programs it starts on the device now work in it.
    plat::fs::SetDeviceRoot(root);
    setenv("ORVADE_DEVICE_ROOT", root.c_str(), 1);
    HKEY probe = nullptr;
    const LONG opened = RegOpenKeyEx(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &probe);
    if (opened == ERROR_SUCCESS) RegCloseKey(probe);
    std::lock_guard guard(r.lock);
    r.connected = opened == ERROR_SUCCESS;
    r.lastError = static_cast<DWORD>(opened);
    init->hrRapiInit = r.connected ? S_OK : E_FAIL;
    return WAIT_OBJECT_0;
}

}  // namespace plat::rapi

HRESULT CeRapiInitEx(RAPIINIT* init) {
    if (!init || init->cbSize != sizeof(RAPIINIT)) return E_INVALIDARG;
    Rapi& r = State();
    std::lock_guard guard(r.lock);
    if (!r.connected && !IsAbsoluteFolderName(r.attached)) {
        r.rapiError = E_FAIL;
        return E_FAIL;
    }
    init->heRapiInit = &r.requestTag;
    init->hrRapiInit = E_FAIL;
    return S_OK;
}

HRESULT CeRapiUninit() {
    Rapi& r = State();
    std::lock_guard guard(r.lock);
    if (!r.connected) return E_FAIL;
    CloseAll(r);
    r.connected = false;
    return S_OK;
}

HRESULT CeRapiGetError() {
    Rapi& r = State();
    std::lock_guard guard(r.lock);
    return r.rapiError;
}

DWORD CeGetLastError() {
    Rapi& r = State();
    std::lock_guard guard(r.lock);
    return r.lastError;
}

LONG CeRegOpenKeyEx(HKEY key, const char16_t* subKey, DWORD options, DWORD access, HKEY* result) {
    if (!Connected()) return ERROR_NOT_READY;
    return RegOpenKeyEx(key, subKey, options, access, result);
}

LONG CeRegQueryValueEx(HKEY key, const char16_t* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size) {
    if (!Connected()) return ERROR_NOT_READY;
    return RegQueryValueEx(key, name, reserved, type, data, size);
}

LONG CeRegCloseKey(HKEY key) {
    if (!Connected()) return ERROR_NOT_READY;
    return RegCloseKey(key);
}

DWORD CeGetFileAttributes(const char16_t* path) {
    if (!Connected() || !path) return INVALID_FILE_ATTRIBUTES;
    const std::optional<plat::fs::FindData> data = plat::fs::GetFileData(path);
    // Every device has its package installer.
    if (!data && IsDeviceInstaller(path)) return FILE_ATTRIBUTE_NORMAL;
    if (!data) return Fail(ERROR_FILE_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    return data->isDirectory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL CeCreateDirectory(const char16_t* path, void*) {
    if (!Connected() || !path) return FALSE;
    if (plat::fs::Exists(path)) return Fail(ERROR_ALREADY_EXISTS, FALSE);
    return plat::fs::CreateDirectory(path) ? TRUE : Fail(ERROR_ACCESS_DENIED, FALSE);
}

HANDLE CeCreateFile(const char16_t* path, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
    if (!Connected() || !path) return INVALID_HANDLE_VALUE;
    if (access != GENERIC_WRITE || (disposition != CREATE_ALWAYS && disposition != CREATE_NEW))
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    FILE* file = plat::fs::OpenFile(path, disposition == CREATE_NEW ? "wbx" : "wb");
    if (!file)
        return Fail(plat::fs::Exists(path) && disposition == CREATE_NEW ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED,
                    INVALID_HANDLE_VALUE);
    auto* handle = new FileHandle{file};
    Rapi& r = State();
    std::lock_guard guard(r.lock);
    r.files.insert(handle);
    return handle;
}

BOOL CeWriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void*) {
    if (written) *written = 0;
    if (!Connected()) return FALSE;
    FileHandle* f = FindFile(file);
    if (!f || (size && !data)) return Fail(ERROR_INVALID_HANDLE, FALSE);
    const size_t put = std::fwrite(data, 1, size, f->file);
    if (written) *written = static_cast<DWORD>(put);
    return put == size ? TRUE : Fail(ERROR_DISK_FULL, FALSE);
}

BOOL CeSetFileTime(HANDLE file, const FILETIME*, const FILETIME* lastAccess, const FILETIME* lastWrite) {
    if (!Connected()) return FALSE;
    FileHandle* f = FindFile(file);
    if (!f) return Fail(ERROR_INVALID_HANDLE, FALSE);
    // Bytes still buffered would move the time again when written.
    if (std::fflush(f->file) != 0) return Fail(ERROR_DISK_FULL, FALSE);
    timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
    const FILETIME* given[2] = {lastAccess, lastWrite};
    for (int i = 0; i < 2; ++i) {
        if (!given[i]) continue;
        int64_t seconds = 0, nanoseconds = 0;
        plat::clock::FileTimeToUnix(*given[i], &seconds, &nanoseconds);
        times[i] = {static_cast<time_t>(seconds), static_cast<long>(nanoseconds)};
    }
    return futimens(fileno(f->file), times) == 0 ? TRUE : Fail(ERROR_ACCESS_DENIED, FALSE);
}

BOOL CeCloseHandle(HANDLE handle) {
    if (!Connected()) return FALSE;
    Rapi& r = State();
    std::unique_lock guard(r.lock);
    if (auto* f = static_cast<FileHandle*>(handle); r.files.erase(f)) {
        guard.unlock();
        const bool whole = std::fclose(f->file) == 0;
        delete f;
        return whole ? TRUE : Fail(ERROR_DISK_FULL, FALSE);
    }
    if (auto* p = static_cast<ProcessHandle*>(handle); r.processes.erase(p)) {
        guard.unlock();
        delete p;   // a program still running goes on and is reaped when it ends
        return TRUE;
    }
    r.lastError = ERROR_INVALID_HANDLE;
    return FALSE;
}

BOOL CeDeleteFile(const char16_t* path) {
    if (!Connected() || !path) return FALSE;
    return plat::fs::DeleteFile(path) ? TRUE : Fail(ERROR_FILE_NOT_FOUND, FALSE);
}

BOOL CeMoveFileEx(const char16_t* from, const char16_t* to, DWORD flags) {
    if (!Connected() || !from || !to) return FALSE;
    const bool moved = (flags & MOVEFILE_REPLACE_EXISTING) ? plat::fs::ReplaceFile(from, to)
                                                            : plat::fs::MoveFile(from, to);
    return moved ? TRUE : Fail(ERROR_ACCESS_DENIED, FALSE);
}

BOOL CeCreateProcess(const char16_t* program, const char16_t* commandLine, void*, void*, BOOL, DWORD, void*,
                     const char16_t*, void*, PROCESS_INFORMATION* info) {
    if (info) *info = {};
    if (!Connected() || !program) return FALSE;
    const std::vector<std::u16string> words =
        plat::process::SplitCommandLine(commandLine ? std::u16string_view(commandLine) : u"");
    auto* handle = new ProcessHandle;
    if (IsDeviceInstaller(program) && !plat::fs::Exists(program))
        handle->pid = StartInstaller(words);
    else
        handle->process = plat::process::Process::Start(program, words);
    if (!handle->process && handle->pid <= 0) {
        delete handle;
        return Fail(ERROR_FILE_NOT_FOUND, FALSE);
    }
    Rapi& r = State();
    std::lock_guard guard(r.lock);
    r.processes.insert(handle);
    if (info) info->hProcess = handle;
    return TRUE;
}
