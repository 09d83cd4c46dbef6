// Reading side of the field codec: a cursor over one received packet.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>

// Separator bytes, coarsest first. The command delimiter defaults to 0xFF
// but the host may choose another byte.
constexpr uint8_t PKT_DEFAULT_DELIMITER = 0xFF;
constexpr uint8_t PKT_END_RECORD = 0xFE;
constexpr uint8_t PKT_END_FIELD = 0xFD;
constexpr uint8_t PKT_END_SUBFIELD = 0xFC;
constexpr uint8_t PKT_END_ITEM = 0xFB;

class CPacket {
public:
    // Reads bytes it does not own: they must outlive the packet.
    CPacket(int32_t mode, uint8_t commandDelimiter, const uint8_t* data, int32_t length, uint32_t codePage);
    // Points the packet at other bytes, cursor 0, as a new packet would be
    // (the framer hands out one packet object again and again).
    void Reset(int32_t mode, uint8_t commandDelimiter, const uint8_t* data, int32_t length, uint32_t codePage);
    virtual ~CPacket() = default;

    CPacket(const CPacket&) = delete;
    CPacket& operator=(const CPacket&) = delete;

    // A field's end is searched for only when its length is asked for.
    int32_t GetFieldLength() const {
        if (m_fieldLength == kUnmeasured) MeasureField();
        return m_fieldLength;
    }
    int32_t BytesLeft() const { return m_length - m_cursor; }
    const uint8_t* GetCursor() const { return m_data + m_cursor; }
    int32_t CommandLength() const;

    int PeekByte(int def) const;
    int32_t GetInt(int32_t def) const;
    int32_t GetLong(int32_t def) const;
    uint32_t GetULong(uint32_t def) const;
    int32_t GetString(char* buffer, int32_t size) const;
    int32_t GetWide(char16_t* buffer, int32_t capacity, bool wholeCommand = false) const;
    int32_t CopyRest(uint8_t* buffer, int32_t count) const;

    void NextField() { Skip(PKT_END_FIELD, false); }
    void NextSubField() { Skip(PKT_END_SUBFIELD, false); }
    void NextItem() { Skip(PKT_END_ITEM, false); }
    void NextRecord() { Skip(PKT_END_RECORD, false); }
    void NextCommand() { Skip(m_delimiter, true); }
    // The command delimiter as separator means the next command.
    void SkipTo(uint8_t separator) { Skip(separator, separator == m_delimiter); }
    void Advance(int32_t count);
    int32_t FieldExtent() const;
    // The rest of the packet from the cursor, as a packet of its own; null when memory runs out.
    std::unique_ptr<CPacket> CloneRest() const;

    int32_t GetMode() const { return m_mode; }
    uint8_t GetCommandDelimiter() const { return m_delimiter; }
    uint32_t GetCodePage() const { return m_codePage; }
    const uint8_t* GetData() const { return m_data; }
    int32_t GetLength() const { return m_length; }
    int32_t GetPosition() const { return m_cursor; }

private:
    static constexpr int32_t kUnmeasured = -1;

    void MeasureField() const;
    // The field's bytes that lie in the packet (a length kept over Advance may reach past its end).
    int32_t FieldBytes() const { return std::min(GetFieldLength(), BytesLeft()); }
    void Skip(uint8_t separator, bool toCommand);
    // Copies at most 13 characters of the field into a small buffer: how
    // many, or -1 at the end of the packet.
    int32_t NumberText(char (&text)[14]) const;

    mutable int32_t m_fieldLength = kUnmeasured;
    uint8_t m_delimiter;
    const uint8_t* m_data;
    int32_t m_length;
    int32_t m_mode;
    int32_t m_cursor = 0;
    uint32_t m_codePage;
};
