#include "BeamGrid.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kvs::tool {

namespace {

constexpr int kShades = 24; // grey levels of the cells; neighbouring cells of one level are drawn as one

} // namespace

size_t FirstFilter(unsigned int flags)
{
    for (size_t i = 0; i < Multibeam::kBeamFlagBits.size(); ++i)
        if (flags & Multibeam::kBeamFlagBits[i].bit) return i;
    return BeamGrid::kFilters;
}

BeamGrid::BeamGrid(AxisRange x, AxisRange y, int width, int height, int cellWidth, int cellHeight)
    : m_x(x), m_y(y), m_width(width), m_height(height), m_cellW(std::max(1, cellWidth)),
      m_cellH(std::max(1, cellHeight)), m_cols(std::max(1, width / m_cellW)), m_rows(std::max(1, height / m_cellH))
{
    if (!(m_x.hi > m_x.lo)) m_x.hi = m_x.lo + 1.0;
    if (!(m_y.hi > m_y.lo)) m_y.hi = m_y.lo + 1.0;
    const size_t cells = static_cast<size_t>(m_cols) * static_cast<size_t>(m_rows);
    m_count.assign(cells, 0);
    m_sum.assign(cells, 0.0);
    m_all.assign(cells, 0);
    m_flagged.assign(cells * kFilters, 0);
    m_edge[kTop].assign(static_cast<size_t>(m_cols), 0);
    m_edge[kBottom].assign(static_cast<size_t>(m_cols), 0);
    m_edge[kLeft].assign(static_cast<size_t>(m_rows), 0);
    m_edge[kRight].assign(static_cast<size_t>(m_rows), 0);
}

void BeamGrid::Add(double x, double y, double value, unsigned int flags)
{
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    const size_t filter = FirstFilter(flags);
    if (filter < kFilters)
        ++m_rejected[filter];
    else
        ++m_accepted;
    const int c = static_cast<int>(std::floor((x - m_x.lo) / (m_x.hi - m_x.lo) * m_cols));
    const int r = static_cast<int>(std::floor((y - m_y.lo) / (m_y.hi - m_y.lo) * m_rows));
    const bool inX = c >= 0 && c < m_cols, inY = r >= 0 && r < m_rows;
    if (!inX || !inY) {
        ++m_beyond;
        const int cc = std::clamp(c, 0, m_cols - 1), rr = std::clamp(r, 0, m_rows - 1);
        auto mark = [&](Side side, int at) {
            uint8_t& m = m_edge[side][static_cast<size_t>(at)];
            if (m == 0 || m == kFilters + 1) m = static_cast<uint8_t>(filter + 1);
        };
        if (r < 0) mark(kTop, cc);
        if (r >= m_rows) mark(kBottom, cc);
        if (c < 0) mark(kLeft, rr);
        if (c >= m_cols) mark(kRight, rr);
        return;
    }
    const size_t cell = static_cast<size_t>(r) * static_cast<size_t>(m_cols) + static_cast<size_t>(c);
    ++m_all[cell];
    if (filter < kFilters) {
        ++m_flagged[cell * kFilters + filter];
    } else {
        ++m_count[cell];
        if (std::isfinite(value)) m_sum[cell] += value;
    }
}

uint64_t BeamGrid::RejectedTotal() const
{
    return std::accumulate(m_rejected.begin(), m_rejected.end(), uint64_t{0});
}

void BeamGrid::WriteCells(std::ostream& s, double left, double top, bool values, const AxisRange& valueRange) const
{
    const uint32_t most = *std::max_element(m_count.begin(), m_count.end());
    auto shade = [&](size_t cell) -> int {
        if (!m_count[cell]) return -1;
        double t = 0.0;
        if (values) {
            const double mean = m_sum[cell] / m_count[cell];
            t = (mean - valueRange.lo) / (valueRange.hi - valueRange.lo);
        } else {
            // Density: even a lone beam shows; the fullest cells are darkest.
            t = most > 1 ? 0.45 + 0.55 * std::log(static_cast<double>(m_count[cell])) / std::log(static_cast<double>(most))
                         : 0.6;
        }
        return std::clamp(static_cast<int>(std::clamp(t, 0.0, 1.0) * kShades), 0, kShades - 1);
    };
    for (int r = 0; r < m_rows; ++r) {
        for (int c = 0; c < m_cols;) {
            const size_t cell = static_cast<size_t>(r) * static_cast<size_t>(m_cols) + static_cast<size_t>(c);
            const int level = shade(cell);
            int run = 1;
            while (c + run < m_cols && shade(cell + static_cast<size_t>(run)) == level) ++run;
            if (level >= 0)
                s << "<rect x=\"" << left + c * m_cellW << "\" y=\"" << top + r * m_cellH << "\" width=\"" << run * m_cellW
                  << "\" height=\"" << m_cellH << "\" fill=\"" << Grey((level + 0.5) / kShades) << "\"/>\n";
            c += run;
        }
    }
}

void BeamGrid::WriteMarks(std::ostream& s, double left, double top) const
{
    // Larger marks first, so that a small one beside it stays visible.
    for (size_t f = 0; f < kFilters; ++f) {
        if (!m_rejected[f]) continue;
        for (size_t cell = 0; cell < m_all.size(); ++cell) {
            const uint32_t n = m_flagged[cell * kFilters + f];
            if (!n) continue;
            const double share = static_cast<double>(n) / m_all[cell];
            // No larger than the cell, so that marks of neighbouring cells do not bury the data.
            const double radius = std::min(0.6 + 2.2 * std::sqrt(share), 0.6 * std::max(m_cellW, m_cellH) + 0.4);
            s << "<circle cx=\"" << left + (static_cast<double>(cell % static_cast<size_t>(m_cols)) + 0.5) * m_cellW
              << "\" cy=\"" << top + (static_cast<double>(cell / static_cast<size_t>(m_cols)) + 0.5) * m_cellH << "\" r=\""
              << radius << "\" fill=\"" << kFilterColours[f] << "\" stroke=\"black\" stroke-width=\"0.25\"/>\n";
        }
    }
}

void BeamGrid::WriteEdges(std::ostream& s, double left, double top) const
{
    const double w = m_cols * m_cellW, h = m_rows * m_cellH;
    for (int side = kTop; side <= kRight; ++side) {
        const std::vector<uint8_t>& marks = m_edge[static_cast<size_t>(side)];
        for (size_t i = 0; i < marks.size(); ++i) {
            if (!marks[i]) continue;
            const double along = (static_cast<double>(i) + 0.5) * (side == kTop || side == kBottom ? m_cellW : m_cellH);
            double x = 0, y = 0;
            const char* shape = "";
            switch (side) {
            case kTop: x = left + along, y = top - 1, shape = " l-3,0 l3,-5 l3,5 z"; break;
            case kBottom: x = left + along, y = top + h + 1, shape = " l-3,0 l3,5 l3,-5 z"; break;
            case kLeft: x = left - 1, y = top + along, shape = " l0,-3 l-5,3 l5,3 z"; break;
            default: x = left + w + 1, y = top + along, shape = " l0,-3 l5,3 l-5,3 z"; break;
            }
            const char* colour = marks[i] <= kFilters ? kFilterColours[marks[i] - 1u] : "#222";
            s << "<path d=\"M" << x << "," << y << shape << "\" fill=\"" << colour
              << "\" stroke=\"black\" stroke-width=\"0.3\"/>\n";
        }
    }
}

} // namespace kvs::tool
