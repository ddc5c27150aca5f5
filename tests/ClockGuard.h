// ClockGuard: installs a fixed clock (milliseconds since 1970 UTC) as CExTime's clock
// source for one test and restores the previous source when it goes out of scope.
#pragma once

#include <KvsDataBlocks/platform/CExTime.h>

#include <cstdint>

struct ClockGuard
{
    explicit ClockGuard(int64_t ms) : prev(CExTime::SetClockSource([ms] { return ms; })) {}
    ~ClockGuard() { CExTime::SetClockSource(prev); }
    ClockGuard(const ClockGuard&) = delete;
    ClockGuard& operator=(const ClockGuard&) = delete;
    const CExTime::ClockSource prev;
};
