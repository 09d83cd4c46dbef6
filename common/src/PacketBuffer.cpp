#include "common/PacketBuffer.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "platform/Text.h"

CPacketBuffer::CPacketBuffer(int32_t mode, uint8_t commandDelimiter, int32_t capacity, uint32_t codePage)
    : m_mode(mode),
      m_delimiter(commandDelimiter),
      m_data(capacity > 0 ? new (std::nothrow) uint8_t[static_cast<size_t>(capacity)] : nullptr),
      m_capacity(m_data ? capacity : 0),
      m_codePage(codePage) {}

CPacketBuffer::~CPacketBuffer() { delete[] m_data; }

CPacketBuffer& CPacketBuffer::AppendBytes(const void* bytes, int32_t count) {
    if (!bytes || !Fits(count)) return *this;
    std::memcpy(m_data + m_used, bytes, static_cast<size_t>(count));
    m_used += count;
    return *this;
}

CPacketBuffer& CPacketBuffer::AppendByte(uint8_t byte) { return AppendBytes(&byte, 1); }

CPacketBuffer& CPacketBuffer::AppendString(const char* text) {
    if (!text) return *this;
    return AppendBytes(text, static_cast<int32_t>(std::strlen(text)));
}

CPacketBuffer& CPacketBuffer::AppendInt(int32_t value) {
    char text[14];
    int n = std::snprintf(text, sizeof text, "%d", value);
    return AppendBytes(text, n);
}

CPacketBuffer& CPacketBuffer::AppendLong(int32_t value) { return AppendInt(value); }

CPacketBuffer& CPacketBuffer::AppendULong(uint32_t value) {
    char text[14];
    int n = std::snprintf(text, sizeof text, "%u", value);
    return AppendBytes(text, n);
}

std::string CPacketBuffer::EncodeWide(std::u16string_view text) const {
    return m_mode == 1 ? plat::text::WideToBytes(CP_UTF8, text) : plat::text::WideToBytes(m_codePage, text, true);
}

CPacketBuffer& CPacketBuffer::AppendWide(const char16_t* text) {
    size_t len = plat::text::WideLen(text);
    if (len == 0) return *this;
    std::string bytes = EncodeWide(std::u16string_view(text, len));
    if (bytes.empty() || bytes.size() > static_cast<size_t>(INT32_MAX)) return *this;
    return AppendBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
}

uint8_t* CPacketBuffer::Reserve(int32_t count) {
    if (!Fits(count)) return nullptr;
    uint8_t* at = m_data + m_used;
    m_used += count;
    return at;
}
