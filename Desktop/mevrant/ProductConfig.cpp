#include "mevrant/ProductConfig.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "deskcommon/FileLookup.h"
#include "deskcommon/Messages.h"
#include "platform/DeviceFs.h"

namespace mevrant {

namespace {

// The product's own names for the terminal emulation's files; the same
// list is the second copy's (FlashDir) list.
const ProductKind kKinds[3] = {
    {0,
     "Quillmar Termelle",
     "Software\\Quillmar\\Termelle",
     {{"TMHosts.cfg", "Host Configuration"},
      {"TMTerm.cfg", "Terminal Configuration"},
      {"TMHostSpec.cfg", "Host Specific Configuration"},
      {"TMVTXlat.dat", "VT Translation Table"},
      {"TMIBMXlat.dat", "IBM Translation Table"},
      {"TMMsgs.dat", "Emulation Messages"},
      {"TMIBMFont.dat", "IBM Font Translation"},
      {"TMLocale.cfg", "Localization Selection"},
      {"TMVTFont.dat", "VT Font Translation"},
      {"TMCerts.cfg", "SSL Certificate List"},
      {"TMScripts.dat", "Scripts"},
      {"TMSSHKeys.dat", "SSH Keys"},
      {"TMKeymap.dat", "Custom Keymap"},
      {"TMRes.dat", "Resources"},
      {"TMReformat.dat", "Screen Reformatting"}},
     "Termelle.cab",
     "Termelle Application"},
    {1,
     "Quillmar Nivalorum Tavrine",
     "Software\\Quillmar\\Nivalorum",
     {{"NivCfg.dat", "Tavrine Configuration"}, {"Nivalorum.alk", "Shortcut Configuration"}},
     "Tavrine.cab",
     "Tavrine Application"},
    {2,
     "Quillmar Orvade Client",
     "Software\\Quillmar\\Orvade Client",
     {{"Ravelcore.cfg", "Client Configuration"}, {"hosts.cfg", "Host Configuration"}},
     "Quillmar.cab",
     "Orvade Application"},
};

// A physical line longer than this is read as several lines.
constexpr size_t kLineMax = 999;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

std::string_view WithoutNewline(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    return line;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// One side of an install line: false when it is a comment from its start;
// otherwise the text before any "//", without blanks and double quotes at
// either end.
bool InstallPart(std::string_view part, std::string& out) {
    part = TrimBlanks(part);
    if (part.substr(0, 2) == "//")
        return false;
    part = part.substr(0, part.find("//"));
    auto strip = [](char c) { return IsBlank(c) || c == '"'; };
    while (!part.empty() && strip(part.front()))
        part.remove_prefix(1);
    while (!part.empty() && strip(part.back()))
        part.remove_suffix(1);
    out.assign(part);
    return true;
}

int ParseNumber(const std::string& text) {
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

}  // namespace

const ProductKind& Kind(int kind) {
    return kKinds[kind >= 0 && kind <= 2 ? kind : 0];
}

bool ParseLauncherLine(std::string_view line, LauncherEntry& entry) {
    entry = {};
    line = WithoutNewline(line);
    struct Keyword {
        std::string_view name;
        std::string LauncherEntry::*field;
    };
    static const Keyword keywords[] = {{"title", &LauncherEntry::title},
                                       {"app", &LauncherEntry::app},
                                       {"cmdline", &LauncherEntry::cmdline},
                                       {"workdir", &LauncherEntry::workdir}};
    const size_t n = line.size();
    size_t i = 0;
    while (i < n) {
        size_t at = i;
        while (at < n && IsBlank(line[at]))
            ++at;
        const Keyword* found = nullptr;
        size_t value = 0;
        for (const Keyword& k : keywords) {
            if (!StartsNoCase(line.substr(at), k.name))
                continue;
            size_t eq = at + k.name.size();
            while (eq < n && IsBlank(line[eq]))
                ++eq;
            if (eq < n && line[eq] == '=') {
                found = &k;
                value = eq + 1;
                break;
            }
        }
        if (!found) {
            ++i;   // not a keyword: skipped a character at a time
            continue;
        }
        while (value < n && IsBlank(line[value]))
            ++value;
        std::string text;
        if (value < n && line[value] == '"') {
            const size_t close = line.find('"', value + 1);
            text.assign(line.substr(value + 1, close == std::string_view::npos ? std::string_view::npos
                                                                                : close - value - 1));
            i = close == std::string_view::npos ? n : close + 1;
        } else {
            const size_t comma = line.find(',', value);
            std::string_view raw = line.substr(value, comma == std::string_view::npos ? std::string_view::npos
                                                                                      : comma - value);
            while (!raw.empty() && IsBlank(raw.back()))
                raw.remove_suffix(1);
            text.assign(raw);
            i = comma == std::string_view::npos ? n : comma;
        }
        entry.*(found->field) = std::move(text);
    }
    return !entry.title.empty() && !entry.app.empty();
}

void ParseInstallLine(std::string_view line, InstallSettings& install) {
    line = WithoutNewline(line);
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0)
        return;
    std::string key, value;
    if (!InstallPart(line.substr(0, eq), key) || key.empty() || !InstallPart(line.substr(eq + 1), value))
        return;
    // The first key of the table that begins the line's key takes the value.
    struct Key {
        std::string_view name;
        std::string InstallSettings::*field;
    };
    static const Key keys[] = {{"InstallType", nullptr},
                               {"InstallDir", &InstallSettings::installDir},
                               {"ConfigDir", &InstallSettings::configDir},
                               {"FlashDrive", &InstallSettings::flashDrive},
                               {"InstallAppArgs", &InstallSettings::installAppArgs},
                               {"InstallApp", &InstallSettings::installApp},
                               {"CABFile", &InstallSettings::cabFile},
                               {"CABDir", &InstallSettings::cabDir}};
    for (const Key& k : keys) {
        if (!StartsNoCase(key, k.name))
            continue;
        if (k.field)
            install.*(k.field) = value;
        else
            install.installType = ParseNumber(value);
        return;
    }
}

void ParseProductConfig(std::string_view bytes, ProductConfig& config) {
    enum class Section { Config, Install, Other } section = Section::Config;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find('\n', at);
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        end = std::min(end, at + kLineMax);
        const std::string_view line = bytes.substr(at, end - at);
        at = end;
        if (!line.empty() && line[0] == '[') {
            section = StartsNoCase(line, "[Config]")    ? Section::Config
                      : StartsNoCase(line, "[Install]") ? Section::Install
                                                        : Section::Other;
            continue;
        }
        if (section == Section::Config) {
            LauncherEntry entry;
            if (ParseLauncherLine(line, entry))
                config.launchers.push_back(std::move(entry));
        } else if (section == Section::Install) {
            ParseInstallLine(line, config.install);
        }
    }
}

ProductConfig ReadProductConfig(const std::string& folder) {
    ProductConfig config;
    for (const ProductFile& f : kProductFiles) {
        const std::string path = deskcommon::FindFileNoCase(folder + "/" + f.name);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec))
            continue;
        std::ifstream in(path, std::ios::binary);
        if (!in)
            continue;
        std::stringstream bytes;
        bytes << in.rdbuf();
        config.found = true;
        config.kind = f.kind;
        config.file = f.name;
        ParseProductConfig(bytes.str(), config);
        break;
    }
    return config;
}

namespace {

std::string ExistingFile(const std::string& folder, const char* name) {
    const std::string path = deskcommon::FindFileNoCase(folder + "/" + name);
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) ? path : std::string();
}

// The lines of a file without their line ends, at most max of them.
std::vector<std::string> ReadLines(const std::string& path, size_t max) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; lines.size() < max && std::getline(in, line);)
        lines.emplace_back(WithoutNewline(line));
    return lines;
}

}  // namespace

std::string ReleaseNotes(const std::string& folder) {
    const std::string ce = ExistingFile(folder, "CE-Release.txt");
    return ce.empty() ? ExistingFile(folder, "Release.txt") : ce;
}

std::string AboutText(const std::string& folder) {
    const std::string notes = ReleaseNotes(folder);
    if (notes.empty())
        return {};
    std::string text;
    int shown = 0;
    for (const std::string& line : ReadLines(notes, 6)) {
        if (line.empty() || shown == 3)
            continue;
        text += line + "\r\n";
        ++shown;
    }
    const std::string termType = ExistingFile(folder, "TERMTYPE.DAT");
    if (termType.empty())
        return text;
    bool language = false;
    for (const std::string& line : ReadLines(termType, SIZE_MAX)) {
        if (line.empty())
            break;
        language = language || line.rfind("IBM-5555", 0) == 0;
    }
    return text + (language ? "\r\nLanguage Version" : "\r\nNon-Language Version");
}

std::vector<std::string> MatchingFiles(const std::string& folder, std::string_view pattern) {
    std::vector<std::string> names;
    const std::u16string wide = deskcommon::FromPath(std::string(pattern));
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code kind;
        if (it->is_regular_file(kind) && plat::fs::WildcardMatch(wide, deskcommon::FromPath(it->path().filename())))
            names.push_back(it->path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

ButtonStates InstallButtonStates(const std::string& folder, int kind) {
    ButtonStates states;
    states.applicationOnly = !MatchingFiles(folder, "*.ini").empty();
    for (const auto& file : Kind(kind).files) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(deskcommon::FindFileNoCase(folder + "/" + file.first), ec))
            states.configOnly = true;
    }
    states.applicationAndConfig = states.configOnly;
    return states;
}

}  // namespace mevrant
