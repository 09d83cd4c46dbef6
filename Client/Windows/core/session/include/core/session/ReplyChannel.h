// What a part of the session core needs to answer the host: the shared
// reply writer, writers of its own size, and sending. The core implements it.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "common/PacketBuffer.h"

class IReplyChannel {
public:
    virtual ~IReplyChannel() = default;
    // The shared writer, reset by whoever fills it; null when memory ran out.
    virtual CPacketBuffer* Writer() = 0;
    // A writer of that capacity in the session's framing mode; null when memory runs out.
    virtual std::unique_ptr<CPacketBuffer> NewWriter(int32_t capacity) = 0;
    // The capacity of the shared writer (the largest chunk a host may send).
    virtual int32_t WriterCapacity() const = 0;
    virtual int SendReply(const CPacketBuffer& writer) = 0;
    // One part of a reply sent in turn, the last part ending it.
    virtual int SendReplyPart(const CPacketBuffer& writer, bool last) = 0;
    // A reply whose first parts went out cannot be finished: nothing more is
    // sent and the session ends, so the host never takes the start of the
    // reply for the whole of it.
    virtual void AbandonReply() = 0;
    virtual int SendIntReply(uint8_t code, int32_t number) = 0;
    virtual int SendTextReply(uint8_t code, std::u16string_view text) = 0;
};
