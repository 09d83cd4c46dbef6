#include "platform/Text.h"

#include <algorithm>
#include <iterator>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <memory>
#include <cstdio>

#include "../loader/HelperLibrary.h"
#include "Unicode.h"

namespace plat::text {
namespace {

// iconv_open is slow; each thread keeps its converters per direction and code page.
struct Converter {
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    ~Converter() {
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
};

iconv_t GetConverter(const std::string& to, const std::string& from) {
    thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Converter>> cache;
    auto key = std::make_pair(to, from);
    auto it = cache.find(key);
    if (it == cache.end()) {
        auto c = std::make_unique<Converter>();
        c->cd = iconv_open(to.c_str(), from.c_str());
        it = cache.emplace(key, std::move(c)).first;
    }
    iconv(it->second->cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    return it->second->cd;
}

bool NeedsComposition(const char16_t* s, size_t n) {
    // Composition only ever changes text that has a combining mark or a
    // Hangul jamo; plain text takes the fast path.
    for (size_t i = 0; i < n; ++i)
        if (s[i] >= 0x0300) return true;
    return false;
}

std::u16string Compose(std::u16string w) {
    if (!NeedsComposition(w.data(), w.size())) return w;
    return unicode::Get().composeNfc(w);
}

// Code page 1252 as the device converts it: 0x80-0x9F by this table, every
// other byte to the code point of its value. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of
// their value and back, so any byte string round-trips.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsCp1252(uint32_t codePage) { return codePage == CP_ACP || codePage == 1252; }

std::u16string Cp1252ToWide(const char* data, size_t len) {
    std::u16string out(len, u'\0');
    for (size_t i = 0; i < len; ++i) {
        auto b = static_cast<uint8_t>(data[i]);
        out[i] = b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b);
    }
    return out;
}

std::string WideToCp1252(const char16_t* data, size_t len) {
    std::string out;
    out.reserve(len);
    for (size_t i = 0; i < len; ++i) {
        char16_t c = data[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        const char16_t* hit = std::find(std::begin(kCp1252High), std::end(kCp1252High), c);
        out.push_back(hit != std::end(kCp1252High) ? static_cast<char>(0x80 + (hit - kCp1252High)) : '?');
        // A surrogate pair is one character: one '?'.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < len && data[i + 1] >= 0xDC00 && data[i + 1] <= 0xDFFF) ++i;
    }
    return out;
}

// UTF-8 is converted here rather than through iconv: file names, logs and
// the registry convert it all the time, and iconv loads its module for it
// at a program's start. The rules are iconv's: a byte that does not begin a
// whole well-formed sequence (no overlong form, no surrogate, nothing past
// U+10FFFF) is the error, and so is a lone surrogate in UTF-16.
size_t Utf8Sequence(const uint8_t* s, size_t left, char32_t* out) {
    const uint8_t b = s[0];
    if (b < 0x80) {
        *out = b;
        return 1;
    }
    size_t n;
    char32_t c, least;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2, c = b & 0x1F, least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3, c = b & 0x0F, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4, c = b & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (left < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (s[i] & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    *out = c;
    return n;
}

std::u16string Utf8ToUtf16(const char* data, size_t len) {
    std::u16string out;
    out.reserve(len);
    const auto* s = reinterpret_cast<const uint8_t*>(data);
    for (size_t i = 0; i < len;) {
        char32_t c;
        const size_t n = Utf8Sequence(s + i, len - i, &c);
        if (n == 0) {
            out.push_back(u'\uFFFD');  // one for each byte that begins nothing
            ++i;
            continue;
        }
        i += n;
        if (c < 0x10000) {
            out.push_back(char16_t(c));
        } else {
            c -= 0x10000;
            out.push_back(char16_t(0xD800 + (c >> 10)));
            out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        }
    }
    return out;
}

std::string Utf16ToUtf8(const char16_t* data, size_t len) {
    std::string out;
    out.reserve(len);
    for (size_t i = 0; i < len; ++i) {
        char32_t c = data[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && i + 1 < len && data[i + 1] >= 0xDC00 && data[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (data[++i] - 0xDC00);
            } else {
                out.push_back('?');  // a lone surrogate
                continue;
            }
        }
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

}  // namespace

std::string CodePageName(uint32_t codePage) {
    if (codePage == CP_ACP) return "CP1252";
    if (codePage == CP_UTF8) return "UTF-8";
    return "CP" + std::to_string(codePage);
}

std::u16string BytesToWide(uint32_t codePage, const char* data, size_t len, bool precompose) {
    std::u16string out;
    if (!data || len == 0) return out;
    if (IsCp1252(codePage) || codePage == CP_UTF8) {
        out = codePage == CP_UTF8 ? Utf8ToUtf16(data, len) : Cp1252ToWide(data, len);
        return precompose ? Compose(std::move(out)) : out;
    }
    iconv_t cd = GetConverter("UTF-16LE", CodePageName(codePage));
    if (cd == reinterpret_cast<iconv_t>(-1)) return out;
    out.reserve(len);
    char16_t buf[512];
    char* in = const_cast<char*>(data);
    size_t inLeft = len;
    while (inLeft > 0) {
        char* o = reinterpret_cast<char*>(buf);
        size_t oLeft = sizeof(buf);
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, (sizeof(buf) - oLeft) / sizeof(char16_t));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            // EILSEQ or a truncated sequence at the end: one byte becomes U+FFFD.
            out.push_back(u'\uFFFD');
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return precompose ? Compose(std::move(out)) : out;
}

std::string WideToBytes(uint32_t codePage, const char16_t* data, size_t len, bool compositeCheck) {
    std::string out;
    if (!data || len == 0) return out;
    std::u16string composed;
    if (compositeCheck && NeedsComposition(data, len)) {
        composed = Compose(std::u16string(data, len));
        data = composed.data();
        len = composed.size();
    }
    if (IsCp1252(codePage)) return WideToCp1252(data, len);
    if (codePage == CP_UTF8) return Utf16ToUtf8(data, len);
    iconv_t cd = GetConverter(CodePageName(codePage), "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return out;
    out.reserve(len);
    char buf[1024];
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(data));
    size_t inLeft = len * sizeof(char16_t);
    while (inLeft >= sizeof(char16_t)) {
        char* o = buf;
        size_t oLeft = sizeof(buf);
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, sizeof(buf) - oLeft);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            // Unencodable or a lone surrogate: the character becomes '?'.
            char16_t c = *reinterpret_cast<const char16_t*>(in);
            size_t skip = sizeof(char16_t);
            if (c >= 0xD800 && c <= 0xDBFF && inLeft >= 2 * sizeof(char16_t)) {
                char16_t d = *reinterpret_cast<const char16_t*>(in + sizeof(char16_t));
                if (d >= 0xDC00 && d <= 0xDFFF) skip = 2 * sizeof(char16_t);
            }
            out.push_back('?');
            in += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

namespace {
bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }
}  // namespace

char16_t ToUpper(char16_t c) { return c < 0x80 ? AsciiUpper(c) : unicode::Get().toUpper(c); }
bool IsLetter(char16_t c) { return c < 0x80 ? IsAsciiLetter(c) : unicode::Get().isLetter(c); }
bool IsDigit(char16_t c) { return c < 0x80 ? IsAsciiDigit(c) : unicode::Get().isDigit(c); }

namespace unicode {
namespace {

// What is answered when the helper cannot be loaded: ASCII rules only.
constexpr Tables kAsciiOnly{
    [](std::u16string_view text) { return std::u16string(text); },
    &AsciiUpper,
    &IsAsciiLetter,
    &IsAsciiDigit,
    [](char32_t c) { return c >= U'A' && c <= U'Z' ? char32_t(c + 32) : c; },
};

const Tables* Load() {
    auto* tables = reinterpret_cast<decltype(&orvade_unicode_tables)>(plat::loader::LoadBaseHelper(
        "liborvade_unicode.so", "orvade_unicode_tables", "characters outside ASCII are taken by ASCII rules"));
    return tables ? tables() : nullptr;
}

}  // namespace

const Tables& Get() {
    static const Tables* tables = Load();
    return tables ? *tables : kAsciiOnly;
}

}  // namespace unicode

}  // namespace plat::text

int MultiByteToWideChar(uint32_t codePage, uint32_t flags, const char* src, int srcLen,
                        char16_t* dst, int dstLen) {
    if (!src || dstLen < 0 || srcLen < -1) return 0;
    size_t n = srcLen == -1 ? std::char_traits<char>::length(src) + 1 : static_cast<size_t>(srcLen);
    std::u16string w = plat::text::BytesToWide(codePage, src, n, (flags & MB_PRECOMPOSED) != 0);
    if (dstLen == 0) return static_cast<int>(w.size());
    if (w.size() > static_cast<size_t>(dstLen)) return 0;
    std::char_traits<char16_t>::copy(dst, w.data(), w.size());
    return static_cast<int>(w.size());
}

int WideCharToMultiByte(uint32_t codePage, uint32_t flags, const char16_t* src, int srcLen,
                        char* dst, int dstLen) {
    if (!src || dstLen < 0 || srcLen < -1) return 0;
    size_t n = srcLen == -1 ? plat::text::WideLen(src) + 1 : static_cast<size_t>(srcLen);
    std::string b = plat::text::WideToBytes(codePage, src, n, (flags & WC_COMPOSITECHECK) != 0);
    if (dstLen == 0) return static_cast<int>(b.size());
    if (b.size() > static_cast<size_t>(dstLen)) return 0;
    std::char_traits<char>::copy(dst, b.data(), b.size());
    return static_cast<int>(b.size());
}
