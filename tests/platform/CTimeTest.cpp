#include <KvsDataBlocks/platform/CTime.h>

#include "TimeZoneGuard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

TEST(CTime, LocalAndUtcFieldsFollowTheZone)
{
    TimeZoneGuard tz("EST5");
    const CTime t(int64_t{1709642096}); // 2024-03-05 12:34:56 UTC
    EXPECT_EQ(t.FormatGmt("%Y-%m-%d %H:%M:%S"), "2024-03-05 12:34:56");
    EXPECT_EQ(t.Format("%H:%M"), "07:34");
    EXPECT_EQ(t.GetYear(), 2024);
    EXPECT_EQ(t.GetMonth(), 3);
    EXPECT_EQ(t.GetDay(), 5);
    EXPECT_EQ(t.GetHour(), 7);
    EXPECT_EQ(t.GetDayOfWeek(), 3); // Tuesday, Sunday = 1
    const CTime back(2024, 3, 5, 7, 34, 56);
    EXPECT_EQ(back, t);
}

TEST(CTime, SixtyFourBitTimesBeyond2038)
{
    const CTime t(int64_t{4102444800}); // 2100-01-01 00:00:00 UTC
    EXPECT_EQ(t.FormatGmt("%Y-%m-%d %H:%M:%S"), "2100-01-01 00:00:00");
    const CTime before(int64_t{-86400});
    EXPECT_EQ(before.FormatGmt("%Y-%m-%d"), "1969-12-31");
    EXPECT_LT(before, t);
}

TEST(CTime, UnrepresentableTimesGiveEmptyText)
{
    const CTime huge(int64_t{1} << 62);
    struct tm out {};
    EXPECT_FALSE(huge.GetGmtTm(out));
    EXPECT_EQ(huge.FormatGmt("%Y"), "");
    EXPECT_EQ(CTime(int64_t{0}).FormatGmt(""), "");
}
