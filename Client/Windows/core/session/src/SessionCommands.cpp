// The commands that manage the session itself: delimiter, Ping, terminal
// information, MODESELECT and Disconnect.
#include <algorithm>

#include "core/session/ClientCore.h"
#include "core/session/HostFormats.h"
#include "core/support/LogFile.h"
#include "platform/Clock.h"
#include "platform/DeviceFs.h"

int CClientCore::SetAltPacketDelimiter(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "SetAltPacketDelimiter");
    const uint32_t value = pkt->GetULong(255);
    if (m_framer) m_framer->SetCommandDelimiter(static_cast<uint8_t>(value & 0xFF));
    RenewWriter();
    return 0;
}

int CClientCore::Ping(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "Ping");
    if (!m_writer) return 0;
    m_writer->Reset();
    m_writer->AppendByte('A').EndField().AppendBytes(pkt->GetCursor(), pkt->BytesLeft());
    SendReply(*m_writer);
    return 0;
}

int CClientCore::GETTERMINFO(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "GETTERMINFO");
    const int32_t mode = std::clamp(pkt->GetInt(0), 0, 1);
    if (!m_writer) return 0;

    int32_t mainBattery = 0;
    int32_t backupBattery = 0;
    FileUtil::GetPowerStatus(&mainBattery, &backupBattery);
    // The free storage is all that is free, not only what this user may take.
    uint64_t freeBytes = 0;
    if (!plat::fs::GetDiskFreeSpace(u"\\", nullptr, nullptr, &freeBytes)) freeBytes = 0;
    const CoreProperties& props = m_settings.Properties();
    const std::u16string peer = props.peerAddress.empty() ? u"0.0.0.0" : props.peerAddress;

    CPacketBuffer& w = *m_writer;
    w.Reset();
    w.AppendByte('B').EndField();
    w.AppendInt(GetTerminalID()).EndSubField();
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
    SendReply(w);

    // The reply went out in the old mode; from here both directions use the new one.
    if (m_framer) m_framer->SetMode(mode);
    RenewWriter();
    return 0;
}

int CClientCore::SETTERMINFO(CPacket* pkt, uint8_t) {
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

int CClientCore::MODESELECT(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "MODESELECT");
    m_field.ResetText();
    m_modeSelect = static_cast<uint8_t>(pkt->GetInt(0));
    m_field.kind = InputKind::KeysAndData;
    SetCaretWanted(true);
    SendTextReply('b', u"");
    if (m_modeSelect == 0) {
        EnableReaders(false);
    } else if (m_modeSelect == MODESELECT_OPEN_INPUT) {
        EnableReaders(true);
    }
    return 0;
}

int CClientCore::Disconnect(CPacket*, uint8_t) {
    LogWrite(LOG_TRACE, "Disconnect");
    m_field.text.clear();
    m_modeSelect = 0;
    if (m_field.command != InputCommand::None) m_automation->Notify(AUTO_END_OF_INPUT, 0, 0);
    m_field.EndWait();

    if (m_dialog) {
        if (GetTickCount() - m_dialogOpenTime < 1000) {
            // A box that has just opened: the session ends with the next reply.
            m_disconnectPending = true;
            return 0;
        }
        PostMessage(m_dialog, WM_CLOSE, 0, 0);
        m_dialog = 0;
        m_dialogMode = DialogMode::None;
    }
    m_disconnectPending = false;
    ++m_sessionEnds;

    if (m_framer) {
        m_framer->SetMode(0);
        m_framer->Reset();
    }
    // The writer carries the framing mode of its text.
    RenewWriter();
    m_screen.Clear();
    m_widgets->RemoveAll();
    SendMessage(m_window, WM_CORE_SESSION_ENDED, 0, 0);
    SetBusy(false);
    m_automation->Notify(AUTO_DISCONNECT, 0, 0);
    return 0;
}
