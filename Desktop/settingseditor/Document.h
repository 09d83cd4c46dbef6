// The settings editor's document: one settings file of the client shown
// against the option catalog, with the start-up's command line and include
// lists that decide which options a user sees.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "inifile/IniFile.h"
#include "deskcommon/DocView.h"
#include "settingseditor/ItemType.h"

namespace settingseditor {

// View hints.
enum Hint : int { kHintSelection = 0, kHintRebuild = 1, kHintRefreshOption = 2 };

// What the command line and the include lists give the document.
struct CommandLineInfo {
    std::string defaultsPath;            // "DEF:"
    std::vector<std::string> scopes;     // "S:" words and include-list words
    bool noScopeOption = true;
    std::string catalogPath;             // "CAT:", a catalog other than the program's
    std::string fileName;                // the settings file to open at start
    bool help = false;                   // "--help", "-h", "-?" or "/?"

    void Parse(const std::vector<std::string>& args);
    // After the include lists and the command line: "GLOBAL" joins a scope
    // list that came from include lists alone.
    void Finish();
};

// The command line as "--help" prints it.
extern const char* const kUsage;

// Why the start failed, for standard error: the settings or defaults file
// that is missing or unreadable, else the catalog with why it could not be
// read (catalogError, when known).
std::string StartFailureText(const CommandLineInfo& info, const std::string& catalogPath,
                             const std::string& catalogError = std::string());

// Scope words of an include list (section GROUPS or SCOPE, key INCLUDE);
// a name without a folder is looked up in programDir. A missing file adds
// nothing.
void ReadIncludeList(const std::string& name, const std::string& programDir, std::vector<std::string>& scopes);

// Edits one value of an option in its dialog; true when confirmed.
class IValueEditor {
public:
    virtual ~IValueEditor() = default;
    virtual bool EditValue(const CItemType& option, CRawType& value) = 0;
};

class COptariumDoc : public deskcommon::CDocument {
public:
    static constexpr uint32_t kAccessHash = 0x3E6B91D5;

    COptariumDoc(const CommandLineInfo& info, std::string programDir);

    bool OnNewDocument();
    bool OnOpenDocument(const std::string& path);
    bool OnSaveDocument(const std::string& path);
    void DeleteContents();
    bool LoadCatalog();
    void MergeSetting(std::unique_ptr<CRawType> setting);

    bool InScope(const CItemType& option) const { return option.InScope(m_info.scopes); }
    // Whether the tree shows the option: visible and in scope, or every
    // option in advanced access.
    bool IsShown(const CItemType& option) const;

    // Value commands and their update rules.
    bool CanAddValue() const { return m_currentOption && m_currentOption->multiple; }
    bool CanEditValue() const { return m_currentOption != nullptr; }
    bool CanResetValue() const { return m_currentOption && !m_currentOption->values.empty(); }
    void OnAddValue(IValueEditor& editor);
    void OnEditValue(IValueEditor& editor);
    void OnResetValue();

    // Advanced access: options of the catalog.
    static uint32_t PasswordHash(const std::string& typed);
    // True when granted (the caller adds the menu entries and rebuilds).
    bool GrantAccess(const std::string& typed);
    // A new option as "Add Option" starts it.
    static std::unique_ptr<CItemType> NewOption();
    // Inserts before the first option of greater order.
    CItemType* InsertByOrder(std::unique_ptr<CItemType> option);
    // Puts an option whose order changed in its place again.
    void MoveByOrder(CItemType* option);
    void DeleteOption(CItemType* option);
    void OnDefaultValue(IValueEditor& editor);

    // The next option after the current one whose name (or, with allText,
    // help text outside brace groups) holds text, wrapping round; none when
    // nothing matches or text is empty.
    CItemType* FindNext(const std::string& text, bool allText) const;

    std::string CsvText() const;
    // The catalog path followed by ".CSV"; false when it cannot be created.
    bool SaveCsv() const;

    const std::string& CatalogPath() const { return m_catalogPath; }
    // Why the last catalog load failed (the system's reason, or what is
    // wrong with the file); empty after one that succeeded.
    const std::string& CatalogError() const { return m_catalogError; }
    const CommandLineInfo& Info() const { return m_info; }

    // The options in list order; their fields are edited in place by the
    // dialogs, the list itself only through the operations above.
    const OptionList& Options() const { return m_options; }
    CItemType* CurrentOption() const { return m_currentOption; }
    CRawType* CurrentValue() const { return m_currentValue; }
    // Makes option (none: no option) and one of its values current.
    void Select(CItemType* option, CRawType* value = nullptr) {
        m_currentOption = option;
        m_currentValue = value;
    }
    bool IsAdvanced() const { return m_advanced; }
    // List mode: options at the root, no folders.
    bool IsFlat() const { return m_flat; }
    void SetFlat(bool flat) { m_flat = flat; }

protected:
    const char* DefaultTitle() const override { return "ravelcore"; }

private:
    void RemoveValue(CItemType& option, CRawType* value);
    void AfterValueEdit();
    bool ReadDefaults();
    // Every entry with a key, in file order.
    void MergeAll(inifile::IniFile* ini);
    static std::string IndexKey(const std::string& section, const std::string& key);

    OptionList m_options;
    CItemType* m_currentOption = nullptr;
    CRawType* m_currentValue = nullptr;
    bool m_advanced = false;
    bool m_flat = false;
    const CommandLineInfo& m_info;
    std::string m_programDir;
    std::string m_catalogPath;
    std::string m_catalogError;
    bool m_loadingDefaults = false;
    // Options by section and key while a file is merged.
    std::unordered_map<std::string, CItemType*> m_index;
    bool m_indexed = false;
};

}  // namespace settingseditor
