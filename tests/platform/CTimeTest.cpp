#include <KvsDataBlocks/platform/CTime.h>

#include "TimeZoneGuard.h"

#include <gtest/gtest.h>

#include <ctime>
#include <vector>

TEST(CTime, LocalAndUtcFieldsFollowTheZone)
{
    TimeZoneGuard tz("EST5");
    const CTime t(int64_t{1709642096}); // 2024-03-05 12:34:56 UTC
    EXPECT_EQ(t.FormatGmt("%Y-%m-%d %H:%M:%S"), "2024-03-05 12:34:56");
    EXPECT_EQ(t.Format("%H:%M"), "07:34");
    // Tuesday: Sunday = 1.
    EXPECT_EQ(std::vector<int>({t.GetYear(), t.GetMonth(), t.GetDay(), t.GetHour(), t.GetDayOfWeek()}),
              std::vector<int>({2024, 3, 5, 7, 3}));
    EXPECT_EQ(CTime(2024, 3, 5, 7, 34, 56), t);
}

TEST(CTime, SixtyFourBitTimesAndUnrepresentableOnes)
{
    const CTime t(int64_t{4102444800}); // 2100-01-01 00:00:00 UTC
    EXPECT_EQ(t.FormatGmt("%Y-%m-%d %H:%M:%S"), "2100-01-01 00:00:00");
    const CTime before(int64_t{-86400});
    EXPECT_EQ(before.FormatGmt("%Y-%m-%d"), "1969-12-31");
    EXPECT_LT(before, t);
    const CTime huge(int64_t{1} << 62);
    struct tm out {};
    EXPECT_FALSE(huge.GetGmtTm(out));
    EXPECT_EQ(huge.FormatGmt("%Y") + CTime(int64_t{0}).FormatGmt(""), ""); // unrepresentable; an empty format
}
