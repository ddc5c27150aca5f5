#include <KvsDataBlocks/platform/CExTime.h>
#include <KvsDataBlocks/platform/CTime.h>

#include "ClockGuard.h"
#include "TimeZoneGuard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

constexpr int64_t k20240305_123456_789 = 1709642096789; // 2024-03-05 12:34:56.789 UTC

TEST(CExTime, ClockZoneJulianDaysCTimeAndTimeToStringLayouts)
{
    // A negative clock: the earlier second.
    const struct { int64_t clock, seconds; int ms; } cases[] = {{k20240305_123456_789, 1709642096, 789}, {-1, -1, 999}};
    for (const auto& c : cases) {
        ClockGuard clock(c.clock);
        CTime now;
        int ms = -1;
        CExTime::GetCurTime(now, ms);
        EXPECT_EQ(std::pair(now.GetTime(), ms), std::pair(c.seconds, c.ms));
    }
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    CTime now;
    int ms = -1;
    CExTime::GetCurTime(now, ms);
    EXPECT_TRUE(now.GetTime() >= before && now.GetTime() <= before + 5 && ms >= 0 && ms <= 999) << now.GetTime() << " " << ms;
    ClockGuard clock(k20240305_123456_789);
    for (const auto& [tz, ms] : {std::pair{"IST-5:30", 19800000L}, std::pair{"EST5", -18000000L}, std::pair{"UTC0", 0L}}) {
        TimeZoneGuard zone(tz);
        EXPECT_EQ(CExTime::GetTimezone(), ms) << tz;
    }
    const auto prev = CExTime::SetTimezoneSource([] { return int64_t{-19800000}; });
    EXPECT_EQ(CExTime::GetTimezone(), -19800000L);
    CExTime::SetTimezoneSource(prev);
    auto jd = CExTime::ConvertToJulianFrac;
    EXPECT_EQ(jd(1, 1, 2000), 2451545.0);
    const std::pair<double, double> differences[] = {
        {jd(2, 1, 2024) - jd(1, 1, 2024), 31.0}, {jd(12, 31, 2024) - jd(1, 1, 2024), 365.0},
        {jd(3, 1, 1900) - jd(2, 28, 1900), 1.0}, {jd(13, 1, 2023) - jd(1, 1, 2024), 0.0},
        {jd(0, 1, 2024) - jd(12, 1, 2023), 0.0}, {jd(1, 32, 2024) - jd(2, 1, 2024), 0.0}};
    for (size_t i = 0; i < std::size(differences); ++i) EXPECT_EQ(differences[i].first, differences[i].second) << i;
    const std::pair<double, int64_t> toCTime[] = {
        {1999.9, 1}, {-1.0, -1}, {4102444800000.0, 4102444800}, {NAN, 0}}; // 2100: beyond 32 bits
    for (const auto& [ms, seconds] : toCTime) EXPECT_EQ(CExTime::ConvertToCTime(ms).GetTime(), seconds) << ms;
    TimeZoneGuard tz("CET-1");
    const double t = static_cast<double>(k20240305_123456_789);
    constexpr double kYear0 = -62167219200000.0;     // 0000-01-01 00:00:00 UTC
    constexpr double kYear10000 = 253402300800000.0; // 10000-01-01 00:00:00 UTC
    const struct { double ms; bool date, withMs, local; const char* text; } layouts[] = {
        {t, true, true, false, "2024-03-05 12:34:56.789"}, {t, false, false, false, "12:34:56"},
        {t, true, false, true, "2024-03-05 13:34:56"},     {t + 0.9, false, true, false, "12:34:56.789"},
        {-1.0, true, true, false, "1969-12-31 23:59:59.999"}, {NAN, true, true, false, ""},
        {1e300, true, true, false, ""},
        {kYear0, true, false, false, "0000-01-01 00:00:00"},   {kYear0 - 1, true, false, false, ""}, // year -1
        {kYear10000 - 1, true, true, false, "9999-12-31 23:59:59.999"}, {kYear10000, true, false, false, ""},
    };
    for (const auto& c : layouts) EXPECT_EQ(CExTime::TimeToString(c.ms, c.date, c.withMs, c.local), c.text) << c.ms;
}

TEST(CTime, FieldsFollowTheZoneAndSixtyFourBitTimesAndUnrepresentableOnes)
{
    TimeZoneGuard tz("EST5");
    const CTime t(int64_t{1709642096}); // 2024-03-05 12:34:56 UTC
    EXPECT_EQ(t.FormatGmt("%Y-%m-%d %H:%M:%S"), "2024-03-05 12:34:56");
    EXPECT_EQ(t.Format("%H:%M"), "07:34");
    // Tuesday: Sunday = 1.
    EXPECT_EQ(std::vector<int>({t.GetYear(), t.GetMonth(), t.GetDay(), t.GetHour(), t.GetDayOfWeek()}),
              std::vector<int>({2024, 3, 5, 7, 3}));
    EXPECT_EQ(CTime(2024, 3, 5, 7, 34, 56), t);
    const CTime late(int64_t{4102444800}), before(int64_t{-86400}), huge(int64_t{1} << 62); // late: 2100-01-01 UTC
    EXPECT_EQ(late.FormatGmt("%Y-%m-%d %H:%M:%S") + " " + before.FormatGmt("%Y-%m-%d"), "2100-01-01 00:00:00 1969-12-31");
    struct tm out {};
    EXPECT_TRUE(before < late && !huge.GetGmtTm(out));
    EXPECT_EQ(huge.FormatGmt("%Y") + CTime(int64_t{0}).FormatGmt(""), ""); // unrepresentable; an empty format
}
