// Libraries bound by export name: ".dll"-named ELF shared objects loaded with
// dlopen (RTLD_NOW | RTLD_LOCAL). Every library exports only its own export
// set (hidden visibility and -Bsymbolic, see orvade_dll in CMake), so a
// library's calls to its own exports never reach another library's export of
// the same name.
//
// - A name with a '\' is a device path: the device file system opens it (a
//   regular file, never through a link) and the library loads from that open file.
// - A bare name ("orvaderes.dll") is looked for in the device's program folder,
//   then among the installed files in the folder of the library that calls
//   LoadLibrary, then among the device vendor's libraries installed in the
//   folder "vendor" beside the platform library, without regard to case.
// - After a failed load GetLastError answers ERROR_MOD_NOT_FOUND (126) when
//   there is no such file, ERROR_BAD_EXE_FORMAT (193) when the file is not a
//   loadable library.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/WinTypes.h"

using HMODULE = void*;
using FARPROC = void (*)();

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_BAD_EXE_FORMAT = 193;

// The calling thread's last error, as the loader and the registry set it.
DWORD GetLastError();
void SetLastError(DWORD error);

// Null on failure (see GetLastError). Loading a library twice gives the same
// handle and counts references; FreeLibrary drops one.
// The caller is found by its return address: a tail call to LoadLibrary
// makes its caller's caller the one whose folder is searched.
__attribute__((noinline)) HMODULE LoadLibrary(std::u16string_view name);
BOOL FreeLibrary(HMODULE module);
// Null when the module lacks the export (ERROR_PROC_NOT_FOUND).
FARPROC GetProcAddress(HMODULE module, const char* name);

// Binds an export to a typed function pointer: null when missing.
template <typename Fn>
Fn GetProc(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(GetProcAddress(module, name));
}

// The "*.dll" files of a device folder (no directories), matched without
// regard to case and sorted by name; names only.
std::vector<std::u16string> FindLibraries(std::u16string_view deviceFolder);

// The machine directory of the module (executable or library) that holds
// the given address; empty when unknown.
std::string ModuleHostDirectory(const void* address);

// The "local heap" that extension libraries and their callers share: records
// one side allocates (zeroed) and the other frees.
void* LocalAlloc(size_t bytes);
void LocalFree(void* block);

namespace plat::loader {

// The device path a library of the device file system was loaded from; empty
// for any other module.
std::u16string ModuleDevicePath(HMODULE module);
// The loaded module that holds the address (its handle, no reference taken);
// null when none does.
HMODULE ModuleOf(const void* address);

}  // namespace plat::loader
