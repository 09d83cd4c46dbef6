// The commands that manage the session's link: delimiter, Ping and the
// terminal information.
#include <algorithm>

#include "core/session/SessionCommands.h"

#include "core/session/HostFormats.h"
#include "core/support/LogFile.h"
#include "platform/Clock.h"
#include "platform/DeviceFs.h"

int CSessionCommands::SetAltPacketDelimiter(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "SetAltPacketDelimiter");
    const uint32_t value = pkt->GetULong(255);
    m_link.SetCommandDelimiter(static_cast<uint8_t>(value & 0xFF));
    return 0;
}

int CSessionCommands::Ping(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "Ping");
    CPacketBuffer* writer = m_replies.Writer();
    if (!writer) return 0;
    writer->Reset();
    writer->AppendByte('A').EndField().AppendBytes(pkt->GetCursor(), pkt->BytesLeft());
    m_replies.SendReply(*writer);
    return 0;
}

int CSessionCommands::GETTERMINFO(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "GETTERMINFO");
    const int32_t mode = std::clamp(pkt->GetInt(0), 0, 1);
    CPacketBuffer* writer = m_replies.Writer();
    if (!writer) return 0;

    int32_t mainBattery = 0;
    int32_t backupBattery = 0;
    FileUtil::GetPowerStatus(&mainBattery, &backupBattery);
    // The free storage is all that is free, not only what this user may take.
    uint64_t freeBytes = 0;
    if (!plat::fs::GetDiskFreeSpace(u"\\", nullptr, nullptr, &freeBytes)) freeBytes = 0;
    const CoreProperties& props = m_settings.Properties();
    const std::u16string peer = props.peerAddress.empty() ? u"0.0.0.0" : props.peerAddress;

    CPacketBuffer& w = *writer;
    w.Reset();
    w.AppendByte('B').EndField();
    w.AppendInt(m_link.TerminalId()).EndSubField();
    w.AppendInt(m_screen.Columns()).EndSubField();
    w.AppendInt(m_screen.Rows()).EndSubField();
    w.AppendInt(mainBattery).EndSubField();
    w.AppendInt(backupBattery).EndSubField();
    w.AppendInt(m_devices->CallDevice(DeviceFunction::GetKeyBoardState, 0)).EndSubField();
    w.AppendInt(m_devices->CallDevice(DeviceFunction::GetKeyTimeout, 0)).EndSubField();
    w.AppendInt(m_devices->CallDevice(DeviceFunction::GetBackLightTime, 0)).EndSubField();
    w.AppendInt(0).EndSubField();
    w.AppendInt(0).EndSubField();
    w.AppendInt(7).EndSubField();
    w.AppendWide(peer.c_str()).EndSubField();
    w.AppendWide(props.clientVersion.c_str()).EndSubField();
    w.AppendInt(FileUtil::ClampByteCount(freeBytes)).EndSubField();
    w.AppendInt(FileUtil::FreeMemory()).EndSubField();
    w.AppendString("_").EndSubField();
    w.AppendInt(0).EndSubField();
    w.AppendInt(m_screen.ClientWidth()).EndSubField();
    w.AppendInt(m_screen.ClientHeight()).EndSubField();
    if (mode > 0) w.AppendInt(mode).EndSubField();
    m_replies.SendReply(w);

    // The reply went out in the old mode; from here both directions use the new one.
    m_link.SetFramingMode(mode);
    return 0;
}

int CSessionCommands::SETTERMINFO(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "SETTERMINFO");
    for (int i = 0; i < 5; ++i) pkt->NextSubField();
    const int32_t keyboardState = pkt->GetInt(-1);
    pkt->NextSubField();
    const int32_t keyTimeout = pkt->GetInt(-1);
    pkt->NextSubField();
    const int32_t backlightTime = pkt->GetInt(-1);
    pkt->NextSubField();
    for (int i = 0; i < 9; ++i) pkt->NextSubField();
    (void)pkt->GetInt(0);  // the "_" position; not used
    if (m_devices->HasDeviceControl()) {
        m_devices->CallDevice(DeviceFunction::SetKeyBoardState, keyboardState);
        m_devices->CallDevice(DeviceFunction::SetKeyTimeout, keyTimeout);
        m_devices->CallDevice(DeviceFunction::SetBackLightTime, backlightTime);
    }
    return 0;
}

void CSessionCommands::Register(CCommandTable& table) {
    table.Register<&CSessionCommands::SetAltPacketDelimiter>(cmd::kSetAltPacketDelimiter, *this);
    table.Register<&CSessionCommands::Ping>(cmd::kPing, *this, ErrorAnswer::Text());
    table.Register<&CSessionCommands::GETTERMINFO>(cmd::kGETTERMINFO, *this, ErrorAnswer::Number(0));
    table.Register<&CSessionCommands::SETTERMINFO>(cmd::kSETTERMINFO, *this);
}
