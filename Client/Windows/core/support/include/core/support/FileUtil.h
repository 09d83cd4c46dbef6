// File helpers on a folder and a name (device paths), for the command
// handlers; the device root and link rules are the file system's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "core/support/DevicePath.h"
#include "platform/WinTypes.h"

namespace FileUtil {

// Deletes every file matching folder\pattern, in name order (a matching
// folder, or a file a host may not change, is a failed deletion). TRUE when something matched and every
// deletion worked; lastResult, when given, gets the result of the last
// deletion, which is what hosts read from DELETEFILE. FALSE when nothing matched.
BOOL DeleteFiles(std::u16string_view folder, std::u16string_view pattern, BOOL* lastResult = nullptr);

// Removes folder\name with everything inside (symbolic links are deleted,
// never followed) when a host may change it; the result is that of removing
// the directory itself.
BOOL RemoveTree(std::u16string_view folder, std::u16string_view name);

// Whether a path names a library: its last part ends in ".dll" in any case
// (trailing dots and spaces aside). Libraries reach a device by
// installation, never from a host.
bool IsLibraryName(std::u16string_view path);
// Whether the last part of a path is a name a loader or the dynamic linker
// takes as code: ".dll", ".so", ".so.N", ".exe" or ".run" at its end, in any
// case (trailing dots and spaces aside).
bool IsCodeName(std::u16string_view path);
// Whether a host may create, replace, rename or delete what the path names.
// Never code (as above), the device's system folder ("\Windows": the
// registry, the device's libraries), the start-up folder, the top level of the
// program folder (its data folders aside), a file or folder an installation wrote (its
// "Install.lst"), nor a folder that holds any of these.
bool HostMayChange(std::u16string_view path);
// Whether a host may create or replace the file at the path: a valid file
// path it may change.
bool HostMayWrite(std::u16string_view path);
// The folder a host's file goes into, made when it is missing (one level: its
// parent must exist) and a host may create it there; true when it is there.
// A folder form can name one at the program folder's top level ("%SYSTEM%").
bool MakeHostFolder(std::u16string_view folder);

// -1 when the file cannot be opened or its size read; with no buffer or a
// size of 0 the file's size; otherwise the bytes read (at most size).
int32_t ReadWholeFile(std::u16string_view folder, std::u16string_view name, void* buffer, int32_t size);
// Creates or replaces the file in one step (the old one stays whole on any
// failure); count when written, -1 when not.
int32_t WriteWholeFile(std::u16string_view folder, std::u16string_view name, const void* data, int32_t count);
// Appends to an existing file (a missing one is not created); the bytes
// written, -1 when it cannot be opened.
int32_t AppendFile(std::u16string_view folder, std::u16string_view name, const void* data, int32_t count);

// Last write time in UTC as "YYYYMMDD" and "HHMMSS" and the size (low 32
// bits) as decimal. TRUE when the file exists (outputs filled when its data
// could be read); FALSE when not, or when an output is null.
BOOL GetFileInfo(std::u16string_view folder, std::u16string_view name, std::string* date, std::string* time,
                 std::string* size);

// Sets the file's access and write times from "YYYYMMDD" and "HHMMSS" read as
// local time (creation time cannot be set here). FALSE on malformed text or
// a missing file.
BOOL SetFileTimes(std::u16string_view folder, std::u16string_view name, std::u16string_view date,
                  std::u16string_view time);
BOOL SetFileTimes(std::u16string_view folder, std::u16string_view name, std::string_view date,
                  std::string_view time);

// "YYYYMMDD" and "HHMMSS" (the first 8 and 6 characters digits, valid
// ranges, year from 1601; characters after them are ignored) into a
// system time with day of week and milliseconds 0. FALSE, out untouched, on
// malformed text.
BOOL ParseDateTime(std::u16string_view date, std::u16string_view time, SYSTEMTIME* out);
BOOL ParseDateTime(std::string_view date, std::string_view time, SYSTEMTIME* out);

}  // namespace FileUtil
