#include "mevrant/Mevrant.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "deskcommon/FileLookup.h"
#include "deskcommon/Messages.h"
#include "inifile/IniFile.h"
#include "platform/Rapi.h"
#include "platform/Text.h"

extern char** environ;

namespace mevrant {

using deskcommon::FromAnsi;

namespace {

class NoProgress : public IDeployProgress {
public:
    void Start(const std::u16string&) override {}
    void File(const std::u16string&) override {}
    void Percent(int) override {}
    void Hide() override {}
} g_noProgress;

// Registry values are read into buffers of this many bytes.
constexpr DWORD kValueBytes = 260;

// A string value of the device registry, read into a fixed buffer and
// always ended: a value without its terminator, or one that fills the
// buffer, is cut at the buffer's end, never read past it. False when it is
// missing, of another type, or longer than the buffer.
bool ReadDeviceString(HKEY key, const char16_t* name, std::u16string& out) {
    char16_t buffer[kValueBytes / 2 + 1] = {};
    DWORD type = 0, size = kValueBytes;
    if (CeRegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    buffer[std::min<DWORD>(size, kValueBytes) / 2] = u'\0';
    out = buffer;
    return true;
}

// A device path from its parts: '/' is a separator on the device too.
std::u16string Join(std::initializer_list<std::u16string> parts) {
    std::u16string path;
    for (const std::u16string& p : parts) {
        if (!path.empty() || (!p.empty() && p[0] != u'\\' && p[0] != u'/'))
            path += u'\\';
        path += p;
    }
    std::replace(path.begin(), path.end(), u'/', u'\\');
    return path;
}

std::string DesktopPath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

uint32_t Bit(size_t index) {
    return uint32_t{1} << index;
}

// A copy target: written under a temporary name beside it, which takes the
// target's name only once the file is whole.
struct Target {
    std::u16string path, temp;
    HANDLE handle = INVALID_HANDLE_VALUE;

    bool Create() {
        temp = path + u".~tmp";
        handle = CeCreateFile(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        return handle != INVALID_HANDLE_VALUE;
    }
    bool Write(const char* data, DWORD size) {
        DWORD written = 0;
        return CeWriteFile(handle, data, size, &written, nullptr) && written == size;
    }
    // Closes the file; a whole one replaces the target, any other is removed.
    bool Finish(bool whole) {
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        whole = CeCloseHandle(handle) && whole;
        handle = INVALID_HANDLE_VALUE;
        whole = whole && CeMoveFileEx(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
        if (!whole)
            CeDeleteFile(temp.c_str());
        return whole;
    }
};

}  // namespace

int Progress(uint64_t written, uint64_t size) {
    if (size == 0 || written >= size)
        return 100;
    return static_cast<int>(written * 100 / size);
}

std::string MissingDevice(const std::string& root) {
    struct stat st{};
    if (stat(root.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? std::string() : "the device root " + root + " is not a folder";
    if (errno == ENOENT)
        return "the device root folder " + root + " does not exist";
    return "the device root " + root + ": " + std::strerror(errno);
}

std::string DefaultDesktopRegistry() {
    if (const char* named = std::getenv("ORVADE_DESKTOP_REGISTRY"); named && *named)
        return named;
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        config = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        config = std::string(home) + "/.config";
    else
        config = ".config";
    return config + "/orvade/DesktopRegistry.ini";
}

bool ReadDesktopAppPath(const std::string& registryFile, std::string& path, DWORD& error) {
    error = ERROR_FILE_NOT_FOUND;
    inifile::IniFile* ini = inifile::IniLoad(registryFile.c_str(), 2, "");
    if (!ini) {
        error = errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        return false;
    }
    char value[1024] = {};
    const char* found = inifile::IniGetValue(
        ini, "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\CEAppMgr.exe", "@", 0,
        value, sizeof value);
    inifile::IniClose(ini);
    std::string_view text = found ? std::string_view(value) : std::string_view();
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    if (text.empty())
        return false;
    path.assign(text);
    return true;
}

std::u16string SystemErrorText(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        return u"The system cannot find the file specified.";
    case ERROR_ACCESS_DENIED:
        return u"Access is denied.";
    default:
        return plat::text::Utf8ToWide("Unknown error " + std::to_string(error) + ".");
    }
}

bool RunDesktopProgram(const std::string& program, const std::vector<std::string>& args, const std::string& folder) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // A program the system could not run ends at once with 127.
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
}

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    options = {};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h" || a == "/?") {
            options.help = true;
        } else if (a == "--device-root" && i + 1 < args.size() && !args[i + 1].empty()) {
            options.deviceRoot = args[++i];
        } else if (a.rfind("--device-root=", 0) == 0 && a.size() > 14) {
            options.deviceRoot = a.substr(14);
        } else {
            error = a == "--device-root" || a == "--device-root=" ? "--device-root needs a folder"
                                                                 : "unknown argument: " + a;
            return false;
        }
    }
    return true;
}

bool CreateDeviceDirectories(const std::u16string& path) {
    const size_t first = path.find_first_of(u"\\/");
    if (first == std::u16string::npos)
        return true;
    for (size_t at = path.find_first_of(u"\\/", first + 1); at != std::u16string::npos;
         at = path.find_first_of(u"\\/", at + 1)) {
        const std::u16string folder = path.substr(0, at);
        if (folder.empty() || folder.back() == u'\\' || folder.back() == u'/')
            continue;   // a repeated separator names no new folder
        if (CeGetFileAttributes(folder.c_str()) == INVALID_FILE_ATTRIBUTES &&
            !CeCreateDirectory(folder.c_str(), nullptr))
            return false;
    }
    return true;
}

CMevrant::CMevrant(std::string folder) : m_folder(std::move(folder)), m_progress(&g_noProgress) {
    m_desktopRegistry = DefaultDesktopRegistry();
}

CMevrant::~CMevrant() {
    if (m_connected)
        DisconnectDevice();
}

void CMevrant::Load() {
    m_config = ReadProductConfig(m_folder);
    m_package = Kind(m_config.kind).package;
}

std::u16string CMevrant::Title() const {
    std::u16string title = FromAnsi(kTitle);
    std::string folder = m_folder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash + 1 < folder.size())
        title += u" - " + deskcommon::FromPath(folder.substr(slash + 1));
    return title;
}

std::string CMevrant::WorkFolder(const LauncherEntry& entry) const {
    if (entry.workdir.empty())
        return m_folder;
    const std::string work = DesktopPath(entry.workdir);
    return work[0] == '/' ? work : m_folder + "/" + work;
}

std::string CMevrant::ProgramPath(const LauncherEntry& entry) const {
    const std::string app = DesktopPath(entry.app);
    return deskcommon::FindFileNoCase(app[0] == '/' ? app : WorkFolder(entry) + "/" + app);
}

bool CMevrant::ProgramExists(const LauncherEntry& entry) const {
    std::error_code ec;
    return std::filesystem::is_regular_file(ProgramPath(entry), ec);
}

bool CMevrant::Launch(size_t index) {
    if (index >= m_config.launchers.size())
        return false;
    const LauncherEntry& entry = m_config.launchers[index];
    std::vector<std::string> args;
    if (!entry.cmdline.empty())
        args.push_back(entry.cmdline);
    return RunDesktopProgram(ProgramPath(entry), args, WorkFolder(entry));
}

void CMevrant::Message(const std::string& text, unsigned type, const std::u16string& caption) {
    deskcommon::Messages().Show(FromAnsi(text), type, caption);
}

bool CMevrant::ConnectDevice() {
    if (m_connected)
        return true;
    RAPIINIT init{sizeof(RAPIINIT), nullptr, E_FAIL};
    if (CeRapiInitEx(&init) != S_OK) {
        Message(kInitFailed, MB_OK | MB_ICONEXCLAMATION, Title());
        return false;
    }
    // Waited for in slices: a device that is not there at once makes the
    // window show the wait, drawn between slices.
    DWORD result = WAIT_TIMEOUT, waited = 0;
    bool shown = false;
    for (;;) {
        const DWORD slice = std::min(kInitSliceMs, m_initWait - waited);
        result = plat::rapi::WaitForInit(&init, slice);
        waited += slice;
        if (result == WAIT_OBJECT_0 || waited >= m_initWait)
            break;
        m_progress->Waiting(true);
        shown = true;
    }
    if (shown)
        m_progress->Waiting(false);
    if (result != WAIT_OBJECT_0) {
        std::u16string text = FromAnsi(kInitTimedOut);
        const std::string root = plat::rapi::AttachedDevice();
        const std::string missing = MissingDevice(root);
        const std::string time = m_initWait % 1000 == 0 ? std::to_string(m_initWait / 1000) + " seconds"
                                                        : std::to_string(m_initWait) + " ms";
        if (!missing.empty())
            text += u"\n" + deskcommon::FromPath("No device answered in " + time + ": " + missing + ".");
        deskcommon::Messages().Show(text, MB_OK | MB_ICONEXCLAMATION, Title());
        return false;
    }
    if (init.hrRapiInit != S_OK) {
        CeRapiGetError();
        Message(kInitResultFailed, MB_OK | MB_ICONEXCLAMATION, Title());
        return false;
    }
    m_connected = true;
    return true;
}

void CMevrant::DisconnectDevice() {
    m_connected = false;
    CeRapiUninit();
}

struct CMevrant::Folders {
    std::u16string install, config, flashDir;
};

bool CMevrant::DeviceFolders(Folders& folders) {
    const ProductKind& kind = Kind(m_config.kind);
    const InstallSettings& install = m_config.install;
    const std::u16string productTitle = FromAnsi(kind.title);
    if (!m_installMode || install.installType == 0) {
        HKEY key = nullptr;
        const LONG opened = CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, FromAnsi(kind.registryKey).c_str(), 0, KEY_READ, &key);
        if (opened != ERROR_SUCCESS) {
            m_progress->Hide();
            // The device's reason below the message.
            deskcommon::Messages().Show(FromAnsi(kNoProductKey) + u"\n" + SystemErrorText(static_cast<DWORD>(opened)),
                                        MB_OK | MB_ICONEXCLAMATION, productTitle);
            return false;
        }
        std::u16string work;
        const bool haveInstall = ReadDeviceString(key, u"InstallDir", folders.install);
        ReadDeviceString(key, u"WORK", work);
        ReadDeviceString(key, u"FlashDir", folders.flashDir);
        CeRegCloseKey(key);
        if (!haveInstall || folders.install.empty()) {
            m_progress->Hide();
            Message(kNoInstallDir, MB_OK | MB_ICONEXCLAMATION, productTitle);
            return false;
        }
        // A folder given without its leading backslash or with '/' is still a device path.
        folders.install = Join({folders.install});
        if (!folders.flashDir.empty())
            folders.flashDir = Join({folders.flashDir});
        folders.config = folders.install;
        if (m_config.kind == 1)
            folders.config = work.empty() ? Join({folders.install, u"Work"}) : Join({work});
    }
    if (m_installMode && install.installType != 0) {
        const std::u16string flash = FromAnsi(install.flashDrive);
        const std::u16string installDir = FromAnsi(install.installDir);
        const std::u16string configDir = FromAnsi(install.configDir);
        folders.install = Join({flash, installDir});
        folders.config = configDir.empty() && !flash.empty() ? folders.install : Join({flash, configDir});
    }
    return true;
}

bool CMevrant::CopyFile(size_t index, FILE* in, const Folders& folders, uint32_t& copied) {
    const ProductKind& kind = Kind(m_config.kind);
    const bool package = index == kind.files.size();
    const std::u16string name = FromAnsi(package ? m_package : kind.files[index].first);
    const std::u16string display = FromAnsi(package ? kind.packageName : kind.files[index].second);

    Target targets[2];
    size_t count = 1;
    if (!package) {
        targets[0].path = Join({folders.config, name});
        // The terminal emulation keeps a second copy of its files.
        if (m_config.kind == 0 && !folders.flashDir.empty()) {
            targets[1].path = Join({folders.flashDir, name});
            count = 2;
        }
    } else if (m_config.kind == 1 && !m_config.install.cabDir.empty()) {
        const std::u16string cabDir = FromAnsi(m_config.install.cabDir);
        const std::u16string flash = FromAnsi(m_config.install.flashDrive);
        targets[0].path = flash.empty() ? Join({folders.install, cabDir, name}) : Join({flash, cabDir, name});
    } else {
        targets[0].path = Join({folders.install, name});
    }
    if (package)
        m_packageTarget = targets[0].path;

    if (!CreateDeviceDirectories(targets[0].path))
        return false;
    if (count == 2 && !CreateDeviceDirectories(targets[1].path))
        count = 1;   // only the second copy is dropped
    // An old package is removed first: a device has little room for two.
    if (package && m_config.kind == 1)
        CeDeleteFile(targets[0].path.c_str());

    struct stat st{};
    if (fstat(fileno(in), &st) != 0)
        return false;
    bool whole = true;
    for (size_t t = 0; t < count; ++t)
        whole = whole && targets[t].Create();
    if (whole) {
        m_progress->File(display);
        m_progress->Percent(0);
        const uint64_t size = static_cast<uint64_t>(st.st_size);
        uint64_t written = 0;
        std::vector<char> block(kBlockSize);
        for (;;) {
            const size_t got = std::fread(block.data(), 1, kBlockSize, in);
            for (size_t t = 0; t < count && got > 0; ++t)
                whole = whole && targets[t].Write(block.data(), static_cast<DWORD>(got));
            if (!whole)
                break;
            written += got;
            m_progress->Percent(Progress(written, size));
            if (got < kBlockSize) {
                // A short read ends the file: it is whole unless reading failed.
                whole = !std::ferror(in);
                const FILETIME time = plat::clock::UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
                for (size_t t = 0; t < count && whole; ++t)
                    CeSetFileTime(targets[t].handle, nullptr, nullptr, &time);
                break;
            }
        }
    }
    for (size_t t = count; t-- > 0;)
        whole = targets[t].Finish(whole) && whole;
    if (whole)
        copied |= Bit(index);
    return whole;
}

bool CMevrant::UpdateDevice() {
    const bool connectedHere = !m_connected;
    if (connectedHere && !ConnectDevice())
        return false;
    m_progress->Start(FromAnsi(kConnecting));
    Folders folders;
    if (!DeviceFolders(folders)) {
        if (connectedHere)
            DisconnectDevice();
        return false;
    }
    const ProductKind& kind = Kind(m_config.kind);
    size_t first = 0, last = kind.files.size();   // [first, last)
    if (m_installMode) {
        first = kind.files.size();
        last = first + 1;
        if (!m_config.install.cabFile.empty())
            m_package = m_config.install.cabFile;
    }
    uint32_t attempted = 0, copied = 0;
    std::vector<std::string> unreadable(last);   // why a present file could not be read
    for (size_t i = first; i < last; ++i) {
        const std::string name = i == kind.files.size() ? m_package : kind.files[i].first;
        const std::string source = deskcommon::FindFileNoCase(m_folder + "/" + name);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(source, ec))
            continue;   // absent from the folder: not attempted
        attempted |= Bit(i);
        // A file that is there but cannot be read fails: it was meant to go.
        std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(source.c_str(), "rb"), &std::fclose);
        if (!in) {
            unreadable[i] = name + ": " + std::strerror(errno);
            continue;
        }
        CopyFile(i, in.get(), folders, copied);
    }
    // In install mode a package missing from the folder is a failure: there
    // is nothing for the installer to install.
    const bool ok = copied == attempted && (!m_installMode || attempted != 0);
    std::string result = kUpdated;
    if (!ok) {
        result = kUpdateFailed;
        for (size_t i = first; i < last; ++i) {
            if (copied & Bit(i))
                continue;
            result += "   ";
            result += i == kind.files.size() ? kind.packageName : kind.files[i].second;
            if (!unreadable[i].empty())
                result += " (" + unreadable[i] + ")";
            result += "\n";
        }
    }
    m_progress->Hide();
    if (!m_installMode)
        Message(result, MB_OK | (ok ? MB_ICONINFORMATION : MB_ICONEXCLAMATION), Title());
    if (m_config.kind == 1 && !m_installMode && ok) {
        // The agent takes its new configuration when told.
        const std::u16string monitor = Join({folders.install, u"Monitor.exe"});
        PROCESS_INFORMATION info{};
        if (CeCreateProcess(monitor.c_str(), u"/update", nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                            &info))
            CeCloseHandle(info.hProcess);
    }
    if (connectedHere)
        DisconnectDevice();
    return ok;
}

bool CMevrant::InstallProduct() {
    const InstallSettings& install = m_config.install;
    if (install.installType != 1 || install.installDir.empty() || install.installApp.empty() ||
        install.cabFile.empty())
        return DesktopInstall();
    const std::u16string installApp = FromAnsi(install.installApp);
    if (!ConnectDevice())
        return false;
    if (CeGetFileAttributes(installApp.c_str()) == INVALID_FILE_ATTRIBUTES) {
        DisconnectDevice();
        Message(kNoInstallApp, MB_OK | MB_ICONEXCLAMATION, installApp);
        return false;
    }
    m_installMode = true;
    const bool copiedPackage = UpdateDevice();
    m_installMode = false;
    if (!copiedPackage) {
        DisconnectDevice();
        Message(kCabNotCopied, MB_OK | MB_ICONEXCLAMATION, FromAnsi(kInstallFailedCaption));
        return false;
    }
    // The installer is told where the package was put.
    std::u16string commandLine;
    if (!install.installAppArgs.empty())
        commandLine = FromAnsi(install.installAppArgs) + u" ";
    commandLine += u"\"" + m_packageTarget + u"\"";
    PROCESS_INFORMATION info{};
    if (!CeCreateProcess(installApp.c_str(), commandLine.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         nullptr, &info)) {
        Message(kNoSpawn, MB_OK | MB_ICONEXCLAMATION, installApp);
        DisconnectDevice();
        return false;
    }
    CeCloseHandle(info.hProcess);
    Message(kInstallStarted, MB_OK | MB_ICONINFORMATION, FromAnsi(kInstallStartedCaption));
    DisconnectDevice();
    return true;
}

bool CMevrant::DesktopInstall() {
    std::string manager;
    DWORD error = 0;
    if (!ReadDesktopAppPath(m_desktopRegistry, manager, error)) {
        deskcommon::Messages().Show(SystemErrorText(error), MB_OK | MB_ICONINFORMATION, u"Error");
        return false;
    }
    for (const std::string& ini : MatchingFiles(m_folder, "*.ini"))
        RunDesktopProgram(DesktopPath(manager), {ini}, m_folder);
    return true;
}

}  // namespace mevrant
