// Battery status with the platform's flag values, read from
// /sys/class/power_supply when present; tests replace the source.
//
// The first system battery (by folder name; "scope" Device batteries and
// absent ones are skipped) gives the percentage and the flag: its
// "capacity_level" (Full/High 0x01, Normal 0, Low 0x02, Critical 0x04), else
// its "capacity" (above 66 high, below 33 low, below 5 critical, between: 0),
// plus 0x08 while "status" is Charging. The AC line is online when any other
// supply reports "online" 1, offline when there are such supplies but none
// online, unknown when there are none. A readable folder without a battery
// gives 0x80; no folder gives unknown (0xFF). Linux knows no backup battery:
// always unknown.
#pragma once

#include <functional>
#include <string>

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
namespace plat::power {

// Replaces the source (tests); null restores the power-supply folder.
void SetPowerStatusSource(std::function<BOOL(PowerStatus*)> source);
// The folder the default source reads (tests); empty restores /sys/class/power_supply.
void SetPowerSupplyFolder(const std::string& hostDirectory);

}  // namespace plat::power
