// The RFID command: the host identifies tags, lists the last ones seen, gets
// and sets reader properties and reads and writes tags through the RFID
// library. Blocks the library returns pass to the host unchanged.
#pragma once

#include <cstdint>
#include <string>

#include "common/Packet.h"
#include "core/hooks/CoreHooks.h"
#include "core/session/CommandTable.h"
#include "core/session/ReplyChannel.h"

class CRfidCommands {
public:
    // devices: the core's hook, which may be replaced at any time; it outlives this.
    CRfidCommands(IReplyChannel& replies, ICoreDevices* const& devices) : m_replies(replies), m_devices(devices) {}
    CRfidCommands(const CRfidCommands&) = delete;
    CRfidCommands& operator=(const CRfidCommands&) = delete;

    void Register(CCommandTable& table);

private:
    // The handlers, reached through the table only; the cursor is on the
    // command's first field.
    int RfidEvent(CPacket* pkt, uint8_t code);

    void Identify(bool lastList);
    // name: the property's name; argument: NAME=VALUE.
    void GetProperty(const std::string& name);
    void SetProperty(const std::string& argument);
    void ReadOrWrite(const CPacket& pkt, bool write);
    // 'r' FD, the prefix, then the block (if any).
    void SendBlock(const char* prefix, const uint8_t* block, int32_t length);

    IReplyChannel& m_replies;
    ICoreDevices* const& m_devices;
};
