// Time, date, zone and data-element functions of the formula catalogue, with the clock
// and the time zone fixed by the test.
#include "ClockGuard.h"
#include "FormulaRunner.h"
#include "TimeZoneGuard.h"

#include <KvsDataBlocks/datablocks/CDataBlock.h>

constexpr int64_t k20240305_123456 = 1709642096000; // 2024-03-05 12:34:56 UTC
constexpr int64_t k20240101 = 1704067200000;        // 2024-01-01 00:00 UTC
constexpr int64_t kDay = 86400000;
constexpr int64_t k20241225_0800 = 1735113600000;
constexpr int64_t k20240701_1200 = 1719835200000;

TEST(CcalcTime, TimeDateZoneAndElementFunctionsWriteTheirLayouts)
{
    const int64_t t = k20240305_123456;
    const char* east = "<+13>-13"; // 12:34 UTC is 01:34 of the next day
    const struct { const char* tz; int64_t clock; const char* formula; const char* text; } cases[] = {
        // UTC fields whatever the zone; the fraction is cut, not rounded, at most nine digits.
        {"EST5", t + 789, "CurrentTime(0)", "123456.0"}, {"EST5", t + 789, "CurrentTime(1)", "123456.7"},
        {"EST5", t + 789, "CurrentTime(2)", "123456.78"}, {"EST5", t + 789, "CurrentTime(3)", "123456.789"},
        {"EST5", t + 789, "CurrentTime(4)", "123456.7890"}, {"EST5", t + 789, "CurrentTime(6)", "123456.789000"},
        {"EST5", t + 789, "CurrentTime(3.9)", "123456.789"}, {"EST5", t + 789, "CurrentTime(40)", "123456.789000000"},
        {"EST5", t + 789, "CurTimeToHHMMSSTTTT()", "123456.0789"},
        // Small milliseconds are zero-padded.
        {"EST5", t + 5, "CurrentTime(1)", "123456.0"}, {"EST5", t + 5, "CurrentTime(2)", "123456.00"},
        {"EST5", t + 5, "CurrentTime(3)", "123456.005"}, {"EST5", t + 5, "CurrentTime(6)", "123456.005000"},
        {"EST5", t + 5, "CurTimeToHHMMSSTTTT()", "123456.0005"},
        // Dates in both orders, case-sensitive, of the local calendar; CurDateToYYYYMMDD's is UTC.
        {"UTC0", t, "CurrentDate(\"YMD\", \"-\")", "2024-03-05"}, {"UTC0", t, "CurrentDate(\"DMY\", \"/\")", "05/03/2024"},
        {"UTC0", t, "CurrentDate(\"YMD\", \"\")", "20240305"}, {"UTC0", t, "CurrentDate(\"DMY\", \". \")", "05. 03. 2024"},
        {"UTC0", t, "CurrentDate(\"ymd\", \"-\")", ""}, {"UTC0", t, "CurrentDate(\"MDY\", \"-\")", ""},
        {east, t, "CurrentDate(\"YMD\", \"-\")", "2024-03-06"}, {east, t, "CurDateToYYYYMMDD()", "20240305"},
        {"UTC0", k20241225_0800, "CurrentDate(\"DMY\", \".\")", "25.12.2024"},
        {"UTC0", k20241225_0800, "CurDateToYYYYMMDD()", "20241225"},
    };
    FormulaRunner f;
    for (const auto& c : cases) {
        TimeZoneGuard tz(c.tz);
        ClockGuard clock(c.clock);
        EXPECT_EQ(f.TextOf(c.formula), c.text) << c.formula << " at " << c.clock << " " << c.tz;
    }
    TimeZoneGuard tz("EST5"); // UTC whatever the zone
    const double ts = static_cast<double>(k20240305_123456);
    const struct { double ms; const char* text; } stamps[] = {
        {ts + 250, "123456.25"}, {ts + 990, "123456.99"}, {ts + 999, "123456.99"}, {ts + 995, "123456.99"},
        {ts + 994, "123456.99"}, {ts + 50, "123456.05"},  {ts, "123456.00"},       {ts + 9, "123456.01"},
        {ts + 4, "123456.00"},   {-500.0, "235959.50"}, // before 1970: the second before, not a negative fraction
    };
    for (const auto& c : stamps) {
        f.Time(0, c.ms);
        EXPECT_EQ(f.TextOf("TimeStr(tim0)"), c.text) << c.ms;
    }
    // A time without a time of day fails the call instead of giving an empty text.
    for (double ms : {double(NAN), 1e300, -1e300}) {
        f.Time(0, ms);
        EXPECT_EQ(f.ExecErrorOf("TimeStr(tim0)"), CForm::ErrCalculation) << ms;
    }
    ClockGuard clock(k20240305_123456 + 789); // still in EST5
    const std::string tooLong = "FormatTime(\"" + std::string(128, 'x') + "\", 3)";
    const std::string fits = "FormatTime(\"" + std::string(127, 'x') + "\", 0)";
    const std::string fitsText(127, 'x');
    ExpectTexts(f, {
        {"FormatTime(\"%H:%M:%S.\", 3)", "07:34:56.789"}, {"FormatTime(\"%H:%M:%S.\", 0)", "07:34:56."},
        {"FormatTime(\"%Y\", 2)", "202478"},              {"FormatTime(\"\", 3)", "789"}, // no "." of its own
        {tooLong.c_str(), ""},                            {fits.c_str(), fitsText}, // 128 characters at most
    });
    TimeZoneGuard ist("IST-5:30");
    f.Time(0, static_cast<double>(k20240305_123456 + 500));
    // 123 ms is no binary fraction of a second: splitting time / 1000 would read 122.
    f.Time(1, static_cast<double>(k20240305_123456 + 123));
    f.Time(2, -1.0).Time(3, std::nan("")).Time(4, INFINITY);
    ExpectTexts(f, {
        {"FormatMyTime(tim0, \"%H:%M:%S.\", 3)", "18:04:56.500"}, {"FormatMyTime(tim0, \"%H:%M:%S\", 0)", "18:04:56"},
        {"FormatMyTime(tim1, \"%S.\", 3)", "56.123"},             {"FormatMyTime(tim1, \"%S.\", 2)", "56.12"},
        {"FormatMyTime(tim0, \"%Y-%m-%d\", 0)", "2024-03-05"},
        {"FormatMyTime(tim2, \"%Y-%m-%d %H:%M:%S.\", 3)", "1970-01-01 05:29:59.999"},
        {"FormatMyTime(tim3, \"%H\", 3)", ""},                    {"FormatMyTime(tim4, \"%H\", 3)", ""},
    });
    const char* cet = "CET-1CEST,M3.5.0,M10.5.0/3";
    const struct { const char* tz; const char* hours; const char* minutes; int64_t clock = k20240305_123456; } zones[] = {
        {"IST-5:30", "05", "30"},   {"<-0530>5:30", "-05", "30"}, {"<+12>-12", "12", "00"},
        {"UTC0", "00", "00"},       {"EST5", "-05", "00"},        {"<+0545>-5:45", "05", "45"},
        {"<+10>-10", "10", "00"},   {"<-11>11", "-11", "00"},     {cet, "01", "00"}, {cet, "02", "00", k20240701_1200},
        // Under one hour: the hours are written as "00", signed west of Greenwich.
        {"<+0030>-0:30", "00", "30"}, {"<-0030>0:30", "-00", "30"},
    };
    for (const auto& c : zones) {
        TimeZoneGuard tz(c.tz);
        ClockGuard clock(c.clock);
        EXPECT_EQ(f.TextOf("LocalZoneHr()") + "/" + f.TextOf("LocalZoneMin()"), CString(c.hours) + "/" + c.minutes)
            << c.tz;
    }
    const struct { int64_t ms; const char* tz; double day; } days[] = {
        {k20240101, "UTC0", 1},   {k20240101 + kDay - 1, "UTC0", 1},     {k20240101 + 31 * kDay, "UTC0", 32},
        {k20240101 + 365 * kDay, "UTC0", 366}, {k20240101 - 306 * kDay, "UTC0", 60}, // 2023-03-01
        {k20240101 + 60 * kDay, "UTC0", 61},   {k20240101 + 31 * kDay - 1800000, "UTC0", 31},
        {k20240101 + 31 * kDay - 1800000, "CET-1", 32}, // 2024-01-31 23:30 UTC: 00:30 on 1 February
    };
    for (const auto& c : days) {
        TimeZoneGuard tz(c.tz);
        f.Time(0, static_cast<double>(c.ms));
        EXPECT_DOUBLE_EQ(f.NumberOf("JulianDay(tim0)"), c.day) << c.ms << " " << c.tz;
    }
    f.Time(1, std::nan(""));
    EXPECT_DOUBLE_EQ(f.NumberOf("JulianDay(tim1)"), 0.0); // result left as created
    CDataBlock block;
    const std::pair<decltype(ET_DOUBLE), int> types[] = {{ET_DOUBLE, 8}, {ET_SHORT, 2}, {ET_STRING, 8}};
    ASSERT_TRUE(block.Allocate(3));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(block.InitDataElement(i, i + 1, types[i].first, types[i].second, 0, 0));
    ASSERT_TRUE(block.Init() && block.SetDataValue(1, 12.5, 0, CDataBlock::kById) &&
                block.SetDataValue(2, static_cast<short>(-7), 20, CDataBlock::kById) &&
                block.SetDataValue(3, "text", 0, CDataBlock::kById));
    CKvsBytePtr* views[3] = {};
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(block.GetDataIdx(i, views[i]) && f.Form().SetDataElem(i, views[i]));
    const std::pair<const char*, double> entries[] = {
        {"EntryValue(dataElem0)", 12.5}, {"EntryValue(dataElem1) * 2", -14.0}, {"EntryStatus(dataElem0)", 0.0},
        {"EntryStatus(dataElem1)", 20.0}, {"EntryValue(dataElem2)", 0.0}, // a text has no value
    };
    for (const auto& [formula, value] : entries) EXPECT_DOUBLE_EQ(f.NumberOf(formula), value) << formula;
    // The calls read the element at every run.
    ASSERT_TRUE(f.Form().SetFormula("FtoS(EntryValue(dataElem0), 1) + \"/\" + FtoS(EntryStatus(dataElem0), 0)"));
    ASSERT_TRUE(block.SetDataValue(1, 13.5, 30, CDataBlock::kById));
    EXPECT_EQ(f.TextAgain(), "13.5/30");
    // An element that cannot be read leaves the result as it was.
    double storage = 4.5;
    CKvsBytePtr view(ET_DOUBLE, 8);
    view.SetDataPtr(reinterpret_cast<unsigned char*>(&storage));
    f.Form().SetDataElem(3, &view);
    EXPECT_DOUBLE_EQ(f.NumberOf("EntryValue(dataElem3)"), 4.5);
    view.SetDataPtr(nullptr);
    EXPECT_EQ(f.TextAgain(), "4.5");
}
