#include <KvsDataBlocks/platform/CalendarText.h>

#include <gtest/gtest.h>

TEST(CalendarText, ReadsTimesThatExistAndMonthLengthsFollowTheGregorianRules)
{
    constexpr double kNo = -1.0;
    const struct { const char* text; char separator; double seconds; size_t used; } cases[] = { // kNo: refused
        {"2026-01-01 00:00:00", '-', 1767225600.0, 19}, {"2026-01-01T00:30:00.250", '-', 1767227400.25, 23},
        {"2026/3/5  7:05:09 1.5", '/', 1772694309.0, 17}, {"2024-02-29 12:00:00", '-', 1709208000.0, 19}, // leap year
        {"2000-02-29 00:00:00", '-', 951782400.0, 19},  // divisible by 400
        {"1969-12-31 23:59:59.5", '-', -0.5, 21}, {"2026-12-31 23:59:59.999", '-', 1798761599.999, 23},
        {"2026-02-29 00:00:00", '-', kNo, 0}, // common year
        {"1900-02-29 00:00:00", '-', kNo, 0}, // century, not divisible by 400
        {"2026-02-30 00:00:00", '-', kNo, 0}, {"2026-02-31 12:00:00", '-', kNo, 0}, {"2026-04-31 00:00:00", '-', kNo, 0},
        {"2026-13-01 00:00:00", '-', kNo, 0}, {"2026-00-10 00:00:00", '-', kNo, 0},
        {"2026-01-00 00:00:00", '-', kNo, 0}, {"2026-01-01 24:00:00", '-', kNo, 0}, {"2026-01-01 12:60:00", '-', kNo, 0},
        {"2016-12-31 23:59:60", '-', kNo, 0}, // a leap second: not a POSIX time
        {"2026-01-01 00:00:59.99999999999999999", '-', kNo, 0}, {"2026-01-01 00:00:00", '/', kNo, 0}, // other separator
        {"2026/01-01 00:00:00", '/', kNo, 0}, {"26-01-01 00:00:00", '-', kNo, 0}, {"20260-01-01 00:00:00", '-', kNo, 0},
        {"2026-001-01 00:00:00", '-', kNo, 0}, {"2026-01-0100:00:00", '-', kNo, 0}, {"2026-01-01 00:00", '-', kNo, 0},
        {"2026-01-01 00:00:00.", '-', kNo, 0}, {"2026-01-01 +1:00:00", '-', kNo, 0}, {"2026-01-01 -1:00:00", '-', kNo, 0},
        {" 2026-01-01 00:00:00", '-', kNo, 0}, {"2026-01-01", '-', kNo, 0}, {"", '-', kNo, 0},
    };
    for (const auto& c : cases) {
        CalendarTime t;
        t.year = 1234;
        const size_t used = ReadCalendarTime(c.text, c.separator, t);
        EXPECT_EQ(used, c.used) << c.text;
        if (c.seconds == kNo)
            EXPECT_EQ(t.year, 1234) << c.text; // left unchanged
        else
            EXPECT_DOUBLE_EQ(t.SecondsSince1970(), c.seconds) << c.text;
    }
    // The text need not end at the time, and a view need not end in NUL.
    const std::string text = "2026-01-01 00:00:00.5";
    CalendarTime t;
    EXPECT_EQ(ReadCalendarTime(std::string_view(text).substr(0, 19), '-', t), 19u);
    EXPECT_EQ(t.second, 0.0);
    const struct { int year, month, days; } months[] = {
        {2026, 1, 31}, {2026, 2, 28}, {2024, 2, 29}, {2000, 2, 29}, {1900, 2, 28}, {2100, 2, 28},
        {2026, 4, 30}, {2026, 9, 30}, {2026, 11, 30}, {2026, 12, 31}, {2026, 0, 0}, {2026, 13, 0}};
    for (const auto& c : months) EXPECT_EQ(DaysInMonth(c.year, c.month), c.days) << c.year << "-" << c.month;
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(DaysFromCivil(2000, 3, 1) - DaysFromCivil(2000, 2, 28), 2);
    EXPECT_EQ(DaysFromCivil(1969, 12, 31), -1);
}
