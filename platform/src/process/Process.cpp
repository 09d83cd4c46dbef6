// Programs are started with posix_spawn from a descriptor opened through the
// device file system (so no link is followed between the check and the
// start), by its /proc/self/fd name; the descriptor is inherited only for
// the start.
#include "platform/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

#include "platform/DeviceFs.h"
#include "platform/Text.h"

extern char** environ;

namespace plat::process {

std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
    std::vector<std::u16string> words;
    std::u16string word;
    bool inWord = false, quoted = false;
    for (char16_t c : line) {
        if (c == u'"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == u' ' || c == u'\t')) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

namespace {

constexpr char kDeviceRootVariable[] = "ORVADE_DEVICE_ROOT";

// The path with its links followed as far as it exists, made absolute.
std::filesystem::path Resolved(const std::string& path) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
    if (error || path.empty()) return {};
    if (resolved.has_relative_path() && !resolved.has_filename()) resolved = resolved.parent_path();
    return resolved;
}

bool Inside(const std::filesystem::path& path, const std::filesystem::path& folder) {
    return std::mismatch(folder.begin(), folder.end(), path.begin(), path.end()).first == folder.end();
}

// Qt's plug-in folders without those inside the device root, where a host
// may write: a started program loads no plug-in from there, whatever folder
// this program named for itself.
constexpr char kPlugInVariable[] = "QT_PLUGIN_PATH";

std::string PlugInPathsOutside(const std::string& paths, const std::string& root) {
    const std::filesystem::path enclosing = Resolved(root);
    std::string kept;
    size_t start = 0;
    while (start <= paths.size()) {
        const size_t end = std::min(paths.find(':', start), paths.size());
        const std::string folder = paths.substr(start, end - start);
        const std::filesystem::path resolved = Resolved(folder);
        // A relative folder would be taken in the root, where the program starts.
        if (!folder.empty() && folder[0] == '/' && !resolved.empty() && !enclosing.empty() &&
            !Inside(resolved, enclosing))
            kept += (kept.empty() ? "" : ":") + folder;
        start = end + 1;
    }
    return kept;
}

// This program's environment for the started one: the device root named as
// its root and as the root it was started in, whatever this one had.
std::vector<std::string> StartedEnvironment(const std::string& root) {
    std::vector<std::string> variables;
    const auto named = [](const char* entry, const char* name) {
        const size_t n = std::strlen(name);
        return std::strncmp(entry, name, n) == 0 && entry[n] == '=';
    };
    for (char** e = environ; e && *e; ++e) {
        if (named(*e, kDeviceRootVariable) || named(*e, kStartedInVariable)) continue;
        if (named(*e, kPlugInVariable)) {
            if (std::string paths = PlugInPathsOutside(*e + sizeof kPlugInVariable, root); !paths.empty())
                variables.push_back(std::string(kPlugInVariable) + "=" + paths);
            continue;
        }
        variables.emplace_back(*e);
    }
    variables.push_back(std::string(kDeviceRootVariable) + "=" + root);
    variables.push_back(std::string(kStartedInVariable) + "=" + root);
    return variables;
}

}  // namespace

std::string StartedInRoot() {
    const char* root = std::getenv(kStartedInVariable);
    return root ? root : "";
}

std::string RefusedOutsideRoot(const std::string& machinePath, bool deviceRoot) {
    const std::string root = StartedInRoot();
    if (root.empty()) return {};
    const std::filesystem::path enclosing = Resolved(root), path = Resolved(machinePath);
    const bool allowed = !enclosing.empty() && !path.empty() &&
                         (deviceRoot ? path == enclosing : Inside(path, enclosing));
    if (allowed) return {};
    return deviceRoot ? "started inside the device root " + root + ", it works on that root only"
                      : "started inside the device root " + root + ", it uses nothing outside it";
}

std::unique_ptr<Process> Process::Start(std::u16string_view program, const std::vector<std::u16string>& arguments) {
    FILE* file = plat::fs::OpenFile(program, "rb");
    if (!file) return nullptr;
    struct stat st{};
    const bool runnable = fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0;
    // A copy without close-on-exec: the kernel (or a script's interpreter) opens it by name.
    const int execFd = runnable ? fcntl(fileno(file), F_DUPFD, 3) : -1;
    std::fclose(file);
    if (execFd < 0) return nullptr;
    const std::string path = "/proc/self/fd/" + std::to_string(execFd);
    std::vector<std::string> args{plat::text::WideToUtf8(program)};
    for (const std::u16string& a : arguments) args.push_back(plat::text::WideToUtf8(a));
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string root = plat::fs::DeviceRoot();
    std::vector<std::string> variables = StartedEnvironment(root);
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, root.c_str());
    pid_t pid = -1;
    const int error = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(execFd);
    if (error != 0) return nullptr;
    return std::unique_ptr<Process>(new Process(pid, static_cast<int>(syscall(SYS_pidfd_open, pid, 0))));
}

bool Process::Wait(int milliseconds) {
    if (m_ended) return true;
    if (m_pidfd >= 0) {
        pollfd p{m_pidfd, POLLIN, 0};
        while (poll(&p, 1, milliseconds) < 0 && errno == EINTR) {}
        if (!(p.revents & POLLIN)) return false;
        m_ended = waitpid(m_pid, &m_status, 0) == m_pid;
        return m_ended;
    }
    // Without a process descriptor: look again in short slices.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (waitpid(m_pid, &m_status, WNOHANG) == m_pid) return m_ended = true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

Process::~Process() {
    if (m_pidfd >= 0) close(m_pidfd);
    if (!m_ended) {
        const int pid = m_pid;
        std::thread([pid] {
            int status;
            waitpid(pid, &status, 0);
        }).detach();
    }
}

}  // namespace plat::process
