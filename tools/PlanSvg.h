// PlanSvg: the plan view of a multibeam line for `kvsblocks plot --plan-svg`. Every beam
// at its place on the seabed (the ping position plus the beam's across- and along-track
// offsets), drawn in line coordinates: along the line's direction (from the first to the
// last ping position) to the right, across it with starboard down, in metres from the
// first ping (not to scale). Accepted beams make a depth image with a colour bar;
// rejected beams are marked in the colour of the first filter that flagged them.
#pragma once

#include <string>
#include <vector>

namespace kvs::tool {

struct PlanPing
{
    double east = 0.0, north = 0.0; // ping position (505, 506), metres; NaN when absent
    std::vector<float> x, y, z;     // across, along, vertical (up positive) per beam
    std::vector<unsigned int> flags;
};

// A ping's place in the line's own frame, in metres from the first ping: along the
// direction from the first to the last ping position, and across it (starboard positive).
struct LinePlace
{
    double along = 0.0, across = 0.0;
};

// The places of pings at the given positions (NaN where a ping has none). Without a
// position for every ping the pings lie one metre apart along the line; a line shorter
// than a metre is taken to run north.
std::vector<LinePlace> LinePlaces(const std::vector<double>& east, const std::vector<double>& north);

// The picture; its size stays within a few megabytes however many beams there are: the
// accepted beams are averaged on a grid of small cells, the rejected ones thinned to one
// mark per filter and cell.
std::string PlanSvg(const std::vector<PlanPing>& pings, const std::string& title);

} // namespace kvs::tool
