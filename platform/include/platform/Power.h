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
//
// Power notifications: the device's message queues for them stand in as
// per-process queues (CreateMsgQueue, ReadMsgQueue, CloseMsgQueue), and the
// system's power manager as a resume detector: the time the machine spent
// suspended (CLOCK_BOOTTIME minus CLOCK_MONOTONIC) is sampled whenever a
// queue is read or a request made, and growth of at least
// kResumeGapMs posts one PBT_RESUME to every queue with a request for it.
// No thread and no privilege is needed; tests replace the sampled source.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Library.h"
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

constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_TIMEOUT = 1460;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;

struct MSGQUEUEOPTIONS {
    DWORD dwSize;         // sizeof(MSGQUEUEOPTIONS)
    DWORD dwFlags;
    DWORD dwMaxMessages;  // 0: no limit; a full queue drops new messages
    DWORD cbMaxMessage;   // the longest message the queue takes
    BOOL bReadAccess;     // the handle reads; a write handle cannot
};

// Notification kinds, also the request flags.
constexpr DWORD PBT_TRANSITION = 0x01;
constexpr DWORD PBT_RESUME = 0x02;
constexpr DWORD PBT_POWERSTATUSCHANGE = 0x04;
constexpr DWORD PBT_POWERINFOCHANGE = 0x08;
constexpr DWORD POWER_NOTIFY_ALL = 0xFFFFFFFF;

// A notification as read from the queue: the three fields (12 bytes), no state name.
struct POWER_BROADCAST {
    DWORD Message;
    DWORD Flags;
    DWORD Length;  // bytes of SystemPowerState; always 0 here
    char16_t SystemPowerState[1];
};
constexpr DWORD kPowerBroadcastBytes = 3 * sizeof(DWORD);

// An unnamed queue (a name gives ERROR_NOT_SUPPORTED); null on failure (GetLastError).
HANDLE CreateMsgQueue(const char16_t* name, const MSGQUEUEOPTIONS* options);
// Takes the oldest message, waiting up to timeoutMs (0: not at all, 0xFFFFFFFF:
// for ever). FALSE with ERROR_TIMEOUT when none came, ERROR_INSUFFICIENT_BUFFER
// (the message stays) when it does not fit, ERROR_INVALID_HANDLE or
// ERROR_ACCESS_DENIED (a write handle). flags may be null.
BOOL ReadMsgQueue(HANDLE queue, void* buffer, DWORD bufferBytes, DWORD* bytesRead, DWORD timeoutMs, DWORD* flags);
// Its messages are dropped and its requests post nothing more.
BOOL CloseMsgQueue(HANDLE queue);
// Posts the notifications of the kinds in flags to the queue; null on failure.
HANDLE RequestPowerNotifications(HANDLE queue, DWORD flags);
BOOL StopPowerNotifications(HANDLE notification);

namespace plat::power {

// Growth of the suspended time that counts as a resume.
constexpr int64_t kResumeGapMs = 100;
// Replaces the sampled time spent suspended, in milliseconds (tests); null
// restores the machine's clocks. The next sample starts afresh.
void SetSuspendedTimeSource(std::function<int64_t()> source);

// Replaces the source (tests); null restores the power-supply folder.
void SetPowerStatusSource(std::function<BOOL(PowerStatus*)> source);
// The folder the default source reads (tests); empty restores /sys/class/power_supply.
void SetPowerSupplyFolder(const std::string& hostDirectory);

}  // namespace plat::power
