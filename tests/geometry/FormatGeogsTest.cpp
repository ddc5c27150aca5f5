#include <KvsDataBlocks/geometry/FormatGeogs.h>

#include <gtest/gtest.h>

#include <cmath>

TEST(FormatGeogs, FormsHemispheresRoundingAndUnsafeValues)
{
    const struct { double value; unsigned int flags; int decimals, kind; bool hemi, pad, ok; const char* text; } cases[] = {
        {52.5, GEOG_FMT_DEGREES, 4, GEOG_FORMAT_LATITUDE, true, false, true, "52.5000 N"},
        {-52.5125, GEOG_FMT_DM, 3, GEOG_FORMAT_LATITUDE, true, false, true, "52 30.750 S"},
        {4.0 + 7.0 / 60 + 24.44 / 3600, GEOG_FMT_DMS, 2, GEOG_FORMAT_LONGITUDE, true, true, true, "004 07 24.44 E"},
        {-4.5, GEOG_FMT_DMS | GEOG_FMT_HEMI_FIRST, 0, GEOG_FORMAT_LONGITUDE, true, false, true, "W 4 30 00"},
        {-3.25, GEOG_FMT_DM, 1, GEOG_FORMAT_LONGITUDE, false, false, true, "-3 15.0"}, // a sign, no letter
        {10.0 + 59.9999 / 60, GEOG_FMT_DM, 2, GEOG_FORMAT_LATITUDE, true, false, true, "11 00.00 N"}, // carries
        {-1e-9, GEOG_FMT_DEGREES, 2, GEOG_FORMAT_LATITUDE, true, false, true, "0.00 N"}, // zero is positive
        {1.5, GEOG_FMT_DEGREES, 50, GEOG_FORMAT_LATITUDE, false, false, true, "1.500000000"}, // clamped to 9
        {1.5, GEOG_FMT_DEGREES, -3, GEOG_FORMAT_LATITUDE, false, false, true, "2"},
        {std::nan(""), GEOG_FMT_DMS, 2, GEOG_FORMAT_LATITUDE, true, true, false, "---"},
        {INFINITY, GEOG_FMT_DM, 2, GEOG_FORMAT_LATITUDE, true, true, false, "---"},
    };
    for (const auto& c : cases) {
        CString text;
        EXPECT_EQ(FormatGeogs(c.value, c.flags, c.decimals, c.kind, text, c.hemi, c.pad), c.ok) << c.text;
        EXPECT_EQ(text, c.text);
    }
}
