// Values of 8-bit INI files on the device, read and rewritten line by line.
// Section, key and value are multibyte texts compared byte for byte (case
// and length exact, no blanks trimmed); the path is a device path.
#pragma once

#include <cstdint>
#include <string_view>

// Copies the value (unquoted) or, when the file, section or key is missing,
// the default into buffer (at most size - 1 bytes, zero-terminated) and
// returns its length. 0 and nothing written when buffer is null or size < 1.
int32_t ReadIniString(const char* section, const char* key, const char* defaultValue, char* buffer,
                      int32_t size, std::u16string_view path);

// Sets key=value in the section (appending the section when missing) through a
// temporary file that replaces the target. Returns the value's length, or 0
// when the file is missing (it is not created) or cannot be rewritten.
int32_t WriteIniString(const char* section, const char* key, const char* value, std::u16string_view path);
