// The clock layer: the millisecond tick, the device clock (machine clock plus
// a stored offset) and the SYSTEMTIME / FILETIME / local time conversions.
#include "platform/Clock.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <memory>
#include <mutex>

namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;  // FILETIME counts 100 ns
constexpr int64_t kTicksPerMs = 10'000;
constexpr int64_t kTicksPerDay = 86400 * kTicksPerSecond;
constexpr int64_t kUnixEpochSeconds = 11'644'473'600;  // 1601-01-01 to 1970-01-01
constexpr int64_t kMaxFileTime = INT64_MAX;            // the top bit is refused

std::mutex g_tickMutex;
std::shared_ptr<const std::function<DWORD()>> g_tickSource;  // guarded by g_tickMutex
std::atomic<bool> g_tickReplaced{false};
std::atomic<int64_t> g_offsetMs{0};

int64_t toInt(const FILETIME& ft) {
    return int64_t((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

FILETIME toFileTime(int64_t v) { return FILETIME{DWORD(uint64_t(v)), DWORD(uint64_t(v) >> 32)}; }

int64_t floorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool isLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int64_t y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = floorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int64_t* y, int* m, int* d) {
    z += 719468;
    const int64_t era = floorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = int(doy - (153 * mp + 2) / 5 + 1);
    *m = int(mp < 10 ? mp + 3 : mp - 9);
    *y = yoe + era * 400 + (*m <= 2);
}

bool validSystemTime(const SYSTEMTIME& st) {
    return st.wYear >= 1601 && st.wYear <= 30827 && st.wMonth >= 1 && st.wMonth <= 12 &&
           st.wDay >= 1 && st.wDay <= daysInMonth(st.wYear, st.wMonth) && st.wHour < 24 &&
           st.wMinute < 60 && st.wSecond < 60 && st.wMilliseconds < 1000;
}

int64_t machineNowMs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

FILETIME deviceNow() {
    // Any offset beyond this already puts the clock outside FILETIME's range.
    constexpr int64_t kLimit = int64_t(1) << 55;
    const int64_t ms = machineNowMs() + std::clamp(g_offsetMs.load(), -kLimit, kLimit);
    return plat::clock::UnixToFileTime(floorDiv(ms, 1000), (ms - floorDiv(ms, 1000) * 1000) * 1'000'000);
}

}  // namespace

DWORD GetTickCount() {
    if (g_tickReplaced.load(std::memory_order_acquire)) {
        std::shared_ptr<const std::function<DWORD()>> source;
        {
            std::lock_guard lock(g_tickMutex);
            source = g_tickSource;
        }
        if (source) return (*source)();
    }
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return DWORD(uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1'000'000);
}

void plat::clock::SetTickSource(std::function<DWORD()> source) {
    std::lock_guard lock(g_tickMutex);
    g_tickSource = source ? std::make_shared<const std::function<DWORD()>>(std::move(source)) : nullptr;
    g_tickReplaced.store(g_tickSource != nullptr, std::memory_order_release);
}

BOOL plat::clock::IsTickSourceReplaced() { return g_tickReplaced.load(std::memory_order_acquire) ? TRUE : FALSE; }

void GetSystemTime(SYSTEMTIME* utc) {
    if (!utc) return;
    *utc = SYSTEMTIME{};  // stays zero if the offset puts the clock out of range
    const FILETIME ft = deviceNow();
    FileTimeToSystemTime(&ft, utc);
}

void GetLocalTime(SYSTEMTIME* local) {
    if (!local) return;
    *local = SYSTEMTIME{};
    const FILETIME utc = deviceNow();
    FILETIME ft;
    if (!FileTimeToLocalFileTime(&utc, &ft)) ft = utc;
    FileTimeToSystemTime(&ft, local);
}

BOOL SetSystemTime(const SYSTEMTIME* utc) {
    FILETIME ft;
    if (!utc || !SystemTimeToFileTime(utc, &ft)) return FALSE;
    const int64_t targetMs = toInt(ft) / kTicksPerMs - kUnixEpochSeconds * 1000;
    g_offsetMs.store(targetMs - machineNowMs());
    return TRUE;
}

BOOL SetLocalTime(const SYSTEMTIME* local) {
    FILETIME localFt, utcFt;
    SYSTEMTIME utc;
    if (!local || !SystemTimeToFileTime(local, &localFt) || !LocalFileTimeToFileTime(&localFt, &utcFt) ||
        !FileTimeToSystemTime(&utcFt, &utc))
        return FALSE;
    return SetSystemTime(&utc);
}

int64_t plat::clock::GetDeviceClockOffsetMs() { return g_offsetMs.load(); }
void plat::clock::SetDeviceClockOffsetMs(int64_t offsetMs) { g_offsetMs.store(offsetMs); }

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft) {
    if (!st || !ft || !validSystemTime(*st)) return FALSE;
    const int64_t days = daysFromCivil(st->wYear, st->wMonth, st->wDay) + kUnixEpochSeconds / 86400;
    const int64_t seconds = days * 86400 + st->wHour * 3600 + st->wMinute * 60 + st->wSecond;
    *ft = toFileTime(seconds * kTicksPerSecond + st->wMilliseconds * kTicksPerMs);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* ft, SYSTEMTIME* st) {
    if (!ft || !st) return FALSE;
    const int64_t v = toInt(*ft);
    if (v < 0) return FALSE;
    const int64_t days = v / kTicksPerDay;  // since 1601-01-01, a Monday
    const int64_t inDay = v % kTicksPerDay;
    int64_t year;
    int month, day;
    civilFromDays(days - kUnixEpochSeconds / 86400, &year, &month, &day);
    if (year > 30827) return FALSE;
    st->wYear = WORD(year);
    st->wMonth = WORD(month);
    st->wDay = WORD(day);
    st->wDayOfWeek = WORD((days + 1) % 7);
    st->wHour = WORD(inDay / (3600 * kTicksPerSecond));
    st->wMinute = WORD(inDay / (60 * kTicksPerSecond) % 60);
    st->wSecond = WORD(inDay / kTicksPerSecond % 60);
    st->wMilliseconds = WORD(inDay / kTicksPerMs % 1000);
    return TRUE;
}

// The offset from UTC is the one in force at the time converted, so a summer
// date gets the summer offset whatever today's is.
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
    if (!utc || !local || toInt(*utc) < 0) return FALSE;
    const int64_t v = toInt(*utc);
    const time_t t = time_t(v / kTicksPerSecond - kUnixEpochSeconds);
    tzset();  // follow TZ when it changes
    tm parts{};
    if (!localtime_r(&t, &parts)) return FALSE;
    const int64_t shift = int64_t(parts.tm_gmtoff) * kTicksPerSecond;
    if ((shift < 0 && v < -shift) || (shift > 0 && v > kMaxFileTime - shift)) return FALSE;
    *local = toFileTime(v + shift);
    return TRUE;
}

// A local time in a switch-over gap or overlap resolves as mktime decides.
BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) {
    if (!local || !utc || toInt(*local) < 0) return FALSE;
    const int64_t v = toInt(*local);
    const time_t asUtc = time_t(v / kTicksPerSecond - kUnixEpochSeconds);
    tm parts{};
    if (!gmtime_r(&asUtc, &parts)) return FALSE;
    parts.tm_isdst = -1;
    errno = 0;
    const time_t t = mktime(&parts);
    if (t == time_t(-1) && errno != 0) return FALSE;
    const int64_t result = (int64_t(t) + kUnixEpochSeconds) * kTicksPerSecond + v % kTicksPerSecond;
    if (result < 0) return FALSE;
    *utc = toFileTime(result);
    return TRUE;
}

// Values outside the FILETIME range are clamped to its ends.
FILETIME plat::clock::UnixToFileTime(int64_t seconds, int64_t nanoseconds) {
    const int64_t carry = floorDiv(nanoseconds, 1'000'000'000);
    nanoseconds -= carry * 1'000'000'000;
    constexpr int64_t maxSeconds = kMaxFileTime / kTicksPerSecond - kUnixEpochSeconds;
    if (seconds < -kUnixEpochSeconds - carry) return toFileTime(0);
    if (seconds >= maxSeconds - carry) return toFileTime(kMaxFileTime);
    return toFileTime((seconds + carry + kUnixEpochSeconds) * kTicksPerSecond + nanoseconds / 100);
}

void plat::clock::FileTimeToUnix(const FILETIME& ft, int64_t* seconds, int64_t* nanoseconds) {
    const uint64_t v = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    if (seconds) *seconds = int64_t(v / kTicksPerSecond) - kUnixEpochSeconds;
    if (nanoseconds) *nanoseconds = int64_t(v % kTicksPerSecond) * 100;
}
