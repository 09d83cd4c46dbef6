// What the tests of an installed server ask of it and of the registry: its
// exports called by name, the keys its registration wrote.
#pragma once

#include <string>

#include "platform/Com.h"
#include "platform/Library.h"
#include "platform/Registry.h"

namespace comtest {

// Loads the server (a device path, or the bare name of an installed
// library), calls one of its exports and frees it again.
inline HRESULT CallExport(const char16_t* library, const char* name) {
    HMODULE module = LoadLibrary(library);
    if (!module) return E_FAIL;
    auto fn = GetProc<HRESULT (*)()>(module, name);
    const HRESULT hr = fn ? fn() : E_FAIL;
    FreeLibrary(module);
    return hr;
}

// A value of HKEY_CLASSES_ROOT (the key's default when name is null), "<none>" when missing.
inline std::u16string ClassesText(const std::u16string& key, const char16_t* name = nullptr) {
    std::u16string text;
    return plat::registry::GetString(HKEY_CLASSES_ROOT, key.c_str(), name, &text) ? text : u"<none>";
}

inline bool ClassesKeyExists(const std::u16string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

}  // namespace comtest
