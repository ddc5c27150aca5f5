// The smart filter's seabed profile: straight lines between the median points of bins of
// beams neighbouring across track (see SmartProfile::RunSeabed).
#include <KvsDataBlocks/filters/multibeam/SmartProfile.h>

#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/filters/multibeam/TanBound.h>
#include <KvsDataBlocks/filters/multibeam/detail/SortNetworks.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The median of v[0 .. n) (n > 0), reordering it: the mean of the two middle values when n
// is even. Up to 16 numbers (bins of beams hold about 8) are sorted by a network, whose
// comparisons do not branch: a selection's branches on depths are mispredicted about
// half the time.
double Median(double* v, size_t n)
{
    const size_t mid = n / 2;
    if (n <= 16) {
        bool numbers = true;
        for (size_t i = 0; i < n; ++i) numbers &= v[i] == v[i];
        if (numbers) {
            double w[16];
            for (size_t i = 0; i < 16; ++i) w[i] = i < n ? v[i] : std::numeric_limits<double>::infinity();
            if (n <= 8)
                kvs::multibeam::detail::SortEight(w);
            else
                kvs::multibeam::detail::SortSixteen(w);
            return n % 2 ? w[mid] : (w[mid] + w[mid - 1]) / 2.0;
        }
    }
    std::nth_element(v, v + mid, v + n);
    const double upper = v[mid];
    if (n % 2) return upper;
    return (upper + *std::max_element(v, v + mid)) / 2.0;
}

} // namespace

void SmartProfile::Reserve(int beams)
{
    const size_t n = static_cast<size_t>(std::max(beams, 0));
    m_beams.reserve(n);
    m_scratch.reserve(n);
    m_px.reserve(n);
    m_pz.reserve(n);
    m_rough.reserve(n);
    m_pointBeams.reserve(n);
}

void SmartProfile::AddPoint(size_t first, size_t last)
{
    const size_t n = last - first;
    if (n < static_cast<size_t>(kMinBinBeams)) return;
    // Sorted by x: the median x is the middle one (or the mean of the two middle ones).
    const size_t mid = first + n / 2;
    const double x = n % 2 ? m_beams[mid].x : (static_cast<double>(m_beams[mid - 1].x) + m_beams[mid].x) / 2.0;
    m_scratch.clear();
    for (size_t k = first; k < last; ++k) m_scratch.push_back(m_beams[k].z);
    m_px.push_back(x);
    m_pz.push_back(Median(m_scratch.data(), n));
    m_pointBeams.push_back({first, last});
}

void SmartProfile::Detrend()
{
    // On a slope the bad beams of a bin shift which good ones stand in the middle of the
    // depths, moving the plain median by up to the bin's relief. Measured about the line
    // through the neighbouring points instead, the good beams of a straight slope agree
    // and the median is theirs.
    const size_t points = m_px.size();
    if (points < 2) return;
    m_rough.assign(m_pz.begin(), m_pz.end());
    for (size_t j = 0; j < points; ++j) {
        const size_t a = j > 0 ? j - 1 : j, b = j + 1 < points ? j + 1 : j;
        const double dx = m_px[b] - m_px[a];
        const double slope = dx > 0.0 ? (m_rough[b] - m_rough[a]) / dx : 0.0;
        const auto [first, last] = m_pointBeams[j];
        m_scratch.clear();
        for (size_t k = first; k < last; ++k)
            m_scratch.push_back(m_beams[k].z - slope * (m_beams[k].x - m_px[j]));
        m_pz[j] = Median(m_scratch.data(), m_scratch.size());
    }
}

void SmartProfile::RunSeabed(PingStruct& ping, const Settings& s, double binWidth, unsigned int bit)
{
    const int n = ping.beamCount;
    const double off = ping.verticalOffset;
    if (s.unit == ToleranceUnit::EstimatedError && !ping.estVertError && !(s.fallbackRatio > 0.0)) return;

    // The passing beams, sorted across track; beams without a finite position fail.
    m_beams.clear();
    for (int i = 0; i < n; ++i) {
        if (Multibeam::IsBeamRejected(ping.flags[i])) continue;
        if (!std::isfinite(ping.x[i]) || !std::isfinite(ping.z[i])) {
            ping.flags[i] |= bit;
            continue;
        }
        m_beams.push_back({ping.x[i], ping.z[i], i});
    }
    // Mostly the beams come in x order already.
    const auto byX = [](const Beam& a, const Beam& b) { return a.x < b.x || (a.x == b.x && a.index < b.index); };
    if (!std::is_sorted(m_beams.begin(), m_beams.end(), byX)) std::sort(m_beams.begin(), m_beams.end(), byX);
    const size_t count = m_beams.size();
    const TanBound reliable = TanBound::For(s.reliableAngle);
    auto isReliable = [&](double x, double depth) {
        const int side = reliable.Side(std::fabs(x), depth);
        return side != 0 ? side < 0 : std::atan2(std::fabs(x), depth) * R_TO_D < s.reliableAngle;
    };

    // The bins and their points.
    m_px.clear();
    m_pz.clear();
    m_pointBeams.clear();
    if (s.binBeams > 0) {
        // count beams shared out into bins of nearly binBeams (sizes differ by at most one),
        // so that no short bin is left at a swath edge.
        const size_t size = static_cast<size_t>(std::max(s.binBeams, kMinBinBeams));
        const size_t bins = std::max<size_t>(1, (count + size / 2) / size);
        for (size_t b = 0; b < bins; ++b) AddPoint(b * count / bins, (b + 1) * count / bins);
    } else {
        double width = binWidth;
        if (s.binDepthRatio > 0.0) {
            // The median depth of the beams seen within the reliable sector (all beams when
            // none is): a junk beam cannot widen or narrow the bins.
            m_scratch.clear();
            for (const Beam& b : m_beams)
                if (isReliable(b.x, -(b.z + off))) m_scratch.push_back(-b.z);
            if (m_scratch.empty())
                for (const Beam& b : m_beams) m_scratch.push_back(-b.z);
            if (m_scratch.empty()) return;
            width = s.binDepthRatio * Median(m_scratch.data(), m_scratch.size());
        }
        if (!(width > 0.0) || !std::isfinite(width)) return;
        // A bin of fewer than kMinBinBeams beams runs on into the next one.
        size_t first = 0;
        double bin = 0.0;
        for (size_t k = 0; k < count; ++k) {
            const double here = std::floor(m_beams[k].x / width);
            if (k > 0 && here != bin && k - first >= static_cast<size_t>(kMinBinBeams)) {
                AddPoint(first, k);
                first = k;
            }
            bin = here;
        }
        AddPoint(first, count);
    }
    const size_t points = m_px.size();
    if (points == 0) return;
    Detrend();

    // Each beam against the line through the points on either side of it.
    auto slope = [&](size_t k) { // of the segment [k, k + 1]
        const double dx = m_px[k + 1] - m_px[k];
        return dx > 0.0 ? std::fabs((m_pz[k + 1] - m_pz[k]) / dx) : 0.0;
    };
    size_t seg = 0; // the segment [seg, seg + 1] of the beam; beams come in x order
    double allowance = 0.0;
    bool fresh = true; // the allowance is that of seg
    for (const Beam& b : m_beams) {
        double reference = m_pz[0];
        if (points > 1) {
            while (seg + 2 < points && b.x >= m_px[seg + 1]) {
                ++seg;
                fresh = true;
            }
            const double x1 = m_px[seg], x2 = m_px[seg + 1];
            const double t = x2 > x1 ? (b.x - x1) / (x2 - x1) : 0.0;
            reference = m_pz[seg] + (m_pz[seg + 1] - m_pz[seg]) * t;
            if (s.slopeTolerance && fresh) {
                // The steepest of the segment and its neighbours over half its length: a
                // bend of the seabed between two points leaves the line by up to that.
                double steepest = slope(seg);
                if (seg > 0) steepest = std::max(steepest, slope(seg - 1));
                if (seg + 2 < points) steepest = std::max(steepest, slope(seg + 1));
                allowance = steepest * (x2 - x1) / 2.0;
                fresh = false;
            }
        }
        const double factor = isReliable(b.x, -(reference + off)) ? s.tolReliable : s.tolUnreliable;
        const double tolerance = UnitTolerance(ping, s, b.index, factor, reference) + allowance;
        if (std::fabs(b.z - reference) > tolerance) ping.flags[b.index] |= bit;
    }
}
