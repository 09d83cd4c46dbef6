#include "Helpers.h"

#include <algorithm>
#include <iterator>

#include "platform/Message.h"

namespace {

int HexValue(uint32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    return -1;
}

int ControlFor(uint32_t c) {
    switch (c) {
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        default: return -1;
    }
}

// The shared escape machine. maxDigits 0 lets hex digits run on; otherwise
// the escape ends after that many and the next character is kept. The value
// accumulates unsigned and only its low bits are written, so long digit runs
// are harmless.
template <typename Ch, typename Out>
size_t Unescape(const Ch* in, size_t length, Out* out, uint32_t valueMask, int maxDigits) {
    size_t w = 0;
    bool escape = false;
    int digits = 0;
    uint32_t value = 0;
    for (size_t r = 0; r < length; ++r) {
        uint32_t c = static_cast<uint32_t>(in[r]);
        if (!escape) {
            if (c == '\\') {
                escape = true;
                digits = 0;
                value = 0;
            } else {
                out[w++] = static_cast<Out>(c);
            }
            continue;
        }
        int hex = HexValue(c);
        if (hex >= 0) {
            value = value * 16 + static_cast<uint32_t>(hex);
            if (++digits == maxDigits) {
                out[w++] = static_cast<Out>(value & valueMask);
                escape = false;
            }
            continue;
        }
        escape = false;
        int control = ControlFor(c);
        if (control >= 0) {
            out[w++] = static_cast<Out>(control);
        } else if (c == '\\' && digits == 0) {
            out[w++] = static_cast<Out>('\\');
        } else {
            out[w++] = static_cast<Out>(value & valueMask);  // the ending character is dropped
        }
    }
    if (escape) out[w++] = static_cast<Out>(value & valueMask);
    return w;
}

}  // namespace

void UnescapeBytes(uint8_t* bytes, int32_t* length) {
    if (!bytes || !length || *length <= 0) return;
    *length = static_cast<int32_t>(Unescape(bytes, static_cast<size_t>(*length), bytes, 0xFFu, 0));
}

void UnescapeWide(char16_t* text) {
    if (!text) return;
    size_t length = std::char_traits<char16_t>::length(text);
    size_t n = Unescape(text, length, text, 0xFFFFu, 2);
    text[n] = u'\0';
}

int PumpMessages() {
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_NOREMOVE)) {
        if (msg.message == WM_QUIT) return 1;
        if (!PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) return 0;
        if (msg.message == WM_QUIT) {  // arrived between the two looks: leave it queued
            PostQuitMessage(static_cast<int>(msg.wParam));
            return 1;
        }
        if (msg.message == WM_TIMER || msg.message == WM_SYSTIMER) continue;
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    return 0;
}

void SplitPath(std::u16string_view path, std::u16string* drive, std::u16string* directory, std::u16string* name,
               std::u16string* extension) {
    size_t colon = path.find(u':');
    size_t start = colon == std::u16string_view::npos ? 0 : colon + 1;
    size_t slash = path.rfind(u'\\');
    size_t nameStart = (slash == std::u16string_view::npos || slash < start) ? start : slash + 1;
    // A dot in a directory name is no extension.
    size_t dot = path.rfind(u'.');
    if (dot != std::u16string_view::npos && dot < nameStart) dot = std::u16string_view::npos;
    size_t nameEnd = dot == std::u16string_view::npos ? path.size() : dot;
    if (drive) drive->assign(path.substr(0, start));
    if (directory) directory->assign(path.substr(start, nameStart - start));
    if (name) name->assign(path.substr(nameStart, nameEnd - nameStart));
    if (extension) extension->assign(dot == std::u16string_view::npos ? std::u16string_view() : path.substr(dot));
}

namespace {

struct Range {
    char32_t first;
    char32_t last;
};

// Non-spacing and enclosing marks and format characters (Unicode 4.0), as in
// the public-domain wcwidth definition. Sorted, for binary search.
constexpr Range kCombining[] = {
    {0x0300, 0x0357},   {0x035D, 0x036F},   {0x0483, 0x0486},   {0x0488, 0x0489},   {0x0591, 0x05A1},
    {0x05A3, 0x05B9},   {0x05BB, 0x05BD},   {0x05BF, 0x05BF},   {0x05C1, 0x05C2},   {0x05C4, 0x05C4},
    {0x0600, 0x0603},   {0x0610, 0x0615},   {0x064B, 0x0658},   {0x0670, 0x0670},   {0x06D6, 0x06E4},
    {0x06E7, 0x06E8},   {0x06EA, 0x06ED},   {0x070F, 0x070F},   {0x0711, 0x0711},   {0x0730, 0x074A},
    {0x07A6, 0x07B0},   {0x0901, 0x0902},   {0x093C, 0x093C},   {0x0941, 0x0948},   {0x094D, 0x094D},
    {0x0951, 0x0954},   {0x0962, 0x0963},   {0x0981, 0x0981},   {0x09BC, 0x09BC},   {0x09C1, 0x09C4},
    {0x09CD, 0x09CD},   {0x09E2, 0x09E3},   {0x0A01, 0x0A02},   {0x0A3C, 0x0A3C},   {0x0A41, 0x0A42},
    {0x0A47, 0x0A48},   {0x0A4B, 0x0A4D},   {0x0A70, 0x0A71},   {0x0A81, 0x0A82},   {0x0ABC, 0x0ABC},
    {0x0AC1, 0x0AC5},   {0x0AC7, 0x0AC8},   {0x0ACD, 0x0ACD},   {0x0AE2, 0x0AE3},   {0x0B01, 0x0B01},
    {0x0B3C, 0x0B3C},   {0x0B3F, 0x0B3F},   {0x0B41, 0x0B43},   {0x0B4D, 0x0B4D},   {0x0B56, 0x0B56},
    {0x0B82, 0x0B82},   {0x0BC0, 0x0BC0},   {0x0BCD, 0x0BCD},   {0x0C3E, 0x0C40},   {0x0C46, 0x0C48},
    {0x0C4A, 0x0C4D},   {0x0C55, 0x0C56},   {0x0CBC, 0x0CBC},   {0x0CBF, 0x0CBF},   {0x0CC6, 0x0CC6},
    {0x0CCC, 0x0CCD},   {0x0D41, 0x0D43},   {0x0D4D, 0x0D4D},   {0x0DCA, 0x0DCA},   {0x0DD2, 0x0DD4},
    {0x0DD6, 0x0DD6},   {0x0E31, 0x0E31},   {0x0E34, 0x0E3A},   {0x0E47, 0x0E4E},   {0x0EB1, 0x0EB1},
    {0x0EB4, 0x0EB9},   {0x0EBB, 0x0EBC},   {0x0EC8, 0x0ECD},   {0x0F18, 0x0F19},   {0x0F35, 0x0F35},
    {0x0F37, 0x0F37},   {0x0F39, 0x0F39},   {0x0F71, 0x0F7E},   {0x0F80, 0x0F84},   {0x0F86, 0x0F87},
    {0x0F90, 0x0F97},   {0x0F99, 0x0FBC},   {0x0FC6, 0x0FC6},   {0x102D, 0x1030},   {0x1032, 0x1032},
    {0x1036, 0x1037},   {0x1039, 0x1039},   {0x1058, 0x1059},   {0x1160, 0x11FF},   {0x1712, 0x1714},
    {0x1732, 0x1734},   {0x1752, 0x1753},   {0x1772, 0x1773},   {0x17B4, 0x17B5},   {0x17B7, 0x17BD},
    {0x17C6, 0x17C6},   {0x17C9, 0x17D3},   {0x17DD, 0x17DD},   {0x180B, 0x180D},   {0x18A9, 0x18A9},
    {0x1920, 0x1922},   {0x1927, 0x1928},   {0x1932, 0x1932},   {0x1939, 0x193B},   {0x200B, 0x200F},
    {0x202A, 0x202E},   {0x2060, 0x2063},   {0x206A, 0x206F},   {0x20D0, 0x20EA},   {0x302A, 0x302F},
    {0x3099, 0x309A},   {0xFB1E, 0xFB1E},   {0xFE00, 0xFE0F},   {0xFE20, 0xFE23},   {0xFEFF, 0xFEFF},
    {0xFFF9, 0xFFFB},   {0x1D167, 0x1D169}, {0x1D173, 0x1D182}, {0x1D185, 0x1D18B}, {0x1D1AA, 0x1D1AD},
    {0xE0001, 0xE0001}, {0xE0020, 0xE007F}, {0xE0100, 0xE01EF},
};
static_assert(std::size(kCombining) == 123);

bool IsCombining(char32_t c) {
    const Range* end = std::end(kCombining);
    const Range* it = std::lower_bound(std::begin(kCombining), end, c,
                                       [](const Range& r, char32_t v) { return r.last < v; });
    return it != end && it->first <= c;
}

}  // namespace

int CharDisplayWidth(char16_t c) {
    if (c == 0) return 0;
    if (c < 32 || (c >= 0x7F && c < 0xA0)) return -1;
    if (c < 0x7F) return 1;
    if (IsCombining(c)) return 0;
    bool wide = (c >= 0x1100 && c <= 0x115F) || c == 0x2329 || c == 0x232A ||
                (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) || (c >= 0xAC00 && c <= 0xD7A3) ||
                (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE6F) || (c >= 0xFF00 && c <= 0xFF60) ||
                (c >= 0xFFE0 && c <= 0xFFE6);
    return wide ? 2 : 1;
}
