#include "SurfaceQa.h"

#include <cmath>

namespace kvs::surface {

double QaTally::SpreadDiff() const
{
    if (judged < 2) return 0.0;
    const double mean = MeanDiff();
    return std::sqrt(std::max(0.0, (sumDiff2 - judged * mean * mean) / (judged - 1)));
}

void QaTally::Add(double diff, double tvu)
{
    ++judged;
    if (std::fabs(diff) <= tvu) ++within;
    sumDiff += diff;
    sumDiff2 += diff * diff;
    if (tvu > 0.0) worst = std::max(worst, std::fabs(diff) / tvu);
}

namespace {

// The surface at a sounding's place less the sounding: the nodes' medians interpolated
// bilinearly, its own cell's median taken without it. Where a node around it is empty, its
// own cell's median without it; NaN when it is alone in its cell.
double ReferenceDepth(const SurfaceGrid& grid, double east, double north, double depth, int64_t ownI, int64_t ownJ)
{
    const CellStats* own = grid.Find(ownI, ownJ);
    const double ownValue = own ? own->MedianWithout(depth) : std::nan("");
    if (!std::isfinite(ownValue)) return ownValue;
    const double fi = east / grid.Resolution(), fj = north / grid.Resolution();
    const int64_t i0 = static_cast<int64_t>(std::floor(fi)), j0 = static_cast<int64_t>(std::floor(fj));
    const double u = fi - static_cast<double>(i0), v = fj - static_cast<double>(j0);
    double corners[2][2];
    for (int dj = 0; dj < 2; ++dj)
        for (int di = 0; di < 2; ++di) {
            const int64_t i = i0 + di, j = j0 + dj;
            if (i == ownI && j == ownJ) {
                corners[dj][di] = ownValue;
                continue;
            }
            const CellStats* c = grid.Find(i, j);
            if (!c) return ownValue;
            corners[dj][di] = c->Median();
        }
    return (1 - v) * ((1 - u) * corners[0][0] + u * corners[0][1]) + v * ((1 - u) * corners[1][0] + u * corners[1][1]);
}

} // namespace

QaResult RunQa(const GridOptions& options, const IhoS44Order& order)
{
    QaResult result;
    result.order = order;
    const uint64_t maxBytes = options.maxBytes ? options.maxBytes : DefaultMaxBytes();
    SurfaceGrid grid(options.resolution, maxBytes);
    std::vector<std::unique_ptr<SurfaceGrid>> perLine;
    if (options.lines.size() > 1)
        for (size_t l = 0; l < options.lines.size(); ++l)
            perLine.push_back(std::make_unique<SurfaceGrid>(options.resolution, maxBytes));
    {
        SoundingPass pass(options);
        pass.Run([&](size_t line, const PingSoundings& ping) {
            for (size_t i = 0; i < ping.depth.size(); ++i) {
                grid.Add(ping.east[i], ping.north[i], ping.depth[i], ping.sigma[i]);
                if (!perLine.empty()) perLine[line]->Add(ping.east[i], ping.north[i], ping.depth[i], ping.sigma[i]);
            }
        });
        result.report = pass.Report();
    }
    result.surface = MakeSurface(grid);
    const Surface& s = result.surface;
    result.lines.assign(options.lines.size(), QaTally{});
    int64_t i0 = 0, j0 = 0, i1 = 0, j1 = 0;
    if (!grid.Bounds(i0, j0, i1, j1)) return result;

    // Second pass: each sounding against the median of its cell's other soundings.
    std::vector<uint32_t> cellJudged(s.depth.size(), 0), cellWithin(s.depth.size(), 0);
    SoundingPass pass(options);
    pass.Run([&](size_t line, const PingSoundings& ping) {
        QaTally& tally = result.lines[line];
        for (size_t k = 0; k < ping.depth.size(); ++k) {
            const int64_t i = grid.Index(ping.east[k]), j = grid.Index(ping.north[k]);
            const double reference = ReferenceDepth(grid, ping.east[k], ping.north[k], ping.depth[k], i, j);
            if (!std::isfinite(reference)) {
                ++tally.alone;
                ++result.total.alone;
                continue;
            }
            const double diff = ping.depth[k] - reference, tvu = order.Tvu(reference);
            tally.Add(diff, tvu);
            result.total.Add(diff, tvu);
            if (i < i0 || i > i1 || j < j0 || j > j1) continue;
            const size_t cell = static_cast<size_t>((j1 - j) * s.width + (i - i0));
            ++cellJudged[cell];
            if (std::fabs(diff) <= tvu) ++cellWithin[cell];
        }
    });
    result.failing.assign(s.depth.size(), 0);
    for (size_t c = 0; c < cellJudged.size(); ++c) {
        if (!cellJudged[c]) continue;
        ++result.judgedCells;
        if (cellWithin[c] < kS44Share * cellJudged[c]) {
            result.failing[c] = 1;
            ++result.failingCells;
        }
    }

    // Crossline check: every pair of lines over the cells both reach.
    for (size_t a = 0; a < perLine.size(); ++a)
        for (size_t b = a + 1; b < perLine.size(); ++b) {
            CrossLineCheck check;
            check.a = a, check.b = b;
            double sum = 0.0, sum2 = 0.0;
            perLine[a]->ForEachCell([&](int64_t i, int64_t j, const CellStats& ca) {
                const CellStats* cb = perLine[b]->Find(i, j);
                if (!cb) return;
                const double da = ca.Median(), db = cb->Median();
                const double diff = da - db;
                ++check.cells;
                sum += diff;
                sum2 += diff * diff;
                if (std::fabs(diff) <= order.Tvu(0.5 * (da + db))) ++check.within;
            });
            if (check.cells) {
                check.mean = sum / check.cells;
                check.spread = check.cells > 1
                                   ? std::sqrt(std::max(0.0, (sum2 - check.cells * check.mean * check.mean) / (check.cells - 1)))
                                   : 0.0;
            }
            result.crosslines.push_back(check);
        }

    bool met = result.total.judged > 0 && result.total.Share() >= kS44Share;
    for (const QaTally& t : result.lines)
        if (t.judged && t.Share() < kS44Share) met = false;
    result.met = met;
    return result;
}

} // namespace kvs::surface
