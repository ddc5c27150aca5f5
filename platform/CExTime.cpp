#include <KvsDataBlocks/platform/CExTime.h>

#include <KvsDataBlocks/platform/CalendarText.h>
#include <KvsDataBlocks/platform/Runtime.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <utility>

namespace {

// The replaceable sources; empty means the system clock / the C library's zone.
struct Sources
{
    std::mutex mutex;
    CExTime::ClockSource clock;
    CExTime::TimezoneSource zone;
};

Sources& TheSources()
{
    static Sources sources;
    return sources;
}

int64_t SystemClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

} // namespace

CExTime::ClockSource CExTime::SetClockSource(ClockSource source)
{
    Sources& s = TheSources();
    std::lock_guard<std::mutex> guard(s.mutex);
    return std::exchange(s.clock, std::move(source));
}

CExTime::TimezoneSource CExTime::SetTimezoneSource(TimezoneSource source)
{
    Sources& s = TheSources();
    std::lock_guard<std::mutex> guard(s.mutex);
    return std::exchange(s.zone, std::move(source));
}

int64_t CExTime::GetCurTimeMs()
{
    ClockSource clock;
    {
        Sources& s = TheSources();
        std::lock_guard<std::mutex> guard(s.mutex);
        clock = s.clock;
    }
    return clock ? clock() : SystemClockMs();
}

void CExTime::GetCurTime(CTime& time, int& milliseconds)
{
    const int64_t now = GetCurTimeMs();
    const int64_t seconds = FloorDiv(now, 1000);
    time = CTime(seconds);
    milliseconds = static_cast<int>(now - seconds * 1000);
}

long CExTime::GetTimezone()
{
    TimezoneSource zone;
    {
        Sources& s = TheSources();
        std::lock_guard<std::mutex> guard(s.mutex);
        zone = s.zone;
    }
    if (zone) return static_cast<long>(zone());
    const int64_t seconds = FloorDiv(GetCurTimeMs(), 1000);
    struct tm local {};
    if (kvs_localtime64_s(&local, &seconds) != 0) return 0;
    return static_cast<long>(local.tm_gmtoff) * 1000L;
}

double CExTime::ConvertToJulianFrac(int month, int day, int year)
{
    // Carry the month into the year first, then let the day count run on.
    const int64_t m0 = static_cast<int64_t>(month) - 1;
    const int64_t y = static_cast<int64_t>(year) + FloorDiv(m0, 12);
    const int64_t m = m0 - FloorDiv(m0, 12) * 12 + 1;
    const int64_t days = DaysFromCivil(y, m, 1) + (static_cast<int64_t>(day) - 1);
    return static_cast<double>(days + 2440588); // 1970-01-01 is Julian day 2440588
}

CTime CExTime::ConvertToCTime(double milliseconds)
{
    if (!std::isfinite(milliseconds)) return CTime(0);
    const double seconds = std::floor(milliseconds / 1000.0);
    if (std::fabs(seconds) > 9.0e15) return CTime(0);
    return CTime(static_cast<int64_t>(seconds));
}

CString CExTime::TimeToString(double milliseconds, bool withDate, bool withMs, bool local)
{
    if (!std::isfinite(milliseconds)) return CString();
    const double secondsD = std::floor(milliseconds / 1000.0);
    if (std::fabs(secondsD) > 4.0e11) return CString();
    const int64_t seconds = static_cast<int64_t>(secondsD);
    int ms = static_cast<int>(std::floor(milliseconds - secondsD * 1000.0));
    if (ms < 0) ms = 0;
    if (ms > 999) ms = 999;
    struct tm t {};
    if ((local ? kvs_localtime64_s(&t, &seconds) : kvs_gmtime64_s(&t, &seconds)) != 0) return CString();
    const int year = t.tm_year + 1900;
    if (year < 0 || year > 9999) return CString();
    CString text;
    if (withDate) text.Format("%04d-%02d-%02d ", year, t.tm_mon + 1, t.tm_mday);
    text.AppendFormat("%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    if (withMs) text.AppendFormat(".%03d", ms);
    return text;
}
