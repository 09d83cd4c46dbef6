// The shell's 62 numbered settings (the table in SettingsTable.h): read from
// the registry key "Defaults" under the product's root key, then overridden
// by key=value configurations. User-interface thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "shell/SettingsTable.h"

class CSettingsStore {
public:
    // Only the defaults.
    CSettingsStore();
    // The defaults, then the registry under "<name>\Defaults" ("Defaults" for
    // the empty name).
    explicit CSettingsStore(const char16_t* name);
    virtual ~CSettingsStore();

    CSettingsStore(const CSettingsStore&) = delete;
    CSettingsStore& operator=(const CSettingsStore&) = delete;

    void Reset();
    void Load(const char16_t* name);

    int HasValue(int n) const;
    // 0 bool, 1 int, 2 string, 3 no type or a number out of range.
    int GetType(int n) const;
    int32_t GetBool(int n) const;           // 0 without a value
    int32_t GetInt(int n) const;            // -1 without a value
    const char16_t* GetString(int n) const;  // null without a value; owned by the store
    void SetInt(int n, int32_t value);
    void SetString(int n, const char16_t* text);
    void ClearValue(int n);
    // The setting whose name text equals key without regard to case; -1.
    int FindByName(const char16_t* key) const;

private:
    enum : uint8_t { kHasValue = 0x04, kBool = 0x10, kInt = 0x20, kString = 0x40, kTypeMask = 0xF0 };
    static bool InRange(int n) { return n >= 0 && n < kSettingCount; }
    void LoadValue(const std::vector<plat::registry::Value>& values, int n);

    int32_t m_value[kSettingCount];
    char16_t* m_text[kSettingCount];  // the string values, owned
    uint16_t m_nameId[kSettingCount];
    uint8_t m_flags[kSettingCount];
};

// Registry access relative to the registry root on HKEY_LOCAL_MACHINE. Each
// read opens the key and closes it again.
int RegOpenRootKey(const char16_t* subKey, DWORD access, HKEY* key);
// Reads up to 4 bytes whatever the value's type; a shorter value leaves the
// rest of the number zero.
int RegReadDword(const char16_t* subKey, const char16_t* valueName, DWORD* value);
int RegReadString(const char16_t* subKey, const char16_t* valueName, std::u16string* text);
