#include "settingseditor/Document.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "deskcommon/FileLookup.h"
#include "deskcommon/Messages.h"

namespace settingseditor {

using namespace deskcommon;
using namespace inifile;

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool StartsNoCase(const std::string& s, const char* prefix) {
    return strncasecmp(s.c_str(), prefix, std::strlen(prefix)) == 0;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

// A leading "/" marks a flag only before a name the program knows, so an
// absolute path stays a file name.
bool IsFlag(const std::string& arg) {
    if (arg.size() < 2)
        return false;
    if (arg[0] == '-')
        return true;
    if (arg[0] != '/')
        return false;
    std::string rest = arg.substr(1);
    for (const char* prefix : {"DEF:", "S:", "CAT:"}) {
        if (StartsNoCase(rest, prefix))
            return true;
    }
    if (arg == "/?")
        return true;
    for (const char* word : {"CFG", "p", "pt", "dde", "Automation", "Embedding", "Register", "Regserver",
                             "Unregister", "Unregserver"}) {
        if (strcasecmp(rest.c_str(), word) == 0)
            return true;
    }
    return false;
}

// Whether the help text holds upper-cased text at a position outside the
// brace groups (an unescaped "{" opens one, the next unescaped "}" ends it).
bool HelpContains(const std::string& rtf, const std::string& up) {
    bool inGroup = false;
    for (size_t pos = 0; pos < rtf.size(); ++pos) {
        bool escaped = pos > 0 && rtf[pos - 1] == '\\';
        if (inGroup) {
            if (rtf[pos] == '}' && !escaped)
                inGroup = false;
            continue;
        }
        if (rtf[pos] == '{' && !escaped) {
            inGroup = true;
            continue;
        }
        if (rtf.size() - pos >= up.size() &&
            std::equal(up.begin(), up.end(), rtf.begin() + static_cast<std::ptrdiff_t>(pos),
                       [](char a, char b) { return a == std::toupper(static_cast<unsigned char>(b)); }))
            return true;
    }
    return false;
}

}  // namespace

void CommandLineInfo::Parse(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (!IsFlag(arg)) {
            if (fileName.empty())
                fileName = arg;
            continue;
        }
        std::string param = arg.substr(1);
        if (param == "-help" || param == "h" || param == "?") {
            help = true;
        } else if (param.size() > 4 && StartsNoCase(param, "DEF:")) {
            defaultsPath = param.substr(4);
        } else if (param.size() > 4 && StartsNoCase(param, "CAT:")) {
            catalogPath = param.substr(4);
        } else if (StartsNoCase(param, "S:")) {
            noScopeOption = false;
            std::string words = param.substr(2);
            size_t pos = 0;
            for (;;) {
                size_t semi = words.find(';', pos);
                if (semi == std::string::npos) {
                    if (pos < words.size())
                        scopes.push_back(words.substr(pos));
                    break;
                }
                scopes.push_back(words.substr(pos, semi - pos));
                pos = semi + 1;
            }
        }
        // Other flags are the standard ones, which this program ignores.
    }
}

const char* const kUsage =
    "Usage: Optarium [/S:WORD;WORD...] [/DEF:defaults.cfg] [/CAT:optarium.dat] [settings.cfg]\n"
    "Edits the client's settings files against the option catalog \"optarium.dat\"\n"
    "(by default next to the program).\n"
    "  /S:WORDS    show only the options whose scope these words satisfy\n"
    "  /DEF:FILE   a settings file whose values become the defaults\n"
    "  /CAT:FILE   another catalog\n"
    "  --help      this text\n"
    "Flags also start with \"-\"; a \"/\" starts one only before these names, so\n"
    "absolute paths are file names.\n";

std::string StartFailureText(const CommandLineInfo& info, const std::string& catalogPath,
                             const std::string& catalogError) {
    auto unopenable = [](const std::string& path) {
        std::string found = FindFileNoCase(path);
        std::error_code ec;
        if (!std::filesystem::exists(found, ec))
            return std::string(" does not exist");
        if (std::filesystem::is_directory(found, ec))
            return std::string(" is a folder");
        FILE* file = std::fopen(found.c_str(), "rb");
        if (!file)
            return ": " + std::string(std::strerror(errno));
        std::fclose(file);
        return std::string();
    };
    std::string why;
    if (!info.fileName.empty() && !(why = unopenable(info.fileName)).empty())
        return "Optarium: the settings file " + info.fileName + why;
    if (!info.defaultsPath.empty() && !(why = unopenable(info.defaultsPath)).empty())
        return "Optarium: the defaults file " + info.defaultsPath + why;
    return "Optarium: " + (info.fileName.empty() ? std::string("a new document") : info.fileName) +
           " could not be opened with the catalog " + catalogPath + (catalogError.empty() ? "" : ": " + catalogError);
}

void CommandLineInfo::Finish() {
    if (noScopeOption && !scopes.empty())
        scopes.push_back("GLOBAL");
}

void ReadIncludeList(const std::string& name, const std::string& programDir, std::vector<std::string>& scopes) {
    std::string path = name.find('/') != std::string::npos ? name : programDir + "/" + name;
    std::ifstream in(FindFileNoCase(path), std::ios::binary);
    std::string line, section;
    while (std::getline(in, line)) {
        line = Trim(line.substr(0, std::min<size_t>(line.find(';'), 1000)));
        if (line.empty())
            continue;
        size_t close = line.find(']');
        if (line[0] == '[' && close != std::string::npos) {
            section = Trim(line.substr(1, close - 1));
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        if (!key.empty() && !value.empty() &&
            (strcasecmp(section.c_str(), "GROUPS") == 0 || strcasecmp(section.c_str(), "SCOPE") == 0) &&
            strcasecmp(key.c_str(), "INCLUDE") == 0)
            scopes.push_back(Upper(value));
    }
}

COptariumDoc::COptariumDoc(const CommandLineInfo& info, std::string programDir)
    : m_info(info), m_programDir(std::move(programDir)), m_catalogPath(info.catalogPath) {}

bool COptariumDoc::IsShown(const CItemType& option) const {
    return m_advanced || (!option.hidden && InScope(option));
}

void COptariumDoc::DeleteContents() {
    for (auto& option : m_options)
        option->values.clear();
    m_currentOption = nullptr;
    m_currentValue = nullptr;
}

bool COptariumDoc::LoadCatalog() {
    if (m_catalogPath.empty())
        m_catalogPath = (m_programDir.empty() ? std::string(".") : m_programDir) + "/optarium.dat";
    m_currentOption = nullptr;
    m_currentValue = nullptr;
    m_catalogError.clear();
    try {
        settingseditor::LoadCatalog(m_catalogPath, m_options);
    } catch (const FileError& e) {
        m_catalogError = e.error ? std::strerror(e.error) : "the file ends before its options do";
        return false;
    } catch (const ArchiveError& e) {
        m_catalogError = std::string("the file is no option catalog (") + e.what() + ")";
        return false;
    }
    if (!m_info.defaultsPath.empty() && !ReadDefaults()) {
        m_catalogError = "the defaults file " + m_info.defaultsPath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Sections and keys match without regard to ASCII case.
std::string COptariumDoc::IndexKey(const std::string& section, const std::string& key) {
    std::string out;
    out.reserve(section.size() + key.size() + 1);
    for (char c : section)
        out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    out += '\0';
    for (char c : key)
        out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return out;
}

void COptariumDoc::MergeAll(IniFile* ini) {
    // Every setting is found by section and key at once, so a file of many
    // keys costs in proportion to its size; the first option of a pair
    // wins, as a walk of the list would find it.
    m_index.clear();
    m_index.reserve(m_options.size());
    for (auto& o : m_options)
        m_index.try_emplace(IndexKey(o->section, o->key), o.get());
    m_indexed = true;
    IniEnum* e = nullptr;
    if (IniEnumBegin(ini, nullptr, &e) == kIniOk) {
        char section[100], key[100], value[256];
        while (IniEnumNext(e, section, sizeof section, key, sizeof key, value, sizeof value) == kIniOk) {
            if (*key)
                MergeSetting(std::make_unique<CRawType>(CRawType{section, key, value}));
        }
        IniEnumEnd(e);
    }
    m_indexed = false;
    m_index.clear();
}

// The defaults file is a settings file: a setting of a known single-entry
// option becomes that option's default.
bool COptariumDoc::ReadDefaults() {
    IniFile* ini = IniLoad(m_info.defaultsPath.c_str(), kIniBracketed, ";");
    if (!ini)
        return false;
    m_loadingDefaults = true;
    MergeAll(ini);
    m_loadingDefaults = false;
    IniClose(ini);
    return true;
}

bool COptariumDoc::OnNewDocument() {
    DeleteContents();
    if (!LoadCatalog()) {
        Messages().Show(u"Unable to open the items file.  (optarium.dat)\n" +
                            FromPath(m_catalogPath + ": " + m_catalogError),
                        MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

bool COptariumDoc::OnOpenDocument(const std::string& path) {
    if (!LoadCatalog())
        return false;
    IniFile* ini = IniLoad(path.c_str(), kIniBracketed, ";");
    if (!ini) {
        const int error = errno;
        // A file not there yet in a folder that is: a new document, written
        // there on Save (an installation leaves no settings file behind).
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (error == ENOENT && std::filesystem::is_directory(folder.empty() ? "." : folder, ec)) {
            DeleteContents();
            SetModifiedFlag(false);
            return true;
        }
        Messages().Show(Format("Unable to open file: %s", FromPath(path)) + u"\n" + FromPath(std::strerror(error)),
                        MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    DeleteContents();
    MergeAll(ini);
    IniClose(ini);
    SetModifiedFlag(false);
    return true;
}

void COptariumDoc::MergeSetting(std::unique_ptr<CRawType> setting) {
    CItemType* option = nullptr;
    if (m_indexed) {
        auto found = m_index.find(IndexKey(setting->section, setting->key));
        option = found == m_index.end() ? nullptr : found->second;
    } else {
        for (auto& o : m_options) {
            if (strcasecmp(o->key.c_str(), setting->key.c_str()) == 0 &&
                strcasecmp(o->section.c_str(), setting->section.c_str()) == 0) {
                option = o.get();
                break;
            }
        }
    }
    if (m_loadingDefaults) {
        if (option && !option->multiple)
            option->defaultValue = setting->value;
        return;
    }
    if (!option) {
        auto created = NewOption();
        created->section = setting->section;
        created->key = setting->key;
        created->name = setting->key;
        created->treePath = "Unknown\\" + setting->section;
        created->hidden = 1;
        created->multiple = 1;
        option = created.get();
        m_options.push_back(std::move(created));
        if (m_indexed)
            m_index.emplace(IndexKey(option->section, option->key), option);
    }
    if (setting->value != option->defaultValue)
        option->values.push_back(std::move(setting));
}

bool COptariumDoc::OnSaveDocument(const std::string& path) {
    if (m_advanced) {
        if (m_catalogPath.empty())
            m_catalogPath = m_programDir + "/optarium.dat";
        int error = 0;
        if (!StoreCatalog(m_catalogPath, m_options, &error))
            Messages().Show(u"Unable to open the items file to save changes.  (optarium.dat)\n" +
                                FromPath(std::strerror(error)),
                            MB_OK | MB_ICONEXCLAMATION);
    }
    // The file is rebuilt from the options alone.
    IniFile* ini = IniOpen(path.c_str(), kIniBracketed);
    bool ok = ini != nullptr;
    const CItemType* refused = nullptr;
    for (size_t i = 0; ok && i < m_options.size(); ++i) {
        const CItemType& o = *m_options[i];
        if (o.values.empty() && o.required && m_info.defaultsPath.empty())
            ok = IniSetValue(ini, o.section.c_str(), o.key.c_str(), 0, o.defaultValue.c_str()) == kIniOk;
        for (size_t n = 0; ok && n < o.values.size(); ++n) {
            const CRawType& v = *o.values[n];
            ok = IniSetValue(ini, v.section.c_str(), v.key.c_str(), static_cast<int>(n), v.value.c_str()) == kIniOk;
        }
        if (!ok)
            refused = &o;
    }
    int error = 0;
    if (ok && IniWrite(ini, nullptr) != kIniOk) {
        error = errno;
        ok = false;
    }
    IniClose(ini);
    if (!ok) {
        // Why, below the message: the option whose line does not fit, or
        // the system's reason.
        std::u16string text = Format("Unable to save the file: %s", FromPath(path));
        if (refused)
            text += u"\n" + Format("The line of '%s' is longer than 255 bytes.", FromAnsi(refused->name));
        else if (error)
            text += u"\n" + FromPath(std::strerror(error));
        Messages().Show(text, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

void COptariumDoc::RemoveValue(CItemType& option, CRawType* value) {
    std::erase_if(option.values, [&](const auto& v) { return !value || v.get() == value; });
}

void COptariumDoc::OnAddValue(IValueEditor& editor) {
    if (!m_currentOption)
        return;
    auto value = m_currentOption->MakeRawValue();
    m_currentValue = nullptr;
    if (editor.EditValue(*m_currentOption, *value)) {
        SetModifiedFlag();
        m_currentValue = value.get();
        m_currentOption->values.push_back(std::move(value));
    }
    AfterValueEdit();
}

void COptariumDoc::OnEditValue(IValueEditor& editor) {
    if (!m_currentOption)
        return;
    if (m_currentOption->values.empty())
        return OnAddValue(editor);
    CRawType* value = m_currentValue ? m_currentValue : m_currentOption->values.front().get();
    m_currentValue = value;
    if (editor.EditValue(*m_currentOption, *value))
        SetModifiedFlag();
    AfterValueEdit();
}

void COptariumDoc::AfterValueEdit() {
    if (m_currentValue && m_currentOption->IsDefault(*m_currentValue))
        OnResetValue();
    else
        UpdateAllViews(kHintRefreshOption);
}

void COptariumDoc::OnResetValue() {
    if (!m_currentOption)
        return;
    RemoveValue(*m_currentOption, m_currentValue);
    m_currentValue = nullptr;
    UpdateAllViews(kHintRefreshOption);
    SetModifiedFlag();
}

uint32_t COptariumDoc::PasswordHash(const std::string& typed) {
    uint32_t h = 0;
    for (char c : typed)
        h = h * 17 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
    return h;
}

bool COptariumDoc::GrantAccess(const std::string& typed) {
    if (PasswordHash(typed) != kAccessHash)
        return false;
    m_advanced = true;
    return true;
}

std::unique_ptr<CItemType> COptariumDoc::NewOption() {
    auto option = std::make_unique<CItemType>();
    option->prompt = "Enter the value:";
    option->treePath = "Unknown";
    option->order = 100;
    option->type = kString;
    return option;
}

CItemType* COptariumDoc::InsertByOrder(std::unique_ptr<CItemType> option) {
    auto at = std::find_if(m_options.begin(), m_options.end(),
                           [&](const auto& o) { return o->order > option->order; });
    return m_options.insert(at, std::move(option))->get();
}

void COptariumDoc::MoveByOrder(CItemType* option) {
    auto at = std::find_if(m_options.begin(), m_options.end(), [&](const auto& o) { return o.get() == option; });
    if (at == m_options.end())
        return;
    std::unique_ptr<CItemType> held = std::move(*at);
    m_options.erase(at);
    InsertByOrder(std::move(held));
}

void COptariumDoc::DeleteOption(CItemType* option) {
    std::erase_if(m_options, [&](const auto& o) { return o.get() == option; });
    m_currentOption = nullptr;
    m_currentValue = nullptr;
    SetModifiedFlag();
    UpdateAllViews(kHintRebuild);
}

void COptariumDoc::OnDefaultValue(IValueEditor& editor) {
    CItemType* option = m_currentOption;
    if (!option)
        return;
    if (!option->defaultValue.empty()) {
        int answer = Messages().Show(
            u"Do you wish to reset this value to NULL?\n  Yes - Clear current setting.\n  No - Just edit default "
            u"value.\n  Cancel - Do not change current setting.",
            MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2);
        if (answer == IDCANCEL)
            return;
        if (answer == IDYES) {
            option->defaultValue.clear();
            SetModifiedFlag();
            UpdateAllViews(kHintRefreshOption);
            return;
        }
    }
    auto value = option->MakeRawValue();
    if (editor.EditValue(*option, *value)) {
        option->defaultValue = value->value;
        SetModifiedFlag();
    }
    UpdateAllViews(kHintRefreshOption);
}

CItemType* COptariumDoc::FindNext(const std::string& text, bool allText) const {
    if (text.empty() || m_options.empty())
        return nullptr;
    const std::string up = Upper(text);
    size_t n = m_options.size(), start = 0;
    for (size_t i = 0; i < n; ++i) {
        if (m_options[i].get() == m_currentOption)
            start = (i + 1) % n;
    }
    for (size_t i = 0; i < n; ++i) {
        CItemType* o = m_options[(start + i) % n].get();
        if (o->hidden && !m_advanced)
            continue;
        if (Upper(o->name).find(up) != std::string::npos || (allText && HelpContains(o->help.bytes, up)))
            return o;
    }
    return nullptr;
}

std::string COptariumDoc::CsvText() const {
    // Quotes inside a field are written as they are.
    std::string out = "Order,Command,Subcommand,Name,Path,Scope,Type,Hidden\r\n";
    for (const auto& o : m_options) {
        out += std::to_string(o->order);
        for (const std::string* field : {&o->section, &o->key, &o->name, &o->treePath, &o->scope})
            out += ",\"" + *field + "\"";
        out += std::string(",\"") + o->TypeName() + "\",\"" + (o->hidden ? "Y" : "N") + "\"\r\n";
    }
    return out;
}

bool COptariumDoc::SaveCsv() const {
    return ReplaceFile(m_catalogPath + ".CSV", CsvText());
}

}  // namespace settingseditor
