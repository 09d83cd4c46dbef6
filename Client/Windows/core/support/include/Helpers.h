// Small stateless helpers shared by the session core and its command handlers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/WinTypes.h"

class CPacketBuffer;

// Host escapes: "\n" LF, "\r" CR, "\t" TAB, "\\" backslash, "\<hex digits>" a
// character value. In the byte form hex digits run on without limit (the low
// byte is written) and the character that ends them is dropped; the wide form
// ends a hex escape after two digits and keeps the next character.
void UnescapeBytes(uint8_t* bytes, int32_t* length);
void UnescapeWide(char16_t* text);  // zero-terminated, in place

// Handles the thread's waiting messages without waiting: WM_TIMER and
// WM_SYSTIMER are dropped, others dispatched. 1 when WM_QUIT is next (it stays
// queued), 0 when the queue is empty.
int PumpMessages();

// Splits a device path; any output may be null. drive: up to and including
// the first ':'; directory: up to and including the last '\'; extension: from
// the last '.' of the last component; name: the rest of the last component.
void SplitPath(std::u16string_view path, std::u16string* drive, std::u16string* directory,
               std::u16string* name, std::u16string* extension);

// Cells a character takes on the session screen: 0 for NUL and combining
// marks, -1 for control characters, 2 for wide (East Asian) characters, else 1.
int CharDisplayWidth(char16_t c);

// File helpers on a folder and a name (device paths).
namespace FileUtil {

// A name beginning with '\' is taken alone; otherwise folder + '\' (when the
// folder is not empty and does not end with one) + name.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// Lists files of folder\pattern into the writer (name, with details
// FC size FC local date YYYYMMDD FC local time HHMMSS, then FD) and
// recurses into every subdirectory with the same pattern. With
// subfoldersOnly the folder's own files are left out. The writer may be
// null (counting only). Returns the number of files listed.
int32_t ListDirectory(std::u16string_view folder, std::u16string_view pattern, CPacketBuffer* writer,
                      bool subfoldersOnly, bool details);

// Deletes every file matching folder\pattern, in name order (a matching
// folder is a failed deletion). TRUE when something matched and every
// deletion worked; lastResult, when given, gets the result of the last
// deletion, which is what hosts read from DELETEFILE. FALSE when nothing matched.
BOOL DeleteFiles(std::u16string_view folder, std::u16string_view pattern, BOOL* lastResult = nullptr);

// Removes folder\name with everything inside (symbolic links are deleted,
// never followed); the result is that of removing the directory itself.
BOOL RemoveTree(std::u16string_view folder, std::u16string_view name);

// -1 when the file cannot be opened or its size read; with no buffer or a
// size of 0 the file's size; otherwise the bytes read (at most size).
int32_t ReadWholeFile(std::u16string_view folder, std::u16string_view name, void* buffer, int32_t size);
// Creates or truncates; the bytes written (0 for a count of 0), -1 when the
// file cannot be created.
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

// Main battery: 0 high or charging, 1 low or critical, 2 none or unknown.
// Backup battery: 1 high or charging, 0 low or critical, 2 none or unknown.
// Other flag values leave an output as it was; both 0 when the status cannot
// be read; nothing happens when an output is null.
void GetPowerStatus(int32_t* mainBattery, int32_t* backupBattery);

}  // namespace FileUtil
