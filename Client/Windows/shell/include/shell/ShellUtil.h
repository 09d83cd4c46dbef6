// The small services the shell stands on: the resource library and the
// process-wide texts built from it, the shell's folder table, message boxes
// with resource texts, trimming, the colour depth, the dialog base with its
// centring, and the About page. What the shell keeps once per process (the
// library, its texts, the log, the folder table) is one context of
// ShellUtil.cpp, reached through these functions. User-interface thread
// only.
#pragma once

#include <string>

#include "core/support/LogFile.h"
#include "platform/Dialog.h"
#include "platform/Library.h"
#include "platform/Window.h"

// The resource library "orvaderes.dll"; null until loaded.
HMODULE GetShellResources();

// Loads the resource library as data, creates the shell's log (off until the
// settings enable it) and builds the three process-wide texts. 0 (after the
// box "Missing Critical component-001") when the library is missing.
int LoadResourceDll();
void FreeResourceDll();

// The process-wide texts: the registry root (string 124 and "OVC v1.0"), the
// global configuration (string 153) and the program folder as it was when
// the library was loaded. Empty before LoadResourceDll.
const std::u16string& GetRegistryRoot();
const std::u16string& GetGlobalConfigUrl();
const std::u16string& GetProgramFolderText();

// The shell's own log; null before LoadResourceDll and after FreeResourceDll.
CLogFile* GetShellLog();
__attribute__((format(printf, 2, 3))) void ShellLog(uint32_t level, const char* format, ...);
// The log settings of a loaded store: logging on gives level 5, the log file
// setting its path and the clear-on-open setting its mode.
class CSettingsStore;
void ApplyLogSettings(const CSettingsStore& store);

// Equal without regard to the case of ASCII letters (names, keys, schemes).
bool EqualNoCase(std::u16string_view a, std::u16string_view b);

// A signed decimal number up to the first character that is not part of it
// (leading blanks skipped); 0 when there is none. Numbers beyond 32 bits are
// held at the limits.
int32_t ParseDecimal(std::u16string_view text);

// A resource string of at most maxChars - 1 characters; empty when missing.
std::u16string LoadResourceText(UINT id, int maxChars);

// The folder table: {name, default extension, folder}, matched without
// regard to case. A null or empty extension or name counts as not given.
const char16_t* GetFolder(const char16_t* name, const char16_t* extension);
int SetFolder(const char16_t* name, const char16_t* extension, const char16_t* folder);
// Puts the table back as it is at start-up (tests, a second start).
void ResetFolders();

int ShowResourceMessage(HWND owner, UINT textId, UINT captionId, UINT style);
int AskYesNo(HWND owner, UINT textId, UINT captionId);

// Removes white space (and zero characters) from the end, then from the
// start, in place; returns text.
char16_t* TrimSpaces(char16_t* text);
std::u16string TrimSpaces(std::u16string text);

// Bits per pixel of the screen, or 2 when the settings ask for a low-colour
// display.
int GetDisplayColorDepth();

// A dialog object: the shared procedure hands it every message once
// WM_INITDIALOG has stored it with the dialog window.
class CDialogBase {
public:
    virtual ~CDialogBase() = default;
    virtual INT_PTR OnMessage(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    // Runs the template of the module modally; -1 when it cannot be made.
    static INT_PTR DoModal(HWND parent, UINT templateId, CDialogBase* dialog, HMODULE module);
};

// Centres a window on centreOn (0: its parent or owner) and keeps it inside
// the parent's client area or on the screen.
BOOL CenterWindow(HWND window, HWND centreOn);

// The About property page (template 6029).
INT_PTR AboutDlgProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
