#include <KvsDataBlocks/filters/singlebeam/SBSpikeFilter.h>

#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/geometry/KvsMath.h>

#include <algorithm>
#include <cmath>

namespace {


double Dot(const Point& a, const Point& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

double Length(const Point& a)
{
    return a.Dist3D(Point(), false);
}

} // namespace

bool SBSpikeFilter::SetAttributes(CAttributeMap* attributes)
{
    m_noise = 0.0;
    m_gamma = 0.0;
    if (attributes) {
        unsigned int status = 0;
        attributes->GetAttribValue(ATTR_SBF_SPIKENOISE, m_noise, status);
        attributes->GetAttribValue(ATTR_SBF_SPIKEGAMMA, m_gamma, status);
    }
    m_gamma *= D_TO_R;
    return true;
}

bool SBSpikeFilter::GetData(const CDataBlock& block, Point& point)
{
    unsigned short status = 0;
    if (!block.GetDataValue(SingleBeamFilter::kPointXUseAs, point.x, status, CDataBlock::kByUseAs) || status != 0) return false;
    if (!block.GetDataValue(SingleBeamFilter::kPointYUseAs, point.y, status, CDataBlock::kByUseAs) || status != 0) return false;
    if (!block.GetDataValue(SingleBeamFilter::kDepthUseAs, point.z, status, CDataBlock::kByUseAs) || status != 0) return false;
    return true;
}

bool SBSpikeFilter::Process(CDataBlock& block, COMPUPDATEMODE)
{
    // Nothing to test and no use as a neighbour: on at once, so that nothing waits for it.
    if (!GetData(block, m_current)) {
        ++m_untested;
        return true;
    }

    // While a history fills, the one block due is held[m_fill]: held[0] goes out when
    // held[1] comes in.
    const double time = block.GetTime();
    if (m_fill >= 0 && time < m_held[0].GetTime()) {
        // Earlier than both: the history starts again with this block, and the block due
        // goes out untested in its place.
        const int due = m_fill;
        m_fill = 0;
        m_points[0] = m_current;
        m_held[due].Swap(block);
        if (due == 1) m_held[0].Swap(m_held[1]);
        const bool out = m_pending[due];
        m_pending[0] = true;
        m_pending[1] = false;
        if (out) ++m_untested;
        return out;
    }
    if (m_fill >= 1 && time < m_held[1].GetTime()) {
        // Earlier than the newer only: this block takes its place after the older one,
        // which has gone out already, and the displaced block goes out untested.
        m_points[1] = m_current;
        m_held[1].Swap(block);
        const bool out = m_pending[1];
        m_pending[1] = true;
        if (out) ++m_untested;
        return out;
    }

    if (m_fill < 1) {
        ++m_fill;
        m_held[m_fill] = block;
        m_points[m_fill] = m_current;
        m_pending[m_fill] = true;
        if (m_fill == 0 || !m_pending[0]) return false;
        // The first of the history: it has no older neighbour, so it goes out untested.
        m_pending[0] = false;
        ++m_untested;
        block = m_held[0];
        return true;
    }

    if (CheckDist() && !FilterGamma()) SingleBeamFilter::InvalidateDepths(m_held[1]);

    // Shift by copies into blocks of the same layout, which reuse their storage.
    m_held[0] = m_held[1];
    m_held[1] = block;
    block = m_held[0];
    m_pending[0] = false;
    m_pending[1] = true;
    m_points[0] = m_points[1];
    m_points[1] = m_current;
    return true;
}

bool SBSpikeFilter::GetRemainder(CDataBlock& block)
{
    if (m_fill < 0 || !m_pending[m_fill]) return false;
    block = m_held[m_fill];
    ++m_untested;
    m_pending[0] = m_pending[1] = false;
    m_fill = -1;
    return true;
}

// Perpendicular distance of P1 from the line through P0 and P2, against the noise. The
// distance |a x b| / |a| equals |P0 - P1| sin(angle between a and b) without losing
// precision near collinear points; coincident points give no distance.
bool SBSpikeFilter::CheckDist() const
{
    const Point a = m_current - m_points[0];
    const Point b = m_points[1] - m_points[0];
    const double la = Length(a), lb = Length(b);
    if (!(la > 0.0) || !(lb > 0.0)) return false;
    const Point c(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
    const double h = Length(c) / la;
    if (std::isnan(h)) return false;
    return std::fabs(h) > m_noise;
}

// True when the track turns at P1 by more than gamma (no spike) or the test is off.
bool SBSpikeFilter::FilterGamma() const
{
    if (m_gamma <= 0.0) return true;
    const Point u = m_points[0] - m_points[1];
    const Point v = m_current - m_points[1];
    const double cosPhi = Dot(u, v) / (Length(u) * Length(v));
    if (std::isnan(cosPhi)) return false;
    // Rounding can carry the cosine of (nearly) straight or folded tracks just past +-1.
    const double phi = std::acos(std::clamp(cosPhi, -1.0, 1.0));
    return phi > m_gamma;
}
