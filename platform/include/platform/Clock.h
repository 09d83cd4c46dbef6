// Clock: a 32-bit millisecond tick (compare with unsigned subtraction) that
// tests can drive, and the device clock as local time and UTC. Setting the
// device clock changes a stored offset, never the machine's clock.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/WinTypes.h"

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// 100-nanosecond intervals since 1601-01-01 UTC, as two 32-bit halves.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

DWORD GetTickCount();

// The device clock: the machine's clock plus the stored offset.
void GetSystemTime(SYSTEMTIME* utc);
void GetLocalTime(SYSTEMTIME* local);
// Move the device clock (the offset) so that now reads as given. FALSE on an invalid time.
BOOL SetSystemTime(const SYSTEMTIME* utc);
BOOL SetLocalTime(const SYSTEMTIME* local);

// Conversions; local time follows TZ with the offset in force at the time
// converted. SYSTEMTIME fields are checked (years 1601-30827, real dates);
// wDayOfWeek is ignored on input and filled on output (0 = Sunday). FALSE on
// an invalid value.
BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft);
BOOL FileTimeToSystemTime(const FILETIME* ft, SYSTEMTIME* st);
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc);

namespace plat::clock {

// Replaces the tick source (tests); null restores the real monotonic tick.
void SetTickSource(std::function<DWORD()> source);
// TRUE while a replaced source drives the tick: waiting code cannot derive
// real time from it and re-checks in short slices.
BOOL IsTickSourceReplaced();

// The stored offset of the device clock from the machine's.
int64_t GetDeviceClockOffsetMs();
void SetDeviceClockOffsetMs(int64_t offsetMs);

// Between FILETIME and Unix time (seconds and nanoseconds since 1970 UTC);
// times outside the FILETIME range are clamped to its ends.
FILETIME UnixToFileTime(int64_t seconds, int64_t nanoseconds);
void FileTimeToUnix(const FILETIME& ft, int64_t* seconds, int64_t* nanoseconds);

}  // namespace plat::clock
