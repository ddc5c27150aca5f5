#include "PlanSvg.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace kvs::tool {

std::vector<LinePlace> LinePlaces(const std::vector<double>& east, const std::vector<double>& north)
{
    const size_t n = std::min(east.size(), north.size());
    bool positioned = n > 0;
    for (size_t i = 0; i < n; ++i) positioned = positioned && std::isfinite(east[i]) && std::isfinite(north[i]);
    std::vector<LinePlace> places(n);
    if (!positioned) {
        for (size_t i = 0; i < n; ++i) places[i].along = static_cast<double>(i);
        return places;
    }
    // Principal axis of the positions (about their mean, for precision far from the origin).
    double me = 0.0, mn = 0.0;
    for (size_t i = 0; i < n; ++i) me += east[i], mn += north[i];
    me /= static_cast<double>(n), mn /= static_cast<double>(n);
    double see = 0.0, snn = 0.0, sen = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double e = east[i] - me, d = north[i] - mn;
        see += e * e, snn += d * d, sen += e * d;
    }
    double fe = 0.0, fn = 1.0; // forward unit vector (east, north)
    const double spread = std::sqrt((see + snn) / static_cast<double>(n));
    if (spread * 2.0 > 1.0) {
        const double angle = 0.5 * std::atan2(2.0 * sen, see - snn); // from east, counter-clockwise
        fe = std::cos(angle), fn = std::sin(angle);
        // Forward is the way the line was run: from its first pings towards its last.
        const size_t k = std::max<size_t>(1, n / 10);
        double head = 0.0, tail = 0.0;
        for (size_t i = 0; i < k; ++i)
            head += east[i] * fe + north[i] * fn, tail += east[n - 1 - i] * fe + north[n - 1 - i] * fn;
        if (tail < head) fe = -fe, fn = -fn;
    }
    for (size_t i = 0; i < n; ++i) {
        const double e = east[i] - east[0], d = north[i] - north[0];
        places[i] = {e * fe + d * fn, e * fn - d * fe};
    }
    return places;
}

std::string GridSvg(const BeamGrid& grid, const AxisRange& x, const AxisRange& y, const PictureText& text,
                    bool depths, const AxisRange& depthRange)
{
    const uint64_t beams = grid.Beams();
    Legend legend;
    if (depths && grid.Accepted()) {
        legend.Bar(TickText(depthRange.lo, 0.1) + " m", TickText(depthRange.hi, 0.1) + " m",
                   "mean depth of accepted beams");
    }
    legend.Row(Grey(0.6), "accepted " + Count(grid.Accepted()) + " (" + Share(grid.Accepted(), beams) + ")",
               Legend::Swatch::Square);
    if (!depths && grid.Accepted()) legend.Note("grey: accepted beams in each cell, darker where there are more");
    if (!grid.Accepted()) legend.Note("No accepted beams: every beam was rejected; the axes fit all the beams.");
    for (size_t f = 0; f < BeamGrid::kFilters; ++f)
        if (grid.Rejected(f))
            legend.Row(kFilterColours[f], std::string(Multibeam::kBeamFlagBits[f].name) + " " + Count(grid.Rejected(f)) +
                                              " (" + Share(grid.Rejected(f), beams) + ")");
    if (grid.RejectedTotal())
        legend.Note("Each rejected beam is coloured by the first filter that flagged it; a mark's size grows with "
                    "the share of its cell's beams it stands for.");
    if (grid.Beyond())
        legend.Row("#222", Count(grid.Beyond()) + " beyond the axes", Legend::Swatch::Triangle);
    if (grid.Beyond())
        legend.Note("marked at the edge they lie beyond, in their filter's colour (black: accepted); the axes fit "
                    "the accepted beams");

    const double pw = kPlotWidth, ph = kPlotHeight;
    const double legendX = kPlotLeft + pw + 24;
    const int width = static_cast<int>(legendX + std::max(legend.Width(), 120.0) + 16);
    const int height = static_cast<int>(std::max(kPlotTop + ph + kPlotBottom, kPlotTop + legend.Height() + 16));
    std::ostringstream s;
    BeginSvg(s, width, height, kPlotLeft, text.title);
    auto px = [&](double v) { return kPlotLeft + (v - x.lo) / (x.hi - x.lo) * pw; };
    auto py = [&](double v) { return kPlotTop + (v - y.lo) / (y.hi - y.lo) * ph; };
    XTicks(s, x, kPlotTop, kPlotTop + ph, px);
    YTicks(s, y, kPlotLeft, kPlotLeft + pw, py);
    grid.WriteCells(s, kPlotLeft, kPlotTop, depths, depthRange);
    grid.WriteMarks(s, kPlotLeft, kPlotTop);
    grid.WriteEdges(s, kPlotLeft, kPlotTop);
    FrameSvg(s, kPlotLeft, kPlotTop, pw, ph);
    s << "<text x=\"" << kPlotLeft + pw / 2 << "\" y=\"" << kPlotTop + ph + 40 << "\" text-anchor=\"middle\">"
      << Escape(text.xLabel) << "</text>\n"
      << "<text transform=\"translate(16," << kPlotTop + ph / 2 << ") rotate(-90)\" text-anchor=\"middle\">"
      << Escape(text.yLabel) << "</text>\n";
    legend.Write(s, legendX, kPlotTop);
    s << "</svg>\n";
    return s.str();
}

} // namespace kvs::tool
