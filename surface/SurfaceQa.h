// SurfaceQa: the IHO S-44 check of gridded lines. The lines are gridded once (SurfaceGrid),
// then read again and every accepted sounding is compared with the surface at its place
// less its own contribution (the nodes around it interpolated bilinearly, its own cell's
// median taken without it; its own cell's alone where a node around it is empty): it is within the
// order when the difference is no larger than the order's TVU at that depth. The order is
// met when at least 95 % of the soundings of every line, and of all lines, are within.
// A sounding alone in its cell has nothing to be compared with and is counted apart.
// Where lines overlap, each pair's surfaces are compared cell by cell (the crossline
// check: mean and spread of the differences). Cells where fewer than 95 % of the
// soundings are within are the failing cells, marked on the surface's raster.
#pragma once

#include "Gridding.h"
#include "IhoS44.h"

#include <string>
#include <vector>

namespace kvs::surface {

inline constexpr double kS44Share = 0.95;

struct QaTally
{
    uint64_t judged = 0; // soundings compared with the surface
    uint64_t within = 0; // of them within the TVU
    uint64_t alone = 0;  // alone in their cell, not judged
    double sumDiff = 0.0, sumDiff2 = 0.0;
    double worst = 0.0;  // largest |difference| / TVU
    double Share() const { return judged ? static_cast<double>(within) / judged : 0.0; }
    double MeanDiff() const { return judged ? sumDiff / judged : 0.0; }
    double SpreadDiff() const;
    void Add(double diff, double tvu);
};

struct CrossLineCheck
{
    size_t a = 0, b = 0;   // line indexes
    uint64_t cells = 0;    // cells both lines reach
    uint64_t within = 0;   // cells whose difference is within the TVU
    double mean = 0.0;     // mean of (a - b), metres
    double spread = 0.0;   // standard deviation of (a - b), metres
};

struct QaResult
{
    IhoS44Order order{};
    PassReport report;
    std::vector<QaTally> lines;
    QaTally total;
    std::vector<CrossLineCheck> crosslines;
    Surface surface;
    std::vector<unsigned char> failing; // per cell of the surface: 1 failing
    uint64_t failingCells = 0, judgedCells = 0;
    bool met = false;
};

QaResult RunQa(const GridOptions& options, const IhoS44Order& order);

} // namespace kvs::surface
