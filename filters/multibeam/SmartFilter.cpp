#include <KvsDataBlocks/filters/multibeam/SmartFilter.h>

#include <KvsDataBlocks/filters/multibeam/detail/BeamWalk.h>
#include <KvsDataBlocks/filters/multibeam/detail/BinTolerance.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include <algorithm>
#include <cmath>

using kvs::multibeam::detail::NadirBeam;
using kvs::multibeam::detail::Rejected;
using kvs::multibeam::detail::SetBinTolerances;

void SmartFilter::Derive(const MultibeamSettings& s)
{
    m_reliableBound = TanBound::For(s.reliableAngle);
    // Room for the bins across twice the analysed half-width.
    m_bins.reserve(static_cast<size_t>(std::clamp(s.averagingClips, 0, kMaxAveragingClips)) * 2 + 8);
    m_profile.Reserve(PingStruct::kMaxBeams);
}

bool SmartFilter::Run(PingStruct& ping, const MultibeamSettings& s, unsigned int bit)
{
    if (NadirBeam(ping) < 0) return false;
    const int n = ping.beamCount;
    const double off = ping.verticalOffset;

    // Mean depth (-z, without the offset) of the beams seen within the reliable sector.
    double sum = 0.0;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (Rejected(ping, i)) continue;
        const double x = ping.x[i], y = ping.y[i];
        const double rho2 = x * x + y * y, d = -(ping.z[i] + off);
        int side = m_reliableBound.SideOfSquare(rho2, d);
        if (side == 0) side = std::atan2(std::sqrt(rho2), d) * R_TO_D < s.reliableAngle ? -1 : 1;
        if (side < 0) {
            sum += -static_cast<double>(ping.z[i]);
            ++count;
        }
    }
    if (count == 0) return false;
    const double depth = sum / count;
    const double halfWidth = depth * s.depthWidthRatio;

    double smallest = 0.0, largest = 0.0;
    for (int i = 0; i < n; ++i) {
        if (Rejected(ping, i)) continue;
        const double x = ping.x[i];
        if (std::fabs(x) > halfWidth) {
            ping.flags[i] |= bit;
        } else {
            if (x < smallest) smallest = x;
            if (x > largest) largest = x;
        }
    }
    // Without a positive, finite bin width there is no profile to test against; more
    // bins than the reserved room (two per clip) would need memory beyond all reason.
    const bool clips = s.averagingClips >= 1 && s.averagingClips <= kMaxAveragingClips;
    const double bw = clips ? halfWidth / s.averagingClips : 0.0;
    const bool seabed =
        s.smartMedianProfile || s.smartBinBeams > 0 || s.smartBinDepthRatio > 0.0 || s.smartSlopeTolerance;
    if (!seabed && (!(bw > 0.0) || !std::isfinite(bw))) return false;
    if (seabed || s.smartSlopedNadir || s.smartSkipEmptyBins || s.smartToleranceUnit != 0) {
        SmartProfile::Settings p;
        p.reliableAngle = s.reliableAngle;
        p.nadirAreaPercent = s.nadirAreaPercent;
        p.tolReliable = s.vertTolReliable;
        p.tolUnreliable = s.vertTolUnreliable;
        p.slopedNadir = s.smartSlopedNadir;
        p.skipEmptyBins = s.smartSkipEmptyBins;
        p.unit = s.smartToleranceUnit == 1   ? SmartProfile::ToleranceUnit::DepthFraction
                 : s.smartToleranceUnit == 2 ? SmartProfile::ToleranceUnit::EstimatedError
                                             : SmartProfile::ToleranceUnit::Metres;
        p.fallbackRatio = s.smartFallbackRatio;
        p.binBeams = s.smartBinBeams;
        p.binDepthRatio = s.smartBinDepthRatio;
        p.slopeTolerance = s.smartSlopeTolerance;
        if (seabed)
            m_profile.RunSeabed(ping, p, bw, bit);
        else
            m_profile.Run(ping, p, smallest, largest, bw, halfWidth, bit);
        return false;
    }

    const int lo = static_cast<int>(std::floor((smallest - bw / 2) / bw));
    const int hi = static_cast<int>(std::ceil((largest + bw / 2) / bw));
    const int bins = hi - lo;
    const double x0 = lo * bw;
    m_bins.assign(static_cast<size_t>(bins), Bin());

    for (int i = 0; i < n; ++i) {
        if (Rejected(ping, i)) continue;
        const double k = std::trunc((ping.x[i] - x0) / bw);
        if (k >= 0.0 && k < bins) m_bins[static_cast<size_t>(k)].Add(ping.z[i]);
    }

    // The nadir zone: grid positions -m+1 .. m-1.
    const double zone = std::trunc((halfWidth * s.nadirAreaPercent / 100.0) / bw);
    const int m = static_cast<int>(std::clamp(zone, -1.0e6, 1.0e6)) + 1;
    double level = 0.0;
    const int port = -lo - m - 1; // bin at grid position -m-1
    const int starboard = m - lo; // bin at grid position m
    if (lo < -m && m < hi) {
        if (m_bins[port].count == 0 || m_bins[starboard].count == 0) return false;
        level = (m_bins[port].mean + m_bins[starboard].mean) / 2.0;
    } else if (lo < -m) {
        if (m_bins[port].count == 0) return false;
        level = m_bins[port].mean;
    } else if (m < hi) {
        if (m_bins[starboard].count == 0) return false;
        level = m_bins[starboard].mean;
    }
    for (int k = 0; k < bins; ++k) {
        if (std::abs(lo + k) < m) {
            m_bins[k].count = 0;
            m_bins[k].Add(level);
        }
    }
    SetBinTolerances(m_bins, bins, lo, bw, off, s.reliableAngle, s.vertTolReliable, s.vertTolUnreliable);

    // Each beam against the profile half a bin inwards of it.
    for (int i = 0; i < n; ++i) {
        if (Rejected(ping, i)) continue;
        const double u = (ping.x[i] - bw / 2) - x0;
        const double f1 = std::floor(u / bw);
        const double f2 = std::ceil(u / bw);
        if (!(f1 >= 0.0 && f2 <= bins - 1)) {
            ping.flags[i] |= bit;
            continue;
        }
        const Bin& b1 = m_bins[static_cast<size_t>(f1)];
        const Bin& b2 = m_bins[static_cast<size_t>(f2)];
        const double t = (u - f1 * bw) / bw;
        const double reference = b1.mean + (b2.mean - b1.mean) * t;
        const double tolerance = b1.tolerance + (b2.tolerance - b1.tolerance) * t;
        if (std::fabs(ping.z[i] - reference) > tolerance) ping.flags[i] |= bit;
    }
    return false;
}
