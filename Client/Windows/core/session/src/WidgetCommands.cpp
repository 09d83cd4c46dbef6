// WIDGETACTION: the widget stream goes to the widgets, which write the answer.
#include "core/session/WidgetCommands.h"

#include "core/support/LogFile.h"

int CWidgetCommands::WIDGETACTION(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "WIDGETACTION");
    CPacketBuffer* writer = m_replies.Writer();
    m_widgets->ProcessWidgetStream(*pkt, writer);
    if (writer) m_replies.SendReply(*writer);
    // Input queued before the widgets changed belongs to the old screen.
    if (m_settings.GetScanAheadMode() != 2) m_queue.Clear();
    return 0;
}

void CWidgetCommands::Register(CCommandTable& table) {
    table.Register<&CWidgetCommands::WIDGETACTION>(cmd::kWIDGETACTION, *this, ErrorAnswer::Number(-1));
}
