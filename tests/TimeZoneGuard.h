// TimeZoneGuard: runs a test in a fixed process time zone (TZ) and restores the previous
// zone when it goes out of scope. Shared by the tests of calendar and formula time code.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

struct TimeZoneGuard
{
    explicit TimeZoneGuard(const char* tz)
    {
        if (const char* old = std::getenv("TZ")) previous = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZoneGuard()
    {
        if (previous)
            setenv("TZ", previous->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    TimeZoneGuard(const TimeZoneGuard&) = delete;
    TimeZoneGuard& operator=(const TimeZoneGuard&) = delete;
    std::optional<std::string> previous;
};
