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

// Plot colours, in the order of Multibeam::kBeamFlagBits: Paul Tol's discrete rainbow
// for twelve colours (distinct to colour-blind eyes), the commonest filters given the
// colours furthest apart.
inline constexpr std::array<const char*, Multibeam::kBeamFlagBits.size()> kBeamFlagColours = {
    "#D1BBD7", // reject list
    "#1965B0", // quality
    "#AE76A3", // range
    "#7BAFDE", // depth window
    "#CAE0AB", // swath
    "#4EB265", // slope
    "#F4A736", // angle
    "#E8601C", // statistics
    "#DC050C", // flying object
    "#5289C7", // custom error
    "#F7F056", // IHO error
    "#882E72", // smart filter
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
