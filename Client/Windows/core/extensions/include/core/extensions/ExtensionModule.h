// What the client runtime keeps once per process, in one module context:
// the resource library, the manager of the "EXTENTIONS" libraries, the
// running core's control window, the shell's main window, the window the
// extension libraries report to, and the first scanner, printer and network
// wrapper bound. ModuleInit makes the context (and the log) when the client
// control is made, ModuleTerm deletes it when it goes; outside them there is
// none, and what would be kept is not.
//
// Two pieces of process state stay outside it. The module log
// (core/support/LogFile.h) is written by the support library below this one
// and from any thread, and by the headless session tool and the tests, which
// make no context: it is an atomic pointer there, which ModuleInit and
// ModuleTerm create and delete. The logical-folder table
// (core/session/LogicalFolders.h) is the session's, read and changed by every
// session of the process whether or not a control made a context; its
// folders must not fall back to their defaults when one control goes.
#pragma once

#include <memory>

#include "core/extensions/Extentions.h"
#include "platform/Library.h"

class CScannerExtension;
class CPrinterExtension;
class CNetworkExtension;

class CModuleContext {
public:
    CModuleContext() = default;
    // Frees the resource library and deletes the family-A wrappers.
    ~CModuleContext();
    CModuleContext(const CModuleContext&) = delete;
    CModuleContext& operator=(const CModuleContext&) = delete;

    HMODULE resources = nullptr;
    std::unique_ptr<CExtentions> extentions;
    HWND controlWindow = 0;    // the running core's control window
    HWND shellWindow = 0;      // the shell's main window, as it gave it
    HWND extensionWindow = 0;  // where the extension libraries report
    // The process's wrapper of each kind: the first one bound, until it goes.
    CScannerExtension* scanner = nullptr;
    CPrinterExtension* printer = nullptr;
    CNetworkExtension* network = nullptr;
};

// The context between ModuleInit and ModuleTerm (or CreateModuleContext and
// DestroyModuleContext); null outside.
CModuleContext* GetModuleContext();
// A context without the resource library and the log, for code that binds
// wrappers without the control (false when one exists already).
bool CreateModuleContext();
void DestroyModuleContext();

// 1 when the resource library "orvaderes.dll" was loaded. Without it the
// user is told "Missing Critical component-001" and no extension manager
// exists. The log exists either way (off until logging is enabled).
BOOL ModuleInit();
void ModuleTerm();

HMODULE GetModuleResources();
// Null before ModuleInit, after ModuleTerm, or without the resource library.
CExtentions* GetModuleExtentions();
