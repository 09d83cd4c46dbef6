#include "core/support/FileUtil.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "core/support/FileHandle.h"
#include "core/support/StartFolders.h"
#include "platform/DeviceFs.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace FileUtil {

namespace {

template <typename Ch>
bool Digits(std::basic_string_view<Ch> text, size_t from, size_t count, int* value) {
    int v = 0;
    for (size_t i = from; i < from + count; ++i) {
        Ch c = text[i];
        if (c < Ch('0') || c > Ch('9')) return false;
        v = v * 10 + static_cast<int>(c - Ch('0'));
    }
    *value = v;
    return true;
}

template <typename Ch>
BOOL Parse(std::basic_string_view<Ch> date, std::basic_string_view<Ch> time, SYSTEMTIME* out) {
    if (!out || date.size() < 8 || time.size() < 6) return FALSE;
    int year, month, day, hour, minute, second;
    if (!Digits(date, 0, 4, &year) || !Digits(date, 4, 2, &month) || !Digits(date, 6, 2, &day) ||
        !Digits(time, 0, 2, &hour) || !Digits(time, 2, 2, &minute) || !Digits(time, 4, 2, &second))
        return FALSE;
    const SYSTEMTIME st{static_cast<WORD>(year), static_cast<WORD>(month),  0, static_cast<WORD>(day),
                        static_cast<WORD>(hour), static_cast<WORD>(minute), static_cast<WORD>(second), 0};
    // The clock's conversion checks the calendar (real dates, years from 1601).
    FILETIME unused;
    if (!SystemTimeToFileTime(&st, &unused)) return FALSE;
    *out = st;
    return TRUE;
}

template <typename Ch>
BOOL SetTimes(std::u16string_view folder, std::u16string_view name, std::basic_string_view<Ch> date,
              std::basic_string_view<Ch> time) {
    SYSTEMTIME st;
    FILETIME local, utc;
    if (!Parse(date, time, &st) || !SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return FALSE;
    std::u16string path = JoinPath(folder, name);
    if (!plat::fs::Exists(path)) return FALSE;
    return plat::fs::SetFileTimes(path, &utc, &utc) ? TRUE : FALSE;
}

}  // namespace

BOOL DeleteFiles(std::u16string_view folder, std::u16string_view pattern, BOOL* lastResult) {
    std::u16string search = JoinPath(folder, pattern);
    std::u16string directory(SearchFolderOf(search));
    // A folder that matches is not deleted: it counts as a failed deletion.
    BOOL last = FALSE;
    BOOL all = FALSE;
    bool first = true;
    for (const auto& entry : plat::fs::FindFiles(search)) {
        const std::u16string path = directory + entry.name;
        last = !entry.isDirectory && HostMayChange(path) && plat::fs::DeleteFile(path) ? TRUE : FALSE;
        all = first ? last : (all && last ? TRUE : FALSE);
        first = false;
    }
    if (lastResult) *lastResult = last;
    return all;
}

BOOL RemoveTree(std::u16string_view folder, std::u16string_view name) {
    // Depth first, links deleted and never followed; the result is that of
    // removing the directory itself. The file system never removes the
    // device root or the program folder.
    const std::u16string path = JoinPath(folder, name);
    return HostMayChange(path) && plat::fs::RemoveTree(path) ? TRUE : FALSE;
}

int32_t ReadWholeFile(std::u16string_view folder, std::u16string_view name, void* buffer, int32_t size) {
    FileHandle file = OpenDeviceFile(JoinPath(folder, name), "rb");
    FILE* f = file.get();
    if (!f) return -1;
    long fileSize = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) fileSize = std::ftell(f);
    int32_t result = -1;
    if (fileSize >= 0 && std::fseek(f, 0, SEEK_SET) == 0) {
        if (!buffer || size <= 0) {
            result = fileSize <= INT32_MAX ? static_cast<int32_t>(fileSize) : -1;
        } else {
            size_t want = static_cast<size_t>(std::min<long>(fileSize, size));
            result = static_cast<int32_t>(std::fread(buffer, 1, want, f));
        }
    }
    return result;
}

bool IsLibraryName(std::u16string_view path) {
    std::u16string_view name = path.substr(path.find_last_of(u"\\/") + 1);
    while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.remove_suffix(1);
    if (name.size() < 4) return false;
    const std::u16string_view end = name.substr(name.size() - 4);
    return end[0] == u'.' && (end[1] | 0x20) == u'd' && (end[2] | 0x20) == u'l' && (end[3] | 0x20) == u'l';
}

namespace {

// Compared as the file system matches names, its case folding beyond ASCII
// included: a name that finds an existing "x.so" there ("x.\u017Fo") is code.
bool EndsWithNoCase(std::u16string_view name, std::u16string_view tail) {
    return name.size() >= tail.size() && plat::fs::WildcardMatch(tail, name.substr(name.size() - tail.size()));
}

// Folders of the device no host may change: its system folder and the
// folder the cold boot runs.
constexpr std::u16string_view kSystemFolders[] = {u"\\Windows", u"\\application\\startup"};
// The folders installations went to: the program folder, and the one the
// registry names when deployment installed elsewhere.
std::vector<std::u16string> InstallFolders() {
    std::vector<std::u16string> folders{plat::fs::ProgramFolder()};
    std::u16string installDir;
    if (plat::registry::GetString(HKEY_LOCAL_MACHINE, u"Software\\Quillmar\\Orvade Client", u"InstallDir",
                                  &installDir) &&
        plat::fs::IsSafePath(installDir) && !installDir.empty() && installDir[0] == u'\\' &&
        !plat::fs::IsWithin(installDir, folders[0]))
        folders.push_back(installDir);
    return folders;
}

}  // namespace

bool IsCodeName(std::u16string_view path) {
    std::u16string_view name = path.substr(path.find_last_of(u"\\/") + 1);
    while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.remove_suffix(1);
    for (std::u16string_view tail : {u".dll", u".so", u".exe", u".run"})
        if (EndsWithNoCase(name, tail)) return true;
    // A versioned shared object: ".so" followed by ".N" parts only.
    while (!name.empty() && ((name.back() >= u'0' && name.back() <= u'9') || name.back() == u'.')) {
        name.remove_suffix(1);
        if (!name.empty() && name.back() == u'.' && EndsWithNoCase(name.substr(0, name.size() - 1), u".so"))
            return true;
    }
    return false;
}

bool HostMayChange(std::u16string_view path) {
    if (path.empty() || path[0] != u'\\' || !plat::fs::IsSafePath(path) || IsCodeName(path)) return false;
    // Neither inside a protected folder nor a folder holding one.
    const auto overlaps = [&](std::u16string_view folder) {
        return plat::fs::IsWithin(path, folder) || plat::fs::IsWithin(folder, path);
    };
    for (std::u16string_view folder : kSystemFolders)
        if (overlaps(folder)) return false;
    const std::u16string program = plat::fs::ProgramFolder();
    if (plat::fs::IsWithin(program, path)) return false;
    // Its top level holds the programs and their helpers; the folders below
    // it (the data folders, the hosts' application folders) take files.
    const size_t cut = path.find_last_not_of(u'\\');
    const std::u16string_view parent = path.substr(0, path.rfind(u'\\', cut));
    if (plat::fs::IsWithin(path, program) && plat::fs::IsWithin(program, parent) &&
        std::none_of(std::begin(kStartFolders), std::end(kStartFolders), [&](const StartFolder& folder) {
            return *folder.path && plat::fs::IsWithin(path, JoinPath(program, folder.path));
        }))
        return false;
    for (const std::u16string& folder : InstallFolders()) {
        // The list itself: without it the rest would be the host's.
        if (overlaps(JoinPath(folder, plat::fs::kInstallList))) return false;
        for (const plat::fs::InstalledName& installed : plat::fs::InstalledNames(folder))
            // A data folder the installation made takes files; it stays.
            if (installed.folder ? plat::fs::IsWithin(installed.path, path) : overlaps(installed.path)) return false;
    }
    return true;
}

bool HostMayWrite(std::u16string_view path) { return plat::fs::IsValidFilePath(path) && HostMayChange(path); }

bool MakeHostFolder(std::u16string_view folder) {
    while (folder.size() > 1 && folder.back() == u'\\') folder.remove_suffix(1);
    return plat::fs::IsDirectory(folder) || (HostMayChange(folder) && plat::fs::CreateDirectory(folder));
}

int32_t WriteWholeFile(std::u16string_view folder, std::u16string_view name, const void* data, int32_t count) {
    const size_t size = data && count > 0 ? static_cast<size_t>(count) : 0;
    return plat::fs::WriteFile(JoinPath(folder, name), data, size) ? static_cast<int32_t>(size) : -1;
}

int32_t AppendFile(std::u16string_view folder, std::u16string_view name, const void* data, int32_t count) {
    FileHandle file = OpenDeviceFile(JoinPath(folder, name), "r+b");  // never creates
    if (!file) return -1;
    size_t written = 0;
    if (std::fseek(file.get(), 0, SEEK_END) == 0 && data && count > 0)
        written = std::fwrite(data, 1, static_cast<size_t>(count), file.get());
    if (!CloseFile(file)) written = 0;
    return static_cast<int32_t>(written);
}

BOOL GetFileInfo(std::u16string_view folder, std::u16string_view name, std::string* date, std::string* time,
                 std::string* size) {
    if (!date || !time || !size) return FALSE;
    std::u16string path = JoinPath(folder, name);
    auto data = plat::fs::GetFileData(path);
    if (!data || data->isDirectory) return FALSE;
    if (!OpenDeviceFile(path, "rb")) return FALSE;
    SYSTEMTIME st{};
    if (FileTimeToSystemTime(&data->lastWriteTime, &st)) {
        char text[32];
        std::snprintf(text, sizeof text, "%.4d%.2d%.2d", st.wYear, st.wMonth, st.wDay);
        *date = text;
        std::snprintf(text, sizeof text, "%.2d%.2d%.2d", st.wHour, st.wMinute, st.wSecond);
        *time = text;
        std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(static_cast<uint32_t>(data->size)));
        *size = text;
    }
    return TRUE;
}

BOOL SetFileTimes(std::u16string_view folder, std::u16string_view name, std::u16string_view date,
                  std::u16string_view time) {
    return SetTimes(folder, name, date, time);
}

BOOL SetFileTimes(std::u16string_view folder, std::u16string_view name, std::string_view date,
                  std::string_view time) {
    return SetTimes(folder, name, date, time);
}

BOOL ParseDateTime(std::u16string_view date, std::u16string_view time, SYSTEMTIME* out) {
    return Parse(date, time, out);
}

BOOL ParseDateTime(std::string_view date, std::string_view time, SYSTEMTIME* out) { return Parse(date, time, out); }

}  // namespace FileUtil

FileHandle OpenDeviceFile(std::u16string_view path, const char* mode) {
    return FileHandle(plat::fs::OpenFile(path, mode));
}
