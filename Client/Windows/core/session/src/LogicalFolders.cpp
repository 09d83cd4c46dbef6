#include "core/session/LogicalFolders.h"

#include <array>
#include <iterator>

#include "common/Packet.h"
#include "core/support/StartFolders.h"

namespace {

constexpr size_t kFolderCount = std::size(kStartFolders);

// One more than the folders: the end record, whose name is empty.
using FolderTable = std::array<LogicalFolder, kFolderCount + 1>;

FolderTable StartTable() {
    FolderTable table{};
    for (size_t i = 0; i < kFolderCount; ++i)
        table[i] = {kStartFolders[i].name, kStartFolders[i].extension, kStartFolders[i].path};
    table[kFolderCount] = {u"", u"", u""};
    return table;
}

FolderTable& Table() {
    static FolderTable table = StartTable();
    return table;
}

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool SameText(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

bool Matches(const LogicalFolder& f, std::u16string_view name, std::u16string_view extension) {
    return extension.empty() ? SameText(f.name, name) : SameText(f.extension, extension);
}

}  // namespace

std::optional<std::u16string> FindFolder(std::u16string_view name, std::u16string_view extension) {
    if (name.empty() && extension.empty()) return std::nullopt;
    for (const LogicalFolder& f : Table()) {
        if (f.path.empty()) break;
        if (Matches(f, name, extension)) return f.path;
    }
    return std::nullopt;
}

int RegisterFolder(std::u16string_view name, std::u16string_view extension, const char16_t* path) {
    if (!path || (name.empty() && extension.empty())) return 0;
    for (LogicalFolder& f : Table()) {
        if (!*f.name) break;
        if (Matches(f, name, extension)) {
            f.path = path;
            return 1;
        }
    }
    return 0;
}

void BuildFolderPath(std::u16string& directory, std::u16string& name, std::u16string_view defaultFolder) {
    directory.clear();
    if (name.find(u'\\') == std::u16string::npos) {
        directory = FindFolder(u"APP", {}).value_or(u"");
        directory += u'\\';
        std::optional<std::u16string> folder;
        size_t dot = name.rfind(u'.');
        if (dot != std::u16string::npos) folder = FindFolder({}, std::u16string_view(name).substr(dot));
        if (!folder && !defaultFolder.empty()) folder = FindFolder(defaultFolder, {});
        if (folder) directory += *folder;
    }
    size_t open = name.find(u'%');
    size_t close = open == std::u16string::npos ? open : name.find(u'%', open + 1);
    if (close == std::u16string::npos) return;
    std::u16string folderName = name.substr(open + 1, close - open - 1);
    if (directory.empty()) {
        directory = FindFolder(u"OVC", {}).value_or(u"");
        directory += u'\\';
    }
    if (std::optional<std::u16string> folder = FindFolder(folderName, {}))
        if (directory.size() + folder->size() + 1 <= kMaxFolderPath) directory += *folder;
    size_t rest = close + 1;
    if (rest < name.size() && name[rest] == u'\\') ++rest;
    name.erase(0, rest);
}

std::u16string ReadHostName(CPacket* pkt) {
    constexpr int32_t units = static_cast<int32_t>(kMaxFolderPath);
    if (pkt->GetWide(nullptr, 0) > units) return {};
    char16_t text[kMaxFolderPath];
    pkt->GetWide(text, units);
    return text;
}

void ResetLogicalFolders() { Table() = StartTable(); }
