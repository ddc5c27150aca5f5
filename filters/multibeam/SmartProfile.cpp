#include <KvsDataBlocks/filters/multibeam/SmartProfile.h>

#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/filters/multibeam/detail/BinTolerance.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include <algorithm>
#include <cmath>

int SmartProfile::Filled(int k, int step) const
{
    const int n = static_cast<int>(m_bins.size());
    for (; k >= 0 && k < n; k += step)
        if (m_bins[static_cast<size_t>(k)].count > 0) return k;
    return -1;
}

[[gnu::always_inline]] inline bool SmartProfile::At(double c, double& reference, double& tolerance) const
{
    const int f1 = static_cast<int>(std::floor(c));
    const int f2 = static_cast<int>(std::ceil(c));
    auto bin = [&](int k) -> const Bin& { return m_bins[static_cast<size_t>(k)]; };
    auto between = [&](int a, int b) {
        const double t = b == a ? 0.0 : (c - a) / (b - a);
        reference = bin(a).mean + (bin(b).mean - bin(a).mean) * t;
        tolerance = bin(a).tolerance + (bin(b).tolerance - bin(a).tolerance) * t;
        return true;
    };
    if (!m_skipEmpty) return between(f1, f2); // empty bins count with mean 0, tolerance 0

    const int k1 = Filled(f1, -1);
    const int k2 = Filled(f2, +1);
    if (k1 >= 0 && k2 >= 0) return between(k1, k2);
    // Beyond the last bin with data on one side (the outer half of the outermost bins):
    // carried on by at most one bin along the line through the two last bins.
    const int k = k1 >= 0 ? k1 : k2;
    if (k < 0 || std::fabs(c - k) > 1.0) return false;
    const int next = k1 >= 0 ? Filled(k - 1, -1) : Filled(k + 1, +1);
    reference = bin(k).mean;
    tolerance = bin(k).tolerance;
    if (next >= 0 && std::abs(next - k) <= 2)
        reference += (bin(k).mean - bin(next).mean) * (c - k) / (k - next);
    return true;
}

void SmartProfile::Run(PingStruct& ping, const Settings& s, double smallest, double largest, double bw,
                       double halfWidth, unsigned int bit)
{
    const int n = ping.beamCount;
    const double off = ping.verticalOffset;
    const bool byError = s.unit == ToleranceUnit::EstimatedError;
    if (byError && !ping.estVertError && !(s.fallbackRatio > 0.0)) return;
    m_skipEmpty = s.skipEmptyBins;

    // The grid as the default profile lays it: margin bins of half a bin on both ends.
    const int lo = static_cast<int>(std::floor((smallest - bw / 2) / bw));
    const int hi = static_cast<int>(std::ceil((largest + bw / 2) / bw));
    const int bins = hi - lo;
    if (bins <= 0) return;
    const double x0 = lo * bw;
    m_bins.assign(static_cast<size_t>(bins), Bin());
    auto rejected = [&](int i) { return Multibeam::IsBeamRejected(ping.flags[i]); };
    for (int i = 0; i < n; ++i) {
        if (rejected(i)) continue;
        const double k = std::trunc((ping.x[i] - x0) / bw);
        if (k >= 0.0 && k < bins) {
            Bin& b = m_bins[static_cast<size_t>(k)];
            ++b.count;
            b.mean += (ping.z[i] - b.mean) / b.count;
        }
    }

    // The nadir zone, grid positions -m+1 .. m-1, takes its profile from the bins at -m-1
    // and m (or, leaving empty bins out, the nearest ones beyond them that hold data).
    const double zone = std::trunc((halfWidth * s.nadirAreaPercent / 100.0) / bw);
    const int m = static_cast<int>(std::clamp(zone, -1.0e6, 1.0e6)) + 1;
    int port = lo < -m ? -lo - m - 1 : -1;
    int starboard = m < hi ? m - lo : -1;
    if (m_skipEmpty) {
        port = port >= 0 ? Filled(port, -1) : -1;
        starboard = starboard >= 0 ? Filled(starboard, +1) : -1;
    } else if ((port >= 0 && m_bins[static_cast<size_t>(port)].count == 0) ||
               (starboard >= 0 && m_bins[static_cast<size_t>(starboard)].count == 0)) {
        return; // no level beside the zone: only the width test has flagged
    }
    const bool bothSides = port >= 0 && starboard >= 0;
    // Without data beside the zone the default profile takes level 0; leaving empty bins
    // out, the zone then keeps the means of its own beams.
    if (port >= 0 || starboard >= 0 || !m_skipEmpty) {
        const double pm = port >= 0 ? m_bins[static_cast<size_t>(port)].mean : 0.0;
        const double sm = starboard >= 0 ? m_bins[static_cast<size_t>(starboard)].mean : 0.0;
        for (int k = 0; k < bins; ++k) {
            if (std::abs(lo + k) >= m) continue;
            double level = bothSides ? (pm + sm) / 2.0 : port >= 0 ? pm : sm;
            if (bothSides && s.slopedNadir) level = pm + (sm - pm) * (k - port) / (starboard - port);
            m_bins[static_cast<size_t>(k)].count = 1;
            m_bins[static_cast<size_t>(k)].mean = level;
        }
    }

    kvs::multibeam::detail::SetBinTolerances(m_bins, bins, lo, bw, off, s.reliableAngle, s.tolReliable, s.tolUnreliable);

    for (int i = 0; i < n; ++i) {
        if (rejected(i)) continue;
        // Grid coordinate of the beam, bin k's centre at k.
        const double c = ((ping.x[i] - bw / 2) - x0) / bw;
        if (!(std::floor(c) >= 0.0 && std::ceil(c) <= bins - 1)) {
            ping.flags[i] |= bit;
            continue;
        }
        double reference = 0.0, factor = 0.0;
        if (!At(c, reference, factor)) continue;
        if (std::fabs(ping.z[i] - reference) > UnitTolerance(ping, s, i, factor, reference)) ping.flags[i] |= bit;
    }
}
