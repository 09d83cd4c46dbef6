// WIDGETACTION: the widget stream goes to the widgets, which write the answer.
#include "core/session/ClientCore.h"
#include "core/support/LogFile.h"

int CClientCore::WIDGETACTION(CPacket* pkt, uint8_t) {
    LogWrite(LOG_TRACE, "WIDGETACTION");
    m_widgets->ProcessWidgetStream(*pkt, m_writer.get());
    SendReply(*m_writer);
    // Input queued before the widgets changed belongs to the old screen.
    if (m_settings.GetScanAheadMode() != 2) ClearEventQueue();
    return 0;
}
