// The remote device interface: what a desktop program does on a connected
// device (files, folders, the registry, programs) with the Remote API's
// calls. The device is a device root folder of this machine, the one
// attached with plat::rapi::AttachDevice: once a connection is made, it is
// this process's device root (and its programs', through
// ORVADE_DEVICE_ROOT), so device paths follow the device file system's
// rules (names matched without regard to case, no link followed, nothing
// outside the root) and the registry is the very database the device's own
// programs read and write.
//
// Every call but CeRapiInitEx fails while no connection is made
// (CeGetLastError: ERROR_NOT_READY).
#pragma once

#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/DeviceManager.h"
#include "platform/Registry.h"
#include "platform/WinConst.h"

// The connection request: its size, the event that tells the connection is
// made, and the connection's result once it is.
struct RAPIINIT {
    DWORD cbSize;
    HANDLE heRapiInit;
    HRESULT hrRapiInit;
};

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;

constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 1;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

// Starts connecting: S_OK with the request's event, which tells (through
// plat::rapi::WaitForInit) when the device answers and with what result;
// E_INVALIDARG for a request of another size; E_FAIL when the attached
// device is not named by an absolute folder path, so nothing can answer.
HRESULT CeRapiInitEx(RAPIINIT* init);
// Ends the connection; open handles are closed.
HRESULT CeRapiUninit();
// The error of the last call that failed in the interface itself, and the
// device's last error (Windows codes); read after failures.
HRESULT CeRapiGetError();
DWORD CeGetLastError();

LONG CeRegOpenKeyEx(HKEY key, const char16_t* subKey, DWORD options, DWORD access, HKEY* result);
LONG CeRegQueryValueEx(HKEY key, const char16_t* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LONG CeRegCloseKey(HKEY key);

// FILE_ATTRIBUTE_DIRECTORY or FILE_ATTRIBUTE_NORMAL; INVALID_FILE_ATTRIBUTES
// when absent.
DWORD CeGetFileAttributes(const char16_t* path);
// One folder; its parent must exist.
BOOL CeCreateDirectory(const char16_t* path, void* security);
// A file opened for writing only (GENERIC_WRITE), created anew
// (CREATE_ALWAYS: an existing file is emptied; CREATE_NEW: fails when it
// exists); INVALID_HANDLE_VALUE on failure.
HANDLE CeCreateFile(const char16_t* path, DWORD access, DWORD share, void* security, DWORD disposition, DWORD flags,
                    HANDLE templateFile);
BOOL CeWriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void* overlapped);
// Only the last-write time is set (Linux has no settable creation time);
// null pointers leave their time.
BOOL CeSetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess, const FILETIME* lastWrite);
// Closes a file (FALSE when its last bytes could not be written) or a
// process handle.
BOOL CeCloseHandle(HANDLE handle);
BOOL CeDeleteFile(const char16_t* path);
// Renames a file; with MOVEFILE_REPLACE_EXISTING an existing target is
// replaced in one step (a reader sees the old file or the new one whole).
BOOL CeMoveFileEx(const char16_t* from, const char16_t* to, DWORD flags);
// Starts a program of the device with a command line (split into words as
// the device does: blanks separate, double quotes group). The program runs
// with the device as its device root; the handles in info are closed with
// CeCloseHandle. The device's package installer (plat::rapi::kDeviceInstaller)
// is on every device: unless the device root holds a program of that name,
// starting it runs this machine's installer program ($ORVADE_INSTALLER,
// else "orvade-install" beside the running program) on the device root,
// with the package that ends the command line, into the package's folder.
BOOL CeCreateProcess(const char16_t* program, const char16_t* commandLine, void* processSecurity,
                     void* threadSecurity, BOOL inherit, DWORD flags, void* environment, const char16_t* folder,
                     void* startup, PROCESS_INFORMATION* info);

namespace plat::rapi {

// The device path of the device's package installer.
inline constexpr char16_t kDeviceInstaller[] = u"\\Windows\\wceload.exe";

// The device root folder that a connection reaches; an empty path attaches
// no device.
void AttachDevice(const std::string& hostDirectory);
std::string AttachedDevice();

// Waits at most the milliseconds for the event of a connection request:
// WAIT_OBJECT_0 once the device answered (the request's result is then
// set), WAIT_TIMEOUT when it did not. The device answers as soon as its
// folder exists; its result is a failure when its registry is unusable.
DWORD WaitForInit(RAPIINIT* init, DWORD milliseconds);

}  // namespace plat::rapi
