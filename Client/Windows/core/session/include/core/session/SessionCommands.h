// The commands that manage the session's link: the command delimiter, Ping,
// and the terminal information (GETTERMINFO, which also switches the
// framing mode, and SETTERMINFO). MODESELECT belongs to the input, and
// Disconnect, which ends the whole session, to the core.
#pragma once

#include <cstdint>

#include "common/Packet.h"
#include "core/hooks/CoreHooks.h"
#include "core/session/CommandTable.h"
#include "core/session/ReplyChannel.h"
#include "core/session/ScreenModel.h"
#include "core/session/SessionSettings.h"

// What the session commands change of the link, and the terminal id they
// report. The core implements it.
class ISessionLink {
public:
    virtual ~ISessionLink() = default;
    // Both take effect for what follows, with a new reply writer.
    virtual void SetCommandDelimiter(uint8_t delimiter) = 0;
    virtual void SetFramingMode(int32_t mode) = 0;
    virtual int32_t TerminalId() = 0;
};

class CSessionCommands {
public:
    // devices: the core's hook, which may be replaced at any time. All outlive this.
    CSessionCommands(IReplyChannel& replies, ISessionLink& link, const CSessionSettings& settings,
                     const CScreenModel& screen, ICoreDevices* const& devices)
        : m_replies(replies), m_link(link), m_settings(settings), m_screen(screen), m_devices(devices) {}
    CSessionCommands(const CSessionCommands&) = delete;
    CSessionCommands& operator=(const CSessionCommands&) = delete;

    void Register(CCommandTable& table);

private:
    // The handlers, reached through the table only; the cursor is on the
    // command's first field.
    int SetAltPacketDelimiter(CPacket* pkt, uint8_t code);
    int Ping(CPacket* pkt, uint8_t code);
    int GETTERMINFO(CPacket* pkt, uint8_t code);
    int SETTERMINFO(CPacket* pkt, uint8_t code);

    IReplyChannel& m_replies;
    ISessionLink& m_link;
    const CSessionSettings& m_settings;
    const CScreenModel& m_screen;
    ICoreDevices* const& m_devices;
};
