#include <KvsDataBlocks/platform/Runtime.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>

TEST(Runtime, FcvtDigitsPointAndSignAndSixtyFourBitCalendarConversion)
{
    const struct { double value; int count; const char* digits; int dec, neg; } cases[] = {
        {3.1415926535, 7, "31415927", 1, 0}, {-1234.5678, 2, "123457", 4, 1}, {0.0125, 3, "13", -1, 0},
        {12345.0, 0, "12345", 5, 0},         {NAN, 2, "", 0, 0},              {INFINITY, 2, "", 0, 0},
        {1.5, 20, "150000000000000000000", 1, 0},         // counts beyond seventeen decimals are honoured
        {-0.1, 20, "10000000000000000555", 0, 1},  {0.00125, 18, "1250000000000000", -2, 0}, {1e-25, 20, "", -20, 0},
    };
    for (const auto& c : cases) {
        int dec = 7, neg = 7;
        EXPECT_EQ(kvs_fcvt(c.value, c.count, dec, neg), c.digits) << c.value;
        EXPECT_EQ(std::pair(dec, neg != 0), std::pair(c.dec, c.neg != 0)) << c.value;
    }
    int dec = 0, neg = 0;
    EXPECT_EQ(kvs_fcvt(2.5, -3, dec, neg), kvs_fcvt(2.5, 0, dec, neg));
    EXPECT_EQ(std::pair(kvs_fcvt(1e300, 60, dec, neg).GetLength(), kvs_fcvt(1e300, 99, dec, neg).GetLength()),
              std::pair(361, 361));
    struct tm out {};
    const int64_t t2100 = 4102444800, minusOne = -1, huge = int64_t{1} << 62;
    ASSERT_EQ(kvs_gmtime64_s(&out, &t2100), 0);
    EXPECT_EQ(std::vector<int>({out.tm_year, out.tm_mon, out.tm_mday}), std::vector<int>({200, 0, 1}));
    ASSERT_EQ(kvs_gmtime64_s(&out, &minusOne), 0);
    EXPECT_EQ(std::vector<int>({out.tm_year, out.tm_sec}), std::vector<int>({69, 59}));
    ASSERT_EQ(kvs_localtime64_s(&out, &t2100), 0);
    // Failures zero the output.
    const int gmt = kvs_gmtime64_s(&out, &huge);
    EXPECT_EQ(std::pair(gmt, out.tm_year), std::pair(EINVAL, 0));
    EXPECT_EQ(std::vector<int>(
                  {kvs_localtime64_s(&out, &huge), kvs_gmtime64_s(nullptr, &huge), kvs_gmtime64_s(&out, nullptr)}),
              std::vector<int>({EINVAL, EINVAL, EINVAL}));
}
