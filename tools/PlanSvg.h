// The line frame and the pictures of `kvsblocks plot`. A line's direction comes from its
// track: the principal axis of the ping positions, pointing from the first ping towards
// the last, so that a line of a few pings or a curved one is not turned by where its
// ends happen to lie. Distances are in metres from the first ping, along that direction
// and across it (starboard positive).
#pragma once

#include "BeamGrid.h"
#include "SvgPicture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kvs::tool {

// A ping's place in the line's own frame, in metres from the first ping.
struct LinePlace
{
    double along = 0.0, across = 0.0;
};

// The places of pings at the given positions (NaN where a ping has none). Without a
// position for every ping the pings lie one metre apart along the line; a line spread
// over less than a metre is taken to run north.
std::vector<LinePlace> LinePlaces(const std::vector<double>& east, const std::vector<double>& north);

// What a picture says beside its grid: its title and axis names, and whether the axes
// were fitted to accepted beams (false: there were none, every beam was rejected).
struct PictureText
{
    std::string title, xLabel, yLabel;
    bool fittedToAccepted = true;
};

// The picture of a grid of beams: accepted beams as grey cells (their density, or with
// depths their mean depth and a depth bar over depthRange), rejected ones marked on top
// by the first filter that flagged them, beyond-axis beams marked at the edges, round
// ticks, and a legend that fits its text.
std::string GridSvg(const BeamGrid& grid, const AxisRange& x, const AxisRange& y, const PictureText& text,
                    bool depths, const AxisRange& depthRange);

// Plot sizes of the pictures, pixels.
inline constexpr int kPlotWidth = 720, kPlotHeight = 420, kPlotLeft = 70, kPlotTop = 40, kPlotBottom = 50;

} // namespace kvs::tool
