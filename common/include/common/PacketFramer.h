// Segment framing between the host byte stream and whole packets.
//   STX, length, ETX, data, ETB (last segment) or ETX (more follow)
// Mode 0: one binary length byte, at most 100 payload bytes sent a segment.
// Mode 1: the length in decimal digits, at most 4096 sent a segment, UTF-8 text.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "common/Packet.h"
#include "common/PacketBuffer.h"

constexpr uint8_t FRAME_STX = 0x02;
constexpr uint8_t FRAME_ETX = 0x03;
constexpr uint8_t FRAME_ETB = 0x17;

// Receives one outgoing segment as pieces {header, data, trailer}.
using FramerSendCallback = void (*)(void* context, int pieceCount, const uint8_t* const* pieces,
                                    const int32_t* lengths);

// Why a packet was discarded at its ETB instead of being handed out.
enum class FramerDiscard { kNoMemory, kTooLong };
// Told once a packet, when its first byte is discarded; received is the packet's size so far.
using FramerDiscardCallback = void (*)(void* context, FramerDiscard reason, int64_t received);

class CPacketFramer {
public:
    // Where the receiver stands in the stream.
    enum class State {
        Hunting,     // looking for STX
        Length,      // reading the length (a binary byte, or decimal digits up to ETX)
        HeaderEnd,   // mode 0: expecting the ETX after the length byte
        Data,        // reading the segment's data, then its trailer
        Delivered,   // a packet was handed back; its bytes go at the next Parse
    };

    static constexpr int32_t kGrowStep = 4096;
    static constexpr int32_t kMode0Chunk = 100;
    static constexpr int32_t kMode1Chunk = 4096;
    static constexpr int kMaxLengthDigits = 9;
    // The longest packet assembled, as long as the largest file a host may store.
    static constexpr int32_t kMaxPacket = 64 * 1024 * 1024;
    // An assembly buffer grown past this is given back once its packet is
    // done: one large file transfer does not keep its memory for the session.
    static constexpr int32_t kKeepCapacity = 256 * 1024;
    // A packet grown past this is a file's: see Grow.
    static constexpr int32_t kLargePacket = 4 * 1024 * 1024;

    CPacketFramer(FramerSendCallback send, void* context, uint32_t codePage);
    virtual ~CPacketFramer();

    CPacketFramer(const CPacketFramer&) = delete;
    CPacketFramer& operator=(const CPacketFramer&) = delete;

    // Returns a packet when one is complete, else null; position moves to just
    // after the ETB, or to the end of the input. The packet is the framer's own
    // object, handed out again for every packet, and reads the assembly buffer
    // in place: it is valid until the next Parse, Reset or the framer's end.
    CPacket* Parse(const uint8_t* input, int32_t& position, int32_t length);
    void Send(const CPacketBuffer& writer) { Send(writer, true); }
    // One part of a packet sent in turn: every segment of a part that does
    // not end the packet ends with ETX. A part that is a whole number of
    // segments (a multiple of 102400 bytes fits both modes) gives the bytes
    // Send gives for the packet whole.
    void Send(const CPacketBuffer& writer, bool endsPacket);
    // The delivered packet is done with: its bytes go now rather than at the
    // next Parse, and a buffer grown past kKeepCapacity shrinks back. The
    // packet Parse handed out is no longer valid.
    void ReleasePacket();

    void SetDiscardCallback(FramerDiscardCallback callback, void* context) {
        m_discard = callback;
        m_discardContext = context;
    }
    void SetMode(int32_t mode) { m_mode = mode; }
    void SetCommandDelimiter(uint8_t delimiter) { m_delimiter = delimiter; }
    void SetCodePage(uint32_t codePage) { m_codePage = codePage; }
    int32_t GetMode() const { return m_mode; }
    uint8_t GetCommandDelimiter() const { return m_delimiter; }
    uint32_t GetCodePage() const { return m_codePage; }
    void Reset();

    int32_t GetWriterCapacity() const { return 4096; }
    // Null when memory runs out.
    std::unique_ptr<CPacketBuffer> NewWriter(int32_t capacity) const;
    std::unique_ptr<CPacketBuffer> NewDefaultWriter() const { return NewWriter(GetWriterCapacity()); }
    std::unique_ptr<CPacket> NewPacket(const uint8_t* bytes, int32_t length) const;
    std::unique_ptr<CPacket> PacketFromWriter(const CPacketBuffer* writer) const;

    int32_t GetCapacity() const { return m_capacity; }
    int32_t GetUsed() const { return m_used; }
    State GetState() const { return m_state; }

protected:
    // The assembly buffer made larger, its first used bytes kept; a null
    // result is a growth failure, which leaves the buffer as it was.
    virtual uint8_t* ResizeAssembly(uint8_t* buffer, int32_t used, int32_t size);

private:
    void AppendChunk(const uint8_t* chunk, int32_t count) {
        // The common case inline: room enough and nothing being dropped.
        if (count > 0 && !m_discarding && count <= m_capacity - m_used) {
            CopyBytes(m_buffer + m_used, chunk, count);
            m_used += count;
        } else {
            AppendSlow(chunk, count);
        }
    }
    void AppendSlow(const uint8_t* chunk, int32_t count);
    // memcpy, with the short copies of mode-0 segments done inline.
    static void CopyBytes(uint8_t* to, const uint8_t* from, int32_t count) {
        if (count > 128) {
            std::memcpy(to, from, static_cast<size_t>(count));
        } else if (count >= 16) {
            // 16-byte blocks, the last one overlapping the one before.
            for (int32_t i = 0; i + 16 < count; i += 16) std::memcpy(to + i, from + i, 16);
            std::memcpy(to + count - 16, from + count - 16, 16);
        } else {
            for (int32_t i = 0; i < count; ++i) to[i] = from[i];
        }
    }
    bool ReadHeader(const uint8_t* input, int32_t& position, int32_t length);
    CPacket* EndSegment(uint8_t trailer);
    CPacket* TakeWholeSegments(const uint8_t* input, int32_t& position, int32_t length);
    // segmentEnd: where the segment being received ends, its length known.
    bool Grow(int64_t needed, int64_t segmentEnd);
    void ShrinkIfLarge();
    void Discard(FramerDiscard reason, int64_t received);

    int32_t m_mode = 0;
    uint8_t m_delimiter = PKT_DEFAULT_DELIMITER;
    FramerSendCallback m_send;
    uint8_t m_header[63] = {};
    uint8_t m_trailer = 0;
    int32_t m_capacity = 0;
    uint8_t* m_buffer = nullptr;
    int32_t m_used = 0;
    State m_state = State::Hunting;
    int32_t m_expected = 0;
    int32_t m_received = 0;
    int m_digits = 0;
    // The packet being received is dropped: its bytes are skipped to its ETB.
    bool m_discarding = false;
    FramerDiscardCallback m_discard = nullptr;
    void* m_discardContext = nullptr;
    void* m_context;
    uint32_t m_codePage;
    // The one packet object handed out by Parse.
    CPacket m_packet{0, PKT_DEFAULT_DELIMITER, nullptr, 0, 0};
};
