#include <KvsDataBlocks/platform/CTime.h>

#include <KvsDataBlocks/platform/Runtime.h>

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int isDst)
{
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = isDst;
    m_time = static_cast<int64_t>(mktime(&t));
}

CTime CTime::GetCurrentTime()
{
    return CTime(static_cast<int64_t>(std::time(nullptr)));
}

bool CTime::GetGmtTm(struct tm& out) const
{
    return kvs_gmtime64_s(&out, &m_time) == 0;
}

bool CTime::GetLocalTm(struct tm& out) const
{
    return kvs_localtime64_s(&out, &m_time) == 0;
}

namespace {

int LocalField(const CTime& t, int tm::*field, int add)
{
    struct tm out {};
    if (!t.GetLocalTm(out)) return 0;
    return out.*field + add;
}

CString FormatTm(const struct tm& t, const char* format)
{
    if (!format || !*format) return CString();
    char buf[512];
    const size_t n = std::strftime(buf, sizeof buf, format, &t);
    return CString(buf, static_cast<int>(n));
}

} // namespace

int CTime::GetYear() const { return LocalField(*this, &tm::tm_year, 1900); }
int CTime::GetMonth() const { return LocalField(*this, &tm::tm_mon, 1); }
int CTime::GetDay() const { return LocalField(*this, &tm::tm_mday, 0); }
int CTime::GetHour() const { return LocalField(*this, &tm::tm_hour, 0); }
int CTime::GetMinute() const { return LocalField(*this, &tm::tm_min, 0); }
int CTime::GetSecond() const { return LocalField(*this, &tm::tm_sec, 0); }
int CTime::GetDayOfWeek() const { return LocalField(*this, &tm::tm_wday, 1); }

CString CTime::Format(const char* format) const
{
    struct tm t {};
    if (!GetLocalTm(t)) return CString();
    return FormatTm(t, format);
}

CString CTime::FormatGmt(const char* format) const
{
    struct tm t {};
    if (!GetGmtTm(t)) return CString();
    return FormatTm(t, format);
}
