#include "shell/SettingsStore.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "shell/ShellUtil.h"

namespace {

char16_t* CopyText(std::u16string_view text) {
    auto* copy = new char16_t[text.size() + 1];
    std::char_traits<char16_t>::copy(copy, text.data(), text.size());
    copy[text.size()] = 0;
    return copy;
}

// A number of up to 4 bytes whatever the value's type, as RegReadDword
// reads it; a longer value is not one.
bool DwordOf(const uint8_t* data, size_t size, DWORD* value) {
    if (size > 4) return false;
    // Zeroed first: a value of fewer than 4 bytes fills only its own.
    uint8_t bytes[4] = {0, 0, 0, 0};
    if (size) std::memcpy(bytes, data, size);
    *value = DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16 | DWORD(bytes[3]) << 24;
    return true;
}

// The value's text up to its first terminator, whatever its type; an odd
// last byte is no character.
std::u16string TextOf(const uint8_t* data, size_t size) {
    std::u16string text(size / 2, u'\0');
    if (!text.empty()) std::memcpy(text.data(), data, text.size() * 2);
    if (const size_t end = text.find(u'\0'); end != std::u16string::npos) text.resize(end);
    return text;
}

// Value names compare as the registry compares them: ASCII letters fold.
bool SameValueName(std::u16string_view a, std::u16string_view b) {
    const auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                               [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

}  // namespace

CSettingsStore::CSettingsStore() { Reset(); }

CSettingsStore::CSettingsStore(const char16_t* name) {
    Reset();
    Load(name ? name : u"");
}

CSettingsStore::~CSettingsStore() {
    for (int n = 0; n < kSettingCount; ++n) ClearValue(n);
}

void CSettingsStore::Reset() {
    std::memset(m_value, 0, sizeof m_value);
    std::memset(m_text, 0, sizeof m_text);
    std::memset(m_nameId, 0, sizeof m_nameId);
    std::memset(m_flags, 0, sizeof m_flags);
    for (const SettingDef& def : kSettingDefs)
        if (def.hasDefault && def.type != SettingType::String) SetInt(def.number, def.defaultValue);
}

void CSettingsStore::Load(const char16_t* name) {
    const std::u16string subKey = (name && *name) ? std::u16string(name) + u"\\Defaults" : u"Defaults";
    const std::u16string path = GetRegistryRoot() + u"\\" + subKey;
    // The key's values are read at once, not with a query each.
    std::vector<plat::registry::Value> values;
    plat::registry::ReadValues(HKEY_LOCAL_MACHINE, path.c_str(), &values);
    for (int n : kSettingLoadOrder) LoadValue(values, n);
}

void CSettingsStore::LoadValue(const std::vector<plat::registry::Value>& values, int n) {
    const SettingDef& def = kSettingDefs[n];
    m_nameId[n] = def.nameId;
    const std::u16string valueName = LoadResourceText(def.nameId, 200);
    const auto value = std::find_if(values.begin(), values.end(), [&](const plat::registry::Value& v) {
        return SameValueName(v.name, valueName);
    });
    if (value != values.end()) {
        if (def.type == SettingType::String) {
            SetString(n, TextOf(value->data.data(), value->data.size()).c_str());
        } else if (DWORD number = 0; DwordOf(value->data.data(), value->data.size(), &number)) {
            SetInt(n, int32_t(number));
        }
    }
    m_flags[n] = uint8_t((m_flags[n] & ~kTypeMask) | (def.type == SettingType::Bool  ? kBool
                                                      : def.type == SettingType::Int ? kInt
                                                                                     : kString));
}

int CSettingsStore::HasValue(int n) const { return InRange(n) && (m_flags[n] & kHasValue) ? 1 : 0; }

int CSettingsStore::GetType(int n) const {
    if (!InRange(n)) return 3;
    switch (m_flags[n] & kTypeMask) {
    case kBool: return 0;
    case kInt: return 1;
    case kString: return 2;
    default: return 3;
    }
}

int32_t CSettingsStore::GetBool(int n) const { return HasValue(n) ? m_value[n] : 0; }
int32_t CSettingsStore::GetInt(int n) const { return HasValue(n) ? m_value[n] : -1; }
const char16_t* CSettingsStore::GetString(int n) const { return HasValue(n) ? m_text[n] : nullptr; }

void CSettingsStore::ClearValue(int n) {
    if (!InRange(n)) return;
    delete[] m_text[n];
    m_text[n] = nullptr;
    m_value[n] = 0;
    m_flags[n] = uint8_t(m_flags[n] & ~kHasValue);
}

void CSettingsStore::SetInt(int n, int32_t value) {
    if (!InRange(n)) return;
    ClearValue(n);
    m_value[n] = value;
    const uint8_t type = m_flags[n] & kTypeMask;
    m_flags[n] = uint8_t(((type == kBool || type == kInt) ? type : uint8_t(kInt)) | kHasValue);
}

void CSettingsStore::SetString(int n, const char16_t* text) {
    if (!InRange(n)) return;
    const std::u16string_view value = text ? std::u16string_view(text) : std::u16string_view();
    if (GetType(n) == 2 && HasValue(n) && m_text[n] && value == m_text[n]) return;
    ClearValue(n);
    m_text[n] = CopyText(value);
    m_flags[n] = uint8_t(kString | kHasValue);
}

int CSettingsStore::FindByName(const char16_t* key) const {
    if (!key) return -1;
    for (int n = 0; n < kSettingCount; ++n) {
        if (!m_nameId[n]) continue;
        const std::u16string name = LoadResourceText(m_nameId[n], 200);
        if (!name.empty() && EqualNoCase(name, key)) return n;
    }
    return -1;
}

int RegOpenRootKey(const char16_t* subKey, DWORD access, HKEY* key) {
    std::u16string path = GetRegistryRoot();
    if (subKey && *subKey) path += u"\\" + std::u16string(subKey);
    LONG rc;
    if (access == KEY_READ) rc = RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key);
    else rc = RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, u"", 0, KEY_ALL_ACCESS, nullptr, key, nullptr);
    return rc == ERROR_SUCCESS ? 1 : 0;
}

int RegReadDword(const char16_t* subKey, const char16_t* valueName, DWORD* value) {
    HKEY key;
    if (!value || !RegOpenRootKey(subKey, KEY_READ, &key)) return 0;
    BYTE bytes[4];
    DWORD size = sizeof bytes;
    const LONG rc = RegQueryValueEx(key, valueName, nullptr, nullptr, bytes, &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && DwordOf(bytes, size, value) ? 1 : 0;
}

int RegReadString(const char16_t* subKey, const char16_t* valueName, std::u16string* text) {
    HKEY key;
    if (!text || !RegOpenRootKey(subKey, KEY_READ, &key)) return 0;
    DWORD size = 0;
    LONG rc = RegQueryValueEx(key, valueName, nullptr, nullptr, nullptr, &size);
    if (rc != ERROR_SUCCESS) {
        RegCloseKey(key);
        return 0;
    }
    std::vector<uint8_t> bytes(size);
    DWORD got = size;
    rc = RegQueryValueEx(key, valueName, nullptr, nullptr, bytes.data(), &got);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return 0;
    *text = TextOf(bytes.data(), std::min<size_t>(got, bytes.size()));
    return 1;
}
