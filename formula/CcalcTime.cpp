// Time, date and data-element functions of the formula catalogue. Times are milliseconds
// since 1970-01-01 00:00 UTC; the clock and the zone come from CExTime, so tests and
// callers can replace both. Texts are written through strftime into a buffer of 128
// characters: a text that does not fit gives an empty text.
#include <KvsDataBlocks/formula/Ccalc.h>

#include <KvsDataBlocks/datablocks/CKvsBytePtr.h>
#include <KvsDataBlocks/formula/detail/CcalcArgs.h>
#include <KvsDataBlocks/platform/CExTime.h>
#include <KvsDataBlocks/values/CKvsType.h>
#include <KvsDataBlocks/platform/TextUtils.h>
#include <KvsDataBlocks/platform/CTime.h>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <string>

using kvs::calc::NumberOf;
using kvs::calc::TextOf;
using kvs::calc::TruncToInt;

namespace {

constexpr size_t kStrftimeBuffer = 128;

// Most fraction digits written; a larger count writes this many (nanoseconds).
constexpr int kMaxFractionDigits = 9;

// Farthest time from 1970 (in milliseconds, about three million years) that is written.
constexpr double kMaxTimeMs = 1.0e17;

// format applied to t; false when the text does not fit the buffer. An empty format
// writes an empty text.
bool Strftime(const struct tm& t, const char* format, CString& out)
{
    out.Empty();
    if (format == nullptr || *format == '\0') return true;
    char buf[kStrftimeBuffer];
    const size_t n = std::strftime(buf, sizeof buf, format, &t);
    if (n == 0) return false;
    out = CString(buf, static_cast<int>(n));
    return true;
}

// The milliseconds ms (0 to 999) as n fraction digits: zero-padded to n digits, cut to
// the leading digits below 3 (2 digits of 789 are "78"), followed by zeros above 3.
// A count of 0 or less writes the value without width, which is then always "0".
CString FractionDigits(int ms, int n)
{
    CString out;
    if (n <= 0) {
        out.Format("%d", 0);
    } else if (n < 3) {
        out.Format("%0*d", n, n == 1 ? ms / 100 : ms / 10);
    } else {
        if (n > kMaxFractionDigits) n = kMaxFractionDigits;
        // Written by formats only: assigning or appending texts here draws a false
        // -Wrestrict warning from g++ 12 at -O3.
        out.Format("%03d%.*s", ms, n - 3, "000000");
    }
    return out;
}

// The current time: whole seconds and milliseconds of the second (0 to 999).
CTime Now(int& ms)
{
    CTime now;
    CExTime::GetCurTime(now, ms);
    return now;
}

// A time in milliseconds split into the calendar time of its whole second and the
// milliseconds within it. Seconds are rounded down so that times before 1970 keep
// 0..999 milliseconds of their own second; false for NaN, infinite or far-off times.
bool SplitTime(double time, CTime& seconds, int& ms)
{
    if (!std::isfinite(time) || std::fabs(time) > kMaxTimeMs) return false;
    const double whole = std::floor(time / 1000.0);
    double rest = std::floor(time - whole * 1000.0);
    if (rest < 0.0) rest = 0.0;
    if (rest > 999.0) rest = 999.0;
    seconds = CTime(static_cast<int64_t>(whole));
    ms = static_cast<int>(rest);
    return true;
}

// Hours or minutes of a zone offset: "0%d" below 10, "%d" from 10 on.
CString TwoDigits(long value)
{
    CString out;
    if (value < 10) out.Format("0%ld", value);
    else out.Format("%ld", value);
    return out;
}

} // namespace

// A time that has no time of day (beyond the calendar) fails the call.
void Ccalc::TimeToString() { Status(TimeToStr(*m_a1)); }
void Ccalc::ElemToDouble() { ElemToDouble(*m_a1); }
void Ccalc::ElemStatusToDouble() { ElemStatusToDouble(*m_a1); }
void Ccalc::JulianDay() { JulianDay(*m_a1); }
void Ccalc::CurDateStr() { CurrentDate(*m_a1, *m_a2); }
void Ccalc::CurTimeStr() { CurrentTime(*m_a1); }
void Ccalc::FormatTime() { FormatTime(*m_a1, *m_a2); }
void Ccalc::FormatMyTime() { FormatMyTime(*m_a1, *m_a2, *m_a3); }

// The current UTC date, 'YYYYMMDD'.
void Ccalc::CurDateToYYYYMMDD()
{
    int ms = 0;
    struct tm t {};
    CString out;
    if (!Now(ms).GetGmtTm(t) || !Strftime(t, "%Y%m%d", out)) out.Empty();
    m_result->SetValueStr(out);
}

// The current UTC time, 'HHMMSS.0mmm' (milliseconds in four digits).
void Ccalc::CurTimeToHHMMSSTTTT()
{
    int ms = 0;
    struct tm t {};
    CString out;
    if (Now(ms).GetGmtTm(t) && Strftime(t, "%H%M%S.", out)) out.AppendFormat("%4.4d", ms);
    else out.Empty();
    m_result->SetValueStr(out);
}

// The local zone offset's minutes past the hour, two digits ('30' for UTC+05:30 and for
// UTC-05:30, '00' for whole hours). For zones on whole minutes this is "0%.0f" below 10
// and "%.0f" from 10 on; odd offsets that round up to 10 minutes read '10', not '010'.
void Ccalc::LocalZoneMin()
{
    const double hours = std::fabs(static_cast<double>(CExTime::GetTimezone()) / 3600000.0);
    const double minutes = (hours - std::floor(hours)) * 60.0;
    CString out;
    out.Format("%02.0f", minutes);
    m_result->SetValueStr(out);
}

// The local zone offset's whole hours, signed west of Greenwich: '05' for UTC+05:30,
// '-05' for UTC-05:30, '12' for UTC+12. An offset under one hour writes '00' ('-00' west
// of Greenwich), so the field is never empty.
void Ccalc::LocalZoneHr()
{
    const long zone = CExTime::GetTimezone();
    const long hours = zone / 3600000L;
    CString out;
    if (hours > 0) out = TwoDigits(hours);
    else if (hours < 0) out = "-" + TwoDigits(-hours);
    else out = zone < 0 ? "-00" : "00";
    m_result->SetValueStr(out);
}

// The UTC time of day of a time with two-digit hundredths, 'HHMMSS.hh'; the hundredths
// are rounded but never above 99 (12:34:56.999 gives '123456.99'). A NaN, infinite or
// far-off time gives an empty text.
int Ccalc::TimeToStr(CKvsType& time)
{
    CTime seconds;
    int ms = 0;
    struct tm t {};
    CString out;
    if (SplitTime(NumberOf(time), seconds, ms) && seconds.GetGmtTm(t) && Strftime(t, "%H%M%S", out)) {
        // Hundredths from the exact milliseconds (and any fraction of one).
        const double value = NumberOf(time);
        double hundredths = (value - static_cast<double>(seconds.GetTime()) * 1000.0) / 10.0;
        if (hundredths > 99.0) hundredths = 99.0;
        if (hundredths < 0.0) hundredths = 0.0;
        CString fraction;
        fraction.Format("%02.0f", hundredths);
        CStringAppend(out, ".");
        CStringAppend(out, fraction);
    } else {
        out.Empty();
        m_result->SetValueStr(out);
        return 0;
    }
    m_result->SetValueStr(out);
    return 1;
}

// The element's value without unit conversion; an element whose value cannot be read
// leaves the result as it was (status 0).
int Ccalc::ElemToDouble(CKvsType& element)
{
    const auto* view = dynamic_cast<const CKvsBytePtr*>(&element);
    double value = 0.0;
    if (view == nullptr || !view->GetValueInDouble(value, false)) return 0;
    m_result->SetDouble(value);
    return 1;
}

int Ccalc::ElemStatusToDouble(CKvsType& element)
{
    const auto* view = dynamic_cast<const CKvsBytePtr*>(&element);
    if (view == nullptr) return 0;
    m_result->SetDouble(static_cast<double>(view->GetStatus()));
    return 1;
}

// Day of the local calendar year of a time, 1 for 1 January. A NaN or infinite time, or
// one without a calendar date, leaves the result as it was (status 0).
int Ccalc::JulianDay(CKvsType& time)
{
    const double value = NumberOf(time);
    struct tm t {};
    if (!std::isfinite(value) || std::fabs(value) > kMaxTimeMs || !CExTime::ConvertToCTime(value).GetLocalTm(t))
        return 0;
    const int year = t.tm_year + 1900;
    const double days = CExTime::ConvertToJulianFrac(t.tm_mon + 1, t.tm_mday, year) - CExTime::ConvertToJulianFrac(1, 1, year);
    m_result->SetDouble(std::trunc(days) + 1.0);
    return 1;
}

// The current UTC time 'HHMMSS.' followed by n fraction digits.
int Ccalc::CurrentTime(CKvsType& digits)
{
    int ms = 0;
    struct tm t {};
    CString out;
    if (Now(ms).GetGmtTm(t) && Strftime(t, "%H%M%S.", out)) out += FractionDigits(ms, TruncToInt(NumberOf(digits)));
    else out.Empty();
    m_result->SetValueStr(out);
    return 1;
}

// The current local date as year, month and day ("YMD") or day, month and year ("DMY")
// joined by the separator; day and month in two digits. Another order gives "" (0).
int Ccalc::CurrentDate(CKvsType& order, CKvsType& separator)
{
    const CString how = TextOf(order);
    const CString sep = TextOf(separator);
    int ms = 0;
    struct tm t {};
    CString out;
    const bool ymd = how == "YMD";
    const bool dmy = how == "DMY";
    if ((ymd || dmy) && Now(ms).GetLocalTm(t)) {
        const CString day = TwoDigits(t.tm_mday);
        const CString month = TwoDigits(t.tm_mon + 1);
        CString year;
        year.Format("%d", t.tm_year + 1900);
        out = ymd ? year + sep + month + sep + day : day + sep + month + sep + year;
    }
    m_result->SetValueStr(out);
    return (ymd || dmy) ? 1 : 0;
}

// The current local time in the caller's strftime format; for a digit count other than 0
// the fraction digits follow directly (the format supplies any "."). A text that does
// not fit gives an empty text.
int Ccalc::FormatTime(CKvsType& format, CKvsType& digits)
{
    const CString how = TextOf(format);
    const int n = TruncToInt(NumberOf(digits));
    int ms = 0;
    struct tm t {};
    CString out;
    if (Now(ms).GetLocalTm(t) && Strftime(t, how.GetString(), out)) {
        if (n != 0) out += FractionDigits(ms, n);
    } else {
        out.Empty();
    }
    m_result->SetValueStr(out);
    return 1;
}

// A given time in local time in the caller's format, with fraction digits as FormatTime.
// A NaN, infinite or far-off time gives an empty text.
int Ccalc::FormatMyTime(CKvsType& time, CKvsType& format, CKvsType& digits)
{
    const CString how = TextOf(format);
    const int n = TruncToInt(NumberOf(digits));
    CTime seconds;
    int ms = 0;
    struct tm t {};
    CString out;
    if (SplitTime(NumberOf(time), seconds, ms) && seconds.GetLocalTm(t) && Strftime(t, how.GetString(), out)) {
        if (n != 0) out += FractionDigits(ms, n);
    } else {
        out.Empty();
    }
    m_result->SetValueStr(out);
    return 1;
}
