#include "core/session/RadioAssociation.h"

#include "core/hooks/CoreHooks.h"
#include "platform/Clock.h"

int32_t CRadioAssociation::Test(ICoreDevices& devices, const RadioSettings& settings, DWORD& wakeTime) {
    const DWORD now = GetTickCount();
    if (settings.radioWakeDelay > 0 && wakeTime != 0) {
        if (now - wakeTime < static_cast<DWORD>(settings.radioWakeDelay)) return 0;
        wakeTime = 0;
    }
    if (settings.ignoreRadio || !devices.HasNetwork()) return -1;

    if (settings.rssiThreshold != 0 && devices.GetAdapterSignalStrength() < settings.rssiThreshold &&
        devices.GetAdapterSignalStrength() < settings.rssiThreshold) {
        MarkLacking(now);
        return 0;
    }
    if (devices.GetAdapterStatus() != 0) {
        MarkLacking(now);
        return 0;
    }
    if (settings.reconnectDelay > 0 && m_lackingTime != 0) {
        // A radio that has just come back may go again: wait for the delay.
        if (now - m_lackingTime <= static_cast<DWORD>(settings.reconnectDelay)) return 0;
        m_lackingTime = 0;
    }
    return 1;
}
