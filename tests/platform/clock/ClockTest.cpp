#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <thread>

#include "platform/Clock.h"

namespace {

constexpr int64_t kUnixEpochFt = 116444736000000000;  // 1970-01-01 as FILETIME

SYSTEMTIME St(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
    return SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
}

int64_t Ft(const FILETIME& ft) { return int64_t((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime); }

FILETIME Ft(int64_t v) { return FILETIME{DWORD(uint64_t(v)), DWORD(uint64_t(v) >> 32)}; }

int64_t FtOf(const SYSTEMTIME& st) {
    FILETIME ft{};
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
    return Ft(ft);
}

constexpr int64_t kHour = 36'000'000'000;

// Sets TZ for one test and puts the old value back.
class ClockTimeZone : public ::testing::Test {
protected:
    void TearDown() override {
        if (old_) setenv("TZ", old_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
        plat::clock::SetDeviceClockOffsetMs(0);
    }
    void Use(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    std::optional<std::string> old_ = getenv("TZ") ? std::optional<std::string>(getenv("TZ")) : std::nullopt;
};

}  // namespace

TEST(Clock, SystemTimeToFileTimeKnownValues) {
    EXPECT_EQ(FtOf(St(1601, 1, 1)), 0);
    EXPECT_EQ(FtOf(St(1970, 1, 1)), kUnixEpochFt);
    EXPECT_EQ(FtOf(St(1970, 1, 1, 0, 0, 1, 500)), kUnixEpochFt + 15'000'000);
    EXPECT_EQ(FtOf(St(2000, 3, 1)) - FtOf(St(2000, 2, 28)), 48 * kHour);  // 2000 is a leap year
    EXPECT_EQ(FtOf(St(1900, 3, 1)) - FtOf(St(1900, 2, 28)), 24 * kHour);  // 1900 is not
}

TEST(Clock, RoundTripFillsDayOfWeek) {
    struct Case { SYSTEMTIME st; WORD dayOfWeek; };
    const Case cases[] = {
        {St(1601, 1, 1), 1},                       // a Monday
        {St(1970, 1, 1), 4},                       // Thursday
        {St(2000, 2, 29, 12, 34, 56, 789), 2},     // Tuesday
        {St(2024, 12, 31, 23, 59, 59, 999), 2},
        {St(2038, 1, 19, 3, 14, 8), 2},            // past the 32-bit Unix limit
        {St(30827, 12, 31, 23, 59, 59, 999), 5},
    };
    for (const auto& c : cases) {
        SYSTEMTIME in = c.st;
        in.wDayOfWeek = 6;  // ignored on input
        FILETIME ft{};
        ASSERT_TRUE(SystemTimeToFileTime(&in, &ft)) << c.st.wYear;
        SYSTEMTIME out{};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &out));
        EXPECT_EQ(out.wDayOfWeek, c.dayOfWeek) << c.st.wYear;
        out.wDayOfWeek = 0;
        EXPECT_EQ(memcmp(&out, &c.st, sizeof out), 0) << c.st.wYear;
    }
}

TEST(Clock, InvalidSystemTimesAreRefused) {
    const SYSTEMTIME bad[] = {
        St(1600, 12, 31), St(30828, 1, 1), St(2023, 0, 1), St(2023, 13, 1), St(2023, 1, 0),
        St(2023, 2, 29), St(1900, 2, 29), St(2024, 4, 31), St(2024, 1, 32), St(2024, 1, 1, 24),
        St(2024, 1, 1, 0, 60), St(2024, 1, 1, 0, 0, 60), St(2024, 1, 1, 0, 0, 0, 1000),
    };
    for (const auto& st : bad) {
        FILETIME ft{123, 456};
        EXPECT_FALSE(SystemTimeToFileTime(&st, &ft)) << st.wYear << '-' << st.wMonth << '-' << st.wDay;
        EXPECT_EQ(ft.dwLowDateTime, 123u);
    }
    FILETIME topBit{0, 0x80000000};
    SYSTEMTIME st{};
    EXPECT_FALSE(FileTimeToSystemTime(&topBit, &st));
    EXPECT_FALSE(SystemTimeToFileTime(nullptr, &topBit));
    EXPECT_FALSE(SetSystemTime(&bad[5]));
}

TEST(Clock, UnixConversions) {
    EXPECT_EQ(Ft(plat::clock::UnixToFileTime(0, 0)), kUnixEpochFt);
    EXPECT_EQ(Ft(plat::clock::UnixToFileTime(1, 123456789)), kUnixEpochFt + 11'234'567);
    EXPECT_EQ(Ft(plat::clock::UnixToFileTime(1, -1'000'000'000)), kUnixEpochFt);       // nanoseconds carry
    EXPECT_EQ(Ft(plat::clock::UnixToFileTime(-11644473600, 0)), 0);
    EXPECT_EQ(Ft(plat::clock::UnixToFileTime(-11644473601, 0)), 0);                    // clamped
    EXPECT_EQ(Ft(plat::clock::UnixToFileTime(INT64_MAX, 999'999'999)), INT64_MAX);     // clamped
    int64_t s = 0, ns = 0;
    plat::clock::FileTimeToUnix(Ft(kUnixEpochFt - 1), &s, &ns);
    EXPECT_EQ(s, -1);
    EXPECT_EQ(ns, 999'999'900);
    plat::clock::FileTimeToUnix(plat::clock::UnixToFileTime(1'700'000'000, 42'000'300), &s, &ns);
    EXPECT_EQ(s, 1'700'000'000);
    EXPECT_EQ(ns, 42'000'300);
}

TEST_F(ClockTimeZone, LocalConversionsFollowTzAndDaylightSaving) {
    struct Case { const char* tz; SYSTEMTIME utc; int64_t offset; };
    const Case cases[] = {
        {"UTC0", St(2024, 7, 1, 12), 0},
        {"CET-1CEST,M3.5.0,M10.5.0/3", St(2024, 1, 15, 12), 1 * kHour},
        {"CET-1CEST,M3.5.0,M10.5.0/3", St(2024, 7, 15, 12), 2 * kHour},
        // Summer time starts 2024-03-31 at 01:00 UTC.
        {"CET-1CEST,M3.5.0,M10.5.0/3", St(2024, 3, 31, 0, 59, 59), 1 * kHour},
        {"CET-1CEST,M3.5.0,M10.5.0/3", St(2024, 3, 31, 1, 0, 0), 2 * kHour},
        {"EST5EDT,M3.2.0,M11.1.0", St(2024, 1, 15, 3), -5 * kHour},  // local is the day before
        {"EST5EDT,M3.2.0,M11.1.0", St(2024, 7, 15, 3), -4 * kHour},
    };
    for (const auto& c : cases) {
        Use(c.tz);
        const FILETIME utc = Ft(FtOf(c.utc));
        FILETIME local{}, back{};
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local)) << c.tz;
        EXPECT_EQ(Ft(local) - Ft(utc), c.offset) << c.tz << ' ' << c.utc.wMonth;
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back)) << c.tz;
        EXPECT_EQ(Ft(back), Ft(utc)) << c.tz << ' ' << c.utc.wMonth;
    }
}

TEST_F(ClockTimeZone, KeepsFractionsAndRefusesOutOfRange) {
    Use("CET-1CEST,M3.5.0,M10.5.0/3");
    FILETIME utc = Ft(FtOf(St(2024, 7, 1, 12, 0, 0, 250)) + 7), local{}, back{};
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
    EXPECT_EQ(Ft(back), Ft(utc));
    const FILETIME first = Ft(0);
    EXPECT_FALSE(LocalFileTimeToFileTime(&first, &back));  // local 1601-01-01 00:00 is before UTC 0
    const FILETIME last = Ft(INT64_MAX - 1);
    EXPECT_FALSE(FileTimeToLocalFileTime(&last, &local));
}

TEST_F(ClockTimeZone, SettingTheDeviceClockMovesOnlyTheOffset) {
    Use("CET-1CEST,M3.5.0,M10.5.0/3");
    const time_t machineBefore = time(nullptr);
    // Far from now, so the assertions cannot pass by accident; a few seconds
    // of slack cover a slow run.
    const SYSTEMTIME winterLocal = St(2031, 1, 10, 8, 30);
    ASSERT_TRUE(SetLocalTime(&winterLocal));
    SYSTEMTIME utc{}, local{};
    GetSystemTime(&utc);
    GetLocalTime(&local);
    EXPECT_LT(FtOf(utc) - (FtOf(winterLocal) - kHour), 5 * 10'000'000);
    EXPECT_GE(FtOf(utc) - (FtOf(winterLocal) - kHour), 0);
    // Two readings of the clock: the second may be a few milliseconds on.
    EXPECT_GE(FtOf(local) - FtOf(utc), kHour);
    EXPECT_LT(FtOf(local) - FtOf(utc), kHour + 10'000'000);
    EXPECT_EQ(local.wDayOfWeek, 5);  // 2031-01-10 is a Friday
    EXPECT_LT(time(nullptr) - machineBefore, 5);  // the machine's clock did not move
    EXPECT_NE(plat::clock::GetDeviceClockOffsetMs(), 0);

    const SYSTEMTIME summerUtc = St(2031, 7, 10, 6, 0);
    ASSERT_TRUE(SetSystemTime(&summerUtc));
    GetLocalTime(&local);
    EXPECT_EQ(local.wHour, 8);  // summer offset in force at that time

    const int64_t offset = plat::clock::GetDeviceClockOffsetMs();
    const SYSTEMTIME invalid = St(2031, 2, 30);
    EXPECT_FALSE(SetLocalTime(&invalid));
    EXPECT_EQ(plat::clock::GetDeviceClockOffsetMs(), offset);

    // Offsets beyond the range neither overflow nor leave garbage behind.
    plat::clock::SetDeviceClockOffsetMs(INT64_MAX);
    GetSystemTime(&utc);
    EXPECT_EQ(utc.wYear, 0);
    plat::clock::SetDeviceClockOffsetMs(INT64_MIN);
    GetSystemTime(&utc);
    EXPECT_EQ(utc.wYear, 1601);

    plat::clock::SetDeviceClockOffsetMs(0);
    GetSystemTime(&utc);
    EXPECT_LT(std::llabs(FtOf(utc) - Ft(plat::clock::UnixToFileTime(time(nullptr), 0))), 5 * 10'000'000);
}

TEST(Clock, TickSourceCanBeDrivenAndRestored) {
    std::atomic<DWORD> tick{0xFFFFFFF0};
    plat::clock::SetTickSource([&] { return tick.load(); });
    EXPECT_TRUE(plat::clock::IsTickSourceReplaced());
    const DWORD start = GetTickCount();
    tick += 0x20;  // wraps
    EXPECT_EQ(GetTickCount(), 0x10u);
    EXPECT_EQ(DWORD(GetTickCount() - start), 0x20u);

    // Readers on other threads while the source is swapped.
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) GetTickCount();
    });
    for (int i = 0; i < 200; ++i) plat::clock::SetTickSource(i % 2 ? std::function<DWORD()>{} : [] { return DWORD(7); });
    stop = true;
    reader.join();

    plat::clock::SetTickSource(nullptr);
    EXPECT_FALSE(plat::clock::IsTickSourceReplaced());
    const DWORD a = GetTickCount();
    const DWORD b = GetTickCount();
    EXPECT_LT(DWORD(b - a), 1000u);  // real and monotonic
}
