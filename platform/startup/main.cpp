// orvade-startup: what the device does with its start-up folder at cold
// boot. Every entry of "\application\startup" of the device root, in name
// order, is run and waited for: a ".run" file names the program (a device
// path) on its first line, a ".lnk" shortcut names it as its target; other
// files are left alone. Only what an installation writes runs: a program its
// installation list names, without arguments.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/DeviceFs.h"
#include "platform/Process.h"
#include "platform/Shortcut.h"
#include "platform/Text.h"

namespace {

constexpr char16_t kStartupFolder[] = u"\\application\\startup";
constexpr size_t kMaxLine = 4096;

constexpr char kUsage[] =
    "usage: orvade-startup [--device-root DIR] [--timeout SECONDS]\n"
    "Runs the entries of \\application\\startup of the device root, as a cold boot\n"
    "does, each to its end (at most SECONDS, default 120, then the next one).\n"
    "Exit status: 0 every entry ran and ended with 0, 1 otherwise, 2 bad arguments.\n";

bool endsWith(std::u16string_view name, std::u16string_view tail) {
    if (name.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        char16_t c = name[name.size() - tail.size() + i];
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
        if (c != tail[i]) return false;
    }
    return true;
}

// The first line of a ".run" file, in the default code page.
std::u16string firstLine(const std::u16string& path) {
    FILE* f = plat::fs::OpenFile(path, "rb");
    if (!f) return {};
    std::string bytes(kMaxLine, '\0');
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    bytes.resize(std::min(bytes.find_first_of("\r\n"), bytes.size()));
    return plat::text::BytesToWide(CP_ACP, bytes);
}

// The program an entry's command names: the whole line (an installation
// writes its folder, blanks and all, unquoted), or the quoted part of a line
// that begins with a quote. Empty when anything follows the program.
std::u16string programOf(std::u16string_view command) {
    while (!command.empty() && (command.back() == u' ' || command.back() == u'\t')) command.remove_suffix(1);
    while (!command.empty() && (command.front() == u' ' || command.front() == u'\t')) command.remove_prefix(1);
    if (command.empty() || command[0] != u'"') return std::u16string(command);
    const size_t close = command.find(u'"', 1);
    if (close != command.size() - 1) return {};
    return std::u16string(command.substr(1, close - 1));
}

// Whether an installation list of the program's folder or a folder above it
// names the program.
bool installed(const std::u16string& program) {
    for (size_t cut = program.rfind(u'\\'); cut != std::u16string::npos; cut = program.rfind(u'\\', cut - 1)) {
        for (const plat::fs::InstalledName& name : plat::fs::InstalledNames(cut ? program.substr(0, cut) : u"\\"))
            if (!name.folder && plat::fs::IsWithin(name.path, program) && plat::fs::IsWithin(program, name.path))
                return true;
        if (cut == 0) break;
    }
    return false;
}

std::u16string commandOf(const std::u16string& entry) {
    if (endsWith(entry, u".run")) return firstLine(entry);
    if (endsWith(entry, u".lnk")) {
        char16_t target[kMaxLine];
        if (SHGetShortcutTarget(entry.c_str(), target, int(kMaxLine))) return target;
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    int timeoutSeconds = 120;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--device-root" && i + 1 < argc) {
            plat::fs::SetDeviceRoot(argv[++i]);
        } else if (arg == "--timeout" && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (!end || *end || value <= 0 || value > 86400) {
                std::fprintf(stderr, "orvade-startup: bad timeout %s\n%s", argv[i], kUsage);
                return 2;
            }
            timeoutSeconds = int(value);
        } else {
            std::fprintf(stderr, "orvade-startup: unknown argument %s\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }
    if (const std::string refused = plat::process::RefusedOutsideRoot(plat::fs::DeviceRoot(), true); !refused.empty()) {
        std::fprintf(stderr, "orvade-startup: the device root %s is refused: %s\n", plat::fs::DeviceRoot().c_str(),
                     refused.c_str());
        return 2;
    }

    bool allRan = true;
    for (const plat::fs::FindData& f : plat::fs::FindNames(std::u16string(kStartupFolder) + u"\\*")) {
        if (f.isDirectory) continue;
        const std::u16string entry = std::u16string(kStartupFolder) + u"\\" + f.name;
        const std::string shown = plat::text::WideToUtf8(entry);
        const std::u16string command = commandOf(entry);
        if (command.find_first_not_of(u" \t") == std::u16string::npos) {
            if (endsWith(entry, u".run") || endsWith(entry, u".lnk")) {
                std::fprintf(stderr, "orvade-startup: %s names no program\n", shown.c_str());
                allRan = false;
            }
            continue;
        }
        const std::u16string program = programOf(command);
        const std::string programShown = plat::text::WideToUtf8(command);
        if (program.empty() || program[0] != u'\\' || !installed(program)) {
            std::fprintf(stderr, "orvade-startup: %s: %s is not a program an installation wrote; not run\n",
                         shown.c_str(), programShown.c_str());
            allRan = false;
            continue;
        }
        const std::unique_ptr<plat::process::Process> process = plat::process::Process::Start(program, {});
        if (!process) {
            std::fprintf(stderr, "orvade-startup: %s: cannot start %s\n", shown.c_str(), programShown.c_str());
            allRan = false;
            continue;
        }
        if (!process->Wait(timeoutSeconds * 1000)) {
            std::fprintf(stderr, "orvade-startup: %s still runs after %d s; going on\n", shown.c_str(), timeoutSeconds);
            allRan = false;
        } else if (!WIFEXITED(process->Status()) || WEXITSTATUS(process->Status()) != 0) {
            std::fprintf(stderr, "orvade-startup: %s ended with wait status %d\n", shown.c_str(), process->Status());
            allRan = false;
        }
    }
    return allRan ? 0 : 1;
}
