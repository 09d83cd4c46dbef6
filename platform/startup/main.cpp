// orvade-startup: what the device does with its start-up folder at cold
// boot. Every entry of "\application\startup" of the device root, in name
// order, is run and waited for: a ".run" file names the program (a device
// path, and its arguments) on its first line, a ".lnk" shortcut names it as
// its target; other files are left alone.
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
    // The programs started find the same device root.
    setenv("ORVADE_DEVICE_ROOT", plat::fs::DeviceRoot().c_str(), 1);

    bool allRan = true;
    for (const plat::fs::FindData& f : plat::fs::FindNames(std::u16string(kStartupFolder) + u"\\*")) {
        if (f.isDirectory) continue;
        const std::u16string entry = std::u16string(kStartupFolder) + u"\\" + f.name;
        const std::string shown = plat::text::WideToUtf8(entry);
        const std::vector<std::u16string> words = plat::process::SplitCommandLine(commandOf(entry));
        if (words.empty()) {
            if (endsWith(entry, u".run") || endsWith(entry, u".lnk")) {
                std::fprintf(stderr, "orvade-startup: %s names no program\n", shown.c_str());
                allRan = false;
            }
            continue;
        }
        const std::vector<std::u16string> arguments(words.begin() + 1, words.end());
        const std::unique_ptr<plat::process::Process> process = plat::process::Process::Start(words[0], arguments);
        if (!process) {
            std::fprintf(stderr, "orvade-startup: %s: cannot start %s\n", shown.c_str(),
                         plat::text::WideToUtf8(words[0]).c_str());
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
