// Whether the radio is associated, as the host asks it ("ASSOC") and the
// control reports it: a wake delay after a resume, a signal threshold read
// twice, and a reconnect delay that keeps a radio that has just come back
// counted as lacking.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

class ICoreDevices;

struct RadioSettings {
    int32_t ignoreRadio = 0;
    int32_t rssiThreshold = 0;   // 0: none
    int32_t radioWakeDelay = 0;  // milliseconds; 0: none
    int32_t reconnectDelay = 0;  // milliseconds; 0: none
};

class CRadioAssociation {
public:
    // 1 associated, 0 not, -1 unknown (radio ignored or no network library).
    // wakeTime is the tick of the last resume (0: none); it is cleared once
    // the wake delay has passed.
    int32_t Test(ICoreDevices& devices, const RadioSettings& settings, DWORD& wakeTime);
    // The tick the radio was last found lacking; 0 when none is recorded.
    DWORD LackingTime() const { return m_lackingTime; }

private:
    void MarkLacking(DWORD now) { m_lackingTime = now ? now : 1; }
    DWORD m_lackingTime = 0;
};
