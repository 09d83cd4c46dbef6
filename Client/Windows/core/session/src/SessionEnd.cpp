// The session's end: Disconnect.
#include "core/session/ClientCore.h"
#include "core/support/LogFile.h"
#include "platform/Clock.h"
#include "platform/DeviceFs.h"

int CClientCore::Disconnect(CPacket*, uint8_t) {
    LogWrite(LOG_TRACE, "Disconnect");
    m_field.text.clear();
    m_inputState.modeSelect = 0;
    if (m_field.command != InputCommand::None) m_automation->Notify(AUTO_END_OF_INPUT, 0, 0);
    m_field.EndWait();

    if (m_box.window) {
        if (GetTickCount() - m_box.openTime < 1000) {
            // A box that has just opened: the session ends with the next reply.
            m_box.disconnectPending = true;
            return 0;
        }
        PostMessage(m_box.window, WM_CLOSE, 0, 0);
        m_box.window = 0;
        m_box.mode = DialogMode::None;
    }
    m_box.disconnectPending = false;
    m_replyAbandoned = false;
    ++m_sessionEnds;
    const bool signing = m_box.mode == DialogMode::Signature;
    SetSignatureMode(false);

    if (m_framer) {
        m_framer->SetMode(0);
        m_framer->Reset();
    }
    // The writer carries the framing mode of its text.
    RenewWriter();
    m_screen.Clear();
    m_widgets->RemoveAll();
    if (signing) plat::fs::DeleteFile(CDeviceCommands::SignatureFilePath());  // never handed over
    SendMessage(m_window, WM_CORE_SESSION_ENDED, 0, 0);
    SetBusy(false);
    m_automation->Notify(AUTO_DISCONNECT, 0, 0);
    return 0;
}
