#include "settingseditor/ItemType.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

#include "deskcommon/Messages.h"
#include "inifile/IniFile.h"

namespace settingseditor {

using namespace deskcommon;

const char* const kTypeNames[kItemKinds] = {"String", "Quoted Str", "DWORD", "No Edit", "Integer"};

void CItemType::Store(ArchiveWriter& ar) const {
    ar.String(section);
    ar.String(key);
    ar.Int(type);
    ar.String(name);
    ar.String(prompt);
    ar.String(treePath);
    ar.String(scope);
    ar.Int(order);
    ar.Int(hidden);
    ar.Int(multiple);
    ar.Int(min);
    ar.Int(max);
    ar.Int(required);
    ar.String(defaultValue);
    ar.Count(static_cast<uint32_t>(valueList.size()));
    for (const std::string& entry : valueList)
        ar.String(entry);
    ar.Count(static_cast<uint32_t>(help.bytes.size()));
    ar.Bytes(help.bytes.data(), help.bytes.size());
}

void CItemType::Load(ArchiveReader& ar) {
    section = ar.String();
    key = ar.String();
    type = ar.Int();
    name = ar.String();
    prompt = ar.String();
    treePath = ar.String();
    scope = ar.String();
    order = ar.Int();
    hidden = ar.Int();
    multiple = ar.Int();
    min = ar.Int();
    max = ar.Int();
    required = ar.Int();
    defaultValue = ar.String();
    valueList.clear();
    for (uint32_t n = ar.Count(); n > 0; --n) {
        // A growing list may hold twice its entries.
        ar.Charge(2 * sizeof(std::string));
        valueList.push_back(ar.String());
    }
    help.bytes = ar.Bytes(ar.Count());
}

std::unique_ptr<CRawType> CItemType::MakeRawValue() const {
    auto value = std::make_unique<CRawType>();
    value->section = section;
    value->key = key;
    value->value = defaultValue;
    return value;
}

std::string CItemType::GetDisplayValue(const CRawType& value) const {
    std::string text;
    switch (type) {
    case kQuotedStr: {
        // Between the first double quote and the next, or to the end.
        size_t open = value.value.find('"');
        if (open != std::string::npos) {
            size_t close = value.value.find('"', open + 1);
            text = value.value.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
        }
        break;
    }
    case kNoEdit:
        break;
    default:
        text = value.value;
    }
    return valueList.empty() ? text : ValueToLabel(text);
}

std::string CItemType::EntryLabel(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

std::string CItemType::ValueToLabel(const std::string& text) const {
    for (const std::string& entry : valueList) {
        size_t eq = entry.find('=');
        if (eq == std::string::npos ? entry == text : eq > 0 && entry.compare(eq + 1, std::string::npos, text) == 0)
            return eq == std::string::npos ? entry : entry.substr(0, eq);
    }
    return text;
}

std::string CItemType::LabelToValue(const std::string& text) const {
    for (const std::string& entry : valueList) {
        size_t eq = entry.find('=');
        if (eq == std::string::npos ? entry == text : eq > 0 && entry.compare(0, eq, text) == 0)
            return eq == std::string::npos ? entry : entry.substr(eq + 1);
    }
    return text;
}

bool CItemType::Validate(const std::string& typed, bool showMessages) const {
    std::string text = valueList.empty() ? typed : LabelToValue(typed);
    auto fail = [&](const std::u16string& message) {
        if (showMessages)
            Messages().Show(message, MB_OK | MB_ICONEXCLAMATION);
        return false;
    };
    uint32_t number = 0;
    int32_t signedNumber = 0;
    if (type == kDword) {
        // Digits only (the field admits nothing else); an empty text is 0.
        uint64_t n = 0;
        for (char c : text) {
            if (c < '0' || c > '9')
                break;
            n = n * 10 + static_cast<uint64_t>(c - '0');
            if (n > 0xFFFFFFFFull)
                return fail(u"Number is to large.");
        }
        number = static_cast<uint32_t>(n);
    } else if (type == kInteger) {
        errno = 0;
        char* end = nullptr;
        long long n = std::strtoll(text.c_str(), &end, 10);
        if (*end != '\0')
            return fail(u"The value entered is not correctly formatted.");
        // Out of range clamps as a 32-bit long does.
        signedNumber = static_cast<int32_t>(n > INT32_MAX ? INT32_MAX : n < INT32_MIN ? INT32_MIN : n);
    }
    if (max < 1 && min >= 0)
        return true;
    switch (type) {
    case kString:
    case kQuotedStr:
        if (text.size() < static_cast<size_t>(std::max(min, 0)) || static_cast<long long>(text.size()) > max)
            return fail(FormatRange("The length must be between %d and %d character(s).", min, max));
        return true;
    case kDword:
        if (number < static_cast<uint32_t>(min) || number > static_cast<uint32_t>(max))
            return fail(FormatRange("The number must be between %d and %d.", min, max));
        return true;
    case kInteger:
        if (signedNumber < min || signedNumber > max)
            return fail(FormatRange("The number must be between %d and %d.", min, max));
        return true;
    default:
        return true;
    }
}

void CItemType::StoreValue(const std::string& typed, CRawType& value) const {
    std::string text = valueList.empty() ? typed : LabelToValue(typed);
    switch (type) {
    case kQuotedStr:
        value.value = "\"" + text + "\"";
        break;
    case kNoEdit:
        break;
    default:
        value.value = text;
    }
}

int CItemType::MaxStoredLength() const {
    // "key=" and the newline.
    return inifile::kIniMaxLine - static_cast<int>(key.size()) - 2;
}

const char* CItemType::GetAllowedChars() const {
    return type == kDword ? "0123456789" : type == kInteger ? "-0123456789" : "";
}

std::string CItemType::GetDefaultText() const {
    if (defaultValue.empty())
        return "<Default>";
    return GetDisplayValue(*MakeRawValue());
}

const char* CItemType::TypeName() const {
    return type >= 0 && type < kItemKinds ? kTypeNames[type] : "";
}

bool ScopeHolds(const std::string& expr, const std::vector<std::string>& scopeList) {
    if (expr.empty() || scopeList.empty())
        return true;
    // One pass over the expression, each word found in a set: the test
    // stays linear in the sizes of both, however hostile the catalog.
    std::unordered_set<std::string_view> words(scopeList.begin(), scopeList.end());
    auto term = [&](std::string_view word) {
        bool negate = !word.empty() && word[0] == '!';
        if (negate)
            word.remove_prefix(1);
        return words.contains(word) != negate;
    };
    const std::string_view text(expr);
    size_t pos = 0;
    for (;;) {
        // An and-group: alternatives, looked up only until one holds.
        bool holds = false;
        size_t end = pos;
        for (;;) {
            while (end < text.size() && text[end] != ',' && text[end] != '|' && text[end] != '&' && text[end] != ';')
                ++end;
            if (!holds)
                holds = term(text.substr(pos, end - pos));
            if (end == text.size() || text[end] == '&' || text[end] == ';')
                break;
            pos = ++end;
        }
        if (!holds)
            return false;
        if (end == text.size())
            return true;
        pos = end + 1;
    }
}

bool CItemType::InScope(const std::vector<std::string>& scopeList) const {
    return ScopeHolds(scope, scopeList);
}

void LoadCatalog(const std::string& path, OptionList& list) {
    list.clear();
    CCompressedFile file;
    if (!file.Open(path, CCompressedFile::kRead))
        throw FileError(path, errno);
    try {
        ArchiveReader ar(file);
        // Bytes that each take a byte or less of the file must not become
        // objects of many times their size: a hostile catalog stays within
        // kCatalogMemoryFactor times its file (beyond a floor for small ones).
        ar.SetBudget(kCatalogMemoryFloor + kCatalogMemoryFactor * static_cast<size_t>(file.Size()));
        for (uint32_t n = ar.Count(); n > 0; --n) {
            ar.ObjectTag("CItemType", CItemType::kSchema);
            ar.Charge(sizeof(CItemType) + 2 * sizeof(std::unique_ptr<CItemType>));
            auto item = std::make_unique<CItemType>();
            item->Load(ar);
            list.push_back(std::move(item));
        }
    } catch (...) {
        list.clear();
        throw;
    }
    file.Close();
}

bool StoreCatalog(const std::string& path, const OptionList& list, int* error) {
    CCompressedFile file;
    if (!file.Open(path, CCompressedFile::kWrite)) {
        if (error)
            *error = errno;
        return false;
    }
    try {
        ArchiveWriter ar(file);
        ar.Count(static_cast<uint32_t>(list.size()));
        for (const auto& item : list) {
            ar.ObjectTag("CItemType", CItemType::kSchema);
            item->Store(ar);
        }
        ar.Close();
        file.Close();
    } catch (const FileError&) {
        if (error)
            *error = errno ? errno : EIO;
        return false;
    }
    return true;
}

}  // namespace settingseditor
