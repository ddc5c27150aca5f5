// BeamGrid: the beams of a picture gathered in cells of a few pixels, so that a picture
// of 30 million beams stays as small and as readable as one of a thousand. Accepted
// beams are counted (for a density image) and their values summed (for a mean-depth
// image); rejected beams are counted per filter, by the first filter that flagged them,
// and drawn on top only in the cells where they are, each mark sized by the share of the
// cell's beams it stands for. Beams beyond the axes are not put in a cell but marked at
// the edge they lie beyond.
#pragma once

#include "BeamFlags.h"
#include "SvgPicture.h"

#include <KvsDataBlocks/filters/multibeam/Multibeam.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <vector>

namespace kvs::tool {

class BeamGrid
{
public:
    static constexpr size_t kFilters = Multibeam::kBeamFlagBits.size();

    // x grows to the right, y downwards; width and height of the plotting area and of a
    // cell in pixels.
    BeamGrid(AxisRange x, AxisRange y, int width, int height, int cellWidth, int cellHeight);

    // One beam at (x, y) with value (a depth) and its flag word.
    void Add(double x, double y, double value, unsigned int flags);

    // The accepted beams as cells: shaded by the number of beams in them (log scale) or,
    // with values, by their mean value over valueRange (light low, dark high).
    void WriteCells(std::ostream& s, double left, double top, bool values, const AxisRange& valueRange) const;
    // The rejected beams' marks, then the marks of the beams beyond the axes outside the frame.
    void WriteMarks(std::ostream& s, double left, double top) const;
    void WriteEdges(std::ostream& s, double left, double top) const;

    uint64_t Accepted() const { return m_accepted; }
    uint64_t Rejected(size_t filter) const { return m_rejected[filter]; }
    uint64_t RejectedTotal() const;
    uint64_t Beyond() const { return m_beyond; }
    uint64_t Beams() const { return m_accepted + RejectedTotal(); }
    double PixelX(double x) const { return (x - m_x.lo) / (m_x.hi - m_x.lo) * m_width; }
    double PixelY(double y) const { return (y - m_y.lo) / (m_y.hi - m_y.lo) * m_height; }

private:
    enum Side { kTop, kBottom, kLeft, kRight };

    AxisRange m_x, m_y;
    int m_width, m_height, m_cellW, m_cellH, m_cols, m_rows;
    std::vector<uint32_t> m_count;   // accepted beams per cell
    std::vector<double> m_sum;       // sum of the accepted beams' values per cell
    std::vector<uint32_t> m_all;     // every beam per cell
    std::vector<uint32_t> m_flagged; // rejected beams per cell and filter (cell * kFilters + filter)
    // Per side and place: 0, or 1 + the first filter of a beam beyond it (kFilters + 1 for
    // an accepted one; a rejected beam's colour wins).
    std::array<std::vector<uint8_t>, 4> m_edge;
    std::array<uint64_t, kFilters> m_rejected{};
    uint64_t m_accepted = 0, m_beyond = 0;
};

// The colour of each filter, in the order of Multibeam::kBeamFlagBits (BeamFlags.h).
inline constexpr const auto& kFilterColours = kBeamFlagColours;

// Index of the first filter bit set in flags (table order), or kFilters for none.
size_t FirstFilter(unsigned int flags);

} // namespace kvs::tool
