// PositionTrack: the position fixes of one Kongsberg file in time order, and the position
// at a ping's time from them: interpolated between the two fixes around it, or carried on
// from the two nearest fixes at most kMaxExtrapolation seconds beyond the first or last
// fix. Beyond that there is no position; one is never made up. PendingSwaths holds the
// swaths read until the fixes after them have been read, so that a reader can go through
// its file once and still interpolate.
#pragma once

#include <KvsDataBlocks/formats/kongsberg/KongsbergSwath.h>

#include <cstddef>
#include <deque>
#include <vector>

namespace kvs::kongsberg {

inline constexpr double kMaxExtrapolation = 2.0; // seconds
// Swaths held for a later fix at most; beyond this the oldest is settled with what is known.
inline constexpr std::size_t kMaxPendingSwaths = 4096;

class PositionTrack
{
public:
    // A fix at t seconds since 1970 (fixes may come slightly out of order).
    void Add(double t, double latitude, double longitude);
    // The position at t; false when t lies more than kMaxExtrapolation beyond the fixes or
    // fewer than two fixes are known (an exact match of a single fix excepted).
    bool At(double t, double& latitude, double& longitude) const;
    bool Empty() const { return m_fixes.empty(); }
    std::size_t Size() const { return m_fixes.size(); }
    double LastTime() const { return m_fixes.empty() ? 0.0 : m_fixes.back().t; }

private:
    struct Fix { double t, latitude, longitude; };
    static void Between(const Fix& a, const Fix& b, double t, double& latitude, double& longitude);
    std::vector<Fix> m_fixes;
};

// Swaths waiting for the fixes that place them, oldest first.
class PendingSwaths
{
public:
    // needsFix: the swath has no position of its own and takes one from the track.
    void Push(KongsbergSwath&& swath, bool needsFix);
    // The oldest swath once it can be placed (a fix at or after its time and two fixes are
    // known, or atEnd: no fix will come); its position is set from track when it needed one.
    bool PopReady(const PositionTrack& track, bool atEnd, KongsbergSwath& out);
    bool Empty() const { return m_queue.empty(); }

private:
    struct Entry { KongsbergSwath swath; bool needsFix; };
    std::deque<Entry> m_queue;
};

} // namespace kvs::kongsberg
