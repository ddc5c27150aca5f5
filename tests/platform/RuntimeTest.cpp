#include <KvsDataBlocks/platform/Runtime.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>

TEST(Runtime, FcvtGivesDigitsPointAndSign)
{
    int dec = 0, neg = 0;
    EXPECT_EQ(kvs_fcvt(3.1415926535, 7, dec, neg), "31415927");
    EXPECT_EQ(dec, 1);
    EXPECT_EQ(neg, 0);
    EXPECT_EQ(kvs_fcvt(-1234.5678, 2, dec, neg), "123457");
    EXPECT_EQ(dec, 4);
    EXPECT_NE(neg, 0);
    EXPECT_EQ(kvs_fcvt(0.0125, 3, dec, neg), "13");
    EXPECT_EQ(dec, -1);
    EXPECT_EQ(kvs_fcvt(12345.0, 0, dec, neg), "12345");
    EXPECT_EQ(dec, 5);
}

TEST(Runtime, FcvtRefusesNonFiniteAndClampsCounts)
{
    int dec = 7, neg = 7;
    EXPECT_EQ(kvs_fcvt(NAN, 2, dec, neg), "");
    EXPECT_EQ(dec, 0);
    EXPECT_EQ(neg, 0);
    EXPECT_EQ(kvs_fcvt(INFINITY, 2, dec, neg), "");
    EXPECT_EQ(kvs_fcvt(2.5, -3, dec, neg), kvs_fcvt(2.5, 0, dec, neg));
    EXPECT_EQ(kvs_fcvt(1e300, 60, dec, neg).GetLength(), 361);
    EXPECT_EQ(kvs_fcvt(1e300, 99, dec, neg).GetLength(), 361);
}

TEST(Runtime, FcvtHonoursCountsBeyondSeventeenDecimals)
{
    int dec = 0, neg = 0;
    EXPECT_EQ(kvs_fcvt(1.5, 20, dec, neg), "150000000000000000000");
    EXPECT_EQ(dec, 1);
    EXPECT_EQ(kvs_fcvt(-0.1, 20, dec, neg), "10000000000000000555");
    EXPECT_EQ(dec, 0);
    EXPECT_EQ(neg, 1);
    EXPECT_EQ(kvs_fcvt(0.00125, 18, dec, neg), "1250000000000000");
    EXPECT_EQ(dec, -2);
    EXPECT_EQ(kvs_fcvt(1e-25, 20, dec, neg), "");
    EXPECT_EQ(dec, -20);
}

TEST(Runtime, SixtyFourBitCalendarConversion)
{
    struct tm out {};
    const int64_t t2100 = 4102444800;
    ASSERT_EQ(kvs_gmtime64_s(&out, &t2100), 0);
    EXPECT_EQ(out.tm_year, 200);
    EXPECT_EQ(out.tm_mon, 0);
    EXPECT_EQ(out.tm_mday, 1);
    const int64_t minusOne = -1;
    ASSERT_EQ(kvs_gmtime64_s(&out, &minusOne), 0);
    EXPECT_EQ(out.tm_year, 69);
    EXPECT_EQ(out.tm_sec, 59);
    ASSERT_EQ(kvs_localtime64_s(&out, &t2100), 0);
}

TEST(Runtime, CalendarConversionFailuresZeroTheOutput)
{
    struct tm out {};
    out.tm_year = 5;
    const int64_t huge = int64_t{1} << 62;
    EXPECT_EQ(kvs_gmtime64_s(&out, &huge), EINVAL);
    EXPECT_EQ(out.tm_year, 0);
    EXPECT_EQ(kvs_localtime64_s(&out, &huge), EINVAL);
    EXPECT_EQ(kvs_gmtime64_s(nullptr, &huge), EINVAL);
    EXPECT_EQ(kvs_gmtime64_s(&out, nullptr), EINVAL);
}
