// Battery status with the platform's flag values, read from
// /sys/class/power_supply when present; tests replace the source.
#pragma once

#include <functional>

#include "platform/WinTypes.h"

constexpr BYTE BATTERY_FLAG_HIGH = 0x01;
constexpr BYTE BATTERY_FLAG_LOW = 0x02;
constexpr BYTE BATTERY_FLAG_CRITICAL = 0x04;
constexpr BYTE BATTERY_FLAG_CHARGING = 0x08;
constexpr BYTE BATTERY_FLAG_NO_BATTERY = 0x80;
constexpr BYTE BATTERY_FLAG_UNKNOWN = 0xFF;

constexpr BYTE AC_LINE_OFFLINE = 0x00;
constexpr BYTE AC_LINE_ONLINE = 0x01;
constexpr BYTE AC_LINE_UNKNOWN = 0xFF;

struct PowerStatus {
    BYTE acLineStatus = AC_LINE_UNKNOWN;
    BYTE batteryFlag = BATTERY_FLAG_UNKNOWN;
    BYTE batteryLifePercent = 0xFF;
    BYTE backupBatteryFlag = BATTERY_FLAG_UNKNOWN;
    BYTE backupBatteryLifePercent = 0xFF;
};

// FALSE when the status cannot be read.
BOOL GetSystemPowerStatus(PowerStatus* status);
// Replaces the source (tests); null restores /sys/class/power_supply.
void SetPowerStatusSource(std::function<BOOL(PowerStatus*)> source);
