// The control's input, handed to the input commands.
#include "core/session/ClientCore.h"

int32_t CClientCore::OnKeyDown(uint32_t virtualKey, uint32_t flags) { return m_input.OnKeyDown(virtualKey, flags); }

int32_t CClientCore::OnChar(char16_t character, int32_t repeat, uint32_t flags) {
    return m_input.OnChar(character, repeat, flags);
}

int32_t CClientCore::OnDeviceData(const DeviceDataRecord* record) { return m_input.OnDeviceData(record); }

void CClientCore::SendWidgetEvent(const uint8_t* bytes, int32_t count) { m_input.SendWidgetEvent(bytes, count); }

void CClientCore::OnWidgetReply(const CPacketBuffer& writer) { SendWidgetEvent(writer.GetData(), writer.GetLength()); }
