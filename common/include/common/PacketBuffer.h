// Writing side of the field codec: a fixed-capacity reply payload.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class CPacketBuffer {
public:
    CPacketBuffer(int32_t mode, uint8_t commandDelimiter, int32_t capacity, uint32_t codePage);
    virtual ~CPacketBuffer();

    CPacketBuffer(const CPacketBuffer&) = delete;
    CPacketBuffer& operator=(const CPacketBuffer&) = delete;

    // An append of n bytes is made only when used + n stays below the
    // capacity; otherwise nothing of it is written. All appends chain.
    CPacketBuffer& AppendBytes(const void* bytes, int32_t count);
    CPacketBuffer& AppendByte(uint8_t byte);
    CPacketBuffer& AppendString(const char* text);
    CPacketBuffer& AppendInt(int32_t value);
    CPacketBuffer& AppendLong(int32_t value);
    CPacketBuffer& AppendULong(uint32_t value);
    CPacketBuffer& AppendWide(const char16_t* text);
    // The bytes AppendWide writes for a text: the code page (composed) in
    // mode 0, UTF-8 in mode 1. Empty when the conversion fails.
    std::string EncodeWide(std::u16string_view text) const;
    uint8_t* Reserve(int32_t count);

    CPacketBuffer& EndRecord() { return AppendByte(0xFE); }
    CPacketBuffer& EndField() { return AppendByte(0xFD); }
    CPacketBuffer& EndSubField() { return AppendByte(0xFC); }
    CPacketBuffer& EndItem() { return AppendByte(0xFB); }

    void Reset() { m_used = 0; }
    // Drops what was appended after the given length (a record that did not fit whole).
    void Truncate(int32_t length) {
        if (length >= 0 && length < m_used) m_used = length;
    }
    int32_t GetLength() const { return m_used; }
    const uint8_t* GetData() const { return m_data; }
    int32_t GetCapacity() const { return m_capacity; }
    void SetCodePage(uint32_t codePage) { m_codePage = codePage; }
    uint32_t GetCodePage() const { return m_codePage; }
    int32_t GetMode() const { return m_mode; }
    uint8_t GetCommandDelimiter() const { return m_delimiter; }

private:
    bool Fits(int32_t count) const { return count >= 0 && m_data && count < m_capacity - m_used; }

    int32_t m_mode;
    uint8_t m_delimiter;
    uint8_t* m_data;
    int32_t m_capacity;
    int32_t m_used = 0;
    uint32_t m_codePage;
};
