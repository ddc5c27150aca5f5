// Multibeam: the base library's judgement of a multibeam beam's 32-bit flag word, which
// the multibeam filters consult before testing a beam and when counting rejected beams,
// and the one table of the beam flag bits that the filters set, with their names.
#pragma once

#include <array>

namespace Multibeam {

// The beam flag bits the multibeam filters set. Bits 0-7 are the sonar's own; the bits
// 0x10000 and 0x20000 are set in the ping word only (below).
inline constexpr unsigned int kFlagRejectList = 0x100;
inline constexpr unsigned int kFlagQuality = 0x200;
inline constexpr unsigned int kFlagRange = 0x400;
inline constexpr unsigned int kFlagDepth = 0x800;
inline constexpr unsigned int kFlagSwath = 0x1000;
inline constexpr unsigned int kFlagSlope = 0x2000;
inline constexpr unsigned int kFlagAngle = 0x4000;
inline constexpr unsigned int kFlagStatistics = 0x8000;
inline constexpr unsigned int kFlagFlyingObject = 0x100000;
inline constexpr unsigned int kFlagCustomError = 0x400000;
inline constexpr unsigned int kFlagIhoError = 0x800000;
inline constexpr unsigned int kFlagSmart = 0x1000000;

// The bits of the ping flag word (607) that only the ping word gets: the ping judged not
// valid (too many beams rejected), and the flying-objects test ran. Beside them, each test
// of the chain sets its beam bit in the ping word when it ran.
inline constexpr unsigned int kPingFlagInvalid = 0x10000;
inline constexpr unsigned int kPingFlagFlyingRan = 0x20000;

struct BeamFlagBit
{
    unsigned int bit;
    const char* name;
};

// In the order of the filter chain.
inline constexpr std::array<BeamFlagBit, 12> kBeamFlagBits = {{
    {kFlagRejectList, "reject list"},
    {kFlagQuality, "quality"},
    {kFlagRange, "range"},
    {kFlagDepth, "depth window"},
    {kFlagSwath, "swath"},
    {kFlagSlope, "slope"},
    {kFlagAngle, "angle"},
    {kFlagStatistics, "statistics"},
    {kFlagFlyingObject, "flying object"},
    {kFlagCustomError, "custom error"},
    {kFlagIhoError, "IHO error"},
    {kFlagSmart, "smart filter"},
}};

constexpr unsigned int AllBeamFlagBits()
{
    unsigned int mask = 0;
    for (const BeamFlagBit& f : kBeamFlagBits) mask |= f.bit;
    return mask;
}

// A beam is rejected when any of the filters' beam bits is set in its flag word; the
// sonar's own bits and the ping-word-only bits do not reject.
inline constexpr unsigned int kBeamRejectMask = AllBeamFlagBits();
static_assert(kBeamRejectMask == (0x0000FF00u | 0x00100000u | 0x00400000u | 0x00800000u | 0x01000000u));

constexpr bool IsBeamRejected(unsigned int flags)
{
    return (flags & kBeamRejectMask) != 0;
}

} // namespace Multibeam
