// The control's input, handed to the input commands.
#include "core/session/ClientCore.h"

int32_t CClientCore::OnKeyDown(uint32_t virtualKey, uint32_t flags) { return m_input.OnKeyDown(virtualKey, flags); }

int32_t CClientCore::OnChar(char16_t character, int32_t repeat, uint32_t flags) {
    return m_input.OnChar(character, repeat, flags);
}

int32_t CClientCore::OnDeviceData(const DeviceDataRecord* record) { return m_input.OnDeviceData(record); }

void CClientCore::OnWidgetReply(const CPacketBuffer& writer) {
    m_input.SendWidgetEvent(writer.GetData(), writer.GetLength());
}
