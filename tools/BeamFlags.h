// The beam flag bits the multibeam filters set, with names and plot colours, for the
// tool's summaries, dumps and plots. Bits and names come from the one table in
// filters/multibeam/Multibeam.h; only the colours live here.
#pragma once

#include <KvsDataBlocks/filters/multibeam/Multibeam.h>

#include <array>
#include <cstddef>

namespace kvs::tool {

struct BeamFlagInfo
{
    unsigned int bit;
    const char* name;
    const char* colour;
};

// Plot colours, in the order of Multibeam::kBeamFlagBits.
inline constexpr std::array<const char*, Multibeam::kBeamFlagBits.size()> kBeamFlagColours = {
    "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf", "#ff7f0e",
    "#9467bd", "#d62728", "#2ca02c", "#aec7e8", "#ffbb78", "#f7b6d2",
};

constexpr std::array<BeamFlagInfo, Multibeam::kBeamFlagBits.size()> MakeBeamFlags()
{
    std::array<BeamFlagInfo, Multibeam::kBeamFlagBits.size()> t{};
    for (std::size_t i = 0; i < t.size(); ++i)
        t[i] = {Multibeam::kBeamFlagBits[i].bit, Multibeam::kBeamFlagBits[i].name, kBeamFlagColours[i]};
    return t;
}

inline constexpr std::array<BeamFlagInfo, Multibeam::kBeamFlagBits.size()> kBeamFlags = MakeBeamFlags();

// The first filter bit set in a beam flag word (in table order), or null for none.
inline const BeamFlagInfo* FirstBeamFlag(unsigned int flags)
{
    for (const BeamFlagInfo& f : kBeamFlags)
        if (flags & f.bit) return &f;
    return nullptr;
}

} // namespace kvs::tool
