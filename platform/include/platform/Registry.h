// The registry: keys and values with case-insensitive, case-preserving names,
// kept in one SQLite database under the device root ("\Windows\Registry.db",
// WAL mode), so several processes read and write it at once and a crash never
// leaves it half written. Every change is one transaction; setting what is
// there already writes nothing.
//
// - Values: REG_SZ and REG_MULTI_SZ hold UTF-16LE text with its terminators
//   (as the caller passes it), REG_DWORD 4 bytes little-endian, REG_BINARY
//   any bytes; other type numbers are stored as given.
// - Subkeys enumerate sorted by name (case-insensitively), values in the order
//   they were first set; a value that is set again keeps its place.
// - Names are compared with SQLite's NOCASE (ASCII letters fold).
// - Results are Windows error codes (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND...).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/Library.h"
#include "platform/WinTypes.h"

struct HKEY__;
using HKEY = HKEY__*;

inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(uintptr_t{0x80000000});
inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(uintptr_t{0x80000001});
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t{0x80000002});
inline const HKEY HKEY_USERS = reinterpret_cast<HKEY>(uintptr_t{0x80000003});

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

// Access rights (not checked, but they tell open from create).
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD KEY_WRITE = 0x20006;
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_KEY_DELETED = 1018;
constexpr DWORD ERROR_REGISTRY_IO_FAILED = 1016;
// The database is not a registry of this system (its schema is not ours).
constexpr DWORD ERROR_BADDB = 1009;

// Subkey paths use '\' between names; an empty or null path opens the key
// itself again (a new handle). Access rights are not checked.
LONG RegOpenKeyEx(HKEY key, const char16_t* subKey, DWORD options, DWORD access, HKEY* result);
// Creates every missing key of the path. disposition (may be null) tells
// whether the last key was new.
LONG RegCreateKeyEx(HKEY key, const char16_t* subKey, DWORD reserved, const char16_t* className, DWORD options,
                    DWORD access, const void* security, HKEY* result, DWORD* disposition);
LONG RegCloseKey(HKEY key);

// Windows rules: a null data pointer asks for the size only; a buffer that is
// too small gives ERROR_MORE_DATA with the needed size in *size. A null or
// empty name is the key's default value.
LONG RegQueryValueEx(HKEY key, const char16_t* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LONG RegSetValueEx(HKEY key, const char16_t* name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LONG RegDeleteValue(HKEY key, const char16_t* name);
// Deletes the subkey with everything below it.
LONG RegDeleteKey(HKEY key, const char16_t* subKey);

// *nameLength: in, the buffer's size in characters; out, the name's length
// without its terminator. ERROR_NO_MORE_ITEMS past the end.
LONG RegEnumKeyEx(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved, char16_t* className,
                  DWORD* classLength, FILETIME* lastWrite);
LONG RegEnumValue(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved, DWORD* type,
                  BYTE* data, DWORD* size);
// Counts of subkeys and values and the longest names (characters); any
// output may be null.
LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* longestSubKey, DWORD* values, DWORD* longestValueName,
                     DWORD* longestValueData);

// Convenience for C++ callers.
namespace plat::registry {
// The value's text (REG_SZ or REG_EXPAND_SZ, up to its first terminator);
// false when missing or of another type.
bool GetString(HKEY key, const char16_t* subKey, const char16_t* name, std::u16string* text);
bool GetDword(HKEY key, const char16_t* subKey, const char16_t* name, DWORD* value);
// Creates the key when needed.
bool SetString(HKEY key, const char16_t* subKey, const char16_t* name, std::u16string_view text);
bool SetDword(HKEY key, const char16_t* subKey, const char16_t* name, DWORD value);
// One key of a registration, with one value or none.
struct Setting {
    std::u16string subKey;
    std::u16string name;  // empty: the key's default value
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    bool keyOnly = false;  // only the key is made
};
// The key's default value set to a text (REG_SZ, terminated).
Setting StringSetting(std::u16string subKey, std::u16string_view text);
// Makes the keys and sets the values of a whole registration in one
// transaction: all or nothing is written. When all is there already, it is
// only looked at, in one read.
LONG SetValues(HKEY key, const std::vector<Setting>& settings);
// Every value of the key at subKey under key (none: key itself), in the
// order of enumeration, read in one look: for a reader of many values of one
// key, instead of a query for each. ERROR_FILE_NOT_FOUND without the key.
struct Value {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};
LONG ReadValues(HKEY key, const char16_t* subKey, std::vector<Value>* values);
// Multi-string: each text with its terminator, then one more.
std::vector<uint8_t> MultiString(const std::vector<std::u16string>& texts);
std::vector<std::u16string> SplitMultiString(const uint8_t* data, size_t bytes);
// The database file on the machine (tests, tools).
std::string DatabasePath();
}  // namespace plat::registry
