#include "Installer.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "platform/DeviceFs.h"
#include "platform/Library.h"
#include "platform/Process.h"
#include "platform/Shortcut.h"
#include "platform/Text.h"
#include "platform/exports/SetupExports.h"

namespace installer {
namespace {

std::u16string join(std::u16string_view folder, std::u16string_view name) {
    return std::u16string(folder) + u"\\" + std::u16string(name);
}

bool sameName(std::u16string_view a, std::u16string_view b) {
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
               return fold(x) == fold(y);
           });
}

// Writes what read gives into a new file beside the target, then gives it the
// target's name in one step.
bool writeEntry(const std::u16string& target, bool executable, const ReadBytes& read) {
    const size_t slash = target.rfind(u'\\');
    const std::optional<std::u16string> temp = plat::fs::CreateTempFile(target.substr(0, slash));
    if (!temp) return false;
    FILE* out = plat::fs::OpenFile(*temp, "wb");
    bool ok = out != nullptr;
    std::vector<char> buffer(64 * 1024);
    while (ok) {
        const long n = read(buffer.data(), buffer.size());
        if (n == 0) break;
        ok = n > 0 && std::fwrite(buffer.data(), 1, size_t(n), out) == size_t(n);
    }
    if (out) {
        ok = std::fflush(out) == 0 && ::fdatasync(fileno(out)) == 0 && ok;
        ok = std::fclose(out) == 0 && ok;
    }
    ok = ok && plat::fs::SetExecutable(*temp, executable) && plat::fs::ReplaceFile(*temp, target);
    if (!ok) plat::fs::DeleteFile(*temp);
    return ok;
}

// The setup library, loaded from a copy in the temporary folder while its
// hooks are called.
class CSetupLibrary {
public:
    CSetupLibrary() = default;
    CSetupLibrary(const CSetupLibrary&) = delete;
    CSetupLibrary& operator=(const CSetupLibrary&) = delete;
    ~CSetupLibrary() {
        if (m_module) FreeLibrary(m_module);
        if (!m_copy.empty()) plat::fs::DeleteFile(m_copy);
    }
    // write fills the copy's path.
    bool Load(const std::function<bool(const std::u16string& path)>& write) {
        const std::u16string tempFolder = plat::fs::TempFolder();
        if (!plat::fs::CreateDirectories(tempFolder)) return false;
        const std::optional<std::u16string> temp = plat::fs::CreateTempFile(tempFolder);
        if (!temp) return false;
        m_copy = *temp + u".dll";  // the loader loads ".dll" files only
        if (!plat::fs::MoveFile(*temp, m_copy)) {
            plat::fs::DeleteFile(*temp);
            m_copy.clear();
            return false;
        }
        if (!write(m_copy)) return false;
        m_module = LoadLibrary(m_copy);
        if (m_module) m_hooks.Bind(m_module);
        return m_module != nullptr;
    }
    const SetupExports& Hooks() const { return m_hooks; }

private:
    std::u16string m_copy;
    HMODULE m_module = nullptr;
    SetupExports m_hooks;
};

std::string narrow(std::u16string_view text) { return plat::text::WideToBytes(CP_UTF8, text); }

}  // namespace

Outcome Install(const std::string& packageHostPath, std::u16string_view folder, std::u16string_view setupLibrary) {
    Outcome outcome;
    const PackageContents contents = ReadPackage(packageHostPath);
    if (contents.error != PackageError::None) {
        outcome.message = packageHostPath + (contents.badEntry.empty() ? "" : ": " + contents.badEntry) + ": " +
                          ErrorText(contents.error);
        return outcome;
    }
    if (!plat::fs::IsValidFilePath(folder) || !plat::fs::CreateDirectories(folder)) {
        outcome.message = "cannot make the install folder " + narrow(folder);
        return outcome;
    }
    const std::u16string list = join(folder, kInstalledList);
    const bool previouslyInstalled = plat::fs::Exists(list);

    CSetupLibrary setup;
    const auto isSetup = [&](const PackageEntry& e) { return !e.directory && sameName(e.name, setupLibrary); };
    if (!setupLibrary.empty() && std::any_of(contents.entries.begin(), contents.entries.end(), isSetup)) {
        const bool loaded = setup.Load([&](const std::u16string& copy) {
            bool written = false;
            ExtractPackage(packageHostPath, [&](const PackageEntry& e, const ReadBytes& read) {
                if (!isSetup(e)) return true;
                written = writeEntry(copy, false, read);
                return false;
            });
            return written;
        });
        if (!loaded) {
            outcome.message = "cannot load the setup library " + narrow(setupLibrary);
            return outcome;
        }
        if (setup.Hooks().Install_Init) setup.Hooks().Install_Init(0, TRUE, previouslyInstalled, std::u16string(folder).c_str());
    }

    std::u16string installed;
    const bool read = ExtractPackage(packageHostPath, [&](const PackageEntry& e, const ReadBytes& bytes) {
        const std::u16string target = join(folder, e.name);
        const size_t slash = target.rfind(u'\\');
        if (e.directory) {
            if (plat::fs::CreateDirectories(target))
                installed += e.name + u"\\\n";
            else
                ++outcome.failedFolders;
        } else if (!plat::fs::CreateDirectories(target.substr(0, slash))) {
            ++outcome.failedFolders;
            ++outcome.failedFiles;
        } else if (writeEntry(target, e.executable, bytes)) {
            installed += e.name + u"\n";
        } else {
            ++outcome.failedFiles;
        }
        return true;
    });
    if (setup.Hooks().Install_Exit)
        setup.Hooks().Install_Exit(0, std::u16string(folder).c_str(), WORD(std::min(outcome.failedFolders, 0xFFFF)),
                                   WORD(std::min(outcome.failedFiles, 0xFFFF)), 0, 0, 0);
    // The list is the installation's last write, and only of a whole one: a
    // start takes a listed folder for installed, so an installation cut short
    // (killed, or a file not written) is made again.
    outcome.ok = read && outcome.failedFolders == 0 && outcome.failedFiles == 0;
    if (outcome.ok) {
        const std::string listBytes = narrow(installed);
        outcome.ok = plat::fs::WriteFile(list, listBytes.data(), listBytes.size());
        if (!outcome.ok) ++outcome.failedFiles;
    }
    if (!read) outcome.message = packageHostPath + ": the package changed or broke while it was unpacked";
    else if (!outcome.ok) outcome.message = "some files or folders could not be written";
    return outcome;
}

namespace {

// The program a shortcut's target starts lies in the folder, its name
// compared as the file system matches names.
bool startsProgramIn(std::u16string_view target, std::u16string_view folder) {
    const std::vector<std::u16string> words = plat::process::SplitCommandLine(target);
    if (words.empty()) return false;
    const std::u16string_view program = words[0];
    return program.size() > folder.size() && program[folder.size()] == u'\\' &&
           plat::fs::WildcardMatch(folder, program.substr(0, folder.size()));
}

// Shortcuts of the start menu and the desktop that start a program of the
// removed folder would point at nothing once it is gone: they go with it.
void removeShortcutsInto(std::u16string_view folder) {
    for (int id : {CSIDL_STARTMENU, CSIDL_DESKTOPDIRECTORY}) {
        char16_t path[260];  // as the call asks
        if (!SHGetSpecialFolderPath(0, path, id, FALSE)) continue;
        for (const plat::fs::FindData& entry : plat::fs::FindNames(std::u16string(path) + u"\\*.lnk")) {
            if (entry.isDirectory) continue;
            const std::u16string shortcut = std::u16string(path) + u"\\" + entry.name;
            char16_t target[1024];
            if (SHGetShortcutTarget(shortcut.c_str(), target, int(std::size(target))) &&
                startsProgramIn(target, folder))
                plat::fs::DeleteFile(shortcut);
        }
    }
}

}  // namespace

Outcome Uninstall(std::u16string_view folder, std::u16string_view setupLibrary) {
    Outcome outcome;
    const std::u16string list = join(folder, kInstalledList);
    FILE* f = plat::fs::IsValidFilePath(folder) ? plat::fs::OpenFile(list, "rb") : nullptr;
    if (!f) {
        outcome.message = "nothing is installed in " + narrow(folder);
        return outcome;
    }
    std::string bytes;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
    std::fclose(f);

    CSetupLibrary setup;
    const std::u16string setupPath = setupLibrary.empty() ? std::u16string() : join(folder, setupLibrary);
    if (!setupPath.empty() && plat::fs::Exists(setupPath) &&
        setup.Load([&](const std::u16string& copy) { return plat::fs::CopyFile(setupPath, copy, false); }) &&
        setup.Hooks().Uninstall_Init)
        setup.Hooks().Uninstall_Init(0, std::u16string(folder).c_str());

    std::vector<std::u16string> folders;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        const bool isFolder = !line.empty() && line.back() == '\\';
        std::u16string name;
        // The list lies in the device root: its names obey the package's rules.
        if (RelativeName(line, &name) != PackageError::None || name.empty()) continue;
        const std::u16string target = join(folder, name);
        // The folders above a file were made for it too.
        for (size_t at = name.find(u'\\'); at != std::u16string::npos; at = name.find(u'\\', at + 1))
            folders.push_back(join(folder, name.substr(0, at)));
        if (isFolder)
            folders.push_back(target);
        else if (plat::fs::Exists(target) && !plat::fs::DeleteFile(target))
            ++outcome.failedFiles;
    }
    plat::fs::DeleteFile(list);
    // Deepest first; folders that still hold files stay.
    std::sort(folders.begin(), folders.end(),
              [](const auto& a, const auto& b) { return a.size() != b.size() ? a.size() > b.size() : a < b; });
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const std::u16string& dir : folders) plat::fs::RemoveDirectory(dir);
    plat::fs::RemoveDirectory(folder);
    removeShortcutsInto(folder);

    if (setup.Hooks().Uninstall_Exit) setup.Hooks().Uninstall_Exit(0);
    outcome.ok = outcome.failedFiles == 0;
    if (!outcome.ok) outcome.message = "some files could not be removed";
    return outcome;
}

}  // namespace installer
