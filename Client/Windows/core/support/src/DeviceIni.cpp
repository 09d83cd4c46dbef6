#include "core/support/DeviceIni.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>

#include "core/support/FileHandle.h"
#include "platform/DeviceFs.h"

namespace {

// Reads one physical line, whole. A break is one CR or LF and at most one more
// CR or LF right after it ("LF LF" is one break). False at the end of the
// file with nothing read.
bool ReadLine(FILE* f, std::string& line) {
    line.clear();
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\r' || c == '\n') {
            int next = std::fgetc(f);
            if (next != EOF && next != '\r' && next != '\n') std::ungetc(next, f);
            return true;
        }
        line += static_cast<char>(c);
    }
    return !line.empty();
}

std::string_view SkipBackspaces(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && s[i] == '\b') ++i;
    return s.substr(i);
}

// The section name of a header line "[name]" (after any 0x08 characters).
bool SectionName(std::string_view line, std::string_view& name) {
    line = SkipBackspaces(line);
    if (line.empty() || line[0] != '[') return false;
    size_t close = line.find(']', 1);
    if (close == std::string_view::npos) return false;
    name = line.substr(1, close - 1);
    return true;
}

bool IsSection(std::string_view line, std::string_view wanted) {
    std::string_view name;
    return SectionName(line, name) && name == wanted;
}

bool IsAnySection(std::string_view line) {
    std::string_view name;
    return SectionName(line, name);
}

// The value of "key=value" when the line is the key's line.
bool KeyValue(std::string_view line, std::string_view key, std::string_view& value) {
    if (!line.empty() && line[0] == ';') return false;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos || line.substr(0, eq) != key) return false;
    value = line.substr(eq + 1);
    return true;
}

std::string_view Unquote(std::string_view value) {
    std::string_view v = SkipBackspaces(value);
    if (v.empty() || (v[0] != '"' && v[0] != '\'')) return value;
    size_t last = v.rfind(v[0]);
    if (last == 0) return value;
    return v.substr(1, last - 1);
}

int32_t CopyOut(std::string_view text, char* buffer, int32_t size) {
    size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int32_t>(n);
}

// A new, empty file next to the target that no other writer uses.
FileHandle CreateTempNextTo(std::u16string_view target, std::u16string& tempPath) {
    static std::atomic<unsigned> counter{0};
    size_t slash = target.rfind(u'\\');
    std::u16string folder(slash == std::u16string_view::npos ? std::u16string_view() : target.substr(0, slash + 1));
    std::random_device entropy;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "~ini%ld-%u-%08x.tmp", static_cast<long>(getpid()), counter++,
                      static_cast<unsigned>(entropy()));
        tempPath = folder;
        for (const char* p = name; *p; ++p) tempPath += static_cast<char16_t>(*p);
        if (plat::fs::Exists(tempPath)) continue;
        if (FileHandle f{plat::fs::OpenFile(tempPath, "wbx")}) return f;
    }
    return {};
}

void Put(FILE* f, std::string_view text, const char* end) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fputs(end, f);
}

}  // namespace

int32_t ReadIniString(const char* section, const char* key, const char* defaultValue, char* buffer,
                      int32_t size, std::u16string_view path) {
    if (!buffer || size < 1) return 0;
    std::string_view fallback = defaultValue ? defaultValue : "";
    if (!section || !key) return CopyOut(fallback, buffer, size);
    FileHandle f{plat::fs::OpenFile(path, "rb")};
    if (!f) {
        CopyOut(fallback, buffer, size);
        return 0;
    }
    std::string line;
    bool inSection = false;
    while (ReadLine(f.get(), line)) {
        if (!inSection) {
            inSection = IsSection(line, section);
            continue;
        }
        if (IsAnySection(line)) break;
        std::string_view value;
        if (KeyValue(line, key, value)) return CopyOut(Unquote(value), buffer, size);
    }
    return CopyOut(fallback, buffer, size);
}

int32_t WriteIniString(const char* section, const char* key, const char* value, std::u16string_view path) {
    if (!section || !key) return 0;
    if (!value) value = "";
    FileHandle in{plat::fs::OpenFile(path, "rb")};
    if (!in) return 0;
    std::u16string tempPath;
    FileHandle out = CreateTempNextTo(path, tempPath);
    if (!out) return 0;

    std::string line;
    bool found = false;
    while (!found && ReadLine(in.get(), line)) {
        Put(out.get(), line, "\n");
        found = IsSection(line, section);
    }
    std::string keyLine = std::string(key) + "=" + value;
    if (found) {
        std::string_view unused;
        bool keptBack = false;
        while (ReadLine(in.get(), line)) {
            if (KeyValue(line, key, unused)) break;
            if (IsAnySection(line)) {
                keptBack = true;
                break;
            }
            Put(out.get(), line, "\n");
        }
        Put(out.get(), keyLine, "\r\n");
        if (keptBack) Put(out.get(), line, "\n");
        while (ReadLine(in.get(), line)) Put(out.get(), line, "\n");
    } else {
        Put(out.get(), std::string("[") + section + "]", "\n");
        Put(out.get(), keyLine, "\r\n");
    }
    in.reset();
    bool written = !std::ferror(out.get());
    written = CloseFile(out) && written;

    // The rewritten file takes the target's place in one step, so a failure
    // leaves the target as it was. A target that cannot be written to (a
    // read-only file) is not replaced either.
    bool replaced = false;
    if (written) {
        if (FileHandle probe{plat::fs::OpenFile(path, "r+b")}) {
            probe.reset();
            replaced = plat::fs::ReplaceFile(tempPath, path);
        }
    }
    if (!replaced) plat::fs::DeleteFile(tempPath);
    if (!replaced) return 0;
    return static_cast<int32_t>(std::strlen(value));
}
