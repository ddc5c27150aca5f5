#include <KvsDataBlocks/filters/multibeam/SpacedSlope.h>

#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/filters/multibeam/TanBound.h>
#include <KvsDataBlocks/filters/multibeam/detail/BeamWalk.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

int SpacedSlope::Anchor(const PingStruct& ping, int nadir, double base)
{
    m_near.clear();
    for (int s : {-1, 1})
        for (int j = s < 0 ? nadir : nadir + 1; j >= 0 && j < ping.beamCount; j += s) {
            if (!(std::fabs(static_cast<double>(ping.x[j]) - ping.x[nadir]) <= base)) break;
            if (!Multibeam::IsBeamRejected(ping.flags[j]) && std::isfinite(ping.z[j])) m_near.push_back(j);
        }
    if (m_near.empty()) return nadir;
    const auto mid = m_near.begin() + static_cast<std::ptrdiff_t>(m_near.size() / 2);
    std::nth_element(m_near.begin(), mid, m_near.end(), [&](int a, int b) { return ping.z[a] < ping.z[b]; });
    return *mid;
}

void SpacedSlope::Run(PingStruct& ping, int nadir, double limit, double baseRatio, unsigned int bit)
{
    const int n = ping.beamCount;
    if (nadir < 0 || nadir >= n) return;
    const double base = baseRatio * std::fabs(static_cast<double>(ping.z[nadir]));
    m_passed.reserve(static_cast<size_t>(n));
    m_near.reserve(static_cast<size_t>(n));
    const int anchor = Anchor(ping, nadir, base);
    // Slopes clear of the limit are settled without the arctangent.
    const TanBound bound = TanBound::For(limit);
    kvs::multibeam::detail::WalkOutward(ping, anchor, 1, [&](int side) {
        m_passed.assign(1, anchor);
        // Outward distance from beam r to beam j on this side.
        auto outward = [side, &ping](int r, int j) {
            const double d = static_cast<double>(ping.x[j]) - ping.x[r];
            return side > 0 ? d : -d;
        };
        return [&, outward, ref = size_t{0}](int j) mutable { // ref: index into m_passed of the reference beam
            if (Multibeam::IsBeamRejected(ping.flags[j])) return true;
            // The passing beam nearest to j that is still a base away (the anchor while
            // none is).
            while (ref + 1 < m_passed.size() && outward(m_passed[ref + 1], j) >= base) ++ref;
            const int r = m_passed[ref];
            const double dz = std::fabs(static_cast<double>(ping.z[j]) - ping.z[r]);
            // Beams within a base of the anchor are measured over the base; a beam folded
            // inwards (negative distance) keeps its angle above 90 degrees.
            double dx = outward(r, j);
            if (dx >= 0.0) dx = std::max(dx, base);
            int over = bound.Side(dz, dx);
            if (over == 0) over = std::atan2(dz, dx) * R_TO_D > limit ? 1 : -1;
            if (over > 0)
                ping.flags[j] |= bit;
            else
                m_passed.push_back(j);
            return true;
        };
    });
}
