// CTime: a calendar time as whole seconds since 1970-01-01 00:00:00 UTC (64 bit), with
// local and UTC calendar fields and strftime formatting, as the framework's CTime.
// Local fields follow the process time zone (TZ).
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/platform/CString.h>

#include <cstdint>
#include <ctime>

class KVS_API CTime
{
public:
    CTime() = default;
    explicit CTime(int64_t secondsSince1970) : m_time(secondsSince1970) {}
    // Local calendar time; isDst < 0 lets the C library decide daylight saving.
    CTime(int year, int month, int day, int hour, int minute, int second, int isDst = -1);

    static CTime GetCurrentTime();

    int64_t GetTime() const { return m_time; }

    // Local calendar fields (month 1-12, day of week 1 = Sunday as the framework has it).
    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    int GetDayOfWeek() const;

    // Broken-down time; false when the time cannot be represented.
    bool GetGmtTm(struct tm& out) const;
    bool GetLocalTm(struct tm& out) const;

    // strftime of the local (Format) or UTC (FormatGmt) calendar fields.
    CString Format(const char* format) const;
    CString FormatGmt(const char* format) const;

    bool operator==(const CTime& o) const { return m_time == o.m_time; }
    bool operator!=(const CTime& o) const { return m_time != o.m_time; }
    bool operator<(const CTime& o) const { return m_time < o.m_time; }
    bool operator>(const CTime& o) const { return m_time > o.m_time; }
    bool operator<=(const CTime& o) const { return m_time <= o.m_time; }
    bool operator>=(const CTime& o) const { return m_time >= o.m_time; }

private:
    int64_t m_time = 0;
};
