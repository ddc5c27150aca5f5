#include <KvsDataBlocks/filters/multibeam/SpacedSlope.h>

#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/filters/multibeam/TanBound.h>
#include <KvsDataBlocks/filters/multibeam/detail/BeamWalk.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include <algorithm>
#include <cmath>
#include <cstddef>

int SpacedSlope::Anchor(const PingStruct& ping, int nadir, double base, double depth)
{
    // Of the beams within a base of nadir, the one nearest the depth about nadir: a group of
    // bad beams crowding in about nadir (fish, bubbles pulled inwards) cannot hold the anchor
    // while the wider span about nadir is mostly seabed.
    int anchor = -1;
    double best = 0.0;
    for (int s : {-1, 1})
        for (int j = s < 0 ? nadir : nadir + 1; j >= 0 && j < ping.beamCount; j += s) {
            if (!(std::fabs(static_cast<double>(ping.x[j]) - ping.x[nadir]) <= base)) break;
            if (Multibeam::IsBeamRejected(ping.flags[j]) || !std::isfinite(ping.z[j])) continue;
            const double off = std::fabs(-static_cast<double>(ping.z[j]) - depth);
            if (anchor < 0 || off < best) {
                anchor = j;
                best = off;
            }
        }
    return anchor < 0 ? nadir : anchor;
}

double SpacedSlope::NadirDepth(const PingStruct& ping, int nadir, std::vector<float>& work)
{
    work.clear();
    const int first = std::max(0, nadir - kNadirSpan), last = std::min(ping.beamCount - 1, nadir + kNadirSpan);
    for (int j = first; j <= last; ++j)
        if (!Multibeam::IsBeamRejected(ping.flags[j]) && std::isfinite(ping.z[j])) work.push_back(-ping.z[j]);
    if (work.empty()) return -static_cast<double>(ping.z[nadir]);
    const auto mid = work.begin() + static_cast<std::ptrdiff_t>(work.size() / 2);
    std::nth_element(work.begin(), mid, work.end());
    return *mid;
}

void SpacedSlope::Run(PingStruct& ping, int nadir, double limit, double baseRatio, unsigned int bit)
{
    const int n = ping.beamCount;
    if (nadir < 0 || nadir >= n) return;
    m_passed.reserve(static_cast<size_t>(n));
    m_near.reserve(static_cast<size_t>(n));
    m_depths.reserve(2 * kNadirSpan + 1);
    const double depth = NadirDepth(ping, nadir, m_depths);
    const double base = baseRatio * std::fabs(depth);
    const int anchor = Anchor(ping, nadir, base, depth);
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
            // none is); of it and the two passing beams before it, the one of median depth,
            // so that a bad beam that passed cannot lead the rest of the side astray.
            while (ref + 1 < m_passed.size() && outward(m_passed[ref + 1], j) >= base) ++ref;
            int r = m_passed[ref];
            if (ref >= 2) {
                const int a = m_passed[ref - 1], b = m_passed[ref - 2];
                auto between = [](float lo, float v, float hi) { return (lo <= v && v <= hi) || (hi <= v && v <= lo); };
                if (!between(ping.z[a], ping.z[r], ping.z[b])) r = between(ping.z[r], ping.z[a], ping.z[b]) ? a : b;
            }
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
