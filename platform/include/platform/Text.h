// Text inside the programs is UTF-16 (char16_t). Bytes on the wire and in
// files are converted here, through iconv: code page N is iconv's "CP<N>",
// code page 0 (the system default) is CP1252, 65001 is UTF-8. CP1252 converts
// by a table of our own: its undefined bytes map to the C1 controls of the
// same value and back, as the device's conversion does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The platform's names, for code written in its style.
constexpr uint32_t CP_ACP = 0;
constexpr uint32_t CP_UTF8 = 65001;
constexpr uint32_t MB_PRECOMPOSED = 0x00000001;
constexpr uint32_t WC_COMPOSITECHECK = 0x00000200;

// Windows-shaped wrappers. A source length of -1 means zero-terminated (the
// terminator is converted too). A destination size of 0 asks for the size
// needed. Too small a destination gives 0.
int MultiByteToWideChar(uint32_t codePage, uint32_t flags, const char* src, int srcLen,
                        char16_t* dst, int dstLen);
int WideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* src, int srcLen,
                        char* dst, int dstLen);

namespace plat::text {

// The iconv name for a code page: "CP1252" for 0, "UTF-8" for 65001.
std::string CodePageName(uint32_t codePage);

// Bytes of the code page to UTF-16. Invalid input bytes become U+FFFD
// (none are invalid in CP1252).
// With precompose, decomposed sequences are composed (NFC).
std::u16string BytesToWide(uint32_t codePage, const char* data, size_t len, bool precompose = false);
inline std::u16string BytesToWide(uint32_t codePage, std::string_view s, bool precompose = false) {
    return BytesToWide(codePage, s.data(), s.size(), precompose);
}

// UTF-16 to bytes of the code page. A character the code page cannot encode
// becomes '?'. With compositeCheck, decomposed sequences are composed first.
std::string WideToBytes(uint32_t codePage, const char16_t* data, size_t len, bool compositeCheck = false);
inline std::string WideToBytes(uint32_t codePage, std::u16string_view s, bool compositeCheck = false) {
    return WideToBytes(codePage, s.data(), s.size(), compositeCheck);
}

// Shorthands for UTF-8 <-> UTF-16 (file names, logs, command lines).
inline std::u16string Utf8ToWide(std::string_view s) { return BytesToWide(CP_UTF8, s); }
inline std::string WideToUtf8(std::u16string_view s) { return WideToBytes(CP_UTF8, s); }

// Character classes and case by Unicode, for one UTF-16 unit (a surrogate is
// neither letter nor digit and has no case).
char16_t ToUpper(char16_t c);
bool IsLetter(char16_t c);
// Any decimal digit (Unicode Nd), not only '0' to '9'.
bool IsDigit(char16_t c);

// Length of a zero-terminated wide string.
inline size_t WideLen(const char16_t* s) { return s ? std::char_traits<char16_t>::length(s) : 0; }

}  // namespace plat::text
