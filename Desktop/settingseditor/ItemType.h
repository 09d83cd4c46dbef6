// One option of the catalog: where its setting lives, how it is shown, its
// limits, default, pick list and help text, and the values the current
// settings file gives it. Texts are the files' bytes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "settingseditor/Archive.h"

namespace settingseditor {

enum ItemKind : int { kString = 0, kQuotedStr = 1, kDword = 2, kNoEdit = 3, kInteger = 4 };
constexpr int kItemKinds = 5;
// "String", "Quoted Str", "DWORD", "No Edit", "Integer".
extern const char* const kTypeNames[kItemKinds];

// One setting as found in or written to a settings file.
struct CRawType {
    std::string section;
    std::string key;
    std::string value;   // stored form (with the double quotes of a Quoted Str)
};

// The rich-text bytes of one help text.
struct CRichContainer {
    std::string bytes;
};

class CItemType {
public:
    static constexpr uint16_t kSchema = 10;

    std::string section;
    std::string key;
    std::string name;
    std::string treePath;   // folders separated by "\"
    std::string prompt;
    int type = kString;
    std::string scope;
    CRichContainer help;
    int max = 0;
    int min = 0;
    int order = 0;
    int multiple = 0;
    int hidden = 0;
    int required = 0;
    std::string defaultValue;               // stored form
    std::vector<std::string> valueList;     // "label=value" or a bare value
    std::vector<std::unique_ptr<CRawType>> values;   // not stored in the catalog

    void Store(ArchiveWriter& ar) const;
    void Load(ArchiveReader& ar);

    // A new value with the option's section and key, holding the default.
    std::unique_ptr<CRawType> MakeRawValue() const;
    std::string GetDisplayValue(const CRawType& value) const;
    std::string ValueToLabel(const std::string& text) const;
    std::string LabelToValue(const std::string& text) const;
    // The label of a pick-list entry: its text before the first "=".
    static std::string EntryLabel(const std::string& entry);
    // Checks text as typed or chosen; with showMessages the failure is told.
    bool Validate(const std::string& text, bool showMessages) const;
    void StoreValue(const std::string& text, CRawType& value) const;
    // The characters the input field admits; empty: no filter.
    const char* GetAllowedChars() const;
    std::string GetDefaultText() const;
    bool IsDefault(const CRawType& value) const { return value.value == defaultValue; }
    // The longest stored value whose "key=value" line, with its newline,
    // fits the settings file's 255-byte lines (below 0 when the key alone
    // does not fit).
    int MaxStoredLength() const;
    // The longest text the value dialog takes: the stored limit less the
    // double quotes of a Quoted Str.
    int MaxTypedLength() const { return MaxStoredLength() - (type == kQuotedStr ? 2 : 0); }
    bool InScope(const std::vector<std::string>& scopeList) const;
    const char* TypeName() const;
};

using OptionList = std::vector<std::unique_ptr<CItemType>>;

// Whether expr holds for the scope words: terms joined by "&" or ";" (and,
// binding weaker) and by "," or "|" (or); "!" negates a term.
bool ScopeHolds(const std::string& expr, const std::vector<std::string>& scopeList);

// The catalog file: a compressed stream holding the option list's archive.
// Load throws FileError or ArchiveError and leaves list empty then; a
// catalog whose options would take more than kCatalogMemoryFloor and
// kCatalogMemoryFactor times its file size is unreadable.
constexpr size_t kCatalogMemoryFloor = 1 << 20;
constexpr size_t kCatalogMemoryFactor = 16;
void LoadCatalog(const std::string& path, OptionList& list);
// False when the file cannot be created (error, when given, says why as an
// errno value); the old file stays whole until the new one is complete.
bool StoreCatalog(const std::string& path, const OptionList& list, int* error = nullptr);

}  // namespace settingseditor
