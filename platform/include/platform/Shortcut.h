// Special folders and shortcut files of the device. A shortcut (".lnk") is
// one line of 8-bit text in the default code page: the target's length in
// characters, '#', then the target (a command line: a program's path, in
// double quotes when it holds blanks, and its arguments).
#pragma once

#include <string>
#include <string_view>

#include "platform/WinTypes.h"

constexpr int CSIDL_STARTMENU = 0x000B;         // "\Windows\Start Menu"
constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;  // "\Windows\Desktop"

// The folder's device path into path (at least 260 characters); with create
// the folder and those above it are made when missing. FALSE for another
// identifier, or when it is missing and cannot be made.
BOOL SHGetSpecialFolderPath(HWND owner, char16_t* path, int folder, BOOL create);
// Writes the shortcut file (replacing one that is there) pointing at the
// target. FALSE when it cannot be written.
BOOL SHCreateShortcut(const char16_t* shortcut, const char16_t* target);
// The shortcut's target into buffer (size characters with the terminator).
// FALSE for a file that is missing, not a shortcut, or too long.
BOOL SHGetShortcutTarget(const char16_t* shortcut, char16_t* target, int size);
