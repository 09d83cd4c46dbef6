// The device manager: stream drivers ("TNO1:", "NDS0:"...) run in user
// space, inside the calling process. RegisterDevice loads a driver library
// and calls its PFX_Init; CreateFile on "PFXn:" calls PFX_Open, and
// DeviceIoControl and CloseHandle reach PFX_IOControl and PFX_Close. A
// driver runs once per process, so its callers are this process's threads;
// GetCallerProcess tells a driver whose request it answers.
//
// - A driver library is looked for in "\Windows" of the device, then by
//   bare name (LoadLibrary's folders).
// - PFX_Init and PFX_Open answer 0 for a failure; any other value is the
//   context of the device or of the open handle.
// - No driver code runs under the layer's lock.
#pragma once

#include <string_view>

#include "platform/Library.h"
#include "platform/WinTypes.h"

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~uintptr_t{0});

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_DEV_NOT_EXIST = 55;
constexpr DWORD ERROR_DEVICE_IN_USE = 2404;

// The driver's entry points, by name "<prefix>_<entry>".
using DeviceInitFn = DWORD (*)(DWORD context);
using DeviceDeinitFn = BOOL (*)(DWORD deviceContext);
using DeviceOpenFn = DWORD (*)(DWORD deviceContext, DWORD access, DWORD share);
using DeviceCloseFn = BOOL (*)(DWORD openContext);
using DeviceIOControlFn = BOOL (*)(DWORD openContext, DWORD code, BYTE* in, DWORD inSize, BYTE* out, DWORD outSize,
                                   DWORD* returned);

// A handle for DeregisterDevice, or null (GetLastError: ERROR_MOD_NOT_FOUND,
// ERROR_PROC_NOT_FOUND without PFX_Init, ERROR_DEVICE_IN_USE for a name
// registered already, ERROR_GEN_FAILURE when PFX_Init answers 0).
HANDLE RegisterDevice(const char16_t* prefix, DWORD index, const char16_t* library, DWORD context);
BOOL DeregisterDevice(HANDLE device);

// A device "PFXn:" (other names: INVALID_HANDLE_VALUE with ERROR_DEV_NOT_EXIST).
HANDLE CreateFile(const char16_t* name, DWORD access, DWORD share, const void* security, DWORD disposition,
                  DWORD flags, HANDLE templateFile);
BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                     void* overlapped);
BOOL CloseHandle(HANDLE handle);

// The process whose request a driver is answering.
DWORD GetCallerProcess();
