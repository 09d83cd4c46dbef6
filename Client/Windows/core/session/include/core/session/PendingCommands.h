// The command bytes whose groups are still to come: known to the dispatcher
// (so the packet policy for them holds) but answered by no one yet.
#pragma once

#include <cstdint>

#include "common/Packet.h"
#include "core/session/CommandTable.h"

class CPendingCommands {
public:
    void Register(CCommandTable& table);
    int Pending(CPacket* pkt, uint8_t code);
};
