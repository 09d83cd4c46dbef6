// A whole INI-syntax text file kept in memory as its lines. Lines the caller
// does not touch are written back byte for byte, comments included; lines it
// sets are rebuilt here. Texts are single-byte strings; sections and keys
// match case-insensitively, values are returned as stored.
#pragma once

namespace inifile {

// Status codes of the functions that return an int.
enum IniStatus : int {
    kIniOk = 0,
    kIniBadArgument = 1,    // no handle, no output, invalid enumerator, neither section nor key
    kIniNoMemory = 2,       // out of memory, or a name or built line beyond 255 bytes
    kIniCannotOpen = 3,     // the file cannot be opened
    kIniBufferTooSmall = 4,
    kIniNotFound = 5,       // no such section, or the enumeration has ended
};

// Dialects: 1 indented (sections start in the first column, keys are
// indented), 2 bracketed ("[section]" and "key=value").
constexpr int kIniIndented = 1;
constexpr int kIniBracketed = 2;

// The longest line the library builds, its newline included.
constexpr int kIniMaxLine = 255;

struct IniFile;
struct IniEnum;

// An empty handle for writing a file from scratch; none without a name.
IniFile* IniOpen(const char* name, int dialect);
// Reads the whole file (found without regard to case); none when it cannot
// be opened, errno telling why (EISDIR for a folder). Bytes of commentChars
// start a comment.
IniFile* IniLoad(const char* name, int dialect, const char* commentChars);
// Writes every line to name, or to the handle's own name when name is none,
// lines ending in CR LF, by the rules of deskcommon::CSaveFile: the old file
// is replaced only once the new one is complete; kIniCannotOpen leaves errno
// telling why.
int IniWrite(IniFile* ini, const char* name);
int IniClose(IniFile* ini);

// Sets, inserts or deletes (value none) the n-th occurrence of key in
// section, or the section itself when key is none or empty.
int IniSetValue(IniFile* ini, const char* section, const char* key, int n, const char* value);
// The buffer, or none when not found.
char* IniGetValue(IniFile* ini, const char* section, const char* key, int n, char* buffer, int length);
int IniGetSectionName(IniFile* ini, int n, char* buffer, int length);

// section none: the whole file; "": the lines before the first section; a
// name: that section's key lines up to the next header.
int IniEnumBegin(IniFile* ini, const char* section, IniEnum** out);
// A buffer with a length below 1 is ignored. Returns kIniNotFound at the end.
int IniEnumNext(IniEnum* e, char* section, int sectionLength, char* key, int keyLength, char* value,
                int valueLength);
int IniEnumEnd(IniEnum* e);

}  // namespace inifile
