// CExTime: clock and calendar helpers of the base library, used by the formula time
// functions and the value formatter. Times are milliseconds since 1970-01-01 00:00 UTC
// unless said otherwise. Every member is static; an object may be used to call them.
//
// The clock and the zone offset come from replaceable sources so that tests are
// deterministic: SetClockSource / SetTimezoneSource install a function (an empty function
// restores the system source) and return the previous one. Install sources while no other
// thread reads the clock, e.g. in test set-up.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/platform/CString.h>
#include <KvsDataBlocks/platform/CTime.h>

#include <cstdint>
#include <functional>

class KVS_API CExTime
{
public:
    // Current time in milliseconds since 1970 UTC.
    using ClockSource = std::function<int64_t()>;
    // Local zone offset in milliseconds, east of Greenwich positive.
    using TimezoneSource = std::function<int64_t()>;

    static ClockSource SetClockSource(ClockSource source);
    static TimezoneSource SetTimezoneSource(TimezoneSource source);

    // Current time in milliseconds since 1970 UTC, from the clock source.
    static int64_t GetCurTimeMs();
    // The current time: its whole seconds and the milliseconds of the second (0 to 999).
    static void GetCurTime(CTime& time, int& milliseconds);
    // The local zone offset in milliseconds, east of Greenwich positive (UTC+05:30 gives
    // 19800000, UTC-05:00 gives -18000000), including daylight saving in force now. The
    // system source asks the C library for the offset at the current clock time (TZ).
    static long GetTimezone();

    // Julian day number of a Gregorian calendar date at noon (2000-01-01 gives 2451545),
    // so the difference of two dates is their distance in days. Months outside 1 to 12
    // carry into the year (month 13 is January of the next year, month 0 December of the
    // year before); days outside the month carry likewise.
    static double ConvertToJulianFrac(int month, int day, int year);

    // The calendar time of the whole second that holds the time (rounded down, so
    // -1 ms gives 1969-12-31 23:59:59). A NaN or infinite time gives CTime(0).
    static CTime ConvertToCTime(double milliseconds);

    // Text of a time: "YYYY-MM-DD HH:MM:SS" with withDate, "HH:MM:SS" without; withMs adds
    // ".mmm" (milliseconds rounded down). local selects local calendar fields (TZ),
    // otherwise UTC. A time that cannot be shown (NaN, beyond year 9999) gives an empty text.
    static CString TimeToString(double milliseconds, bool withDate, bool withMs, bool local);
};
