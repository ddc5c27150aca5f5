// The beam flag bits the multibeam filters set, with names and plot colours, for the
// tool's summaries, dumps and plots.
#pragma once

#include <array>

namespace kvs::tool {

struct BeamFlagInfo
{
    unsigned int bit;
    const char* name;
    const char* colour;
};

inline constexpr std::array<BeamFlagInfo, 12> kBeamFlags = {{
    {0x100, "reject list", "#8c564b"},
    {0x200, "quality", "#e377c2"},
    {0x400, "range", "#7f7f7f"},
    {0x800, "depth window", "#bcbd22"},
    {0x1000, "swath", "#17becf"},
    {0x2000, "slope", "#ff7f0e"},
    {0x4000, "angle", "#9467bd"},
    {0x8000, "statistics", "#d62728"},
    {0x100000, "flying object", "#2ca02c"},
    {0x400000, "custom error", "#aec7e8"},
    {0x800000, "IHO error", "#ffbb78"},
    {0x1000000, "smart filter", "#f7b6d2"},
}};

inline constexpr unsigned int kSimulatedOutlier = 0x80;

// The first filter bit set in a beam flag word (in table order), or null for none.
inline const BeamFlagInfo* FirstBeamFlag(unsigned int flags)
{
    for (const BeamFlagInfo& f : kBeamFlags)
        if (flags & f.bit) return &f;
    return nullptr;
}

} // namespace kvs::tool
