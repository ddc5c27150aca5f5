// TimeZoneGuard: runs a test in a fixed process time zone (TZ) and restores the previous
// zone when it goes out of scope. Shared by the tests of calendar and formula time code.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

class TimeZoneGuard
{
public:
    explicit TimeZoneGuard(const char* tz)
    {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old) m_old = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZoneGuard()
    {
        if (m_had) setenv("TZ", m_old.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    TimeZoneGuard(const TimeZoneGuard&) = delete;
    TimeZoneGuard& operator=(const TimeZoneGuard&) = delete;

private:
    bool m_had = false;
    std::string m_old;
};
