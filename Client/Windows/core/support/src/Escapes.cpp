#include "core/support/Escapes.h"

#include <cstddef>
#include <string>

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

