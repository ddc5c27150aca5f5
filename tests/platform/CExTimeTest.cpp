#include <KvsDataBlocks/platform/CExTime.h>

#include "ClockGuard.h"
#include "TimeZoneGuard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

constexpr int64_t k20240305_123456_789 = 1709642096789; // 2024-03-05 12:34:56.789 UTC

} // namespace

TEST(CExTime, ClockSourceMakesTheCurrentTimeDeterministic)
{
    ClockGuard clock(k20240305_123456_789);
    CTime now;
    int ms = -1;
    CExTime::GetCurTime(now, ms);
    EXPECT_EQ(now.GetTime(), 1709642096);
    EXPECT_EQ(ms, 789);
    EXPECT_EQ(now.FormatGmt("%Y%m%d %H%M%S"), "20240305 123456");
}

TEST(CExTime, NegativeClockTimesSplitIntoEarlierSecond)
{
    ClockGuard clock(-1);
    CTime now;
    int ms = -1;
    CExTime::GetCurTime(now, ms);
    EXPECT_EQ(now.GetTime(), -1);
    EXPECT_EQ(ms, 999);
}

TEST(CExTime, SystemClockIsUsedWithoutASource)
{
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    CTime now;
    int ms = -1;
    CExTime::GetCurTime(now, ms);
    EXPECT_GE(now.GetTime(), before);
    EXPECT_LE(now.GetTime(), before + 5);
    EXPECT_GE(ms, 0);
    EXPECT_LE(ms, 999);
}

TEST(CExTime, TimezoneIsEastPositiveMilliseconds)
{
    ClockGuard clock(k20240305_123456_789);
    {
        TimeZoneGuard tz("IST-5:30");
        EXPECT_EQ(CExTime::GetTimezone(), 19800000L);
    }
    {
        TimeZoneGuard tz("EST5");
        EXPECT_EQ(CExTime::GetTimezone(), -18000000L);
    }
    {
        TimeZoneGuard tz("UTC0");
        EXPECT_EQ(CExTime::GetTimezone(), 0L);
    }
    const auto prev = CExTime::SetTimezoneSource([] { return int64_t{-19800000}; });
    EXPECT_EQ(CExTime::GetTimezone(), -19800000L);
    CExTime::SetTimezoneSource(prev);
}

TEST(CExTime, JulianDayNumbersCountDays)
{
    EXPECT_EQ(CExTime::ConvertToJulianFrac(1, 1, 2000), 2451545.0);
    EXPECT_EQ(CExTime::ConvertToJulianFrac(2, 1, 2024) - CExTime::ConvertToJulianFrac(1, 1, 2024), 31.0);
    EXPECT_EQ(CExTime::ConvertToJulianFrac(12, 31, 2024) - CExTime::ConvertToJulianFrac(1, 1, 2024), 365.0);
    EXPECT_EQ(CExTime::ConvertToJulianFrac(3, 1, 1900) - CExTime::ConvertToJulianFrac(2, 28, 1900), 1.0);
    EXPECT_EQ(CExTime::ConvertToJulianFrac(13, 1, 2023), CExTime::ConvertToJulianFrac(1, 1, 2024));
    EXPECT_EQ(CExTime::ConvertToJulianFrac(0, 1, 2024), CExTime::ConvertToJulianFrac(12, 1, 2023));
    EXPECT_EQ(CExTime::ConvertToJulianFrac(1, 32, 2024), CExTime::ConvertToJulianFrac(2, 1, 2024));
}

TEST(CExTime, ConvertToCTimeRoundsDownToTheSecond)
{
    EXPECT_EQ(CExTime::ConvertToCTime(1999.9).GetTime(), 1);
    EXPECT_EQ(CExTime::ConvertToCTime(-1.0).GetTime(), -1);
    EXPECT_EQ(CExTime::ConvertToCTime(4102444800000.0).GetTime(), 4102444800); // 2100, beyond 32 bits
    EXPECT_EQ(CExTime::ConvertToCTime(NAN).GetTime(), 0);
}

TEST(CExTime, TimeToStringLayouts)
{
    TimeZoneGuard tz("CET-1");
    const double t = static_cast<double>(k20240305_123456_789);
    EXPECT_EQ(CExTime::TimeToString(t, true, true, false), "2024-03-05 12:34:56.789");
    EXPECT_EQ(CExTime::TimeToString(t, false, false, false), "12:34:56");
    EXPECT_EQ(CExTime::TimeToString(t, true, false, true), "2024-03-05 13:34:56");
    EXPECT_EQ(CExTime::TimeToString(t + 0.9, false, true, false), "12:34:56.789");
    EXPECT_EQ(CExTime::TimeToString(-1.0, true, true, false), "1969-12-31 23:59:59.999");
    EXPECT_EQ(CExTime::TimeToString(NAN, true, true, false), "");
    EXPECT_EQ(CExTime::TimeToString(1e300, true, true, false), "");
    EXPECT_EQ(CExTime::TimeToString(253402300800000.0, true, false, false), ""); // year 10000
}
