#include "common/Packet.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/Text.h"

namespace {

int64_t ParseDecimal(const char* text) {
    // 13 characters at most: a 64-bit value never overflows.
    return std::strtoll(text, nullptr, 10);
}

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Index of the first byte in [from, to) that ends a field (0xFB and above, or
// the delimiter), or `to`. Large payloads are scanned 16 bytes at a time.
int32_t FindFieldEnd(const uint8_t* data, int32_t from, int32_t to, uint8_t delimiter) {
    int32_t i = from;
#ifdef __SSE2__
    const __m128i low = _mm_set1_epi8(static_cast<char>(PKT_END_ITEM));
    const __m128i delim = _mm_set1_epi8(static_cast<char>(delimiter));
    for (; i + 16 <= to; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        __m128i separator = _mm_cmpeq_epi8(_mm_max_epu8(v, low), v);  // v >= 0xFB
        int mask = _mm_movemask_epi8(_mm_or_si128(separator, _mm_cmpeq_epi8(v, delim)));
        if (mask) return i + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    while (i < to && data[i] < PKT_END_ITEM && data[i] != delimiter) ++i;
    return i;
}

}  // namespace

CPacket::CPacket(int32_t mode, uint8_t commandDelimiter, const uint8_t* data, int32_t length, uint32_t codePage)
    : m_delimiter(commandDelimiter),
      m_data(data),
      m_length(data && length > 0 ? length : 0),
      m_mode(mode),
      m_codePage(codePage) {}

void CPacket::Reset(int32_t mode, uint8_t commandDelimiter, const uint8_t* data, int32_t length, uint32_t codePage) {
    m_fieldLength = kUnmeasured;
    m_delimiter = commandDelimiter;
    m_data = data;
    m_length = data && length > 0 ? length : 0;
    m_mode = mode;
    m_cursor = 0;
    m_codePage = codePage;
}

void CPacket::MeasureField() const {
    m_fieldLength = FindFieldEnd(m_data, m_cursor, m_length, m_delimiter) - m_cursor;
}

int32_t CPacket::CommandLength() const {
    if (m_cursor >= m_length) return 0;
    const void* at = std::memchr(m_data + m_cursor, m_delimiter, static_cast<size_t>(m_length - m_cursor));
    return (at ? static_cast<int32_t>(static_cast<const uint8_t*>(at) - m_data) : m_length) - m_cursor;
}

int CPacket::PeekByte(int def) const {
    return m_cursor < m_length ? m_data[m_cursor] : def;
}

int32_t CPacket::NumberText(char (&text)[14]) const {
    if (m_cursor >= m_length) return -1;
    // Only the first 13 characters count: a long field is not measured to its end.
    int32_t n = m_fieldLength != kUnmeasured
                    ? std::min<int32_t>(FieldBytes(), 13)
                    : FindFieldEnd(m_data, m_cursor, std::min(m_length, m_cursor + 13), m_delimiter) - m_cursor;
    std::memcpy(text, m_data + m_cursor, static_cast<size_t>(n));
    text[n] = 0;
    return n;
}

int32_t CPacket::GetInt(int32_t def) const {
    char text[14];
    if (NumberText(text) <= 0) return def;
    return Clamp32(ParseDecimal(text));
}

int32_t CPacket::GetLong(int32_t def) const {
    char text[14];
    if (NumberText(text) < 0) return def;
    return Clamp32(ParseDecimal(text));
}

uint32_t CPacket::GetULong(uint32_t def) const {
    char text[14];
    if (NumberText(text) < 0) return def;
    // A negative value is negated modulo 2^32 (-1 is 4294967295); past the
    // range either way the value saturates instead of keeping its low bits.
    const int64_t v = ParseDecimal(text);
    if (v > int64_t{UINT32_MAX} || v < -int64_t{UINT32_MAX}) return UINT32_MAX;
    return static_cast<uint32_t>(v);
}

int32_t CPacket::GetString(char* buffer, int32_t size) const {
    if (!buffer || size <= 0) return FieldBytes() + 1;
    int32_t n = std::min(FieldBytes(), size - 1);
    std::memcpy(buffer, m_data + m_cursor, static_cast<size_t>(n));
    buffer[n] = 0;
    return n + 1;
}

int32_t CPacket::GetWide(char16_t* buffer, int32_t capacity, bool wholeCommand) const {
    int32_t n = wholeCommand ? CommandLength() : FieldBytes();
    const char* src = reinterpret_cast<const char*>(m_data + m_cursor);
    std::u16string w = m_mode == 1 ? plat::text::BytesToWide(CP_UTF8, src, static_cast<size_t>(n))
                                   : plat::text::BytesToWide(m_codePage, src, static_cast<size_t>(n), true);
    if (!buffer || capacity <= 0) return static_cast<int32_t>(w.size()) + 1;
    int32_t count = std::min<int32_t>(static_cast<int32_t>(w.size()), capacity - 1);
    std::char_traits<char16_t>::copy(buffer, w.data(), static_cast<size_t>(count));
    buffer[count] = 0;
    return count;
}

int32_t CPacket::CopyRest(uint8_t* buffer, int32_t count) const {
    if (!buffer || count <= 0) return 0;
    int32_t n = std::min(count, BytesLeft());
    std::memcpy(buffer, m_data + m_cursor, static_cast<size_t>(n));
    return n;
}

void CPacket::Skip(uint8_t separator, bool toCommand) {
    // A measured length is stepped over as it stands (Advance does not measure
    // again, so it may reach past the end); an unmeasured field ends at the
    // first separator, which the search below finds anyway.
    const bool unmeasured = m_fieldLength == kUnmeasured;
    int32_t i = unmeasured ? m_cursor : std::min(m_cursor + m_fieldLength, m_length);
    m_fieldLength = kUnmeasured;
    if (toCommand) {
        // Everything up to the delimiter is passed over.
        const void* at = i < m_length ? std::memchr(m_data + i, m_delimiter, static_cast<size_t>(m_length - i)) : nullptr;
        m_cursor = at ? static_cast<int32_t>(static_cast<const uint8_t*>(at) - m_data) + 1 : m_length;
        return;
    }
    if (separator < PKT_END_ITEM) {
        // Not one of the separators: looked for byte by byte after the field.
        if (unmeasured) i = FindFieldEnd(m_data, i, m_length, m_delimiter);
        while (i < m_length) {
            const uint8_t b = m_data[i++];
            if (b == m_delimiter || (b > separator && b >= PKT_END_ITEM)) {
                --i;
                break;
            }
            if (b == separator) break;
        }
        m_cursor = i;
        return;
    }
    // Only separators and the delimiter can stop the step: jump between them.
    for (;;) {
        i = FindFieldEnd(m_data, i, m_length, m_delimiter);
        if (i >= m_length) break;
        const uint8_t b = m_data[i];
        // The command delimiter outranks every separator, whatever its value.
        if (b == m_delimiter || b > separator) break;
        ++i;
        if (b == separator) break;
    }
    m_cursor = i;
}

void CPacket::Advance(int32_t count) {
    if (count <= 0) return;
    // The length of the field being left stays what it was.
    if (m_fieldLength == kUnmeasured) MeasureField();
    m_cursor += std::min(count, BytesLeft());
}

int32_t CPacket::FieldExtent() const {
    int32_t i = std::min(m_cursor + GetFieldLength(), m_length);
    const void* at = i < m_length ? std::memchr(m_data + i, PKT_END_FIELD, static_cast<size_t>(m_length - i)) : nullptr;
    i = at ? static_cast<int32_t>(static_cast<const uint8_t*>(at) - m_data) + 1 : m_length;
    return i - m_cursor;
}

std::unique_ptr<CPacket> CPacket::CloneRest() const {
    return std::unique_ptr<CPacket>(
        new (std::nothrow) CPacket(m_mode, m_delimiter, m_data + m_cursor, BytesLeft(), m_codePage));
}
