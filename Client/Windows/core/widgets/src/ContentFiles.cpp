#include "core/widgets/ContentFiles.h"

#include <algorithm>
#include <cstdio>

#include "platform/DeviceFs.h"
#include "platform/Text.h"

std::u16string StrokeFileName(std::u16string_view label) {
    std::u16string name(label);
    if (name.find(u'.') == std::u16string::npos) name += u".PCW";
    return name;
}

bool IsHtmlAddress(std::u16string_view label) {
    const size_t n = std::min<size_t>(label.size(), 10);
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = label[i];
        if (c == u':') return i > 0;
        if (!((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))) return false;
    }
    return false;
}

std::u16string HtmlAddressPath(std::u16string_view address) {
    const size_t colon = address.find(u':');
    if (colon == std::u16string_view::npos) return {};
    std::u16string scheme(address.substr(0, colon));
    for (char16_t& c : scheme) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    if (scheme != u"file") return {};
    std::u16string path(address.substr(colon + 1));
    std::replace(path.begin(), path.end(), u'/', u'\\');
    // "file://\x", "file:///x" and "file:\x" name the device path "\x".
    const size_t start = path.find_first_not_of(u'\\');
    if (start == std::u16string::npos) return {};
    path = u"\\" + path.substr(start);
    return plat::fs::IsSafePath(path) ? path : std::u16string();
}

std::u16string HtmlPageFile(uint32_t id) {
    char name[32];
    std::snprintf(name, sizeof name, "qm$htm%02d.htm", static_cast<int32_t>(id));
    return plat::fs::TempFolder() + u"\\" + plat::text::Utf8ToWide(name);
}


std::u16string DecodeHtmlPage(const uint8_t* bytes, size_t size) {
    if (!bytes) return {};
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        std::u16string text((size - 2) / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(bytes[2 + 2 * i] | (bytes[3 + 2 * i] << 8));
        return text;
    }
    std::string_view raw(reinterpret_cast<const char*>(bytes), size);
    if (raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
    std::u16string text = plat::text::Utf8ToWide(raw);
    if (text.find(u'\xFFFD') != std::u16string::npos) text = plat::text::BytesToWide(1252, raw);
    return text;
}
