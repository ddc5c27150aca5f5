#include <KvsDataBlocks/filters/multibeam/SmartFilter.h>

#include <KvsDataBlocks/filters/multibeam/detail/BeamWalk.h>
#include <KvsDataBlocks/filters/multibeam/detail/BinTolerance.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include <algorithm>
#include <climits>
#include <cmath>

using kvs::multibeam::detail::ListUnrejected;
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

namespace {

// A run of beams adding their depths to the running means of their bins: the bin it adds
// to is held here and written back when the run moves to another bin.
struct BinRun
{
    int bin = -1;
    int count = 0;
    double mean = 0.0;

    template <typename Bins>
    void Add(Bins* bins, int to, double v)
    {
        if (to != bin) {
            Finish(bins);
            bin = to;
            count = bins[bin].count;
            mean = bins[bin].mean;
        }
        ++count;
        mean += (v - mean) / count; // as Bin::Add
    }

    template <typename Bins>
    void Finish(Bins* bins) const
    {
        if (bin >= 0) {
            bins[bin].count = count;
            bins[bin].mean = mean;
        }
    }
};

} // namespace

void SmartFilter::AddToBins(const int* binOf, const int* beams, const float* z, int n)
{
    // Each bin takes its beams in beam order, each one moving its running mean by a
    // division: a chain along the beams of a bin, held in registers while the beams stay
    // in one bin. Where the beams fall into bins in order across the swath (as they do),
    // four runs of beams meet no common bin; their chains are then worked side by side,
    // each bin still taking its beams in order.
    constexpr int kRuns = 4;
    int first[kRuns + 1];
    int lowest[kRuns], highest[kRuns];
    // Runs of about a quarter of the beams each, each starting at a beam whose bin is not
    // that of the last beam before it in a bin (beams in none, -1, pass over).
    for (int r = 0; r <= kRuns; ++r) first[r] = static_cast<int>(static_cast<long long>(n) * r / kRuns);
    for (int r = 1; r < kRuns; ++r) {
        first[r] = std::max(first[r], first[r - 1]);
        int before = -1;
        for (int i = first[r] - 1; i >= first[r - 1] && before < 0; --i) before = binOf[i];
        while (first[r] < n && (binOf[first[r]] < 0 || binOf[first[r]] == before)) ++first[r];
    }
    for (int r = 0; r < kRuns; ++r) {
        lowest[r] = INT_MAX;
        highest[r] = -1;
        for (int i = first[r]; i < first[r + 1]; ++i) {
            const int b = binOf[i];
            if (b < 0) continue;
            lowest[r] = std::min(lowest[r], b);
            highest[r] = std::max(highest[r], b);
        }
    }
    // Apart when the runs' ranges of bins (of those holding any) follow one another one
    // way or the other without overlapping.
    bool up = true, down = true;
    for (int r = 0, last = -1; r < kRuns; ++r) {
        if (highest[r] < 0) continue;
        if (last >= 0) {
            up = up && lowest[r] > highest[last];
            down = down && highest[r] < lowest[last];
        }
        last = r;
    }
    // Otherwise the first run takes every beam, in order.
    if (!up && !down) std::fill(first + 1, first + kRuns + 1, n);
    // The runs side by side over the length of the longest, each to its own end.
    Bin* const bins = m_bins.data();
    BinRun runs[kRuns];
    int length = 0;
    for (int r = 0; r < kRuns; ++r) length = std::max(length, first[r + 1] - first[r]);
    for (int t = 0; t < length; ++t)
        for (int r = 0; r < kRuns; ++r) {
            const int i = first[r] + t;
            if (i < first[r + 1] && binOf[i] >= 0) runs[r].Add(bins, binOf[i], z[beams[i]]);
        }
    for (const BinRun& run : runs) run.Finish(bins);
}

bool SmartFilter::Run(PingStruct& ping, const MultibeamSettings& s, unsigned int bit)
{
    if (NadirBeam(ping) < 0) return false;
    const int n = ping.beamCount;
    const double off = ping.verticalOffset;

    // The loops run over the beams not rejected.
    int liveCount = ListUnrejected(ping, m_live);
    int* const live = m_live.data();

    // Mean depth (-z, without the offset) of the beams seen within the reliable sector.
    double sum = 0.0;
    int count = 0;
    for (int k = 0; k < liveCount; ++k) {
        const int i = live[k];
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
    for (int k = 0; k < liveCount; ++k) {
        const int i = live[k];
        const double x = ping.x[i];
        if (std::fabs(x) > halfWidth) {
            ping.flags[i] |= bit;
        } else {
            if (x < smallest) smallest = x;
            if (x > largest) largest = x;
        }
    }
    // The beams still not rejected.
    int kept = 0;
    for (int k = 0; k < liveCount; ++k) {
        live[kept] = live[k];
        kept += !Rejected(ping, live[k]);
    }
    liveCount = kept;
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

    // The bin of each beam not rejected (-1: off the grid), then the running means.
    if (m_binOf.size() < static_cast<size_t>(n)) m_binOf.resize(static_cast<size_t>(n));
    int* const binOf = m_binOf.data();
    // (trunc(q) lies in 0 .. bins-1 exactly when -1 < q < bins, and then the conversion
    // truncates alike.)
    for (int k = 0; k < liveCount; ++k) {
        const double q = (ping.x[live[k]] - x0) / bw;
        binOf[k] = q > -1.0 && q < bins ? static_cast<int>(q) : -1;
    }
    AddToBins(binOf, live, ping.z, liveCount);

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
    for (int k = 0; k < liveCount; ++k) {
        const int i = live[k];
        const double u = (ping.x[i] - bw / 2) - x0;
        // floor(q) >= 0 and ceil(q) <= bins - 1 exactly when 0 <= q <= bins - 1; then the
        // conversion gives floor(q).
        const double q = u / bw;
        if (!(q >= 0.0 && q <= bins - 1)) {
            ping.flags[i] |= bit;
            continue;
        }
        const int k1 = static_cast<int>(q);
        const double f1 = k1;
        const int k2 = k1 + static_cast<int>(f1 < q); // ceil(q)
        const Bin& b1 = m_bins[static_cast<size_t>(k1)];
        const Bin& b2 = m_bins[static_cast<size_t>(k2)];
        const double t = (u - f1 * bw) / bw;
        const double reference = b1.mean + (b2.mean - b1.mean) * t;
        const double tolerance = b1.tolerance + (b2.tolerance - b1.tolerance) * t;
        // (Without a branch: on rough data the beams fail at random.)
        ping.flags[i] |= std::fabs(ping.z[i] - reference) > tolerance ? bit : 0u;
    }
    return false;
}
