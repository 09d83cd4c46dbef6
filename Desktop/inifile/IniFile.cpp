#include "inifile/IniFile.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "deskcommon/FileLookup.h"

namespace inifile {

namespace {

struct Line {
    std::string text;     // as read or built, newline included when it had one
    size_t content = 0;   // bytes before the first comment character, less a final newline
    bool section = false;
};

bool IsBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool SameChar(char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
}

bool IsSectionLine(const std::string& text, size_t content, int dialect) {
    if (content == 0)
        return false;
    return dialect == kIniIndented ? !IsBlank(text[0]) : text[0] == '[';
}

// Compares name case-insensitively at pos; the position after it, or npos.
size_t MatchWord(const std::string& text, size_t pos, const char* name) {
    for (; *name; ++name, ++pos) {
        if (pos >= text.size() || !SameChar(text[pos], *name))
            return std::string::npos;
    }
    return pos;
}

size_t SkipBlanks(const std::string& text, size_t pos, size_t end) {
    while (pos < end && IsBlank(text[pos]))
        ++pos;
    return pos;
}

bool MatchSection(const Line& line, const char* name, int dialect) {
    if (line.content == 0 || (dialect == kIniIndented && IsBlank(line.text[0])))
        return false;
    size_t pos = SkipBlanks(line.text, 0, line.text.size());
    if (dialect == kIniBracketed) {
        if (pos >= line.text.size() || line.text[pos] != '[')
            return false;
        ++pos;
    }
    pos = MatchWord(line.text, pos, name ? name : "");
    if (pos == std::string::npos)
        return false;
    if (dialect == kIniIndented)
        return pos == line.text.size() || IsBlank(line.text[pos]);
    return pos < line.text.size() && line.text[pos] == ']';
}

bool MatchKey(const Line& line, const char* key, int dialect) {
    if (line.content == 0 || (dialect == kIniIndented && !IsBlank(line.text[0])))
        return false;
    size_t pos = MatchWord(line.text, SkipBlanks(line.text, 0, line.text.size()), key);
    if (pos == std::string::npos)
        return false;
    if (dialect == kIniIndented)
        return pos == line.text.size() || IsBlank(line.text[pos]);
    pos = SkipBlanks(line.text, pos, line.text.size());
    return pos == line.text.size() || line.text[pos] == '=';
}

// Reads a value from pos: leading blanks skipped, cut at the content end and
// at the buffer's room, trailing blanks removed.
std::string ValueFrom(const Line& line, size_t pos, size_t room) {
    pos = SkipBlanks(line.text, pos, line.content);
    size_t end = pos;
    while (end < line.content && end - pos < room)
        ++end;
    while (end > pos && IsBlank(line.text[end - 1]))
        --end;
    return line.text.substr(pos, end - pos);
}

// Where the value of a section header starts: after the name (dialect 1) or
// after "]" (dialect 2).
size_t HeaderRest(const Line& line, const char* name, int dialect) {
    size_t pos = SkipBlanks(line.text, 0, line.text.size());
    if (dialect == kIniBracketed) {
        size_t close = line.text.find(']', pos);
        return close == std::string::npos ? line.text.size() : close + 1;
    }
    return pos + std::strlen(name);
}

// Where the value of a matched key line starts.
size_t KeyRest(const Line& line, const char* key, int dialect) {
    if (dialect == kIniBracketed) {
        size_t eq = line.text.find('=');
        return eq == std::string::npos ? line.text.size() : eq + 1;
    }
    return SkipBlanks(line.text, 0, line.text.size()) + std::strlen(key);
}

void CopyOut(const std::string& s, char* buffer, int length) {
    if (!buffer || length < 1)
        return;
    size_t n = std::min(s.size(), static_cast<size_t>(length - 1));
    std::memcpy(buffer, s.data(), n);
    buffer[n] = '\0';
}

void ClearOut(char* buffer, int length) {
    if (buffer && length >= 1)
        buffer[0] = '\0';
}

}  // namespace

struct IniFile {
    std::string name;
    std::vector<Line> lines;
    int dialect = kIniBracketed;

    // The n-th matching section line after start; npos when there are fewer.
    size_t FindSection(size_t start, const char* section, int n) const {
        for (size_t i = start; i < lines.size(); ++i) {
            if (lines[i].section && MatchSection(lines[i], section, dialect) && n-- == 0)
                return i;
        }
        return std::string::npos;
    }

    // The n-th matching key from start up to the next section line. Not
    // found: *end is that section line (or the end), where a key is added.
    size_t FindKey(size_t start, const char* key, int n, size_t* end = nullptr) const {
        size_t i = start;
        for (; i < lines.size() && !lines[i].section; ++i) {
            if (MatchKey(lines[i], key, dialect) && n-- == 0)
                return i;
        }
        if (end)
            *end = i;
        return std::string::npos;
    }

    Line Built(std::string text, bool header) const {
        Line line;
        line.content = text.size() - 1;
        line.text = std::move(text);
        line.section = header;
        return line;
    }

    std::string HeaderText(const char* section, const char* value) const {
        std::string text = dialect == kIniBracketed ? "[" + std::string(section) + "]" : std::string(section);
        if (value && *value)
            text += std::string(" ") + value;
        return text + "\n";
    }

    std::string KeyText(const char* key, const char* value) const {
        if (dialect == kIniBracketed)
            return std::string(key) + "=" + value + "\n";
        std::string text = "  " + std::string(key);
        if (*value)
            text += std::string(" ") + value;
        return text + "\n";
    }
};

struct IniEnum {
    IniFile* ini = nullptr;
    bool wholeFile = true;
    size_t pos = 0;
    std::string section;   // the section last passed, at most 255 bytes
};

namespace {

// Enumerators are checked against this set before they are read, so a
// stale or foreign pointer is refused without touching freed memory.
std::mutex enumsLock;
std::unordered_set<const IniEnum*> liveEnums;

bool IsLive(const IniEnum* e) {
    std::lock_guard<std::mutex> lock(enumsLock);
    return e && liveEnums.count(e) != 0;
}

}  // namespace

IniFile* IniOpen(const char* name, int dialect) {
    if (!name)
        return nullptr;
    IniFile* ini = new (std::nothrow) IniFile;
    if (!ini)
        return nullptr;
    ini->name = name;
    ini->dialect = dialect;
    return ini;
}

IniFile* IniLoad(const char* name, int dialect, const char* commentChars) {
    IniFile* ini = IniOpen(name, dialect);
    if (!ini)
        return nullptr;
    FILE* file = std::fopen(deskcommon::FindFileNoCase(name).c_str(), "rb");
    // A folder opens for reading here but holds no lines: it is no file.
    struct stat st {};
    if (file && (::fstat(::fileno(file), &st) != 0 || S_ISDIR(st.st_mode))) {
        std::fclose(file);
        file = nullptr;
        errno = EISDIR;
    }
    if (!file) {
        const int error = errno;
        IniClose(ini);
        errno = error;
        return nullptr;
    }
    const char* comments = commentChars ? commentChars : "";
    // A line reader of 256 bytes over text-mode input: CR LF reads as LF and
    // a longer physical line becomes several records.
    std::string record;
    auto finish = [&] {
        Line line;
        line.text = std::move(record);
        record.clear();
        size_t content = std::strcspn(line.text.c_str(), comments);
        if (content == line.text.size() && content > 0 && line.text.back() == '\n')
            --content;
        line.content = content;
        line.section = IsSectionLine(line.text, line.content, dialect);
        ini->lines.push_back(std::move(line));
    };
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        if (c == '\r') {
            int next = std::fgetc(file);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                std::ungetc(next, file);
        }
        record.push_back(static_cast<char>(c));
        if (c == '\n' || record.size() == kIniMaxLine)
            finish();
    }
    if (!record.empty())
        finish();
    std::fclose(file);
    return ini;
}

int IniWrite(IniFile* ini, const char* name) {
    if (!ini)
        return kIniBadArgument;
    std::string bytes;
    for (const Line& line : ini->lines) {
        for (char c : line.text) {
            if (c == '\n')
                bytes += '\r';
            bytes += c;
        }
        if (line.text.empty() || line.text.back() != '\n')
            bytes += "\r\n";
    }
    std::string path = deskcommon::FindFileNoCase(name ? name : ini->name);
    return deskcommon::ReplaceFile(path, bytes) ? kIniOk : kIniCannotOpen;
}

int IniClose(IniFile* ini) {
    if (!ini)
        return kIniBadArgument;
    {
        // Enumerators left open on this handle become invalid, not dangling.
        std::lock_guard<std::mutex> lock(enumsLock);
        for (const IniEnum* e : liveEnums) {
            if (e->ini == ini)
                const_cast<IniEnum*>(e)->ini = nullptr;
        }
    }
    delete ini;
    return kIniOk;
}

int IniSetValue(IniFile* ini, const char* section, const char* key, int n, const char* value) {
    if (!ini)
        return kIniBadArgument;
    if (section && !*section)
        section = nullptr;
    if (key && !*key)
        key = nullptr;
    if (!section && !key)
        return kIniBadArgument;
    if (n < 0)
        n = 0;
    std::vector<Line>& lines = ini->lines;
    // Every line is built and checked before anything is unlinked, so a
    // refused call leaves the file as it was.
    if (section && std::strlen(section) > kIniMaxLine)
        return kIniNoMemory;
    std::string header, keyLine;
    if (section && (!key || value)) {
        header = ini->HeaderText(section, key ? nullptr : value);
        if (header.size() > kIniMaxLine)
            return kIniNoMemory;
    }
    if (key && value) {
        keyLine = ini->KeyText(key, value);
        if (keyLine.size() > kIniMaxLine)
            return kIniNoMemory;
    }
    try {
        size_t start = 0;
        if (section) {
            size_t at = ini->FindSection(0, section, key ? 0 : n);
            if (!key) {
                if (at == std::string::npos) {
                    if (value)
                        lines.push_back(ini->Built(header, true));
                    return kIniOk;
                }
                if (value) {
                    lines[at] = ini->Built(header, true);
                } else {
                    size_t end = at + 1;
                    while (end < lines.size() && !lines[end].section)
                        ++end;
                    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at),
                                lines.begin() + static_cast<std::ptrdiff_t>(end));
                }
                return kIniOk;
            }
            if (at == std::string::npos) {
                if (!value)
                    return kIniOk;
                lines.push_back(ini->Built(header, true));
                at = lines.size() - 1;
            }
            start = at + 1;
        }
        size_t end = 0;
        size_t at = ini->FindKey(start, key, n, &end);
        if (at != std::string::npos) {
            if (value)
                lines[at] = ini->Built(keyLine, false);
            else
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
        } else if (value) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(end), ini->Built(keyLine, false));
        }
        return kIniOk;
    } catch (const std::bad_alloc&) {
        return kIniNoMemory;
    }
}

char* IniGetValue(IniFile* ini, const char* section, const char* key, int n, char* buffer, int length) {
    if (section && !*section)
        section = nullptr;
    if (key && !*key)
        key = nullptr;
    if (!ini || (!section && !key) || !buffer || length < 1)
        return nullptr;
    size_t room = static_cast<size_t>(length - 1);
    if (section && !key) {
        size_t at = ini->FindSection(0, section, n);
        if (at == std::string::npos)
            return nullptr;
        const Line& line = ini->lines[at];
        CopyOut(ValueFrom(line, HeaderRest(line, section, ini->dialect), room), buffer, length);
        return buffer;
    }
    size_t start = 0;
    if (section) {
        size_t at = ini->FindSection(0, section, 0);
        if (at == std::string::npos)
            return nullptr;
        start = at + 1;
    }
    size_t at = ini->FindKey(start, key, n);
    if (at == std::string::npos)
        return nullptr;
    const Line& line = ini->lines[at];
    CopyOut(ValueFrom(line, KeyRest(line, key, ini->dialect), room), buffer, length);
    return buffer;
}

namespace {

// The name of a section line: dialect 2 between "[" and "]" (or the content
// end), dialect 1 the content without blanks around it.
std::string SectionName(const Line& line, int dialect) {
    size_t pos = SkipBlanks(line.text, 0, line.content);
    size_t end = line.content;
    if (dialect == kIniBracketed) {
        if (pos < end && line.text[pos] == '[')
            ++pos;
        size_t close = line.text.find(']', pos);
        if (close != std::string::npos && close < end)
            end = close;
    } else {
        while (end > pos && IsBlank(line.text[end - 1]))
            --end;
    }
    return line.text.substr(pos, end - pos);
}

}  // namespace

int IniGetSectionName(IniFile* ini, int n, char* buffer, int length) {
    if (!ini || n < 0 || !buffer || length < 1)
        return kIniBadArgument;
    buffer[0] = '\0';
    for (const Line& line : ini->lines) {
        if (!line.section || n-- != 0)
            continue;
        std::string name = SectionName(line, ini->dialect);
        if (name.size() > kIniMaxLine)
            return kIniNoMemory;
        if (name.size() + 1 > static_cast<size_t>(length))
            return kIniBufferTooSmall;
        CopyOut(name, buffer, length);
        return kIniOk;
    }
    return kIniNotFound;
}

int IniEnumBegin(IniFile* ini, const char* section, IniEnum** out) {
    if (!out)
        return kIniBadArgument;
    *out = nullptr;
    if (!ini)
        return kIniBadArgument;
    IniEnum* e = new (std::nothrow) IniEnum;
    if (!e)
        return kIniNoMemory;
    e->ini = ini;
    e->wholeFile = section == nullptr;
    if (section && *section) {
        size_t at = ini->FindSection(0, section, 0);
        if (at == std::string::npos) {
            e->pos = ini->lines.size();
        } else {
            e->pos = at + 1;
            e->section = SectionName(ini->lines[at], ini->dialect).substr(0, kIniMaxLine);
        }
    }
    try {
        std::lock_guard<std::mutex> lock(enumsLock);
        liveEnums.insert(e);
    } catch (const std::bad_alloc&) {
        delete e;
        return kIniNoMemory;
    }
    *out = e;
    return kIniOk;
}

int IniEnumNext(IniEnum* e, char* section, int sectionLength, char* key, int keyLength, char* value,
                int valueLength) {
    if (!IsLive(e) || !e->ini)
        return kIniBadArgument;
    ClearOut(section, sectionLength);
    ClearOut(key, keyLength);
    ClearOut(value, valueLength);
    const IniFile& ini = *e->ini;
    size_t room = valueLength >= 1 ? static_cast<size_t>(valueLength - 1) : 0;
    for (; e->pos < ini.lines.size(); ++e->pos) {
        const Line& line = ini.lines[e->pos];
        if (line.section) {
            if (!e->wholeFile)
                return kIniNotFound;
            e->section = SectionName(line, ini.dialect).substr(0, kIniMaxLine);
            if (e->section.empty())
                continue;
            CopyOut(e->section, section, sectionLength);
            if (ini.dialect == kIniBracketed)
                CopyOut(ValueFrom(line, HeaderRest(line, "", ini.dialect), room), value, valueLength);
            ++e->pos;
            return kIniOk;
        }
        if (line.content == 0)
            continue;
        size_t begin = SkipBlanks(line.text, 0, line.content);
        size_t end = begin;
        while (end < line.content && (ini.dialect == kIniBracketed ? line.text[end] != '=' : !IsBlank(line.text[end])))
            ++end;
        size_t rest = end < line.content ? end + 1 : end;
        while (end > begin && IsBlank(line.text[end - 1]))
            --end;
        if (end == begin)
            continue;
        CopyOut(e->section, section, sectionLength);
        CopyOut(line.text.substr(begin, end - begin), key, keyLength);
        CopyOut(ValueFrom(line, rest, room), value, valueLength);
        ++e->pos;
        return kIniOk;
    }
    return kIniNotFound;
}

int IniEnumEnd(IniEnum* e) {
    {
        std::lock_guard<std::mutex> lock(enumsLock);
        if (!e || liveEnums.erase(e) == 0)
            return kIniBadArgument;
    }
    delete e;
    return kIniOk;
}

}  // namespace inifile
