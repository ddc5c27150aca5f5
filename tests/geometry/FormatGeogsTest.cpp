#include <KvsDataBlocks/geometry/FormatGeogs.h>

#include <gtest/gtest.h>

#include <cmath>

TEST(FormatGeogs, ThreeFormsWithHemisphereLetters)
{
    CString text;
    EXPECT_TRUE(FormatGeogs(52.5, GEOG_FMT_DEGREES, 4, GEOG_FORMAT_LATITUDE, text, true, false));
    EXPECT_EQ(text, "52.5000 N");
    EXPECT_TRUE(FormatGeogs(-52.5125, GEOG_FMT_DM, 3, GEOG_FORMAT_LATITUDE, text, true, false));
    EXPECT_EQ(text, "52 30.750 S");
    EXPECT_TRUE(FormatGeogs(4.0 + 7.0 / 60 + 24.44 / 3600, GEOG_FMT_DMS, 2, GEOG_FORMAT_LONGITUDE, text, true, true));
    EXPECT_EQ(text, "004 07 24.44 E");
    EXPECT_TRUE(FormatGeogs(-4.5, GEOG_FMT_DMS | GEOG_FMT_HEMI_FIRST, 0, GEOG_FORMAT_LONGITUDE, text, true, false));
    EXPECT_EQ(text, "W 4 30 00");
}

TEST(FormatGeogs, SignInsteadOfLettersAndRoundingCarries)
{
    CString text;
    EXPECT_TRUE(FormatGeogs(-3.25, GEOG_FMT_DM, 1, GEOG_FORMAT_LONGITUDE, text, false, false));
    EXPECT_EQ(text, "-3 15.0");
    // 59.9999 minutes at two decimals round up into the next degree.
    EXPECT_TRUE(FormatGeogs(10.0 + 59.9999 / 60, GEOG_FMT_DM, 2, GEOG_FORMAT_LATITUDE, text, true, false));
    EXPECT_EQ(text, "11 00.00 N");
    // A value that rounds to zero takes the positive hemisphere.
    EXPECT_TRUE(FormatGeogs(-1e-9, GEOG_FMT_DEGREES, 2, GEOG_FORMAT_LATITUDE, text, true, false));
    EXPECT_EQ(text, "0.00 N");
}

TEST(FormatGeogs, NonFiniteValuesAndWildDecimalsAreSafe)
{
    CString text;
    EXPECT_FALSE(FormatGeogs(std::nan(""), GEOG_FMT_DMS, 2, GEOG_FORMAT_LATITUDE, text, true, true));
    EXPECT_EQ(text, "---");
    EXPECT_FALSE(FormatGeogs(INFINITY, GEOG_FMT_DM, 2, GEOG_FORMAT_LATITUDE, text, true, true));
    EXPECT_TRUE(FormatGeogs(1.5, GEOG_FMT_DEGREES, 50, GEOG_FORMAT_LATITUDE, text, false, false));
    EXPECT_EQ(text, "1.500000000"); // decimals clamped to 9
    EXPECT_TRUE(FormatGeogs(1.5, GEOG_FMT_DEGREES, -3, GEOG_FORMAT_LATITUDE, text, false, false));
    EXPECT_EQ(text, "2");
}
