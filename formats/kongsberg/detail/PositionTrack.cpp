#include <KvsDataBlocks/formats/kongsberg/detail/PositionTrack.h>

#include <algorithm>
#include <cmath>

namespace kvs::kongsberg {

void PositionTrack::Add(double t, double latitude, double longitude)
{
    if (!std::isfinite(t) || !std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90.0 ||
        std::fabs(longitude) > 180.0)
        return;
    const Fix f{t, latitude, longitude};
    if (m_fixes.empty() || t >= m_fixes.back().t) {
        m_fixes.push_back(f);
        return;
    }
    const auto at = std::upper_bound(m_fixes.begin(), m_fixes.end(), t, [](double v, const Fix& x) { return v < x.t; });
    m_fixes.insert(at, f);
}

void PositionTrack::Between(const Fix& a, const Fix& b, double t, double& latitude, double& longitude)
{
    const double span = b.t - a.t;
    const double w = span > 0.0 ? (t - a.t) / span : 0.0;
    latitude = a.latitude + w * (b.latitude - a.latitude);
    // Across the antimeridian the shorter way round.
    double dl = b.longitude - a.longitude;
    if (dl > 180.0) dl -= 360.0;
    if (dl < -180.0) dl += 360.0;
    longitude = a.longitude + w * dl;
    if (longitude > 180.0) longitude -= 360.0;
    if (longitude < -180.0) longitude += 360.0;
}

bool PositionTrack::At(double t, double& latitude, double& longitude) const
{
    if (m_fixes.empty() || !std::isfinite(t)) return false;
    const Fix& first = m_fixes.front();
    const Fix& last = m_fixes.back();
    if (m_fixes.size() == 1) {
        if (t != first.t) return false;
        latitude = first.latitude, longitude = first.longitude;
        return true;
    }
    // Carried on beyond the fixes; a latitude beyond a pole is no position.
    if (t < first.t) {
        if (first.t - t > kMaxExtrapolation) return false;
        Between(m_fixes[0], m_fixes[1], t, latitude, longitude);
        return std::fabs(latitude) <= 90.0;
    }
    if (t > last.t) {
        if (t - last.t > kMaxExtrapolation) return false;
        Between(m_fixes[m_fixes.size() - 2], last, t, latitude, longitude);
        return std::fabs(latitude) <= 90.0;
    }
    const auto hi = std::lower_bound(m_fixes.begin(), m_fixes.end(), t, [](const Fix& x, double v) { return x.t < v; });
    if (hi->t == t) {
        latitude = hi->latitude, longitude = hi->longitude;
        return true;
    }
    Between(*(hi - 1), *hi, t, latitude, longitude);
    return true;
}

void PendingSwaths::Push(KongsbergSwath&& swath, bool needsFix)
{
    m_queue.push_back({std::move(swath), needsFix});
}

bool PendingSwaths::PopReady(const PositionTrack& track, bool atEnd, KongsbergSwath& out)
{
    if (m_queue.empty()) return false;
    Entry& e = m_queue.front();
    const double t = e.swath.Time();
    const bool ready = !e.needsFix || atEnd || m_queue.size() > kMaxPendingSwaths ||
                       (track.Size() >= 2 && track.LastTime() >= t);
    if (!ready) return false;
    const bool needsFix = e.needsFix;
    out = std::move(e.swath);
    m_queue.pop_front();
    if (needsFix) out.hasPosition = track.At(t, out.latitude, out.longitude);
    return true;
}

} // namespace kvs::kongsberg
