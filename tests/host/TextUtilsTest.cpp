#include <KvsDataBlocks/host/TextUtils.h>

#include <gtest/gtest.h>

#include <cmath>

TEST(TextUtils, FormatDoubleFixedDecimals)
{
    EXPECT_EQ(FormatDouble(3.14159, 2), "3.14");
    EXPECT_EQ(FormatDouble(2.5, 0), "2");   // printf rounds half to even in binary: 2.5 is exact
    EXPECT_EQ(FormatDouble(-1.005, 1), "-1.0");
    EXPECT_EQ(FormatDouble(-0.0001, 2), "0.00");
    EXPECT_EQ(FormatDouble(12.0, -3), "12");
    EXPECT_EQ(FormatDouble(1.0, 50), "1.00000000000000000000");
    EXPECT_EQ(FormatDouble(1e300, 2).GetLength(), 304);
    EXPECT_EQ(FormatDouble(NAN, 2), "nan");
    EXPECT_EQ(FormatDouble(-INFINITY, 2), "-inf");
}

TEST(TextUtils, DoublePrecisionCountsShortestDecimals)
{
    EXPECT_EQ(GetDoublePrecision(12.0), 0);
    EXPECT_EQ(GetDoublePrecision(0.1), 1);
    EXPECT_EQ(GetDoublePrecision(-2.125), 3);
    EXPECT_EQ(GetDoublePrecision(1e20), 0);
    EXPECT_EQ(GetDoublePrecision(1.5e-5), 6);
    EXPECT_EQ(GetDoublePrecision(NAN), 0);
}

TEST(TextUtils, TimeSpanText)
{
    EXPECT_EQ(TimeSpanToString(0.0, false), "00:00:00");
    EXPECT_EQ(TimeSpanToString(3725.4, false), "01:02:05");
    EXPECT_EQ(TimeSpanToString(3725.4, true), "01:02:05.400");
    EXPECT_EQ(TimeSpanToString(59.9996, true), "00:01:00.000");
    EXPECT_EQ(TimeSpanToString(90061.0, false), "1 d 01:01:01");
    EXPECT_EQ(TimeSpanToString(-61.0, false), "-00:01:01");
    EXPECT_EQ(TimeSpanToString(-0.0001, true), "00:00:00.000");
    EXPECT_EQ(TimeSpanToString(NAN, true), "");
    EXPECT_EQ(TimeSpanToString(1e300, false), "");
}

TEST(TextUtils, StrHandleEscapeReplacesKnownEscapes)
{
    EXPECT_EQ(StrHandleEscape("a\\r\\n\\t\\\\\\\"\\'"), "a\r\n\t\\\"'");
    EXPECT_EQ(StrHandleEscape("\\x41\\x7e\\xFFz"), "A~\xFFz");
    EXPECT_EQ(StrHandleEscape("\\x4G"), "\x04G");
    const CString nul = StrHandleEscape("a\\x00b\\0");
    ASSERT_EQ(nul.GetLength(), 4);
    EXPECT_EQ(nul[1], '\0');
    EXPECT_EQ(nul[3], '\0');
}

TEST(TextUtils, StrHandleEscapeKeepsWhatItDoesNotKnow)
{
    EXPECT_EQ(StrHandleEscape("\\q"), "\\q");
    EXPECT_EQ(StrHandleEscape("\\xZ"), "\\xZ");
    EXPECT_EQ(StrHandleEscape("end\\"), "end\\");
    EXPECT_EQ(StrHandleEscape("\\x"), "\\x");
    EXPECT_EQ(StrHandleEscape(""), "");
}

TEST(TextUtils, CStringAppendKeepsAllBytes)
{
    CString text("$GP");
    CString tail("GGA");
    tail += '\0';
    CStringAppend(text, tail);
    EXPECT_EQ(text.GetLength(), 7);
    EXPECT_EQ(text.Left(6), "$GPGGA");
}

TEST(TextUtils, ParseFiniteDoubleTakesOnlyAWholeFiniteNumber)
{
    double v = 7.0;
    EXPECT_TRUE(ParseFiniteDouble("-12.5e1", v));
    EXPECT_EQ(v, -125.0);
    EXPECT_TRUE(ParseFiniteDouble(std::string_view("3.25xyz", 4), v)); // the view ends before "xyz"
    EXPECT_EQ(v, 3.25);
    v = 7.0;
    for (const char* bad : {"", " 1", "1 ", "1,5", "abc", "nan", "inf", "1e999", "1e-400"}) {
        EXPECT_FALSE(ParseFiniteDouble(bad, v)) << bad;
        EXPECT_EQ(v, 7.0) << bad;
    }
}
