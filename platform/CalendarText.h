// CalendarText: the one reader of calendar times written as text, "YYYY-MM-DD HH:MM:SS[.fff]"
// in UTC, shared by the tide file reader, the tool's time options and the formula's date
// function, with the Gregorian calendar rules they check against. Impossible times are
// refused rather than carried into the next month or day: 30 or 31 February, 29 February
// of a common year, 31 April, hour 24, minute 60. A leap second (second 60) is refused
// too: times are POSIX seconds, which have no leap seconds, so 23:59:60 could only be
// stored as the next day's 00:00:00 and would not read back as written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

struct CalendarTime
{
    int year = 1970;
    int month = 1; // 1 to 12
    int day = 1;   // 1 to the days of the month
    int hour = 0;  // 0 to 23
    int minute = 0;
    double second = 0.0; // 0 to below 60, with its fraction

    // Seconds since 1970-01-01 00:00:00 UTC of the start of the minute, proleptic Gregorian.
    int64_t MinuteSince1970() const;
    double SecondsSince1970() const { return static_cast<double>(MinuteSince1970()) + second; }
};

// Gregorian leap year: every fourth year, except centuries not divisible by 400.
bool IsLeapYear(int64_t year);

// The days of a month (1 to 12) of a year; 0 for a month outside 1 to 12.
int DaysInMonth(int64_t year, int month);

// True when the day exists: month 1 to 12, day 1 to the days of that month.
bool IsCalendarDate(int64_t year, int month, int day);

// Days since 1970-01-01 of a proleptic Gregorian date (month 1 to 12, day from 1; a day
// beyond the month's end counts on into the next).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);

// Reads a calendar time at the start of text: a four-digit year, month and day of one or
// two digits, each separated by dateSeparator ('-' or '/'); one or more blanks or a single
// 'T'; hour, minute and second of one or two digits separated by ':', the second with an
// optional fraction (".5", ".125"). Returns the number of characters read and fills out;
// returns 0, leaving out unchanged, when the text does not start with such a time or the
// time does not exist (see above). What follows the time is the caller's to check.
size_t ReadCalendarTime(std::string_view text, char dateSeparator, CalendarTime& out);
